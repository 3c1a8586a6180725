#pragma once

#include "core/quotetable.h"
#include "quotes/pagefetcher.h"
#include "quotes/referencerates.h"

#include <QDate>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>

class HistoryDb;
class UserDialogs;

// The central bank's reference rates as the quote source: reading the daily file into the day's
// rows, and recording them together with the days the database lacks, taken from the history file
// published beside the daily file.
namespace ReferenceFill {

// A fetched body is read as reference rates when it looks like them, is declared as XML, or comes
// from an address of an XML file: an HTML error page served for the daily file is then refused as a
// bad document instead of being searched for quotes. Anything else is a legacy quote page.
bool isReferenceDocument(const PageFetcher::Result &page, const QUrl &address);

// The currency a listed pair takes from the reference rates: "EUR/USD" takes "USD". Empty for a
// symbol that is not the euro against a code.
QString currencyOf(const QString &pairSymbol);

// One row per listed item whose currency the day quotes, in list order, dated by the day.
QList<QuoteRow> dayRows(const RateDay &day, const QStringList &items);

// The history download's own limits: the full history is several megabytes and grows every day.
inline constexpr std::chrono::milliseconds historyTimeout{120000};
inline constexpr qint64 historyMaxBytes = 64 * 1024 * 1024;

struct Progress
{
    enum class Stage {
        Downloading, // done: bytes received, total: bytes announced (-1 when unknown)
        Recording    // done: days written, total: days to write
    };
    Stage stage = Stage::Downloading;
    qint64 done = 0;
    qint64 total = 0;
};
using ProgressCallback = std::function<void(const Progress &)>;

struct Request
{
    QUrl dailyAddress;       // the history files lie beside it
    QDate dailyDay;          // the daily file's day
    QList<QuoteRow> dayRows; // the day's rows, one per listed pair the daily file quotes
    QString historyFileName; // the text history file (its ".CSV" twin beside it)
    std::chrono::milliseconds timeout = historyTimeout;
    qint64 maxBytes = historyMaxBytes;
    PageFetcher *fetcher = nullptr; // the caller's, so that it can abandon the download; else one of our own
    std::function<bool()> stopRequested; // the program is closing: nothing more is fetched or written
};

struct Outcome
{
    qsizetype recorded = 0; // new rows, now in the database and both history files
    bool completed = false; // the rows to write were all written
    QUrl historyRequested;  // the history file asked for, empty when nothing was missing
};

// Looks at each pair's newest stored day, fetches the 90-day or the full history when some weekday
// is missing before the daily day (one request at most), and records the pairs and days not yet
// stored, oldest first, the day's rows last. A history that cannot be had is one message and the
// day's rows are recorded all the same.
Outcome record(const Request &request, HistoryDb &db, UserDialogs &dialogs,
               const ProgressCallback &progress = {});

// The message of a history download that failed.
QString historyFailureMessage(const QString &errorText, const QUrl &address);

} // namespace ReferenceFill
