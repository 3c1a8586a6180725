#include "quotecut.h"

#include <cmath>

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

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
    while (first > 0 && isDigit(line[first - 1]))
        --first;
    if (first == comma)
        return cut;
    if (first > 0 && (line[first - 1] == QLatin1Char('-') || line[first - 1] == QLatin1Char('+')))
        --first;
    qsizetype last = comma + 1;
    while (last < line.size() && isDigit(line[last]))
        ++last;
    cut.quote = line.sliced(first, last - first).toString();
    return cut;
}

std::optional<double> readQuote(const QString &figure)
{
    if (figure.isEmpty())
        return std::nullopt;
    QString text = figure;
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok); // C locale: the comma is now a point
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}
