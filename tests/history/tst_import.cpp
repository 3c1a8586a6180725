#include "common/recordingdialogs.h"
#include "common/testmain.h"
#include "history/officialrates.h"
#include "history/ratesfile.h"
#include "historytest.h"

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
    void parseLine_data();
    void parseLine();
    void importFile_data();
    void importFile();
};

void TestImport::parseLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("currency");    // line 2, naming the currency, or a data line
    QTest::addColumn<QString>("expected"); // code|description, or date|rate|note
    const auto row = [](const char *tag, bool currency, const char *line, const char *expected) {
        QTest::newRow(tag) << QString(line) << currency << QString(expected);
    };
    row("trailing blank", true, "valuta selezionata:   franco svizzero  ", "FRANCO |FRANCO SVIZZERO");
    row("no blank after the colon", true, "VALUTA SELEZIONATA:YEN", "YEN|YEN");
    row("marker cut short", true, "Valuta selezionata", "|");
    row("three fields", false, " 15/03/2003,1.0734,nota ", "20030315|1.0734|nota");
    row("note keeps its commas", false, "15/03/2003,1.07, a,b ", "20030315|1.07|a,b");
    row("two fields, no number", false, "15/03/2003,n.d.", "20030315|0|n.d.");
    row("one-digit day and month", false, "1/3/2003,1.07,x", "20030301|1.07|x");
    row("blank before the comma", false, "15/03/2003 ,1.07,x", "20030315|1.07|x");
    row("no such day", false, "31/02/2003,1.07,x", "|0|31/02/2003,1.07,x");
    row("words before a comma", false, "Fonte: BCE, 2003", "|0|Fonte: BCE, 2003");
    row("empty rate field", false, "15/03/2003,,x", "20030315|0|,x");
    row("blanks inside the rate", false, "15/03/2003,- 1 . 5,x", "20030315|-1.5|x");
    row("exponent", false, "15/03/2003,1.5E2,x", "20030315|150|x");
    row("D exponent", false, "15/03/2003,25d-1,x", "20030315|2.5|x");
    row("stops at a letter", false, "15/03/2003,1.2.3abc,x", "20030315|1.2|x");
    row("underflow", false, "15/03/2003,1e-999,x", "20030315|0|x");
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
    QTest::addColumn<QStringList>("before"); // records stored first, as SQL value lists
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("failedLine");
    QTest::addColumn<QString>("message"); // %1 stands for the trimmed file path
    QTest::addColumn<QString>("name");
    const auto row = [](const char *tag, const QByteArray &bytes, const QStringList &expected,
                        const QStringList &before = {}, Outcome outcome = Outcome::Done, int line = 0,
                        const QString &message = {}, const QString &name = "cambi.csv") {
        QTest::newRow(tag) << bytes << expected << before << outcome << line << message << name;
    };
    const QStringList two{usa.arg("20030314", "1.07", "a"), usa.arg("20030315", "1.08", "b")};
    row("CR LF", header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b\r\n", two);
    row("LF", QByteArray(header).replace("\r\n", "\n") + "14/03/2003,1.07,a\n15/03/2003,1.08,b\n", two);
    row("CR, no final line end",
        QByteArray(header).replace("\r\n", "\r") + "14/03/2003,1.07,a\r15/03/2003,1.08,b", two);
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
    // Not UTF-8 as a whole: every line is Windows-1252, even one that would be valid UTF-8 alone.
    row("mixed line ends, Windows-1252",
        header + "14/03/2003,1.07,caf\xe2\x82\r15/03/2003,1.08,\xc3\xa9\r\r\n16/03/2003,1,\x80\n",
        {usa.arg("20030314", "1.07", "caf\u00e2\u201a"), usa.arg("20030315", "1.08", "\u00c3\u00a9"),
         usa.arg("20030316", "1", "\u20ac")});
    row("line of 100,000 characters",
        header + "15/03/2003,1.07," + QByteArray(100000, 'x') + "\r\n16/03/2003,1.08,y",
        {usa.arg("20030315", "1.07", QString(100000, QLatin1Char('x'))), usa.arg("20030316", "1.08", "y")});

    row("empty box", {}, {}, {}, Outcome::NoFileName, 0,
        "Indicare il nome del file Storico Cambi Ufficiali !!!", "   ");
    row("missing file", {}, {}, {}, Outcome::FileNotRead, 0,
        "Storico Cambi Ufficiali non trovato - Impossibile trovare il file\r\n\r\n%1", "manca.csv");
    row("folder", {}, {}, {}, Outcome::FileNotRead, 0,
        "Storico Cambi Ufficiali non trovato - Errore di accesso al percorso/file\r\n\r\n%1", "cartella");
    row("binary file", header + QByteArray("15/03/2003,1.07,a\r\n\0\x01\x02", 23), {}, {},
        Outcome::LineNotRead, 1,
        "Errore lettura Storico Cambi Ufficiali - Modalità del file non valida\r\n\r\n%1");
    row("overflow keeps the lines before",
        header + "14/03/2003,1.07,a\r\n15/03/2003,9e999,b\r\n16/03/2003,1.09,c\r\n",
        {usa.arg("20030314", "1.07", "a")}, {}, Outcome::LineNotRead, 5,
        "Errore lettura Storico Cambi Ufficiali - Overflow\r\n\r\n%1");

    // Records already stored: each (currency, day) overwrites the first record it matches or adds one.
    row("inserts and updates mixed", header + "01/03/2003,1.1,a\n02/03/2003,1.2,b\n03/03/2003,1.3,c\n",
        {usa.arg("20030302", "1.2", "b"), "EUR/CHF|20030301|2|chf|", usa.arg("20030301", "1.1", "a"),
         usa.arg("20030303", "1.3", "c")},
        {"'EUR/USD','20030302',1,'old',''", "'EUR/CHF','20030301',2,'chf',''"});
    row("older duplicates: the first is overwritten", header + "01/03/2003,1.5,x\n",
        {usa.arg("20030301", "1.5", "x"), "EUR/USD|20030301|2|second|"},
        {"'EUR/USD','20030301',1,'first',''", "'EUR/USD','20030301',2,'second',''"});
    row("a day twice, stored before",
        header + "01/03/2003,1.1,a\n02/03/2003,1.2,b\n01/03/2003,1.3,c\n02/03/2003,1.4,d\n",
        {usa.arg("20030302", "1.4", "d"), usa.arg("20030301", "1.3", "c")},
        {"'EUR/USD','20030302',1,'old',''"});
    row("lines without a date", header + "Fine\n01/03/2003,1.1,a\nAltro,x\n",
        {usa.arg("", "0", "Altro,x"), usa.arg("20030301", "1.1", "a")}, {"'EUR/USD','',0,'old','old'"});
    QByteArray many = header; // past a 16-bit line count, across batches, back to days stored before
    QStringList days;
    for (int i = 0; i < 40000; ++i) {
        const QDate day = QDate(1950, 1, 1).addDays(i % 30000);
        many += day.toString("d/M/yyyy").toLatin1() + ',' + QByteArray::number(i + 0.5) + ",n\n";
        if (i < 30000)
            days << usa.arg(day.toString("yyyyMMdd"), QString::number((i < 10000 ? i + 30000 : i) + 0.5),
                            "n");
    }
    row("40,000 lines", many, days, {"'EUR/USD','19500101',9,'old',''"});

    // A line the database refuses: the lines before it stay committed, nothing after it is stored.
    const QByteArray lines = header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b\r\n16/03/2003,1.09,no\r\n"
                                      "17/03/2003,1.10,c\r\n";
    const QString refused = "Errore registrazione su DataBase rifiutato\r\n\r\nselect * from Storico_Valute "
                            "where  Tipo_Valuta = 'EUR/USD' and  Data_Valuta = '20030316'";
    row("insert fails", lines, two, {}, Outcome::DatabaseFailed, 6, refused);
    row("update fails", lines, QStringList{"EUR/USD|20030316|1.5|old|old"} + two,
        {"'EUR/USD', '20030316', 1.5, 'old', 'old'"}, Outcome::DatabaseFailed, 6, refused);
}

