#pragma once

#include <QList>
#include <QString>
#include <optional>

class QuoteFormat;

// One quote of one currency on one day; the fields are named after the history database's.
struct QuoteRow
{
    QString Tipo_Valuta; // currency code, e.g. "EUR/USD"
    QString Data_Valuta; // yyyymmdd
    double Quotazione = 0;
    QString Descrizione;
    QString Note;

    bool operator==(const QuoteRow &) const = default;
};

// What showing a pair's stored quote reads of the table: the pair's last row, and how many of its
// rows carry the mark of a quote that could not be had (each is reported).
struct LastQuote
{
    QString day; // Data_Valuta
    double quote = 0;

    bool operator==(const LastQuote &) const = default;
};

struct PairQuotes
{
    std::optional<LastQuote> last;
    qsizetype unavailableMarks = 0;

    bool operator==(const PairQuotes &) const = default;
};

// The program-wide table of quotes: the day's quotes after an update, what a listing loaded after
// a listing. A listing may load millions of records, and the table's readers want only their count
// and the listed pair's last quote, so that is what it keeps of them.
class QuoteTable
{
public:
    qsizetype QuoteCount() const { return m_listing ? m_listing->count : m_rows.size(); }
    // The rows of a quote update; none after a listing.
    const QList<QuoteRow> &rows() const { return m_rows; }
    // The rows of one code, in table order; after a listing only its pair has any.
    PairQuotes pairQuotes(const QString &code, const QuoteFormat &format) const;

    void append(const QuoteRow &row);
    void clear();
    // What a listing loaded: how many records, and the listed pair's quotes.
    void setListing(qsizetype count, const QString &code, const PairQuotes &quotes);

    bool operator==(const QuoteTable &) const = default;

private:
    struct Listing
    {
        qsizetype count = 0;
        QString code;
        PairQuotes quotes;
        bool operator==(const Listing &) const = default;
    };
    QList<QuoteRow> m_rows;
    std::optional<Listing> m_listing;
};

// General text form of a number in the user's locale (see QuoteFormat): at most 15 significant
// digits, no trailing zeros, no digit grouping (1.07 gives "1,07" in Italian).
QString generalText(double value);

// The 6-character quote text shown in the labels, the record list and the history files: the
// general form with a decimal separator added when it has none, padded with zeros, cut to 6.
// 1.0734 gives "1,0734", 1.5 "1,5000", 2 "2,0000", 131.25 "131,25".
QString quoteText(double value);
