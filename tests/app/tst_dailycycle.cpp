#include "chart/chartframe.h"
#include "common/batchrun.h"
#include "common/httpserver.h"
#include "common/loadedlibraries.h"
#include "common/testmain.h"
#include "windowfixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>

namespace {

const QByteArray kPage = "<html><body><p>Cambi</p>EUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412 0,9420<BR>"
                         "EUR/JPY 131,25 131,40<BR>EUR/GBP 0,8571 0,8580<BR></body></html>";
const QString kPagePath = QStringLiteral("/delay/valute/index.shtml");

QString today(const char *format)
{
    return QDate::currentDate().toString(QString::fromLatin1(format));
}

} // namespace

class TestDailyCycle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void windowRunsTheDailyJob();
    void selectingAPair_data();
    void selectingAPair();
    void printing();
    void shutdown();
    void batch_data();
    void batch();
    void closeDuringImport();
    void closeDuringFetch();
    void typingIntoCombo1();
    void cancelledListing();

private:
    void startWindow();

    HttpServer *m_server = nullptr;
    WindowFixture *m_fixture = nullptr;
    MainWindow *m_window = nullptr;
};

void TestDailyCycle::init()
{
    m_server = new HttpServer;
    m_server->setPage(kPagePath, kPage);
    m_server->setPage(QStringLiteral("/vuota"), "<html>chiuso</html>");
    m_fixture = new WindowFixture;
}

void TestDailyCycle::cleanup()
{
    delete m_fixture;
    delete m_server;
}

void TestDailyCycle::startWindow()
{
    m_window = &m_fixture->open(m_server->url(kPagePath).toString());
    m_window->Form_Load();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QTRY_VERIFY_WITH_TIMEOUT(control<ChartFrame>(m_window, "Frame2")->isVisible(),
                             10000); // the job ends with the chart
}

void TestDailyCycle::windowRunsTheDailyJob()
{
    startWindow();
    QCOMPARE(m_server->requestCount(), 1);
    QCOMPARE(m_fixture->dialogs.texts(), QStringList());
    const QString day = today("yyyyMMdd");
    QCOMPARE(
        sqliteRows(m_fixture->file("VALUTE.MDB"),
                   "SELECT Tipo_Valuta || '|' || Data_Valuta || '|' || Quotazione || '|' || Descrizione || "
                   "'|' || Note FROM Storico_Valute ORDER BY Quotazione"),
        (QStringList{"EUR/GBP|" + day + "|0.8571|EUR/GBP - STERLINA INGLESE - 4|",
                     "EUR/CHF|" + day + "|0.9412|EUR/CHF - FRANCO SVIZZERO - 2|",
                     "EUR/USD|" + day + "|1.0871|EUR/USD - DOLLARO USA - 1|",
                     "EUR/JPY|" + day + "|131.25|EUR/JPY - YEN GIAPPONESE - 3|"}));

    const QByteArray dash = today("dd-MM-yyyy").toLatin1(), slash = today("dd/MM/yyyy").toLatin1();
    QCOMPARE(fileBytes(m_fixture->file("Storico_Quotazioni_Valute.TXT")),
             "Data;Quotazione;Valuta;Note\r\n" + dash + " - 1,0871 - EUR/USD - DOLLARO USA - 1\r\n" + dash +
                 " - 0,9412 - EUR/CHF - FRANCO SVIZZERO - 2\r\n" + dash +
                 " - 131,25 - EUR/JPY - YEN GIAPPONESE - 3\r\n" + dash +
                 " - 0,8571 - EUR/GBP - STERLINA INGLESE - 4\r\n");
    QCOMPARE(fileBytes(m_fixture->file("Storico_Quotazioni_Valute.CSV")),
             "Data;Quotazione;Valuta;Note\r\n" + slash + ";1,0871;EUR/USD - DOLLARO USA - 1;\r\n" + slash +
                 ";0,9412;EUR/CHF - FRANCO SVIZZERO - 2;\r\n" + slash +
                 ";131,25;EUR/JPY - YEN GIAPPONESE - 3;\r\n" + slash +
                 ";0,8571;EUR/GBP - STERLINA INGLESE - 4;\r\n");

    QCOMPARE(control<QLabel>(m_window, "lblQuote")->text(), QStringLiteral("1,0871"));
    QCOMPARE(control<QLabel>(m_window, "lblData")->text(), today("dd-MM"));
    QCOMPARE(control<QLabel>(m_window, "Label15")->text(), QStringLiteral("Numero records nel Database: 4"));
    QCOMPARE(m_window->listLines(), QStringList{QString::fromLatin1(dash) + " - 1,0871 - EUR/USD"});
    QCOMPARE(control<ChartFrame>(m_window, "Frame2")->geometry().bars.size(), 1);
    QVERIFY(!QApplication::overrideCursor());

    // Activating the window again neither fetches nor records again; F5 does.
    m_window->activateWindow();
    QTest::qWait(50);
    QCOMPARE(m_server->requestCount(), 1);
    QTest::keyClick(m_window, Qt::Key_F5);
    QTRY_COMPARE(m_server->requestCount(), 2);
    QCOMPARE(control<QLabel>(m_window, "Label15")->text(),
             QStringLiteral("Numero records nel Database: 4")); // overwritten
}

