#include "common/batchrun.h"
#include "common/historytest.h"
#include "common/recordingdialogs.h"
#include "common/testmain.h"
#include "history/historyfilereader.h"
#include "history/historyrecording.h"
#include "history/sqlitestatement.h"

#include <QTemporaryDir>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>

Q_DECLARE_METATYPE(ShownQuote)

namespace {

// The steps SQLite takes through whole tables or indexes, in the statements a connection runs while
// this lives.
class FullPassSteps
{
public:
    explicit FullPassSteps(sqlite3 *db) : m_db(db)
    {
        sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, &FullPassSteps::note, this);
    }
    ~FullPassSteps() { sqlite3_trace_v2(m_db, 0, nullptr, nullptr); }
    FullPassSteps(const FullPassSteps &) = delete;
    FullPassSteps &operator=(const FullPassSteps &) = delete;
    int count() const { return m_count; }

private:
    static int note(unsigned, void *self, void *statement, void *)
    {
        static_cast<FullPassSteps *>(self)->m_count +=
            sqlite3_stmt_status(static_cast<sqlite3_stmt *>(statement), SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
        return 0;
    }

    sqlite3 *m_db;
    int m_count = 0;
};

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unreadableQuoteIndex_data();
    void unreadableQuoteIndex();
    void csvTwinName_data();
    void csvTwinName();
    void recordingFailure_data();
    void recordingFailure();
    void recordingInGroups();
    void reader();
};

void TestHistory::unreadableQuoteIndex_data()
{
    QTest::addColumn<QString>("quoteType"); // Quotazione's declared type, null as shipped
    QTest::addColumn<bool>("shipped");      // the file has the index from the start
    QTest::addColumn<QString>("other");     // what another program does with the file meanwhile
    QTest::addColumn<bool>("indexed");      // when the program opens and lists it
    QTest::addColumn<bool>("indexedLater"); // when it opens it again, the other program done
    const auto row = [](const char *name, const char *quoteType, bool shipped, const char *other,
                        bool indexed, bool indexedLater) {
        QTest::newRow(name) << QString(quoteType) << shipped << QString(other) << indexed << indexedLater;
    };
    row("as shipped", nullptr, true, "", true, true);
    row("made without it", nullptr, false, "", true, true);
    row("made without it, read only", nullptr, false, "read only", false, false);
    row("made without it, another program writing", nullptr, false, "writing", false, true);
    row("made without it, another program reading", nullptr, false, "reading", false, true);
    row("quotes declared NUMERIC(10,4)", "NUMERIC(10,4)", false, "", true, true);
    row("quotes declared BIGINT", "BIGINT", false, "", true, true);
    // Numbers stay text as written there: every record would be in the index.
    row("quotes declared VARCHAR(20)", "VARCHAR(20)", false, "", false, false);
    row("quotes declared TEXT", "TEXT", false, "", false, false);
    row("quotes without a type", "", false, "", false, false);
}

