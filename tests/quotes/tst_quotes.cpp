#include "common/httpserver.h"
#include "common/recordingdialogs.h"
#include "common/testmain.h"
#include "quotes/clsstockquote.h"
#include "quotes/quotecut.h"

using Kind = HttpServer::Reply::Kind;
using L = QStringList;

namespace {
const QString kAbsent = QStringLiteral("Simbolo  EUR/USD  non trovato in Internet !");
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
    void pageQuotes_data();
    void pageQuotes();

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
    m_server.setReply(QStringLiteral("/closed"), {Kind::Close, 200, {}, {}, {}});
    const auto row = [](const char *tag, const char *path, const char *result, const L &messages) {
        QTest::newRow(tag) << QString(path) << QString(result) << messages;
    };
    row("quote", "/target", "3,5", {});
    row("no figure", "/nofigure", "", {});
    row("symbol absent", "/absent", "-1", {kAbsent});
    row("fetch failed", "/closed", "-1", {});
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

void TestQuotes::pageQuotes_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<L>("symbols");
    QTest::addColumn<L>("outcomes"); // per symbol: the value, "absent" or "no figure: <figure>"
    const QString fourPairs = "<p>EUR/USD 1,0871<BR>EUR/CHF 0,9412<BR>EUR/JPY 131,25<BR>EUR/GBP 0,8571";
    QTest::newRow("each pair on its line, the last at the page end")
        << fourPairs << L{"EUR/GBP", "EUR/USD", "EUR/JPY", "EUR/CHF"}
        << L{"0.8571", "1.0871", "131.25", "0.9412"};
    QTest::newRow("the first place of a symbol named twice")
        << "EUR/USD 1,5<BR>EUR/USD 2,5<BR>" << L{"EUR/USD", "EUR/USD"} << L{"1.5", "1.5"};
    QTest::newRow("absent, empty and without figure")
        << "EUR/USD n/d<BR>EUR/CHF 0,94<BR>" << L{"EUR/SEK", "", "EUR/USD", "EUR/CHF"}
        << L{"absent", "absent", "no figure: ", "0.94"};
    QTest::newRow("one symbol inside another, of other lengths")
        << "xEUR/USD 1,1<BR>EUR/U 2,2<BR>" << L{"EUR/U", "EUR/USD", "R/USD", "EUR/USDX"}
        << L{"1.1", "1.1", "1.1", "absent"};
    QTest::newRow("places that overlap")
        << "EUREUR/ 7,5" << L{"EUREUR", "EUR/", "REU"} << L{"7.5", "7.5", "7.5"};
    QTest::newRow("a symbol longer than the page")
        << "EUR" << L{"EUR/USD", "EUR"} << L{"absent", "no figure: "};
}

void TestQuotes::pageQuotes()
{
    QFETCH(QString, page);
    QFETCH(L, symbols);
    const PageQuotes quotes(page, symbols);
    L outcomes;
    for (const QString &symbol : symbols) {
        const QuoteOutcome outcome = quotes.quoteOf(symbol);
        switch (outcome.kind) {
        case QuoteOutcome::Kind::Found:
            outcomes << QString::number(outcome.value);
            break;
        case QuoteOutcome::Kind::SymbolAbsent:
            outcomes << QStringLiteral("absent");
            break;
        case QuoteOutcome::Kind::NoFigure:
            outcomes << "no figure: " + outcome.figure;
            break;
        case QuoteOutcome::Kind::FetchFailed:
            outcomes << QStringLiteral("fetch failed");
            break;
        }
    }
    QTEST(outcomes, "outcomes");
}

QUOTAZIONI_TEST_MAIN(TestQuotes)
#include "tst_quotes.moc"
