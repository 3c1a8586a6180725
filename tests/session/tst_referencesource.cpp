#include "common/historytest.h"
#include "common/httpserver.h"
#include "common/recordingdialogs.h"
#include "common/referencefiles.h"
#include "common/testmain.h"
#include "session/quotesession.h"

#include <QTemporaryDir>

using namespace std::chrono_literals;
using L = QStringList;

namespace {

const QStringList kFourItems = {"EUR/USD - DOLLARO USA - 1", "EUR/CHF - FRANCO SVIZZERO - 2",
                                "EUR/JPY - YEN GIAPPONESE - 3", "EUR/GBP - STERLINA INGLESE - 4"};
const QString kOldPage = QStringLiteral("pagina precedente");
const QString kAbsent = QStringLiteral("Simbolo  EUR/USD  non trovato in Internet !");

// The rates the served files hold, one day a line: yyyymmdd, then USD CHF JPY GBP as the bank
// writes them in the daily file (every figure six characters, so that the quote text is the figure
// with a comma).
const QStringList kRates = {
    "19990104 1.1789 1.6168 133.73 0.7111", "20231002 1.0556 0.9669 157.49 0.8681",
    "20240222 1.0824 0.9525 162.88 0.8551", "20240223 1.0800 0.9529 162.91 0.8549",
    "20240226 1.0852 0.9532 162.48 0.8560", "20240227 1.0820 0.9518 162.71 0.8540",
};
const QStringList kCodes = {"USD", "CHF", "JPY", "GBP"};

QStringList fieldsOf(const QString &day)
{
    for (const QString &line : kRates) {
        if (line.startsWith(day))
            return line.split(u' ');
    }
    qFatal("no rates for %s", qPrintable(day));
}

// One of those days as the served files give it.
ReferenceDay referenceDay(const QString &day)
{
    const QStringList fields = fieldsOf(day);
    ReferenceDay result{QDate::fromString(day, QStringLiteral("yyyyMMdd")), {}};
    for (int i = 0; i < kCodes.size(); ++i)
        result.rates << kCodes[i] + u'=' + fields[i + 1];
    return result;
}

QByteArray historyFile(const QStringList &days)
{
    QList<ReferenceDay> served;
    for (const QString &day : days)
        served << referenceDay(day);
    return referenceHistoryFile(served);
}

const QStringList kNinetyDays = {"20240222", "20240223", "20240226", "20240227"};
const QStringList kFullHistory = QStringList{"19990104", "20231002"} + kNinetyDays;

// A stored record of the four pairs' one day, as SQL values, with a rate no file holds.
QStringList storedDay(const QString &day, const QStringList &codes = kCodes)
{
    QStringList values;
    for (const QString &code : codes) {
        const QString item = kFourItems[kCodes.indexOf(code)];
        values << "'EUR/" + code + "','" + day + "',9.99,'" + item + "',''";
    }
    return values;
}

// What a short form "yyyymmdd CODE" becomes: its record, its text line and its semicolon line.
struct Expected
{
    QStringList records;
    QByteArray text, csv;
};

Expected expected(const QStringList &added)
{
    Expected result;
    for (const QString &entry : added) {
        const QString day = entry.left(8), code = entry.mid(9);
        const int index = kCodes.indexOf(code);
        const QString figure = fieldsOf(day)[index + 1], item = kFourItems[index];
        const QString quote = QString(figure).replace(u'.', u',');
        const QString dd = day.mid(6, 2), mm = day.mid(4, 2), yyyy = day.left(4);
        result.records << "EUR/" + code + '|' + day + '|' + withoutTrailingZeros(figure) + '|' + item + '|';
        result.text += (dd + '-' + mm + '-' + yyyy + " - " + quote + " - " + item + "\r\n").toUtf8();
        result.csv += (dd + '/' + mm + '/' + yyyy + ';' + quote + ';' + item + ";\r\n").toUtf8();
    }
    return result;
}

// Every pair of each day, in list order.
QStringList allPairs(const QStringList &days)
{
    QStringList entries;
    for (const QString &day : days) {
        for (const QString &code : kCodes)
            entries << day + ' ' + code;
    }
    return entries;
}

} // namespace

