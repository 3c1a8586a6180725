#include "historydb.h"
#include "historytest.h"
#include "officialrates.h"
#include "ratesfile.h"
#include "recordingdialogs.h"
#include "testmain.h"

#include <QDir>
#include <QTemporaryDir>

using Outcome = OfficialRatesImport::Result::Outcome;

namespace {

const QByteArray header =
    "Storico cambi ufficiali\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
const QString usa = QStringLiteral("EUR/USD|%1|%2|EUR/USD - DOLLARO USA|%3");

} // namespace

class TestImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void parseLine_data();
    void parseLine();
    void importFile_data();
    void importFile();
    void longFileWithProgress();

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

void TestImport::parseLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("currency");    // line 2, naming the currency, or a data line
    QTest::addColumn<QString>("expected"); // code|description, or date|rate|note
    const auto currency = [](const char *tag, const char *line, const char *expected) {
        QTest::newRow(tag) << QString(line) << true << QString(expected);
    };
    const auto data = [](const char *tag, const char *line, const char *expected) {
        QTest::newRow(tag) << QString(line) << false << QString(expected);
    };
    currency("trailing blank", "valuta selezionata:   franco svizzero  ", "FRANCO |FRANCO SVIZZERO");
    currency("no blank after the colon", "VALUTA SELEZIONATA:YEN", "YEN|YEN");
    currency("marker cut short", "Valuta selezionata", "|");
    data("three fields", " 15/03/2003,1.0734,nota ", "20030315|1.0734|nota");
    data("note keeps its commas", "15/03/2003,1.07, a,b ", "20030315|1.07|a,b");
    data("two fields, no number", "15/03/2003,n.d.", "20030315|0|n.d.");
    data("one-digit day and month", "1/3/2003,1.07,x", "20030301|1.07|x");
    data("blank before the comma", "15/03/2003 ,1.07,x", "20030315|1.07|x");
    data("no such day", "31/02/2003,1.07,x", "|0|31/02/2003,1.07,x");
    data("two-digit year", "15/03/03,1.07,x", "|0|15/03/03,1.07,x");
    data("words before a comma", "Fonte: BCE, 2003", "|0|Fonte: BCE, 2003");
    data("leading comma", ",1.07,x", "|0|,1.07,x");
    data("empty rate field", "15/03/2003,,x", "20030315|0|,x");
    data("blanks inside the rate", "15/03/2003,- 1 . 5,x", "20030315|-1.5|x");
    data("exponent", "15/03/2003,1.5E2,x", "20030315|150|x");
    data("D exponent", "15/03/2003,25d-1,x", "20030315|2.5|x");
    data("exponent without digits", "15/03/2003,2e,x", "20030315|2|x");
    data("stops at a letter", "15/03/2003,1.2.3abc,x", "20030315|1.2|x");
    data("underflow", "15/03/2003,1e-999,x", "20030315|0|x");
}

void TestImport::parseLine()
{
    QFETCH(QString, line);
    QFETCH(bool, currency);
    const RatesFile::Currency named = RatesFile::currencyOf(line);
    const RatesFile::DataLine data = RatesFile::parseDataLine(line);
    const QString actual =
        currency ? named.code + '|' + named.description
                 : QStringList{data.date, QString::number(data.rate, 'g', 15), data.note}.join('|');
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
    // Not UTF-8 as a whole: every line is Windows-1252, even one that would be valid UTF-8 alone.
    row("mixed line ends, broken UTF-8",
        header + "14/03/2003,1.07,caf\xe2\x82\r15/03/2003,1.08,\xc3\xa9\r\r\n16/03/2003,1,c\n",
        {usa.arg("20030314", "1.07", "caf\u00e2\u201a"), usa.arg("20030315", "1.08", "\u00c3\u00a9"),
         usa.arg("20030316", "1", "c")});
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

    // Records already stored: each (currency, day) overwrites the first record it matches or adds one.
    const auto stored = [&](const char *tag, const QStringList &values, const QByteArray &lines,
                            const QStringList &expected) {
        QStringList inserts;
        for (const QString &record : values)
            inserts << "INSERT INTO Storico_Valute VALUES (" + record + ')';
        row(tag, header + lines, expected, Outcome::Done, 0, {}, "cambi.csv", inserts);
    };
    stored("inserts and updates mixed",
           {"'EUR/USD','20030302',1,'old',''", "'EUR/CHF','20030301',2,'chf',''"},
           "01/03/2003,1.1,a\n02/03/2003,1.2,b\n03/03/2003,1.3,c\n",
           {usa.arg("20030302", "1.2", "b"), "EUR/CHF|20030301|2|chf|", usa.arg("20030301", "1.1", "a"),
            usa.arg("20030303", "1.3", "c")});
    stored("older duplicates: the first is overwritten",
           {"'EUR/USD','20030301',1,'first',''", "'EUR/USD','20030301',2,'second',''"}, "01/03/2003,1.5,x\n",
           {usa.arg("20030301", "1.5", "x"), "EUR/USD|20030301|2|second|"});
    stored("a day twice, stored before", {"'EUR/USD','20030302',1,'old',''"},
           "01/03/2003,1.1,a\n02/03/2003,1.2,b\n01/03/2003,1.3,c\n02/03/2003,1.4,d\n",
           {usa.arg("20030302", "1.4", "d"), usa.arg("20030301", "1.3", "c")});
    stored("lines without a date", {"'EUR/USD','',0,'old','old'"}, "Fine\n01/03/2003,1.1,a\nAltro,x\n",
           {usa.arg("", "0", "Altro,x"), usa.arg("20030301", "1.1", "a")});
    QByteArray many;
    QStringList days{"20030515"};
    QHash<QString, QString> last;
    for (int i = 0; i < 300; ++i) { // crosses a batch, and comes back to days already written
        const QDate day(2003, 1 + i / 28 % 9, 1 + i % 28);
        const QByteArray rate = "1." + QByteArray::number(i);
        many += day.toString("d/M/yyyy").toLatin1() + ',' + rate + ",n" + QByteArray::number(i) + '\n';
        const QString date = day.toString("yyyyMMdd");
        if (!days.contains(date))
            days << date;
        last[date] = usa.arg(date, QString::number(rate.toDouble(), 'g', 15), "n" + QString::number(i));
    }
    for (QString &date : days)
        date = last.value(date);
    stored("several batches", {"'EUR/USD','20030515',9,'old',''"}, many, days);

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
    const QStringList stored = records();
    QCOMPARE(stored.size(), count);
    QCOMPARE(stored.constLast(), usa.arg(first.addDays(count - 1).toString("yyyyMMdd"), "1.39999", "n"));
    QVERIFY(seen.size() >= count / OfficialRatesImport::progressInterval);
    QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
    QCOMPARE(seen.constLast(), count + 3);
}

QUOTAZIONI_TEST_MAIN(TestImport)

#include "tst_import.moc"
