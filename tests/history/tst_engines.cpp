#include "common/batchrun.h"
#include "common/historytest.h"
#include "common/httpserver.h"
#include "common/pgserver.h"
#include "common/recordingdialogs.h"
#include "common/referencefiles.h"
#include "common/testmain.h"
#include "history/historylisting.h"
#include "history/historyrecording.h"
#include "history/officialrates.h"
#include "history/recordwriter.h"
#include "session/quotesession.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <optional>

// The same cases on both engines: the history in an SQLite file and on a PostgreSQL server that the
// test starts itself. A row runs once per engine with the same expectations unless its tag names the
// one engine that can hold its case.

namespace {

using Answer = UserDialogs::Answer;

const QStringList kEngines = {QStringLiteral("sqlite"), QStringLiteral("postgres")};

const QByteArray kFourPairs =
    "<p>EUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412<BR>EUR/JPY 131,25 131,4<BR>EUR/GBP 0,8567";
const QByteArray kCurrencyList = "EUR/USD - DOLLARO USA - 1\r\nEUR/CHF - FRANCO SVIZZERO - 2\r\n"
                                 "EUR/JPY - YEN GIAPPONESE - 3\r\nEUR/GBP - STERLINA INGLESE - 4\r\n";

} // namespace

class TestEngines : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void listing_data();
    void listing();
    void listingSeesWrites_data();
    void listingSeesWrites();
    void listingInsideTransaction();
    void recording_data();
    void recording();
    void imports_data();
    void imports();
    void dailyJob_data();
    void dailyJob();

    void listingFailure_data();
    void listingFailure();
    void samePairAtOnce_data();
    void samePairAtOnce();
    void connectionLost();
    void twoBatchRuns();

private:
    // A database made from the schema that ships for the engine, holding the records.
    QString make(const QString &engine, const QStringList &values = {});
    // The one of the current row: its engine holding its records "before".
    QString makeForRow();

    PgServer m_server;
    QTemporaryDir m_dir;
    int m_made = 0;
};

void TestEngines::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
}

QString TestEngines::make(const QString &engine, const QStringList &values)
{
    const QString name = QStringLiteral("storico%1").arg(++m_made);
    if (engine == QLatin1String("sqlite"))
        return makeDatabase(m_dir.filePath(name + QStringLiteral(".mdb")), values);
    if (!m_server.createDatabase(name, QStringLiteral(QUOTAZIONI_PG_SCHEMA_FILE)))
        qFatal("%s", qPrintable(m_server.errorText()));
    QStringList statements{QStringLiteral("BEGIN")};
    for (const QString &record : values)
        statements << "INSERT INTO Storico_Valute VALUES (" + record + ')';
    statements << QStringLiteral("COMMIT");
    if (!exec(m_server.url(name), statements))
        qFatal("cannot fill the database");
    return m_server.url(name);
}

QString TestEngines::makeForRow()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, before);
    return make(engine, before);
}

