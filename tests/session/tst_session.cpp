#include "common/historytest.h"
#include "common/httpserver.h"
#include "common/recordingdialogs.h"
#include "common/testmain.h"
#include "session/quotesession.h"

#include <QDir>
#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTemporaryDir>
#include <QTimer>

using namespace std::chrono_literals;
using Kind = HttpServer::Reply::Kind;
using L = QStringList;

namespace {
const QByteArray kFourPairs =
    "<p>EUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412<BR>EUR/JPY 131,25 131,4<BR>EUR/GBP 0,8567";
const QString kUsd = QStringLiteral("EUR/USD - DOLLARO USA - 1");
const QStringList kFourItems = {kUsd, "EUR/CHF - FRANCO SVIZZERO - 2", "EUR/JPY - YEN GIAPPONESE - 3",
                                "EUR/GBP - STERLINA INGLESE - 4  "};
const QString kUnavailable = QStringLiteral("Quotazione non disponibile su Internet !!!");
const QString kAbsent = QStringLiteral("Simbolo  EUR/USD  non trovato in Internet !");
const QString kOldPage = QStringLiteral("EUR/USD 9,99");

// The label's state as a test reads it: the quote, "unavailable" or nothing.
QString shownText(const ShownQuote &shown)
{
    if (shown.state == ShownQuote::State::Unavailable)
        return QStringLiteral("unavailable");
    return shown.state == ShownQuote::State::Quote ? QString::number(shown.value) : QString();
}

const auto page = [](const QByteArray &body, Kind kind = Kind::Body, int status = 200,
                     const QByteArray &type = "text/html") -> HttpServer::Reply {
    return {kind, status, type, body, "/target"};
};
} // namespace

class TestSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fetch_data();
    void fetch();
    void show_data();
    void show();
    void dailyJob_data();
    void dailyJob();
    void interruptedFetch_data();
    void interruptedFetch();

private:
    HttpServer m_server;
    QSslServer m_secure; // answers every request with the same small page
};

void TestSession::initTestCase()
{
    QFile key(QStringLiteral(QUOTES_TEST_DATA "/localhost.key"));
    QVERIFY(key.open(QIODevice::ReadOnly));
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QVERIFY(config.addCaCertificates(QStringLiteral(QUOTES_TEST_DATA "/localhost.crt")));
    QSslConfiguration::setDefaultConfiguration(config); // the certificate is trusted by this test only
    config.setLocalCertificate(config.caCertificates().constLast());
    config.setPrivateKey(QSslKey(&key, QSsl::Rsa));
    m_secure.setSslConfiguration(config);
    QVERIFY(m_secure.listen(QHostAddress::LocalHost));
    connect(&m_secure, &QSslServer::pendingConnectionAvailable, this, [this] {
        QTcpSocket *socket = m_secure.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            if (socket->readAll().contains("\r\n\r\n")) {
                socket->write("HTTP/1.0 200 OK\r\nContent-Length: 11\r\n\r\nEUR/USD 4,5");
                socket->disconnectFromHost();
            }
        });
    });
    m_server.setPage(QStringLiteral("/target"), "EUR/USD 3,5");
}

