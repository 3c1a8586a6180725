#include "chartframe.h"
#include "connectionstate.h"
#include "dialup.h"
#include "httpserver.h"
#include "loginras.h"
#include "mainwindow.h"
#include "recordingdialogs.h"
#include "testmain.h"

#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {

const QByteArray kPage = "<html><body><p>Cambi</p>EUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412 0,9420<BR>"
                         "EUR/JPY 131,25 131,40<BR>EUR/GBP 0,8571 0,8580<BR></body></html>";
const QString kPagePath = QStringLiteral("/delay/valute/index.shtml");

class Online : public ConnectionQuery
{
public:
    ConnectionStatus query() override { return {true, ConnectionStatus::Lan}; }
};

// Stands in for the dial-up service: one active connection that goes away at the first hang-up.
class OneConnection : public RemoteAccess
{
public:
    QList<qint32> hungUp;
    qint32 dial(quintptr, const QString &, const QString &, const QString &, qint32 &) override
    {
        return RasCode::CannotFindEntry;
    }
    qint32 connectStatus(qint32, RasStatus &) override { return RasCode::InvalidHandle; }
    qint32 hangUp(qint32 handle) override
    {
        hungUp.append(handle);
        return RasCode::InvalidHandle;
    }
    qint32 enumerate(QList<qint32> &handles) override
    {
        handles = {7};
        return RasCode::Success;
    }
};

QString today(const QString &format)
{
    return QDate::currentDate().toString(format);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
    void shutdown_data();
    void shutdown();
    void batch_data();
    void batch();
    void batchImport_data();
    void batchImport();
    void batchWithoutDataFolder();

private:
    void startWindow();
    // Runs the program without a window and waits for it while this test's server keeps answering.
    bool runBatch(QProcess &program, const QStringList &arguments);
    QString dataFile(const QString &name) const { return m_dir->filePath(name); }

    HttpServer *m_server = nullptr;
    QTemporaryDir *m_dir = nullptr;
    RecordingDialogs *m_dialogs = nullptr;
    Online m_online;
    OneConnection *m_access = nullptr;
    DialUp *m_dialUp = nullptr;
    LoginRas *m_login = nullptr;
    MainWindow *m_window = nullptr;
};

void TestDailyCycle::init()
{
    m_server = new HttpServer;
    m_server->setPage(kPagePath, kPage);
    m_dir = new QTemporaryDir;
    QVERIFY(QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE), dataFile(QStringLiteral("VALUTE.MDB"))));
    QFile(dataFile(QStringLiteral("VALUTE.MDB"))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QFile list(dataFile(QStringLiteral("zantoro.TXT")));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("Elenco valute\r\nEUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n");
    list.close();
    m_dialogs = new RecordingDialogs;
    m_access = new OneConnection;
    m_dialUp = new DialUp(*m_access, *m_dialogs);
    m_login = new LoginRas(*m_dialUp);
}

void TestDailyCycle::cleanup()
{
    delete m_window;
    m_window = nullptr;
    delete m_login;
    delete m_dialUp;
    delete m_access;
    delete m_dialogs;
    delete m_dir;
    delete m_server;
}

void TestDailyCycle::startWindow()
{
    AppOptions options;
    options.dataDir = m_dir->path();
    options.pageUrl = m_server->url(kPagePath).toString();
    m_window = new MainWindow(options, *m_dialogs, m_online, *m_dialUp, *m_login);
    m_window->Form_Load();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    // The job ends with the chart.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->Frame2->isVisible(), 10000);
}

