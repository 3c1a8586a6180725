#pragma once

#include "quotes/pagefetcher.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <string_view>
#include <unordered_map>

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

// What a quote update learnt about one pair.
struct QuoteOutcome
{
    enum class Kind {
        Found,        // value holds the quote
        SymbolAbsent, // the page does not name the pair
        NoFigure,     // the pair has no readable figure: figure holds what stands there, if anything
        FetchFailed   // the page could not be fetched: failure and reason say why
    };
    Kind kind = Kind::FetchFailed;
    double value = 0;
    QString figure; // the figure as the page writes it, e.g. "1,0871"
    PageFetcher::Failure failure = PageFetcher::Failure::None;
    QString reason;

    bool found() const { return kind == Kind::Found; }
};

// The pair's quote in a page already fetched. The page always writes a decimal comma, whatever the
// user's locale; a figure that is not a finite number is no figure.
QuoteOutcome quoteIn(QStringView page, QStringView symbol);

// The quotes of a whole currency list in one page, each as quoteIn gives it. The first place of every
// symbol is found in one pass over the page: a search per symbol would read a large page once for
// every line of a long list (a hundred thousand lines over 16 MiB: half an hour).
class PageQuotes
{
public:
    PageQuotes(QStringView page, const QStringList &symbols);
    // One of the symbols given.
    QuoteOutcome quoteOf(const QString &symbol) const;

private:
    QStringView m_page;
    QStringList m_symbols;                                        // owns the text the keys below look at
    std::unordered_map<std::u16string_view, qsizetype> m_firstAt; // -1: not in the page
};