void TestSession::fetch_data()
{
    QTest::addColumn<QString>("address"); // %1: the plain server, %2: the port of the HTTPS one
    QTest::addColumn<HttpServer::Reply>("reply");
    QTest::addColumn<L>("items");
    QTest::addColumn<L>("rows");        // symbol=quote, in order
    QTest::addColumn<QString>("shown"); // the quote the label shows, "unavailable" or empty
    QTest::addColumn<L>("messages");
    QTest::addColumn<QString>("text3"); // by default the page served
    const auto add = [](const char *name, const HttpServer::Reply &reply, const L &items, const L &rows,
                        const QString &shown, const L &messages = {}, const QString &text3 = {},
                        const QString &address = "%1/quotes") {
        QTest::newRow(name) << address << reply << items << rows << shown << messages
                            << (text3.isNull() ? QString::fromUtf8(reply.body) : text3);
    };
    // The fetch and the cut of the selected pair alone, with an empty list.
    const QByteArray quote = "EUR/USD   1,0871 1,0899<BR>", atLimit = quote.leftJustified(64 * 1024, ' ');
    add("quote", page(quote), {}, {}, "1.0871");
    add("empty page", page(""), {}, {}, "unavailable", {kAbsent});
    add("binary page", page({"\0\x80,", 3}), {}, {}, "unavailable", {kAbsent},
        QString::fromUtf16(u"\0€,", 3));
    // An error page is no quote page, whatever it carries.
    add("404 with body", page(quote, Kind::Body, 404), {}, {}, "unavailable", {}, kOldPage);
    add("500 carrying the symbols", page(kFourPairs, Kind::Body, 500), kFourItems, {}, "unavailable", {},
        kOldPage);
    add("declared latin-1", page("\x80 EUR/USD 1,5", Kind::Body, 200, "text/html; charset=latin1"), {}, {},
        "1.5", {}, "€ EUR/USD 1,5");
    add("page at the size limit", page(atLimit), {}, {}, "1.0871");
    add("gigantic page", page(atLimit + ' '), {}, {}, "unavailable", {}, kOldPage);
    add("connection closed: the old page not cut again", page({}, Kind::Close), kFourItems, {}, "unavailable",
        {}, kOldPage);
    add("never answers", page({}, Kind::Hang), {}, {}, "unavailable", {}, kOldPage);
    add("redirect loop", page({}, Kind::RedirectLoop), {}, {}, "unavailable", {}, kOldPage);
    add("redirect", page({}, Kind::Redirect), {}, {}, "3.5", {}, "EUR/USD 3,5");
    add("https", page(""), {}, {}, "4.5", {}, "EUR/USD 4,5", "https://127.0.0.1:%2/");
    add("empty address", page(quote), {}, {}, "unavailable", {}, kOldPage, "");
    const L usd = {kUsd}, usdChf = {kUsd, kFourItems[1]}, unavailable = {kUnavailable};
    add("three integer digits, sign", page("EUR/USD -131,25<BR>"), usd, {"EUR/USD=-131.25"}, "-131.25");
    add("several commas", page("EUR/USD 1,25,75<BR>"), usd, {"EUR/USD=1.25"}, "1.25");
    add("lower-case <br>", page("EUR/USD <br>0,9<BR>"), usd, {"EUR/USD=0.9"}, "0.9");
    add("truncated mid-number", page("EUR/USD 1,"), usd, {"EUR/USD=1"}, "1");
    add("comma first", page("EUR/USD,5 1,2<BR>"), usd, {}, "", unavailable);
    add("no comma before <BR>", page("EUR/USD 1<BR>2,5"), usd, {}, "", unavailable);
    add("first occurrence only", page("EUR/USD \t<BR>EUR/USD 1,5"), usd, {}, "", unavailable);
    add("case-sensitive", page("eur/usd 1,5<BR>"), usd, {}, "", {kAbsent});
    add("four pairs", page(kFourPairs), kFourItems,
        {"EUR/USD=1.0871", "EUR/CHF=0.9412", "EUR/JPY=131.25", "EUR/GBP=0.8567"}, "0.8567");
    add("absent pair last", page(kFourPairs), {kUsd, "EUR/SEK - CORONA - 5"}, {"EUR/USD=1.0871"}, "");
    add("listed twice", page(kFourPairs), {kUsd, kUsd}, {"EUR/USD=1.0871", "EUR/USD=1.0871"}, "1.0871");
    add("empty item matches nothing", page(kFourPairs), {"", kUsd}, {"EUR/USD=1.0871"}, "1.0871");
    add("selected pair absent", page("EUR/CHF 0,94"), {kFourItems[1]}, {"EUR/CHF=0.94"}, "0.94", {kAbsent});
    add("not a number", page("EUR/USD n/d,--<BR>EUR/CHF 2,"), usdChf, {"EUR/CHF=2"}, "2", unavailable);
    add("symbol at the very end", page("EUR/CHF 1,5<BR>EUR/USD"), usdChf, {"EUR/CHF=1.5"}, "1.5",
        unavailable);
    add("number too large", page("EUR/USD " + QByteArray(400, '9') + ",5"), usd, {}, "", unavailable);
    add("number too small", page("EUR/USD 0," + QByteArray(400, '0') + "1"), usd, {}, "", unavailable);
}

