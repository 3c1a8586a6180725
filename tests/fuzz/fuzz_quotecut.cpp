// The quote page as the server sends it: the first line of the input is the Content-Type header
// (its charset picks the decoding), the rest is the body.
#include "fuzzcheck.h"
#include "quotes/pagefetcher.h"
#include "quotes/quotecut.h"

#include <QByteArray>
#include <QString>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray contentType = lineEnd < 0 ? QByteArray() : input.first(lineEnd);
    const QByteArray body = lineEnd < 0 ? input : input.sliced(lineEnd + 1);
    const QString page = decodePage(body, contentType);

    for (const QStringView symbol : {u"EUR/USD", u"EUR/CHF", u"EUR/JPY", u"EUR/GBP"}) {
        const QuoteCut cut = cutQuote(page, symbol);
        FUZZ_CHECK(cut.found || cut.quote.isEmpty());
        if (!cut.quote.isEmpty()) {
            FUZZ_CHECK(cut.quote.count(u',') == 1);
            FUZZ_CHECK(page.contains(cut.quote));
        }
        const QuoteOutcome outcome = quoteIn(page, symbol);
        FUZZ_CHECK(outcome.kind != QuoteOutcome::Kind::FetchFailed);
        FUZZ_CHECK((outcome.kind == QuoteOutcome::Kind::SymbolAbsent) == !cut.found);
        if (outcome.found())
            FUZZ_CHECK(std::isfinite(outcome.value) && outcome.figure == cut.quote);
    }
    return 0;
}
