#include "historydb.h"
#include "historytest.h"
#include "officialrates.h"
#include "ratesfile.h"
#include "recordingdialogs.h"
#include "recordwriter.h"
#include "testmain.h"
#include "textfile.h"

#include <QDir>
#include <QTemporaryDir>

using Outcome = OfficialRatesImport::Result::Outcome;

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
    void longFileWithProgress();
    void linesReadLikeTextFile_data();
    void linesReadLikeTextFile();
    void storesLikeOneLineAtATime_data();
    void storesLikeOneLineAtATime();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString file(const QString &name, const QByteArray &bytes) const
    {
        return writeFile(path(name), bytes) ? path(name) : QString();
    }
    // What another connection reads: only what the import committed.
    QStringList records() const { return ::records(path("VALUTE.MDB")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<HistoryDb> m_db;
};

void TestImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_db = std::make_unique<HistoryDb>();
    QVERIFY(!m_db->open(makeDatabase(path("VALUTE.MDB"))).isError());
}

void TestImport::cleanup()
{
    m_db.reset();
    m_dir.reset();
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
    QTest::addColumn<QByteArray>("bytes"); // written under the name unless null
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("failedLine");
    QTest::addColumn<QString>("message"); // %1 stands for the trimmed file path
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("setUp"); // statements run on the database first
    const auto row = [](const char *tag, const QByteArray &bytes, const QStringList &expected,
                        Outcome outcome = Outcome::Done, int line = 0, const QString &message = {},
                        const QString &name = "cambi.csv", const QStringList &setUp = {}) {
        QTest::newRow(tag) << bytes << expected << outcome << line << message << name << setUp;
    };
    const QStringList two{usa.arg("20030314", "1.07", "a"), usa.arg("20030315", "1.08", "b")};
    const QByteArray lf = QByteArray(header).replace("\r\n", "\n"),
                     cr = QByteArray(header).replace("\r\n", "\r");
    row("CR LF", header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b\r\n", two);
    row("LF", lf + "14/03/2003,1.07,a\n15/03/2003,1.08,b\n", two);
    row("CR", cr + "14/03/2003,1.07,a\r15/03/2003,1.08,b", two);
    row("no final line end", header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b", two);
    row("empty lines skipped", header + "\r\n14/03/2003,1.07,a\r\n  \r\n15/03/2003,1.08,b\r\n\r\n", two);
    row("exactly 3 lines", header, {});
    row("empty file", "", {});
    row("dollaro canadese", "x\nVALUTA SELEZIONATA: DOLLARO CANADESE\nx\n15/03/2003,1.5,\n",
        {usa.arg("20030315", "1.5", "")});
    row("no currency line", "x\nCambi\nx\n15/03/2003,1.5,n\n", {"|20030315|1.5||n"});
    row("apostrophe in the currency",
        "x\nValuta selezionata: Lira d'Italia\nx\n15/03/2003,1936.27,l'ultima\n",
        {"LIRA D'|20030315|1936.27|LIRA D'ITALIA|l'ultima"});
    row("two fields, decimal comma, invalid date, footer",
        header + "15/03/2003,1.0734\r\n16/03/2003,1,0734,x\r\n31/02/2003,1.07,x\r\nFine\r\n",
        {usa.arg("20030315", "1.0734", ""), usa.arg("20030316", "1", "0734,x"), usa.arg("", "0", "Fine")});
    row("Windows-1252 note", header + "15/03/2003,1.07,prezzo \x80 5\r\n",
        {usa.arg("20030315", "1.07", "prezzo \u20ac 5")});
    row("line of 100,000 characters",
        header + "15/03/2003,1.07," + QByteArray(100000, 'x') + "\r\n16/03/2003,1.08,y",
        {usa.arg("20030315", "1.07", QString(100000, QLatin1Char('x'))), usa.arg("20030316", "1.08", "y")});
    row("same day twice", header + "15/03/2003,1.07,a\r\n15/03/2003,1.09,b\r\n",
        {usa.arg("20030315", "1.09", "b")});

    row("empty box", {}, {}, Outcome::NoFileName, 0, "Indicare il nome del file Storico Cambi Ufficiali !!!",
        "   ");
    row("missing file", {}, {}, Outcome::FileNotRead, 0,
        "Storico Cambi Ufficiali non trovato - Impossibile trovare il file\r\n\r\n%1", "manca.csv");
    row("folder", {}, {}, Outcome::FileNotRead, 0,
        "Storico Cambi Ufficiali non trovato - Errore di accesso al percorso/file\r\n\r\n%1", "cartella");
    row("binary file", header + QByteArray("15/03/2003,1.07,a\r\n\0\x01\x02", 23), {}, Outcome::LineNotRead,
        1, "Errore lettura Storico Cambi Ufficiali - Modalità del file non valida\r\n\r\n%1");
    row("overflow keeps the lines before",
        header + "14/03/2003,1.07,a\r\n15/03/2003,9e999,b\r\n16/03/2003,1.09,c\r\n",
        {usa.arg("20030314", "1.07", "a")}, Outcome::LineNotRead, 5,
        "Errore lettura Storico Cambi Ufficiali - Overflow\r\n\r\n%1");

    // A line the database refuses: the lines before it stay committed, nothing after it is stored.
    QStringList refuse;
    for (const char *event : {"INSERT", "UPDATE"})
        refuse << QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE %1 ON Storico_Valute WHEN NEW.Note = 'no' "
                                 "BEGIN SELECT RAISE(ABORT, 'rifiutato'); END")
                      .arg(QLatin1String(event));
    const QByteArray lines = header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b\r\n16/03/2003,1.09,no\r\n"
                                      "17/03/2003,1.10,c\r\n";
    const QString refused = "Errore registrazione su DataBase rifiutato\r\n\r\nselect * from Storico_Valute "
                            "where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = '20030316'";
    row("insert fails", lines, two, Outcome::DatabaseFailed, 6, refused, "c.csv", refuse);
    row("update fails", lines, QStringList{"EUR/USD|20030316|1.5|old|old"} + two, Outcome::DatabaseFailed, 6,
        refused, "c.csv",
        QStringList{"INSERT INTO Storico_Valute VALUES ('EUR/USD', '20030316', 1.5, 'old', 'old')"} + refuse);
}

void TestImport::importFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QFETCH(QString, name);
    QFETCH(QStringList, setUp);
    QString text = name;
    if (!name.trimmed().isEmpty()) {
        text = QStringLiteral("  ") + path(name) + QStringLiteral(" ");
        QVERIFY(name != QLatin1String("cartella") || QDir(m_dir->path()).mkdir(name));
        QVERIFY(bytes.isNull() || !file(name, bytes).isEmpty());
    }
    QVERIFY(exec(path("VALUTE.MDB"), setUp));
    // A second import of the same file overwrites what the first stored and adds nothing, even after
    // a failure.
    for (int run = 0; run < 2; ++run) {
        RecordingDialogs dialogs;
        const auto result = OfficialRatesImport::run(text, *m_db, dialogs);
        QCOMPARE(dialogs.texts(), message.isEmpty()
                                      ? QStringList()
                                      : QStringList{QString(message).replace("%1", text.trimmed())});
        QTEST(result.outcome, "outcome");
        QTEST(int(result.failedLine), "failedLine");
        QTEST(records(), "expected");
    }
}

