#include "historydb.h"
#include "historyfilereader.h"
#include "historylisting.h"
#include "historyrecording.h"
#include "historytest.h"
#include "recordingdialogs.h"
#include "recordlist.h"
#include "testmain.h"

#include <QTemporaryDir>

using Answer = UserDialogs::Answer;
using Rows = QList<QList<QuoteRow>>;

namespace {

// A record as an SQL value list, Note NULL; the quote is SQL as it stands ("1.2", "NULL", "'abc'").
QString rec(const QString &code, const QString &date, const QString &quote, const QString &description = {})
{
    return QStringLiteral("'%1','%2',%3,'%4',NULL").arg(code, date, quote, description);
}

QuoteRow quote(const QString &code, const QString &date, double value)
{
    return {code, date, value, code + QStringLiteral(" - DESCRIZIONE"), QString()};
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listing_data();
    void listing();
    void listingFailure_data();
    void listingFailure();
    void csvTwinName_data();
    void csvTwinName();
    void recording_data();
    void recording();
    void recordingFailure_data();
    void recordingFailure();
    void reader_data();
    void reader();
};

void TestHistory::listing_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("alter"); // run on the database before the listing
    const auto row = [](const char *name, const QStringList &records, const QStringList &lines, int count,
                        const QString &message = {}, const QString &alter = {}) {
        QTest::newRow(name) << records << lines << count << message << alter;
    };
    const QString usd15 = QStringLiteral("15-03-2003 - 1,2000 - EUR/USD");
    const QString usd16 = QStringLiteral("16-03-2003 - 1,3000 - EUR/USD");

    row("empty table", {}, {}, 0);
    row("four pairs: selected only, date order",
        {rec("EUR/JPY", "20030316", "127.45"), rec("EUR/USD", "20030316", "1.07"),
         rec("EUR/CHF", "20030315", "1.5"), rec("EUR/USD", "20030315", "1.0734"),
         rec("EUR/GBP", "20030317", "0.6"), rec("EUR/USD", "20030317", "2")},
        {"15-03-2003 - 1,0734 - EUR/USD", "16-03-2003 - 1,0700 - EUR/USD", "17-03-2003 - 2,0000 - EUR/USD"},
        6);
    row("no date: counted, not listed", {rec("EUR/USD", "", "1.1"), rec("EUR/USD", "20030315", "1.2")},
        {usd15}, 2);
    row("empty, blank and NULL codes after the first are skipped",
        {rec("EUR/USD", "20030315", "1.2"), rec("", "20030316", "1.3"), rec("   ", "20030317", "1.4"),
         "NULL,'20030318',1.5,'',''", rec("EUR/USD", "20030319", "1.6")},
        {usd15, "19-03-2003 - 1,6000 - EUR/USD"}, 2);
    row("blank code first in date order is loaded",
        {rec("EUR/USD", "20030316", "1.3"), rec(" ", "20030315", "1.2")}, {usd16}, 2);
    row("lower-case code not listed", {rec("eur/usd", "20030315", "1.2"), rec("EUR/USD", "20030316", "1.3")},
        {usd16}, 2);
    row("NULL texts and apostrophes",
        {"'EUR/USD','20030315',1.2,NULL,NULL", "'EUR/USD','20030316''',1.3,'L''',''"}, {usd15, usd16}, 2);
    row("NULL quote: rows so far kept, failing one counted",
        {rec("EUR/USD", "20030315", "1.2"), rec("EUR/USD", "20030316", "NULL"),
         rec("EUR/USD", "20030317", "1.4")},
        {usd15}, 2, "Errore in lettura file di input  ERR=94 - Utilizzo non valido di Null");
    row("text quote", {rec("EUR/USD", "20030315", "'abc'")}, {}, 1,
        "Errore in lettura file di input  ERR=13 - Tipo non corrispondente");
    row("table without Note", {rec("EUR/USD", "20030315", "1.2")}, {}, 1,
        "Errore in lettura file di input  ERR=3265 - Elemento non trovato in questo insieme.",
        "ALTER TABLE Storico_Valute DROP COLUMN Note");

