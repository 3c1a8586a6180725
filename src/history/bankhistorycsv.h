#pragma once

#include "quotes/referencerates.h"

#include <QByteArrayView>
#include <QSet>
#include <QString>
#include <functional>

class QIODevice;

// The central bank's history of euro reference rates as CSV: a header "Date,USD,JPY,...," naming the
// columns (it ends with a comma, so every line ends with an empty field), then one line per day,
// "2026-04-13,1.1684,186.75,...", newest first, "N/A" or nothing where a currency has no rate that
// day. Columns are found by their names: their order changed over the years.
//
// Read as a stream, one line at a time, so that a history of any length costs one line of memory
// plus what the caller keeps of each day.
namespace BankHistoryCsv {

// Longer lines are not the bank's (a day of every currency is well under a kilobyte): the bound keeps
// a file without line ends from being gathered whole.
inline constexpr qsizetype maxLineLength = 64 * 1024;

struct Result
{
    QString error;        // empty when the whole file was read; otherwise why not (Italian, "Riga N: ...")
    qint64 line = 0;      // 1-based line of the failure; 0 when none, for an empty file or a device failure
    qint64 days = 0;      // data lines read (a day without any wanted rate is read but not handed over)
    bool stopped = false; // the handler asked to stop

    bool ok() const { return error.isEmpty(); }
};

// Called once per day, in the order of the file, with the rates of that day in the header's column
// order (only wanted currencies, N/A left out). Returning false stops the reading (not a failure).
using DayHandler = std::function<bool(const RateDay &day)>;
// The same, told also the 1-based line of the file the day comes from.
using NumberedDayHandler = std::function<bool(const RateDay &day, qint64 line)>;

// Reads everything the device gives until its end. The days before a failure have been handed over:
// the caller decides whether to keep them. Failures: no header or a header that is not "Date" and
// three-letter codes (an empty name allowed only last), a code named twice, a line with more or fewer
// fields than the header, a date that is not "YYYY-MM-DD" of a real day from the euro's first day on,
// a day given twice, a rate that is not a positive decimal number, a line longer than maxLineLength,
// a header with no day after it, and any read error of the device (its errorString).
// A UTF-8 byte-order mark, CR LF or LF line ends, blanks around fields and empty lines are accepted.
// wantedCodes, when not empty, keeps only those currencies (the others are still checked).
Result read(QIODevice &device, const DayHandler &onDay, const QSet<QString> &wantedCodes = {});
Result read(QByteArrayView bytes, const DayHandler &onDay, const QSet<QString> &wantedCodes = {});
Result readNumbered(QIODevice &device, const NumberedDayHandler &onDay,
                    const QSet<QString> &wantedCodes = {});

// True when the text starts like the header ("Date,", after an optional UTF-8 byte-order mark).
bool looksLikeBankHistoryCsv(QByteArrayView head);

} // namespace BankHistoryCsv