void TestSession::fetch()
{
    QFETCH(QString, address);
    QFETCH(QStringList, items);
    QFETCH(HttpServer::Reply, reply);
    m_server.setReply(QStringLiteral("/quotes"), reply);
    RecordingDialogs dialogs;
    QuoteSession session(QDir::tempPath(), dialogs);
    session.setFetchLimits(300ms, 64 * 1024);
    address.replace("%1", m_server.url({}).toString()).replace("%2", QString::number(m_secure.serverPort()));
    session.setPageAddress(" " + address + " ");
    session.setSelector(kUsd);
    session.setPairItems(items);
    session.setPageText(kOldPage);
    session.fetch(QDate(2026, 12, 5));
    QStringList rows;
    for (const QuoteRow &row : session.quoteTable().rows()) {
        rows.append(row.Tipo_Valuta + '=' + QString::number(row.Quotazione));
        QVERIFY(row.Data_Valuta == u"20261205" && row.Note.isEmpty() &&
                row.Descrizione.startsWith(row.Tipo_Valuta) && row.Descrizione == row.Descrizione.trimmed() &&
                !items.filter(row.Descrizione).isEmpty());
    }
    QTEST(rows, "rows");
    QTEST(shownText(session.shownQuote()), "shown");
    QCOMPARE(session.shownDate(), QStringLiteral("20261205"));
    QTEST(dialogs.texts(), "messages");
    for (const RecordingDialogs::Entry &entry : dialogs.entries())
        QCOMPARE(entry.icon,
                 entry.text == kAbsent ? UserDialogs::Icon::Information : UserDialogs::Icon::None);
    QTEST(session.pageText(), "text3");
    QCOMPARE(session.objQuote()->htmPage(), address);
}

void TestSession::show_data()
{
    QTest::addColumn<QStringList>("records"); // listed in date order
    QTest::addColumn<L>("shown");             // quote, date
    QTest::addColumn<L>("messages");
    const auto add = [](const char *name, const QStringList &records, const L &shown,
                        const L &messages = {}) { QTest::newRow(name) << records << shown << messages; };
    add("zero", {"'EUR/USD','20261205',0,'',NULL"}, {"0", "20261205"});
    add("last match decides",
        {"'EUR/USD','20261201',1.1,'',NULL", "'EUR/CHF','20261202',0.9,'',NULL",
         "'EUR/USD','20261203',2,'',NULL"},
        {"2", "20261203"});
    add("no match", {"'EUR/CHF','20261205',0.9,'',NULL"}, {"", ""});
    add("unavailable marker", {"'EUR/USD','20261205',-1,'',NULL"}, {"", "20261205"},
        {"Quotazione  EUR/USD  non disponibile su Internet !!!"});
    add("each marker reported, the last row shown",
        {"'EUR/USD','20261201',-1,'',NULL", "'EUR/USD','20261202',-1,'',NULL",
         "'EUR/CHF','20261203',-1,'',NULL", "'EUR/USD','20261203',1.5,'',NULL",
         "'EUR/USD',char(160),2.5,'',NULL"}, // a blank that sorts last
        {"2.5", ""}, L(2, "Quotazione  EUR/USD  non disponibile su Internet !!!"));
}

void TestSession::show()
{
    QFETCH(QStringList, records);
    QTemporaryDir dir;
    makeDatabase(dir.filePath("VALUTE.MDB"), records);
    RecordingDialogs dialogs;
    QuoteSession session(dir.path(), dialogs);
    session.setSelector(kUsd);
    session.list();
    dialogs.clear();
    session.show();
    QTEST(L({shownText(session.shownQuote()), session.shownDate().value_or(QString())}), "shown");
    QTEST(dialogs.texts(), "messages");
}