void TestEngines::listing_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("alter"); // run on the database before the listing
    // The SQLite file once more as made before the index of unreadable quotes, while another program
    // holds its write lock: the program leaves it without the index and reads the table instead.
    const auto alter = [](const QStringList &engines, const char *name, const QStringList &records,
                          const QString &sql, const QStringList &lines, int count,
                          const QString &message = {}) {
        for (const QString &engine : engines)
            QTest::addRow("%s: %s", qPrintable(engine), name)
                << engine << records << lines << count << message << sql;
    };
    const auto row = [&](const char *name, const QStringList &records, const QStringList &lines, int count,
                         const QString &message = {}) {
        alter(kEngines + QStringList{"sqlite without the index, another writing"}, name, records, {}, lines,
              count, message);
    };
    const QString usd15 = "15-03-2003 - 1,2000 - EUR/USD";

    row("empty table", {}, {}, 0);
    row("four pairs: selected only, date order",
        {rec("EUR/JPY", "20030316", "127.45"), rec("EUR/USD", "20030316", "1.07"),
         rec("EUR/CHF", "20030315", "1.5"), rec("EUR/USD", "20030315", "1.0734"),
         rec("EUR/GBP", "20030317", "0.6"), rec("EUR/USD", "20030317", "2")},
        {"15-03-2003 - 1,0734 - EUR/USD", "16-03-2003 - 1,0700 - EUR/USD", "17-03-2003 - 2,0000 - EUR/USD"},
        6);
    row("missing date first: loaded; later empty, blank and NULL codes skipped",
        {"'EUR/CHF',NULL,1.1,'',''", rec("EUR/USD", "20030315", "1.2"), rec("", "20030316", "1.3"),
         rec("   ", "20030317", "1.4"), "NULL,'20030318',1.5,'',''", rec("EUR/USD", "20030319", "1.7"),
         rec("eur/usd", "20030320", "1.8")},
        {usd15, "19-03-2003 - 1,7000 - EUR/USD"}, 4);
    row("blank code first in date order is loaded, lower-case code not listed",
        {rec(" ", "20030314", "1.1"), rec("eur/usd", "20030315", "1.2"), rec("EUR/USD", "20030316", "1.3")},
        {"16-03-2003 - 1,3000 - EUR/USD"}, 3);
    row("no date first, then empty, blank and NULL codes skipped; NULL texts, apostrophes",
        {rec("EUR/USD", "", "1.1"), rec("EUR/USD", "20030315", "1.2"), rec("", "20030316", "1.3"),
         rec("   ", "20030317", "1.4"), "NULL,'20030318',1.5,'',''", "'EUR/USD','20030318''',1.6,'L''',NULL",
         rec("EUR/USD", "20030319", "1.7")},
        {usd15, "18-03-2003 - 1,6000 - EUR/USD", "19-03-2003 - 1,7000 - EUR/USD"}, 4);

    const QString nullRead = "Errore in lettura file di input  ERR=94 - Utilizzo non valido di Null";
    row("NULL quote in another pair: rows before it in date order kept, same day in stored order",
        {rec("EUR/CHF", "20030314", "1.1"), rec("EUR/USD", "20030315", "1.2"),
         rec("EUR/CHF", "20030316", "NULL"), rec("EUR/USD", "20030317", "1.4"),
         rec("EUR/USD", "20030316", "1.3")},
        {usd15}, 3, nullRead);
    row("NULL quote in the pair: its later records left out",
        {rec("EUR/USD", "20030317", "1.4"), rec("EUR/USD", "20030315", "1.2"),
         rec("EUR/CHF", "20030318", "1.5"), rec("EUR/USD", "20030316", "NULL")},
        {usd15}, 2, nullRead);
    row("NULL quote of a blank code that is not first: skipped",
        {rec("EUR/USD", "20030315", "1.2"), rec("  ", "20030316", "NULL"), "NULL,'20030316',NULL,'',''",
         rec("EUR/USD", "20030317", "1.4")},
        {usd15, "17-03-2003 - 1,4000 - EUR/USD"}, 2);
    row("NULL quote of a blank code first in date order: loaded and unreadable",
        {rec("EUR/USD", "20030315", "1.2"), rec(" ", "20030314", "NULL"), rec("EUR/USD", "20030317", "1.4")},
        {}, 1, nullRead);
    row("the pair without records", {rec("EUR/CHF", "20030315", "1.5"), rec("EUR/JPY", "20030315", "131.25")},
        {}, 2);
    row("a record of the pair without a date: counted, not listed",
        {rec("EUR/USD", "20030315", "1.2"), "'EUR/USD',NULL,1.1,'',''", rec("EUR/CHF", "20030316", "1.5")},
        {usd15}, 3);
    // Quotes as each engine stores them: whole, tiny, huge, beyond a double's whole digits, negative, zero.
    row("every quote shape",
        {rec("EUR/USD", "20030301", "2"), rec("EUR/USD", "20030302", "1.5"),
         rec("EUR/USD", "20030303", "131.25"), rec("EUR/USD", "20030304", "0.6"),
         rec("EUR/USD", "20030305", "1e-5"), rec("EUR/USD", "20030306", "1e300"),
         rec("EUR/USD", "20030307", "123456789"), rec("EUR/USD", "20030308", "1234567890123456789"),
         rec("EUR/USD", "20030309", "-1"), rec("EUR/USD", "20030310", "0"),
         rec("EUR/USD", "20030311", "1.0734")},
        {"01-03-2003 - 2,0000 - EUR/USD", "02-03-2003 - 1,5000 - EUR/USD", "03-03-2003 - 131,25 - EUR/USD",
         "04-03-2003 - 0,6000 - EUR/USD", "05-03-2003 - 1E-050 - EUR/USD", "06-03-2003 - 1E+300 - EUR/USD",
         "07-03-2003 - 123456 - EUR/USD", "08-03-2003 - 1,2345 - EUR/USD", "09-03-2003 - -1,000 - EUR/USD",
         "10-03-2003 - 0,0000 - EUR/USD", "11-03-2003 - 1,0734 - EUR/USD"},
        11);
    row("dates as stored: padded, odd, duplicated; codes with blanks around them",
        {rec("EUR/USD", " 20030316", "1.3"), rec(" EUR/USD", "20030315", "1.2"),
         rec("EUR/USD ", "20030315", "1.25"), rec("EUR/USD", "2003/21/", "0.6"),
         rec("EUR/USD", "20030315", "1.1")},
        {"16-03-2003 - 1,3000 - EUR/USD", "1/-/2-2003 - 0,6000 - EUR/USD", "15-03-2003 - 1,2000 - EUR/USD",
         "15-03-2003 - 1,2500 - EUR/USD", "15-03-2003 - 1,1000 - EUR/USD"},
        5);
    QStringList many, manyLines; // more than one batch of the server's rows
    for (int day = 0; day < 9000; ++day) {
        const QDate date = QDate(2000, 1, 1).addDays(day);
        many << rec("EUR/USD", date.toString("yyyyMMdd"), day % 2 ? "1.25" : "1.5")
             << rec("EUR/CHF", date.toString("yyyyMMdd"), "1.5");
        manyLines << date.toString("dd-MM-yyyy") + (day % 2 ? " - 1,2500 - EUR/USD" : " - 1,5000 - EUR/USD");
    }
    row("18000 records", many, manyLines, 18000);

    // A table made otherwise than the schema ships it is listed as before, record by record.
    const QStringList three{rec("EUR/USD", "20030316", "131.25"), rec("EUR/USD", "20030315", "1.2"),
                            rec("EUR/CHF", "20030315", "1.5")};
    const QStringList both{"15-03-2003 - 1,2000 - EUR/USD", "16-03-2003 - 131,25 - EUR/USD"};
    const QString failed = "Errore in lettura file di input  ERR=";
    const QString dropNote = "ALTER TABLE Storico_Valute DROP COLUMN Note";
    const QString noNote = failed + "3265 - Elemento non trovato in questo insieme.";
    alter(kEngines, "without Note", three, dropNote, {}, 1, noNote);
    alter({"postgres"}, "quotes as numeric", three,
          "ALTER TABLE Storico_Valute ALTER COLUMN Quotazione TYPE numeric", both, 3);
    alter({"postgres"}, "codes as char(10)", three,
          "ALTER TABLE Storico_Valute ALTER COLUMN Tipo_Valuta TYPE char(10)", both, 3);
    // SQLite keeps a text where a number belongs.
    alter({"sqlite"}, "text quote", {rec("EUR/USD", "20030315", "'abc'")}, {}, {}, 1,
          failed + "13 - Tipo non corrispondente");
}

void TestEngines::listing()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, records);
    QFETCH(QStringList, lines);
    QFETCH(int, count);
    QFETCH(QString, message);
    QFETCH(QString, alter);

    const bool withoutIndex = engine.contains("without the index");
    const QString location = make(withoutIndex ? QStringLiteral("sqlite") : engine, records);
    QVERIFY(exec(location, {alter}));
    std::optional<OtherProgram> other;
    HistoryDb db;
    if (withoutIndex) {
        QVERIFY(exec(location, {"DROP INDEX Storico_Valute_Quotazione_Illeggibile"}));
        other.emplace(location);
        QVERIFY(other->exec("BEGIN IMMEDIATE"));
        db.setBusyTimeout(3600 * 1000); // waiting for it would outlast the test's time limit
    }
    HistoryListing listing;
    QuoteTable table, previous;
    table.append({"EUR/XXX", "19990101", 9, {}, {}}); // left over from a quote update
    for (int run = 0; run < 2; ++run) {               // listing twice gives the same result
        RecordingDialogs dialogs;
        const ListingResult result = listing.run(db, location, "EUR/USD", table, dialogs);
        QVERIFY(!result.openFailed && !result.cancelled && db.isOpen());
        QCOMPARE(result.lines.toStringList(), lines);
        QCOMPARE(table.QuoteCount(), count);
        QCOMPARE(result.selectIndex, lines.size() - 1);
        QCOMPARE(result.countText(), QStringLiteral("Numero records nel Database: %1").arg(count));
        QCOMPARE(dialogs.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(dialogs.beepCount(), message.isEmpty() ? 1 : 2);
        QVERIFY(run == 0 || table == previous);
        previous = table;
    }
    if (withoutIndex) {
        QCOMPARE(sqliteRows(location, "SELECT name FROM sqlite_master WHERE type = 'index'"),
                 QStringList{"Storico_Valute_Valuta_Data"});
        QVERIFY(other->exec("INSERT INTO Storico_Valute VALUES ('EUR/USD', '20240101', 1.08, '', '')"));
        QVERIFY(other->exec("COMMIT"));
    }
}