    QStringList many, manyLines; // far beyond the old 3000-row table
    for (int day = 0; day < 1600; ++day) {
        const QString date = QDate(2000, 1, 1).addDays(day).toString(QStringLiteral("yyyyMMdd"));
        const double value = 1 + day / 10000.0;
        many << rec("EUR/USD", date, QString::number(value, 'g', 15)) << rec("EUR/CHF", date, "1.5");
        manyLines << recordListLine({"EUR/USD", date, value, {}, {}});
    }
    row("3200 records", many, manyLines, 3200);
}

void TestHistory::listing()
{
    QFETCH(QStringList, records);
    QFETCH(QStringList, lines);
    QFETCH(int, count);
    QFETCH(QString, message);
    QFETCH(QString, alter);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir.filePath("VALUTE.MDB"), records);
    if (!alter.isEmpty())
        QVERIFY(exec(path, {alter}));

    HistoryDb db;
    QuoteTable first;
    first.append(quote("EUR/XXX", "19990101", 9)); // left over from a quote update
    for (int run = 0; run < 2; ++run) {            // listing twice gives the same result
        QuoteTable table = first;
        RecordingDialogs dialogs;
        const ListingResult result =
            HistoryListing::run(db, path, QStringLiteral("  EUR/USD DOLLARO USA - 1"), table, dialogs);
        QVERIFY(!result.openFailed && !result.cancelled && db.isOpen());
        QCOMPARE(result.lines, lines);
        QCOMPARE(table.QuoteCount(), count);
        QCOMPARE(result.selectIndex, lines.size() - 1);
        QCOMPARE(result.countText(), QStringLiteral("Numero records nel Database: %1").arg(count));
        QCOMPARE(dialogs.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(dialogs.beepCount(), message.isEmpty() ? 1 : 2);
        if (run == 1)
            QCOMPARE(table, first);
        first = table;
    }
}

void TestHistory::listingFailure_data()
{
    QTest::addColumn<QString>("kind"); // what is wrong with the database file
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QString>("message"); // shown once per answer, at least once; %1: the database path
    const QString open = QStringLiteral("ERRORE IN APERTURA DATABASE !!!\r\r%1\r\r%2");
    const QString noTable = QStringLiteral("Errore manca Tabella:  Storico_Quotazioni\r\n\r\nDatabase Server "
                                           "assente o scollegato !\r\n\r\nno such table: Storico_Valute");
    const auto row = [](const char *tag, const char *kind, const QList<Answer> &answers,
                        const QString &message) {
        QTest::newRow(tag) << QString(kind) << answers << message;
    };
    row("missing", "missing", {}, open.arg("53 - Impossibile trovare il file", "%1"));
    row("random bytes", "corrupt", {}, open.arg("26 - file is not a database", "%1"));
    row("locked by another program", "locked", {}, open.arg("5 - database is locked", "%1"));
    row("zero-length file, cancel", "zero", {Answer::Cancel}, noTable);
    row("no table, retry twice, cancel", "other", {Answer::Retry, Answer::Retry, Answer::Cancel}, noTable);
    row("no table, retry after it appears", "appears", {Answer::Retry}, noTable);
}