class TestReferenceSource : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void fetch_data();
    void fetch();
    void fill_data();
    void fill();

private:
    QuoteSession *session(QTemporaryDir &dir, RecordingDialogs &dialogs, QStringList *warnings);
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<QuoteSession> m_session;
};

void TestReferenceSource::init()
{
    m_server = std::make_unique<HttpServer>();
}

QuoteSession *TestReferenceSource::session(QTemporaryDir &dir, RecordingDialogs &dialogs,
                                           QStringList *warnings)
{
    m_session = std::make_unique<QuoteSession>(dir.path(), dialogs);
    m_session->setPageAddress(m_server->url(QStringLiteral("/stats/eurofxref-daily.xml")).toString());
    m_session->setHistoryFileName(dir.filePath(QStringLiteral("Storico.TXT")));
    m_session->setSelector(kFourItems[0]);
    m_session->setPairItems(kFourItems);
    m_session->setPageText(kOldPage);
    m_session->setWarningSink([warnings](const QString &text) { warnings->append(text); });
    return m_session.get();
}

void TestReferenceSource::fetch_data()
{
    QTest::addColumn<QByteArray>("daily");
    QTest::addColumn<QString>("path"); // where the page is served
    QTest::addColumn<L>("items");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<L>("rows");        // code|date|rate
    QTest::addColumn<QString>("shown"); // the selected pair's quote, "unavailable" or empty
    QTest::addColumn<QString>("shownDate");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<L>("messages");
    QTest::addColumn<L>("warnings"); // %1: the page's address

    const QString daily = QStringLiteral("/stats/eurofxref-daily.xml");
    const QDate tuesday(2024, 2, 27);
    const L fourRows = {"EUR/USD|20240227|1.082", "EUR/CHF|20240227|0.9518", "EUR/JPY|20240227|162.71",
                        "EUR/GBP|20240227|0.854"};
    const auto add = [&](const char *name, const QByteArray &body, const L &rows, const QString &shown,
                         const L &warnings = {}, const QDate &today = QDate(2024, 2, 27),
                         const L &items = kFourItems, const L &messages = {},
                         const QString &path = QStringLiteral("/stats/eurofxref-daily.xml")) {
        const bool stale = !warnings.isEmpty() && warnings.first().startsWith("Attenzione");
        // The day shown is that of the rows, else today.
        QTest::newRow(name) << body << path << items << today << rows << shown
                            << (rows.isEmpty() ? today.toString("yyyyMMdd") : rows.first().section('|', 1, 1))
                            << stale << messages << warnings;
    };
    const QByteArray day = referenceDailyFile(referenceDay("20240227"));

    const QByteArray sek = "\t<Cube currency='SEK' rate='11.2050'/>\n</Cube>\n\t</Cube>";
    add("an added currency takes its code", QByteArray(day).replace("</Cube>\n\t</Cube>", sek),
        fourRows + L{"EUR/SEK|20240227|11.205"}, "1.082", {}, tuesday, kFourItems + L{"EUR/SEK - "});
    add("a symbol that is no pair of the euro gets nothing", day, {"EUR/GBP|20240227|0.854"}, "unavailable",
        {}, tuesday, {"USD/JPY - ", "EUR/GB - ", "eur/usd - ", "EUR/GBP - STERLINA INGLESE - 4"}, {kAbsent});
    add("dated by the file; three weekdays between: not stale", day, fourRows, "1.082", {},
        QDate(2024, 3, 4));
    add("four weekdays between: stale", day, fourRows, "1.082",
        {"Attenzione: l'ultimo cambio disponibile è del 27/02/2024"}, QDate(2024, 3, 5));
    add("the selected pair missing: the others kept",
        QByteArray(day).replace("\t\t\t<Cube currency='USD' rate='1.0820'/>\n", ""), fourRows.mid(1),
        "unavailable", {}, tuesday, kFourItems, {kAbsent});
    add("a valid document with no rate of a listed pair: no rows",
        QByteArray(day).replace("rate='", "rate='-").replace("</Cube>\n\t</Cube>", sek), {}, "unavailable",
        {}, tuesday, kFourItems, {kAbsent});

    // Refused whole: nothing kept, the page text as it was, a warning naming the address.
    const QString bad = QStringLiteral("%1: Documento dei cambi di riferimento non valido ");
    add("truncated", day.left(day.indexOf("GBP")), {}, "unavailable",
        {bad + "(riga 9, colonna 19): Premature end of document."});
    // At the reference rates' address, a page that is no such document is refused, not cut for quotes.
    add("an HTML error page with status 200", "<html><body><h1>Service unavailable</h1></body></html>", {},
        "unavailable", {bad + "(riga 1, colonna 6): l'elemento radice non è gesmes:Envelope"});
    add("well-formed, no valid day",
        "<?xml version=\"1.0\"?>" + kReferenceEnvelope + "<Cube></Cube></gesmes:Envelope>", {}, "unavailable",
        {"%1: il documento non contiene alcun cambio valido"});

    // The legacy page is cut as ever, dated today, at any address.
    add("legacy page", "<p>EUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412<BR>", {}, "1.0871", {},
        QDate(2024, 3, 1), {}, {}, "/delay/valute/index.shtml");
}

