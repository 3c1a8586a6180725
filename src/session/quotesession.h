#pragma once

#include "base/userdialogs.h"
#include "core/quotetable.h"
#include "core/recordlist.h"
#include "core/shownquote.h"
#include "history/historydb.h"
#include "history/historylisting.h"
#include "history/historyrecording.h"
#include "history/officialrates.h"
#include "quotes/clsstockquote.h"
#include "session/referencefill.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// The program's work without a window: the quote table, the history database, the page reader and
// what the user chose (page address, history and rates files, the pair), with the day's operations
// as steps. The main window keeps one, copies what the user typed into it and shows what the steps
// leave; the batch run drives the same steps with no window at all. Every message goes through the
// dialogs.
class QuoteSession
{
public:
    // dataDir holds the database, the currency list and the default files.
    QuoteSession(const QString &dataDir, UserDialogs &dialogs);
    ~QuoteSession();
    QuoteSession(const QuoteSession &) = delete;
    QuoteSession &operator=(const QuoteSession &) = delete;

    // Start-up defaults: the page address, the two files in the data folder, the currency list, and a
    // selector text that names the first pair without being one of the list's items.
    void loadDefaults(const QString &pageAddress);

    QString dataDir() const { return m_dataDir; }
    QString pageAddress() const { return m_pageAddress; }
    void setPageAddress(const QString &address) { m_pageAddress = address; }
    QString historyFileName() const { return m_historyFile; }
    void setHistoryFileName(const QString &name) { m_historyFile = name; }
    QString ratesFileName() const { return m_ratesFile; }
    void setRatesFileName(const QString &name) { m_ratesFile = name; }
    // The currency list's items ("EUR/USD - DOLLARO USA - 1"), and the selector's text as typed.
    const QStringList &pairItems() const { return m_items; }
    void setPairItems(const QStringList &items) { m_items = items; }
    QString selector() const { return m_selector; }
    void setSelector(const QString &text) { m_selector = text; }
    // The number the selected item ends in (0 when none), as the last pair choice left it.
    int currencyNumber() const { return m_currencyNumber; }

    // Lists the history database: every record into the quote table, the selected pair's lines
    // kept. A database that cannot be opened ends the session.
    ListingResult list();
    // Fetches the page once and fills the quote table with the quote of every listed pair; the
    // outcome is the selected pair's. A legacy quote page gives today's quotes; the reference rates
    // give the rates of the day the file names, and tell whether that day is stale by today.
    QuoteOutcome fetch(const QDate &today);
    // Records the quote table into the database and the two history files. After the reference
    // rates: every pair and day not stored yet, the missing days fetched from the history first.
    RecordingResult record(const ReferenceFill::ProgressCallback &progress = {});
    // Shows the selected pair's quote and day from the quote table.
    void show();
    // Loads the official rates file (or the bank's history of the listed pairs) into the database
    // (the caller lists again afterwards).
    OfficialRatesImport::Result importRates(const OfficialRatesImport::Progress &progress = {});
    // The selected pair's lines of the text history file, which become the listed lines.
    RecordList readHistoryFile();
    // Makes an item the selection: its number, and the page address when that ends in a digit.
    void choosePair(const QString &item);
    // The index of the item of a pair symbol; -1, after a message, when the list has none.
    int findPair(const QString &symbol);
    // The day's job without a window: list, fetch, record, show, list again.
    RecordingResult runDailyJob(const QDate &today);
    // The listed pairs that the last daily job did not record, in list order.
    const QStringList &unrecordedPairs() const { return m_unrecordedPairs; }

    // Explains, in the daily job, failures the window leaves to what it shows: a currency list without
    // pairs, and the address and network error of a failed fetch. For the unattended run, whose
    // messages are all the user gets.
    void setExplainFailures(bool explain) { m_explainFailures = explain; }

    // The user closes the window while long work runs: a fetch under way is abandoned at once, an
    // import stops at its next progress report keeping what it stored, and nothing is fetched again.
    void requestStop();
    bool stopRequested() const { return m_stopRequested; }
    // Closes the database quietly, at the end.
    void close();

