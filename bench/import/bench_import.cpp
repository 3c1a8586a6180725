// Times the official-rates import of a 100,000-line file into a history database that already
// holds 1,000,000 records, against the sqlite3 shell loading the same rows (.import of a CSV) into a
// copy of the same indexed table. Usage: bench_import [--lines N] [--records N] [--rounds N]
// [--sqlite3 PATH]

#include "base/batchdialogs.h"
#include "history/historydb.h"
#include "history/officialrates.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

struct Timing
{
    double wall = 0; // seconds
    double cpu = 0;  // user + system seconds: what the work costs when the machine is shared
};

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

const QDate firstStoredDay(1300, 1, 1);
const QStringList pairs{"EUR/USD", "EUR/CHF", "EUR/JPY", "EUR/GBP"};

[[noreturn]] void die(const QString &text)
{
    std::fprintf(stderr, "bench_import: %s\n", qPrintable(text));
    std::exit(1);
}

QString schemaSql()
{
    QFile schema(QStringLiteral(QUOTAZIONI_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly))
        die(QStringLiteral("cannot read ") + schema.fileName());
    QString sql;
    for (const QString &line : QString::fromUtf8(schema.readAll()).split(QLatin1Char('\n')))
        if (!line.trimmed().startsWith(QLatin1String("--")))
            sql += line + QLatin1Char('\n');
    return sql;
}

void run(QSqlQuery &query, const QString &sql)
{
    if (!query.exec(sql))
        die(sql + QStringLiteral(": ") + query.lastError().text());
}

// The shipped schema, then `records` rows spread evenly over the four pairs, one per pair and day.
void buildDatabase(const QString &path, qint64 records)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("build"));
        db.setDatabaseName(path);
        if (!db.open())
            die(db.lastError().text());
        QSqlQuery query(db);
        for (const QString &statement : schemaSql().split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (!statement.trimmed().isEmpty())
                run(query, statement);
        db.transaction();
        const qint64 perPair = records / pairs.size();
        for (int p = 0; p < pairs.size(); ++p) {
            const qint64 count = perPair + (p < records % pairs.size() ? 1 : 0);
            run(query, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                                      "WHERE i + 1 < %1) "
                                      "INSERT INTO Storico_Valute SELECT '%2', "
                                      "strftime('%Y%m%d', julianday('%3') + i), 1 + i / 1000000.0, "
                                      "'%2', '' FROM n")
                           .arg(count)
                           .arg(pairs.at(p), firstStoredDay.toString(Qt::ISODate)));
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
}

// The rates file of the dollar: half its days already stored, half new. The CSV holds the rows the
// import makes of it, for the shell.
void writeFiles(const QString &ratesPath, const QString &csvPath, qint64 lines, qint64 records)
{
    const QDate firstDay = firstStoredDay.addDays(std::max<qint64>(0, records / pairs.size() - lines / 2));
    QByteArray rates = "Storico cambi ufficiali\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
    QByteArray csv;
    for (qint64 i = 0; i < lines; ++i) {
        const QDate day = firstDay.addDays(i);
        const QByteArray rate = QByteArray::number(1.0 + double(i % 5000) / 10000.0, 'f', 4);
        const QByteArray note = "BCE " + QByteArray::number(i);
        rates += day.toString(QStringLiteral("dd/MM/yyyy")).toLatin1() + ',' + rate + ',' + note + "\r\n";
        csv += "EUR/USD," + day.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ',' + rate +
               ",EUR/USD - DOLLARO USA," + note + '\n';
    }
    for (const auto &[path, bytes] : {std::pair{ratesPath, rates}, std::pair{csvPath, csv}}) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            die(QStringLiteral("cannot write ") + path);
    }
}

void copy(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        die(QStringLiteral("cannot copy to ") + to);
}

qint64 recordCount(const HistoryDb &db)
{
    QSqlQuery query(db.database());
    run(query, QStringLiteral("SELECT count(*) FROM Storico_Valute"));
    query.next();
    return query.value(0).toLongLong();
}

