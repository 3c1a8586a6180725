#include "session/quotesession.h"

#include "core/pairsymbol.h"
#include "core/quoteformat.h"
#include "core/textrules.h"
#include "history/historyfilereader.h"
#include "session/startupfiles.h"

#include <QDir>
#include <QSet>

QuoteSession::QuoteSession(const QString &dataDir, UserDialogs &dialogs)
    : m_dataDir(dataDir), m_dialogs(dialogs)
{}

QuoteSession::~QuoteSession() = default;

void QuoteSession::loadDefaults(const QString &pageAddress)
{
    const QDir folder(m_dataDir);
    m_pageAddress = pageAddress;
    m_historyFile = folder.filePath(QStringLiteral("Storico_Quotazioni_Valute.TXT"));
    m_ratesFile = folder.filePath(QStringLiteral("cambiSto.csv"));
    const QString listFile = folder.filePath(QStringLiteral("zantoro.TXT"));
    const StartupFiles::CurrencyList list = StartupFiles::readCurrencyListFile(listFile);
    m_items = list.items;
    m_currencyListProblem = list.problem(listFile);
    m_selector = QStringLiteral("EUR/USD DOLLARO USA - 1");
}

QString QuoteSession::databaseLocation() const
{
    if (!m_databaseLocation.isEmpty())
        return m_databaseLocation;
    return QDir(m_dataDir).filePath(QStringLiteral("VALUTE.MDB"));
}

void QuoteSession::setFetchLimits(std::chrono::milliseconds timeout, qint64 maxBytes)
{
    m_timeout = timeout;
    m_maxBytes = maxBytes;
}

// The listing and the history file go by the selector without the white space around it.
QString QuoteSession::listedSymbol() const
{
    return PairSymbol::of(m_selector.trimmed());
}

ListingResult QuoteSession::list()
{
    const ListingResult listing = m_listing.run(m_db, databaseLocation(), listedSymbol(), m_table, m_dialogs);
    // A cancelled listing read nothing: its lines are none, like the quote table it emptied.
    if (listing.openFailed)
        m_ended = true;
    else
        m_lines = listing.lines;
    return listing;
}

QuoteOutcome QuoteSession::fetch(const QDate &today)
{
    const QString date = today.toString(QStringLiteral("yyyyMMdd"));
    m_shownDate = date;

    m_lastFetchAddress = m_pageAddress.trimmed();
    if (m_stopRequested) {
        m_table.clear();
        m_lastFetch = {};
        m_lastFetch.failure = PageFetcher::Failure::Abandoned;
        m_shown = ShownQuote::unavailable();
        return m_lastFetch;
    }
    // The reader outlives this call, as the last page reader of the session.
    m_objQuote =
        std::make_unique<clsStockQuote>(m_dialogs, [this](const QString &page) { m_pageText = page; });
    m_objQuote->fetcher().setTimeout(m_timeout);
    m_objQuote->fetcher().setMaxBytes(m_maxBytes);
    m_objQuote->setHtmPage(m_pageAddress.trimmed());

    const QuoteOutcome selected = m_objQuote->fetchQuote(PairSymbol::of(m_selector));
    m_lastFetch = selected;
    switch (selected.kind) {
    case QuoteOutcome::Kind::Found:
        m_shown = ShownQuote::quote(selected.value);
        break;
    case QuoteOutcome::Kind::NoFigure:
        m_shown = {};
        break;
    case QuoteOutcome::Kind::SymbolAbsent:
    case QuoteOutcome::Kind::FetchFailed:
        m_shown = ShownQuote::unavailable();
        break;
    }

    m_table.clear();
    // Cutting the previous page again would record its quotes under today's date.
    if (selected.kind == QuoteOutcome::Kind::FetchFailed)
        return selected;

    const QStringList items = m_items;
    for (const QString &item : items) {
        const QString symbol = PairSymbol::of(item);
        const QuoteOutcome pair = quoteIn(m_pageText, symbol);
        if (pair.kind == QuoteOutcome::Kind::SymbolAbsent) {
            m_shown = {};
            continue;
        }
        // A currency without a readable figure gets no row: a stored 0 would overwrite the day's
        // good record and show up in the history as a real quote.
        if (!pair.found()) {
            m_dialogs.message(QStringLiteral("Quotazione non disponibile su Internet !!!"));
            m_shown = {};
            continue;
        }
        m_shown = ShownQuote::quote(pair.value);
        m_table.append({symbol, date, pair.value, item.trimmed(), QString()});
    }
    return selected;
}

