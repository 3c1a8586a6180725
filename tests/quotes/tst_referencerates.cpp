#include "common/referencefiles.h"
#include "common/testmain.h"
#include "quotes/referencerates.h"

#include <QBuffer>

using namespace ReferenceRates;
using Dates = QList<QDate>;

namespace {

// The envelope as the bank opens it, on one line as in the history files.
const QByteArray kOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + kReferenceEnvelope + kReferenceSender + "<Cube>";
const QByteArray kClose = "</Cube></gesmes:Envelope>";

QByteArray document(const QByteArray &days)
{
    return kOpen + days + kClose;
}

// "2026-04-16 USD=1.1684 JPY=186.75 | 2026-04-17 ...": days in the reader's order, rates in the file's.
QString describe(const QList<RateDay> &days)
{
    QStringList parts;
    for (const RateDay &day : days) {
        QString part = day.day.toString(Qt::ISODate);
        for (const CurrencyRate &rate : day.rates)
            part += u' ' + rate.code + u'=' + QString::number(rate.rate, 'g', 12);
        parts.append(part);
    }
    return parts.join(QStringLiteral(" | "));
}

QDate d(const char *iso)
{
    return QDate::fromString(QLatin1StringView(iso), Qt::ISODate);
}

} // namespace

class TestReferenceRates : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void looksLikeReferenceRates_data();
    void looksLikeReferenceRates();
    void fields_data();
    void fields();
    void siblingUrl_data();
    void siblingUrl();
    void weekdaysBetween_data();
    void weekdaysBetween();
    void historyFile_data();
    void historyFile();
};

