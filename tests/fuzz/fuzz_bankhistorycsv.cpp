// The bank's history CSV as the import streams it from a file.
#include "csvcheck.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    readAndCheckCsv(buffer);

    // The bytes overload, with wanted currencies: only those may be handed over.
    const QSet<QString> wanted = {QStringLiteral("USD"), QStringLiteral("GBP")};
    BankHistoryCsv::read(
        QByteArrayView(bytes),
        [&](const RateDay &day) {
            for (const CurrencyRate &rate : day.rates)
                FUZZ_CHECK(wanted.contains(rate.code));
            return true;
        },
        wanted);
    return 0;
}