RecordingResult QuoteSession::record()
{
    const RecordingResult result = HistoryRecording::run(m_shown, m_historyFile, m_table, m_db, m_dialogs);
    m_shown = result.shown;
    return result;
}

void QuoteSession::show()
{
    const QString symbol = PairSymbol::of(m_selector);
    // A stored quote whose general text is that of -1 is the mark of a quote that was not available:
    // each such row of the pair is reported, and the pair's last row is what shows.
    const QuoteFormat format;
    const PairQuotes quotes = m_table.pairQuotes(symbol, format);
    for (qsizetype i = 0; i < quotes.unavailableMarks; ++i)
        m_dialogs.message(QStringLiteral("Quotazione  ") + symbol +
                          QStringLiteral("  non disponibile su Internet !!!"));
    if (!quotes.last)
        return;
    m_shown =
        format.isUnavailableMark(quotes.last->quote) ? ShownQuote() : ShownQuote::quote(quotes.last->quote);
    m_shownDate = quotes.last->day;
}

OfficialRatesImport::Result QuoteSession::importRates(const OfficialRatesImport::Progress &progress)
{
    return OfficialRatesImport::run(m_ratesFile, m_items, m_db, m_dialogs, progress,
                                    [this] { return m_stopRequested; });
}

RecordList QuoteSession::readHistoryFile()
{
    m_lines = RecordList::ofTexts(HistoryFileReader::run(m_historyFile, listedSymbol(), m_dialogs));
    return m_lines;
}

void QuoteSession::choosePair(const QString &item)
{
    m_selector = item;
    const QChar last = item.isEmpty() ? QChar() : item.back();
    m_currencyNumber = isAsciiDigit(last) ? last.digitValue() : 0;

    // Only an address that ends in a digit carries a currency number; ".../index.shtml" stays as
    // it is, and an empty address stays empty.
    QString address = m_pageAddress.trimmed();
    if (!address.isEmpty() && isAsciiDigit(address.back()))
        address.back() = QChar(QLatin1Char('0').unicode() + m_currencyNumber);
    m_pageAddress = address;
}

int QuoteSession::findPair(const QString &symbol)
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (PairSymbol::of(m_items.at(i)) == symbol)
            return int(i);
    }
    m_dialogs.message(QStringLiteral("Valuta  ") + symbol +
                      QStringLiteral("  non presente nell'elenco delle valute !"));
    return -1;
}

RecordingResult QuoteSession::runDailyJob(const QDate &today)
{
    RecordingResult recording;
    m_unrecordedPairs.clear();
    list();
    if (m_ended)
        return recording;
    // A list cut at its limit still has pairs to record: only one without pairs is a failure.
    if (m_explainFailures && !m_currencyListProblem.isEmpty())
        m_dialogs.message(m_currencyListProblem, {},
                          m_items.isEmpty() ? UserDialogs::Icon::None : UserDialogs::Icon::Information);
    fetch(today);
    const QuoteTable fetched = m_table;
    recording = record();
    if (m_explainFailures && m_lastFetch.kind == QuoteOutcome::Kind::FetchFailed)
        m_dialogs.message(QStringLiteral("Pagina non letta: ") + m_lastFetchAddress + QStringLiteral(" - ") +
                          m_lastFetch.reason);

    QSet<QString> recorded;
    for (qsizetype i = 0; i < recording.recorded && i < fetched.rows().size(); ++i)
        recorded.insert(fetched.rows().at(i).Tipo_Valuta);
    for (const QString &item : std::as_const(m_items)) {
        const QString symbol = PairSymbol::of(item);
        if (!recorded.contains(symbol) && !m_unrecordedPairs.contains(symbol))
            m_unrecordedPairs.append(symbol);
    }
    show();
    list();
    return recording;
}

void QuoteSession::requestStop()
{
    m_stopRequested = true;
    if (m_objQuote)
        m_objQuote->fetcher().abandon();
}

void QuoteSession::close()
{
    m_db.close();
}