void TestDailyCycle::windowRunsTheDailyJob()
{
    startWindow();
    QCOMPARE(m_server->requestCount(), 1);
    QCOMPARE(m_dialogs->texts(), QStringList());

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(dataFile(QStringLiteral("VALUTE.MDB")));
        QVERIFY(db.open());
        QSqlQuery query(QStringLiteral("SELECT Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note "
                                       "FROM Storico_Valute ORDER BY Quotazione"),
                        db);
        QStringList records;
        while (query.next()) {
            records.append(QStringList{query.value(0).toString(), query.value(1).toString(),
                                       QString::number(query.value(2).toDouble()), query.value(3).toString(),
                                       query.value(4).toString()}
                               .join(QLatin1Char('|')));
        }
        const QString day = today(QStringLiteral("yyyyMMdd"));
        QCOMPARE(records, (QStringList{"EUR/GBP|" + day + "|0.8571|EUR/GBP - STERLINA INGLESE - 4|",
                                       "EUR/CHF|" + day + "|0.9412|EUR/CHF - FRANCO SVIZZERO - 2|",
                                       "EUR/USD|" + day + "|1.0871|EUR/USD - DOLLARO USA - 1|",
                                       "EUR/JPY|" + day + "|131.25|EUR/JPY - YEN GIAPPONESE - 3|"}));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));

    const QByteArray dash = today(QStringLiteral("dd-MM-yyyy")).toLatin1();
    const QByteArray slash = today(QStringLiteral("dd/MM/yyyy")).toLatin1();
    QCOMPARE(readAll(dataFile(QStringLiteral("Storico_Quotazioni_Valute.TXT"))),
             "Data;Quotazione;Valuta;Note\r\n" + dash + " - 1,0871 - EUR/USD - DOLLARO USA - 1\r\n" + dash +
                 " - 0,9412 - EUR/CHF - FRANCO SVIZZERO - 2\r\n" + dash +
                 " - 131,25 - EUR/JPY - YEN GIAPPONESE - 3\r\n" + dash +
                 " - 0,8571 - EUR/GBP - STERLINA INGLESE - 4\r\n");
    QCOMPARE(readAll(dataFile(QStringLiteral("Storico_Quotazioni_Valute.CSV"))),
             "Data;Quotazione;Valuta;Note\r\n" + slash + ";1,0871;EUR/USD - DOLLARO USA - 1;\r\n" + slash +
                 ";0,9412;EUR/CHF - FRANCO SVIZZERO - 2;\r\n" + slash +
                 ";131,25;EUR/JPY - YEN GIAPPONESE - 3;\r\n" + slash +
                 ";0,8571;EUR/GBP - STERLINA INGLESE - 4;\r\n");

    QCOMPARE(m_window->lblQuote->text(), QStringLiteral("1,0871"));
    QCOMPARE(m_window->lblData->text(), today(QStringLiteral("dd-MM")));
    QCOMPARE(m_window->Label15->text(), QStringLiteral("Numero records nel Database: 4"));
    QCOMPARE(m_window->listLines(), QStringList{QString::fromLatin1(dash) + " - 1,0871 - EUR/USD"});
    QCOMPARE(m_window->Frame2->geometry().n, 1);
    QCOMPARE(m_window->Frame2->geometry().bars.size(), 1);
    QVERIFY(!QApplication::overrideCursor());

    // Activating the window again does not fetch or record again.
    m_window->activateWindow();
    QTest::qWait(50);
    QCOMPARE(m_server->requestCount(), 1);
}

void TestDailyCycle::selectingAPair_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("rewritten");
    QTest::addColumn<bool>("chartShown");
    QTest::newRow("trailing digit, chart shown") << "  http://quote.example/valute1 "
                                                 << "http://quote.example/valute4" << true;
    QTest::newRow("page name left alone, list shown")
        << "http://quote.example/delay/valute/index.shtml"
        << "http://quote.example/delay/valute/index.shtml" << false;
    QTest::newRow("empty address stays empty") << ""
                                               << "" << false;
}

void TestDailyCycle::selectingAPair()
{
    QFETCH(QString, address);
    QFETCH(bool, chartShown);
    startWindow();
    if (!chartShown)
        m_window->Command10_Click();
    m_window->Text1->setText(address);
    m_dialogs->clear();

    m_window->Combo1->setCurrentIndex(3);
    Q_EMIT m_window->Combo1->activated(3);

    QCOMPARE(m_window->txtsymbol->text(), QStringLiteral("EUR/GBP"));
    QCOMPARE(m_window->CurrencyNumber, 4);
    QTEST(m_window->Text1->text(), "rewritten");
    QCOMPARE(m_window->listLines(), QStringList{today(QStringLiteral("dd-MM-yyyy")) + " - 0,8571 - EUR/GBP"});
    QCOMPARE(m_window->lblQuote->text(), QStringLiteral("0,8571"));
    QCOMPARE(m_window->lblData->text(), today(QStringLiteral("dd-MM")));
    QCOMPARE(m_window->Frame2->isVisible(), chartShown);
    if (chartShown)
        QCOMPARE(m_window->Frame2->geometry().n, 1);
    QCOMPARE(m_server->requestCount(), 1); // selecting fetches nothing
    QCOMPARE(m_dialogs->texts(), QStringList());
}

void TestDailyCycle::printing()
{
    startWindow();
    QTemporaryDir out;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath(QStringLiteral("finestra.pdf")));
    m_window->printWindow(printer);
    const QByteArray pdf = readAll(out.filePath(QStringLiteral("finestra.pdf")));
    QVERIFY(pdf.startsWith("%PDF"));
    QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 1);

    // No printer on this machine: nothing is reported and the pointer comes back.
    m_dialogs->clear();
    m_window->Command11_Click();
    QCOMPARE(m_dialogs->texts(), QStringList());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(m_window->isVisible());
}

void TestDailyCycle::shutdown_data()
{
    QTest::addColumn<bool>("answerOk");
    QTest::addColumn<QList<qint32>>("hungUp");
    QTest::newRow("ok hangs up every dial-up connection") << true << QList<qint32>{7};
    QTest::newRow("cancel leaves the connection up") << false << QList<qint32>();
}

