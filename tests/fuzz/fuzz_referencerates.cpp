// The central bank's reference-rate XML, read whole, with and without a list of wanted currencies.
#include "fuzzcheck.h"
#include "quotes/referencerates.h"

#include <QSet>
#include <cmath>

namespace {

void checkDocument(const ReferenceRates::Document &document, const QSet<QString> &wantedCodes)
{
    if (!document.ok()) {
        FUZZ_CHECK(document.days.isEmpty());
        return;
    }
    QDate previous;
    for (const RateDay &day : document.days) {
        FUZZ_CHECK(day.day.isValid() && day.day >= ReferenceRates::firstEuroDay());
        FUZZ_CHECK(!previous.isValid() || previous < day.day);
        FUZZ_CHECK(!day.rates.isEmpty());
        previous = day.day;
        QSet<QString> codes;
        for (const CurrencyRate &rate : day.rates) {
            FUZZ_CHECK(ReferenceRates::isCurrencyCode(rate.code));
            FUZZ_CHECK(wantedCodes.isEmpty() || wantedCodes.contains(rate.code));
            FUZZ_CHECK(std::isfinite(rate.rate) && rate.rate > 0);
            FUZZ_CHECK(!codes.contains(rate.code));
            codes.insert(rate.code);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView xml(reinterpret_cast<const char *>(data), qsizetype(size));
    ReferenceRates::looksLikeReferenceRates(xml);
    checkDocument(ReferenceRates::parse(xml), {});
    const QSet<QString> wanted = {QStringLiteral("USD"), QStringLiteral("CHF"), QStringLiteral("JPY"),
                                  QStringLiteral("GBP")};
    checkDocument(ReferenceRates::parse(xml, wanted), wanted);
    return 0;
}
