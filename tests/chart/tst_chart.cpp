#include "chartframe.h"
#include "chartgeometry.h"
#include "chartmembers.h"
#include "testmain.h"

#include <QDate>
#include <QImage>

namespace {

const QString usdSelector = QStringLiteral("EUR/USD DOLLARO USA - 1");

// A record-list line: date (1-10), " -", the 7-character quote field (13-19), " - ", the code (23-).
QString listLine(int day, const QString &field, const QString &code = QStringLiteral("EUR/USD"))
{
    const QString date = QDate(2003, 1, 1).addDays(day).toString(QStringLiteral("dd-MM-yyyy"));
    return date + QStringLiteral(" -") + field + QStringLiteral(" - ") + code;
}

// n lines of the pair, the quotes rising by 0,0010 from 1,0000, so the last is the largest.
QStringList points(int n, const QString &code = QStringLiteral("EUR/USD"))
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << listLine(i, QLatin1Char(' ') + QString::number(1.0 + i / 1000.0, 'f', 4).replace('.', ','),
                          code);
    return lines;
}

ChartGeometry chart(const QStringList &lines, double width = 8415, const QString &selector = usdSelector)
{
    return computeChart(lines, selector, {}, {}, width, 2895);
}

QStringList captions(const ChartGeometry &g)
{
    QStringList result;
    for (const ChartLabel &label : g.dateLabels)
        result << label.caption;
    return result;
}

} // namespace

class TestChart : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layout_data();
    void layout();
    void quoteField_data();
    void quoteField();
    void coverPercent_data();
    void coverPercent();
    void filters_data();
    void filters();
    void members_data();
    void members();
    void crowded_data();
    void crowded();
    void frameShowsAndPaints();
};

void TestChart::layout_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("margin");
    QTest::addColumn<double>("trim");
    QTest::addColumn<double>("barWidth");
    QTest::addColumn<int>("captionWidth");
    QTest::newRow("worked example") << 10 << 8415.0 << 48.0 << 20.0 << 773.5 << 10;
    QTest::newRow("window 8000 by 6000") << 10 << 7795.0 << 48.0 << 20.0 << 711.5 << 10;
    QTest::newRow("empty") << 0 << 8415.0 << 0.0 << 0.0 << 0.0 << 0;
    QTest::newRow("one point passes the edge") << 1 << 8415.0 << 48.0 << 20.0 << 8415.0 - 68 << 10;
    QTest::newRow("12") << 12 << 8415.0 << 48.0 << 20.0 << 8415.0 / 12 - 68 << 10;
    QTest::newRow("13") << 13 << 8415.0 << 48.0 << 20.0 << 8415.0 / 13 - 68 << 5;
    QTest::newRow("15") << 15 << 8415.0 << 48.0 << 20.0 << 8415.0 / 15 - 68 << 5;
    QTest::newRow("16") << 16 << 8415.0 << 48.0 << 20.0 << 8415.0 / 16 - 68 << 2;
    QTest::newRow("19") << 19 << 8415.0 << 48.0 << 20.0 << 8415.0 / 19 - 68 << 2;
    QTest::newRow("20") << 20 << 8415.0 << 48.0 << 10.0 << 8415.0 / 20 - 58 << 2;
    QTest::newRow("29") << 29 << 8415.0 << 48.0 << 10.0 << 8415.0 / 29 - 58 << 2;
    QTest::newRow("30") << 30 << 8415.0 << 43.0 << 10.0 << 8415.0 / 30 - 53 << 2;
    QTest::newRow("69") << 69 << 8415.0 << 43.0 << 10.0 << 8415.0 / 69 - 53 << 2;
    QTest::newRow("70") << 70 << 8415.0 << 43.0 << 10.0 << 8415.0 / 70 - 53 << 0;
}

