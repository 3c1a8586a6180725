// The whole program under faults, run as separate processes on one data folder: several batch runs
// at once, runs killed at any point, a disk that fills up, inputs that never end.
#include "common/httpserver.h"
#include "common/testmain.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <memory>
#include <sys/stat.h>

namespace {

const QString kPagePath = QStringLiteral("/valute");
const QByteArray kHeader = "Data;Quotazione;Valuta;Note";
const QStringList kPairs = {"EUR/USD", "EUR/CHF", "EUR/JPY", "EUR/GBP"};
const QByteArray kPage = "<p>EUR/USD 1,0871<BR>EUR/CHF 0,9412<BR>EUR/JPY 131,25<BR>EUR/GBP 0,8571<BR>";
// Today's quotes as the page gives them, and as they are stored before each run.
const QHash<QString, double> kNew = {
    {"EUR/USD", 1.0871}, {"EUR/CHF", 0.9412}, {"EUR/JPY", 131.25}, {"EUR/GBP", 0.8571}};
constexpr double kOld = 9.5;
// The calls by which a run changes its files; a run is killed before one of them.
const QStringList kWriteCalls = {"write", "pwrite64", "ftruncate", "fdatasync",
                                 "fsync", "linkat",   "unlink",    "rename"};

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

// A statement on the test's own connection; the rows as "a|b|c".
QStringList query(const QString &database, const QString &sql)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(database);
        if (!db.open())
            return {"<not opened>"};
        QSqlQuery statement(db);
        if (!statement.exec(sql))
            rows << "<failed> " + sql;
        while (statement.next()) {
            QStringList fields;
            for (int i = 0; i < statement.record().count(); ++i)
                fields << statement.value(i).toString();
            rows << fields.join('|');
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return rows;
}

// The central bank's files as a test serves them: the days, newest first, each with four rates
// that change from day to day.
QByteArray referenceFile(const QList<QDate> &days)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gesmes:Envelope "
                     "xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
                     "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\"><Cube>\n";
    for (const QDate &day : days) {
        const int n = int(day.toJulianDay() % 1000);
        xml += "<Cube time='" + day.toString(Qt::ISODate).toLatin1() + "'><Cube currency='USD' rate='1." +
               QByteArray::number(1000 + n) + "'/><Cube currency='CHF' rate='0." +
               QByteArray::number(9000 + n) + "'/><Cube currency='JPY' rate='1" +
               QByteArray::number(100 + n % 100) + ".25'/><Cube currency='GBP' rate='0." +
               QByteArray::number(8000 + n) + "'/></Cube>\n";
    }
    return xml + "</Cube></gesmes:Envelope>\n";
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void concurrentBatchRuns();
    void concurrentReferenceRuns();
    void dailyCycleKilled_data();
    void dailyCycleKilled();
    void referenceCycleKilled();
    void importKilled();
    void diskFullDuringImport();
    void historyFileFifo();
    void failedWriteAfterUnendedLine();
    void endlessInputs_data();
    void endlessInputs();

private:
    // A batch run on the data folder, started, through the command line of the prefix if any; the
    // arguments' "%1" is the page server's address.
    std::unique_ptr<QProcess> start(const QStringList &arguments, const QStringList &prefix = {});
    // A prefix that kills the run with SIGKILL just before its nth call of the kind given on any of
    // the paths.
    static QStringList killedAt(const QString &call, int nth, const QStringList &paths);
    // Whether strace can trace a run here; the message says what is missing.
    static QString straceProblem();
    // A new data folder whose records of today hold an old value, with or without history files.
    void prepareDay(bool historyFilesExist);
    // Waits for the run while the page server answers; false when it did not end in time.
    bool finish(QProcess &run, int milliseconds = 45000);
    QString file(const QString &name) const { return m_dir->filePath(name); }
    void write(const QString &name, const QByteArray &bytes);
    // The database is sound, each pair has one record today holding one of the values allowed, and
    // both history files start with their header and hold only whole lines of the pairs.
    void checkDailyState(const QList<double> &allowedTodayValues);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<HttpServer> m_server;
};