Timing importOnce(const QString &basePath, const QString &path, const QString &ratesPath, qint64 expected)
{
    copy(basePath, path);
    HistoryDb db;
    if (db.open(path).isError())
        die(QStringLiteral("cannot open ") + path);
    BatchDialogs dialogs;
    const double cpu = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    const auto result = OfficialRatesImport::run(ratesPath, {}, db, dialogs);
    const Timing timing{double(timer.nsecsElapsed()) / 1e9, cpuSeconds(RUSAGE_SELF) - cpu};
    if (result.failed() || dialogs.failureCount() > 0)
        die(QStringLiteral("the import failed"));
    if (recordCount(db) != expected)
        die(QStringLiteral("the import stored %1 records, %2 expected").arg(recordCount(db)).arg(expected));
    return timing;
}

Timing shellOnce(const QString &sqlite3, const QString &basePath, const QString &path, const QString &csvPath)
{
    copy(basePath, path);
    QProcess shell;
    const double cpu = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    shell.start(sqlite3, {QStringLiteral("-bail"), path, QStringLiteral(".mode csv"),
                          QStringLiteral(".import ") + csvPath + QStringLiteral(" Storico_Valute")});
    if (!shell.waitForFinished(-1) || shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        die(QStringLiteral("sqlite3 failed: ") + QString::fromLocal8Bit(shell.readAllStandardError()));
    return {double(timer.nsecsElapsed()) / 1e9, cpuSeconds(RUSAGE_CHILDREN) - cpu};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption linesOption("lines", "Lines of the rates file.", "N", "100000");
    const QCommandLineOption recordsOption("records", "Records already in the database.", "N", "1000000");
    const QCommandLineOption roundsOption("rounds", "Timed rounds; the best is kept.", "N", "3");
    const QCommandLineOption shellOption("sqlite3", "The sqlite3 shell.", "PATH",
                                         QStandardPaths::findExecutable(QStringLiteral("sqlite3")));
    parser.addOptions({linesOption, recordsOption, roundsOption, shellOption});
    parser.process(app);
    const qint64 lines = parser.value(linesOption).toLongLong();
    const qint64 records = parser.value(recordsOption).toLongLong();
    const int rounds = std::max(1, parser.value(roundsOption).toInt());
    const QString sqlite3 = parser.value(shellOption);
    if (sqlite3.isEmpty())
        die(QStringLiteral("no sqlite3 shell found (install the sqlite3 package)"));

    QTemporaryDir dir;
    if (!dir.isValid())
        die(QStringLiteral("no temporary folder"));
    const QString basePath = dir.filePath(QStringLiteral("base.mdb"));
    const QString ratesPath = dir.filePath(QStringLiteral("cambiSto.csv"));
    const QString csvPath = dir.filePath(QStringLiteral("rows.csv"));
    std::printf("building a database of %lld records and a file of %lld lines...\n", records, lines);
    std::fflush(stdout);
    buildDatabase(basePath, records);
    writeFiles(ratesPath, csvPath, lines, records);
    const qint64 stored = std::min(lines, records / pairs.size());
    const qint64 expected = records + lines - std::min(stored, lines / 2);

    Timing import{1e9, 1e9}, shell{1e9, 1e9};
    for (int round = 0; round < rounds; ++round) {
        const Timing i =
            importOnce(basePath, dir.filePath(QStringLiteral("import.mdb")), ratesPath, expected);
        const Timing s = shellOnce(sqlite3, basePath, dir.filePath(QStringLiteral("shell.mdb")), csvPath);
        import = {std::min(import.wall, i.wall), std::min(import.cpu, i.cpu)};
        shell = {std::min(shell.wall, s.wall), std::min(shell.cpu, s.cpu)};
    }
    std::printf("best of %d rounds          wall s   cpu s\n", rounds);
    std::printf("import (%lld lines)    %7.3f %7.3f\n", lines, import.wall, import.cpu);
    std::printf("sqlite3 .import         %7.3f %7.3f\n", shell.wall, shell.cpu);
    std::printf("ratio import / shell    %7.2f %7.2f\n", import.wall / shell.wall, import.cpu / shell.cpu);
    return 0;
}
