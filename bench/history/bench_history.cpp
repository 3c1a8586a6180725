// Times the history listing of one pair on databases of 10k, 100k and 1M records over four pairs,
// and the sqlite3 shell's "SELECT * ... ORDER BY Data_Valuta" on the same file.
#include "common/recordingdialogs.h"
#include "history/historydb.h"
#include "history/historylisting.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kRuns = 3; // best of, since the machine is shared

bool buildDatabase(const QString &path, int records)
{
    QFile schema(QStringLiteral(QUOTAZIONI_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly))
        return false;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generator"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery query(db);
        for (const QString &statement : QString::fromUtf8(schema.readAll()).split(QLatin1Char(';'))) {
            if (ok && !statement.trimmed().isEmpty())
                ok = query.exec(statement);
        }
        query.exec(QStringLiteral("PRAGMA synchronous = OFF"));
        db.transaction();
        ok = ok && query.prepare(QStringLiteral("INSERT INTO Storico_Valute VALUES (?, ?, ?, ?, '')"));
        const char *pairs[4][2] = {{"EUR/USD", "EUR/USD - DOLLARO USA - 1"},
                                   {"EUR/CHF", "EUR/CHF - FRANCO SVIZZERO - 2"},
                                   {"EUR/JPY", "EUR/JPY - YEN GIAPPONESE - 3"},
                                   {"EUR/GBP", "EUR/GBP - STERLINA INGLESE - 4"}};
        const QDate start(1900, 1, 1);
        for (int i = 0; ok && i < records; ++i) {
            const int pair = i % 4;
            query.bindValue(0, QString::fromLatin1(pairs[pair][0]));
            query.bindValue(1, start.addDays(i / 4).toString(QStringLiteral("yyyyMMdd")));
            query.bindValue(2, 1.0 + pair + (i % 1000) / 10000.0);
            query.bindValue(3, QString::fromLatin1(pairs[pair][1]));
            ok = query.exec();
        }
        if (!ok)
            std::fprintf(stderr, "generation failed: %s\n", qPrintable(query.lastError().text()));
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generator"));
    return ok;
}

double timeListing(const QString &path, qsizetype &lines, qsizetype &count)
{
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        HistoryDb db;
        QuoteTable table;
        RecordingDialogs dialogs;
        QElapsedTimer timer;
        timer.start();
        const ListingResult result =
            HistoryListing().run(db, path, QStringLiteral("EUR/USD"), table, dialogs);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
        lines = result.lines.size();
        count = result.count;
        if (!dialogs.texts().isEmpty())
            std::fprintf(stderr, "listing reported: %s\n",
                         qPrintable(dialogs.texts().join(QLatin1Char('|'))));
    }
    return best;
}

double timeShell(const QString &path)
{
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        QProcess shell;
        shell.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        shell.start(QStringLiteral(QUOTAZIONI_SQLITE3),
                    {path, QStringLiteral("SELECT * FROM Storico_Valute ORDER BY Data_Valuta")});
        if (!shell.waitForFinished(-1) || shell.exitCode() != 0)
            std::fprintf(stderr, "sqlite3 failed\n");
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.append(QString::fromLocal8Bit(argv[i]).toInt());
    if (sizes.isEmpty())
        sizes = {10000, 100000, 1000000};

    QTemporaryDir dir;
    std::printf("%10s %12s %10s %12s %12s %8s\n", "records", "loaded", "lines", "listing s", "sqlite3 s",
                "ratio");
    for (const int size : sizes) {
        const QString path = dir.filePath(QStringLiteral("VALUTE-%1.MDB").arg(size));
        if (!buildDatabase(path, size))
            return 1;
        qsizetype lines = 0, count = 0;
        const double listing = timeListing(path, lines, count);
        const double shell = timeShell(path);
        std::printf("%10d %12lld %10lld %12.3f %12.3f %8.2f\n", size, qlonglong(count), qlonglong(lines),
                    listing, shell, listing / shell);
        std::fflush(stdout);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (ru_maxrss): %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
