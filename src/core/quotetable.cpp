#include "core/quotetable.h"

#include "core/quoteformat.h"

PairQuotes QuoteTable::pairQuotes(const QString &code, const QuoteFormat &format) const
{
    if (m_listing)
        return m_listing->code == code ? m_listing->quotes : PairQuotes{};
    PairQuotes quotes;
    for (const QuoteRow &row : m_rows) {
        if (row.Tipo_Valuta != code)
            continue;
        quotes.last = LastQuote{row.Data_Valuta, row.Quotazione};
        if (format.isUnavailableMark(row.Quotazione))
            ++quotes.unavailableMarks;
    }
    return quotes;
}

void QuoteTable::append(const QuoteRow &row)
{
    if (m_listing)
        clear();
    m_rows.append(row);
}

void QuoteTable::clear()
{
    m_rows.clear();
    m_listing.reset();
}

void QuoteTable::setListing(qsizetype count, const QString &code, const PairQuotes &quotes)
{
    m_rows.clear();
    m_listing = Listing{count, code, quotes};
}

QString generalText(double value)
{
    return QuoteFormat().generalText(value);
}

QString quoteText(double value)
{
    return QuoteFormat().quoteText(value);
}