void TestFaults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE), file("VALUTE.MDB")));
    QFile(file("VALUTE.MDB")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    write("zantoro.TXT", "EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n");
    m_server = std::make_unique<HttpServer>();
    m_server->setPage(kPagePath, kPage);
}

void TestFaults::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

void TestFaults::write(const QString &name, const QByteArray &bytes)
{
    QFile out(file(name));
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(out.write(bytes), bytes.size());
}

std::unique_ptr<QProcess> TestFaults::start(const QStringList &arguments, const QStringList &prefix)
{
    auto run = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("it_IT.UTF-8"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!prefix.isEmpty()) {
        // A leak check at exit cannot attach to the threads of a traced process (sanitizer builds).
        const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           asan + (asan.isEmpty() ? "" : ":") + "detect_leaks=0");
    }
    run->setProcessEnvironment(environment);
    QStringList all = {"--batch", "--data-dir", m_dir->path()};
    for (const QString &argument : arguments)
        all << QString(argument).replace("%1", m_server->url(kPagePath).toString());
    if (prefix.isEmpty())
        run->start(QStringLiteral(QUOTAZIONI_BINARY), all);
    else
        run->start(prefix.first(), prefix.mid(1) + QStringList{QStringLiteral(QUOTAZIONI_BINARY)} + all);
    return run;
}

QString TestFaults::straceProblem()
{
    QProcess trace;
    trace.start(QStringLiteral("strace"), {"-f", "-o", "/dev/null", "--", "true"});
    if (!trace.waitForFinished(30000) || trace.exitStatus() != QProcess::NormalExit || trace.exitCode() != 0)
        return "strace cannot trace a program here (scripts/setup.sh --tests installs it): " +
               trace.errorString() + ' ' + QString::fromUtf8(trace.readAllStandardError());
    return {};
}

QStringList TestFaults::killedAt(const QString &call, int nth, const QStringList &paths)
{
    // strace stops the run at the calls of that kind touching the paths, counted per thread, and
    // kills it at the nth; when killed, it ends by the same signal.
    QStringList command = {"strace",
                           "-f",
                           "-qq",
                           "-o",
                           "/dev/null",
                           "-e",
                           "trace=" + call,
                           "-e",
                           QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(nth)};
    for (const QString &path : paths)
        command << "-P" << path;
    return command << "--";
}

bool TestFaults::finish(QProcess &run, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (run.state() != QProcess::NotRunning && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        run.waitForFinished(5);
    }
    return run.state() == QProcess::NotRunning;
}

void TestFaults::checkDailyState(const QList<double> &allowed)
{
    const QString database = file("VALUTE.MDB");
    QCOMPARE(query(database, "PRAGMA integrity_check"), QStringList{"ok"});
    const QStringList stored =
        query(database, "SELECT Tipo_Valuta, count(*), max(Quotazione) FROM Storico_Valute "
                        "WHERE Data_Valuta = '" +
                            today() + "' GROUP BY Tipo_Valuta ORDER BY 1");
    QCOMPARE(stored.size(), 4);
    for (const QString &row : stored) {
        const QStringList fields = row.split('|');
        QCOMPARE(fields.at(1), QStringLiteral("1")); // one record per pair and day
        const double value = fields.at(2).toDouble();
        QVERIFY2(allowed.contains(value) || value == kNew.value(fields.at(0)), qPrintable(row));
    }
    // Whole lines only, the header first, in both files (when they exist yet).
    const QRegularExpression textLine(QStringLiteral("^\\d\\d-\\d\\d-\\d{4} - [0-9,]{6} - EUR/... - .+$"));
    const QRegularExpression csvLine(QStringLiteral("^\\d\\d/\\d\\d/\\d{4};[0-9,]{6};EUR/... - .+;$"));
    for (const auto &[name, pattern] :
         {std::pair{QStringLiteral("Storico_Quotazioni_Valute.TXT"), textLine},
          std::pair{QStringLiteral("Storico_Quotazioni_Valute.CSV"), csvLine}}) {
        if (!QFile::exists(file(name)))
            continue;
        const QByteArray bytes = readAll(file(name));
        QVERIFY2(bytes.startsWith(kHeader + "\r\n"), qPrintable(name));
        QVERIFY2(bytes.endsWith("\r\n"), qPrintable(name));
        const QList<QByteArray> lines = bytes.chopped(1).split('\n'); // each ends in CR
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY2(lines.at(i).endsWith('\r') &&
                         pattern.match(QString::fromUtf8(lines.at(i).chopped(1))).hasMatch(),
                     qPrintable(name + ": " + lines.at(i)));
    }
}