void TestReferenceRates::parse_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("wanted");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("error"); // empty: the document is read
    const auto reads = [](const char *tag, const QByteArray &xml, const QString &expected,
                          const QStringList &wanted = {}) {
        QTest::newRow(tag) << xml << wanted << expected << QString();
    };
    const auto refused = [](const char *tag, const QByteArray &xml, const QString &error) {
        QTest::newRow(tag) << xml << QStringList() << QString() << error;
    };
    reads("daily file: tabs, single quotes, trailing zeros",
          referenceDailyFile({d("2026-04-17"), {"USD=1.1680", "JPY=186.70", "GBP=0.85620", "CHF=0.9310"}}),
          "2026-04-17 USD=1.168 JPY=186.7 GBP=0.8562 CHF=0.931");
    reads("90-day file: one line per day, newest first, rate=\"1\", no final newline, CHF absent",
          referenceHistoryFile({{d("2026-04-15"), {"USD=1.17", "CHF=0.93"}},
                                {d("2026-04-16"), {"USD=1"}},
                                {d("2026-04-17"), {"USD=1.1684", "CHF=0.9312"}}}),
          "2026-04-15 USD=1.17 CHF=0.93 | 2026-04-16 USD=1 | 2026-04-17 USD=1.1684 CHF=0.9312");
    reads("days out of order are sorted",
          document("<Cube time='2026-04-15'><Cube currency='USD' rate='1.15'/></Cube>"
                   "<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/></Cube>"
                   "<Cube time='2026-04-16'><Cube currency='USD' rate='1.16'/></Cube>"),
          "2026-04-15 USD=1.15 | 2026-04-16 USD=1.16 | 2026-04-17 USD=1.17");
    reads("attribute order, blanks in tags, other prefix, single-quoted declaration",
          QByteArray("<?xml version='1.0'?>\r\n<ecb:Envelope xmlns='http://www.ecb.int/vocabulary/2002-08-01/"
                     "eurofxref' xmlns:ecb = 'http://www.gesmes.org/xml/2002-08-01' >\r\n<Cube >\r\n"
                     "  <Cube  time = \"2026-04-17\" >\r\n"
                     "    <Cube rate = '186.75' currency = 'JPY' />\r\n"
                     "    <Cube currency=\"USD\"\n rate=\" 1.1684 \"></Cube>\r\n"
                     "  </Cube>\r\n</Cube>\r\n</ecb:Envelope>"),
          "2026-04-17 JPY=186.75 USD=1.1684");
    reads("a day given twice: merged, the first rate of a currency kept",
          document("<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/></Cube>"
                   "<Cube time='2026-04-17'><Cube currency='USD' rate='9.99'/>"
                   "<Cube currency='JPY' rate='186.75'/></Cube>"),
          "2026-04-17 USD=1.17 JPY=186.75");
    reads("a currency given twice on a day: the first kept",
          document("<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/>"
                   "<Cube currency='USD' rate='9.99'/></Cube>"),
          "2026-04-17 USD=1.17");
    // The rules of a day and of a rate are the fields' test; here what the reader does with a bad one.
    reads("invalid days give no rows, the rest is kept",
          document("<Cube><Cube currency='USD' rate='1.14'/></Cube>"
                   "<Cube time='2026-04-16T00:00'><Cube currency='USD' rate='1.15'/></Cube>"
                   "<Cube time='1999-01-04'><Cube currency='USD' rate='1.1789'/></Cube>"
                   "<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/></Cube>"),
          "1999-01-04 USD=1.1789 | 2026-04-17 USD=1.17");
    reads("invalid rates and codes give no rows, the rest is kept",
          document("<Cube time='2026-04-17'><Cube currency='AAB' rate='abc'/><Cube currency='AAJ' rate='1.'/>"
                   "<Cube currency='AAN'/><Cube rate='1.1'/><Cube currency='usd' rate='1.1'/>"
                   "<Cube currency='US' rate='1.1'/><Cube currency='USDX' rate='1.1'/>"
                   "<Cube currency='US1' rate='1.1'/><Cube currency='GBP' rate='0.8562'/></Cube>"),
          "2026-04-17 GBP=0.8562");
    reads("a day without a valid rate is left out",
          document("<Cube time='2026-04-16'><Cube currency='USD' rate='0'/></Cube>"
                   "<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/></Cube>"
                   "<Cube time='2026-04-15'></Cube>"),
          "2026-04-17 USD=1.17");
    reads("elements elsewhere are ignored",
          document("<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'>"
                   "<Cube currency='JPY' rate='186.75'/></Cube>"
                   "<x:Cube xmlns:x='urn:other' currency='CHF' rate='0.93'/>"
                   "<Note>testo</Note><!-- commento --><?istruzione?></Cube>"),
          "2026-04-17 USD=1.17");
    reads("only the wanted currencies",
          document("<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/>"
                   "<Cube currency='JPY' rate='186.75'/><Cube currency='CHF' rate='0.93'/></Cube>"
                   "<Cube time='2026-04-16'><Cube currency='JPY' rate='186.5'/></Cube>"),
          "2026-04-17 USD=1.17 CHF=0.93", QStringList{"CHF", "USD"});
    reads("no day at all", document(""), "");

    const QString prefix = QStringLiteral("Documento dei cambi di riferimento non valido ");
    const QByteArray day = "<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/></Cube>";
    const QByteArray whole = document(day);
    refused("cut after the last day", whole.first(whole.size() - kClose.size()),
            prefix + "(riga 1, colonna 364): Premature end of document.");
    refused("empty", QByteArray(), prefix + "(riga 1, colonna 0): Premature end of document.");
    refused("the legacy text page", QByteArray("EUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412<BR>"),
            prefix + "(riga 1, colonna 1): Start tag expected.");
    refused("a well-formed HTML error page",
            QByteArray("<html><body><p>Servizio non disponibile</p></body></html>"),
            prefix + "(riga 1, colonna 6): l'elemento radice non è gesmes:Envelope");
    refused("an envelope whose tags do not match",
            QByteArray(
                "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01'>\n<Cube><br></Cube>"),
            prefix + "(riga 2, colonna 17): Opening and ending tag mismatch.");
    refused("envelope of another namespace",
            QByteArray("<gesmes:Envelope xmlns:gesmes='urn:other'><Cube/></gesmes:Envelope>"),
            prefix + "(riga 1, colonna 42): l'elemento radice non è gesmes:Envelope");
    refused("text after the envelope", whole + "<Cube/>",
            prefix + "(riga 1, colonna 396): Extra content at end of document.");
    refused("entity declarations",
            QByteArray("<?xml version='1.0'?>\n<!DOCTYPE gesmes:Envelope [\n<!ENTITY a 'aaaaaaaaaa'>\n"
                       "<!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'>\n]>\n") +
                kOpen.sliced(kOpen.indexOf("<gesmes:Envelope")) + "&b;" + kClose,
            prefix + "(riga 5, colonna 2): il documento dichiara una DTD");
    refused("an undeclared entity",
            document("<Cube time='2026-04-17'><Cube currency='USD' rate='&uno;'/></Cube>"),
            prefix + "(riga 1, colonna 355): Entity 'uno' not declared.");
    refused("nested deeper than sixteen levels",
            document(day + QByteArray("<Cube>").repeated(15) + QByteArray("</Cube>").repeated(15)),
            prefix + "(riga 1, colonna 454): elementi annidati oltre 16 livelli");
    // 60 MiB of open elements: refused as soon as the nesting passes the bound, whatever follows.
    refused("60 MiB of nested cubes in the envelope", kOpen + QByteArray("<Cube>").repeated(10 * 1024 * 1024),
            prefix + "(riga 1, colonna 389): elementi annidati oltre 16 livelli");
}

