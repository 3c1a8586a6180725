#include "quotes/quotecut.h"

#include "core/lenientnumber.h"
#include "core/textrules.h"

QuoteCut cutQuote(QStringView page, QStringView symbol)
{
    QuoteCut cut;
    if (symbol.isEmpty())
        return cut;
    const qsizetype at = page.indexOf(symbol);
    if (at < 0)
        return cut;
    cut.found = true;

    const qsizetype start = at + symbol.size();
    qsizetype end = page.indexOf(u"<BR>", start);
    if (end < 0)
        end = page.size();
    const QStringView line = page.sliced(start, end - start);

    const qsizetype comma = line.indexOf(QLatin1Char(','));
    if (comma < 0)
        return cut;
    qsizetype first = comma;
    while (first > 0 && isAsciiDigit(line[first - 1]))
        --first;
    if (first == comma)
        return cut;
    if (first > 0 && (line[first - 1] == QLatin1Char('-') || line[first - 1] == QLatin1Char('+')))
        --first;
    qsizetype last = comma + 1;
    while (last < line.size() && isAsciiDigit(line[last]))
        ++last;
    cut.quote = line.sliced(first, last - first).toString();
    return cut;
}

QuoteOutcome quoteIn(QStringView page, QStringView symbol)
{
    QuoteOutcome outcome;
    const QuoteCut cut = cutQuote(page, symbol);
    if (!cut.found) {
        outcome.kind = QuoteOutcome::Kind::SymbolAbsent;
        return outcome;
    }
    outcome.figure = cut.quote;
    // The cut figure is sign, digits, comma, digits: nothing for the lenient reader to skip.
    const LenientNumber number = readLenientNumber(cut.quote, {.commaIsPoint = true});
    if (!number.found || number.overflow || number.underflow) {
        outcome.kind = QuoteOutcome::Kind::NoFigure;
        return outcome;
    }
    outcome.kind = QuoteOutcome::Kind::Found;
    outcome.value = number.value;
    return outcome;
}