void TestReferenceSource::fetch()
{
    QFETCH(QByteArray, daily);
    QFETCH(QString, path);
    QFETCH(L, items);
    QFETCH(QDate, today);
    QFETCH(L, warnings);
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    QStringList warned;
    QuoteSession &quotes = *session(dir, dialogs, &warned);
    m_server->setPage(path, daily, 200, path.endsWith(".xml") ? "text/xml" : "text/html");
    quotes.setPageAddress(m_server->url(path).toString());
    quotes.setPairItems(items);
    const QuoteOutcome outcome = quotes.fetch(today);

    QStringList rows;
    for (const QuoteRow &row : quotes.quoteTable().rows()) {
        rows << row.Tipo_Valuta + '|' + row.Data_Valuta + '|' + QString::number(row.Quotazione, 'g', 15);
        QVERIFY(row.Note.isEmpty() &&
                items.contains(row.Descrizione + (row.Descrizione.endsWith('-') ? " " : "")));
    }
    QTEST(rows, "rows");
    const ShownQuote shown = quotes.shownQuote();
    const QString shownText = shown.state == ShownQuote::State::Unavailable ? QStringLiteral("unavailable")
                              : shown.state == ShownQuote::State::Quote     ? QString::number(shown.value)
                                                                            : QString();
    QTEST(shownText, "shown");
    QTEST(quotes.shownDate().value_or(QString()), "shownDate");
    QTEST(quotes.stale(), "stale");
    QTEST(dialogs.texts(), "messages");
    for (QString &warning : warnings)
        warning.replace("%1", m_server->url(path).toString());
    // A refused document is a failed fetch whose reason the caller names with the address.
    QStringList reported = warned;
    if (outcome.kind == QuoteOutcome::Kind::FetchFailed)
        reported << m_server->url(path).toString() + QStringLiteral(": ") + outcome.reason;
    QCOMPARE(reported, warnings);

    const bool refused = !warnings.isEmpty() && warnings.first().startsWith(m_server->url(path).toString());
    QCOMPARE(quotes.source() == QuoteSession::Source::ReferenceRates, path.endsWith(".xml") && !refused);
    if (quotes.source() != QuoteSession::Source::ReferenceRates && path.endsWith(".xml"))
        QCOMPARE(quotes.pageText(), kOldPage); // refused: nothing of it kept
    QCOMPARE(m_server->requestedPaths(), L{path});
}

