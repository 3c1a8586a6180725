#include "historydb.h"
#include "officialrates.h"
#include "ratesfile.h"
#include "recordingdialogs.h"
#include "recordwriter.h"
#include "testmain.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {

const QByteArray header =
    "Storico cambi ufficiali\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
const QString usa = QStringLiteral("EUR/USD|%1|%2|EUR/USD - DOLLARO USA|%3");

void textRow(const char *name, const QString &text, const QString &expected)
{
    QTest::newRow(name) << text << expected;
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void currencyOf_data();
    void currencyOf();
    void parseDataLine_data();
    void parseDataLine();
    void importFile_data();
    void importFile();
    void failures_data();
    void failures();
    void databaseFailureKeepsEarlierLines_data();
    void databaseFailureKeepsEarlierLines();
    void longFileWithProgress();
    void linesReadLikeTextFile_data();
    void linesReadLikeTextFile();
    void storesLikeOneLineAtATime_data();
    void storesLikeOneLineAtATime();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    // Every record as "code|date|rate|description|note", in table order.
    QStringList records() { return records(*m_db); }
    static QStringList records(const HistoryDb &db);
    static void exec(const HistoryDb &db, const QString &sql);
    void exec(const QString &sql) { exec(*m_db, sql); }

    QTemporaryDir *m_dir = nullptr;
    HistoryDb *m_db = nullptr;
};

// A history database as shipped: a copy of the one the build makes from the schema.
static bool createDatabase(const QString &path)
{
    return QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE_FILE), path) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void TestImport::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    const QString path = m_dir->filePath(QStringLiteral("VALUTE.MDB"));
    QVERIFY(createDatabase(path));
    m_db = new HistoryDb;
    QVERIFY(!m_db->open(path).isError());
}

void TestImport::cleanup()
{
    delete m_db;
    m_db = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

QString TestImport::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

QStringList TestImport::records(const HistoryDb &db)
{
    QStringList result;
    QSqlQuery query(db.database());
    if (!query.exec(QStringLiteral("SELECT Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note "
                                   "FROM Storico_Valute ORDER BY rowid")))
        return {query.lastError().text()};
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < 5; ++i)
            fields << (query.value(i).isNull() ? QStringLiteral("<null>")
                       : i == 2                ? QString::number(query.value(i).toDouble(), 'g', 15)
                                               : query.value(i).toString());
        result << fields.join(QLatin1Char('|'));
    }
    return result;
}

void TestImport::exec(const HistoryDb &db, const QString &sql)
{
    QSqlQuery query(db.database());
    QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
}

void TestImport::currencyOf_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected"); // code|description
    textRow("dollar", "Valuta selezionata: Dollaro USA", "EUR/USD|EUR/USD - DOLLARO USA");
    textRow("any dollar", "VALUTA SELEZIONATA: DOLLARO CANADESE", "EUR/USD|EUR/USD - DOLLARO USA");
    textRow("trailing blank", "valuta selezionata:   franco svizzero  ", "FRANCO |FRANCO SVIZZERO");
    textRow("no blank after the colon", "VALUTA SELEZIONATA:YEN", "YEN|YEN");
    textRow("apostrophe", "Valuta selezionata: Lira d'Italia", "LIRA D'|LIRA D'ITALIA");
    textRow("other heading", "Valuta: Dollaro USA", "|");
    textRow("marker cut short", "Valuta selezionata", "|");
}

void TestImport::currencyOf()
{
    QFETCH(QString, line);
    const RatesFile::Currency currency = RatesFile::currencyOf(line);
    QTEST(currency.code + QLatin1Char('|') + currency.description, "expected");
}

void TestImport::parseDataLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected"); // date|rate|note, or what kind of line it is
    textRow("three fields", " 15/03/2003,1.0734,nota ", "20030315|1.0734|nota");
    textRow("note keeps its commas", "15/03/2003,1.07, a,b ", "20030315|1.07|a,b");
    textRow("two fields keep the rate", "15/03/2003,1.0734", "20030315|1.0734|");
    textRow("two fields, no number", "15/03/2003,n.d.", "20030315|0|n.d.");
    textRow("decimal comma", "15/03/2003,1,0734,x", "20030315|1|0734,x");
    textRow("one-digit day and month", "1/3/2003,1.07,x", "20030301|1.07|x");
    textRow("blank before the comma", "15/03/2003 ,1.07,x", "20030315|1.07|x");
    textRow("no such day", "31/02/2003,1.07,x", "|0|31/02/2003,1.07,x");
    textRow("two-digit year", "15/03/03,1.07,x", "|0|15/03/03,1.07,x");
    textRow("words before a comma", "Fonte: BCE, 2003", "|0|Fonte: BCE, 2003");
    textRow("footer without comma", "Fine dati", "|0|Fine dati");
    textRow("leading comma", ",1.07,x", "|0|,1.07,x");
    textRow("empty rate field", "15/03/2003,,x", "20030315|0|,x");
    textRow("blanks inside the rate", "15/03/2003,- 1 . 5,x", "20030315|-1.5|x");
    textRow("exponent", "15/03/2003,1.5E2,x", "20030315|150|x");
    textRow("D exponent", "15/03/2003,25d-1,x", "20030315|2.5|x");
    textRow("exponent without digits", "15/03/2003,2e,x", "20030315|2|x");
    textRow("stops at a letter", "15/03/2003,1.2.3abc,x", "20030315|1.2|x");
    textRow("underflow", "15/03/2003,1e-999,x", "20030315|0|x");
    textRow("overflow", "15/03/2003,1e999,x", "overflow");
    textRow("blank", " \t ", "blank");
}

