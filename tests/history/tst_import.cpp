#include "common/historytest.h"
#include "common/recordingdialogs.h"
#include "common/referencefiles.h"
#include "common/testmain.h"
#include "history/officialrates.h"
#include "history/ratesfile.h"
#include "ziptest.h"

#include <QDir>
#include <QTemporaryDir>
#include <sys/stat.h>

using Outcome = OfficialRatesImport::Result::Outcome;

namespace {

const QByteArray header =
    "Storico cambi ufficiali\r\nValuta selezionata: Dollaro USA\r\nData,Cambio,Note\r\n";
const QString usa = QStringLiteral("EUR/USD|%1|%2|EUR/USD - DOLLARO USA|%3");

// The currency list as the program reads it from zantoro.TXT.
const QStringList pairItems{"EUR/USD - DOLLARO USA - 1", "EUR/CHF - FRANCO SVIZZERO - 2",
                            "EUR/JPY - YEN GIAPPONESE - 3", "EUR/GBP - STERLINA INGLESE - 4"};

// A record of the bank's files: "USD", "20260417", "1.1684" gives the EUR/USD record of that day.
QString bank(const QString &currency, const QString &date, const QString &rate)
{
    static const QHash<QString, QString> items{
        {"USD", pairItems[0]}, {"CHF", pairItems[1]}, {"JPY", pairItems[2]}, {"GBP", pairItems[3]}};
    return "EUR/" + currency + '|' + date + '|' + rate + '|' + items.value(currency) + '|';
}

QByteArray zipOf(const Entries &entries, const Filler *filler = nullptr)
{
    QTemporaryDir dir;
    return makeZip(dir.filePath("storico.zip"), entries, filler);
}

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
    row("franc, trailing blank", true, "valuta selezionata:   franco svizzero  ",
        "EUR/CHF|EUR/CHF - FRANCO SVIZZERO");
    row("yen, no blank after the colon", true, "VALUTA SELEZIONATA:YEN", "EUR/JPY|EUR/JPY - YEN GIAPPONESE");
    row("sterling", true, "Valuta selezionata: Sterlina", "EUR/GBP|EUR/GBP - STERLINA INGLESE");
    row("another franc keeps its name", true, "Valuta selezionata: Franco francese",
        "FRANCO |FRANCO FRANCESE");
    row("three fields", false, " 15/03/2003,1.0734,nota ", "20030315|1.0734|nota");
    row("note keeps its commas", false, "15/03/2003,1.07, a,b ", "20030315|1.07|a,b");
    row("two fields, no number", false, "15/03/2003,n.d.", "20030315|0|n.d.");
    row("one-digit day and month", false, "1/3/2003,1.07,x", "20030301|1.07|x");
    row("blank before the comma", false, "15/03/2003 ,1.07,x", "20030315|1.07|x");
    // First fields that are not dates, and lines with no comma, are the import's rows.
    row("comma first: no date field", false, ",1.07,x", "|0|,1.07,x");
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
                 : QString(data.kind == RatesFile::DataLine::Kind::BadDate ? "!" : "") +
                       QStringList{data.date, QString::number(data.rate, 'g', 15), data.note}.join('|');
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
    row("empty lines skipped", header + "\r\n14/03/2003,1.07,a\r\n  \r\n15/03/2003,1.08,b\r\n\r\n", two);
    row("empty file", "", {});
    row("dollaro canadese", "x\nVALUTA SELEZIONATA: DOLLARO CANADESE\nx\n15/03/2003,1.5,\n",
        {usa.arg("20030315", "1.5", "")});
    row("no currency line", "x\nCambi\nx\n15/03/2003,1.5,n\n", {"|20030315|1.5||n"});
    row("apostrophe in the currency",
        "x\nValuta selezionata: Lira d'Italia\nx\n15/03/2003,1936.27,l'ultima\n",
        {"LIRA D'|20030315|1936.27|LIRA D'ITALIA|l'ultima"});
    row("two fields, decimal comma, invalid date, footer",
        header + "15/03/2003,1.0734\r\n16/03/2003,1,0734,x\r\n31/02/2003,1.07,x\r\nFine\r\n",
        {usa.arg("20030315", "1.0734", ""), usa.arg("20030316", "1", "0734,x"), usa.arg("", "0", "Fine")}, {},
        Outcome::Done, 0, "Righe non importate (data non valida): 1 - riga 6");
    // Dates the reader does not take are left out, not stored under one empty date.
    row("invalid dates named at the end",
        header + "14/03/2003,1.07,a\n15/03/03,1.01,x\n15/03/2003,1.08,b\n\n,senza data\n"
                 "31/02/2003,1.02,x\n\nNota\n2003/03/15,1.03,x\n",
        {usa.arg("20030314", "1.07", "a"), usa.arg("20030315", "1.08", "b"), usa.arg("", "0", "Nota")}, {},
        Outcome::Done, 0, "Righe non importate (data non valida): 3 - righe 5, 9, 12");
    QByteArray twelve = header;
    for (int i = 0; i < 12; ++i)
        twelve += "15-03-2003,1.0" + QByteArray::number(i) + ",x\n";
    row("the first ten named", twelve, {}, {}, Outcome::Done, 0,
        "Righe non importate (data non valida): 12 - righe 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, ...");
    // Not UTF-8 as a whole: every line is Windows-1252, even one that would be valid UTF-8 alone.
    row("mixed line ends, Windows-1252",
        header + "14/03/2003,1.07,caf\xe2\x82\r15/03/2003,1.08,\xc3\xa9\r\r\n16/03/2003,1,\x80\n",
        {usa.arg("20030314", "1.07", "caf\u00e2\u201a"), usa.arg("20030315", "1.08", "\u00c3\u00a9"),
         usa.arg("20030316", "1", "\u20ac")});
    // Notepad's "Unicode": read with its byte-order mark; without it, its NULs are no text.
    const QString euro = QString::fromUtf16(u"caf\u00e9 \u20ac");
    const QByteArray utf16le = QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(
        QString::fromUtf8(header + "15/03/2003,1.08,") + euro + "\r\n");
    row("UTF-16 little-endian", utf16le, {usa.arg("20030315", "1.08", euro)});
    row("UTF-16 without its mark", utf16le.mid(2), {}, {}, Outcome::LineNotRead, 1,
        "Errore lettura Storico Cambi Ufficiali - Modalità del file non valida\r\n\r\n%1");
    row("line over a megabyte", header + "14/03/2003,1.07,a\n15/03/2003,1.08," + QByteArray(1100000, 'x'),
        {usa.arg("20030314", "1.07", "a")}, {}, Outcome::LineNotRead, 5,
        "Errore lettura Storico Cambi Ufficiali - Overflow\r\n\r\n%1");
    row("line of 100,000 characters",
        header + "15/03/2003,1.07," + QByteArray(100000, 'x') + "\r\n16/03/2003,1.08,y",
        {usa.arg("20030315", "1.07", QString(100000, QLatin1Char('x'))), usa.arg("20030316", "1.08", "y")});

