// The whole program under faults, run as separate processes on one data folder: several batch runs
// at once, runs killed at any point, a disk that fills up, a write that fails once.
#include "common/batchrun.h"
#include "common/httpserver.h"
#include "common/referencefiles.h"
#include "common/testmain.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace {

const QString kPagePath = QStringLiteral("/valute");
const QByteArray kHeader = "Data;Quotazione;Valuta;Note";
const QStringList kPairs = {"EUR/USD", "EUR/CHF", "EUR/JPY", "EUR/GBP"};
const QString kText = QStringLiteral("Storico_Quotazioni_Valute.TXT");
const QString kCsv = QStringLiteral("Storico_Quotazioni_Valute.CSV");
const QByteArray kPage = "<p>EUR/USD 1,0871<BR>EUR/CHF 0,9412<BR>EUR/JPY 131,25<BR>EUR/GBP 0,8571<BR>";
// Today's quotes as the page gives them, and as they are stored before each run.
const QHash<QString, double> kNew = {
    {"EUR/USD", 1.0871}, {"EUR/CHF", 0.9412}, {"EUR/JPY", 131.25}, {"EUR/GBP", 0.8571}};
constexpr double kOld = 9.5;

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void concurrentRuns_data();
    void concurrentRuns();
    void dailyCycleKilled_data();
    void dailyCycleKilled();
    void referenceCycleKilled();
    void importKilled();
    void diskFullDuringImport();
    void failedWriteAfterUnendedLine();

private:
    // A batch run on the data folder, started, through the command line of the prefix if any; the
    // arguments' "%1" is the page server's address.
    std::unique_ptr<QProcess> start(const QStringList &arguments, const QStringList &prefix = {});
    // A prefix under which strace makes the run's calls of the kind given on any of the paths meet the
    // fault ("signal=KILL:when=3": killed before the third; when killed, the run ends by that signal).
    static QStringList injected(const QString &call, const QString &fault, const QStringList &paths);
    // Whether strace can trace a run here; the message says what is missing.
    static QString straceProblem();
    // A new data folder: the shipped database and the currency list of the four pairs.
    void freshFolder();
    // A new data folder whose records of today hold an old value, with or without history files.
    void prepareDay(bool historyFilesExist);
    // Serves the reference-rate files of the last `count` weekdays, the four rates changing from day
    // to day; the daily file's address.
    QString serveReference(int count);
    struct KillChecks
    {
        std::function<void()> prepare;                       // before each run
        std::function<void(const QString &point)> afterKill; // the point: where the run was killed
        std::function<void(const QString &point)> afterRun;  // after a run that went through
    };
    // Kills a run in turn before each of its calls of the kinds given (the nth, nth growing by one
    // or by half each time) touching the database, its journal, the history files or the folder,
    // until a run goes through; after each kill the checks, then a run that must go through.
    void killAtWrites(const QStringList &arguments, const QStringList &calls, bool everyCall, int leastKills,
                      const KillChecks &checks);
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
    m_server = std::make_unique<HttpServer>();
    m_server->setPage(kPagePath, kPage);
    freshFolder();
}

void TestFaults::freshFolder()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE), file("VALUTE.MDB")));
    QFile(file("VALUTE.MDB")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    write("zantoro.TXT", "EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n");
}

void TestFaults::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

void TestFaults::write(const QString &name, const QByteArray &bytes)
{
    QVERIFY(writeFile(file(name), bytes));
}