void TestImport::parseDataLine()
{
    QFETCH(QString, line);
    using Kind = RatesFile::DataLine::Kind;
    const RatesFile::DataLine data = RatesFile::parseDataLine(line);
    QString actual = QStringList{data.date, QString::number(data.rate, 'g', 15), data.note}.join('|');
    if (data.kind != Kind::Record)
        actual = data.kind == Kind::Overflow ? QStringLiteral("overflow") : QStringLiteral("blank");
    QTEST(actual, "expected");
}

void TestImport::importFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    const QStringList two{usa.arg("20030314", "1.07", "a"), usa.arg("20030315", "1.08", "b")};
    QTest::newRow("CR LF") << header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b\r\n" << two;
    QTest::newRow("LF") << QByteArray(header).replace("\r\n", "\n") + "14/03/2003,1.07,a\n15/03/2003,1.08,b\n"
                        << two;
    QTest::newRow("CR") << QByteArray(header).replace("\r\n", "\r") + "14/03/2003,1.07,a\r15/03/2003,1.08,b"
                        << two;
    QTest::newRow("no final line end") << header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b" << two;
    QTest::newRow("empty lines skipped")
        << header + "\r\n14/03/2003,1.07,a\r\n  \r\n15/03/2003,1.08,b\r\n\r\n"
        << two;
    QTest::newRow("exactly 3 lines") << header << QStringList();
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("dollaro canadese")
        << QByteArray("x\nVALUTA SELEZIONATA: DOLLARO CANADESE\nx\n15/03/2003,1.5,\n")
        << QStringList{usa.arg("20030315", "1.5", "")};
    QTest::newRow("no currency line")
        << QByteArray("x\nCambi\nx\n15/03/2003,1.5,n\n") << QStringList{"|20030315|1.5||n"};
    QTest::newRow("apostrophe in the currency")
        << QByteArray("x\nValuta selezionata: Lira d'Italia\nx\n15/03/2003,1936.27,l'ultima\n")
        << QStringList{"LIRA D'|20030315|1936.27|LIRA D'ITALIA|l'ultima"};
    QTest::newRow("two fields, invalid date, footer")
        << header + "15/03/2003,1.0734\r\n31/02/2003,1.07,x\r\nFine\r\n"
        << QStringList{usa.arg("20030315", "1.0734", ""), usa.arg("", "0", "Fine")};
    QTest::newRow("Windows-1252 note") << header + "15/03/2003,1.07,prezzo \x80 5\r\n"
                                       << QStringList{usa.arg("20030315", "1.07", "prezzo \u20ac 5")};
    QTest::newRow("line of 100,000 characters")
        << header + "15/03/2003,1.07," + QByteArray(100000, 'x') + "\r\n16/03/2003,1.08,y"
        << QStringList{usa.arg("20030315", "1.07", QString(100000, QLatin1Char('x'))),
                       usa.arg("20030316", "1.08", "y")};
    QTest::newRow("same day twice") << header + "15/03/2003,1.07,a\r\n15/03/2003,1.09,b\r\n"
                                    << QStringList{usa.arg("20030315", "1.09", "b")};
}

void TestImport::importFile()
{
    QFETCH(QByteArray, bytes);
    const QString path = writeFile("cambiSto.csv", bytes);
    // A second import of the same file overwrites what the first stored and adds nothing.
    for (int run = 0; run < 2; ++run) {
        RecordingDialogs dialogs;
        const auto result = OfficialRatesImport::run(path, *m_db, dialogs);
        QCOMPARE(dialogs.texts(), QStringList());
        QCOMPARE(result.outcome, OfficialRatesImport::Result::Outcome::Done);
        QTEST(records(), "expected");
    }
}