void TestChart::layout()
{
    QFETCH(int, n);
    QFETCH(double, width);
    QFETCH(double, margin);
    QFETCH(double, trim);
    QFETCH(double, barWidth);
    QFETCH(int, captionWidth);
    const QStringList lines = points(n);
    const ChartGeometry g = chart(lines, width);
    QCOMPARE(g.n, n);
    QCOMPARE(g.barMargin, margin);
    QCOMPARE(g.trim, trim);
    QVERIFY(qAbs(g.barWidth - barWidth) < 1e-9);
    QVERIFY(!g.columnLayout);
    QCOMPARE(g.bars.size(), n);
    for (int k = 0; k < n; ++k) {
        const ChartBar &bar = g.bars[k];
        QCOMPARE(bar.x, 120 + (g.barWidth + 44) * k);
        QCOMPARE(QList<double>({bar.top, bar.width, bar.height}), QList<double>({170, g.barWidth, 2535}));
        QCOMPARE(bar.fill, QColor(255, 255, 0));
        const ChartCover &cover = g.covers[k];
        QCOMPARE(QList<double>({cover.x, cover.top, cover.width}), QList<double>({bar.x, 170, g.barWidth}));
        QCOMPARE(cover.height, 2535.0 / 100 * cover.percent);
        QCOMPARE(g.dateLabels[k].x, bar.x);
        QCOMPARE(g.dateLabels[k].top, 2715.0);
        QCOMPARE(g.dateLabels[k].caption, lines[k].left(captionWidth));
    }
    if (n > 0)
        QCOMPARE(g.covers.last().percent, 30.0);
    if (n == 10 && width == 8415) // the worked example's last bar
        QCOMPARE(g.bars.last().x, 7477.5);
    const double ys[] = {873.75, 1507.5, 2141.25};
    const QString gridCaptions[] = {"75%", "50%", "25%"};
    for (int j = 0; j < 3; ++j) {
        QCOMPARE(QList<double>({g.gridLines[j].y, g.gridLines[j].x1, g.gridLines[j].x2}),
                 QList<double>({ys[j], 50, width - 100}));
        QCOMPARE(g.gridLabels[j].caption, gridCaptions[j]);
        QCOMPARE(QList<double>({g.gridLabels[j].x, g.gridLabels[j].top}),
                 QList<double>({width - 395, ys[j]}));
    }
}

void TestChart::quoteField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::newRow("1,1234") << " 1,1234" << 1.1234;
    QTest::newRow("118,45") << " 118,45" << 118.45;
    QTest::newRow("comma first") << ",9876  " << 0.9876;
    QTest::newRow("no comma") << " 120000" << 120000.0;
    QTest::newRow("second comma stops") << " 1,2,34" << 1.2;
    QTest::newRow("blanks inside ignored") << " 1 2,5 " << 12.5;
    QTest::newRow("no number") << " abcdef" << 0.0;
    QTest::newRow("sign") << " -1,500" << -1.5;
    QTest::newRow("exponent") << " 1,5E+2" << 150.0;
    QTest::newRow("beyond a double") << " 9E+999" << 0.0;
    QTest::newRow("line ends early") << " 1," << 1.0;
}

void TestChart::quoteField()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    QCOMPARE(ChartPoints::quoteValue(QStringLiteral("01-01-2003 -") + field), value);
}

void TestChart::coverPercent_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("largest");
    QTest::addColumn<double>("percent");
    QTest::newRow("largest") << 1.25 << 1.25 << 30.0;
    QTest::newRow("86 %") << 0.86 << 1.0 << 100.0;
    QTest::newRow("92 %") << 0.92 << 1.0 << 70.0;
    QTest::newRow("negative, clamped") << -3.0 << 1.0 << 100.0;
    QTest::newRow("largest double") << 1e308 << 1e308 << 30.0;
    QTest::newRow("largest 0") << 0.0 << 0.0 << 0.0;
    QTest::newRow("largest 0, negative value") << -1.0 << 0.0 << 0.0;
}

void TestChart::coverPercent()
{
    QFETCH(double, value);
    QFETCH(double, largest);
    QFETCH(double, percent);
    QCOMPARE(ChartPoints::coverPercent(value, largest), percent);
}

void TestChart::filters_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QList<int>>("days"); // lines charted, by day number
    QTest::addColumn<QColor>("fill");
    const QColor yellow(255, 255, 0);
    const QColor pale(255, 255, 100);
    // Days 0 (01-01-2003), 1, 2 (03-01-2003) and 3 of EUR/USD; 4 of EUR/GBP; 5 and 6 with no code.
    QTest::newRow("both boxes, ends inclusive") << usdSelector << "02/01/2003"
                                                << "03/01/2003" << QList{1, 2} << yellow;
    QTest::newRow("blanks around the dates") << usdSelector << " 02/01/2003 "
                                             << "02/01/2003  " << QList{1} << yellow;
    QTest::newRow("reversed range") << usdSelector << "03/01/2003"
                                    << "02/01/2003" << QList<int>{} << yellow;
    QTest::newRow("only from") << usdSelector << "02/01/2003"
                               << "" << QList{0, 1, 2, 3} << yellow;
    QTest::newRow("only to") << usdSelector << "   "
                             << "02/01/2003" << QList{0, 1, 2, 3} << yellow;
    QTest::newRow("other pair, leading blanks") << "  EUR/GBP STERLINA - 4"
                                                << ""
                                                << "" << QList{4} << yellow;
    QTest::newRow("case-sensitive") << "eur/usd"
                                    << ""
                                    << "" << QList<int>{} << yellow;
    QTest::newRow("blank selector") << ""
                                    << ""
                                    << "" << QList{5, 6} << pale;
    QTest::newRow("blanks selector") << "    "
                                     << "01/01/2003"
                                     << "31/12/2003" << QList{5, 6} << pale;
}