    // The database could not be opened: the program must end.
    bool ended() const { return m_ended; }
    // The record list's lines: the last listing's, or the history file's.
    const RecordList &lines() const { return m_lines; }
    const QuoteTable &quoteTable() const { return m_table; }
    ShownQuote shownQuote() const { return m_shown; }
    // yyyymmdd of the quote shown; none before the first fetch or show that finds one.
    std::optional<QString> shownDate() const { return m_shownDate; }
    // The text of the last page fetched; a failed fetch leaves it as it was.
    QString pageText() const { return m_pageText; }
    void setPageText(const QString &text) { m_pageText = text; }
    // Where the history is: VALUTE.MDB in the data folder unless another location (a file, or a
    // server's URL) was given.
    QString databaseLocation() const;
    void setDatabaseLocation(const QString &location) { m_databaseLocation = location; }
    // Applied to the page reader each fetch creates.
    void setFetchLimits(std::chrono::milliseconds timeout, qint64 maxBytes);
    // Applied to the download of the reference rates' history.
    void setHistoryLimits(std::chrono::milliseconds timeout, qint64 maxBytes);

    enum class Source {
        Page,          // the legacy quote page, or nothing read yet
        ReferenceRates // the last fetch read the central bank's reference rates
    };
    Source source() const { return m_source; }
    // The reference rates' day is more than three weekdays older than the day of the fetch.
    bool stale() const { return m_stale; }
    // The newest day the reference rates offered; invalid for any other source.
    QDate newestOffered() const { return m_dailyDay; }
    // After the reference rates: every pair the daily file quotes has that day in the database,
    // whichever run stored it.
    bool newestQuotesStored();
    // The history file the last recording asked for, empty when none.
    QUrl historyRequested() const { return m_historyRequested; }
    // Warnings for an unattended run, written nowhere by default: a stale source.
    void setWarningSink(std::function<void(const QString &)> sink) { m_warn = std::move(sink); }
    // The page reader of the last fetch (none before the first).
    clsStockQuote *objQuote() const { return m_objQuote.get(); }

private:
    QString listedSymbol() const;
    QuoteOutcome fetchReferenceRates(const PageFetcher::Result &page, const QDate &today);
    void warn(const QString &text) const;

    QString m_dataDir;
    UserDialogs &m_dialogs;
    QString m_pageAddress;
    QString m_historyFile;
    QString m_ratesFile;
    QString m_databaseLocation;
    QStringList m_items;
    QString m_selector;
    int m_currencyNumber = 0;

    QuoteTable m_table;
    HistoryDb m_db;
    std::unique_ptr<clsStockQuote> m_objQuote;
    std::chrono::milliseconds m_timeout = PageFetcher::kDefaultTimeout;
    qint64 m_maxBytes = PageFetcher::kDefaultMaxBytes;
    std::chrono::milliseconds m_historyTimeout = ReferenceFill::historyTimeout;
    qint64 m_historyMaxBytes = ReferenceFill::historyMaxBytes;
    PageFetcher m_historyFetcher; // the reference rates' history, abandoned with the rest
    Source m_source = Source::Page;
    QDate m_dailyDay;
    QList<QuoteRow> m_dayRows; // the reference rates' rows, kept for recording
    QUrl m_dailyAddress;
    QUrl m_historyRequested;
    bool m_stale = false;
    std::function<void(const QString &)> m_warn;
    QString m_pageText;
    ShownQuote m_shown;
    std::optional<QString> m_shownDate;
    HistoryListing m_listing;
    RecordList m_lines;
    bool m_ended = false;
    bool m_explainFailures = false;
    bool m_stopRequested = false;
    QuoteOutcome m_lastFetch;
    QString m_lastFetchAddress;
    QStringList m_unrecordedPairs;
    QString m_currencyListProblem; // what is wrong with the currency list read by loadDefaults()
};
