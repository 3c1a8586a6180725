#include "common/testmain.h"
#include "quotes/referencerates.h"

#include <QBuffer>

using namespace ReferenceRates;
using Dates = QList<QDate>;

namespace {

// The envelope as the bank opens it, on one line as in the history files.
const QByteArray kOpen = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><gesmes:Envelope "
                         "xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
                         "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">"
                         "<gesmes:subject>Reference rates</gesmes:subject><gesmes:Sender>"
                         "<gesmes:name>European Central Bank</gesmes:name></gesmes:Sender><Cube>";
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
    void stale_data();
    void stale();
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
          QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
                     "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">\n"
                     "\t<gesmes:subject>Reference rates</gesmes:subject>\n"
                     "\t<gesmes:Sender>\n\t\t<gesmes:name>European Central Bank</gesmes:name>\n"
                     "\t</gesmes:Sender>\n\t<Cube>\n\t\t<Cube time='2026-04-17'>\n"
                     "\t\t\t<Cube currency='USD' rate='1.1680'/>\n"
                     "\t\t\t<Cube currency='JPY' rate='186.70'/>\n"
                     "\t\t\t<Cube currency='GBP' rate='0.85620'/>\n"
                     "\t\t\t<Cube currency='CHF' rate='0.9310'/>\n"
                     "\t\t</Cube>\n\t</Cube>\n</gesmes:Envelope>\n"),
          "2026-04-17 USD=1.168 JPY=186.7 GBP=0.8562 CHF=0.931");
    reads("90-day file: one line per day, newest first, rate=\"1\", no final newline, CHF absent",
          document("<Cube time=\"2026-04-17\"><Cube currency=\"USD\" rate=\"1.1684\"/>"
                   "<Cube currency=\"CHF\" rate=\"0.9312\"/></Cube>\n"
                   "<Cube time=\"2026-04-16\"><Cube currency=\"USD\" rate=\"1\"/></Cube>\n"
                   "<Cube time=\"2026-04-15\"><Cube currency=\"USD\" rate=\"1.17\"/>"
                   "<Cube currency=\"CHF\" rate=\"0.93\"/></Cube>"),
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
    reads("invalid days give no rows, the rest is kept",
          document("<Cube time='2026-02-30'><Cube currency='USD' rate='1.10'/></Cube>"
                   "<Cube time='2026-4-16'><Cube currency='USD' rate='1.11'/></Cube>"
                   "<Cube time='1998-12-31'><Cube currency='USD' rate='1.12'/></Cube>"
                   "<Cube time=''><Cube currency='USD' rate='1.13'/></Cube>"
                   "<Cube><Cube currency='USD' rate='1.14'/></Cube>"
                   "<Cube time='2026-04-16T00:00'><Cube currency='USD' rate='1.15'/></Cube>"
                   "<Cube time='1999-01-04'><Cube currency='USD' rate='1.1789'/></Cube>"
                   "<Cube time='2026-04-17'><Cube currency='USD' rate='1.17'/></Cube>"),
          "1999-01-04 USD=1.1789 | 2026-04-17 USD=1.17");
    reads("invalid rates give no rows, the rest is kept",
          document("<Cube time='2026-04-17'>"
                   "<Cube currency='AAA' rate=''/><Cube currency='AAB' rate='abc'/>"
                   "<Cube currency='AAC' rate='0'/><Cube currency='AAD' rate='0.0000'/>"
                   "<Cube currency='AAE' rate='-1.2'/><Cube currency='AAF' rate='INF'/>"
                   "<Cube currency='AAG' rate='NaN'/><Cube currency='AAH' rate='1e3'/>"
                   "<Cube currency='AAI' rate='1,5'/><Cube currency='AAJ' rate='1.'/>"
                   "<Cube currency='AAK' rate='.5'/><Cube currency='AAL' rate='+1.5'/>"
                   "<Cube currency='AAM' rate='1" +
                   QByteArray(400, '0') +
                   "'/>"
                   "<Cube currency='AAN'/>"
                   "<Cube currency='usd' rate='1.1'/><Cube currency='US' rate='1.1'/>"
                   "<Cube currency='USDX' rate='1.1'/><Cube currency='' rate='1.1'/>"
                   "<Cube rate='1.1'/><Cube currency='US1' rate='1.1'/>"
                   "<Cube currency='GBP' rate='0.8562'/></Cube>"),
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
    refused("cut in the middle of a tag", whole.first(whole.indexOf("rate=")),
            prefix + "(riga 1, colonna 344): Premature end of document.");
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
    refused("a DTD without entities",
            "<!DOCTYPE gesmes:Envelope>" + whole.sliced(whole.indexOf("<gesmes:Envelope")),
            prefix + "(riga 1, colonna 26): il documento dichiara una DTD");
    refused("an undeclared entity",
            document("<Cube time='2026-04-17'><Cube currency='USD' rate='&uno;'/></Cube>"),
            prefix + "(riga 1, colonna 355): Entity 'uno' not declared.");
    refused("nested deeper than sixteen levels",
            document(day + QByteArray("<Cube>").repeated(15) + QByteArray("</Cube>").repeated(15)),
            prefix + "(riga 1, colonna 454): elementi annidati oltre 16 livelli");
    // 60 MiB of open elements: refused as soon as the nesting passes the bound, whatever follows.
    refused("60 MiB of nested cubes in the envelope", kOpen + QByteArray("<Cube>").repeated(10 * 1024 * 1024),
            prefix + "(riga 1, colonna 389): elementi annidati oltre 16 livelli");
    refused("60 MiB of nested elements of no namespace", QByteArray("<a>").repeated(20 * 1024 * 1024),
            prefix + "(riga 1, colonna 3): l'elemento radice non è gesmes:Envelope");
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

    QTest::newRow("history file") << document("") << true;
    QTest::newRow("byte-order mark, blanks, declaration")
        << QByteArray("\xEF\xBB\xBF \r\n\t<?xml version='1.0'?><x/>") << true;
    QTest::newRow("no declaration, the envelope's namespace")
        << QByteArray("<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\">") << true;
    QTest::newRow("no declaration, the cubes' namespace")
        << QByteArray("<e:Envelope xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">") << true;
    QTest::newRow("cut after the declaration") << QByteArray("<?xml vers") << true;
    QTest::newRow("legacy page")
        << QByteArray("<HTML><BODY>\r\nEUR/USD   1,0871 1,0899<BR>EUR/CHF 0,9412<BR></BODY></HTML>") << false;
    QTest::newRow("legacy page, bare text") << QByteArray("EUR/USD 1,0871<BR>") << false;
    QTest::newRow("HTML error page") << QByteArray("<!DOCTYPE html><html><body>404</body></html>") << false;
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
    QTest::newRow("overflow") << "9" + QString(320, u'9') << 0.0 << "2026-04-1x" << QDate();
    QTest::newRow("too long") << "1." + QString(40, u'1') << 0.0 << "20260417" << QDate();
    QTest::newRow("no-break spaces around") << "\u00a01.5\u00a0" << 1.5 << "2026-04-17\u00a0" << QDate();
    QTest::newRow("a digit of another script") << "1.\u0665" << 0.0 << "" << QDate();
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
    QTest::addColumn<QString>("ninetyDays");
    QTest::addColumn<QString>("full");

    QTest::newRow("the bank's address") << "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml"
                                        << "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-hist-90d.xml"
                                        << "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-hist.xml";
    QTest::newRow("port, query and fragment") << "http://127.0.0.1:8080/a/b/oggi.xml?x=1#y"
                                              << "http://127.0.0.1:8080/a/b/eurofxref-hist-90d.xml"
                                              << "http://127.0.0.1:8080/a/b/eurofxref-hist.xml";
    QTest::newRow("a folder") << "http://host/cambi/"
                              << "http://host/cambi/eurofxref-hist-90d.xml"
                              << "http://host/cambi/eurofxref-hist.xml";
    QTest::newRow("no path") << "http://host"
                             << "http://host/eurofxref-hist-90d.xml"
                             << "http://host/eurofxref-hist.xml";
}

void TestReferenceRates::siblingUrl()
{
    QFETCH(QString, daily);
    QFETCH(QString, ninetyDays);
    QFETCH(QString, full);
    QCOMPARE(ninetyDayUrl(QUrl(daily)).toString(), ninetyDays);
    QCOMPARE(fullHistoryUrl(QUrl(daily)).toString(), full);
}

void TestReferenceRates::weekdaysBetween_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<qint64>("weekdays");
    QTest::addColumn<bool>("lacks");

    QTest::newRow("Fri to Mon: a weekend") << d("2026-04-17") << d("2026-04-20") << 0LL << false;
    QTest::newRow("Thu to Fri: next day") << d("2026-04-16") << d("2026-04-17") << 0LL << false;
    QTest::newRow("same day") << d("2026-04-17") << d("2026-04-17") << 0LL << false;
    QTest::newRow("Thu to Mon: the Friday") << d("2026-04-16") << d("2026-04-20") << 1LL << true;
    QTest::newRow("Sat to Mon: the Sunday") << d("2026-04-18") << d("2026-04-20") << 0LL << false;
    QTest::newRow("Fri to Fri") << d("2026-04-10") << d("2026-04-17") << 4LL << true;
    QTest::newRow("backwards") << d("2026-04-17") << d("2026-04-10") << 0LL << false;
    QTest::newRow("Mon to Tue two weeks later") << d("2026-04-13") << d("2026-04-28") << 10LL << true;
    QTest::newRow("Mon 5 Jan to Mon 20 Apr") << d("2026-01-05") << d("2026-04-20") << 74LL << true;
    QTest::newRow("Christmas: Wed 24 to Mon 29") << d("2025-12-24") << d("2025-12-29") << 2LL << true;
    QTest::newRow("nothing stored") << QDate() << d("2026-04-17") << 0LL << true;
}

void TestReferenceRates::weekdaysBetween()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(qint64, weekdays);
    QFETCH(bool, lacks);
    QCOMPARE(weekdaysStrictlyBetween(from, to), weekdays);
    QCOMPARE(lacksDays(from, to), lacks);
}

