#pragma once

#include "core/quoteformat.h"
#include "core/textrules.h"
#include "history/listingreader.h"

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// What reading a record tells of a field the table does not have.
inline RuntimeError missingFieldError()
{
    return {3265, QStringLiteral("Elemento non trovato in questo insieme.")};
}

// The condition, to follow others with AND, on the records before one in date order (a missing date
// first, then the order of storage): date and position are the placeholders of its Data_Valuta
// (empty when NULL) and of its place in storage, which the engine calls positionColumn.
QByteArray beforeInDateOrder(const QByteArray &date, const QByteArray &position, const char *positionColumn);

// Numbered placeholders of an engine's mark ('?' or '$'), each followed by cast: "?1,?2".
QByteArray placeholders(char mark, int first, int count, const char *cast = "");

// A date as the list keeps it; 8 digits need no string.
inline bool isPlainDate(QByteArrayView date)
{
    if (date.size() != 8)
        return false;
    for (char c : date) {
        if (!isAsciiDigit(QLatin1Char(c)))
            return false;
    }
    return true;
}

// The selected pair's records as a listing gives them, added in date order: the dated ones as the
// record list's lines, the last one and the unavailable marks for the quote table.
class PairLines
{
public:
    PairLines(const QString &pair, const QuoteFormat &format) : m_lines(pair, format), m_format(format) {}

    // A record as stored: its date's text (isText false when the date is stored as something else).
    // True when the date is 8 digits.
    bool add(QByteArrayView date, bool isText, double quote)
    {
        const bool plain = isText && isPlainDate(date);
        if (plain) {
            m_lines.appendPlain(date, quote);
            m_dayOfLastLine = true;
        } else {
            const QString day = QString::fromUtf8(date).trimmed();
            if (!day.isEmpty())
                m_lines.append(day, quote);
            m_dayOfLastLine = !day.isEmpty();
        }
        if (m_format.isUnavailableMark(quote))
            ++m_quotes.unavailableMarks;
        m_quotes.last = LastQuote{{}, quote};
        return plain;
    }
    // A record read in full, its date trimmed.
    void add(const QString &day, double quote);
    // The record that stops the listing: the pair's last, with no quote and no line.
    void endWithUnreadable(const QString &day);
    void finish(ListingSnapshot &snapshot);

private:
    RecordList::Builder m_lines;
    const QuoteFormat &m_format;
    PairQuotes m_quotes;
    bool m_dayOfLastLine = false; // the last record's day is that of the last line
};

// What the listing's rules ask of one engine, all from one consistent state of the database.
class ListingSource
{
public:
    // Codes are named by their place in what readCodes gave, or as these.
    static constexpr int kAnyCode = -1;
    static constexpr int kNoCode = -2; // NULL

    struct Totals
    {
        qint64 records = 0;
        bool nullCodes = false;    // some records have no code (need not be told when none)
        bool quotesMayFail = true; // some quote may be unreadable
    };
    // A record read in full.
    struct Record
    {
        QString code;       // trimmed
        QString day;        // Data_Valuta trimmed
        double quote = 0;   // 0 when it cannot be read
        RuntimeError error; // why it cannot be read, if so
        bool first = false; // the first in date order (known once firstRecord gave it)
    };

    virtual ~ListingSource() = default;
    // The first failure; after one the answers mean nothing.
    RuntimeError error() const { return m_error; }
    virtual std::optional<Totals> totals() = 0;
    // Every code stored, once (NULL aside), as text; false on a failure.
    virtual bool readCodes(std::vector<QString> &codes) = 0;
    // The first record in date order, asked for only when the rules need it.
    virtual std::optional<Record> firstRecord() = 0;
    // The first record in date order whose quote cannot be read, among those loaded tells of (given
    // code and first). From then on the counts and the pair's records are of the records before it.
    virtual std::optional<Record> firstUnreadable(const std::function<bool(const Record &)> &loaded) = 0;
    // How many records a code has (or any code, or none), only those before the unreadable one once
    // there is one.
    virtual std::optional<qint64> count(int code) = 0;
    // The records of the codes, through the index on code and date, added to lines in date order.
    virtual void readPair(const std::vector<int> &codes, PairLines &lines) = 0;

protected:
    // Beyond this many different codes a walk from code to code through the index costs more than one
    // pass over the table.
    static constexpr int kMaxCodeSeeks = 4096;

    // Keeps the first failure; false.
    bool fail(const RuntimeError &error)
    {
        if (!m_error.isError())
            m_error = error;
        return false;
    }

private:
    RuntimeError m_error;
};

// The listing's rules, one engine's source asked only for what it must read: codes are grouped by
// their trimmed text; records with a blank or no code are neither loaded nor counted, except the
// first in date order; loading stops at the first record whose quote cannot be read, which is
// counted and ends the pair's records if it is the pair's.
class ListingRules
{
public:
    ListingRules(const QString &pair, const QuoteFormat &format) : m_pair(pair), m_format(format) {}

    ListingSnapshot read(ListingSource &source);

    // Codes are grouped by their trimmed text.
    enum class CodeGroup { Blank, Pair, Other };
    CodeGroup groupOf(const QString &storedCode) const;

    // After read: whether a later listing may start from this one and the records changed since:
    // nothing failed or was unreadable, no code is blank, and the pair is stored under one code or none.
    bool mayBeUpdated(const ListingSnapshot &snapshot) const;
    // After read: the places of the codes that are the pair's.
    const std::vector<int> &pairCodes() const { return m_pairCodes; }

private:
    QString m_pair;
    const QuoteFormat &m_format;
    std::vector<int> m_pairCodes;
    bool m_blankCodes = false;
};
