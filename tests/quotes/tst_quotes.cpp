#include "common/httpserver.h"
#include "common/recordingdialogs.h"
#include "common/testmain.h"
#include "quotes/clsstockquote.h"

using Kind = HttpServer::Reply::Kind;
using L = QStringList;

namespace {
const QString kAbsent = QStringLiteral("Simbolo  EUR/USD  non trovato in Internet !");

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
    void getQuote_data();
    void getQuote();

private:
    HttpServer m_server;
};

void TestQuotes::initTestCase()
{
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

void TestQuotes::getQuote_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("result");
    QTest::addColumn<L>("messages");
    m_server.setPage(QStringLiteral("/absent"), "EUR/CHF 0,9");
    m_server.setPage(QStringLiteral("/nofigure"), "EUR/USD n/d<BR>");
    m_server.setReply(QStringLiteral("/closed"), page({}, Kind::Close));
    QTest::newRow("quote") << "/target"
                           << "3,5" << L();
    QTest::newRow("no figure") << "/nofigure"
                               << "" << L();
    QTest::newRow("symbol absent") << "/absent"
                                   << "-1" << L{kAbsent};
    QTest::newRow("fetch failed") << "/closed"
                                  << "-1" << L();
}

void TestQuotes::getQuote()
{
    QFETCH(QString, path);
    RecordingDialogs dialogs;
    QString written;
    clsStockQuote reader(dialogs, [&written](const QString &text) { written = text; });
    reader.setHtmPage(m_server.url(path).toString());
    QTEST(reader.getQuote(QStringLiteral("EUR/USD")), "result");
    QTEST(dialogs.texts(), "messages");
    QCOMPARE(written.isEmpty(), path == u"/closed"); // the page goes out before the cut
}

QUOTAZIONI_TEST_MAIN(TestQuotes)
#include "tst_quotes.moc"
