#include "historydb.h"
#include "historyfilereader.h"
#include "historylisting.h"
#include "historyrecording.h"
#include "recordingdialogs.h"
#include "recordlist.h"
#include "recordlistmodel.h"
#include "recordwriter.h"
#include "testmain.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <unistd.h>

using Records =
    QList<QVariantList>; // Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note; invalid = NULL
using Answer = UserDialogs::Answer;
Q_DECLARE_METATYPE(Records)

namespace {

const QString kCrLf2 = QStringLiteral("\r\n\r\n");

// A second connection of the test's own, as another program would have.
class Side
{
public:
    explicit Side(const QString &path) : m_name(QStringLiteral("side-%1").arg(++s_count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Side()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    bool exec(const QString &sql)
    {
        QSqlQuery query(db());
        return query.exec(sql);
    }
    void insert(const Records &records)
    {
        QSqlQuery query(db());
        query.prepare(QStringLiteral("INSERT INTO Storico_Valute VALUES (?, ?, ?, ?, ?)"));
        db().transaction();
        for (const QVariantList &record : records) {
            for (int i = 0; i < 5; ++i)
                query.bindValue(i, record.value(i));
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        }
        db().commit();
    }
    Records all()
    {
        Records records;
        QSqlQuery query(db());
        query.exec(QStringLiteral("SELECT * FROM Storico_Valute ORDER BY rowid"));
        while (query.next())
            records.append({query.value(0), query.value(1), query.value(2), query.value(3), query.value(4)});
        return records;
    }

private:
    QString m_name;
    static inline int s_count = 0;
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

QVariantList rec(const QVariant &code, const QVariant &date, const QVariant &quote,
                 const QString &description = {})
{
    return {code, date, quote, description, QString()};
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
    void listingTwiceIsIdentical();
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
    void recordingFileFailure_data();
    void recordingFileFailure();
    void recordingDatabaseFailure();

    void reader_data();
    void reader();
};

void TestHistory::listing_data()
{
    QTest::addColumn<Records>("records");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("messages");

    const QString usd = QStringLiteral("EUR/USD - DOLLARO USA - 1");
    QTest::newRow("empty table") << Records{} << usd << QStringList{} << 0 << QStringList{};
    QTest::newRow("four pairs, selected only, date order")
        << Records{rec("EUR/JPY", "20030316", 127.45), rec("EUR/USD", "20030316", 1.07),
                   rec("EUR/CHF", "20030315", 1.5),    rec("EUR/USD", "20030315", 1.0734),
                   rec("EUR/GBP", "20030317", 0.6),    rec("EUR/USD", "20030317", 2)}
        << QStringLiteral("  EUR/USD DOLLARO USA - 1")
        << QStringList{"15-03-2003 - 1,0734 - EUR/USD", "16-03-2003 - 1,0700 - EUR/USD",
                       "17-03-2003 - 2,0000 - EUR/USD"}
        << 6 << QStringList{};
    QTest::newRow("selected code without date: counted, not listed")
        << Records{rec("EUR/USD", "", 1.1), rec("EUR/USD", "20030315", 1.2)} << usd
        << QStringList{"15-03-2003 - 1,2000 - EUR/USD"} << 2 << QStringList{};
    QTest::newRow("blank and NULL codes after the first are skipped")
        << Records{rec("EUR/USD", "20030315", 1.2), rec("", "20030316", 1.3), rec("   ", "20030317", 1.4),
                   rec(QVariant(), "20030318", 1.5), rec("EUR/USD", "20030319", 1.6)}
        << usd << QStringList{"15-03-2003 - 1,2000 - EUR/USD", "19-03-2003 - 1,6000 - EUR/USD"} << 2
        << QStringList{};
    QTest::newRow("blank code first in date order is loaded")
        << Records{rec("EUR/USD", "20030316", 1.3), rec(" ", "20030315", 1.2)} << usd
        << QStringList{"16-03-2003 - 1,3000 - EUR/USD"} << 2 << QStringList{};
    QTest::newRow("lower-case code is not the selected one")
        << Records{rec("eur/usd", "20030315", 1.2), rec("EUR/USD", "20030316", 1.3)} << usd
        << QStringList{"16-03-2003 - 1,3000 - EUR/USD"} << 2 << QStringList{};
    QTest::newRow("NULL quote stops reading, rows so far kept")
        << Records{rec("EUR/USD", "20030315", 1.2), rec("EUR/USD", "20030316", QVariant()),
                   rec("EUR/USD", "20030317", 1.4)}
        << usd << QStringList{"15-03-2003 - 1,2000 - EUR/USD"} << 2
        << QStringList{"Errore in lettura file di input  ERR=94 - Utilizzo non valido di Null"};
    QTest::newRow("text in the quote field is a reading failure")
        << Records{rec("EUR/USD", "20030315", QStringLiteral("abc"))} << usd << QStringList{} << 1
        << QStringList{"Errore in lettura file di input  ERR=13 - Tipo non corrispondente"};
    QTest::newRow("NULL texts read as empty, apostrophes kept")
        << Records{{"EUR/USD", "20030315", 1.2, QVariant(), QVariant()}, rec("EUR/USD", "20030316'", 1.3)}
        << usd << QStringList{"15-03-2003 - 1,2000 - EUR/USD", "16-03-2003 - 1,3000 - EUR/USD"} << 2
        << QStringList{};

    // No fixed capacity: far more records than the old 3000-row table.
    Records many;
    QStringList manyLines;
    for (int day = 0; day < 1600; ++day) {
        const QString date = QDate(2000, 1, 1).addDays(day).toString(QStringLiteral("yyyyMMdd"));
        many.append(rec("EUR/USD", date, 1 + day / 10000.0));
        many.append(rec("EUR/CHF", date, 1.5));
        manyLines.append(recordListLine({"EUR/USD", date, 1 + day / 10000.0, {}, {}}));
    }
    QTest::newRow("3200 records") << many << usd << manyLines << 3200 << QStringList{};
}

void TestHistory::listing()
{
    QFETCH(Records, records);
    QFETCH(QString, combo);
    QFETCH(QStringList, lines);
    QFETCH(int, count);
    QFETCH(QStringList, messages);

    QTemporaryDir dir;
    const QString path = makeDatabase(dir, records);
    HistoryDb db;
    QuoteTable table;
    table.append(quote("EUR/XXX", "19990101", 9)); // left over from a quote update
    RecordingDialogs dialogs;
    const ListingResult result = HistoryListing::run(db, path, combo, table, dialogs);

    QVERIFY(!result.openFailed);
    QVERIFY(!result.cancelled);
    QCOMPARE(result.lines, lines);
    QCOMPARE(result.count, count);
    QCOMPARE(table.QuoteCount(), count);
    QCOMPARE(result.selectIndex, lines.size() - 1);
    QCOMPARE(result.countText(), QStringLiteral("Numero records nel Database: %1").arg(count));
    QCOMPARE(dialogs.texts(), messages);
    QCOMPARE(dialogs.beepCount(), 1 + int(messages.size()));
    QVERIFY(db.isOpen());
}

void TestHistory::listingTwiceIsIdentical()
{
    QTemporaryDir dir;
    const QString path = makeDatabase(dir, {rec("EUR/USD", "20030316", 1.07, "EUR/USD - DOLLARO USA - 1"),
                                            rec("EUR/CHF", "20030315", 1.5, "EUR/CHF - FRANCO SVIZZERO - 2"),
                                            rec("EUR/USD", "20030315", 1.0734, "EUR/USD - DOLLARO USA - 1")});
    HistoryDb db;
    QuoteTable first, second;
    RecordingDialogs dialogs;
    const ListingResult one = HistoryListing::run(db, path, QStringLiteral("EUR/USD"), first, dialogs);
    const ListingResult two = HistoryListing::run(db, path, QStringLiteral("EUR/USD"), second, dialogs);
    QCOMPARE(two.lines, one.lines);
    QCOMPARE(two.count, one.count);
    QCOMPARE(second, first);
    QCOMPARE(first.row(0).Descrizione, QStringLiteral("EUR/CHF - FRANCO SVIZZERO - 2"));
    QVERIFY(dialogs.texts().isEmpty());
}

void TestHistory::openFailure_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("detail"); // "number - text"
    QTest::newRow("missing") << "missing"
                             << "53 - Impossibile trovare il file";
    QTest::newRow("random bytes") << "corrupt"
                                  << "26 - file is not a database";
    QTest::newRow("a folder") << "folder"
                              << "75 - Errore di accesso al percorso/file";
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
        QByteArray junk(8192, Qt::Uninitialized);
        for (qsizetype i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919 + 13) % 251);
        file.write(junk);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("VALUTE.MDB")));
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
    const ListingResult result = HistoryListing::run(db, path, QStringLiteral("EUR/USD"), table, dialogs);