void TestFaults::concurrentBatchRuns()
{
    // Three scheduled runs start together, ten times over: each waits for the others' writes instead
    // of failing, and every pair keeps one record a day.
    for (int round = 0; round < 10; ++round) {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 3; ++i)
            runs.push_back(start({"--page-url", "%1"}));
        for (auto &run : runs) {
            QVERIFY(finish(*run));
            const QByteArray errors = run->readAllStandardError();
            QVERIFY2(run->exitStatus() == QProcess::NormalExit && run->exitCode() == 0,
                     qPrintable(QString("round %1: %2").arg(round).arg(QString::fromUtf8(errors))));
            QCOMPARE(errors, QByteArray());
        }
    }
    checkDailyState({});
    for (const QString name : {"Storico_Quotazioni_Valute.TXT", "Storico_Quotazioni_Valute.CSV"})
        QCOMPARE(readAll(file(name)).count("\r\n"), 1 + 30 * 4); // one header, every run's lines
}

void TestFaults::concurrentReferenceRuns()
{
    // Three scheduled runs on the reference-rate source start together on an empty history, ten times
    // over: each fills the same 100 days, or finds them stored by another when its turn to write
    // comes. Every pair keeps one record a day, and each day's lines are in the history files once.
    QList<QDate> days; // newest first
    for (QDate day = QDate::currentDate(); days.size() < 100; day = day.addDays(-1)) {
        if (day.dayOfWeek() <= 5)
            days << day;
    }
    m_server->setPage(QStringLiteral("/stats/eurofxref-daily.xml"), referenceFile(days.mid(0, 1)), 200,
                      "text/xml");
    m_server->setPage(QStringLiteral("/stats/eurofxref-hist-90d.xml"), referenceFile(days.mid(0, 62)), 200,
                      "text/xml");
    m_server->setPage(QStringLiteral("/stats/eurofxref-hist.xml"), referenceFile(days), 200, "text/xml");
    const QString address = m_server->url(QStringLiteral("/stats/eurofxref-daily.xml")).toString();
    for (int round = 0; round < 10; ++round) {
        QCOMPARE(query(file("VALUTE.MDB"), "DELETE FROM Storico_Valute"), QStringList());
        for (const QString name : {"Storico_Quotazioni_Valute.TXT", "Storico_Quotazioni_Valute.CSV"})
            QFile::remove(file(name));
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 3; ++i)
            runs.push_back(start({"--page-url", address}));
        for (auto &run : runs) {
            QVERIFY(finish(*run));
            const QByteArray errors = run->readAllStandardError();
            QVERIFY2(run->exitStatus() == QProcess::NormalExit && run->exitCode() == 0,
                     qPrintable(QString("round %1: %2").arg(round).arg(QString::fromUtf8(errors))));
            QCOMPARE(errors, QByteArray());
        }
        QCOMPARE(query(file("VALUTE.MDB"), "SELECT count(*), count(DISTINCT Tipo_Valuta || Data_Valuta) "
                                           "FROM Storico_Valute"),
                 QStringList{"400|400"});
        for (const QString name : {"Storico_Quotazioni_Valute.TXT", "Storico_Quotazioni_Valute.CSV"})
            QCOMPARE(readAll(file(name)).count("\r\n"), 1 + 400);
    }
}

