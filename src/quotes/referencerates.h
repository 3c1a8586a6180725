#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>

class QIODevice;

// One currency's euro reference rate: units of the currency for one euro.
struct CurrencyRate
{
    QString code; // ISO 4217, three capital letters ("USD")
    double rate = 0;

    bool operator==(const CurrencyRate &) const = default;
};

// The rates published for one day, each currency once, in the order the source lists them.
struct RateDay
{
    QDate day;
    QList<CurrencyRate> rates;

    bool operator==(const RateDay &) const = default;
};

// The central bank's euro reference rates in XML: the daily file, the 90-day file and the full
// history share one layout, a gesmes:Envelope holding one Cube of one Cube per day
// (time="YYYY-MM-DD") of one Cube per currency (currency="USD" rate="1.0856").
namespace ReferenceRates {

// Where the namespaces of the layout point; prefixes are whatever the document declares.
inline constexpr QLatin1StringView envelopeNamespace{"http://www.gesmes.org/xml/2002-08-01"};
inline constexpr QLatin1StringView cubeNamespace{"http://www.ecb.int/vocabulary/2002-08-01/eurofxref"};

// Elements deeper than this end the reading: the layout needs four levels, and a document of
// millions of nested elements must not grow the reader's stack of open elements without end.
inline constexpr int maxDepth = 16;

// The euro's first day: no reference rate is older.
QDate firstEuroDay();

struct Document
{
    // Days in ascending order, each once, only days with at least one valid rate.
    QList<RateDay> days;
    // Empty when the document was read; otherwise why it was refused (Italian, with line and
    // column where the reader stopped) and days is empty.
    QString error;

    bool ok() const { return error.isEmpty(); }
    // The newest day, or an invalid date when there is none.
    QDate newestDay() const { return days.isEmpty() ? QDate() : days.constLast().day; }
};

// Reads a whole document. It is refused whole when it is not well-formed to its end, holds a DTD
// (and so any entity declaration), nests deeper than maxDepth or is not a reference-rate envelope.
// Inside an accepted document a day whose time is not a valid date from firstEuroDay on, and a rate
// whose code is not three capital letters or whose value is not a positive finite decimal number,
// are left out and the rest is kept. A currency given twice on a day keeps its first rate; a day
// given twice keeps the rates of both, the first occurrence winning.
// wantedCodes, when not empty, keeps only those currencies.
Document parse(QByteArrayView xml, const QSet<QString> &wantedCodes = {});
// The device must already hold the whole document (a file, a buffer): running out of data is a cut.
Document parse(QIODevice *device, const QSet<QString> &wantedCodes = {});

// A cheap look at a fetched body: true when it starts (after a byte-order mark and blanks) with an
// XML declaration or names one of the layout's namespaces near its start. The legacy quote page is
// HTML without either, so it is never taken for this layout.
bool looksLikeReferenceRates(QByteArrayView body);

// A valid rate attribute: digits with an optional fraction ("1", "0.8562", "162.20"), blanks around
// ignored, greater than zero and finite. Nothing otherwise.
std::optional<double> readRate(QStringView text);
// The same on Latin-1 bytes, such as a field of a CSV file, without making a text of it.
std::optional<double> readRate(QByteArrayView text);
// A valid code: exactly three capital ASCII letters.
bool isCurrencyCode(QStringView text);
// A valid day: "YYYY-MM-DD", a real calendar date, not before firstEuroDay. Invalid otherwise.
QDate readDay(QStringView text);

// The history files published beside the daily file: its address with the last path segment
// replaced, query and fragment dropped.
inline constexpr QLatin1StringView ninetyDayFileName{"eurofxref-hist-90d.xml"};
inline constexpr QLatin1StringView fullHistoryFileName{"eurofxref-hist.xml"};
QUrl siblingUrl(const QUrl &dailyUrl, QLatin1StringView fileName);
inline QUrl ninetyDayUrl(const QUrl &dailyUrl)
{
    return siblingUrl(dailyUrl, ninetyDayFileName);
}
inline QUrl fullHistoryUrl(const QUrl &dailyUrl)
{
    return siblingUrl(dailyUrl, fullHistoryFileName);
}

// Monday to Friday; the bank publishes no rate on Saturdays and Sundays.
bool isWeekday(QDate day);
// The number of weekdays d with from < d < to; 0 when to is not after from or a date is invalid.
qint64 weekdaysStrictlyBetween(QDate from, QDate to);

// A pair's newest stored day lacks days before the daily file's day when at least one weekday lies
// strictly between them. A pair with nothing stored (invalid date) always lacks days.
bool lacksDays(QDate newestStored, QDate dailyDay);

enum class HistoryFile {
    None,       // nothing missing: no request
    NinetyDays, // every missing weekday lies in the 90-day file
    Full        // some missing weekday is older, or some pair has nothing stored
};

// The 90-day file is enough when, for every pair that lacks days, the first weekday after its newest
// stored day lies within the ninetyDayReach days before the daily file's day (the 90-day file spans
// about 90 calendar days back; the margin covers its publication lag). newestStoredPerPair holds one
// date per listed pair, invalid for a pair with nothing stored.
inline constexpr int ninetyDayReach = 85;
HistoryFile historyFileFor(QDate dailyDay, const QList<QDate> &newestStoredPerPair);

// The source is stale when more than three weekdays lie strictly between its newest day and today.
bool isStale(QDate newestOffered, QDate today);

} // namespace ReferenceRates
