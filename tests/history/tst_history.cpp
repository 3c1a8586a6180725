#include "historydb.h"
#include "historyfilereader.h"
#include "historylisting.h"
#include "historyrecording.h"
#include "recordingdialogs.h"
#include "recordlist.h"
#include "recordlistmodel.h"
#include "testmain.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

// Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note; an invalid QVariant stands for NULL.
using Records = QList<QVariantList>;
using Answer = UserDialogs::Answer;
using Rows = QList<QList<QuoteRow>>;

namespace {

// A connection of the test's own, as another program would have.
struct Side
{
    explicit Side(const QString &path) : name(QStringLiteral("side-%1").arg(++count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Side() { QSqlDatabase::removeDatabase(name); }
    bool exec(const QString &sql) { return QSqlQuery(QSqlDatabase::database(name)).exec(sql); }
    void insert(const Records &records)
    {
        QSqlDatabase db = QSqlDatabase::database(name);
        QSqlQuery query(db);
        query.prepare(QStringLiteral("INSERT INTO Storico_Valute VALUES (?, ?, ?, ?, ?)"));
        db.transaction();
        for (const QVariantList &record : records) {
            for (int i = 0; i < 5; ++i)
                query.bindValue(i, record.value(i));
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        }
        db.commit();
    }
    Records all()
    {
        Records records;
        QSqlQuery query(QSqlDatabase::database(name));
        query.exec(QStringLiteral("SELECT * FROM Storico_Valute ORDER BY rowid"));
        while (query.next())
            records.append({query.value(0), query.value(1), query.value(2), query.value(3), query.value(4)});
        return records;
    }
    QString name;
    static inline int count = 0;
};

// A database made from the schema that ships with the program.
QString makeDatabase(const QTemporaryDir &dir, const Records &records = {})
{
    const QString path = dir.filePath(QStringLiteral("VALUTE.MDB"));
    QFile schema(QStringLiteral(QUOTAZIONI_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly))
        qFatal("schema file missing");
    Side side(path);
    for (const QString &statement : QString::fromUtf8(schema.readAll()).split(QLatin1Char(';'))) {
        if (!statement.trimmed().isEmpty() && !side.exec(statement))
            qFatal("schema statement failed");
    }
    side.insert(records);
    return path;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVariantList rec(const QVariant &code, const QVariant &date, const QVariant &quote, const QString &text = {})
{
    return {code, date, quote, text, QString()};
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
    void openFailure_data();
    void openFailure();
    void queryFailure_data();
    void queryFailure();
    void recordListModel();
    void csvTwinName_data();
    void csvTwinName();
    void preconditions_data();
    void preconditions();
    void recording_data();
    void recording();
    void recordingFailure_data();
    void recordingFailure();
    void reader_data();
    void reader();
};

void TestHistory::listing_data()
{
    QTest::addColumn<Records>("records");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("alter"); // run on the database before the listing

    const QString noMessage;
    QTest::newRow("empty table") << Records{} << QStringList{} << 0 << noMessage << QString();
    QTest::newRow("four pairs: selected only, date order")
        << Records{rec("EUR/JPY", "20030316", 127.45), rec("EUR/USD", "20030316", 1.07),
                   rec("EUR/CHF", "20030315", 1.5),    rec("EUR/USD", "20030315", 1.0734),
                   rec("EUR/GBP", "20030317", 0.6),    rec("EUR/USD", "20030317", 2)}
        << QStringList{"15-03-2003 - 1,0734 - EUR/USD", "16-03-2003 - 1,0700 - EUR/USD",
                       "17-03-2003 - 2,0000 - EUR/USD"}
        << 6 << noMessage << QString();
    QTest::newRow("no date: counted, not listed")
        << Records{rec("EUR/USD", "", 1.1), rec("EUR/USD", "20030315", 1.2)}
        << QStringList{"15-03-2003 - 1,2000 - EUR/USD"} << 2 << noMessage << QString();
    QTest::newRow("empty, blank and NULL codes after the first are skipped")
        << Records{rec("EUR/USD", "20030315", 1.2), rec("", "20030316", 1.3), rec("   ", "20030317", 1.4),
                   rec(QVariant(), "20030318", 1.5), rec("EUR/USD", "20030319", 1.6)}
        << QStringList{"15-03-2003 - 1,2000 - EUR/USD", "19-03-2003 - 1,6000 - EUR/USD"} << 2 << noMessage
        << QString();
    QTest::newRow("blank code first in date order is loaded")
        << Records{rec("EUR/USD", "20030316", 1.3), rec(" ", "20030315", 1.2)}
        << QStringList{"16-03-2003 - 1,3000 - EUR/USD"} << 2 << noMessage << QString();
    QTest::newRow("lower-case code not listed")
        << Records{rec("eur/usd", "20030315", 1.2), rec("EUR/USD", "20030316", 1.3)}
        << QStringList{"16-03-2003 - 1,3000 - EUR/USD"} << 2 << noMessage << QString();
    QTest::newRow("NULL texts and apostrophes")
        << Records{{"EUR/USD", "20030315", 1.2, QVariant(), QVariant()},
                   rec("EUR/USD", "20030316'", 1.3, "L'")}
        << QStringList{"15-03-2003 - 1,2000 - EUR/USD", "16-03-2003 - 1,3000 - EUR/USD"} << 2 << noMessage
        << QString();
    QTest::newRow("NULL quote: rows so far kept, failing one counted")
        << Records{rec("EUR/USD", "20030315", 1.2), rec("EUR/USD", "20030316", QVariant()),
                   rec("EUR/USD", "20030317", 1.4)}
        << QStringList{"15-03-2003 - 1,2000 - EUR/USD"} << 2
        << "Errore in lettura file di input  ERR=94 - Utilizzo non valido di Null" << QString();
    QTest::newRow("text quote") << Records{rec("EUR/USD", "20030315", "abc")} << QStringList{} << 1
                                << "Errore in lettura file di input  ERR=13 - Tipo non corrispondente"
                                << QString();
    QTest::newRow("table without Note")
        << Records{rec("EUR/USD", "20030315", 1.2)} << QStringList{} << 1
        << "Errore in lettura file di input  ERR=3265 - Elemento non trovato in questo insieme."
        << "ALTER TABLE Storico_Valute DROP COLUMN Note";

    Records many; // far beyond the old 3000-row table
    QStringList manyLines;
    for (int day = 0; day < 1600; ++day) {
        const QString date = QDate(2000, 1, 1).addDays(day).toString(QStringLiteral("yyyyMMdd"));
        many << rec("EUR/USD", date, 1 + day / 10000.0) << rec("EUR/CHF", date, 1.5);
        manyLines.append(recordListLine({"EUR/USD", date, 1 + day / 10000.0, {}, {}}));
    }
    QTest::newRow("3200 records") << many << manyLines << 3200 << noMessage << QString();
}

void TestHistory::listing()
{
    QFETCH(Records, records);
    QFETCH(QStringList, lines);
    QFETCH(int, count);
    QFETCH(QString, message);
    QFETCH(QString, alter);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir, records);
    if (!alter.isEmpty())
        QVERIFY(Side(path).exec(alter));

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
        QCOMPARE(result.count, count);
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

void TestHistory::openFailure_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("detail"); // number - text
    QTest::newRow("missing") << "missing"
                             << "53 - Impossibile trovare il file";
    QTest::newRow("random bytes") << "corrupt"
                                  << "26 - file is not a database";
    QTest::newRow("locked by another program") << "locked"
                                               << "5 - database is locked";
}

void TestHistory::openFailure()
{
    QFETCH(QString, kind);
    QFETCH(QString, detail);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("VALUTE.MDB"));
    std::unique_ptr<Side> locker;
    if (kind == QLatin1String("corrupt")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 8192; ++i)
            file.putChar(char((i * 7919 + 13) % 251));
    } else if (kind == QLatin1String("locked")) {
        path = makeDatabase(dir, {rec("EUR/USD", "20030315", 1.2)});
        locker = std::make_unique<Side>(path);
        QVERIFY(locker->exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE")));
        QVERIFY(locker->exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }
    const QByteArray before = fileBytes(path);

    HistoryDb db;
    db.setBusyTimeout(50);
    QuoteTable table;
    RecordingDialogs dialogs;
    QVERIFY(HistoryListing::run(db, path, QStringLiteral("EUR/USD"), table, dialogs).openFailed);
    QVERIFY(!db.isOpen());
    QCOMPARE(dialogs.texts(), QStringList{"ERRORE IN APERTURA DATABASE !!!\r\r" + detail + "\r\r" + path});
    QCOMPARE(dialogs.entries().at(0).kind, RecordingDialogs::Entry::Kind::Beep);
    QCOMPARE(dialogs.entries().at(1).icon, UserDialogs::Icon::Critical);
    QCOMPARE(fileBytes(path), before); // neither created nor touched
    QCOMPARE(QFile::exists(path), kind != QLatin1String("missing"));
}

void TestHistory::queryFailure_data()
{
    QTest::addColumn<bool>("zeroLength");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<bool>("tableWhileOpen"); // the table appears while the first message is open
    QTest::addColumn<int>("questions");
    QTest::newRow("zero-length file, cancel") << true << QList<Answer>{Answer::Cancel} << false << 1;
    QTest::newRow("no table, retry twice, cancel")
        << false << QList<Answer>{Answer::Retry, Answer::Retry, Answer::Cancel} << false << 3;
    QTest::newRow("no table, retry after it appears") << false << QList<Answer>{Answer::Retry} << true << 1;
}

void TestHistory::queryFailure()
{
    QFETCH(bool, zeroLength);
    QFETCH(QList<Answer>, answers);
    QFETCH(bool, tableWhileOpen);
    QFETCH(int, questions);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VALUTE.MDB"));
    QVERIFY(
        Side(path).exec(zeroLength ? QStringLiteral("SELECT 1") : QStringLiteral("CREATE TABLE Altro (x)")));
    QCOMPARE(QFileInfo(path).size() == 0, zeroLength);

    RecordingDialogs dialogs;
    for (Answer answer : answers)
        dialogs.queueAnswer(answer);
    if (tableWhileOpen) {
        dialogs.setWhileOpen([&](const RecordingDialogs::Entry &) {
            Side side(path);
            side.exec(
                QStringLiteral("CREATE TABLE Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione REAL, "
                               "Descrizione, Note)"));
            side.insert({rec("EUR/USD", "20030315", 1.2)});
        });
    }
    HistoryDb db;
    QuoteTable table;
    const ListingResult result = HistoryListing::run(db, path, QStringLiteral("EUR/USD"), table, dialogs);

    QCOMPARE(dialogs.texts(), QStringList(questions, "Errore manca Tabella:  Storico_Quotazioni\r\n\r\n"
                                                     "Database Server assente o scollegato !\r\n\r\n"
                                                     "no such table: Storico_Valute"));
    QCOMPARE(dialogs.entries().first().buttons, UserDialogs::Buttons::RetryCancel);
    QCOMPARE(result.cancelled, !tableWhileOpen);
    QCOMPARE(result.lines, tableWhileOpen ? QStringList{"15-03-2003 - 1,2000 - EUR/USD"} : QStringList());
    QCOMPARE(fileBytes(path).isEmpty(), zeroLength); // the listing writes nothing
}

void TestHistory::recordListModel()
{
    RecordListModel model;
    model.setLines({QStringLiteral("a"), QStringLiteral("b")});
    model.appendLine(QStringLiteral("c"));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.data(model.index(2)).toString(), QStringLiteral("c"));
    QVERIFY(!model.data(model.index(3)).isValid());
    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestHistory::csvTwinName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("twin");
    QTest::newRow("default") << "/q/Storico_Quotazioni_Valute.TXT"
                             << "/q/Storico_Quotazioni_Valute.CSV";
    QTest::newRow("dotted folder, backslashes") << "C:\\Dati.2003\\Storico.TXT"
                                                << "C:\\Dati.2003\\Storico.CSV";
    QTest::newRow("dotted folder, no extension") << "/tmp/a.b/Storico"
                                                 << "/tmp/a.b/Storico.CSV";
    QTest::newRow("dot first") << ".storico"
                               << ".storico.CSV";
    QTest::newRow("two dots in the name") << "Storico.2003.TXT"
                                          << "Storico.2003.CSV";
    QTest::newRow("already .csv: never the same file") << "Storico.csv"
                                                       << "Storico.csv.CSV";
}

void TestHistory::csvTwinName()
{
    QFETCH(QString, name);
    QFETCH(QString, twin);
    QCOMPARE(HistoryRecording::csvTwinName(name), twin);
}

void TestHistory::preconditions_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<QString>("message");
    QTest::newRow("quote not available, no file name") << " -1 "
                                                       << ""
                                                       << "Quotazione non disponibile su Internet !!!";
    QTest::newRow("no quote yet") << "  "
                                  << "S.TXT"
                                  << "Premere prima il Pulsante Aggiorna Quotazione !!!";
    QTest::newRow("no file name") << "1,0734"
                                  << "   "
                                  << "Indicare il nome del file Storico Quotazione !!!";
}

void TestHistory::preconditions()
{
    QFETCH(QString, label);
    QFETCH(QString, text2);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir);
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    QuoteTable table;
    table.append(quote("EUR/USD", "20030315", 1.0734));
    RecordingDialogs dialogs;
    const QString name = text2.trimmed().isEmpty() ? text2 : dir.filePath(text2);
    QCOMPARE(HistoryRecording::run(label, name, table, db, dialogs).lblQuote, label);
    QCOMPARE(dialogs.texts(), QStringList{message});
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"VALUTE.MDB"});
    QCOMPARE(Side(path).all().size(), 0);
}