void TestFaults::prepareDay(bool historyFilesExist)
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE), file("VALUTE.MDB")));
    QFile(file("VALUTE.MDB")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    write("zantoro.TXT", "EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n");
    // Today's records hold an old value, which the run replaces.
    const QString stale = "INSERT INTO Storico_Valute VALUES ('%1', '" + today() + "', 9.5, 'vecchia', '')";
    for (const QString &pair : kPairs)
        QVERIFY(!query(file("VALUTE.MDB"), stale.arg(pair)).contains(QLatin1String("<failed>")));
    if (historyFilesExist) {
        write("Storico_Quotazioni_Valute.TXT",
              kHeader + "\r\n01-12-2026 - 1,0000 - EUR/USD - DOLLARO USA\r\n");
        write("Storico_Quotazioni_Valute.CSV", kHeader + "\r\n01/12/2026;1,0000;EUR/USD - DOLLARO USA;\r\n");
    }
}

void TestFaults::dailyCycleKilled_data()
{
    QTest::addColumn<bool>("historyFilesExist");
    QTest::newRow("history files made by the run") << false;
    QTest::newRow("history files already there") << true;
}

void TestFaults::dailyCycleKilled()
{
    const QString problem = straceProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // The run is killed in turn before each of its writes to the data folder (database, its journal,
    // the two history files): then the state is sound, and the next run records the day.
    QFETCH(bool, historyFilesExist);
    int kills = 0;
    for (const QString &call : kWriteCalls) {
        for (int nth = 1;; ++nth) {
            prepareDay(historyFilesExist);
            const QStringList paths = {file("VALUTE.MDB"), file("VALUTE.MDB-journal"),
                                       file("Storico_Quotazioni_Valute.TXT"),
                                       file("Storico_Quotazioni_Valute.CSV"), m_dir->path()};
            const QString point = QStringLiteral("killed at %1 number %2").arg(call).arg(nth);
            auto run = start({"--page-url", "%1"}, killedAt(call, nth, paths));
            QVERIFY2(finish(*run), qPrintable(point));
            if (run->exitStatus() == QProcess::NormalExit) {
                // Fewer such calls than nth: the run went through.
                QVERIFY2(run->exitCode() == 0, qPrintable(point + ": " + run->readAllStandardError()));
                checkDailyState({});
                break;
            }
            ++kills;
            checkDailyState({kOld});
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(point));
            auto next = start({"--page-url", "%1"});
            QVERIFY2(finish(*next), qPrintable(point));
            QVERIFY2(next->exitCode() == 0, qPrintable(point + ": " + next->readAllStandardError()));
            checkDailyState({});
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(point + ", then run again"));
        }
    }
    // A first write of each kind and the database's commit at the least.
    QVERIFY2(kills >= 10, qPrintable(QString::number(kills)));
}