void TestReferenceRates::parse()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, wanted);
    QFETCH(QString, error);
    const QSet<QString> wantedCodes(wanted.cbegin(), wanted.cend());

    const Document fromBytes = ReferenceRates::parse(QByteArrayView(xml), wantedCodes);
    QTEST(fromBytes.error, "error");
    QCOMPARE(fromBytes.ok(), error.isEmpty());
    QTEST(describe(fromBytes.days), "expected");

    QBuffer buffer(&xml);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const Document fromDevice = ReferenceRates::parse(&buffer, wantedCodes);
    QTEST(fromDevice.error, "error");
    QTEST(describe(fromDevice.days), "expected");
}

void TestReferenceRates::looksLikeReferenceRates_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("expected");

    QTest::newRow("byte-order mark, blanks, declaration")
        << QByteArray("\xEF\xBB\xBF \r\n\t<?xml version='1.0'?><x/>") << true;
    QTest::newRow("no declaration, the envelope's namespace")
        << QByteArray("<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\">") << true;
    QTest::newRow("no declaration, the cubes' namespace")
        << QByteArray("<e:Envelope xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">") << true;
    QTest::newRow("legacy page")
        << QByteArray("<HTML><BODY>\r\nEUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412<BR></BODY></HTML>") << false;
    QTest::newRow("declaration not at the start") << QByteArray("x<?xml version='1.0'?>") << false;
    QTest::newRow("namespace beyond the first 4 KiB")
        << QByteArray(4096, ' ') + "<e xmlns='http://www.gesmes.org/xml/2002-08-01'/>" << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestReferenceRates::looksLikeReferenceRates()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, expected);
    QCOMPARE(ReferenceRates::looksLikeReferenceRates(body), expected);
}

void TestReferenceRates::fields_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<double>("value"); // 0 for no rate
    QTest::addColumn<QString>("day");
    QTest::addColumn<QDate>("date");

    QTest::newRow("plain") << "1.1684" << 1.1684 << "2026-04-17" << d("2026-04-17");
    QTest::newRow("whole") << "1" << 1.0 << "1999-01-01" << d("1999-01-01");
    QTest::newRow("trailing zeros, blanks") << " 0.85620\t" << 0.8562 << "2024-02-29" << d("2024-02-29");
    QTest::newRow("large") << "25390.15" << 25390.15 << "2025-02-29" << QDate();
    QTest::newRow("zero") << "0.00" << 0.0 << "1998-12-31" << QDate();
    QTest::newRow("exponent") << "1E2" << 0.0 << "2026-13-01" << QDate();
    QTest::newRow("comma") << "1,5" << 0.0 << "2026/04/17" << QDate();
    QTest::newRow("empty") << "" << 0.0 << "" << QDate();
    QTest::newRow("inner blank") << "1 .5" << 0.0 << " 2026-04-17" << QDate();
    QTest::newRow("sign") << "-0.5" << 0.0 << "+202-04-17" << QDate();
    QTest::newRow("too long") << "1." + QString(40, u'1') << 0.0 << "20260417" << QDate();
    QTest::newRow("no-break spaces around") << "\u00a01.5\u00a0" << 1.5 << "2026-04-17\u00a0" << QDate();
    QTest::newRow("a digit of another script") << "1.\u0665" << 0.0 << "2026-4-16" << QDate();
}

void TestReferenceRates::fields()
{
    QFETCH(QString, rate);
    QFETCH(double, value);
    QFETCH(QString, day);
    QFETCH(QDate, date);

    const std::optional<double> read = readRate(rate);
    QCOMPARE(read.has_value(), value != 0);
    if (read)
        QCOMPARE(*read, value);
    // The same rule on the bytes of a CSV field.
    const QByteArray bytes = rate.toLatin1();
    if (QString::fromLatin1(bytes) == rate)
        QCOMPARE(readRate(QByteArrayView(bytes)), read);
    QCOMPARE(readDay(day), date);
}

