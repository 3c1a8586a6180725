#include "chart/chartframe.h"
#include "common/batchrun.h"
#include "common/httpserver.h"
#include "common/referencefiles.h"
#include "common/testmain.h"
#include "windowfixture.h"

#include <QDate>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>

namespace {

const QStringList kCodes = {"USD", "CHF", "JPY", "GBP"};
const QStringList kItems = {"EUR/USD - DOLLARO USA - 1", "EUR/CHF - FRANCO SVIZZERO - 2",
                            "EUR/JPY - YEN GIAPPONESE - 3", "EUR/GBP - STERLINA INGLESE - 4"};
const QString kDaily = QStringLiteral("/stats/eurofxref-daily.xml");
const QString kNinety = QStringLiteral("/stats/eurofxref-hist-90d.xml");
const QString kFull = QStringLiteral("/stats/eurofxref-hist.xml");
// The weekdays up to the last one on or before `last`, oldest first.
QList<QDate> weekdaysUpTo(QDate last, int count)
{
    while (last.dayOfWeek() > 5)
        last = last.addDays(-1);
    QList<QDate> days;
    for (QDate day = last; days.size() < count; day = day.addDays(-1)) {
        if (day.dayOfWeek() <= 5)
            days.prepend(day);
    }
    return days;
}

// The rate of a currency on the i-th day, as the daily file writes it: four decimals, two for the yen.
QString figure(int code, int i)
{
    const double bases[] = {1.0, 0.9, 150.0, 0.8};
    return code == 2 ? QString::number(bases[code] + (i % 5000) / 100.0, 'f', 2)
                     : QString::number(bases[code] + (i % 5000) / 10000.0, 'f', 4);
}

// The i-th served day.
ReferenceDay servedDay(const QDate &day, int i)
{
    ReferenceDay served{day, {}};
    for (int c = 0; c < kCodes.size(); ++c)
        served.rates << kCodes[c] + u'=' + figure(c, i);
    return served;
}

QByteArray historyFile(const QList<QDate> &days, int first = 0)
{
    QList<ReferenceDay> served;
    for (int i = first; i < days.size(); ++i)
        served << servedDay(days[i], i);
    return referenceHistoryFile(served);
}

QString quoteText(int code, int i)
{
    return figure(code, i).replace(u'.', u',');
}

// What one run from an empty history leaves: both history files, and the dollar's record list.
struct Filled
{
    QByteArray text, csv;
    QString list;
};

// days: the served ones from the first-th on.
Filled filled(const QList<QDate> &days, int first = 0)
{
    Filled result;
    result.text = result.csv = "Data;Quotazione;Valuta;Note\r\n";
    for (int i = first; i < days.size(); ++i) {
        const QString dash = days[i].toString("dd-MM-yyyy"), slash = days[i].toString("dd/MM/yyyy");
        for (int c = 0; c < kCodes.size(); ++c) {
            result.text += (dash + " - " + quoteText(c, i) + " - " + kItems[c] + "\r\n").toUtf8();
            result.csv += (slash + ';' + quoteText(c, i) + ';' + kItems[c] + ";\r\n").toUtf8();
        }
        result.list += dash + " - " + quoteText(0, i) + " - EUR/USD\n";
    }
    return result;
}

} // namespace

class TestReferenceCycle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void window_data();
    void window();
    void batch_data();
    void batch();

private:
    void serve(const QList<QDate> &days);
    struct Run
    {
        int exitCode = -1;
        QString out, err;
    };
    Run runBatch();

    HttpServer *m_server = nullptr;
    WindowFixture *m_fixture = nullptr;
};

void TestReferenceCycle::init()
{
    m_server = new HttpServer;
    m_fixture = new WindowFixture;
}

void TestReferenceCycle::cleanup()
{
    delete m_fixture;
    delete m_server;
}

// The daily file of the last day, its 90-day file and the full history behind it.
void TestReferenceCycle::serve(const QList<QDate> &days)
{
    m_server->setPage(kDaily, referenceDailyFile(servedDay(days.constLast(), int(days.size()) - 1)), 200,
                      "text/xml");
    m_server->setPage(kNinety, historyFile(days, std::max(0, int(days.size()) - 60)), 200, "text/xml");
    m_server->setPage(kFull, historyFile(days), 200, "text/xml");
}

void TestReferenceCycle::window_data()
{
    QTest::addColumn<QDate>("lastDay");
    QTest::addColumn<bool>("stale");
    QTest::newRow("today's rates") << QDate::currentDate() << false;
    QTest::newRow("rates of a week ago") << QDate::currentDate().addDays(-7) << true;
}