void TestFaults::referenceCycleKilled()
{
    const QString problem = straceProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // The reference-rate source on an empty history: the day's file, then the whole history behind
    // it, some 250 days of four pairs in one go. Killed before a write that moves further on each
    // time, the run leaves a sound database whose records are those of a run that went through,
    // both history files whole, and the next run brings the history to what one run would have.
    QList<QDate> days; // newest first
    for (QDate day = QDate::currentDate(); days.size() < 250; day = day.addDays(-1)) {
        if (day.dayOfWeek() <= 5)
            days << day;
    }
    m_server->setPage(QStringLiteral("/stats/eurofxref-daily.xml"), referenceFile(days.mid(0, 1)), 200,
                      "text/xml");
    m_server->setPage(QStringLiteral("/stats/eurofxref-hist-90d.xml"), referenceFile(days.mid(0, 62)), 200,
                      "text/xml");
    m_server->setPage(QStringLiteral("/stats/eurofxref-hist.xml"), referenceFile(days), 200, "text/xml");
    const QStringList arguments = {"--page-url",
                                   m_server->url(QStringLiteral("/stats/eurofxref-daily.xml")).toString()};
    const QString records = QStringLiteral("SELECT Tipo_Valuta, Data_Valuta, Quotazione, Descrizione "
                                           "FROM Storico_Valute ORDER BY 1, 2");
    const QString text = QStringLiteral("Storico_Quotazioni_Valute.TXT");
    const QString csv = QStringLiteral("Storico_Quotazioni_Valute.CSV");

    // What a run that goes through leaves.
    auto clean = start(arguments);
    QVERIFY(finish(*clean));
    QVERIFY2(clean->exitCode() == 0, clean->readAllStandardError().constData());
    const QStringList expected = query(file("VALUTE.MDB"), records);
    QCOMPARE(expected.size(), 1000);
    const QByteArray expectedText = readAll(file(text)), expectedCsv = readAll(file(csv));
    QCOMPARE(expectedText.count("\r\n"), 1001);

    int kills = 0;
    for (const QString &call :
         {QStringLiteral("write"), QStringLiteral("pwrite64"), QStringLiteral("fdatasync"),
          QStringLiteral("linkat"), QStringLiteral("unlink")}) {
        for (int nth = 1;; nth = nth * 3 / 2 + 1) {
            const QString point = QStringLiteral("killed at %1 number %2").arg(call).arg(nth);
            m_dir = std::make_unique<QTemporaryDir>();
            QVERIFY(QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE), file("VALUTE.MDB")));
            QFile(file("VALUTE.MDB")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            write("zantoro.TXT", "EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n");
            const QStringList paths = {file("VALUTE.MDB"), file("VALUTE.MDB-journal"), file(text), file(csv),
                                       m_dir->path()};
            auto run = start(arguments, killedAt(call, nth, paths));
            QVERIFY2(finish(*run), qPrintable(point));
            if (run->exitStatus() == QProcess::NormalExit)
                break;
            ++kills;
            QVERIFY2(query(file("VALUTE.MDB"), "PRAGMA integrity_check") == QStringList{"ok"},
                     qPrintable(point));
            for (const QString &record : query(file("VALUTE.MDB"), records))
                QVERIFY2(expected.contains(record), qPrintable(point + ": " + record));
            // Whole lines only, each one the clean run wrote too (the lines of a transaction that
            // did not end are written again by the next run).
            for (const auto &[name, whole] : {std::pair{text, expectedText}, std::pair{csv, expectedCsv}}) {
                if (!QFile::exists(file(name)))
                    continue;
                const QByteArray bytes = readAll(file(name));
                QVERIFY2(bytes.startsWith(kHeader + "\r\n") && bytes.endsWith("\r\n"),
                         qPrintable(point + " " + name));
                for (const QByteArray &line : bytes.split('\n'))
                    QVERIFY2(whole.contains(line + '\n') || line.isEmpty(), qPrintable(point + ": " + line));
            }
            auto next = start(arguments);
            QVERIFY2(finish(*next), qPrintable(point));
            QVERIFY2(next->exitCode() == 0, qPrintable(point + ": " + next->readAllStandardError()));
            QVERIFY2(query(file("VALUTE.MDB"), records) == expected, qPrintable(point + ", then run again"));
        }
    }
    QVERIFY2(kills >= 8, qPrintable(QString::number(kills)));
}

