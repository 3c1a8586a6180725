// The quote page as the server sends it: the first line of the input is the Content-Type header
// (its charset picks the decoding), the rest is the body. The quotes of a whole currency list, found
// in one pass, must be those found one symbol at a time.
#include "fuzzcheck.h"
#include "quotes/pagefetcher.h"
#include "quotes/quotecut.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray contentType = lineEnd < 0 ? QByteArray() : input.first(lineEnd);
    const QByteArray body = lineEnd < 0 ? input : input.sliced(lineEnd + 1);
    const QString page = decodePage(body, contentType);

    // The usual pairs, symbols that overlap them, an empty one, one twice, and words of the page
    // itself, so that symbols of every length and first character occur.
    QStringList symbols = {"EUR/USD", "EUR/CHF", "EUR/JPY", "EUR/GBP", "EUR/US", "USD", "", "EUR/USD"};
    static const QRegularExpression separators(QStringLiteral("\\s+|<BR>"));
    for (const QString &word : page.split(separators, Qt::SkipEmptyParts)) {
        if (symbols.size() >= 24)
            break;
        symbols << word.first(std::min<qsizetype>(word.size(), 12));
    }
    const PageQuotes pageQuotes(page, symbols);
    for (const QString &symbol : std::as_const(symbols)) {
        const QuoteOutcome single = quoteIn(page, symbol);
        const QuoteOutcome listed = pageQuotes.quoteOf(symbol);
        FUZZ_CHECK(listed.kind == single.kind && listed.figure == single.figure);
        FUZZ_CHECK(listed.value == single.value);
    }

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