void TestHistory::listingFailure()
{
    QFETCH(QString, kind);
    QFETCH(QList<Answer>, answers);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VALUTE.MDB"));
    HistoryDb locker;
    if (kind == QLatin1String("corrupt")) {
        QByteArray noise;
        for (int i = 0; i < 8192; ++i)
            noise += char((i * 7919 + 13) % 251);
        QVERIFY(writeFile(path, noise));
    }
    if (kind == QLatin1String("locked")) {
        QVERIFY(!locker.open(makeDatabase(path, {rec("EUR/USD", "20030315", "1.2")})).isError());
        for (const char *sql : {"PRAGMA locking_mode = EXCLUSIVE", "BEGIN EXCLUSIVE"})
            QVERIFY(QSqlQuery(locker.database()).exec(sql));
    }
    if (!answers.isEmpty())
        QVERIFY(writeFile(path, {}) && exec(path, {kind == "zero" ? "" : "CREATE TABLE Altro (x)"}));
    const QByteArray before = fileBytes(path);

    RecordingDialogs dialogs;
    for (Answer answer : answers)
        dialogs.queueAnswer(answer);
    if (kind == QLatin1String("appears")) {
        dialogs.setWhileOpen([&](const RecordingDialogs::Entry &) {
            exec(
                path,
                {"CREATE TABLE Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione REAL, Descrizione, Note)",
                 "INSERT INTO Storico_Valute VALUES (" + rec("EUR/USD", "20030315", "1.2") + ')'});
        });
    }
    HistoryDb db;
    db.setBusyTimeout(50);
    QuoteTable table;
    const ListingResult result = HistoryListing::run(db, path, QStringLiteral("EUR/USD"), table, dialogs);

    const bool openFailed = answers.isEmpty();
    QCOMPARE(result.openFailed, openFailed);
    QCOMPARE(dialogs.texts(),
             QStringList(std::max(1, int(answers.size())), QString(message).replace("%1", path)));
    if (openFailed) {
        QVERIFY(!db.isOpen());
        QCOMPARE(dialogs.entries().at(0).kind, RecordingDialogs::Entry::Kind::Beep);
        QCOMPARE(dialogs.entries().at(1).icon, UserDialogs::Icon::Critical);
    } else {
        QCOMPARE(dialogs.entries().first().buttons, UserDialogs::Buttons::RetryCancel);
    }
    QCOMPARE(result.cancelled, !openFailed && kind != QLatin1String("appears"));
    QCOMPARE(result.lines, kind == "appears" ? QStringList{"15-03-2003 - 1,2000 - EUR/USD"} : QStringList());
    if (kind != QLatin1String("appears")) // the listing neither creates nor writes the file
        QCOMPARE(fileBytes(path), before);
    QCOMPARE(QFile::exists(path), kind != QLatin1String("missing"));
}

void TestHistory::csvTwinName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("twin");
    const auto row = [](const char *tag, const QString &name, const QString &twin) {
        QTest::newRow(tag) << name << twin;
    };
    row("default", "/q/Storico_Quotazioni_Valute.TXT", "/q/Storico_Quotazioni_Valute.CSV");
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

void TestHistory::recording_data()
{
    QTest::addColumn<Rows>("runs");
    QTest::addColumn<QByteArray>("existingText"); // the text file before the first run
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("stored");
    const auto row = [](const char *name, const Rows &runs, const QByteArray &existing,
                        const QStringList &before, const QStringList &stored) {
        QTest::newRow(name) << runs << existing << before << stored;
    };

    const QuoteRow usd{"EUR/USD", "20030315", 1.0734, " EUR/USD - DOLLARO USA - 1 ", ""};
    const QuoteRow chf{"EUR/CHF", "20030315", 1.5, "EUR/CHF - FRANCO SVIZZERO - 2", ""};
    const QuoteRow usdLater{"EUR/USD", "20030315", 1.0899, "EUR/USD - DOLLARO USA - 1", ""};
    const QuoteRow apostrophe{"EUR/U'S", "2003'315", 2, "L'euro", " nota "};
    const QuoteRow noTexts{"EUR/CHF", QString(), 1.2, QString(), QString()};
    const QString usdStored = QStringLiteral("EUR/USD|20030315|1.0734|EUR/USD - DOLLARO USA - 1|");

    row("first run, two rows", {{usd, chf}}, {}, {},
        {usdStored, "EUR/CHF|20030315|1.5|" + chf.Descrizione + '|'});
    row("twice on one day: one record, second values", {{usd}, {usdLater}}, {}, {},
        {"EUR/USD|20030315|1.0899|EUR/USD - DOLLARO USA - 1|"});
    row("text file kept, twin created", {{usd}}, "Data;Quotazione;Valuta;Note\r\nvecchia riga\r\n", {},
        {usdStored});
    row("apostrophes stored", {{apostrophe}, {apostrophe}}, {}, {}, {"EUR/U'S|2003'315|2|L'euro|nota"});
    row("missing texts stored empty, found again", {{noTexts}, {noTexts}}, {}, {}, {"EUR/CHF||1.2||"});
    row("nothing to record: headers only", {{}}, {}, {}, {});
    row("older duplicates: only the first overwritten", {{usd}}, {},
        {rec("EUR/USD", "20030315", "1.0", "prima"), rec("EUR/USD", "20030315", "1.1", "seconda")},
        {usdStored, "EUR/USD|20030315|1.1|seconda|<null>"});
}