    QVERIFY(result.openFailed);
    QVERIFY(!db.isOpen());
    QCOMPARE(dialogs.texts(), QStringList{"ERRORE IN APERTURA DATABASE !!!\r\r" + detail + "\r\r" + path});
    QCOMPARE(dialogs.entries().at(1).icon, UserDialogs::Icon::Critical);
    QCOMPARE(dialogs.entries().at(0).kind, RecordingDialogs::Entry::Kind::Beep);
    QCOMPARE(fileBytes(path), before); // never created nor touched
    QCOMPARE(QFile::exists(path), kind != QLatin1String("missing"));
}

void TestHistory::queryFailure_data()
{
    QTest::addColumn<bool>("zeroLength");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<bool>("tableWhileOpen"); // the table appears while the first message is open
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("zero-length file, cancel") << true << QList<Answer>{Answer::Cancel} << false << 1 << true;
    QTest::newRow("no table, retry twice then cancel")
        << false << QList<Answer>{Answer::Retry, Answer::Retry, Answer::Cancel} << false << 3 << true;
    QTest::newRow("no table, retry after it appears")
        << false << QList<Answer>{Answer::Retry} << true << 1 << false;
}

void TestHistory::queryFailure()
{
    QFETCH(bool, zeroLength);
    QFETCH(QList<Answer>, answers);
    QFETCH(bool, tableWhileOpen);
    QFETCH(int, questions);
    QFETCH(bool, cancelled);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VALUTE.MDB"));
    {
        Side side(path);
        if (!zeroLength)
            QVERIFY(side.exec(QStringLiteral("CREATE TABLE Altro (x TEXT)")));
    }
    QCOMPARE(QFileInfo(path).size() == 0, zeroLength);

    RecordingDialogs dialogs;
    for (Answer answer : answers)
        dialogs.queueAnswer(answer);
    if (tableWhileOpen) {
        dialogs.setWhileOpen([&](const RecordingDialogs::Entry &) {
            Side side(path);
            side.exec(QStringLiteral("CREATE TABLE Storico_Valute (Tipo_Valuta TEXT, Data_Valuta TEXT, "
                                     "Quotazione REAL, Descrizione TEXT, Note TEXT)"));
            side.insert({rec("EUR/USD", "20030315", 1.2)});
        });
    }
    HistoryDb db;
    QuoteTable table;
    const ListingResult result = HistoryListing::run(db, path, QStringLiteral("EUR/USD"), table, dialogs);

    const QString text = QStringLiteral("Errore manca Tabella:  Storico_Quotazioni\r\n\r\n"
                                        "Database Server assente o scollegato !\r\n\r\n"
                                        "no such table: Storico_Valute");
    QCOMPARE(dialogs.texts(), QStringList(questions, text));
    QCOMPARE(dialogs.entries().first().buttons, UserDialogs::Buttons::RetryCancel);
    QCOMPARE(result.cancelled, cancelled);
    QVERIFY(!result.openFailed);
    QCOMPARE(result.count, cancelled ? 0 : 1);
    QCOMPARE(result.lines, cancelled ? QStringList() : QStringList{"15-03-2003 - 1,2000 - EUR/USD"});
    QCOMPARE(fileBytes(path).isEmpty(), zeroLength); // never written by the listing
}

