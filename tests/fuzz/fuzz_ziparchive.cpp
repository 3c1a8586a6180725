// A zip archive as the import gets it: opened from its bytes, its one file read through the CSV
// reader. A small inflation limit keeps every run short; the limit's own path is exercised all the
// same.
#include "csvcheck.h"
#include "history/ziparchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr qint64 maxInflatedSize = 1024 * 1024;
    ZipArchive archive;
    if (!archive.openData(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                          maxInflatedSize)) {
        FUZZ_CHECK(!archive.errorString().isEmpty());
        FUZZ_CHECK(archive.content() == nullptr);
        return 0;
    }
    FUZZ_CHECK(archive.errorString().isEmpty());
    FUZZ_CHECK(archive.content() != nullptr);
    readAndCheckCsv(*archive.content());
    return 0;
}