void TestHistory::recording()
{
    QFETCH(Rows, runs);
    QFETCH(QByteArray, existingText);
    QFETCH(QStringList, before);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir.filePath("VALUTE.MDB"), before);
    const QString textName = dir.filePath(QStringLiteral("Storico.TXT"));
    if (!existingText.isEmpty())
        QVERIFY(writeFile(textName, existingText));
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    RecordingDialogs dialogs;
    const QByteArray header("Data;Quotazione;Valuta;Note\r\n");
    QByteArray text = existingText.isEmpty() ? header : existingText;
    QByteArray csv = header;
    QStringList usdLines; // what the history file reader lists of them
    for (const QList<QuoteRow> &rows : runs) {
        QuoteTable table;
        for (const QuoteRow &row : rows) {
            table.append(row);
            QString date = dayMonthYear(row.Data_Valuta, QLatin1Char('-'));
            const QString q = quoteText(row.Quotazione), description = row.Descrizione.trimmed();
            text += (date + " - " + q + " - " + description + "\r\n").toUtf8();
            if (row.Tipo_Valuta == QLatin1String("EUR/USD"))
                usdLines << date + " - " + q + " - " + description;
            csv += (date.replace('-', '/') + ';' + q + ';' + description + ";\r\n").toUtf8();
        }
        const RecordingResult result =
            HistoryRecording::run("1,07", " " + textName + " ", table, db, dialogs);
        QVERIFY(result.completed);
        QCOMPARE(result.recorded, rows.size());
        QCOMPARE(result.lblQuote,
                 rows.isEmpty() ? QStringLiteral("1,07") : quoteText(rows.last().Quotazione));
    }
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(fileBytes(textName), text);
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("Storico.CSV"))), csv);
    QTEST(records(path), "stored");
    QCOMPARE(HistoryFileReader::run(textName, QStringLiteral(" EUR/USD DOLLARO USA - 1"), dialogs), usdLines);
}

void TestHistory::recordingFailure_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("textName"); // in the temporary folder unless blank
    QTest::addColumn<QString>("broken");   // "text" or "csv": a link to /dev/full; "table": no table
    QTest::addColumn<QString>("message");  // %1: the history file name
    const auto row = [](const char *name, const char *label, const char *textName, const char *broken,
                        const QString &message) {
        QTest::newRow(name) << QString(label) << QString(textName) << QString(broken) << message;
    };
    const QString full = QStringLiteral("Errore registrazione su DataBase Disco pieno\r\n\r\n");
    row("quote not available, no file name", " -1 ", "", "", "Quotazione non disponibile su Internet !!!");
    row("no quote yet", "  ", "S.TXT", "", "Premere prima il Pulsante Aggiorna Quotazione !!!");
    row("no file name", "1,0734", "   ", "", "Indicare il nome del file Storico Quotazione !!!");
    row("folder that does not exist", "1,2", "manca/Storico.TXT", "",
        "Errore in registrazione Storico Quotazioni - Impossibile trovare il percorso\r\n\r\n%1");
    row("text line fails", "1,2", "Storico.TXT", "text",
        full + "15-03-2003 - 1,2000 - EUR/USD - DESCRIZIONE");
    row("twin line fails after the text line", "1,2", "Storico.TXT", "csv",
        full + "15/03/2003;1,2000;EUR/USD - DESCRIZIONE;");
    row("database without the table", "1,2", "Storico.TXT", "table",
        "Errore registrazione su DataBase no such table: Storico_Valute\r\n\r\nselect * from Storico_Valute "
        "where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = '20030315'");
}