void TestEngines::listingSeesWrites_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("own");   // run between two listings on the listing's own connection,
                                            // as the program's writers use it
    QTest::addColumn<QStringList>("other"); // then by another program: on SQLite the sqlite3 shell
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("count");
    const auto row = [](const QStringList &engines, const char *name, const QStringList &own,
                        const QStringList &other, const QStringList &lines, int count) {
        for (const QString &engine : engines)
            QTest::addRow("%s: %s", qPrintable(engine), name) << engine << own << other << lines << count;
    };
    const QString usd15 = "15-03-2003 - 1,2000 - EUR/USD", usd16 = "16-03-2003 - 1,3000 - EUR/USD";
    const QString changed = "16-03-2003 - 1,9000 - EUR/USD", added = "17-03-2003 - 1,4000 - EUR/USD";
    const QString change = "UPDATE Storico_Valute SET Quotazione = 1.9 WHERE Data_Valuta = '20030316'";
    const QString add = "INSERT INTO Storico_Valute VALUES ('EUR/USD', '20030317', 1.4, '', '')";
    const QString unreadable = "UPDATE Storico_Valute SET Quotazione = NULL WHERE Data_Valuta = '20030316'";
    row(kEngines, "nothing written", {}, {}, {usd15, usd16}, 3);
    row(kEngines, "another program changes a quote", {}, {change}, {usd15, changed}, 3);
    row(kEngines, "another program adds a record", {}, {add}, {usd15, usd16, added}, 4);
    row(kEngines, "another program deletes a record of another pair", {},
        {"DELETE FROM Storico_Valute WHERE Tipo_Valuta = 'EUR/CHF'"}, {usd15, usd16}, 2);
    row(kEngines, "another program stores an unreadable quote", {}, {unreadable}, {usd15}, 3);
    row(kEngines, "recording through the listing's connection", {}, {},
        {usd15, usd16, "17-03-2003 - 1,5000 - EUR/USD"}, 4);
    // SQLite brings a listing up to date from the records its own connection changed.
    const QStringList sqlite{"sqlite"};
    row(sqlite, "another database put in its place", {}, {}, {"01-01-2024 - 1,0800 - EUR/USD"}, 1);
    row(sqlite, "own: a quote changed", {change}, {}, {usd15, changed}, 3);
    row(sqlite, "own: records added to both pairs",
        {"INSERT INTO Storico_Valute VALUES ('EUR/USD', '20030314', 1.1, '', ''), "
         "('EUR/CHF', '20030316', 1.6, '', '')"},
        {}, {"14-03-2003 - 1,1000 - EUR/USD", usd15, usd16}, 5);
    row(sqlite, "own: a record deleted",
        {"DELETE FROM Storico_Valute WHERE Data_Valuta = '20030315' AND Tipo_Valuta = 'EUR/USD'"}, {},
        {usd16}, 2);
    row(sqlite, "own: a record added under a code with blanks",
        {"INSERT INTO Storico_Valute VALUES ('EUR/USD ', '20030315', 1.25, '', '')"}, {},
        {usd15, "15-03-2003 - 1,2500 - EUR/USD", usd16}, 4);
    row(sqlite, "own: a record added under a blank code",
        {"INSERT INTO Storico_Valute VALUES (' ', '20030317', 1.25, '', '')"}, {}, {usd15, usd16}, 3);
    row(sqlite, "own: an unreadable quote", {unreadable}, {}, {usd15}, 3);
    row(sqlite, "own: an unreadable quote in another pair", // the dollar's 16th comes after it
        {"UPDATE Storico_Valute SET Quotazione = NULL WHERE Tipo_Valuta = 'EUR/CHF'"}, {}, {usd15}, 2);
    row(sqlite, "own: records of every quote shape",
        {"INSERT INTO Storico_Valute VALUES ('EUR/USD', '20030303', 0.6, '', ''), "
         "('EUR/USD', '20030301', 2, '', ''), ('EUR/USD', '20030305', 1e300, '', ''), "
         "('EUR/USD', '20030302', 131.25, '', ''), ('EUR/USD', '20030304', 1e-5, '', ''), "
         "('EUR/USD', '20030306', 1234567890123456789, '', '')"},
        {},
        {"01-03-2003 - 2,0000 - EUR/USD", "02-03-2003 - 131,25 - EUR/USD", "03-03-2003 - 0,6000 - EUR/USD",
         "04-03-2003 - 1E-050 - EUR/USD", "05-03-2003 - 1E+300 - EUR/USD", "06-03-2003 - 1,2345 - EUR/USD",
         usd15, usd16},
        9);
    row(sqlite, "own: a change undone", {"BEGIN", add, change, "ROLLBACK"}, {}, {usd15, usd16}, 3);
    row(sqlite, "own: a record replaced through a unique index",
        {"INSERT OR REPLACE INTO Storico_Valute VALUES ('EUR/USD', '20030316', 1.9, '', '')"}, {},
        {usd15, changed}, 3);
    row(sqlite, "own and another program's", {change}, {add}, {usd15, changed, added}, 4);
}