void TestReferenceSource::fill_data()
{
    QTest::addColumn<QStringList>("stored"); // SQL values of the records stored before
    QTest::addColumn<QString>("ninetyDays"); // what the 90-day address serves: "file", or a failure
    QTest::addColumn<QString>("full");       // the same for the full history
    QTest::addColumn<L>("requested");        // after the daily file
    QTest::addColumn<L>("added");            // "yyyymmdd CODE", in the order written
    QTest::addColumn<L>("messages");         // %1: the address of the history asked for

    const QString ninety = QStringLiteral("/stats/eurofxref-hist-90d.xml");
    const auto add = [](const char *name, const QStringList &stored, const L &requested, const L &added,
                        const L &messages = {}, const QString &ninetyDays = "file",
                        const QString &full = "file") {
        QTest::newRow(name) << stored << ninetyDays << full << requested << added << messages;
    };
    const QString whole = QStringLiteral("/stats/eurofxref-hist.xml");
    const QString failed = QStringLiteral("Impossibile scaricare lo storico dei cambi di riferimento - ");

    add("the day stored already: nothing written", storedDay("20240227"), {}, {});
    add("nothing missing: no history asked for, a stored day never written again",
        storedDay("20240226") + storedDay("20240227", {"CHF"}), {},
        {"20240227 USD", "20240227 JPY", "20240227 GBP"});
    add("one pair behind within reach: the 90-day file, every day it lacks filled",
        storedDay("20240226", {"USD", "CHF", "JPY"}) + storedDay("20240223", {"GBP"}), {ninety},
        allPairs({"20240222"}) + L{"20240223 USD", "20240223 CHF", "20240223 JPY", "20240226 GBP"} +
            allPairs({"20240227"}));
    add("an empty history: the full history", {}, {whole}, allPairs(kFullHistory));

    // A history that cannot be had: one message, the day's rows recorded all the same.
    const L dayOnly = allPairs({"20240227"});
    add("history not found", storedDay("20240222"), {ninety}, dayOnly,
        {failed + "HTTP 404 Not Found\r\n\r\n%1"}, "404");
    add("history never complete", storedDay("20240222"), {ninety}, dayOnly,
        {failed + "nessuna risposta completa entro 2 secondi\r\n\r\n%1"}, "hang");
    add("history too large", {}, {whole}, dayOnly, {failed + "risposta oltre 64 KiB\r\n\r\n%1"}, "file",
        "large");
    add("history truncated", storedDay("20240222"), {ninety}, dayOnly,
        {failed + "Documento dei cambi di riferimento non valido (riga 5, colonna 40): Premature end of "
                  "document.\r\n\r\n%1"},
        "truncated");
    // Inside a good history, a bad day or rate gives no row and the rest is used.
    add("history with invalid entries", storedDay("20240222"), {ninety},
        L{"20240223 USD", "20240223 CHF", "20240223 GBP", "20240226 USD", "20240226 CHF", "20240226 JPY",
          "20240226 GBP"} +
            dayOnly,
        {}, "invalid");
}