void TestDailyCycle::selectingAPair_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("rewritten");
    QTest::addColumn<bool>("chartShown");
    // clang-format off
    QTest::newRow("trailing digit, chart shown") << " http://q.example/valute1 " << "http://q.example/valute4" << true;
    QTest::newRow("page name left alone") << "http://q.example/index.shtml" << "http://q.example/index.shtml" << false;
    QTest::newRow("empty address stays empty") << "" << "" << false;
    // clang-format on
}

void TestDailyCycle::selectingAPair()
{
    QFETCH(QString, address);
    QFETCH(bool, chartShown);
    startWindow();
    if (!chartShown)
        m_window->Command10_Click();
    typeInto(control<QLineEdit>(m_window, "Text1"), address);
    m_fixture->dialogs.clear();

    control<QComboBox>(m_window, "Combo1")->setCurrentIndex(3);
    Q_EMIT control<QComboBox>(m_window, "Combo1")->activated(3);

    QCOMPARE(control<QLineEdit>(m_window, "txtsymbol")->text(), QStringLiteral("EUR/GBP"));
    QCOMPARE(m_window->session().currencyNumber(), 4);
    QTEST(control<QLineEdit>(m_window, "Text1")->text(), "rewritten");
    QCOMPARE(m_window->listLines(), QStringList{today("dd-MM-yyyy") + " - 0,8571 - EUR/GBP"});
    QCOMPARE(control<QLabel>(m_window, "lblQuote")->text(), QStringLiteral("0,8571"));
    QCOMPARE(control<QLabel>(m_window, "lblData")->text(), today("dd-MM"));
    QCOMPARE(control<ChartFrame>(m_window, "Frame2")->isVisible(), chartShown);
    if (chartShown)
        QCOMPARE(control<ChartFrame>(m_window, "Frame2")->geometry().n, 1);
    QCOMPARE(m_server->requestCount(), 1); // selecting fetches nothing
    QCOMPARE(m_fixture->dialogs.texts(), QStringList());
}

void TestDailyCycle::printing()
{
    startWindow();
    QTemporaryDir out;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath(QStringLiteral("finestra.pdf")));
    m_window->printWindow(printer);
    const QByteArray pdf = fileBytes(out.filePath(QStringLiteral("finestra.pdf")));
    QVERIFY(pdf.startsWith("%PDF"));
    QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 1);

    // No printer on this machine: nothing is reported and the pointer comes back.
    m_fixture->dialogs.clear();
    m_window->Command11_Click();
    QCOMPARE(m_fixture->dialogs.texts(), QStringList());
    QVERIFY(!QApplication::overrideCursor());
}