// A second listing reads what was committed since the first, by this program or another; with
// nothing written it gives the first one's result again without reading it anew.
void TestEngines::listingSeesWrites()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, own);
    QFETCH(QStringList, other);
    const QString change = QString::fromLatin1(QTest::currentDataTag());
    const QString location =
        make(engine, {rec("EUR/USD", "20030315", "1.2"), rec("EUR/USD", "20030316", "1.3"),
                      rec("EUR/CHF", "20030315", "1.5")});
    if (change.contains("unique"))
        QVERIFY(exec(location, {"CREATE UNIQUE INDEX Giorno ON Storico_Valute (Tipo_Valuta, Data_Valuta)"}));
    HistoryDb db;
    HistoryListing listing;
    QuoteTable table;
    RecordingDialogs dialogs;
    QCOMPARE(listing.run(db, location, "EUR/USD", table, dialogs).lines.size(), 2);
    const std::optional<ChangeToken> before = db.changeToken();
    QVERIFY(before.has_value());

    for (const QString &sql : own)
        QVERIFY2(QSqlQuery(db.database()).exec(sql), qPrintable(sql));
    if (engine == QLatin1String("postgres"))
        QVERIFY(exec(location, other));
    for (const QString &sql : engine == QLatin1String("sqlite") ? other : QStringList()) {
        QProcess process; // a process of its own
        process.start(QStringLiteral(QUOTAZIONI_SQLITE3), {location, sql});
        QVERIFY2(process.waitForFinished() && process.exitCode() == 0, qPrintable(sql));
    }
    if (change.contains("recording")) {
        QVERIFY(!db.beginWrite().isError());
        RecordWriter writer(db);
        QVERIFY(writer.write({"EUR/USD", "20030317", 1.5, "", ""}));
        // A transaction of its own is open: the server cannot tell.
        QVERIFY(engine == QLatin1String("sqlite") || !db.changeToken());
        QVERIFY(db.database().commit());
    } else if (change.contains("in its place")) {
        const QString replacement = make(engine, {rec("EUR/USD", "20240101", "1.08")});
        QVERIFY(QFile::remove(location) && QFile::rename(replacement, location));
    }
    QVERIFY(!change.endsWith("nothing written") || db.changeToken() == before);

    dialogs.clear();
    const ListingResult second = listing.run(db, location, "EUR/USD", table, dialogs);
    QTEST(second.lines.toStringList(), "lines");
    QTEST(int(second.count), "count");
    QCOMPARE(table.QuoteCount(), second.count);
    QCOMPARE(dialogs.texts(),
             change.contains("unreadable")
                 ? QStringList{"Errore in lettura file di input  ERR=94 - Utilizzo non valido di Null"}
                 : QStringList());
}

// A listing read within the program's own change sees that change and leaves the change to be
// committed, even when the listing fails.
void TestEngines::listingInsideTransaction()
{
    const QString location = make(QStringLiteral("postgres"), {rec("EUR/USD", "20030315", "1.2")});
    HistoryDb db;
    QVERIFY(!db.open(location).isError());
    QVERIFY(!db.beginWrite().isError());
    RecordWriter writer(db);
    QVERIFY(writer.write({"EUR/USD", "20030316", 1.3, "", ""}));

    std::unique_ptr<ListingReader> reader = db.listingReader();
    QCOMPARE(reader->open().description, QString());
    ListingSnapshot snapshot = reader->read("EUR/USD", QuoteFormat(), nullptr);
    QCOMPARE(snapshot.lines.toStringList(),
             (QStringList{"15-03-2003 - 1,2000 - EUR/USD", "16-03-2003 - 1,3000 - EUR/USD"}));
    QCOMPARE(snapshot.count, 2);
    QVERIFY(!reader->changeToken());
    reader.reset();

    // The table gone for the listing alone: its failure is undone, the change kept.
    QSqlQuery rename(db.database());
    QVERIFY(rename.exec("SAVEPOINT rinomina") &&
            rename.exec("ALTER TABLE Storico_Valute RENAME TO Storico_Altrove"));
    reader = db.listingReader();
    QCOMPARE(reader->open().description, QString("relation \"storico_valute\" does not exist"));
    reader.reset();
    QVERIFY2(rename.exec("SELECT count(*) FROM Storico_Altrove"), qPrintable(rename.lastError().text()));
    QVERIFY(rename.exec("ROLLBACK TO SAVEPOINT rinomina"));
    QVERIFY(db.database().commit());
    QCOMPARE(records(location, true),
             (QStringList{"EUR/USD|20030315|1.2||<null>", "EUR/USD|20030316|1.3||"}));
}