void TestFaults::importKilled()
{
    const QString problem = straceProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // An import of 20,000 days, some over records of old value, killed before a write that moves further
    // on each time: each record holds its old or its new value, and the next import stores them all.
    QByteArray rates = "Cambi\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
    for (int i = 0; i < 20000; ++i)
        rates += QDate(1500, 1, 1).addDays(i).toString("dd/MM/yyyy").toLatin1() + ",1.25,nuova\r\n";
    write("cambi.csv", rates);
    QStringList old = {"BEGIN"};
    for (int i = 0; i < 20000; i += 100)
        old << "INSERT INTO Storico_Valute VALUES ('EUR/USD', '" +
                   QDate(1500, 1, 1).addDays(i).toString("yyyyMMdd") +
                   "', 9.5, 'EUR/USD - DOLLARO USA', 'vecchia')";
    old << "COMMIT";
    for (const QString &sql : old)
        QVERIFY(!query(file("VALUTE.MDB"), sql).contains(QLatin1String("<failed>")));

    const QString database = file("VALUTE.MDB");
    const QStringList paths = {database, file("VALUTE.MDB-journal"), m_dir->path()};
    const QString backup = file("before.MDB");
    QVERIFY(QFile::copy(database, backup));
    int kills = 0;
    for (const QString &call : {QStringLiteral("pwrite64"), QStringLiteral("fdatasync")}) {
        for (int nth = 1;; nth = nth * 3 / 2 + 1) {
            QFile::remove(database);
            QFile::remove(file("VALUTE.MDB-journal"));
            QVERIFY(QFile::copy(backup, database));
            const QString point = QStringLiteral("killed at %1 number %2").arg(call).arg(nth);
            auto run = start({"--import", file("cambi.csv")}, killedAt(call, nth, paths));
            QVERIFY2(finish(*run), qPrintable(point));
            if (run->exitStatus() == QProcess::NormalExit)
                break;
            ++kills;
            QVERIFY2(query(database, "PRAGMA integrity_check") == QStringList{"ok"}, qPrintable(point));
            // Old records keep their value or take the new one; nothing else, and no day twice.
            QVERIFY2(
                query(
                    database,
                    "SELECT count(*) FROM Storico_Valute WHERE Data_Valuta < '2100' AND NOT "
                    "((Quotazione = 9.5 AND Note = 'vecchia') OR (Quotazione = 1.25 AND Note = 'nuova'))") ==
                    QStringList{"0"},
                qPrintable(point));
            QVERIFY2(query(database,
                           "SELECT count(*) FROM (SELECT Data_Valuta FROM Storico_Valute "
                           "GROUP BY Tipo_Valuta, Data_Valuta HAVING count(*) > 1)") == QStringList{"0"},
                     qPrintable(point));
            QVERIFY2(query(database,
                           "SELECT count(*) FROM Storico_Valute WHERE Note = 'vecchia' OR Note = 'nuova'")
                             .first()
                             .toInt() >= 200,
                     qPrintable(point));
            auto next = start({"--import", file("cambi.csv")});
            QVERIFY2(finish(*next), qPrintable(point));
            QVERIFY2(next->exitCode() == 0, qPrintable(point + ": " + next->readAllStandardError()));
            QVERIFY2(query(database, "SELECT count(*), min(Quotazione), max(Quotazione) FROM Storico_Valute "
                                     "WHERE Data_Valuta < '2100'") == QStringList{"20000|1.25|1.25"},
                     qPrintable(point));
        }
    }
    QVERIFY2(kills >= 6, qPrintable(QString::number(kills)));
}

void TestFaults::diskFullDuringImport()
{
    // The database may not grow past 256 KiB, as on a full disk. The import's pages fill SQLite's
    // cache, which spills them into the file in the middle of the import: the line that does not fit
    // is named once, with the engine's reason, and nothing else is said (the engine has undone the
    // transaction itself: there is nothing left to commit).
    QByteArray rates = "Cambi\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
    for (int i = 0; i < 60000; ++i)
        rates += QDate(1900, 1, 1).addDays(i).toString("dd/MM/yyyy").toLatin1() + ",1.25," +
                 QByteArray(100, 'n') + "\r\n";
    write("cambi.csv", rates);
    auto run = start({"--import", file("cambi.csv")},
                     {"/bin/sh", "-c", "trap '' XFSZ; exec prlimit --fsize=262144 -- \"$@\"", "sh"});
    QVERIFY(finish(*run));
    const QString errors = QString::fromUtf8(run->readAllStandardError());
    QCOMPARE(run->exitCode(), 1);
    const QRegularExpression lineFailed(
        "^Errore registrazione su DataBase [^\n]+\n\nselect \\* from "
        "Storico_Valute where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = '\\d{8}'\n");
    QVERIFY2(lineFailed.match(errors).hasMatch(), qPrintable(errors));
    QCOMPARE(errors.count("Errore registrazione su DataBase"), 1);
    QVERIFY2(!errors.contains("no transaction is active"), qPrintable(errors));
    QCOMPARE(query(file("VALUTE.MDB"), "PRAGMA integrity_check"), QStringList{"ok"});
}