// OK hangs up every dial-up connection.
void TestDailyCycle::shutdown()
{
    startWindow();
    m_fixture->dialogs.clear();
    m_fixture->dialogs.queueAnswer(UserDialogs::Answer::Ok);
    m_window->close();
    QCOMPARE(m_fixture->dialogs.texts(), QStringList{"Vuoi chiudere la connessione Internet (S/N) ?"});
    const RecordingDialogs::Entry &question = m_fixture->dialogs.entries().first();
    QCOMPARE(question.title, QStringLiteral("Fine programma"));
    QCOMPARE(question.buttons, UserDialogs::Buttons::OkCancel);
    QCOMPARE(question.icon, UserDialogs::Icon::None);
    QCOMPARE(m_fixture->access.hungUp, QList<qint32>{7});
    QVERIFY(QFile::remove(m_fixture->file("VALUTE.MDB"))); // closed: it can go at once
}

void TestDailyCycle::batch_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("rates"); // written to cambi.csv when not empty
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdOut");
    QTest::addColumn<QString>("stdErr"); // what standard error starts with
    QTest::addColumn<bool>("recorded");
    const QString day = today("dd-MM-yyyy");
    const QByteArray none;
    // clang-format off
    QTest::newRow("daily job") << QStringList{"--page-url", kPagePath} << none << 0 << day + " - 1,0871 - EUR/USD\n" << "" << true;
    QTest::newRow("another pair") << QStringList{"--page-url", kPagePath, "--pair", "EUR/GBP"} << none << 0
                                  << day + " - 0,8571 - EUR/GBP\n" << "" << true;
    QTest::newRow("page without quotes") << QStringList{"--page-url", "/vuota"} << none << 1 << ""
        << "Simbolo  EUR/USD  non trovato in Internet !\nPremere prima il Pulsante Aggiorna Quotazione !!!\n" << false;
    QTest::newRow("endless page") << QStringList{"--page-url", "/senza-fine"} << none << 1 << ""
        << "Quotazione non disponibile su Internet !!!\nPagina non letta: http://127.0.0.1:" << false;
    QTest::newRow("page lacking a pair") << QStringList{"--page-url", "/tre"} << none << 1 << day + " - 1,0871 - EUR/USD\n"
        << "Quotazioni non registrate: EUR/GBP\n" << true;
    QTest::newRow("currency list missing") << QStringList{"--page-url", kPagePath, "=senza-elenco"} << none << 1 << ""
        << "Elenco valute non letto - Impossibile trovare il file\n\n" << true; // the files, header only
    QTest::newRow("currency list empty") << QStringList{"--page-url", kPagePath, "=elenco-vuoto"} << none << 1 << ""
        << "Elenco valute senza righe EUR/: " << true;
    QTest::newRow("import with an invalid date") << QStringList{"--page-url", kPagePath, "--import", "cambi.csv"}
        << QByteArray("Cambi\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n14/03/2003,1.0712,x\r\n15-03-2003,1.0734,nota\r\n")
        << 1 << "14-03-2003 - 1,0712 - EUR/USD\n" << "Righe non importate (data non valida): 1 - riga 5\n" << false;
    QTest::newRow("import of a franc file") << QStringList{"--pair", "EUR/CHF", "--import", "cambi.csv"}
        << QByteArray("Cambi\r\nValuta selezionata: Franco svizzero\r\nData,Cambio,Note\r\n15/03/2003,1.4707,\r\n")
        << 0 << "15-03-2003 - 1,4707 - EUR/CHF\n" << "" << false;
    QTest::newRow("import of the bank's history") << QStringList{"--pair", "EUR/GBP", "--import", "cambi.csv"}
        << QByteArray("Date,USD,JPY,BGN,GBP,\n2026-04-17,1.1684,186.75,1.9558,0.8562,\n2026-04-16,1.17,186.5,1.9558,0.856,\n")
        << 0 << "16-04-2026 - 0,8560 - EUR/GBP\n17-04-2026 - 0,8562 - EUR/GBP\n" << "" << false;
    QTest::newRow("import of a damaged bank history") << QStringList{"--import", "cambi.csv"}
        << QByteArray("Date,USD,GBP,\n2026-04-17,1.1684,0.8562,\n2026-04-16,1.17,\n")
        << 1 << "17-04-2026 - 1,1684 - EUR/USD\n"
        << "Errore lettura Storico Cambi Ufficiali - Riga 3: la riga ha 3 campi invece dei 4 dell'intestazione\n\n" << false;
    QTest::newRow("missing data folder") << QStringList{"--data-dir", "manca"} << none << 2 << ""
                                         << "La cartella dei dati non esiste: " << false;
    // clang-format on
}