void TestHistory::recordingFailure()
{
    QFETCH(QString, label);
    QFETCH(QString, textName);
    QFETCH(QString, broken);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QStringList stored{"EUR/USD|20030315|1|vecchia|<null>"};
    const QString path =
        makeDatabase(dir.filePath("VALUTE.MDB"), {rec("EUR/USD", "20030315", "1.0", "vecchia")});
    if (broken == QLatin1String("table"))
        QVERIFY(exec(path, {"DROP TABLE Storico_Valute"}));
    const QString name = textName.trimmed().isEmpty() ? textName : dir.filePath(textName);
    const QString csvName = HistoryRecording::csvTwinName(name);
    const QByteArray existing("Data;Quotazione;Valuta;Note\r\n01-01-2003 - 1,0000 - vecchia\r\n");
    const bool textBroken = broken == QLatin1String("text"), csvBroken = broken == QLatin1String("csv");
    if (textBroken || csvBroken) {
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), textBroken ? name : csvName));
        QVERIFY(writeFile(textBroken ? csvName : name, existing));
    }
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    QuoteTable table;
    table.append(quote("EUR/USD", "20030315", 1.2)); // would overwrite the stored record
    table.append(quote("EUR/CHF", "20030315", 1.5));
    RecordingDialogs dialogs;
    const RecordingResult result = HistoryRecording::run(label, name, table, db, dialogs);

    QCOMPARE(dialogs.texts(), QStringList{message.replace("%1", name)});
    QVERIFY(!result.completed);
    QCOMPARE(result.recorded, 0);
    QCOMPARE(result.lblQuote, textBroken || csvBroken ? quoteText(1.2) : label);
    if (broken != QLatin1String("table"))
        QCOMPARE(records(path), stored);
    if (broken.isEmpty()) // nothing created
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"VALUTE.MDB"});
    if (textBroken || csvBroken) // no half-recorded row in the healthy file
        QCOMPARE(fileBytes(textBroken ? csvName : name), existing);
}

void TestHistory::reader_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("short quote text shifts the code")
        << QByteArray("15-03-2003 - 1,500 - EUR/USD - X\n15-03-2003 - 1,5000 - EUR/USD - X\r\nEUR/USD\r\n")
        << QStringList{"15-03-2003 - 1,5000 - EUR/USD - X"};
    QTest::newRow("empty file") << QByteArray("") << QStringList{};
    QTest::newRow("missing file") << QByteArray() << QStringList{};
}

void TestHistory::reader()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("Storico.TXT"));
    if (!content.isNull())
        QVERIFY(writeFile(name, content));
    RecordingDialogs dialogs;
    QTEST(HistoryFileReader::run(" " + name, QStringLiteral(" EUR/USD DOLLARO USA - 1"), dialogs), "lines");
    const QString message = "Errore lettura Storico Quotazioni - Impossibile trovare il file\r\n\r\n" + name;
    QCOMPARE(dialogs.texts(), content.isNull() ? QStringList{message} : QStringList{});
}

QUOTAZIONI_TEST_MAIN(TestHistory)
#include "tst_history.moc"
