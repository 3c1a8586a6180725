#include "session/quotesession.h"

#include "core/pairsymbol.h"
#include "core/quoteformat.h"
#include "core/textrules.h"
#include "history/historyfilereader.h"
#include "history/newdaysrecording.h"
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

void QuoteSession::setHistoryLimits(std::chrono::milliseconds timeout, qint64 maxBytes)
{
    m_historyTimeout = timeout;
    m_historyMaxBytes = maxBytes;
}

void QuoteSession::warn(const QString &text) const
{
    if (m_warn)
        m_warn(text);
}

QuoteOutcome QuoteSession::fetch(const QDate &today)
{
    const QString date = today.toString(QStringLiteral("yyyyMMdd"));
    m_shownDate = date;
    m_source = Source::Page;
    m_dailyDay = QDate();
    m_dayRows.clear();
    m_stale = false;
    m_historyRequested.clear();

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

    // One GET; what came back decides how it is read.
    const PageFetcher::Result page = m_objQuote->fetchPage();
    if (page.ok && ReferenceFill::isReferenceDocument(page, QUrl(m_objQuote->htmPage())))
        return fetchReferenceRates(page, today);
    const QuoteOutcome selected = m_objQuote->quoteInPage(page, PairSymbol::of(m_selector));
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
    QStringList symbols;
    symbols.reserve(items.size());
    for (const QString &item : items)
        symbols << PairSymbol::of(item);
    const PageQuotes quotes(m_pageText, symbols);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString &item = items.at(i);
        const QString &symbol = symbols.at(i);
        const QuoteOutcome pair = quotes.quoteOf(symbol);
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

QuoteOutcome QuoteSession::fetchReferenceRates(const PageFetcher::Result &page, const QDate &today)
{
    m_table.clear();
    const QString address = m_objQuote->htmPage();
    const ReferenceRates::Document document = ReferenceRates::parse(QByteArrayView(page.body));
    if (!document.ok() || document.days.isEmpty()) {
        // Refused whole, as a page that could not be fetched: nothing is kept of it.
        m_shown = ShownQuote::unavailable();
        m_lastFetch = {}; // fetched, but not a document to read: no transport failure to name
        m_lastFetch.reason =
            document.ok() ? QStringLiteral("il documento non contiene alcun cambio valido") : document.error;
        return m_lastFetch;
    }
    m_pageText = decodePage(page.body, page.contentType);
    m_source = Source::ReferenceRates;
    m_dailyAddress = QUrl(address);
    m_dailyDay = document.newestDay();
    m_dayRows = ReferenceFill::dayRows(document.days.constLast(), m_items);
    for (const QuoteRow &row : std::as_const(m_dayRows))
        m_table.append(row);
    m_shownDate = m_dailyDay.toString(QStringLiteral("yyyyMMdd"));
    m_stale = ReferenceRates::isStale(m_dailyDay, today);
    if (m_stale)
        warn(QStringLiteral("Attenzione: l'ultimo cambio disponibile è del ") +
             m_dailyDay.toString(QStringLiteral("dd/MM/yyyy")));

    const QString symbol = PairSymbol::of(m_selector);
    QuoteOutcome selected;
    for (const QuoteRow &row : std::as_const(m_dayRows)) {
        if (row.Tipo_Valuta == symbol) {
            selected.kind = QuoteOutcome::Kind::Found;
            selected.value = row.Quotazione;
            selected.figure = generalText(row.Quotazione);
        }
    }
    if (selected.found()) {
        m_shown = ShownQuote::quote(selected.value);
    } else {
        selected.kind = QuoteOutcome::Kind::SymbolAbsent;
        m_dialogs.message(QStringLiteral("Simbolo  ") + symbol +
                              QStringLiteral("  non trovato in Internet !"),
                          {}, UserDialogs::Icon::Information);
        m_shown = ShownQuote::unavailable();
    }
    m_lastFetch = selected;
    return selected;
}

RecordingResult QuoteSession::record(const ReferenceFill::ProgressCallback &progress)
{
    if (m_source == Source::ReferenceRates) {
        ReferenceFill::Request request;
        request.dailyAddress = m_dailyAddress;
        request.dailyDay = m_dailyDay;
        request.dayRows = m_dayRows;
        request.historyFileName = m_historyFile;
        request.timeout = m_historyTimeout;
        request.maxBytes = m_historyMaxBytes;
        request.fetcher = &m_historyFetcher;
        request.stopRequested = [this] { return m_stopRequested; };
        const ReferenceFill::Outcome outcome = ReferenceFill::record(request, m_db, m_dialogs, progress);
        m_historyRequested = outcome.historyRequested;
        RecordingResult result;
        result.shown = m_shown;
        result.recorded = outcome.recorded;
        result.completed = outcome.completed;
        return result;
    }
    const RecordingResult result = HistoryRecording::run(m_shown, m_historyFile, m_table, m_db, m_dialogs);
    m_shown = result.shown;
    return result;
}

bool QuoteSession::newestQuotesStored()
{
    if (m_source != Source::ReferenceRates || m_dayRows.isEmpty())
        return false;
    return std::all_of(m_dayRows.cbegin(), m_dayRows.cend(), [this](const QuoteRow &row) {
        return NewDaysRecording::isStored(m_db, row.Tipo_Valuta, row.Data_Valuta);
    });
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
    if (m_source == Source::ReferenceRates) {
        // A reference rate is stored once: a pair whose newest day an earlier run stored is done.
        for (const QuoteRow &row : std::as_const(m_dayRows)) {
            if (NewDaysRecording::isStored(m_db, row.Tipo_Valuta, row.Data_Valuta))
                recorded.insert(row.Tipo_Valuta);
        }
    }
    for (qsizetype i = 0; m_source == Source::Page && i < recording.recorded && i < fetched.rows().size();
         ++i)
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
    m_historyFetcher.abandon();
}

void QuoteSession::close()
{
    m_db.close();
}