void TestReferenceRates::historyFile_data()
{
    QTest::addColumn<QDate>("daily");
    QTest::addColumn<Dates>("newest");
    QTest::addColumn<HistoryFile>("file");

    // Fri 17 Apr 2026 less 85 days is Thu 22 Jan; Mon 20 Apr less 85 days is Sun 25 Jan.
    const QDate friday = d("2026-04-17");
    const QDate monday = d("2026-04-20");
    QTest::newRow("every pair up to the day before")
        << friday << Dates{d("2026-04-16"), d("2026-04-16")} << HistoryFile::None;
    QTest::newRow("the daily day stored") << friday << Dates{friday} << HistoryFile::None;
    QTest::newRow("newer than the daily file") << friday << Dates{monday} << HistoryFile::None;
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
    QTest::newRow("reach on a Sunday, first missing the Friday before")
        << monday << Dates{d("2026-01-22")} << HistoryFile::Full;
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

void TestReferenceRates::stale_data()
{
    QTest::addColumn<QDate>("newest");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<bool>("stale");

    QTest::newRow("today") << d("2026-04-17") << d("2026-04-17") << false;
    QTest::newRow("three weekdays between") << d("2026-04-13") << d("2026-04-17") << false;
    QTest::newRow("four weekdays between") << d("2026-04-10") << d("2026-04-17") << true;
    QTest::newRow("three weekdays and a weekend") << d("2026-04-14") << d("2026-04-20") << false;
    QTest::newRow("four weekdays and a weekend") << d("2026-04-14") << d("2026-04-21") << true;
    QTest::newRow("Christmas") << d("2025-12-24") << d("2025-12-29") << false;
    QTest::newRow("no day offered") << QDate() << d("2026-04-17") << false;
}

void TestReferenceRates::stale()
{
    QFETCH(QDate, newest);
    QFETCH(QDate, today);
    QFETCH(bool, stale);
    QCOMPARE(isStale(newest, today), stale);
}

QUOTAZIONI_TEST_MAIN(TestReferenceRates)
#include "tst_referencerates.moc"