void TestDailyCycle::batch()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, rates);
    if (!rates.isEmpty())
        m_fixture->write("cambi.csv", rates);
    HttpServer::Reply endless;
    endless.kind = HttpServer::Reply::Kind::Endless;
    m_server->setReply(QStringLiteral("/senza-fine"), endless);
    m_server->setPage(QStringLiteral("/tre"), QByteArray(kPage).replace("EUR/GBP", "EUR/XXX"));
    if (arguments.removeAll(QStringLiteral("=senza-elenco")))
        QVERIFY(QFile::remove(m_fixture->file("zantoro.TXT")));
    if (arguments.removeAll(QStringLiteral("=elenco-vuoto")))
        m_fixture->write("zantoro.TXT", "");
    for (QString &argument : arguments) { // paths of the test's own server and folder
        if (argument.startsWith(QLatin1Char('/')))
            argument = m_server->url(argument).toString();
        else if (argument == QLatin1String("cambi.csv") || argument == QLatin1String("manca"))
            argument = m_fixture->file(argument);
    }
    QProcess program;
    QProcessEnvironment environment = batchEnvironment();
    // Whatever the run meets, it never maps the window's libraries.
    const QString loaderLog = m_fixture->file("ld");
    loadedlibraries::clear(loaderLog);
    for (const QString &variable : loadedlibraries::environment(loaderLog))
        environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    program.setProcessEnvironment(environment);
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(QStringLiteral(QUOTAZIONI_BINARY),
                  QStringList{"--batch", "--data-dir", m_fixture->dir.path()} + arguments);
    QVERIFY(finished.wait(30000)); // the test's own server answers from this event loop

    QFETCH(QString, stdErr);
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(errors));
    QTEST(program.exitCode(), "exitCode");
    QTEST(QString::fromUtf8(program.readAllStandardOutput()), "stdOut");
    QVERIFY2(stdErr.isEmpty() ? errors.isEmpty() : errors.startsWith(stdErr), qPrintable(errors));
    QTEST(QFile::exists(m_fixture->file("Storico_Quotazioni_Valute.TXT")), "recorded");
    const QStringList loaded = loadedlibraries::all(loaderLog);
    QVERIFY(loaded.contains(QStringLiteral("libQt6Core.so.6")));
    QCOMPARE(loadedlibraries::window(loaded), QStringList());
}

void TestDailyCycle::closeDuringImport()
{
    // Closed at the import's first progress report, after 4096 lines: lines 4 to 4096 are kept, the
    // import stops there, nothing is listed, and the shutdown runs.
    startWindow();
    QByteArray rates = "Cambi\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
    for (int i = 0; i < 10000; ++i)
        rates += QDate(1990, 1, 1).addDays(i).toString("dd/MM/yyyy").toLatin1() + ",1.5,n\r\n";
    m_fixture->write("cambi.csv", rates);
    typeInto(control<QLineEdit>(m_window, "Text4"), m_fixture->file("cambi.csv"));
    m_fixture->dialogs.clear();
    QTimer::singleShot(0, m_window, &QWidget::close);
    m_window->Command8_Click();
    QTRY_COMPARE(m_fixture->dialogs.texts(), QStringList{"Vuoi chiudere la connessione Internet (S/N) ?"});
    QCOMPARE(control<QLabel>(m_window, "Label15")->text(), QStringLiteral("Numero records nel Database: 4"));
    QCOMPARE(sqliteRows(
                 m_fixture->file("VALUTE.MDB"),
                 "SELECT count(*), min(Data_Valuta), max(Data_Valuta) FROM Storico_Valute WHERE Note = 'n'"),
             QStringList{"4093|19900101|20010316"}); // 1990-01-01 + 4092 days
}