// The partial index of the records whose quote cannot be read: the listing finds them through it
// instead of a pass over the table; a file without it gets it when the program opens it, unless
// it cannot be written at that moment, and then is listed as before.
void TestHistory::unreadableQuoteIndex()
{
    QFETCH(QString, quoteType);
    QFETCH(bool, shipped);
    QFETCH(QString, other);
    QFETCH(bool, indexed);
    QFETCH(bool, indexedLater);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir.filePath("VALUTE.MDB"),
                                      {rec("EUR/USD", "20030316", "1.3"), rec("EUR/CHF", "20030315", "1.5"),
                                       rec("EUR/USD", "20030315", "1.2")});
    QStringList made;
    if (!shipped)
        made << "DROP INDEX Storico_Valute_Quotazione_Illeggibile";
    if (!quoteType.isNull())
        made << "ALTER TABLE Storico_Valute RENAME TO Vecchia"
             << "CREATE TABLE Storico_Valute (Tipo_Valuta TEXT, Data_Valuta TEXT, Quotazione " + quoteType +
                    ", Descrizione TEXT, Note TEXT)"
             << "INSERT INTO Storico_Valute SELECT * FROM Vecchia ORDER BY rowid"
             << "DROP TABLE Vecchia"
             << "CREATE INDEX Storico_Valute_Valuta_Data ON Storico_Valute (Tipo_Valuta, Data_Valuta)";
    QVERIFY(exec(path, made));
    const auto indexNames = [&] {
        return sqliteRows(path, "SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name");
    };
    const QStringList withIndex{"Storico_Valute_Quotazione_Illeggibile", "Storico_Valute_Valuta_Data"};
    const QStringList without{"Storico_Valute_Valuta_Data"};
    QCOMPARE(indexNames(), shipped ? withIndex : without);

    const QString added = "'EUR/USD','20030317',1.4,'',''";
    std::optional<OtherProgram> otherProgram;
    std::optional<FilePermissionsApply> permissions;
    if (other == "read only") {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        permissions.emplace();
    } else if (other == "writing") {
        otherProgram.emplace(path);
        QVERIFY(otherProgram->exec("BEGIN IMMEDIATE"));
        QVERIFY(otherProgram->exec("INSERT INTO Storico_Valute VALUES (" + added + ')'));
    } else if (other == "reading") {
        otherProgram.emplace(path);
        QVERIFY(otherProgram->exec("BEGIN"));
        QVERIFY(otherProgram->exec("SELECT count(*) FROM Storico_Valute"));
    }
    {
        HistoryDb db;
        // Waiting for the other program would outlast the test's time limit.
        db.setBusyTimeout(3600 * 1000);
        QVERIFY(!db.open(path).isError());
        const FullPassSteps steps(sqliteHandle(db.database()));
        const std::unique_ptr<ListingReader> reader = db.listingReader();
        QVERIFY(!reader->open().isError());
        const ListingSnapshot snapshot = reader->read("EUR/USD", QuoteFormat(), nullptr);
        QCOMPARE(snapshot.lines.toStringList(),
                 QStringList({"15-03-2003 - 1,2000 - EUR/USD", "16-03-2003 - 1,3000 - EUR/USD"}));
        QCOMPARE(snapshot.count, 3);
        QVERIFY(!snapshot.readError.isError());
        QCOMPARE(steps.count() > 0, !indexed); // only the check for unreadable quotes passes over a table
    }
    QCOMPARE(indexNames(), indexed ? withIndex : without);

    if (otherProgram)
        QVERIFY(otherProgram->exec("COMMIT"));
    HistoryDb again;
    QVERIFY(!again.open(path).isError());
    QCOMPARE(indexNames(), indexedLater ? withIndex : without);
    permissions.reset();
    QCOMPARE(records(path).size(), other == "writing" ? 4 : 3);
}

void TestHistory::csvTwinName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("twin");
    const auto row = [](const char *tag, const char *name, const char *twin) {
        QTest::newRow(tag) << QString(name) << QString(twin);
    };
    row("dotted folder, backslashes", "C:\\Dati.2003\\Storico.TXT", "C:\\Dati.2003\\Storico.CSV");
    row("dotted folder, no extension", "/tmp/a.b/Storico", "/tmp/a.b/Storico.CSV");
    row("dot first", ".storico", ".storico.CSV");
    row("two dots in the name", "Storico.2003.TXT", "Storico.2003.CSV");
    row("already .csv: never the same file", "Storico.csv", "Storico.csv.CSV");
}

void TestHistory::csvTwinName()
{
    QFETCH(QString, name);
    QTEST(HistoryRecording::csvTwinName(name), "twin");
}