void TestReferenceRates::siblingUrl_data()
{
    QTest::addColumn<QString>("daily");
    QTest::addColumn<QString>("folder"); // of the history files
    QTest::newRow("the bank's address") << "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml"
                                        << "https://www.ecb.europa.eu/stats/eurofxref/";
    QTest::newRow("port, query and fragment") << "http://127.0.0.1:8080/a/b/oggi.xml?x=1#y"
                                              << "http://127.0.0.1:8080/a/b/";
    QTest::newRow("a folder") << "http://host/cambi/"
                              << "http://host/cambi/";
    QTest::newRow("no path") << "http://host"
                             << "http://host/";
}

void TestReferenceRates::siblingUrl()
{
    QFETCH(QString, daily);
    QFETCH(QString, folder);
    QCOMPARE(ninetyDayUrl(QUrl(daily)).toString(), folder + "eurofxref-hist-90d.xml");
    QCOMPARE(fullHistoryUrl(QUrl(daily)).toString(), folder + "eurofxref-hist.xml");
}

// Weekdays strictly between two days; the history lacks days when there is one; the daily file is
// stale past three.
void TestReferenceRates::weekdaysBetween_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<qint64>("weekdays");
    QTest::addColumn<bool>("lacks");
    QTest::addColumn<bool>("stale");
    const auto row = [](const char *tag, QDate from, QDate to, qint64 weekdays, bool lacks, bool stale) {
        QTest::newRow(tag) << from << to << weekdays << lacks << stale;
    };
    row("Fri to Mon: a weekend", d("2026-04-17"), d("2026-04-20"), 0, false, false);
    row("Thu to Mon: the Friday", d("2026-04-16"), d("2026-04-20"), 1, true, false);
    row("Mon to Fri: three between", d("2026-04-13"), d("2026-04-17"), 3, true, false);
    row("Fri to Fri: four between", d("2026-04-10"), d("2026-04-17"), 4, true, true);
    row("backwards", d("2026-04-17"), d("2026-04-10"), 0, false, false);
    row("Mon to Tue two weeks later", d("2026-04-13"), d("2026-04-28"), 10, true, true);
    row("Mon 5 Jan to Mon 20 Apr", d("2026-01-05"), d("2026-04-20"), 74, true, true);
    row("Christmas: Wed 24 to Mon 29", d("2025-12-24"), d("2025-12-29"), 2, true, false);
    row("nothing stored", QDate(), d("2026-04-17"), 0, true, false);
}

void TestReferenceRates::weekdaysBetween()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QTEST(weekdaysStrictlyBetween(from, to), "weekdays");
    QTEST(lacksDays(from, to), "lacks");
    QTEST(isStale(from, to), "stale");
}

void TestReferenceRates::historyFile_data()
{
    QTest::addColumn<QDate>("daily");
    QTest::addColumn<Dates>("newest");
    QTest::addColumn<HistoryFile>("file");

    // Fri 17 Apr 2026 less 85 days is Thu 22 Jan; Mon 20 Apr less 85 days is Sun 25 Jan.
    const QDate friday = d("2026-04-17");
    const QDate monday = d("2026-04-20");
    QTest::newRow("Monday's file, Friday stored") << monday << Dates{friday} << HistoryFile::None;
    QTest::newRow("no pair") << friday << Dates{} << HistoryFile::None;
    QTest::newRow("one day missing") << friday << Dates{d("2026-04-16"), d("2026-04-15")}
                                     << HistoryFile::NinetyDays;
    QTest::newRow("first missing day on the reach")
        << friday << Dates{d("2026-01-21")} << HistoryFile::NinetyDays;
    QTest::newRow("first missing day past the reach")
        << friday << Dates{d("2026-01-20")} << HistoryFile::Full;
    QTest::newRow("reach on a Sunday, first missing the Monday after")
        << monday << Dates{d("2026-01-23")} << HistoryFile::NinetyDays;
    QTest::newRow("one pair far behind")
        << friday << Dates{d("2026-04-15"), d("2025-12-31")} << HistoryFile::Full;
    QTest::newRow("a pair never stored") << friday << Dates{d("2026-04-16"), QDate()} << HistoryFile::Full;
    QTest::newRow("no daily day") << QDate() << Dates{QDate()} << HistoryFile::None;
}

void TestReferenceRates::historyFile()
{
    QFETCH(QDate, daily);
    QFETCH(Dates, newest);
    QFETCH(HistoryFile, file);
    QCOMPARE(historyFileFor(daily, newest), file);
}

QUOTAZIONI_TEST_MAIN(TestReferenceRates)
#include "tst_referencerates.moc"
