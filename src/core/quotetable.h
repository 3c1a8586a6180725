#pragma once

#include <QList>
#include <QString>

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

// The program-wide table of quotes: the day's quotes after an update, the stored records after a
// listing. It grows as needed.
class QuoteTable
{
public:
    qsizetype QuoteCount() const { return m_rows.size(); }
    const QList<QuoteRow> &rows() const { return m_rows; }
    const QuoteRow &row(qsizetype index) const { return m_rows.at(index); } // 0-based
    void append(const QuoteRow &row) { m_rows.append(row); }
    void clear() { m_rows.clear(); }
    void reserve(qsizetype size) { m_rows.reserve(size); }

    bool operator==(const QuoteTable &) const = default;

private:
    QList<QuoteRow> m_rows;
};

// General text form of a number: at most 15 significant digits, no trailing zeros, the locale's
// decimal separator, no digit grouping (1.07 gives "1,07" in Italian).
QString generalText(double value);

// The 6-character quote text shown in the labels, the record list and the history files: the
// general form with a decimal separator added when it has none, padded with zeros, cut to 6.
// 1.0734 gives "1,0734", 1.5 "1,5000", 2 "2,0000", 131.25 "131,25".
QString quoteText(double value);