void TestImport::failures_data()
{
    using Outcome = OfficialRatesImport::Result::Outcome;
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // written under the name unless null
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("message"); // %1 stands for the trimmed file path
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty box") << "   " << QByteArray() << Outcome::NoFileName
                               << "Indicare il nome del file Storico Cambi Ufficiali !!!" << QStringList();
    QTest::newRow("missing file")
        << "manca.csv" << QByteArray() << Outcome::FileNotRead
        << "Storico Cambi Ufficiali non trovato - Impossibile trovare il file\r\n\r\n%1" << QStringList();
    QTest::newRow("folder")
        << "cartella" << QByteArray() << Outcome::FileNotRead
        << "Storico Cambi Ufficiali non trovato - Errore di accesso al percorso/file\r\n\r\n%1"
        << QStringList();
    QTest::newRow("binary file")
        << "dati.bin" << header + QByteArray("15/03/2003,1.07,a\r\n\0\x01\x02", 23) << Outcome::LineNotRead
        << "Errore lettura Storico Cambi Ufficiali - Modalità del file non valida\r\n\r\n%1" << QStringList();
    QTest::newRow("overflow keeps the lines before")
        << "cambi.csv" << header + "14/03/2003,1.07,a\r\n15/03/2003,9e999,b\r\n16/03/2003,1.09,c\r\n"
        << Outcome::LineNotRead << "Errore lettura Storico Cambi Ufficiali - Overflow\r\n\r\n%1"
        << QStringList{usa.arg("20030314", "1.07", "a")};
}

void TestImport::failures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QString text = name;
    if (name == QLatin1String("cartella"))
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    if (!name.trimmed().isEmpty()) {
        text = QStringLiteral("  ") + m_dir->filePath(name) + QStringLiteral(" ");
        if (!bytes.isNull())
            QVERIFY(!writeFile(name, bytes).isEmpty());
    }
    RecordingDialogs dialogs;
    const auto result = OfficialRatesImport::run(text, *m_db, dialogs);
    if (message.contains(QLatin1String("%1")))
        message = message.arg(text.trimmed());
    QCOMPARE(dialogs.texts(), QStringList{message});
    QTEST(result.outcome, "outcome");
    QTEST(records(), "expected");
}

void TestImport::databaseFailureKeepsEarlierLines_data()
{
    QTest::addColumn<bool>("existing"); // the failing line overwrites a record instead of adding one
    QTest::newRow("insert fails") << false;
    QTest::newRow("update fails") << true;
}

void TestImport::databaseFailureKeepsEarlierLines()
{
    QFETCH(bool, existing);
    if (existing)
        exec(QStringLiteral("INSERT INTO Storico_Valute VALUES ('EUR/USD', '20030316', 1.5, 'old', 'old')"));
    const QStringList before = records();
    for (const char *event : {"INSERT", "UPDATE"})
        exec(QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE %1 ON Storico_Valute WHEN NEW.Note = 'no' "
                            "BEGIN SELECT RAISE(ABORT, 'rifiutato'); END")
                 .arg(QLatin1String(event)));
    const QString path = writeFile("c.csv", header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b\r\n"
                                                     "16/03/2003,1.09,no\r\n17/03/2003,1.10,c\r\n");
    RecordingDialogs dialogs;
    const auto result = OfficialRatesImport::run(path, *m_db, dialogs);
    QCOMPARE(result.outcome, OfficialRatesImport::Result::Outcome::DatabaseFailed);
    QCOMPARE(result.failedLine, 6);
    QCOMPARE(dialogs.texts(), QStringList{"Errore registrazione su DataBase rifiutato\r\n\r\nselect * from "
                                          "Storico_Valute where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = "
                                          "'20030316'"});
    // Committed: a new connection sees the two lines, the old record untouched, nothing after.
    QVERIFY(!m_db->open(m_dir->filePath(QStringLiteral("VALUTE.MDB"))).isError());
    QCOMPARE(records(),
             (before + QStringList{usa.arg("20030314", "1.07", "a"), usa.arg("20030315", "1.08", "b")}));
}

void TestImport::longFileWithProgress()
{
    // More lines than a 16-bit counter holds, with a database that is not open at first.
    QByteArray bytes = header;
    const QDate first(1950, 1, 1);
    const int count = 40000;
    for (int i = 0; i < count; ++i)
        bytes += first.addDays(i).toString(QStringLiteral("d/M/yyyy")).toLatin1() + ",1." +
                 QByteArray::number(i) + ",n\r\n";
    const QString path = writeFile("lungo.csv", bytes);

    HistoryDb closed;
    RecordingDialogs dialogs;
    auto result = OfficialRatesImport::run(path, closed, dialogs);
    QCOMPARE(result.outcome, OfficialRatesImport::Result::Outcome::DatabaseFailed);
    QCOMPARE(dialogs.texts().size(), 1);
    QVERIFY(dialogs.texts().constFirst().endsWith(QLatin1String("Data_Valuta = '19500101'")));

    QList<qint64> seen;
    dialogs.clear();
    result = OfficialRatesImport::run(path, *m_db, dialogs, [&](qint64 done, qint64 total) {
        QCOMPARE(total, count + 3);
        seen << done;
    });
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(result.recordsWritten, count);
    const QStringList stored = records();
    QCOMPARE(stored.size(), count);
    QCOMPARE(stored.constLast(), usa.arg(first.addDays(count - 1).toString("yyyyMMdd"), "1.39999", "n"));
    QVERIFY(seen.size() >= count / OfficialRatesImport::progressInterval);
    QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
    QCOMPARE(seen.constLast(), count + 3);
}