    row("empty box", {}, {}, {}, Outcome::NoFileName, 0,
        "Indicare il nome del file Storico Cambi Ufficiali !!!", "   ");
    row("missing file", {}, {}, {}, Outcome::FileNotRead, 0,
        "Storico Cambi Ufficiali non trovato - Impossibile trovare il file\r\n\r\n%1", "manca.csv");
    // Only a regular file is opened: a FIFO would wait for a writer, a device such as /dev/zero never ends.
    const QString notRegular =
        "Storico Cambi Ufficiali non trovato - Errore di accesso al percorso/file\r\n\r\n%1";
    row("folder", {}, {}, {}, Outcome::FileNotRead, 0, notRegular, "cartella");
    row("endless device", {}, {}, {}, Outcome::FileNotRead, 0, notRegular, "/dev/zero");
    row("fifo", {}, {}, {}, Outcome::FileNotRead, 0, notRegular, "fifo");
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
        {usa.arg("", "0", "Fine"), usa.arg("20030301", "1.1", "a")}, {"'EUR/USD','',0,'old','old'"},
        Outcome::Done, 0, "Righe non importate (data non valida): 1 - riga 6");
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

    // The bank's history: one record per listed pair and day, in the order of the currency list.
    const QByteArray csv = "Date,USD,JPY,BGN,CYP,CHF,GBP,\n"
                           "2026-04-17,1.1684,186.75,1.9558,N/A,0.9312,0.8562,\n"
                           "2026-04-16,1.17,186.5,1.9558,N/A,0.93,1,\n";
    const QStringList csvRecords{bank("USD", "20260417", "1.1684"), bank("CHF", "20260417", "0.9312"),
                                 bank("JPY", "20260417", "186.75"), bank("GBP", "20260417", "0.8562"),
                                 bank("USD", "20260416", "1.17"),   bank("CHF", "20260416", "0.93"),
                                 bank("JPY", "20260416", "186.5"),  bank("GBP", "20260416", "1")};
    row("bank CSV", csv, csvRecords, {}, Outcome::Done, 0, {}, "eurofxref-hist.csv");
    row("bank CSV, stored pairs and days overwritten", csv,
        QStringList{bank("CHF", "20260417", "0.9312"), "EUR/USD|20260418|1.2|altro|"} +
            csvRecords.sliced(0, 1) + csvRecords.sliced(2),
        {"'EUR/CHF','20260417',2,'vecchio','nota'", "'EUR/USD','20260418',1.2,'altro',''"});
    row("zip archive named .csv",
        zipOf({{"storico/", {}}, {"storico/eurofxref-hist.csv", csv, ZIP_CM_STORE}}), csvRecords);

    const ReferenceDay day17{QDate(2026, 4, 17),
                             {"USD=1.1684", "JPY=186.75", "BGN=1.9558", "GBP=0.8562", "CHF=0.9312"}};
    // Older days first: the reader gives the days in ascending order.
    row("reference rates, full history, a currency missing on a day",
        referenceHistoryFile({{QDate(1999, 1, 4), {"USD=1.1789", "CYP=0.58231"}}, day17}),
        QStringList{bank("USD", "19990104", "1.1789")} + csvRecords.sliced(0, 4), {}, Outcome::Done, 0, {},
        "eurofxref-hist.xml");

    // Many days: batches of several currencies, days stored before, progress on the way.
    QByteArray longCsv = "Date,USD,ZAR,CHF,JPY,GBP,\n";
    QStringList longRecords;
    for (int i = 0; i < 2000; ++i) {
        const QString date = QDate(2026, 4, 17).addDays(-i).toString("yyyy-MM-dd");
        const QByteArray rate = QByteArray::number(1 + i / 10000.0, 'g', 12);
        longCsv += date.toLatin1() + ',' + rate + ",20.5,N/A," + rate + ',' + rate + ",\n";
        for (const char *currency : {"USD", "JPY", "GBP"})
            longRecords << bank(currency, QString(date).remove('-'), QString::fromLatin1(rate));
    }
    longRecords.move(3 * 1503 + 1, 0); // 2022-03-06, stored before: overwritten in its place
    row("2,000 days", longCsv, longRecords, {"'EUR/JPY','20220306',5,'vecchio','nota'"});

    // Bad input: the reading message, and whatever was stored before stays.
    const QStringList kept{"EUR/USD|20260415|1.2|vecchio|"};
    const QStringList before{"'EUR/USD','20260415',1.2,'vecchio',''"};
    const QString unreadable = "Errore lettura Storico Cambi Ufficiali - %2\r\n\r\n%1";
    const auto bad = [&](const char *tag, const QByteArray &bytes, const QString &error, int line = 0,
                         const QStringList &stored = {}) {
        row(tag, bytes, kept + stored, before, Outcome::LineNotRead, line, unreadable.arg("%1", error));
    };
    bad("not a zip", QByteArray("PK\x03\x04", 4) + csv, "Il file non è un archivio zip");
    const Filler bomb{csv, '\0', 300 * 1024 * 1024};
    bad("zip bomb", zipOf({}, &bomb),
        "Impossibile leggere il file nell'archivio zip: oltre 256 MiB una volta espanso");
    bad("archive of something else", zipOf({{"cambi.csv", header + "15/03/2003,1.07,a\r\n"}}),
        "Riga 1: l'intestazione non inizia con \"Date\"", 1);
    const QByteArray head = "Date,USD,CHF,\n2026-04-17,1.1684,0.9312,\n";
    const QStringList firstDay{bank("USD", "20260417", "1.1684"), bank("CHF", "20260417", "0.9312")};
    bad("more fields", head + "2026-04-16,1.17,0.93,,\n",
        "Riga 3: la riga ha 5 campi invece dei 4 dell'intestazione", 3, firstDay);
    bad("reference rates cut short", referenceDailyFile(day17).chopped(30),
        "Documento dei cambi di riferimento non valido (riga 11, colonna 8): Premature end of document.");

    // A record the database refuses: the days before stay, nothing of the refused day is stored.
    const QString refusedGbp =
        "Errore registrazione su DataBase rifiutato\r\n\r\nselect * from Storico_Valute "
        "where  Tipo_Valuta = 'EUR/GBP' and  Data_Valuta = '20260416'";
    row("bank CSV, a record refused", QByteArray(csv).replace(",1,\n", ",999,\n"), csvRecords.sliced(0, 4),
        {}, Outcome::DatabaseFailed, 3, refusedGbp);
    row("reference rates, a record refused",
        referenceHistoryFile({{QDate(2026, 4, 16), {"USD=1.17", "CHF=0.93", "JPY=186.5", "GBP=999"}}, day17}),
        {}, {}, Outcome::DatabaseFailed, 0, refusedGbp);
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
                           "OR NEW.Quotazione = 999 BEGIN SELECT RAISE(ABORT, 'rifiutato'); END";
    HistoryDb db; // refusing any line noted "no" and any rate of 999
    QVERIFY(exec(path, {refuse.arg("INSERT"), refuse.arg("UPDATE")}) && !db.open(path).isError());
    const QString text = name.trimmed().isEmpty() ? name : "  " + QDir(dir.path()).filePath(name) + " ";
    QVERIFY(name != "cartella" || QDir(dir.path()).mkdir(name));
    QVERIFY(name != "fifo" || ::mkfifo(QFile::encodeName(dir.filePath(name)).constData(), 0600) == 0);
    QVERIFY(bytes.isNull() || writeFile(dir.filePath(name), bytes));
    for (int run = 0; run < 2;
         ++run) { // the second run overwrites what the first stored, even after a failure
        RecordingDialogs dialogs;
        QList<qint64> seen; // lines done at each progress call
        qint64 total = -1;
        const auto result =
            OfficialRatesImport::run(text, pairItems, db, dialogs, [&](qint64 done, qint64 lines) {
                seen << done;
                total = lines;
            });
        QCOMPARE(dialogs.texts(), message.isEmpty()
                                      ? QStringList()
                                      : QStringList{QString(message).replace("%1", text.trimmed())});
        QTEST(result.outcome, "outcome");
        QTEST(int(result.failedLine), "failedLine");
        QTEST(records(path), "expected");
        QSqlQuery tempStore(db.database()); // the connection is left as the import found it
        QVERIFY(tempStore.exec("PRAGMA temp_store") && tempStore.next());
        QCOMPARE(tempStore.value(0).toInt(), 0);
        QVERIFY(seen.size() >= bytes.count('\n') / OfficialRatesImport::progressInterval);
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()) && (seen.isEmpty() || seen.constLast() == total));
    }
}

QUOTAZIONI_TEST_MAIN(TestImport)
#include "tst_import.moc"