void TestFaults::historyFileFifo()
{
    // A FIFO in place of the history file: refused at once, whether or not something reads it,
    // instead of waiting for ever for a reader or for room in the pipe.
    const QString name = file("Storico_Quotazioni_Valute.TXT");
    QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    auto run = start({"--page-url", "%1"});
    QVERIFY(finish(*run));
    QCOMPARE(QString::fromUtf8(run->readAllStandardError()),
             "Errore in registrazione Storico Quotazioni - Errore di accesso al percorso/file\n\n" + name +
                 "\nQuotazioni non registrate: EUR/USD, EUR/CHF, EUR/JPY, EUR/GBP\n");
    QCOMPARE(run->exitCode(), 1);
    QCOMPARE(query(file("VALUTE.MDB"),
                   "SELECT count(*) FROM Storico_Valute WHERE Data_Valuta = '" + today() + "'"),
             QStringList{"0"});
}

void TestFaults::failedWriteAfterUnendedLine()
{
    // The history file's last line has no end, and the first write of the new lines into the twin
    // fails once: the lines are taken back out of the history file and written again, still after a
    // line end of their own.
    const QString problem = straceProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString text = file("Storico_Quotazioni_Valute.TXT");
    write("Storico_Quotazioni_Valute.TXT", kHeader + "\r\n01-12-2026 - 1,0000 - EUR/USD - DOLL");
    QStringList failOnce = {
        "strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=write", "-e", "inject=write:error=EIO:when=1",
        "-P",     text, "--"};
    auto run = start({"--page-url", "%1"}, failOnce);
    QVERIFY(finish(*run));
    QCOMPARE(run->readAllStandardError(), QByteArray());
    QCOMPARE(run->exitCode(), 0);
    const QString day = QDate::currentDate().toString(QStringLiteral("dd-MM-yyyy"));
    QCOMPARE(QString::fromUtf8(readAll(text)), kHeader + "\r\n01-12-2026 - 1,0000 - EUR/USD - DOLL\r\n" +
                                                   day + " - 1,0871 - EUR/USD - DOLLARO USA - 1\r\n" + day +
                                                   " - 0,9412 - EUR/CHF - FRANCO SVIZZERO - 2\r\n" + day +
                                                   " - 131,25 - EUR/JPY - YEN GIAPPONESE - 3\r\n" + day +
                                                   " - 0,8571 - EUR/GBP - STERLINA INGLESE - 4\r\n");
}

void TestFaults::endlessInputs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stdErr"); // what standard error starts with
    QTest::newRow("endless page") << QStringList{"--page-url", "%1"}
                                  << "Quotazione non disponibile su Internet !!!\nPagina non letta: ";
    QTest::newRow("endless device")
        << QStringList{"--import", "/dev/zero"}
        << "Storico Cambi Ufficiali non trovato - Errore di accesso al percorso/file";
    QTest::newRow("fifo without a writer")
        << QStringList{"--import", "fifo"}
        << "Storico Cambi Ufficiali non trovato - Errore di accesso al percorso/file";
}

void TestFaults::endlessInputs()
{
    QFETCH(QStringList, arguments);
    HttpServer::Reply endless;
    endless.kind = HttpServer::Reply::Kind::Endless;
    m_server->setReply(kPagePath, endless);
    QCOMPARE(::mkfifo(QFile::encodeName(file("fifo")).constData(), 0600), 0);
    arguments.replaceInStrings(QRegularExpression("^fifo$"), file("fifo"));
    auto run = start(arguments);
    QVERIFY(finish(*run)); // within 45 s
    QCOMPARE(run->exitCode(), 1);
    QFETCH(QString, stdErr);
    const QString errors = QString::fromUtf8(run->readAllStandardError());
    QVERIFY2(errors.startsWith(stdErr), qPrintable(errors));
}

QUOTAZIONI_TEST_MAIN(TestFaults)
#include "tst_faults.moc"