void TestImport::linesReadLikeTextFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one line, no end") << QByteArray("abc");
    QTest::newRow("mixed ends") << QByteArray("a\r\n\rb\nc\r\r\nd");
    QTest::newRow("only line ends") << QByteArray("\r\n\n\r");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9\r\n\xe2\x82\xac 5\n");
    QTest::newRow("Windows-1252") << QByteArray("caf\xe9\r\n\x80 5\rx");
    QTest::newRow("broken UTF-8 at a line end") << QByteArray("ok\n\xe2\x82\r\n\xc3\xa9");
}

void TestImport::linesReadLikeTextFile()
{
    QFETCH(QByteArray, bytes);
    const QStringList expected = TextFile::splitLines(TextFile::decode(bytes));
    RatesFile::Lines lines(bytes);
    QCOMPARE(lines.count(), expected.size());
    QStringList read;
    QString line;
    while (lines.next(line))
        read << line;
    QCOMPARE(read, expected);
}

void TestImport::storesLikeOneLineAtATime_data()
{
    QTest::addColumn<QStringList>("stored");   // records already there, as SQL value lists
    QTest::addColumn<QByteArray>("dataLines"); // appended to the dollar header
    QByteArray long300;
    for (int i = 0; i < 300; ++i) // crosses a batch, and comes back to days already written
        long300 += QByteArray::number(1 + i % 28) + "/0" + QByteArray::number(1 + i / 28 % 9) + "/2003,1." +
                   QByteArray::number(i) + ",n" + QByteArray::number(i) + "\n";
    QTest::newRow("inserts and updates mixed")
        << QStringList{"'EUR/USD','20030302',1,'old',''", "'EUR/CHF','20030301',2,'chf',''"}
        << QByteArray("01/03/2003,1.1,a\n02/03/2003,1.2,b\n03/03/2003,1.3,c\n");
    QTest::newRow("older duplicates: the first is overwritten")
        << QStringList{"'EUR/USD','20030301',1,'first',''", "'EUR/USD','20030301',2,'second',''"}
        << QByteArray("01/03/2003,1.5,x\n");
    QTest::newRow("a day twice in a file")
        << QStringList{"'EUR/USD','20030302',1,'old',''"}
        << QByteArray("01/03/2003,1.1,a\n02/03/2003,1.2,b\n01/03/2003,1.3,c\n02/03/2003,1.4,d\n");
    QTest::newRow("lines without a date")
        << QStringList{"'EUR/USD','',0,'old','old'"} << QByteArray("Fine\n01/03/2003,1.1,a\nAltro,x\n");
    QTest::newRow("several batches") << QStringList{"'EUR/USD','20030515',9,'old',''"} << long300;
}

void TestImport::storesLikeOneLineAtATime()
{
    QFETCH(QStringList, stored);
    QFETCH(QByteArray, dataLines);
    const QString otherPath = m_dir->filePath(QStringLiteral("ONE.MDB"));
    QVERIFY(createDatabase(otherPath));
    HistoryDb other;
    QVERIFY(!other.open(otherPath).isError());
    for (const QString &values : stored) {
        exec(QStringLiteral("INSERT INTO Storico_Valute VALUES (%1)").arg(values));
        exec(other, QStringLiteral("INSERT INTO Storico_Valute VALUES (%1)").arg(values));
    }
    // The same file written record by record into the other database is the reference.
    RecordWriter writer(other.database());
    QVERIFY(other.database().transaction());
    const QStringList lines = TextFile::splitLines(QString::fromLatin1(dataLines));
    for (const QString &text : lines) {
        const RatesFile::DataLine line = RatesFile::parseDataLine(text);
        QVERIFY(writer.write({"EUR/USD", line.date.isNull() ? "" : line.date, line.rate,
                              "EUR/USD - DOLLARO USA", line.note.isNull() ? "" : line.note}));
    }
    QVERIFY(other.database().commit());
    RecordingDialogs dialogs;
    const auto result = OfficialRatesImport::run(writeFile("c.csv", header + dataLines), *m_db, dialogs);
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(result.recordsWritten, lines.size());
    QCOMPARE(records(), records(other));
}

QUOTAZIONI_TEST_MAIN(TestImport)

#include "tst_import.moc"