void TestHistory::recordListModel()
{
    RecordListModel model;
    model.setLines({QStringLiteral("a"), QStringLiteral("b")});
    model.appendLine(QStringLiteral("c"));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.data(model.index(2)).toString(), QStringLiteral("c"));
    QVERIFY(!model.data(model.index(3)).isValid());
    QCOMPARE(model.rowCount(model.index(0)), 0); // a list has no children
    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestHistory::csvTwinName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("twin");
    QTest::newRow("default") << "/opt/q/Storico_Quotazioni_Valute.TXT"
                             << "/opt/q/Storico_Quotazioni_Valute.CSV";
    QTest::newRow("dotted folder, backslashes") << "C:\\Dati.2003\\Storico.TXT"
                                                << "C:\\Dati.2003\\Storico.CSV";
    QTest::newRow("dotted folder, no extension") << "/tmp/a.b/Storico"
                                                 << "/tmp/a.b/Storico.CSV";
    QTest::newRow("no dot") << "Storico"
                            << "Storico.CSV";
    QTest::newRow("dot first") << ".storico"
                               << ".storico.CSV";
    QTest::newRow("two dots in the name") << "Storico.2003.TXT"
                                          << "Storico.2003.CSV";
    QTest::newRow("already .csv") << "Storico.csv"
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
    QTest::newRow("quote not available, even without a file name")
        << " -1 "
        << ""
        << "Quotazione non disponibile su Internet !!!";
    QTest::newRow("no quote yet") << "  "
                                  << "Storico.TXT"
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
    const RecordingResult result = HistoryRecording::run(label, name, table, db, dialogs);
    QCOMPARE(dialogs.texts(), QStringList{message});
    QCOMPARE(result.lblQuote, label);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"VALUTE.MDB"});
    QCOMPARE(Side(path).all().size(), 0);
}