void TestImport::longFileWithProgress()
{
    // More lines than a 16-bit counter holds, with a database that is not open at first.
    QByteArray bytes = header;
    const QDate first(1950, 1, 1);
    const int count = 40000;
    for (int i = 0; i < count; ++i)
        bytes += first.addDays(i).toString("d/M/yyyy").toLatin1() + ",1." + QByteArray::number(i) + ",n\r\n";
    const QString name = file("lungo.csv", bytes);

    HistoryDb closed;
    RecordingDialogs dialogs;
    auto result = OfficialRatesImport::run(name, closed, dialogs);
    QCOMPARE(result.outcome, Outcome::DatabaseFailed);
    QCOMPARE(dialogs.texts().size(), 1);
    QVERIFY(dialogs.texts().constFirst().endsWith(QLatin1String("Data_Valuta = '19500101'")));

    QList<qint64> seen;
    dialogs.clear();
    result = OfficialRatesImport::run(name, *m_db, dialogs, [&](qint64 done, qint64 total) {
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
    for (QString line; lines.next(line);)
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
    QStringList inserts;
    for (const QString &values : stored)
        inserts << "INSERT INTO Storico_Valute VALUES (" + values + ')';
    QVERIFY(exec(path("VALUTE.MDB"), inserts));
    // The same file written record by record into another database is the reference.
    HistoryDb other;
    QVERIFY(!other.open(makeDatabase(path("ONE.MDB"), stored)).isError());
    RecordWriter writer(other.database());
    QVERIFY(other.database().transaction());
    const QStringList lines = TextFile::splitLines(QString::fromLatin1(dataLines));
    for (const QString &text : lines) {
        const RatesFile::DataLine line = RatesFile::parseDataLine(text);
        QVERIFY(writer.write({"EUR/USD", line.date, line.rate, "EUR/USD - DOLLARO USA", line.note}));
    }
    QVERIFY(other.database().commit());
    RecordingDialogs dialogs;
    const auto result = OfficialRatesImport::run(file("c.csv", header + dataLines), *m_db, dialogs);
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(result.recordsWritten, lines.size());
    QCOMPARE(records(), ::records(path("ONE.MDB")));
}

QUOTAZIONI_TEST_MAIN(TestImport)

#include "tst_import.moc"