void TestHistory::recordingFailure_data()
{
    QTest::addColumn<ShownQuote>("shown");
    QTest::addColumn<QString>("textName"); // in the temporary folder unless blank
    QTest::addColumn<QString>("broken");   // "text" or "csv": a link to /dev/full; "fifo": a FIFO in
                                           // place of the text file; "table": no table; "rows": the
                                           // quote table is empty
    QTest::addColumn<QString>("message");  // %1: the history file name
    const auto row = [](const char *name, const ShownQuote &shown, const char *textName, const char *broken,
                        const QString &message) {
        QTest::newRow(name) << shown << QString(textName) << QString(broken) << message;
    };
    const ShownQuote quote = ShownQuote::quote(1.2);
    const QString full = "Errore registrazione su DataBase Disco pieno\r\n\r\n";
    row("quote not available, no file name", ShownQuote::unavailable(), "", "",
        "Quotazione non disponibile su Internet !!!");
    row("no quote yet: nothing found", {}, "S.TXT", "rows",
        "Premere prima il Pulsante Aggiorna Quotazione !!!");
    row("no file name", ShownQuote::quote(1.0734), "   ", "",
        "Indicare il nome del file Storico Quotazione !!!");
    row("folder that does not exist", quote, "manca/Storico.TXT", "",
        "Errore in registrazione Storico Quotazioni - Impossibile trovare il percorso\r\n\r\n%1");
    // A folder where nobody may create files, root included.
    row("no permission to create", quote, "/sys/Storico.TXT", "",
        "Errore in registrazione Storico Quotazioni - Autorizzazione negata\r\n\r\n%1");
    // Refused at once, instead of waiting for ever for a reader or for room in the pipe.
    row("a FIFO in place of the file", quote, "Storico.TXT", "fifo",
        "Errore in registrazione Storico Quotazioni - Errore di accesso al percorso/file\r\n\r\n%1");
    row("text line fails", quote, "Storico.TXT", "text",
        full + "15-03-2003 - 1,2000 - EUR/USD - DESCRIZIONE");
    row("twin line fails after the text line", quote, "Storico.TXT", "csv",
        full + "15/03/2003;1,2000;EUR/USD - DESCRIZIONE;");
    row("database without the table", quote, "Storico.TXT", "table",
        "Errore registrazione su DataBase no such table: Storico_Valute\r\n\r\nselect * from Storico_Valute "
        "where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = '20030315'");
}

void TestHistory::recordingFailure()
{
    QFETCH(ShownQuote, shown);
    QFETCH(QString, textName);
    QFETCH(QString, broken);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir.filePath("VALUTE.MDB"), {"'EUR/USD','20030315',1,'vecchia',NULL"});
    QVERIFY(broken != "table" || exec(path, {"DROP TABLE Storico_Valute"}));
    const QString name = textName.trimmed().isEmpty() ? textName : QDir(dir.path()).filePath(textName);
    if (name.startsWith("/sys/") && QFile::exists("/sys") && QFile(name).open(QIODevice::Append))
        QSKIP("this system lets anybody create files in /sys");
    const QString csvName = HistoryRecording::csvTwinName(name), healthy = broken == "text" ? csvName : name;
    const QByteArray existing("Data;Quotazione;Valuta;Note\r\n01-01-2003 - 1,0000 - vecchia\r\n");
    const bool lineFails = broken == "text" || broken == "csv";
    QVERIFY(broken != "fifo" || ::mkfifo(QFile::encodeName(name).constData(), 0600) == 0);
    if (lineFails)
        QVERIFY(QFile::link("/dev/full", broken == "text" ? name : csvName) && writeFile(healthy, existing));
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    QuoteTable table;
    if (broken != "rows") {
        table.append(
            {"EUR/USD", "20030315", 1.2, "EUR/USD - DESCRIZIONE", {}}); // would overwrite the stored one
        table.append({"EUR/CHF", "20030315", 1.5, "EUR/CHF - DESCRIZIONE", {}});
    }
    RecordingDialogs dialogs;
    const RecordingResult result = HistoryRecording::run(shown, name, table, db, dialogs);

    QCOMPARE(dialogs.texts(), QStringList{message.replace("%1", name)});
    QVERIFY(!result.completed && result.recorded == 0);
    QCOMPARE(result.shown, shown); // no row recorded: the label keeps what it showed
    QCOMPARE(records(path),
             broken == "table" ? QStringList() : QStringList{"EUR/USD|20030315|1|vecchia|<null>"});
    if (broken.isEmpty()) // nothing created
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"VALUTE.MDB"});
    QVERIFY(!lineFails || fileBytes(healthy) == existing); // no half-recorded row in the healthy file
}