void TestEngines::recording_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QList<QuoteRow>>("rows"); // recorded twice, as on two presses the same day
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QByteArray>("existingText"); // the text file before the first run
    QTest::addColumn<QByteArray>("lines");        // the lines of one run: text file, then twin
    QTest::addColumn<QByteArray>("kept");         // what the text file holds before the new lines
    const QByteArray header = "Data;Quotazione;Valuta;Note\r\n";
    const auto row = [&header](const QStringList &engines, const char *name, const QStringList &before,
                               const QList<QuoteRow> &rows, const QStringList &after, const QByteArray &lines,
                               const QByteArray &existing = QByteArray(),
                               const QByteArray &kept = QByteArray()) {
        for (const QString &engine : engines)
            QTest::addRow("%s: %s", qPrintable(engine), name)
                << engine << before << rows << after << existing << lines
                << (!kept.isNull()       ? kept
                    : existing.isEmpty() ? header
                                         : existing);
    };
    const QuoteRow usd{"EUR/USD", "20030315", 1.0734, " EUR/USD - DOLLARO USA - 1 ", ""};
    const QString usdStored = "EUR/USD|20030315|1.0734|EUR/USD - DOLLARO USA - 1|";
    const QByteArray usdLines = "15-03-2003 - 1,0734 - EUR/USD - DOLLARO USA - 1\r\n|"
                                "15/03/2003;1,0734;EUR/USD - DOLLARO USA - 1;\r\n";
    const QStringList sqlite{"sqlite"};

    row(kEngines, "new days of two pairs; text file kept, twin created", {rec("EUR/USD", "20030314", "1.05")},
        {usd, {"EUR/CHF", "20030315", 1.5, "EUR/CHF - FRANCO", ""}},
        {"EUR/CHF|20030315|1.5|EUR/CHF - FRANCO|", "EUR/USD|20030314|1.05||<null>", usdStored},
        "15-03-2003 - 1,0734 - EUR/USD - DOLLARO USA - 1\r\n15-03-2003 - 1,5000 - EUR/CHF - FRANCO\r\n|"
        "15/03/2003;1,0734;EUR/USD - DOLLARO USA - 1;\r\n15/03/2003;1,5000;EUR/CHF - FRANCO;\r\n",
        header + "vecchia riga\r\n");
    row(kEngines, "one day twice: one record, last values", {},
        {usd, {"EUR/USD", "20030315", 1.0899, "EUR/USD - D", ""}}, {"EUR/USD|20030315|1.0899|EUR/USD - D|"},
        "15-03-2003 - 1,0734 - EUR/USD - DOLLARO USA - 1\r\n15-03-2003 - 1,0899 - EUR/USD - D\r\n|"
        "15/03/2003;1,0734;EUR/USD - DOLLARO USA - 1;\r\n15/03/2003;1,0899;EUR/USD - D;\r\n");
    row(kEngines, "stored day overwritten, other pair's same day kept",
        {rec("EUR/USD", "20030315", "1.05", "vecchia"), rec("EUR/CHF", "20030315", "1.4")},
        {{"EUR/USD", "20030315", 1.0899, "nuova", " nota "}},
        {"EUR/CHF|20030315|1.4||<null>", "EUR/USD|20030315|1.0899|nuova|nota"},
        "15-03-2003 - 1,0899 - nuova\r\n|15/03/2003;1,0899;nuova;\r\n");
    row(kEngines, "first of two duplicates overwritten",
        {rec("EUR/USD", "20030315", "1.01"), rec("EUR/USD", "20030315", "1.02")},
        {{"EUR/USD", "20030315", 1.1, "d", ""}}, {"EUR/USD|20030315|1.02||<null>", "EUR/USD|20030315|1.1|d|"},
        "15-03-2003 - 1,1000 - d\r\n|15/03/2003;1,1000;d;\r\n");
    row(kEngines, "apostrophes; missing texts stored empty, found again", {},
        {{"EUR/U'S", "2003'315", 2, "L'euro", " nota "}, {"EUR/CHF", {}, 1.2, {}, {}}},
        {"EUR/CHF||1.2||", "EUR/U'S|2003'315|2|L'euro|nota"},
        "15-'3-2003 - 2,0000 - L'euro\r\n-- - 1,2000 - \r\n|15/'3/2003;2,0000;L'euro;\r\n//;1,2000;;\r\n");
    row(sqlite, "empty file of a run that ended before its header", {}, {usd}, {usdStored}, usdLines, "");
    // The new lines start lines of their own, however the file ended; a second run adds no line end.
    const auto unended = [&](const char *name, const QByteArray &existing, const QByteArray &kept) {
        row(sqlite, name, {}, {usd}, {usdStored}, usdLines, existing, kept);
    };
    unended("a line cut short", header + "15-03-2003 - 1,07", header + "15-03-2003 - 1,07\r\n");
    unended("the header without its end", "Data;Quotazione;Valuta;Note", header);
    unended("a line ended by CR alone", header + "vecchia\r", header + "vecchia\r");
    unended("a line ended by LF alone", header + "vecchia\n", header + "vecchia\n");
}

void TestEngines::recording()
{
    QFETCH(QList<QuoteRow>, rows);
    QFETCH(QByteArray, existingText);
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, kept);
    const QString location = makeForRow();
    QTemporaryDir dir;
    const QString textName = dir.filePath("Storico.TXT");
    QVERIFY(existingText.isNull() || writeFile(textName, existingText));
    QuoteTable table;
    for (const QuoteRow &row : rows)
        table.append(row);
    HistoryDb db;
    QVERIFY(!db.open(location).isError());
    RecordingDialogs dialogs;
    for (int run = 0; run < 2; ++run) {
        const RecordingResult result =
            HistoryRecording::run(ShownQuote::quote(1.07), " " + textName + " ", table, db, dialogs);
        QVERIFY(result.completed);
        QCOMPARE(result.recorded, rows.size());
        QCOMPARE(result.shown, ShownQuote::quote(rows.last().Quotazione)); // the last row's quote
    }
    QCOMPARE(dialogs.texts(), QStringList());
    const QByteArray text = lines.split('|').at(0), csv = lines.split('|').at(1);
    QCOMPARE(fileBytes(textName), kept + text + text);
    QCOMPARE(fileBytes(dir.filePath("Storico.CSV")), "Data;Quotazione;Valuta;Note\r\n" + csv + csv);
    QTEST(records(location, true), "after");
}

void TestEngines::imports_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("before");     // in the history before
    QTest::addColumn<QByteArray>("ratesFile");   // the file imported, unless null
    QTest::addColumn<QStringList>("sqliteFile"); // else the records of an SQLite file imported
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<qint64>("written");
    const auto row = [](const char *name, const QStringList &records, const QByteArray &ratesFile,
                        const QStringList &sqliteFile, QStringList after, qint64 written) {
        std::sort(after.begin(), after.end());
        for (const QString &engine : kEngines)
            QTest::addRow("%s: %s", qPrintable(engine), name)
                << engine << records << ratesFile << sqliteFile << after << written;
    };
    const QByteArray head = "Cambi\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
    const QString usd = "EUR/USD|%1|%2|EUR/USD - DOLLARO USA|%3";

    row("rates: new and stored days, a day met twice",
        {rec("EUR/USD", "20030314", "1.01"), rec("EUR/CHF", "20030315", "1.5")},
        head + "14/03/2003,1.0701,a\r\n15/03/2003,1.0734,b\r\n15/03/2003,1.0799,c\r\n", {},
        {"EUR/CHF|20030315|1.5||<null>", usd.arg("20030314", "1.0701", "a"),
         usd.arg("20030315", "1.0799", "c")},
        3);
    // 300 days, more than one statement holds: 256 and 44 days, some of them stored already.
    QByteArray many = head;
    QStringList manyAfter, manyStored;
    for (int day = 0; day < 300; ++day) {
        const QDate date = QDate(2001, 1, 1).addDays(day);
        const QString rate = "1." + QString::number(1000 + day);
        many += date.toString("dd/MM/yyyy").toLatin1() + ',' + rate.toLatin1() + ",n\r\n";
        manyAfter << usd.arg(date.toString("yyyyMMdd"), QString::number(rate.toDouble(), 'g', 15), "n");
        if (day % 7 == 0)
            manyStored << rec("EUR/USD", date.toString("yyyyMMdd"), "9");
    }
    row("rates: 300 days, every seventh stored", manyStored, many, {}, manyAfter, 300);

    // An SQLite history file, named like a rates file: the content tells what it is.
    row("history into an empty history", {}, {},
        {rec("EUR/USD", "20030315", "1.0734", "EUR/USD - DOLLARO USA - 1"),
         "'EUR/CHF','20030315',1.5,NULL,'n'", "NULL,NULL,2,'',''"},
        {"||2||", "EUR/CHF|20030315|1.5||n", "EUR/USD|20030315|1.0734|EUR/USD - DOLLARO USA - 1|"}, 3);
    row("history: same pair and day overwritten, duplicates on both sides end as one",
        {rec("EUR/USD", "20030315", "1.01", "vecchio"), rec("EUR/USD", "20030315", "1.02"),
         rec("EUR/USD", "20030316", "1.03"), rec("EUR/GBP", "20030315", "0.6")},
        {},
        {rec("EUR/USD", "20030315", "1.1", "primo"), rec("EUR/USD", "20030315", "1.2", "ultimo"),
         rec(" EUR/GBP ", "20030317", "0.7")},
        {"EUR/GBP|20030315|0.6||<null>", "EUR/GBP|20030317|0.7||", "EUR/USD|20030315|1.2|ultimo|",
         "EUR/USD|20030316|1.03||<null>"},
        2);
    row("history: an empty file", {rec("EUR/USD", "20030315", "1.01")}, {}, {},
        {"EUR/USD|20030315|1.01||<null>"}, 0);
}