void TestHistory::recording_data()
{
    QTest::addColumn<Rows>("runs");
    QTest::addColumn<QByteArray>("existingText"); // the text file before the first run
    QTest::addColumn<Records>("before");
    QTest::addColumn<Records>("stored");

    const QuoteRow usd{"EUR/USD", "20030315", 1.0734, " EUR/USD - DOLLARO USA - 1 ", ""};
    const QuoteRow chf{"EUR/CHF", "20030315", 1.5, "EUR/CHF - FRANCO SVIZZERO - 2", ""};
    const QuoteRow usdLater{"EUR/USD", "20030315", 1.0899, "EUR/USD - DOLLARO USA - 1", ""};
    const QuoteRow apostrophe{"EUR/U'S", "2003'315", 2, "L'euro", " nota "};
    const QVariantList usdStored{"EUR/USD", "20030315", 1.0734, "EUR/USD - DOLLARO USA - 1", ""};
    QTest::newRow("first run, two rows")
        << Rows{{usd, chf}} << QByteArray() << Records{}
        << Records{usdStored, rec("EUR/CHF", "20030315", 1.5, chf.Descrizione)};
    QTest::newRow("twice on one day: one record, second values")
        << Rows{{usd}, {usdLater}} << QByteArray() << Records{}
        << Records{{"EUR/USD", "20030315", 1.0899, "EUR/USD - DOLLARO USA - 1", ""}};
    QTest::newRow("text file kept, twin created")
        << Rows{{usd}} << QByteArray("Data;Quotazione;Valuta;Note\r\nvecchia riga\r\n") << Records{}
        << Records{usdStored};
    QTest::newRow("apostrophes stored") << Rows{{apostrophe}, {apostrophe}} << QByteArray() << Records{}
                                        << Records{{"EUR/U'S", "2003'315", 2.0, "L'euro", "nota"}};
    QTest::newRow("nothing to record: headers only") << Rows{{}} << QByteArray() << Records{} << Records{};
    QTest::newRow("older duplicates: only the first overwritten")
        << Rows{{usd}} << QByteArray()
        << Records{rec("EUR/USD", "20030315", 1.0, "prima"), rec("EUR/USD", "20030315", 1.1, "seconda")}
        << Records{usdStored, rec("EUR/USD", "20030315", 1.1, "seconda")};
}