void TestSession::dailyJob_data()
{
    QTest::addColumn<QByteArray>("currencyList"); // zantoro.TXT, missing when null
    QTest::addColumn<HttpServer::Reply>("reply");
    QTest::addColumn<L>("messages"); // %1: the page address, %2: the currency list's path
    QTest::addColumn<L>("records");  // code=quote
    QTest::addColumn<L>("unrecorded");
    const QByteArray four = "EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n";
    const QByteArray threePairs = "<p>EUR/USD 1,0871<BR>EUR/CHF 0,9412<BR>EUR/JPY 131,25<BR>";
    const L three = {"EUR/USD=1.0871", "EUR/CHF=0.9412", "EUR/JPY=131.25"};
    const L all = {"EUR/USD", "EUR/CHF", "EUR/JPY", "EUR/GBP"};
    // clang-format off
    QTest::newRow("page lacking the last pair: the others recorded") << four << page(threePairs) << L{} << three << L{"EUR/GBP"};
    QTest::newRow("error page: address and cause after the message") << four << page(kFourPairs, Kind::Body, 500)
        << L{kUnavailable, "Pagina non letta: %1 - HTTP 500 Internal Server Error"} << L{} << all;
    QTest::newRow("no answer") << four << page({}, Kind::Hang)
        << L{kUnavailable, "Pagina non letta: %1 - nessuna risposta completa entro 0.3 secondi"} << L{} << all;
    QTest::newRow("endless page") << four << page({}, Kind::Endless)
        << L{kUnavailable, "Pagina non letta: %1 - risposta oltre 64 KiB"} << L{} << all;
    QTest::newRow("currency list missing") << QByteArray() << page(threePairs)
        << L{"Elenco valute non letto - Impossibile trovare il file\r\n\r\n%2"} << L{} << L{};
    QTest::newRow("currency list empty") << QByteArray("") << page(threePairs)
        << L{"Elenco valute senza righe EUR/: %2"} << L{} << L{};
    QTest::newRow("currency list binary") << QByteArray("EUR/USD\0\x01\x02\r\n", 12) << page(threePairs)
        << L{"Elenco valute non valido (non è un file di testo): %2"} << L{} << L{};
    // clang-format on
}

void TestSession::dailyJob()
{
    QFETCH(QByteArray, currencyList);
    QFETCH(HttpServer::Reply, reply);
    QFETCH(L, messages);
    QTemporaryDir dir;
    const QString database = makeDatabase(dir.filePath("VALUTE.MDB"));
    if (!currencyList.isNull())
        QVERIFY(writeFile(dir.filePath("zantoro.TXT"), currencyList));
    m_server.setReply(QStringLiteral("/quotes"), reply);
    RecordingDialogs dialogs;
    QuoteSession session(dir.path(), dialogs);
    session.setExplainFailures(true);
    session.loadDefaults(m_server.url("/quotes").toString());
    session.setFetchLimits(300ms, 64 * 1024);
    session.runDailyJob(QDate(2026, 12, 5));

    for (QString &message : messages)
        message.replace("%1", m_server.url("/quotes").toString()).replace("%2", dir.filePath("zantoro.TXT"));
    QCOMPARE(dialogs.texts(), messages);
    QStringList stored;
    for (const QString &record : records(database))
        stored << record.section('|', 0, 0) + '=' + record.section('|', 2, 2);
    QTEST(stored, "records");
    QTEST(session.unrecordedPairs(), "unrecorded");
}

void TestSession::interruptedFetch_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("the window closes: the session is told to stop") << false;
    QTest::newRow("the application quits: every event loop ends") << true;
}

// The page does not answer and the fetch is interrupted: it ends at once, without waiting for its
// time-out, and the reply it left unfinished is no page (an empty page would be cut for quotes and
// lose the old one).
void TestSession::interruptedFetch()
{
    QFETCH(bool, quit);
    m_server.setReply(QStringLiteral("/quotes"), page({}, Kind::Hang));
    RecordingDialogs dialogs;
    QuoteSession session(QDir::tempPath(), dialogs);
    session.setFetchLimits(60s, 64 * 1024);
    session.setPageAddress(m_server.url("/quotes").toString());
    session.setSelector(kUsd);
    session.setPageText(kOldPage);
    const int requests = m_server.requestCount();
    QTimer poll; // as soon as the request is under way
    connect(&poll, &QTimer::timeout, this, [&] {
        if (m_server.requestCount() > requests)
            quit ? QCoreApplication::exit(0) : session.requestStop();
    });
    poll.start(10);
    const QuoteOutcome outcome = session.fetch(QDate(2026, 12, 5));
    poll.stop();
    if (quit) { // the application's own loop starts the thread's loops afresh
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
    }
    QCOMPARE(outcome.kind, QuoteOutcome::Kind::FetchFailed);
    QCOMPARE(outcome.failure, PageFetcher::Failure::Abandoned);
    QCOMPARE(session.pageText(), kOldPage);
    QCOMPARE(dialogs.texts(), L());
    if (!quit) { // and nothing is fetched afterwards
        QVERIFY(session.stopRequested());
        session.fetch(QDate(2026, 12, 5));
        QCOMPARE(m_server.requestCount(), requests + 1);
    }
}

QUOTAZIONI_TEST_MAIN(TestSession)
#include "tst_session.moc"