void TestHistory::recording_data()
{
    QTest::addColumn<QList<QList<QuoteRow>>>("runs");
    QTest::addColumn<QByteArray>("existingText"); // the text file before the first run, if any
    QTest::addColumn<Records>("stored");

    const QuoteRow usd{"EUR/USD", "20030315", 1.0734, " EUR/USD - DOLLARO USA - 1 ", ""};
    const QuoteRow chf{"EUR/CHF", "20030315", 1.5, "EUR/CHF - FRANCO SVIZZERO - 2", ""};
    QuoteRow usdLater = usd;
    usdLater.Quotazione = 1.0899;
    const QuoteRow apostrophe{"EUR/U'S", "20030315", 2, "L'euro", " nota "};

    QTest::newRow("first run, two rows")
        << QList<QList<QuoteRow>>{{usd, chf}} << QByteArray()
        << Records{{"EUR/USD", "20030315", 1.0734, "EUR/USD - DOLLARO USA - 1", ""},
                   {"EUR/CHF", "20030315", 1.5, "EUR/CHF - FRANCO SVIZZERO - 2", ""}};
    QTest::newRow("twice on one day: one record, second values")
        << QList<QList<QuoteRow>>{{usd}, {usdLater}} << QByteArray()
        << Records{{"EUR/USD", "20030315", 1.0899, "EUR/USD - DOLLARO USA - 1", ""}};
    QTest::newRow("text file exists, twin missing")
        << QList<QList<QuoteRow>>{{usd}} << QByteArray("Data;Quotazione;Valuta;Note\r\nvecchia riga\r\n")
        << Records{{"EUR/USD", "20030315", 1.0734, "EUR/USD - DOLLARO USA - 1", ""}};
    QTest::newRow("apostrophes stored like any character")
        << QList<QList<QuoteRow>>{{apostrophe}, {apostrophe}} << QByteArray()
        << Records{{"EUR/U'S", "20030315", 2.0, "L'euro", "nota"}};
    QTest::newRow("nothing to record: headers only")
        << QList<QList<QuoteRow>>{{}} << QByteArray() << Records{};
}