void TestEngines::imports()
{
    QFETCH(QByteArray, ratesFile);
    QFETCH(QStringList, sqliteFile);
    const QString location = makeForRow();
    const QString source = m_dir.filePath(QStringLiteral("cambi%1.csv").arg(m_made));
    QVERIFY(ratesFile.isNull() ? !makeDatabase(source, sqliteFile).isEmpty() : writeFile(source, ratesFile));
    const QByteArray sourceBefore = fileBytes(source);
    HistoryDb db;
    QVERIFY(!db.open(location).isError());
    RecordingDialogs dialogs;
    const OfficialRatesImport::Result result = OfficialRatesImport::run(source, {}, db, dialogs);
    QCOMPARE(dialogs.texts(), QStringList());
    QTEST(result.recordsWritten, "written");
    QTEST(records(location, true), "after");
    QCOMPARE(fileBytes(source), sourceBefore); // the file imported is left as it was
}

void TestEngines::dailyJob_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QByteArray>("currencyList");
    QTest::addColumn<QStringList>("paths"); // served, the first one the page's address
    QTest::addColumn<QByteArrayList>("files");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QList<int>>("recorded"); // by each run
    QTest::addColumn<QStringList>("requested");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("after");
    const auto row = [](const char *name, const QStringList &before, const QByteArray &currencyList,
                        const QStringList &paths, const QByteArrayList &files, const QDate &today,
                        const QList<int> &recorded, const QStringList &requested, const QStringList &lines,
                        const QStringList &after) {
        for (const QString &engine : kEngines)
            QTest::addRow("%s: %s", qPrintable(engine), name)
                << engine << before << currencyList << paths << files << today << recorded << requested
                << lines << after;
    };
    const QString usd = "EUR/USD - DOLLARO USA - 1", gbp = "EUR/GBP - STERLINA INGLESE - 4";
    const QString quotePage = "/delay/valute/index.shtml";
    // Twice, as a scheduled run and a late start of the window the same day would do.
    row("quote page", {rec("EUR/USD", "20240104", "1.09", usd)}, kCurrencyList, {quotePage}, {kFourPairs},
        QDate(2024, 1, 5), {4, 4}, {quotePage, quotePage},
        {"04-01-2024 - 1,0900 - EUR/USD", "05-01-2024 - 1,0871 - EUR/USD"},
        {"EUR/CHF|20240105|0.9412|EUR/CHF - FRANCO SVIZZERO - 2|",
         "EUR/GBP|20240105|0.8567|EUR/GBP - STERLINA INGLESE - 4|",
         "EUR/JPY|20240105|131.25|EUR/JPY - YEN GIAPPONESE - 3|", "EUR/USD|20240104|1.09|" + usd + "|<null>",
         "EUR/USD|20240105|1.0871|" + usd + '|'});
    // The missing days taken from the 90-day history, a stored day and a day that is no date left
    // alone, nothing written by the second run.
    const auto day = [](int day, const QString &usd, const QString &gbp) {
        return ReferenceDay{QDate(2024, 2, day), {"USD=" + usd, "GBP=" + gbp}};
    };
    const QString daily = "/ref/eurofxref-daily.xml", ninety = "/ref/eurofxref-hist-90d.xml";
    row("reference rates",
        {rec("EUR/USD", "20240222", "9.99", usd), rec("EUR/USD", "2024xx01", "9.99", usd),
         rec("EUR/GBP", "20240223", "9.99", gbp)},
        "EUR/USD\r\nEUR/GBP\r\n", {daily, ninety},
        {referenceDailyFile(day(27, "1.0820", "0.8540")),
         referenceHistoryFile({day(22, "1.0824", "0.8551"), day(23, "1.08", "0.8549"),
                               day(26, "1.0852", "0.856"), day(27, "1.082", "0.854")})},
        QDate(2024, 2, 27), {6, 0}, {daily, ninety, daily},
        {"22-02-2024 - 9,9900 - EUR/USD", "23-02-2024 - 1,0800 - EUR/USD", "26-02-2024 - 1,0852 - EUR/USD",
         "27-02-2024 - 1,0820 - EUR/USD", "01-xx-2024 - 9,9900 - EUR/USD"},
        {"EUR/GBP|20240222|0.8551|" + gbp + '|', "EUR/GBP|20240223|9.99|" + gbp + "|<null>",
         "EUR/GBP|20240226|0.856|" + gbp + '|', "EUR/GBP|20240227|0.854|" + gbp + '|',
         "EUR/USD|20240222|9.99|" + usd + "|<null>", "EUR/USD|20240223|1.08|" + usd + '|',
         "EUR/USD|20240226|1.0852|" + usd + '|', "EUR/USD|20240227|1.082|" + usd + '|',
         "EUR/USD|2024xx01|9.99|" + usd + "|<null>"});
}