void TestChart::filters()
{
    QFETCH(QString, selector);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QList<int>, days);
    QFETCH(QColor, fill);
    QStringList lines = points(4);
    lines << listLine(4, " 0,7000", "EUR/GBP") << listLine(5, " 9,0000", QString()) << QString()
          << listLine(6, " 8,0000", "       ") << QStringLiteral("   ");
    const ChartGeometry g = computeChart(lines, selector, from, to, 8415, 2895);
    QStringList expected;
    for (int day : days)
        expected << listLine(day, {}).left(10);
    QCOMPARE(captions(g), expected);
    for (const ChartBar &bar : g.bars)
        QCOMPARE(bar.fill, fill);
}

void TestChart::members_data()
{
    QTest::addColumn<QList<int>>("drawings");
    QTest::newRow("same data twice") << QList<int>{10, 10};
    QTest::newRow("5 then 3") << QList<int>{5, 3};
    QTest::newRow("none, 4, none") << QList<int>{0, 4, 0};
    QTest::newRow("crowded then few") << QList<int>{5000, 2};
}

void TestChart::members()
{
    QFETCH(QList<int>, drawings);
    ChartMembers members;
    QVERIFY(!members.gridExists());
    qsizetype previous = 0;
    for (int n : drawings) {
        const ChartGeometry g = chart(points(n));
        members.apply(g);
        QCOMPARE(members.lastRemoved(), previous);
        QCOMPARE(members.BarCount(), n);
        QCOMPARE(members.barMembers(), g.bars.size());
        QCOMPARE(g.covers.size(), g.bars.size());
        QCOMPARE(g.dateLabels.size(), g.bars.size());
        QCOMPARE(members.hasBarMember(g.bars.size()), !g.bars.isEmpty());
        for (qsizetype k = g.bars.size() + 1; k <= previous; ++k)
            QVERIFY(!members.hasBarMember(k));
        QCOMPARE(members.gridCreations(), 1);
        previous = g.bars.size();
    }
}

void TestChart::crowded_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("width");
    QTest::addColumn<bool>("columns");
    QTest::addColumn<int>("bars");
    QTest::newRow("158: last positive width") << 158 << 8415.0 << false << 158;
    QTest::newRow("159: width would be negative") << 159 << 8415.0 << true << 159;
    QTest::newRow("1001 on a wide frame: a bar each") << 1001 << 60000.0 << true << 1001;
    QTest::newRow("5000: one bar per pixel column") << 5000 << 8415.0 << true << (8415 - 100 - 120) / 15;
    QTest::newRow("narrower than the margins") << 40 << 150.0 << true << 1;
}

void TestChart::crowded()
{
    QFETCH(int, n);
    QFETCH(double, width);
    QFETCH(bool, columns);
    QFETCH(int, bars);
    const QStringList lines = points(n);
    const ChartGeometry g = chart(lines, width);
    QCOMPARE(g.n, n);
    QCOMPARE(g.columnLayout, columns);
    QCOMPARE(g.bars.size(), bars);
    double end = 120;
    for (const ChartBar &bar : g.bars) {
        QVERIFY(bar.width > 0);
        QVERIFY(bar.x >= end - 1e-6); // no overlap, left to right
        end = bar.x + bar.width;
    }
    QCOMPARE(g.bars.first().x, 120.0);
    if (columns)
        QVERIFY(end <= std::max(width - 100, 135.0) + 1e-6);
    // The last point always shows, with its own value.
    QCOMPARE(g.bars.last().point, n);
    QCOMPARE(g.bars.last().value, ChartPoints::quoteValue(lines.last()));
    QCOMPARE(g.covers.last().percent, 30.0);
}

void TestChart::frameShowsAndPaints()
{
    ChartFrame frame;
    frame.resize(561, 193); // 8415 by 2895 twips
    QVERIFY(!frame.isVisible());
    frame.draw(points(10), usdSelector, {}, {});
    QVERIFY(frame.isVisible());
    QCOMPARE(frame.geometry().barWidth, 773.5);

    // The last bar is the largest: navy over its top 30 %, yellow below.
    const QImage image = frame.grab().toImage();
    const ChartBar &bar = frame.geometry().bars.last();
    const int x = int((bar.x + bar.width / 2) / 15);
    QCOMPARE(image.pixelColor(x, int((bar.top + bar.height * 0.9) / 15)), QColor(255, 255, 0));
    QCOMPARE(image.pixelColor(x, int((bar.top + bar.height * 0.1) / 15)), QColor(0, 0, 128));

    frame.resize(400, 150);
    frame.redraw();
    QCOMPARE(frame.geometry().gridLines[0].x2, 6000.0 - 100);
    QCOMPARE(frame.members().lastRemoved(), 10);
    QCOMPARE(frame.members().gridCreations(), 1);
}

QUOTAZIONI_TEST_MAIN(TestChart)
#include "tst_chart.moc"