void TestHistory::recording()
{
    QFETCH(QList<QList<QuoteRow>>, runs);
    QFETCH(QByteArray, existingText);
    QFETCH(Records, stored);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir);
    const QString textName = dir.filePath(QStringLiteral("Storico.TXT"));
    const QString csvName = dir.filePath(QStringLiteral("Storico.CSV"));
    if (!existingText.isEmpty()) {
        QFile file(textName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(existingText);
    }
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    RecordingDialogs dialogs;
    QByteArray text = existingText.isEmpty() ? QByteArray("Data;Quotazione;Valuta;Note\r\n") : existingText;
    QByteArray csv("Data;Quotazione;Valuta;Note\r\n");
    for (const QList<QuoteRow> &rows : runs) {
        QuoteTable table;
        for (const QuoteRow &row : rows) {
            table.append(row);
            QString date = dayMonthYear(row.Data_Valuta, QLatin1Char('-'));
            text += (date + " - " + quoteText(row.Quotazione) + " - " + row.Descrizione.trimmed()).toUtf8() +
                    "\r\n";
            csv += (date.replace('-', '/') + ';' + quoteText(row.Quotazione) + ';' +
                    row.Descrizione.trimmed() + ';')
                       .toUtf8() +
                   "\r\n";
        }
        const RecordingResult result =
            HistoryRecording::run(QStringLiteral("1,07"), " " + textName + " ", table, db, dialogs);
        QVERIFY(result.completed);
        QCOMPARE(result.recorded, rows.size());
        QCOMPARE(result.lblQuote,
                 rows.isEmpty() ? QStringLiteral("1,07") : quoteText(rows.last().Quotazione));
    }
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(fileBytes(textName), text);
    QCOMPARE(fileBytes(csvName), csv);
    QCOMPARE(Side(path).all(), stored);
}

void TestHistory::recordingFileFailure_data()
{
    QTest::addColumn<QString>("textName"); // relative to the temporary folder
    QTest::addColumn<QString>("fullFile"); // made a link to /dev/full: "", "text" or "csv"
    QTest::addColumn<QString>("message");  // with %1 for the failing line or file name
    QTest::newRow("folder that does not exist") << "manca/Storico.TXT"
                                                << ""
                                                << "Errore in registrazione Storico Quotazioni - "
                                                   "Impossibile trovare il percorso\r\n\r\n%1";
    QTest::newRow("text file write fails") << "Storico.TXT"
                                           << "text"
                                           << "Errore registrazione su DataBase Disco pieno\r\n\r\n%1";
    QTest::newRow("twin write fails after the text line")
        << "Storico.TXT"
        << "csv"
        << "Errore registrazione su DataBase Disco pieno\r\n\r\n%1";
}