void TestDailyCycle::closeDuringFetch()
{
    // The page does not answer; the user closes the window meanwhile. The fetch is abandoned at once
    // (its own time-out is 30 s), nothing is recorded, and the shutdown runs.
    HttpServer::Reply hang;
    hang.kind = HttpServer::Reply::Kind::Hang;
    m_server->setReply(QStringLiteral("/lenta"), hang);
    m_window = &m_fixture->open(m_server->url(QStringLiteral("/lenta")).toString());
    m_window->Form_Load();
    QTimer poll;
    connect(&poll, &QTimer::timeout, m_window, [this] {
        if (m_server->requestCount() > 0)
            m_window->close();
    });
    poll.start(10);
    m_window->show();
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->dialogs.texts(),
                              QStringList{"Vuoi chiudere la connessione Internet (S/N) ?"}, 10000);
    poll.stop();
    QCOMPARE(m_server->requestCount(), 1);
    QVERIFY(!QFile::exists(m_fixture->file("Storico_Quotazioni_Valute.TXT")));
    QVERIFY(QFile::remove(m_fixture->file("VALUTE.MDB"))); // closed
}

void TestDailyCycle::typingIntoCombo1()
{
    startWindow();
    m_fixture->dialogs.clear();
    auto *combo = control<QComboBox>(m_window, "Combo1");
    const QStringList listed = m_window->listLines();
    const QString address = control<QLineEdit>(m_window, "Text1")->text();
    // Typing an item's whole text, or the start of it that completion fills in, then Return or Tab:
    // nothing but the box changes.
    combo->setFocus();
    for (const QString &typed : {QStringLiteral("EUR/GBP - STERLINA INGLESE - 4"), QStringLiteral("EUR/J")}) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Tab}) {
            combo->setFocus();
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), typed);
            QTest::keyClick(combo->lineEdit(), key);
            QCOMPARE(control<QLineEdit>(m_window, "txtsymbol")->text(), QStringLiteral("EUR/USD"));
            QCOMPARE(m_window->listLines(), listed);
            QCOMPARE(control<QLineEdit>(m_window, "Text1")->text(), address);
            QCOMPARE(m_window->session().currencyNumber(), 0);
        }
    }
    QCOMPARE(m_fixture->dialogs.entries().size(), 0);
    // A pick from the list does select the pair.
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    QTRY_VERIFY(view->isVisible());
    const QRect item = view->visualRect(view->model()->index(3, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_COMPARE(control<QLineEdit>(m_window, "txtsymbol")->text(), QStringLiteral("EUR/GBP"));
    QCOMPARE(m_window->listLines(), QStringList{today("dd-MM-yyyy") + " - 0,8571 - EUR/GBP"});
}

void TestDailyCycle::cancelledListing()
{
    // The table is gone when the list is asked for again; the user cancels the query's retry. The
    // list and the count show the empty quote table, not the lines of before.
    startWindow();
    QVERIFY(!m_window->listLines().isEmpty());
    QCOMPARE(sqliteRows(m_fixture->file("VALUTE.MDB"),
                        QStringLiteral("ALTER TABLE Storico_Valute RENAME TO Altro")),
             QStringList());
    m_fixture->dialogs.clear();
    m_fixture->dialogs.queueAnswer(UserDialogs::Answer::Cancel);
    m_window->Command10_Click();
    QCOMPARE(m_fixture->dialogs.entries().size(), 1);
    QCOMPARE(m_window->listLines(), QStringList());
    QCOMPARE(control<QLabel>(m_window, "Label15")->text(), QStringLiteral("Numero records nel Database: 0"));
    QCOMPARE(m_window->session().quoteTable().QuoteCount(), 0);
}

QUOTAZIONI_TEST_MAIN(TestDailyCycle)
#include "tst_dailycycle.moc"
