// The official-rates file, line by line as the import reads it: title, currency line, headings,
// then date,rate,note lines.
#include "fuzzcheck.h"
#include "history/ratesfile.h"

#include <QByteArray>
#include <QString>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RatesFile::Lines lines(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    // The import refuses a file with a NUL byte before reading any line of it.
    if (lines.binary())
        return 0;
    const qint64 count = lines.count();
    FUZZ_CHECK(count >= 0);
    qint64 number = 0;
    QString text;
    while (lines.next(text)) {
        ++number;
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
    // A line beyond the reader's limit ends the reading early, and says so.
    FUZZ_CHECK(number == count || lines.failure() != LineReader::Failure::None);
    return 0;
}