void TestReferenceSource::fill()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, ninetyDays);
    QFETCH(QString, full);
    QFETCH(L, added);
    QTemporaryDir dir;
    const QString database = makeDatabase(dir.filePath(QStringLiteral("VALUTE.MDB")), stored);
    const QStringList storedBefore = records(database);

    const auto serve = [this](const QString &path, const QString &what, const QStringList &days) {
        HttpServer::Reply reply;
        reply.contentType = "text/xml";
        const QByteArray file = historyFile(days);
        if (what == "file") {
            reply.body = file;
        } else if (what == "404") {
            reply.status = 404;
            reply.body = "<html>Not found</html>";
        } else if (what == "hang") {
            reply.kind = HttpServer::Reply::Kind::Hang;
        } else if (what == "large") {
            reply.body = file + QByteArray(64 * 1024, ' ');
        } else if (what == "truncated") {
            reply.body = file.left(file.indexOf("USD\" rate=\"1.0824"));
        } else if (what == "invalid") {
            reply.body = QByteArray(file)
                             .replace("<Cube currency=\"JPY\" rate=\"162.91\"/>",
                                      "<Cube currency=\"JPY\" rate=\"0\"/>")
                             .replace("time=\"2024-02-22\"", "time=\"2024-02-31\"");
        }
        m_server->setReply(path, reply);
    };
    m_server->setPage(QStringLiteral("/stats/eurofxref-daily.xml"),
                      referenceDailyFile(referenceDay("20240227")), 200, "text/xml");
    serve(QStringLiteral("/stats/eurofxref-hist-90d.xml"), ninetyDays, kNinetyDays);
    serve(QStringLiteral("/stats/eurofxref-hist.xml"), full, kFullHistory);

    RecordingDialogs dialogs;
    QStringList warnings;
    QuoteSession &quotes = *session(dir, dialogs, &warnings);
    quotes.setHistoryLimits(ninetyDays == "hang" ? 2s : 120s, full == "large" ? 64 * 1024 : 64 * 1024 * 1024);
    quotes.list();
    quotes.fetch(QDate(2024, 2, 27));
    QList<ReferenceFill::Progress> progress;
    const RecordingResult result =
        quotes.record([&progress](const ReferenceFill::Progress &step) { progress.append(step); });

    QFETCH(L, requested);
    const QString ninety = QStringLiteral("/stats/eurofxref-hist-90d.xml");
    QCOMPARE(m_server->requestedPaths(), L{"/stats/eurofxref-daily.xml"} + requested);
    QCOMPARE(quotes.historyRequested(), requested.isEmpty() ? QUrl() : m_server->url(requested.first()));
    QFETCH(L, messages);
    for (QString &message : messages)
        message = message.arg(quotes.historyRequested().toString());
    QCOMPARE(dialogs.texts(), messages);
    QCOMPARE(warnings, L());
    QCOMPARE(result.recorded, added.size());
    QVERIFY(result.completed);

    const Expected now = expected(added);
    QCOMPARE(records(database), storedBefore + now.records);
    const QString text = dir.filePath(QStringLiteral("Storico.TXT")),
                  csv = dir.filePath(QStringLiteral("Storico.CSV"));
    const QByteArray header = "Data;Quotazione;Valuta;Note\r\n";
    QCOMPARE(fileBytes(text), added.isEmpty() ? QByteArray() : header + now.text);
    QCOMPARE(fileBytes(csv), added.isEmpty() ? QByteArray() : header + now.csv);
    QCOMPARE(quotes.newestQuotesStored(), true);

    // Recording shows its progress: the download as it comes, then the days written.
    const QString served = requested.value(0) == ninety ? ninetyDays : requested.isEmpty() ? "none" : full;
    if (served != "large") {
        QCOMPARE(std::any_of(progress.cbegin(), progress.cend(),
                             [](const ReferenceFill::Progress &p) {
                                 return p.stage == ReferenceFill::Progress::Stage::Downloading && p.done > 0;
                             }),
                 served != "none" && served != "hang");
    }
    if (!added.isEmpty()) {
        const ReferenceFill::Progress &last = progress.constLast();
        QCOMPARE(last.stage, ReferenceFill::Progress::Stage::Recording);
        QCOMPARE(last.done, last.total);
    }

    // The same day again: nothing is written twice, whatever the first run could have.
    const QByteArray databaseBytes = fileBytes(database), textBytes = fileBytes(text),
                     csvBytes = fileBytes(csv);
    dialogs.clear();
    quotes.fetch(QDate(2024, 2, 27));
    const RecordingResult again = quotes.record();
    QCOMPARE(again.recorded, 0);
    QCOMPARE(fileBytes(database), databaseBytes);
    QCOMPARE(fileBytes(text), textBytes);
    QCOMPARE(fileBytes(csv), csvBytes);
}

QUOTAZIONI_TEST_MAIN(TestReferenceSource)
#include "tst_referencesource.moc"