void TestHistory::recordingInGroups()
{
    // More rows than one group holds; the database refuses row 1500 (0-based), of 2004-02-09.
    QTemporaryDir dir;
    const QString path = makeDatabase(dir.filePath("VALUTE.MDB")), textName = dir.filePath("Storico.TXT");
    QVERIFY(exec(path, {"CREATE TRIGGER refuse BEFORE INSERT ON Storico_Valute WHEN NEW.Descrizione = 'no' "
                        "BEGIN SELECT RAISE(ABORT, 'rifiutato'); END"}));
    QuoteTable table;
    for (int i = 0; i < 2500; ++i)
        table.append(
            {"EUR/USD", QDate(2000, 1, 1).addDays(i).toString("yyyyMMdd"), 1, i == 1500 ? "no" : "D", {}});
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    RecordingDialogs dialogs;
    const RecordingResult result = HistoryRecording::run(ShownQuote::quote(2), textName, table, db, dialogs);

    QCOMPARE(dialogs.texts(), QStringList{"Errore registrazione su DataBase rifiutato\r\n\r\nselect * from "
                                          "Storico_Valute where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = "
                                          "'20040209'"});
    QVERIFY(!result.completed);
    QCOMPARE(result.recorded, 1500); // the rows before the refused one
    QCOMPARE(records(path).size(), 1500);
    QCOMPARE(records(path).constLast(), "EUR/USD|20040208|1|D|");
    const QList<QByteArray> text = fileBytes(textName).split('\n'),
                            csv = fileBytes(dir.filePath("Storico.CSV")).split('\n');
    QCOMPARE(text.size(), 1 + 1500 + 1); // header, rows, nothing after the last line end
    QCOMPARE(text.at(1500), "08-02-2004 - 1,0000 - D\r");
    QCOMPARE(csv.size(), 1 + 1500 + 1);
    QCOMPARE(csv.at(1500), "08/02/2004;1,0000;D;\r");
}

void TestHistory::reader()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("Storico.TXT");
    RecordingDialogs dialogs;
    QCOMPARE(HistoryFileReader::run(" " + name, "EUR/USD", dialogs), QStringList());
    QCOMPARE(dialogs.texts(),
             QStringList{"Errore lettura Storico Quotazioni - Impossibile trovare il file\r\n\r\n" + name});
    dialogs.clear(); // a quote text one character short shifts the code out of its place
    QVERIFY(writeFile(name,
                      "15-03-2003 - 1,500 - EUR/USD - X\n15-03-2003 - 1,5000 - EUR/USD - X\r\nEUR/USD\r\n"));
    QCOMPARE(HistoryFileReader::run(" " + name, "EUR/USD", dialogs),
             QStringList{"15-03-2003 - 1,5000 - EUR/USD - X"});
    QCOMPARE(dialogs.texts(), QStringList());

    // A FIFO would wait for a writer for ever.
    const QString fifo = dir.filePath("Storico.fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(HistoryFileReader::run(fifo, "EUR/USD", dialogs), QStringList());
    QCOMPARE(
        dialogs.texts(),
        QStringList{"Errore lettura Storico Quotazioni - Errore di accesso al percorso/file\r\n\r\n" + fifo});
}

QUOTAZIONI_TEST_MAIN(TestHistory)
#include "tst_history.moc"