void TestHistory::recording()
{
    QFETCH(Rows, runs);
    QFETCH(QByteArray, existingText);
    QFETCH(Records, before);
    QFETCH(Records, stored);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir, before);
    const QString textName = dir.filePath(QStringLiteral("Storico.TXT"));
    if (!existingText.isEmpty()) {
        QFile file(textName);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(existingText) > 0);
    }
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    RecordingDialogs dialogs;
    const QByteArray header("Data;Quotazione;Valuta;Note\r\n");
    QByteArray text = existingText.isEmpty() ? header : existingText;
    QByteArray csv = header;
    for (const QList<QuoteRow> &rows : runs) {
        QuoteTable table;
        for (const QuoteRow &row : rows) {
            table.append(row);
            QString date = dayMonthYear(row.Data_Valuta, QLatin1Char('-'));
            const QString q = quoteText(row.Quotazione), description = row.Descrizione.trimmed();
            text += (date + " - " + q + " - " + description + "\r\n").toUtf8();
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
    QCOMPARE(Side(path).all(), stored);
}

void TestHistory::recordingFailure_data()
{
    QTest::addColumn<QString>("textName"); // in the temporary folder
    QTest::addColumn<QString>("broken");   // "text" or "csv": a link to /dev/full; "table": no table
    QTest::addColumn<QString>("message");  // %1: the failing line, file name or query
    const QString full = QStringLiteral("Errore registrazione su DataBase Disco pieno\r\n\r\n%1");
    QTest::newRow("folder that does not exist")
        << "manca/Storico.TXT"
        << ""
        << "Errore in registrazione Storico Quotazioni - Impossibile trovare il percorso\r\n\r\n%1";
    QTest::newRow("text line fails") << "Storico.TXT"
                                     << "text" << full;
    QTest::newRow("twin line fails after the text line") << "Storico.TXT"
                                                         << "csv" << full;
    QTest::newRow("database without the table")
        << "Storico.TXT"
        << "table"
        << "Errore registrazione su DataBase no such table: Storico_Valute\r\n\r\n%1";
}

void TestHistory::recordingFailure()
{
    QFETCH(QString, textName);
    QFETCH(QString, broken);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const Records stored{rec("EUR/USD", "20030315", 1.0, "vecchia")};
    const QString path = makeDatabase(dir, stored);
    if (broken == QLatin1String("table"))
        QVERIFY(Side(path).exec(QStringLiteral("DROP TABLE Storico_Valute")));
    const QString name = dir.filePath(textName), csvName = HistoryRecording::csvTwinName(name);
    const QByteArray existing("Data;Quotazione;Valuta;Note\r\n01-01-2003 - 1,0000 - vecchia\r\n");
    const bool textBroken = broken == QLatin1String("text");
    if (textBroken || broken == QLatin1String("csv")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), textBroken ? name : csvName));
        QFile healthy(textBroken ? csvName : name);
        QVERIFY(healthy.open(QIODevice::WriteOnly) && healthy.write(existing) > 0);
    }
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    QuoteTable table;
    table.append(quote("EUR/USD", "20030315", 1.2)); // would overwrite the stored record
    table.append(quote("EUR/CHF", "20030315", 1.5));
    RecordingDialogs dialogs;
    const RecordingResult result = HistoryRecording::run(QStringLiteral("1,2"), name, table, db, dialogs);

    const QString failing = textBroken                       ? HistoryRecording::textLine(table.row(0))
                            : broken == QLatin1String("csv") ? HistoryRecording::csvLine(table.row(0))
                            : broken.isEmpty()
                                ? name
                                : "select * from Storico_Valute where  Tipo_Valuta = 'EUR/USD' and  "
                                  "Data_Valuta = '20030315'";
    QCOMPARE(dialogs.texts(), QStringList{message.arg(failing)});
    QVERIFY(!result.completed);
    QCOMPARE(result.recorded, 0);
    if (broken != QLatin1String("table"))
        QCOMPARE(Side(path).all(), stored);
    if (textBroken || broken == QLatin1String("csv")) // no half-recorded row in the healthy file
        QCOMPARE(fileBytes(textBroken ? csvName : name), existing);
}