void TestReferenceCycle::window()
{
    QFETCH(QDate, lastDay);
    const QList<QDate> days = weekdaysUpTo(lastDay, 600);
    serve(days);
    MainWindow &window = m_fixture->open(m_server->url(kDaily).toString());
    window.Form_Load();

    // Watch the window between events while the job runs: what Label15 says, and whether any
    // control stands elsewhere than it did right before the progress began.
    const auto layout = [&window] {
        QList<QRect> places;
        for (const QWidget *child : window.findChildren<QWidget *>())
            places.append(child->geometry());
        return places;
    };
    QList<QRect> before;
    QStringList progress;
    int moved = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &window, [&] {
        const QString text = control<QLabel>(&window, "Label15")->text();
        if (!text.startsWith("Storico") && !text.startsWith("Giorni")) {
            if (progress.isEmpty())
                before = layout();
            return;
        }
        if (progress.isEmpty() || progress.constLast() != text)
            progress.append(text);
        moved += layout() != before;
    });
    watch.start(0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY_WITH_TIMEOUT(control<ChartFrame>(&window, "Frame2")->isVisible(), 20000);
    watch.stop();

    QCOMPARE(m_server->requestedPaths(), (QStringList{kDaily, kFull}));
    QCOMPARE(m_fixture->dialogs.texts(), QStringList());
    const QLabel *lblData = control<QLabel>(&window, "lblData");
    QCOMPARE(lblData->text(), days.constLast().toString("dd-MM"));
    QCOMPARE(lblData->toolTip(), "Cambio di riferimento del " + days.constLast().toString("dd/MM/yyyy"));
    QFETCH(bool, stale);
    QCOMPARE(lblData->palette().color(QPalette::WindowText) == QColor(Qt::red), stale);
    QCOMPARE(control<QLabel>(&window, "lblQuote")->text(), quoteText(0, 599));
    QCOMPARE(control<QLabel>(&window, "Label15")->text(),
             QStringLiteral("Numero records nel Database: 2400"));
    QCOMPARE(window.listLines().size(), 600);

    // Progress went by in Label15, bytes first, then days, and nothing moved meanwhile.
    QVERIFY2(!progress.isEmpty() && progress.constFirst().startsWith("Storico scaricato: "),
             qPrintable(progress.join(" | ")));
    QCOMPARE(progress.constLast(), QStringLiteral("Giorni registrati: 600/600"));
    QCOMPARE(moved, 0);
    QVERIFY(!QApplication::overrideCursor());
}

TestReferenceCycle::Run TestReferenceCycle::runBatch()
{
    QProcess program;
    program.setProcessEnvironment(batchEnvironment());
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(QStringLiteral(QUOTAZIONI_BINARY), {"--batch", "--data-dir", m_fixture->dir.path(),
                                                      "--page-url", m_server->url(kDaily).toString()});
    if (!finished.wait(60000)) // the test's own server answers from this event loop
        return {};
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

void TestReferenceCycle::batch_data()
{
    QTest::addColumn<QDate>("lastDay");
    QTest::addColumn<QString>("fault"); // what is wrong with the files served, if anything
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdErr"); // %1: the daily address, %2: the full history's
    const QDate today = QDate::currentDate();
    // clang-format off
    QTest::newRow("every day of the history, then nothing") << today << "" << 0 << "";
    QTest::newRow("stale rates: a warning, not a failure") << QDate(2024, 2, 27) << "" << 0
        << "Attenzione: l'ultimo cambio disponibile è del 27/02/2024\n";
    QTest::newRow("a truncated daily file") << today << "truncated daily" << 1
        << "Quotazione non disponibile su Internet !!!\nPagina non letta: %1 - Documento dei cambi di riferimento "
           "non valido (riga 8, colonna 19): Fine del documento prematura.\n"
           "Quotazioni non registrate: EUR/USD, EUR/CHF, EUR/JPY, EUR/GBP\n";
    QTest::newRow("no history: the day's rates all the same") << today << "no history" << 1
        << "Impossibile scaricare lo storico dei cambi di riferimento - HTTP 404 Not Found\n\n%2\n";
    // clang-format on
}

void TestReferenceCycle::batch()
{
    QFETCH(QDate, lastDay);
    QFETCH(QString, fault);
    const QList<QDate> days = weekdaysUpTo(lastDay, 800);
    serve(days);
    if (fault == "truncated daily") {
        const QByteArray file = referenceDailyFile(servedDay(days.constLast(), int(days.size()) - 1));
        m_server->setPage(kDaily, file.left(file.indexOf("JPY")), 200, "text/xml");
    }
    if (fault == "no history")
        m_server->setPage(kFull, "<html>Not found</html>", 404);

    const Run first = runBatch();
    QTEST(first.exitCode, "exitCode");
    QFETCH(QString, stdErr);
    QCOMPARE(first.err, stdErr.replace("%1", m_server->url(kDaily).toString())
                            .replace("%2", m_server->url(kFull).toString()));

    const QString textPath = m_fixture->file("Storico_Quotazioni_Valute.TXT");
    const QString csvPath = m_fixture->file("Storico_Quotazioni_Valute.CSV");
    const QString dbPath = m_fixture->file("VALUTE.MDB");
    if (fault == "truncated daily") {
        QCOMPARE(m_server->requestedPaths(), QStringList{kDaily});
        QCOMPARE(first.out, QString());
        QVERIFY(!QFile::exists(textPath));
        return;
    }
    QCOMPARE(m_server->requestedPaths(), (QStringList{kDaily, kFull}));
    const Filled expected = filled(days, fault == "no history" ? int(days.size()) - 1 : 0);
    QCOMPARE(first.out, expected.list);
    QCOMPARE(fileBytes(textPath), expected.text);
    QCOMPARE(fileBytes(csvPath), expected.csv);
    if (fault == "no history")
        return;

    // The same day again: no history asked for, and not a byte changes.
    const QByteArray database = fileBytes(dbPath), text = fileBytes(textPath), csv = fileBytes(csvPath);
    m_server->clearRequests();
    const Run second = runBatch();
    QCOMPARE(second.exitCode, 0);
    QCOMPARE(second.err, first.err);
    QCOMPARE(second.out, expected.list);
    QCOMPARE(m_server->requestedPaths(), QStringList{kDaily});
    QCOMPARE(fileBytes(dbPath), database);
    QCOMPARE(fileBytes(textPath), text);
    QCOMPARE(fileBytes(csvPath), csv);
}

QUOTAZIONI_TEST_MAIN(TestReferenceCycle)
#include "tst_referencecycle.moc"
