#include "historydb.h"
#include "officialrates.h"
#include "ratesfile.h"
#include "recordingdialogs.h"
#include "testmain.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

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

    void currencyOf_data();
    void currencyOf();
    void parseDataLine_data();
    void parseDataLine();
    void importFile_data();
    void importFile();
    void failures_data();
    void failures();
    void importingTwiceKeepsTheSameRecords();
    void databaseFailureKeepsEarlierLines_data();
    void databaseFailureKeepsEarlierLines();
    void longFileWithProgress();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    // Every record as "code|date|rate|description|note", in table order.
    QStringList records();
    void exec(const QString &sql);

    QTemporaryDir *m_dir = nullptr;
    HistoryDb *m_db = nullptr;
};

void TestImport::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    const QString path = m_dir->filePath(QStringLiteral("VALUTE.MDB"));
    QFile schema(QStringLiteral(QUOTAZIONI_SCHEMA_FILE));
    QVERIFY(schema.open(QIODevice::ReadOnly));
    QString sql;
    for (const QString &line : QString::fromUtf8(schema.readAll()).split(QLatin1Char('\n')))
        if (!line.trimmed().startsWith(QLatin1String("--")))
            sql += line + QLatin1Char('\n');
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema"));
        db.setDatabaseName(path);
        if (!db.open())
            failure = db.lastError().text();
        QSqlQuery query(db);
        for (const QString &statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (failure.isEmpty() && !statement.trimmed().isEmpty() && !query.exec(statement))
                failure = query.lastError().text();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
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

QStringList TestImport::records()
{
    QStringList result;
    QSqlQuery query(m_db->database());
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

void TestImport::exec(const QString &sql)
{
    QSqlQuery query(m_db->database());
    QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
}

void TestImport::currencyOf_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("description");
    QTest::newRow("dollar") << "Valuta selezionata: Dollaro USA"
                            << "EUR/USD"
                            << "EUR/USD - DOLLARO USA";
    QTest::newRow("any dollar is the US one") << "VALUTA SELEZIONATA: DOLLARO CANADESE"
                                              << "EUR/USD"
                                              << "EUR/USD - DOLLARO USA";
    QTest::newRow("code keeps its trailing blank") << "valuta selezionata:   franco svizzero  "
                                                   << "FRANCO "
                                                   << "FRANCO SVIZZERO";
    QTest::newRow("no blank after the colon") << "VALUTA SELEZIONATA:YEN"
                                              << "YEN"
                                              << "YEN";
    QTest::newRow("apostrophe") << "Valuta selezionata: Lira d'Italia"
                                << "LIRA D'"
                                << "LIRA D'ITALIA";
    QTest::newRow("other heading") << "Valuta: Dollaro USA"
                                   << ""
                                   << "";
    QTest::newRow("marker cut short") << "Valuta selezionata"
                                      << ""
                                      << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void TestImport::currencyOf()
{
    QFETCH(QString, line);
    const RatesFile::Currency currency = RatesFile::currencyOf(line);
    QTEST(currency.code, "code");
    QTEST(currency.description, "description");
}

void TestImport::parseDataLine_data()
{
    using Kind = RatesFile::DataLine::Kind;
    QTest::addColumn<QString>("line");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("date");
    QTest::addColumn<double>("rate");
    QTest::addColumn<QString>("note");
    QTest::newRow("three fields") << " 15/03/2003,1.0734,nota " << Kind::Record << "20030315" << 1.0734
                                  << "nota";
    QTest::newRow("note keeps its commas")
        << "15/03/2003,1.07, a,b " << Kind::Record << "20030315" << 1.07 << "a,b";
    QTest::newRow("two fields keep the rate")
        << "15/03/2003,1.0734" << Kind::Record << "20030315" << 1.0734 << "";
    QTest::newRow("two fields, no number")
        << "15/03/2003,n.d." << Kind::Record << "20030315" << 0.0 << "n.d.";
    QTest::newRow("decimal comma") << "15/03/2003,1,0734,x" << Kind::Record << "20030315" << 1.0 << "0734,x";
    QTest::newRow("one-digit day and month")
        << "1/3/2003,1.07,x" << Kind::Record << "20030301" << 1.07 << "x";
    QTest::newRow("blank before the comma")
        << "15/03/2003 ,1.07,x" << Kind::Record << "20030315" << 1.07 << "x";
    QTest::newRow("no such day") << "31/02/2003,1.07,x" << Kind::Record << "" << 0.0 << "31/02/2003,1.07,x";
    QTest::newRow("two-digit year") << "15/03/03,1.07,x" << Kind::Record << "" << 0.0 << "15/03/03,1.07,x";
    QTest::newRow("words before a comma")
        << "Fonte: Banca d'Italia, 2003" << Kind::Record << "" << 0.0 << "Fonte: Banca d'Italia, 2003";
    QTest::newRow("footer without comma") << "Fine dati" << Kind::Record << "" << 0.0 << "Fine dati";
    QTest::newRow("leading comma") << ",1.07,x" << Kind::Record << "" << 0.0 << ",1.07,x";
    QTest::newRow("empty rate field") << "15/03/2003,,x" << Kind::Record << "20030315" << 0.0 << ",x";
    QTest::newRow("blanks inside the rate")
        << "15/03/2003,- 1 . 5,x" << Kind::Record << "20030315" << -1.5 << "x";
    QTest::newRow("exponent") << "15/03/2003,1.5E2,x" << Kind::Record << "20030315" << 150.0 << "x";
    QTest::newRow("D exponent") << "15/03/2003,25d-1,x" << Kind::Record << "20030315" << 2.5 << "x";
    QTest::newRow("exponent without digits") << "15/03/2003,2e,x" << Kind::Record << "20030315" << 2.0 << "x";
    QTest::newRow("stops at a letter") << "15/03/2003,1.2.3abc,x" << Kind::Record << "20030315" << 1.2 << "x";
    QTest::newRow("underflow") << "15/03/2003,1e-999,x" << Kind::Record << "20030315" << 0.0 << "x";
    QTest::newRow("overflow") << "15/03/2003,1e999,x" << Kind::Overflow << "20030315" << 0.0 << "x";
    QTest::newRow("blank") << " \t " << Kind::Blank << "" << 0.0 << "";
}

void TestImport::parseDataLine()
{
    QFETCH(QString, line);
    const RatesFile::DataLine data = RatesFile::parseDataLine(line);
    QTEST(data.kind, "kind");
    QTEST(data.date, "date");
    QTEST(data.rate, "rate");
    QTEST(data.note, "note");
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
    QTest::newRow("same day twice") << header + "15/03/2003,1.07,a\r\n15/03/2003,1.09,b\r\n"
                                    << QStringList{usa.arg("20030315", "1.09", "b")};
}

void TestImport::importFile()
{
    QFETCH(QByteArray, bytes);
    RecordingDialogs dialogs;
    const auto result = OfficialRatesImport::run(writeFile("cambiSto.csv", bytes), *m_db, dialogs);
    QCOMPARE(dialogs.texts(), QStringList());
    QCOMPARE(result.outcome, OfficialRatesImport::Result::Outcome::Done);
    QTEST(records(), "expected");
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

void TestImport::importingTwiceKeepsTheSameRecords()
{
    exec(QStringLiteral("INSERT INTO Storico_Valute VALUES ('EUR/CHF', '20030315', 1.46, 'EUR/CHF', '')"));
    const QString path = writeFile("cambiSto.csv", header + "14/03/2003,1.07,a\r\n15/03/2003,1.08,b\r\n");
    RecordingDialogs dialogs;
    QCOMPARE(OfficialRatesImport::run(path, *m_db, dialogs).recordsWritten, 2);
    const QStringList first = records();
    QCOMPARE(first.size(), 3);
    QCOMPARE(OfficialRatesImport::run(path, *m_db, dialogs).recordsWritten, 2);
    QCOMPARE(records(), first);
    QCOMPARE(dialogs.texts(), QStringList());
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
    QCOMPARE(result.recordsWritten, 2);
    QCOMPARE(dialogs.texts().size(), 1);
    const QString message = dialogs.texts().constFirst();
    QVERIFY2(message.startsWith(QLatin1String("Errore registrazione su DataBase ")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("rifiutato")), qPrintable(message));
    QVERIFY(message.endsWith(QLatin1String("\r\n\r\nselect * from Storico_Valute where  Tipo_Valuta = "
                                           "'EUR/USD' and  Data_Valuta = '20030316'")));
    // Committed: another connection sees the two lines, the old record untouched, nothing after.
    m_db->close();
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

QUOTAZIONI_TEST_MAIN(TestImport)

#include "tst_import.moc"