void TestHistory::reader_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("failed");

    QByteArray written("Data;Quotazione;Valuta;Note\r\n");
    QStringList usdLines;
    for (int day = 10; day < 13; ++day) {
        for (const QString code : {"EUR/USD", "EUR/CHF", "EUR/JPY", "EUR/GBP"}) {
            const QString line = HistoryRecording::textLine(
                {code, QStringLiteral("200303%1").arg(day), 1.2345 + day, code + " - VALUTA", ""});
            written += line.toUtf8() + "\r\n";
            if (code == QLatin1String("EUR/USD"))
                usdLines.append(line);
        }
    }
    QTest::newRow("four currencies") << written << usdLines << false;
    QTest::newRow("short quote text shifts the code")
        << QByteArray("15-03-2003 - 1,500 - EUR/USD - X\n15-03-2003 - 1,5000 - EUR/USD - X\r\nEUR/USD\r\n")
        << QStringList{"15-03-2003 - 1,5000 - EUR/USD - X"} << false;
    QTest::newRow("empty file") << QByteArray("") << QStringList{} << false;
    QTest::newRow("missing file") << QByteArray() << QStringList{} << true;
}

void TestHistory::reader()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, lines);
    QFETCH(bool, failed);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("Storico.TXT"));
    QFile file(name);
    if (!content.isNull())
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush());
    RecordingDialogs dialogs;
    QCOMPARE(HistoryFileReader::run(" " + name, QStringLiteral(" EUR/USD DOLLARO USA - 1"), dialogs), lines);
    const QString message = "Errore lettura Storico Quotazioni - Impossibile trovare il file\r\n\r\n" + name;
    QCOMPARE(dialogs.texts(), failed ? QStringList{message} : QStringList{});
}

QUOTAZIONI_TEST_MAIN(TestHistory)
#include "tst_history.moc"
