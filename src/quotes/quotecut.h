#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// What the quote page says after a currency symbol. The page lists one currency per line, ending in
// "<BR>"; the quote is the first figure with a decimal comma after the symbol.
struct QuoteCut
{
    bool found = false; // the symbol occurs in the page
    QString quote;      // the figure as written, e.g. "1,0871" or "-0,25"; empty when there is none
};

// Looks at the first occurrence of symbol only (exact, case-sensitive); the line runs to the next
// "<BR>" written in capitals, or to the end of the page. The quote is the whole number whose decimal
// comma is the line's first comma: all the digits right before it, a sign standing right before
// those, and the digits right after it. A comma without a digit right before it gives no quote.
// An empty symbol is never found: it would match the start of any page.
QuoteCut cutQuote(QStringView page, QStringView symbol);

// Reads a figure cut from the page. The page always writes a decimal comma, whatever the user's
// locale. Nothing when the text is not a finite number.
std::optional<double> readQuote(const QString &figure);
