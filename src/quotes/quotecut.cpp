#include "quotes/quotecut.h"

#include "core/lenientnumber.h"
#include "core/textrules.h"

#include <algorithm>
#include <vector>

namespace {

std::u16string_view key(QStringView text)
{
    return {text.utf16(), size_t(text.size())};
}

// The cut of a symbol found at "at".
QuoteCut cutAt(QStringView page, qsizetype at, qsizetype symbolSize)
{
    QuoteCut cut;
    cut.found = true;
    const qsizetype start = at + symbolSize;
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

QuoteOutcome outcomeOf(const QuoteCut &cut)
{
    QuoteOutcome outcome;
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

} // namespace

QuoteCut cutQuote(QStringView page, QStringView symbol)
{
    if (symbol.isEmpty())
        return {};
    const qsizetype at = page.indexOf(symbol);
    if (at < 0)
        return {};
    return cutAt(page, at, symbol.size());
}

QuoteOutcome quoteIn(QStringView page, QStringView symbol)
{
    return outcomeOf(cutQuote(page, symbol));
}

PageQuotes::PageQuotes(QStringView page, const QStringList &symbols) : m_page(page), m_symbols(symbols)
{
    std::vector<bool> firstChar(0x10000); // the characters a symbol starts with
    std::vector<qsizetype> lengths;
    for (const QString &symbol : std::as_const(m_symbols)) {
        if (symbol.isEmpty() || !m_firstAt.emplace(key(symbol), -1).second)
            continue;
        firstChar[symbol.front().unicode()] = true;
        if (std::find(lengths.begin(), lengths.end(), symbol.size()) == lengths.end())
            lengths.push_back(symbol.size());
    }
    size_t left = m_firstAt.size();
    for (qsizetype at = 0; left > 0 && at < page.size(); ++at) {
        if (!firstChar[page[at].unicode()])
            continue;
        for (const qsizetype length : lengths) {
            if (length > page.size() - at)
                continue;
            const auto found = m_firstAt.find(key(page.sliced(at, length)));
            if (found != m_firstAt.end() && found->second < 0) {
                found->second = at;
                --left;
            }
        }
    }
}

QuoteOutcome PageQuotes::quoteOf(const QString &symbol) const
{
    const auto found = m_firstAt.find(key(symbol));
    if (found == m_firstAt.end() || found->second < 0)
        return outcomeOf({});
    return outcomeOf(cutAt(m_page, found->second, symbol.size()));
}