void TestHistory::recordingFileFailure()
{
    QFETCH(QString, textName);
    QFETCH(QString, fullFile);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir, {rec("EUR/USD", "20030315", 1.0, "vecchia")});
    const QString name = dir.filePath(textName);
    const QString csvName = HistoryRecording::csvTwinName(name);
    const QByteArray existing("Data;Quotazione;Valuta;Note\r\n01-01-2003 - 1,0000 - vecchia\r\n");
    if (!fullFile.isEmpty()) {
        QFile::link(QStringLiteral("/dev/full"), fullFile == QLatin1String("text") ? name : csvName);
        QFile other(fullFile == QLatin1String("text") ? csvName : name);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write(existing);
    }
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    QuoteTable table;
    table.append(quote("EUR/USD", "20030315", 1.2)); // would overwrite the stored record
    table.append(quote("EUR/CHF", "20030315", 1.5));
    RecordingDialogs dialogs;
    const RecordingResult result = HistoryRecording::run(QStringLiteral("1,2"), name, table, db, dialogs);

    const QString failing = fullFile == QLatin1String("text")  ? HistoryRecording::textLine(table.row(0))
                            : fullFile == QLatin1String("csv") ? HistoryRecording::csvLine(table.row(0))
                                                               : name;
    QCOMPARE(dialogs.texts(), QStringList{message.arg(failing)});
    QVERIFY(!result.completed);
    QCOMPARE(result.recorded, 0);
    QCOMPARE(Side(path).all(), Records{rec("EUR/USD", "20030315", 1.0, "vecchia")});
    if (!fullFile.isEmpty()) // the healthy file keeps exactly what it had: no half-recorded row
        QCOMPARE(fileBytes(fullFile == QLatin1String("text") ? csvName : name), existing);
}

void TestHistory::recordingDatabaseFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VALUTE.MDB"));
    Side(path).exec(QStringLiteral("CREATE TABLE Altro (x TEXT)"));
    HistoryDb db;
    QVERIFY(!db.open(path).isError());
    QuoteTable table;
    table.append(quote("EUR/USD", "20030315", 1.2));
    RecordingDialogs dialogs;
    const QString name = dir.filePath(QStringLiteral("Storico.TXT"));
    HistoryRecording::run(QStringLiteral("1,2"), name, table, db, dialogs);
    QCOMPARE(
        dialogs.texts(),
        QStringList{
            "Errore registrazione su DataBase no such table: Storico_Valute\r\n\r\n"
            "select * from Storico_Valute where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = '20030315'"});
    const QByteArray header("Data;Quotazione;Valuta;Note\r\n");
    QCOMPARE(fileBytes(name), header);
    QCOMPARE(fileBytes(HistoryRecording::csvTwinName(name)), header);
}

void TestHistory::reader_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("failed");

    QuoteTable table;
    QStringList usdLines;
    QByteArray written("Data;Quotazione;Valuta;Note\r\n");
    const QStringList codes{"EUR/USD", "EUR/CHF", "EUR/JPY", "EUR/GBP"};
    for (int day = 10; day < 13; ++day) {
        for (const QString &code : codes) {
            const QuoteRow row{code, QStringLiteral("200303%1").arg(day), 1.2345 + day, code + " - VALUTA",
                               ""};
            written += HistoryRecording::textLine(row).toUtf8() + "\r\n";
            if (code == QLatin1String("EUR/USD"))
                usdLines.append(HistoryRecording::textLine(row));
        }
    }
    QTest::newRow("four currencies") << written << usdLines << false;
    QTest::newRow("short quote text shifts the code")
        << QByteArray("15-03-2003 - 1,500 - EUR/USD - DOLLARO\n15-03-2003 - 1,5000 - EUR/USD - DOLLARO")
        << QStringList{"15-03-2003 - 1,5000 - EUR/USD - DOLLARO"} << false;
    QTest::newRow("short lines") << QByteArray("EUR/USD\r\n\r\n15-03-2003 - 1,5000 - EUR/US\r\n")
                                 << QStringList{} << false;
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
    if (!content.isNull()) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    RecordingDialogs dialogs;
    QCOMPARE(HistoryFileReader::run(" " + name, QStringLiteral(" EUR/USD DOLLARO USA - 1"), dialogs), lines);
    QCOMPARE(dialogs.texts(),
             failed ? QStringList{"Errore lettura Storico Quotazioni - Impossibile trovare il file"
                                  "\r\n\r\n" +
                                  name}
                    : QStringList{});
}

QUOTAZIONI_TEST_MAIN(TestHistory)
#include "tst_history.moc"