void TestEngines::dailyJob()
{
    QFETCH(QByteArray, currencyList);
    QFETCH(QStringList, paths);
    QFETCH(QByteArrayList, files);
    QFETCH(QList<int>, recorded);
    QFETCH(QDate, today);
    const QString location = makeForRow();
    QTemporaryDir data;
    QVERIFY(writeFile(data.filePath("zantoro.TXT"), currencyList));
    HttpServer server;
    for (qsizetype i = 0; i < paths.size(); ++i)
        server.setPage(paths[i], files[i], 200, paths[i].endsWith(".xml") ? "text/xml" : "text/html");
    RecordingDialogs dialogs;
    QuoteSession session(data.path(), dialogs);
    session.setDatabaseLocation(location);
    session.loadDefaults(server.url(paths.first()).toString());
    for (const int expected : recorded) {
        const RecordingResult result = session.runDailyJob(today);
        QVERIFY(result.completed);
        QCOMPARE(result.recorded, expected);
    }
    QCOMPARE(dialogs.texts(), QStringList());
    QTEST(server.requestedPaths(), "requested");
    QTEST(session.lines().toStringList(), "lines");
    QTEST(records(location, true), "after");
    // No database file appears in the data folder when the history is on a server.
    if (location.startsWith("postgresql:"))
        QCOMPARE(QDir(data.path()).entryList({"*.MDB", "*.mdb", "*-journal"}), QStringList());
}

void TestEngines::listingFailure_data()
{
    QTest::addColumn<QString>("location"); // what is wrong with an SQLite file, else a server's database
                                           // (%1: the server's socket folder)
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QString>("message"); // shown once per answer, at least once; %1: the file's path,
                                          // or the server's socket folder
    const QString open = "ERRORE IN APERTURA DATABASE !!!\r\r%1\r\r%2";
    const QString socket = "1004 - connection to server on socket \"%1/.s.PGSQL.%2\" failed: %3";
    const QString noTable = "Errore manca Tabella:  Storico_Quotazioni\r\n\r\nDatabase Server assente o "
                            "scollegato !\r\n\r\n";
    const QString noFileTable = noTable + "no such table: Storico_Valute";
    const auto row = [](const char *tag, const QString &location, const QList<Answer> &answers,
                        const QString &message) { QTest::newRow(tag) << location << answers << message; };
    row("sqlite: missing", "missing", {}, open.arg("53 - Impossibile trovare il file", "%1"));
    row("sqlite: random bytes", "corrupt", {}, open.arg("26 - file is not a database", "%1"));
    row("sqlite: locked by another program", "locked", {}, open.arg("5 - database is locked", "%1"));
    row("sqlite: zero-length file, cancel", "zero", {Answer::Cancel}, noFileTable);
    row("sqlite: no table, retry twice, cancel", "other", {Answer::Retry, Answer::Retry, Answer::Cancel},
        noFileTable);
    row("sqlite: no table, retry after it appears", "appears", {Answer::Retry}, noFileTable);
    // The URL is shown without its password.
    row("postgres: unknown user", "postgresql://nessuno:segreto@/valute?host=%1&port=5432", {},
        open.arg(socket.arg("%1", "5432", "FATAL:  role \"nessuno\" does not exist"),
                 "postgresql://nessuno@/valute?host=%1&port=5432"));
    row("postgres: unknown database, password as a parameter",
        "postgresql://quotazioni@/altro?password=segreto&host=%1&port=5432", {},
        open.arg(socket.arg("%1", "5432", "FATAL:  database \"altro\" does not exist"),
                 "postgresql://quotazioni@/altro?host=%1&port=5432"));
    row("postgres: no server on that socket", "postgresql://quotazioni@/valute?host=%1&port=5999", {},
        open.arg(socket.arg("%1", "5999", "No such file or directory"),
                 "postgresql://quotazioni@/valute?host=%1&port=5999"));
    row("postgres: no table, retry, cancel", "vuoto", {Answer::Retry, Answer::Cancel},
        noTable + "relation \"storico_valute\" does not exist");
}

void TestEngines::listingFailure()
{
    QFETCH(QString, location);
    QFETCH(QList<Answer>, answers);
    QFETCH(QString, message);
    const QString kind = location;
    const bool server = QByteArray(QTest::currentDataTag()).startsWith("postgres");
    QTemporaryDir dir;
    const QString path = dir.filePath("VALUTE.MDB");
    HistoryDb locker;
    if (kind == "vuoto")
        QVERIFY(m_server.createDatabase(kind));
    location = kind == "vuoto" ? m_server.url(kind) : server ? kind.arg(m_server.socketFolder()) : path;
    if (kind == "corrupt")
        QVERIFY(writeFile(path, QByteArray::fromHex("9e3779b97f4a7c15f39cc0605cedc834").repeated(512)));
    else if (kind == "zero")
        QVERIFY(writeFile(path, {}));
    else if (!server && kind != "missing") // the records, under another table's name unless locked
        QVERIFY(exec(makeDatabase(path, {rec("EUR/USD", "20030315", "1.2")}),
                     {kind == "locked" ? "" : "ALTER TABLE Storico_Valute RENAME TO Altro"}));
    if (kind == "locked") {
        QVERIFY(!locker.open(path).isError());
        for (const char *sql : {"PRAGMA locking_mode = EXCLUSIVE", "BEGIN EXCLUSIVE"})
            QVERIFY(QSqlQuery(locker.database()).exec(sql));
    }
    const QByteArray before = fileBytes(path);
    RecordingDialogs dialogs;
    for (Answer answer : answers)
        dialogs.queueAnswer(answer);
    const bool openFailed = answers.isEmpty(), appears = kind == "appears";
    if (appears)
        dialogs.setWhileOpen(
            [&](const auto &) { exec(path, {"ALTER TABLE Altro RENAME TO Storico_Valute"}); });
    HistoryDb db;
    db.setBusyTimeout(50);
    QuoteTable table;
    const ListingResult result = HistoryListing().run(db, location, "EUR/USD", table, dialogs);

    QCOMPARE(result.openFailed, openFailed);
    QCOMPARE(dialogs.texts(), QStringList(std::max(1, int(answers.size())),
                                          message.replace("%1", server ? m_server.socketFolder() : path)));
    const QList<RecordingDialogs::Entry> &shown = dialogs.entries();
    QVERIFY(openFailed ? !db.isOpen() && shown[0].kind == RecordingDialogs::Entry::Kind::Beep &&
                             shown[1].icon == UserDialogs::Icon::Critical
                       : shown[0].buttons == UserDialogs::Buttons::RetryCancel);
    QCOMPARE(result.cancelled, !openFailed && !appears);
    QCOMPARE(result.lines.toStringList(),
             appears ? QStringList{"15-03-2003 - 1,2000 - EUR/USD"} : QStringList());
    QVERIFY(appears || fileBytes(path) == before); // the listing neither creates nor writes the file
    QCOMPARE(QFile::exists(path), !server && kind != "missing");
}

