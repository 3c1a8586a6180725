// The official-rates file, line by line as the import reads it: title, currency line, headings,
// then date,rate,note lines. The streamed lines must be those of the whole file decoded and split at
// once, however the reading cuts the file into blocks.
#include "base/linereader.h"
#include "base/textfile.h"
#include "fuzzcheck.h"
#include "history/ratesfile.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cmath>

namespace {

void checkLine(qint64 number, const QString &text)
{
    if (number == 2) {
        const RatesFile::Currency currency = RatesFile::currencyOf(text);
        FUZZ_CHECK(currency.code.isEmpty() == currency.description.isEmpty());
    } else if (number >= RatesFile::firstDataLine) {
        const RatesFile::DataLine line = RatesFile::parseDataLine(text);
        if (line.kind == RatesFile::DataLine::Kind::Record) {
            FUZZ_CHECK(std::isfinite(line.rate));
            // A stored date is always yyyymmdd of a real day.
            FUZZ_CHECK(line.date.isEmpty() || line.date.size() == 8);
        }
    }
}

// The same bytes through blocks of a few bytes and a short line limit: every CR LF, UTF-8 sequence
// and UTF-16 unit may be cut between two blocks.
void checkSmallBlocks(const QByteArray &bytes, qint64 blockSize, const QStringList &expected)
{
    constexpr qint64 maxLineBytes = 64;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer, maxLineBytes, blockSize);
    FUZZ_CHECK(reader.scan());
    FUZZ_CHECK(!reader.hasNul());
    FUZZ_CHECK(reader.lineCount() == expected.size());
    qsizetype index = 0;
    QString text;
    while (reader.next(text)) {
        FUZZ_CHECK(index < expected.size() && text == expected.at(index));
        FUZZ_CHECK(text.size() <= maxLineBytes);
        ++index;
    }
    // Only a line past the limit may end the reading early.
    FUZZ_CHECK(index == expected.size() || reader.failure() == LineReader::Failure::LineTooLong);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The import's reader (RatesFile::Lines), with blocks of 4 KiB, the size libFuzzer's inputs keep
    // to: each of its own 256 KiB blocks would be a fresh mapping under ASan, twenty times slower.
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader lines(buffer, LineReader::defaultMaxLineBytes, 4096);
    FUZZ_CHECK(lines.scan());
    // The import refuses a file with a NUL byte before reading any line of it.
    if (lines.hasNul())
        return 0;
    const QStringList expected = TextFile::splitLines(TextFile::decode(bytes));
    FUZZ_CHECK(lines.lineCount() == expected.size());
    qint64 number = 0;
    QString text;
    while (lines.next(text)) {
        FUZZ_CHECK(number < expected.size() && text == expected.at(number));
        ++number;
        checkLine(number, text);
    }
    // A line beyond the reader's limit ends the reading early, and says so.
    FUZZ_CHECK(number == expected.size() || lines.failure() != LineReader::Failure::None);

    checkSmallBlocks(bytes, 1 + (size > 0 ? data[0] % 16 : 0), expected);
    return 0;
}
