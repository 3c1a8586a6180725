#include "clsstockquote.h"
#include "httpserver.h"
#include "quotecommands.h"
#include "recordingdialogs.h"
#include "testmain.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>

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

const auto page = [](const QByteArray &body, Kind kind = Kind::Body, int status = 200,
                     const QByteArray &type = "text/html") -> HttpServer::Reply {
    return {kind, status, type, body, "/target"};
};
} // namespace

class TestQuotes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void pReplace_data();
    void pReplace();
    void command1_data();
    void command1();
    void command7_data();
    void command7();

private:
    HttpServer m_server;
    QSslServer m_secure; // answers every request with the same small page
};

void TestQuotes::initTestCase()
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

void TestQuotes::pReplace_data()
{
    QTest::addColumn<L>("call"); // expression, find, replacement
    QTest::addColumn<QString>("result");
    const auto add = [](const char *name, const L &call, const QString &result) {
        QTest::newRow(name) << call << result;
    };
    add("entity", {"a&nbsp;b", "&nbsp;", " "}, "a b");
    add("shorter than find", {"a&nb", "&nbsp;", " "}, "a&nb");
    add("empty find", {"ab", "", "-"}, "--ab");
    add("replacement scanned again", {"ab", "a", "aa"}, "aaab");
    add("bound fixed on entry", {"a b c d", " ", "____"}, "a____b____c d");
    add("removal skips the next", {"xxxx", "x", ""}, "xx");
}

void TestQuotes::pReplace()
{
    QFETCH(L, call);
    QString expression = call[0];
    RecordingDialogs dialogs;
    clsStockQuote reader(dialogs, {});
    QTEST(reader.pReplace(expression, call[1], call[2]), "result");
    QTEST(expression, "result");
}

void TestQuotes::command1_data()
{
    QTest::addColumn<QString>("address"); // %1: the plain server, %2: the port of the HTTPS one
    QTest::addColumn<HttpServer::Reply>("reply");
    QTest::addColumn<L>("items");
    QTest::addColumn<L>("rows"); // symbol=quote, in order
    QTest::addColumn<QString>("lblQuote");
    QTest::addColumn<L>("messages");
    QTest::addColumn<QString>("text3"); // by default the page served
    const auto add = [](const char *name, const HttpServer::Reply &reply, const L &items, const L &rows,
                        const QString &lblQuote, const L &messages = {}, const QString &text3 = {},
                        const QString &address = "%1/quotes") {
        QTest::newRow(name) << address << reply << items << rows << lblQuote << messages
                            << (text3.isNull() ? QString::fromUtf8(reply.body) : text3);
    };
    // The fetch and the cut of the selected pair alone, with an empty list.
    const QByteArray quote = "EUR/USD   1,0871 1,0899<BR>", atLimit = quote.leftJustified(64 * 1024, ' ');
    add("quote", page(quote), {}, {}, "1,0871");
    add("symbol absent", page("EUR/CHF 0,9"), {}, {}, "-1", {kAbsent});
    add("empty page", page(""), {}, {}, "-1", {kAbsent});
    add("binary page", page({"\0\x80,", 3}), {}, {}, "-1", {kAbsent}, QString::fromUtf16(u"\0€,", 3));
    add("404 with body", page(quote, Kind::Body, 404), {}, {}, "1,0871");
    add("declared latin-1", page("\x80 EUR/USD 1,5", Kind::Body, 200, "text/html; charset=latin1"), {}, {},
        "1,5000", {}, "€ EUR/USD 1,5");
    add("page at the size limit", page(atLimit), {}, {}, "1,0871");
    add("gigantic page", page(atLimit + ' '), {}, {}, "-1", {}, kOldPage);
    add("connection closed", page({}, Kind::Close), {}, {}, "-1", {}, kOldPage);
    add("never answers", page({}, Kind::Hang), {}, {}, "-1", {}, kOldPage);
    add("redirect loop", page({}, Kind::RedirectLoop), {}, {}, "-1", {}, kOldPage);
    add("redirect", page({}, Kind::Redirect), {}, {}, "3,5000", {}, "EUR/USD 3,5");
    add("https", page(""), {}, {}, "4,5000", {}, "EUR/USD 4,5", "https://127.0.0.1:%2/");
    add("empty address", page(quote), {}, {}, "-1", {}, kOldPage, "");
    const L usd = {kUsd}, usdChf = {kUsd, kFourItems[1]}, unavailable = {kUnavailable};
    add("three integer digits, sign", page("EUR/USD -131,25<BR>"), usd, {"EUR/USD=-131.25"}, "-131,2");
    add("several commas", page("EUR/USD 1,25,75<BR>"), usd, {"EUR/USD=1.25"}, "1,2500");
    add("lower-case <br>", page("EUR/USD <br>0,9<BR>"), usd, {"EUR/USD=0.9"}, "0,9000");
    add("truncated mid-number", page("EUR/USD 1,"), usd, {"EUR/USD=1"}, "1,0000");
    add("comma first", page("EUR/USD,5 1,2<BR>"), usd, {}, "", unavailable);
    add("no comma before <BR>", page("EUR/USD 1<BR>2,5"), usd, {}, "", unavailable);
    add("first occurrence only", page("EUR/USD \t<BR>EUR/USD 1,5"), usd, {}, "", unavailable);
    add("case-sensitive", page("eur/usd 1,5<BR>"), usd, {}, "", {kAbsent});
    add("four pairs", page(kFourPairs), kFourItems,
        {"EUR/USD=1.0871", "EUR/CHF=0.9412", "EUR/JPY=131.25", "EUR/GBP=0.8567"}, "0,8567");
    add("absent pair last", page(kFourPairs), {kUsd, "EUR/SEK - CORONA - 5"}, {"EUR/USD=1.0871"}, "");
    add("listed twice", page(kFourPairs), {kUsd, kUsd}, {"EUR/USD=1.0871", "EUR/USD=1.0871"}, "1,0871");
    add("empty item matches nothing", page(kFourPairs), {"", kUsd}, {"EUR/USD=1.0871"}, "1,0871");
    add("selected pair absent", page("EUR/CHF 0,94"), {kFourItems[1]}, {"EUR/CHF=0.94"}, "0,9400", {kAbsent});
    add("not a number", page("EUR/USD n/d,--<BR>EUR/CHF 2,"), usdChf, {"EUR/CHF=2"}, "2,0000", unavailable);
    add("symbol at the very end", page("EUR/CHF 1,5<BR>EUR/USD"), usdChf, {"EUR/CHF=1.5"}, "1,5000",
        unavailable);
    add("number too large", page("EUR/USD " + QByteArray(400, '9') + ",5"), usd, {}, "", unavailable);
    add("fetch failure: old page not cut again", page({}, Kind::Close), kFourItems, {}, "-1", {}, kOldPage);
}