void TestEngines::samePairAtOnce_data()
{
    QTest::addColumn<QString>("engine");
    for (const QString &engine : kEngines)
        QTest::newRow(qPrintable(engine)) << engine;
}

// Another program records the same pair and day while this one's change is still open: it waits for
// it, finds its record and overwrites it.
void TestEngines::samePairAtOnce()
{
    QFETCH(QString, engine);
    const QString location = make(engine);
    HistoryDb first;
    QVERIFY(!first.open(location).isError());
    QVERIFY(!first.beginWrite().isError());
    RecordWriter writer(first);
    QVERIFY(writer.write({"EUR/USD", "20030315", 1.1, "primo", ""}));

    RuntimeError secondError{-1, {}};
    QThread *second = QThread::create([&] {
        HistoryDb db;
        secondError = db.open(location);
        if (!secondError.isError())
            secondError = db.beginWrite();
        RecordWriter other(db);
        if (!secondError.isError() && !other.write({"EUR/USD", "20030315", 1.2, "secondo", ""}))
            secondError = other.lastError();
        if (!secondError.isError() && !db.database().commit())
            secondError = databaseError(db.database().lastError());
    });
    second->start();
    QTest::qWait(300); // time enough for the other program to race ahead, were it not held
    QVERIFY(first.database().commit());
    QVERIFY(second->wait(10000));
    delete second;
    QCOMPARE(secondError.description, QString());
    QCOMPARE(records(location, true), QStringList{"EUR/USD|20030315|1.2|secondo|"});
}

// The server drops the program's session while it runs: recording says so and writes nothing of the
// row, the next listing connects again and the next recording stores.
void TestEngines::connectionLost()
{
    const QString location = make(QStringLiteral("postgres"), {rec("EUR/USD", "20030314", "1.05")});
    const QString database = QUrl(location).path().mid(1);
    const QString historyFile = m_dir.filePath(QStringLiteral("persa.TXT"));
    QuoteTable table;
    HistoryDb db;
    RecordingDialogs dialogs;
    HistoryListing().run(db, location, "EUR/USD", table, dialogs);
    QVERIFY(m_server.terminateSessions(database));

    table.clear();
    table.append({"EUR/USD", "20030315", 1.0734, "EUR/USD - DOLLARO USA - 1", ""});
    RecordingResult result = HistoryRecording::run(ShownQuote::quote(1), historyFile, table, db, dialogs);
    QVERIFY(!result.completed);
    QCOMPARE(dialogs.texts().size(), 1);
    QVERIFY2(dialogs.texts().at(0).startsWith("Errore registrazione su DataBase "),
             qPrintable(dialogs.texts().at(0)));
    QVERIFY2(
        dialogs.texts().at(0).endsWith("\r\n\r\nselect * from Storico_Valute where  Tipo_Valuta = 'EUR/USD' "
                                       "and  Data_Valuta = '20030315'"),
        qPrintable(dialogs.texts().at(0)));
    QCOMPARE(fileBytes(historyFile), QByteArray("Data;Quotazione;Valuta;Note\r\n"));
    QCOMPARE(records(location, true), QStringList{"EUR/USD|20030314|1.05||<null>"});

    dialogs.clear();
    const ListingResult listing = HistoryListing().run(db, location, "EUR/USD", table, dialogs);
    QCOMPARE(listing.lines.toStringList(), QStringList{"14-03-2003 - 1,0500 - EUR/USD"});
    table.clear();
    table.append({"EUR/USD", "20030315", 1.0734, "EUR/USD - DOLLARO USA - 1", ""});
    result = HistoryRecording::run(ShownQuote::quote(1), historyFile, table, db, dialogs);
    QVERIFY(result.completed);
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(records(location, true), (QStringList{"EUR/USD|20030314|1.05||<null>",
                                                   "EUR/USD|20030315|1.0734|EUR/USD - DOLLARO USA - 1|"}));
}

// Two unattended runs against one server at the same moment, several rounds the same day: every run
// succeeds and each pair has one record for the day.
void TestEngines::twoBatchRuns()
{
    const QString location = make(QStringLiteral("postgres"));
    HttpServer page;
    page.setPage("/delay/valute/index.shtml", kFourPairs);
    QTemporaryDir data[2];
    for (const QTemporaryDir &folder : data)
        QVERIFY(writeFile(folder.filePath("zantoro.TXT"), kCurrencyList));

    for (int round = 0; round < 5; ++round) {
        QProcess runs[2];
        for (int i = 0; i < 2; ++i) {
            runs[i].setProgram(QStringLiteral(QUOTAZIONI_BINARY));
            runs[i].setArguments({"--batch", "--data-dir", data[i].path(), "--database", location,
                                  "--page-url", page.url("/delay/valute/index.shtml").toString()});
        }
        for (QProcess &run : runs)
            run.start();
        for (QProcess &run : runs) {
            // The page is served by this process's event loop.
            QTRY_VERIFY_WITH_TIMEOUT(run.state() == QProcess::NotRunning, 60000);
            QCOMPARE(run.readAllStandardError(), QByteArray());
            QCOMPARE(run.exitCode(), 0);
        }
    }
    const QStringList stored = records(location, true);
    QCOMPARE(stored.size(), 4);
    for (const char *pair : {"EUR/CHF", "EUR/GBP", "EUR/JPY", "EUR/USD"})
        QCOMPARE(stored.filter(QString(pair) + '|' + QDate::currentDate().toString("yyyyMMdd")).size(), 1);
}

QUOTAZIONI_TEST_MAIN(TestEngines)
#include "tst_engines.moc"