std::unique_ptr<QProcess> TestFaults::start(const QStringList &arguments, const QStringList &prefix)
{
    auto run = std::make_unique<QProcess>();
    QProcessEnvironment environment = batchEnvironment();
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

QStringList TestFaults::injected(const QString &call, const QString &fault, const QStringList &paths)
{
    QStringList command{"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call};
    command << "-e"
            << "inject=" + call + ':' + fault;
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
    QCOMPARE(sqliteRows(database, "PRAGMA integrity_check"), QStringList{"ok"});
    const QStringList stored =
        sqliteRows(database, "SELECT Tipo_Valuta, count(*), max(Quotazione) FROM Storico_Valute "
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
    for (const auto &[name, pattern] : {std::pair{kText, textLine}, std::pair{kCsv, csvLine}}) {
        if (!QFile::exists(file(name)))
            continue;
        const QByteArray bytes = fileBytes(file(name));
        QVERIFY2(bytes.startsWith(kHeader + "\r\n"), qPrintable(name));
        QVERIFY2(bytes.endsWith("\r\n"), qPrintable(name));
        const QList<QByteArray> lines = bytes.chopped(1).split('\n'); // each ends in CR
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY2(lines.at(i).endsWith('\r') &&
                         pattern.match(QString::fromUtf8(lines.at(i).chopped(1))).hasMatch(),
                     qPrintable(name + ": " + lines.at(i)));
    }
}

QString TestFaults::serveReference(int count)
{
    QList<ReferenceDay> days; // oldest first
    for (QDate day = QDate::currentDate(); days.size() < count; day = day.addDays(-1)) {
        const QString n = QString::number(1000 + day.toJulianDay() % 1000);
        if (day.dayOfWeek() <= 5)
            days.prepend({day, {"USD=1." + n, "CHF=0." + n, "JPY=1" + n.right(2) + ".25", "GBP=0." + n}});
    }
    const QString daily = QStringLiteral("/stats/eurofxref-daily.xml");
    m_server->setPage(daily, referenceDailyFile(days.constLast()), 200, "text/xml");
    m_server->setPage(QStringLiteral("/stats/eurofxref-hist-90d.xml"),
                      referenceHistoryFile(days.mid(count - 62)), 200, "text/xml");
    m_server->setPage(QStringLiteral("/stats/eurofxref-hist.xml"), referenceHistoryFile(days), 200,
                      "text/xml");
    return m_server->url(daily).toString();
}

void TestFaults::concurrentRuns_data()
{
    QTest::addColumn<bool>("reference");
    QTest::newRow("quote page") << false;
    QTest::newRow("reference rates on an empty history") << true;
}

void TestFaults::concurrentRuns()
{
    // Three scheduled runs start together, ten times over: each waits for the others' writes instead
    // of failing, and every pair keeps one record a day. On the reference-rate source each run fills
    // the same 100 days, or finds them stored by another when its turn to write comes, and each day's
    // lines are in the history files once.
    QFETCH(bool, reference);
    const QString address = reference ? serveReference(100) : QStringLiteral("%1");
    for (int round = 0; round < 10; ++round) {
        if (reference) {
            QCOMPARE(sqliteRows(file("VALUTE.MDB"), "DELETE FROM Storico_Valute"), QStringList());
            QFile::remove(file(kText));
            QFile::remove(file(kCsv));
        }
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
        if (reference) {
            QCOMPARE(sqliteRows(file("VALUTE.MDB"),
                                "SELECT count(*), count(DISTINCT Tipo_Valuta || Data_Valuta) "
                                "FROM Storico_Valute"),
                     QStringList{"400|400"});
            for (const QString &name : {kText, kCsv})
                QCOMPARE(fileBytes(file(name)).count("\r\n"), 1 + 400);
        }
    }
    if (!reference) {
        checkDailyState({});
        for (const QString &name : {kText, kCsv})
            QCOMPARE(fileBytes(file(name)).count("\r\n"), 1 + 30 * 4); // one header, every run's lines
    }
}

void TestFaults::prepareDay(bool historyFilesExist)
{
    freshFolder();
    // Today's records hold an old value, which the run replaces.
    const QString stale = "INSERT INTO Storico_Valute VALUES ('%1', '" + today() + "', 9.5, 'vecchia', '')";
    for (const QString &pair : kPairs)
        QVERIFY(!sqliteRows(file("VALUTE.MDB"), stale.arg(pair)).contains(QLatin1String("<failed>")));
    if (historyFilesExist) {
        write(kText, kHeader + "\r\n01-12-2026 - 1,0000 - EUR/USD - DOLLARO USA\r\n");
        write(kCsv, kHeader + "\r\n01/12/2026;1,0000;EUR/USD - DOLLARO USA;\r\n");
    }
}

void TestFaults::killAtWrites(const QStringList &arguments, const QStringList &calls, bool everyCall,
                              int leastKills, const KillChecks &checks)
{
    const QString problem = straceProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    int kills = 0;
    for (const QString &call : calls) {
        for (int nth = 1;; nth = everyCall ? nth + 1 : nth * 3 / 2 + 1) {
            const QString point = QStringLiteral("killed at %1 number %2").arg(call).arg(nth);
            checks.prepare();
            auto run = start(arguments, injected(call, "signal=KILL:when=" + QString::number(nth),
                                                 {file("VALUTE.MDB"), file("VALUTE.MDB-journal"), file(kText),
                                                  file(kCsv), m_dir->path()}));
            QVERIFY2(finish(*run), qPrintable(point));
            const bool killed = run->exitStatus() != QProcess::NormalExit; // else fewer such calls than nth
            if (killed) {
                ++kills;
                checks.afterKill(point);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(point));
                run = start(arguments);
                QVERIFY2(finish(*run), qPrintable(point));
            }
            QVERIFY2(run->exitCode() == 0, qPrintable(point + ": " + run->readAllStandardError()));
            checks.afterRun(point);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(point + (killed ? ", then run again" : "")));
            if (!killed)
                break;
        }
    }
    QVERIFY2(kills >= leastKills, qPrintable(QString::number(kills)));
}

void TestFaults::dailyCycleKilled_data()
{
    QTest::addColumn<bool>("historyFilesExist");
    QTest::addColumn<bool>("indexMissing"); // a database made before the index of unreadable quotes
    QTest::newRow("history files made by the run") << false << false;
    // The run adds the index first, in a transaction of its own, then goes on as over a database that
    // had it: killed at every write, this case holds each point of a run over existing history files.
    QTest::newRow("database without the index of unreadable quotes") << true << true;
}

void TestFaults::dailyCycleKilled()
{
    // Killed before any of its writes, the day's run leaves a sound state, and the next run records
    // the day (and has the index). A first write of each kind and the database's commit at the least.
    QFETCH(bool, historyFilesExist);
    QFETCH(bool, indexMissing);
    const auto prepare = [&] {
        prepareDay(historyFilesExist);
        if (indexMissing)
            QCOMPARE(sqliteRows(file("VALUTE.MDB"), "DROP INDEX Storico_Valute_Quotazione_Illeggibile"),
                     QStringList());
    };
    const auto afterRun = [&](const QString &) {
        checkDailyState({});
        QCOMPARE(sqliteRows(file("VALUTE.MDB"), "SELECT count(*) FROM sqlite_master "
                                                "WHERE name = 'Storico_Valute_Quotazione_Illeggibile'"),
                 QStringList{"1"});
    };
    // The calls by which a run changes its files; the run is killed before each one of them.
    killAtWrites({"--page-url", "%1"},
                 {"write", "pwrite64", "ftruncate", "fdatasync", "fsync", "linkat", "unlink", "rename"}, true,
                 10, {prepare, [&](const QString &) { checkDailyState({kOld}); }, afterRun});
}

void TestFaults::referenceCycleKilled()
{
    // The reference-rate source on an empty history: the day's file, then the whole history behind
    // it, some 250 days of four pairs in one go. Killed before a write that moves further on each
    // time, the run leaves a sound database whose records are those of a run that went through,
    // both history files whole, and the next run brings the history to what one run would have.
    const QStringList arguments = {"--page-url", serveReference(250)};
    const QString records = QStringLiteral("SELECT Tipo_Valuta, Data_Valuta, Quotazione, Descrizione "
                                           "FROM Storico_Valute ORDER BY 1, 2");
    auto clean = start(arguments);
    QVERIFY(finish(*clean));
    QVERIFY2(clean->exitCode() == 0, clean->readAllStandardError().constData());
    const QStringList expected = sqliteRows(file("VALUTE.MDB"), records);
    QCOMPARE(expected.size(), 1000);
    const QByteArray expectedText = fileBytes(file(kText)), expectedCsv = fileBytes(file(kCsv));
    QCOMPARE(expectedText.count("\r\n"), 1001);

    const auto afterKill = [&](const QString &point) {
        QVERIFY2(sqliteRows(file("VALUTE.MDB"), "PRAGMA integrity_check") == QStringList{"ok"},
                 qPrintable(point));
        for (const QString &record : sqliteRows(file("VALUTE.MDB"), records))
            QVERIFY2(expected.contains(record), qPrintable(point + ": " + record));
        // Whole lines only, each one the clean run wrote too (the lines of a transaction that did
        // not end are written again by the next run).
        for (const auto &[name, whole] : {std::pair{kText, expectedText}, std::pair{kCsv, expectedCsv}}) {
            if (!QFile::exists(file(name)))
                continue;
            const QByteArray bytes = fileBytes(file(name));
            QVERIFY2(bytes.startsWith(kHeader + "\r\n") && bytes.endsWith("\r\n"),
                     qPrintable(point + " " + name));
            for (const QByteArray &line : bytes.split('\n'))
                QVERIFY2(whole.contains(line + '\n') || line.isEmpty(), qPrintable(point + ": " + line));
        }
    };
    killAtWrites(arguments, {"write", "pwrite64", "fdatasync", "linkat", "unlink"}, false, 8,
                 {[&] { freshFolder(); }, afterKill,
                  [&](const QString &point) {
                      QVERIFY2(sqliteRows(file("VALUTE.MDB"), records) == expected, qPrintable(point));
                  }});
}

void TestFaults::importKilled()
{
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
        QVERIFY(!sqliteRows(file("VALUTE.MDB"), sql).contains(QLatin1String("<failed>")));

    const QString database = file("VALUTE.MDB"), backup = file("before.MDB");
    QVERIFY(QFile::copy(database, backup));
    const auto restore = [&] {
        QFile::remove(database);
        QFile::remove(file("VALUTE.MDB-journal"));
        QVERIFY(QFile::copy(backup, database));
    };
    const auto afterKill = [&](const QString &point) {
        QVERIFY2(sqliteRows(database, "PRAGMA integrity_check") == QStringList{"ok"}, qPrintable(point));
        // Old records keep their value or take the new one; nothing else, no day twice, none lost.
        const QStringList state =
            sqliteRows(database, "SELECT (SELECT count(*) FROM Storico_Valute WHERE Data_Valuta < '2100' "
                                 "AND NOT ((Quotazione = 9.5 AND Note = 'vecchia') OR (Quotazione = 1.25 "
                                 "AND Note = 'nuova'))), (SELECT count(*) FROM (SELECT Data_Valuta FROM "
                                 "Storico_Valute GROUP BY Tipo_Valuta, Data_Valuta HAVING count(*) > 1)), "
                                 "(SELECT count(*) >= 200 FROM Storico_Valute WHERE Note IN ('vecchia', "
                                 "'nuova'))");
        QVERIFY2(state == QStringList{"0|0|1"}, qPrintable(point + ": " + state.join(u' ')));
    };
    killAtWrites({"--import", file("cambi.csv")}, {"pwrite64", "fdatasync"}, false, 6,
                 {restore, afterKill, [&](const QString &point) {
                      QVERIFY2(sqliteRows(database, "SELECT count(*), min(Quotazione), max(Quotazione) FROM "
                                                    "Storico_Valute WHERE Data_Valuta < '2100'") ==
                                   QStringList{"20000|1.25|1.25"},
                               qPrintable(point));
                  }});
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
    QCOMPARE(sqliteRows(file("VALUTE.MDB"), "PRAGMA integrity_check"), QStringList{"ok"});
}

void TestFaults::failedWriteAfterUnendedLine()
{
    // The history file's last line has no end, and the first write of the new lines into the twin
    // fails once: the lines are taken back out of the history file and written again, still after a
    // line end of their own.
    const QString problem = straceProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString text = file(kText);
    write(kText, kHeader + "\r\n01-12-2026 - 1,0000 - EUR/USD - DOLL");
    auto run = start({"--page-url", "%1"}, injected("write", "error=EIO:when=1", {text}));
    QVERIFY(finish(*run));
    QCOMPARE(run->readAllStandardError(), QByteArray());
    QCOMPARE(run->exitCode(), 0);
    const QString day = QDate::currentDate().toString(QStringLiteral("dd-MM-yyyy"));
    QCOMPARE(QString::fromUtf8(fileBytes(text)), kHeader + "\r\n01-12-2026 - 1,0000 - EUR/USD - DOLL\r\n" +
                                                     day + " - 1,0871 - EUR/USD - DOLLARO USA - 1\r\n" + day +
                                                     " - 0,9412 - EUR/CHF - FRANCO SVIZZERO - 2\r\n" + day +
                                                     " - 131,25 - EUR/JPY - YEN GIAPPONESE - 3\r\n" + day +
                                                     " - 0,8571 - EUR/GBP - STERLINA INGLESE - 4\r\n");
}

QUOTAZIONI_TEST_MAIN(TestFaults)
#include "tst_faults.moc"