void TestImport::importFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QFETCH(QString, name);
    QFETCH(QStringList, before);
    QTemporaryDir dir;
    const QString path = makeDatabase(dir.filePath("VALUTE.MDB"), before),
                  refuse = "CREATE TRIGGER refuse_%1 BEFORE %1 ON Storico_Valute WHEN NEW.Note = 'no' "
                           "BEGIN SELECT RAISE(ABORT, 'rifiutato'); END";
    HistoryDb db; // refusing any line noted "no"
    QVERIFY(exec(path, {refuse.arg("INSERT"), refuse.arg("UPDATE")}) && !db.open(path).isError());
    const QString text = name.trimmed().isEmpty() ? name : "  " + dir.filePath(name) + " ";
    QVERIFY(name != "cartella" || QDir(dir.path()).mkdir(name));
    QVERIFY(bytes.isNull() || writeFile(dir.filePath(name), bytes));
    for (int run = 0; run < 2;
         ++run) { // the second run overwrites what the first stored, even after a failure
        RecordingDialogs dialogs;
        QList<qint64> seen; // lines done at each progress call
        qint64 total = -1;
        const auto result = OfficialRatesImport::run(text, db, dialogs, [&](qint64 done, qint64 lines) {
            seen << done;
            total = lines;
        });
        QCOMPARE(dialogs.texts(), message.isEmpty()
                                      ? QStringList()
                                      : QStringList{QString(message).replace("%1", text.trimmed())});
        QTEST(result.outcome, "outcome");
        QTEST(int(result.failedLine), "failedLine");
        QTEST(records(path), "expected");
        QVERIFY(seen.size() >= bytes.count('\n') / OfficialRatesImport::progressInterval);
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()) && (seen.isEmpty() || seen.constLast() == total));
    }
}

QUOTAZIONI_TEST_MAIN(TestImport)
#include "tst_import.moc"