void TestDailyCycle::shutdown()
{
    QFETCH(bool, answerOk);
    startWindow();
    m_dialogs->clear();
    m_dialogs->queueAnswer(answerOk ? UserDialogs::Answer::Ok : UserDialogs::Answer::Cancel);
    m_window->close();
    QCOMPARE(m_dialogs->texts(), QStringList{"Vuoi chiudere la connessione Internet (S/N) ?"});
    const RecordingDialogs::Entry &question = m_dialogs->entries().first();
    QCOMPARE(question.title, QStringLiteral("Fine programma"));
    QCOMPARE(question.buttons, UserDialogs::Buttons::OkCancel);
    QCOMPARE(question.icon, UserDialogs::Icon::None);
    QTEST(m_access->hungUp, "hungUp");
    // The database is closed: it can be replaced at once.
    QVERIFY(QFile::remove(dataFile(QStringLiteral("VALUTE.MDB"))));
}

void TestDailyCycle::batch_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdOut");
    QTest::addColumn<QString>("stdErr");
    const QString day = today(QStringLiteral("dd-MM-yyyy"));
    QTest::newRow("daily job") << QStringList() << kPagePath << 0 << day + " - 1,0871 - EUR/USD\n"
                               << QString();
    QTest::newRow("another pair") << QStringList{"--pair", "EUR/GBP"} << kPagePath << 0
                                  << day + " - 0,8571 - EUR/GBP\n"
                                  << QString();
    QTest::newRow("page without quotes") << QStringList() << "/vuota" << 1 << ""
                                         << "Simbolo  EUR/USD  non trovato in Internet !\n"
                                            "Premere prima il Pulsante Aggiorna Quotazione !!!\n";
    QTest::newRow("unreachable page") << QStringList() << "/non-risponde" << 1 << ""
                                      << "Quotazione non disponibile su Internet !!!\n";
}

void TestDailyCycle::batch()
{
    QFETCH(QStringList, extra);
    QFETCH(QString, path);
    m_server->setPage(QStringLiteral("/vuota"), "<html>chiuso</html>");
    HttpServer::Reply closed;
    closed.kind = HttpServer::Reply::Kind::Close;
    m_server->setReply(QStringLiteral("/non-risponde"), closed);

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("it_IT.UTF-8"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->path());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(environment);
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(
        QStringLiteral(QUOTAZIONI_BINARY),
        QStringList{"--batch", "--data-dir", m_dir->path(), "--page-url", m_server->url(path).toString()} +
            extra);
    // The test's own server answers from this event loop, so wait by running it.
    QVERIFY(finished.wait(30000));
    const QString stdErr = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(stdErr));
    QTEST(program.exitCode(), "exitCode");
    QTEST(QString::fromUtf8(program.readAllStandardOutput()), "stdOut");
    QTEST(stdErr, "stdErr");
    QCOMPARE(QFile::exists(dataFile(QStringLiteral("Storico_Quotazioni_Valute.TXT"))), path == kPagePath);
}

bool TestDailyCycle::runBatch(QProcess &program, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("it_IT.UTF-8"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->path());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(environment);
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(QStringLiteral(QUOTAZIONI_BINARY), QStringList{"--batch", "--data-dir", m_dir->path()} + arguments);
    return finished.wait(30000);
}

void TestDailyCycle::batchImport_data()
{
    QTest::addColumn<QByteArray>("rates");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdOut");
    QTest::addColumn<QString>("stdErr");
    QTest::newRow("dollar rates") << QByteArray("Cambi ufficiali\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n"
                                                "14/03/2003,1.0712,x\r\n15/03/2003,1.0734,nota\r\n")
                                  << 0 << "14-03-2003 - 1,0712 - EUR/USD\n15-03-2003 - 1,0734 - EUR/USD\n" << QString();
    QTest::newRow("missing file") << QByteArray() << 1 << QString()
                                  << "Storico Cambi Ufficiali non trovato - Impossibile trovare il file\n\n";
}

void TestDailyCycle::batchImport()
{
    QFETCH(QByteArray, rates);
    const QString file = dataFile(QStringLiteral("cambi.csv"));
    if (!rates.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(rates);
    }
    QProcess program;
    QVERIFY(runBatch(program, {"--page-url", m_server->url(kPagePath).toString(), "--import", file}));
    QTEST(program.exitCode(), "exitCode");
    QTEST(QString::fromUtf8(program.readAllStandardOutput()), "stdOut");
    QFETCH(QString, stdErr);
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(errors.startsWith(stdErr), qPrintable(errors));
    QCOMPARE(m_server->requestCount(), 0); // an import fetches nothing
    QVERIFY(!QFile::exists(dataFile(QStringLiteral("Storico_Quotazioni_Valute.TXT"))));
}

void TestDailyCycle::batchWithoutDataFolder()
{
    QProcess program;
    program.start(QStringLiteral(QUOTAZIONI_BINARY),
                  {"--batch", "--data-dir", m_dir->filePath(QStringLiteral("manca"))});
    QVERIFY(program.waitForFinished(30000));
    QVERIFY(program.exitCode() != 0);
    QVERIFY(program.readAllStandardError().contains("La cartella dei dati non esiste"));
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

QUOTAZIONI_TEST_MAIN(TestDailyCycle)
#include "tst_dailycycle.moc"