void TestQuotes::command1()
{
    QFETCH(QString, address);
    QFETCH(QStringList, items);
    QFETCH(HttpServer::Reply, reply);
    m_server.setReply(QStringLiteral("/quotes"), reply);
    QuoteTable table;
    table.append({QStringLiteral("EUR/USD"), QStringLiteral("20000101"), 9.99, {}, {}});
    RecordingDialogs dialogs;
    QuoteCommands commands(table, dialogs);
    commands.setFetchLimits(300ms, 64 * 1024);
    address.replace("%1", m_server.url({}).toString()).replace("%2", QString::number(m_secure.serverPort()));
    QuoteControls controls{" " + address + " ", kUsd, items, kOldPage, "x", "x"};
    commands.Command1(controls, QDate(2026, 12, 5));
    QStringList rows;
    for (const QuoteRow &row : table.rows()) {
        rows.append(row.Tipo_Valuta + '=' + QString::number(row.Quotazione));
        QVERIFY(row.Data_Valuta == u"20261205" && row.Note.isEmpty() &&
                row.Descrizione.startsWith(row.Tipo_Valuta) && row.Descrizione == row.Descrizione.trimmed() &&
                !items.filter(row.Descrizione).isEmpty());
    }
    QTEST(rows, "rows");
    QTEST(controls.lblQuote, "lblQuote");
    QCOMPARE(controls.lblData, QStringLiteral("05-12"));
    QTEST(dialogs.texts(), "messages");
    for (const RecordingDialogs::Entry &entry : dialogs.entries())
        QCOMPARE(entry.icon,
                 entry.text == kAbsent ? UserDialogs::Icon::Information : UserDialogs::Icon::None);
    QTEST(controls.Text3, "text3");
    QCOMPARE(commands.objQuote()->htmPage(), address);
}

void TestQuotes::command7_data()
{
    QTest::addColumn<QList<QuoteRow>>("rows");
    QTest::addColumn<L>("labels"); // lblQuote, lblData
    QTest::addColumn<L>("messages");
    const auto add = [](const char *name, const QList<QuoteRow> &rows, const L &labels,
                        const L &messages = {}) { QTest::newRow(name) << rows << labels << messages; };
    const auto row = [](const char *symbol, double quote, const char *date = "20261205") {
        return QuoteRow{QString::fromLatin1(symbol), QString::fromLatin1(date), quote, {}, {}};
    };
    add("four decimals", {row("EUR/USD", 1.087)}, {"1,0870", "05-12"});
    add("zero", {row("EUR/USD", 0)}, {"0,0000", "05-12"});
    add("last match decides",
        {row("EUR/USD", 1.1, "20261204"), row("EUR/CHF", 0.9, "20261130"), row("EUR/USD", 2, "20261203")},
        {"2,0000", "03-12"});
    add("no match", {row("EUR/CHF", 0.9)}, {"old", "01-01"});
    add("unavailable marker", {row("EUR/USD", -1)}, {"", "05-12"},
        {"Quotazione  EUR/USD  non disponibile su Internet !!!"});
}

void TestQuotes::command7()
{
    QFETCH(QList<QuoteRow>, rows);
    QuoteTable table;
    for (const QuoteRow &row : rows)
        table.append(row);
    RecordingDialogs dialogs;
    QuoteCommands commands(table, dialogs);
    QuoteControls controls{{}, kUsd, {}, {}, "old", "01-01"};
    commands.Command7(controls);
    QTEST(L({controls.lblQuote, controls.lblData}), "labels");
    QTEST(dialogs.texts(), "messages");
}

QUOTAZIONI_TEST_MAIN(TestQuotes)
#include "tst_quotes.moc"
