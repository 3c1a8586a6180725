#include "chartframe.h"
#include "chartgeometry.h"
#include "chartmembers.h"
#include "testmain.h"

#include <QDate>
#include <QImage>

namespace {

const QString usd = QStringLiteral("EUR/USD");

// A record-list line: date (1-10), " -", the 7-character quote field (13-19), " - ", code (23-).
QString listLine(const QString &date, const QString &field, const QString &code = usd)
{
    return date + QStringLiteral(" -") + field + QStringLiteral(" - ") + code;
}

QString day(int i)
{
    return QDate(2003, 1, 1).addDays(i).toString(QStringLiteral("dd-MM-yyyy"));
}

// n lines of the pair, quotes rising from 1,0000 by 0,0010.
QStringList points(int n, const QString &code = usd)
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << listLine(
            day(i), QLatin1Char(' ') + QString::number(1.0 + i / 1000.0, 'f', 4).replace('.', ','), code);
    return lines;
}

ChartGeometry chart(const QStringList &lines, double width = 8415, double height = 2895,
                    const QString &combo = QStringLiteral("EUR/USD DOLLARO USA - 1"))
{
    return computeChart(lines, combo, {}, {}, width, height);
}

} // namespace

class TestChart : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tenPoints_data();
    void tenPoints();
    void byNumberOfPoints_data();
    void byNumberOfPoints();
    void quoteField_data();
    void quoteField();
    void coverPercent_data();
    void coverPercent();
    void dateFilter_data();
    void dateFilter();
    void selector_data();
    void selector();
    void members_data();
    void members();
    void emptyOrOnePoint_data();
    void emptyOrOnePoint();
    void largestValueZero();
    void crowdedPoints_data();
    void crowdedPoints();
    void frameShowsAndPaints();
};

void TestChart::tenPoints_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("barWidth");
    QTest::addColumn<double>("lastX");
    QTest::addColumn<double>("labelTop");
    QTest::addColumn<double>("gridEnd");
    QTest::addColumn<double>("gridLabelLeft");
    QTest::newRow("design size") << 8415.0 << 2895.0 << 773.5 << 7477.5 << 2715.0 << 8315.0 << 8020.0;
    QTest::newRow("window 8000 by 6000") << 7795.0 << 2300.0 << 711.5 << 6919.5 << 2120.0 << 7695.0 << 7400.0;
}

void TestChart::tenPoints()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, barWidth);
    QFETCH(double, lastX);
    QFETCH(double, labelTop);
    QFETCH(double, gridEnd);
    QFETCH(double, gridLabelLeft);
    const QStringList lines = points(10);
    const ChartGeometry g = chart(lines, width, height);
    QCOMPARE(g.n, 10);
    QVERIFY(!g.columnLayout);
    QCOMPARE(g.barWidth, barWidth);
    QCOMPARE(g.pitch, barWidth + 44);
    QCOMPARE(g.bars.size(), 10);
    QCOMPARE(g.covers.size(), 10);
    QCOMPARE(g.dateLabels.size(), 10);
    for (int k = 0; k < 10; ++k) {
        QCOMPARE(g.bars[k].x, 120 + (barWidth + 44) * k);
        QCOMPARE(g.bars[k].top, 170.0);
        QCOMPARE(g.bars[k].width, barWidth);
        QCOMPARE(g.bars[k].height, 2535.0);
        QCOMPARE(g.bars[k].fill, QColor(255, 255, 0));
        QCOMPARE(g.covers[k].x, g.bars[k].x);
        QCOMPARE(g.covers[k].top, 170.0);
        QCOMPARE(g.covers[k].width, barWidth);
        QCOMPARE(g.covers[k].height, 2535.0 / 100 * g.covers[k].percent);
        QCOMPARE(g.dateLabels[k].caption, lines[k].left(10));
        QCOMPARE(g.dateLabels[k].x, g.bars[k].x);
        QCOMPARE(g.dateLabels[k].top, labelTop);
    }
    QCOMPARE(g.bars.last().x, lastX);
    QCOMPARE(g.covers.last().percent, 30.0);
    const double ys[] = {873.75, 1507.5, 2141.25};
    const QString captions[] = {"75%", "50%", "25%"};
    for (int j = 0; j < 3; ++j) {
        QCOMPARE(g.gridLines[j].y, ys[j]);
        QCOMPARE(g.gridLines[j].x1, 50.0);
        QCOMPARE(g.gridLines[j].x2, gridEnd);
        QCOMPARE(g.gridLabels[j].caption, captions[j]);
        QCOMPARE(g.gridLabels[j].top, ys[j]);
        QCOMPARE(g.gridLabels[j].x, gridLabelLeft);
    }
}

void TestChart::byNumberOfPoints_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("captionWidth");
    QTest::addColumn<double>("margin");
    QTest::addColumn<double>("trim");
    QTest::newRow("12: whole dates") << 12 << 10 << 48.0 << 20.0;
    QTest::newRow("13: day and month") << 13 << 5 << 48.0 << 20.0;
    QTest::newRow("15: day and month") << 15 << 5 << 48.0 << 20.0;
    QTest::newRow("16: day") << 16 << 2 << 48.0 << 20.0;
    QTest::newRow("19: trim 20") << 19 << 2 << 48.0 << 20.0;
    QTest::newRow("20: trim 10") << 20 << 2 << 48.0 << 10.0;
    QTest::newRow("29: margin 48") << 29 << 2 << 48.0 << 10.0;
    QTest::newRow("30: margin 43") << 30 << 2 << 43.0 << 10.0;
    QTest::newRow("69: day") << 69 << 2 << 43.0 << 10.0;
    QTest::newRow("70: empty") << 70 << 0 << 43.0 << 10.0;
}

void TestChart::byNumberOfPoints()
{
    QFETCH(int, n);
    QFETCH(int, captionWidth);
    QFETCH(double, margin);
    QFETCH(double, trim);
    const QStringList lines = points(n);
    const ChartGeometry g = chart(lines);
    QCOMPARE(g.barMargin, margin);
    QCOMPARE(g.trim, trim);
    QCOMPARE(g.barWidth, (8415 - margin * n) / n - trim);
    QCOMPARE(g.dateLabels.size(), n);
    for (int k = 0; k < n; ++k)
        QCOMPARE(g.dateLabels[k].caption, lines[k].left(captionWidth));
}

void TestChart::quoteField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::newRow("1,1234") << " 1,1234" << 1.1234;
    QTest::newRow("118,45") << " 118,45" << 118.45;
    QTest::newRow("comma first") << ",9876  " << 0.9876;
    QTest::newRow("no comma") << " 120000" << 120000.0;
    QTest::newRow("stops at a second comma") << " 1,2,34" << 1.2;
    QTest::newRow("blanks inside are ignored") << " 1 2,5 " << 12.5;
    QTest::newRow("no number") << " abcdef" << 0.0;
    QTest::newRow("sign") << " -1,500" << -1.5;
    QTest::newRow("exponent") << " 1,5E+2" << 150.0;
    QTest::newRow("short line") << " 1," << 1.0;
}

void TestChart::quoteField()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    const QString line = QStringLiteral("01-01-2003 -") + field + (field.size() == 7 ? " - EUR/USD" : "");
    QCOMPARE(ChartPoints::quoteValue(line), value);
}

void TestChart::coverPercent_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("largest");
    QTest::addColumn<double>("percent");
    QTest::newRow("largest") << 1.25 << 1.25 << 30.0;
    QTest::newRow("86 %") << 0.86 << 1.0 << 100.0;
    QTest::newRow("92 %") << 0.92 << 1.0 << 70.0;
    QTest::newRow("half: clamped") << 0.5 << 1.0 << 100.0;
    QTest::newRow("negative: clamped") << -3.0 << 1.0 << 100.0;
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

void TestChart::dateFilter_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("dates");
    const QString all[] = {"31-12-2002", "01-01-2003", "15-06-2003", "31-12-2003", "01-01-2004"};
    QTest::newRow("both, boundaries inclusive") << "01/01/2003"
                                                << "31/12/2003" << QStringList{all[1], all[2], all[3]};
    QTest::newRow("both, blanks around") << " 01/01/2003 "
                                         << "31/12/2003  " << QStringList{all[1], all[2], all[3]};
    QTest::newRow("one day") << "15/06/2003"
                             << "15/06/2003" << QStringList{all[2]};
    QTest::newRow("reversed range") << "31/12/2003"
                                    << "01/01/2003" << QStringList{};
    QTest::newRow("only from") << "01/01/2003"
                               << "" << QStringList(std::begin(all), std::end(all));
    QTest::newRow("only to") << ""
                             << "31/12/2003" << QStringList(std::begin(all), std::end(all));
    QTest::newRow("to is blanks") << "01/01/2003"
                                  << "   " << QStringList(std::begin(all), std::end(all));
    QTest::newRow("neither") << ""
                             << "" << QStringList(std::begin(all), std::end(all));
}

void TestChart::dateFilter()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, dates);
    const QStringList lines{listLine("31-12-2002", " 1,0100"), listLine("01-01-2003", " 1,0200"),
                            listLine("15-06-2003", " 1,0300"), listLine("31-12-2003", " 1,0400"),
                            listLine("01-01-2004", " 1,0500")};
    const ChartGeometry g = computeChart(lines, usd, from, to, 8415, 2895);
    QStringList charted;
    for (const ChartLabel &label : g.dateLabels)
        charted << label.caption;
    QCOMPARE(charted, dates);
}

void TestChart::selector_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QColor>("fill");
    const QColor yellow(255, 255, 0);
    QTest::newRow("pair with description")
        << "EUR/USD DOLLARO USA - 1" << QStringList{"1.1", "1.3"} << yellow;
    QTest::newRow("leading blanks") << "   EUR/GBP STERLINA - 4" << QStringList{"0.7"} << yellow;
    QTest::newRow("case-sensitive") << "eur/usd" << QStringList{} << yellow;
    QTest::newRow("blank") << "" << QStringList{"9", "8"} << QColor(255, 255, 100);
    QTest::newRow("only blanks") << "    " << QStringList{"9", "8"} << QColor(255, 255, 100);
}

void TestChart::selector()
{
    QFETCH(QString, combo);
    QFETCH(QStringList, values);
    QFETCH(QColor, fill);
    const QStringList lines{listLine(day(0), " 1,1000"),
                            listLine(day(1), " 9,0000", QString()),
                            listLine(day(2), " 0,7000", "EUR/GBP"),
                            listLine(day(3), " 8,0000", "       "),
                            listLine(day(4), " 1,3000"),
                            QStringLiteral("   "),
                            QString()};
    const ChartGeometry g = chart(lines, 8415, 2895, combo);
    QStringList charted;
    for (const ChartBar &bar : g.bars) {
        charted << QString::number(bar.value);
        QCOMPARE(bar.fill, fill);
    }
    QCOMPARE(charted, values);
}

void TestChart::members_data()
{
    QTest::addColumn<QList<int>>("drawings");
    QTest::newRow("same data twice") << QList<int>{10, 10};
    QTest::newRow("5 then 3") << QList<int>{5, 3};
    QTest::newRow("none then 4 then none") << QList<int>{0, 4, 0};
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
        QVERIFY(!members.hasBarMember(0));
        QCOMPARE(members.hasBarMember(g.bars.size()), !g.bars.isEmpty());
        for (qsizetype k = g.bars.size() + 1; k <= previous; ++k)
            QVERIFY2(!members.hasBarMember(k), qPrintable(QString::number(k)));
        QVERIFY(members.gridExists());
        QCOMPARE(members.gridCreations(), 1);
        QCOMPARE(g.gridLines.size(), size_t(3));
        previous = g.bars.size();
    }
}

void TestChart::emptyOrOnePoint_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty list") << QStringList{};
    QTest::newRow("no line of the pair") << points(3, "EUR/CHF");
    QTest::newRow("one point") << points(1);
}

void TestChart::emptyOrOnePoint()
{
    QFETCH(QStringList, lines);
    const ChartGeometry g = chart(lines);
    const bool one = lines.size() == 1;
    QCOMPARE(g.n, one ? 1 : 0);
    QCOMPARE(g.bars.size(), g.n);
    QCOMPARE(g.dateLabels.size(), g.n);
    QCOMPARE(g.gridLines[2].y, 2141.25);
    QCOMPARE(g.gridLabels[2].caption, QStringLiteral("25%"));
    if (one) {
        QCOMPARE(g.bars[0].width, 8415.0 - 68);
        QCOMPARE(g.bars[0].x + g.bars[0].width, 8415.0 + 52);
        QCOMPARE(g.covers[0].percent, 30.0);
        QCOMPARE(g.dateLabels[0].caption, lines[0].left(10));
    }
}

void TestChart::largestValueZero()
{
    const QStringList lines{listLine(day(0), " 0,0000"), listLine(day(1), " abc   "),
                            listLine(day(2), " -1,000")};
    const ChartGeometry g = chart(lines);
    QCOMPARE(g.n, 3);
    QCOMPARE(g.largestValue, 0.0);
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(g.covers[k].height, 0.0);
        QCOMPARE(g.bars[k].height, 2535.0);
    }
}

void TestChart::crowdedPoints_data()
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

void TestChart::crowdedPoints()
{
    QFETCH(int, n);
    QFETCH(double, width);
    QFETCH(bool, columns);
    QFETCH(int, bars);
    const ChartGeometry g = chart(points(n), width);
    QCOMPARE(g.n, n);
    QCOMPARE(g.columnLayout, columns);
    QCOMPARE(g.bars.size(), bars);
    double end = 0;
    for (const ChartBar &bar : g.bars) {
        QVERIFY(bar.width > 0);
        QVERIFY(bar.x >= end - 1e-6);
        end = bar.x + bar.width;
    }
    QVERIFY(g.bars.first().x == 120);
    if (columns) {
        QVERIFY(end <= std::max(width - 100, 135.0) + 1e-6);
        QVERIFY(g.bars.first().width >= 15);
    }
    // Every point has a column, and the last point is always shown with its own value.
    QCOMPARE(g.bars.last().point, n);
    QCOMPARE(g.bars.last().value, ChartPoints::quoteValue(points(n).last()));
    QCOMPARE(g.covers.last().percent, 30.0);
}

void TestChart::frameShowsAndPaints()
{
    ChartFrame frame;
    frame.resize(561, 193); // 8415 by 2895 twips
    QVERIFY(!frame.isVisible());
    frame.draw(points(10), QStringLiteral("EUR/USD DOLLARO USA - 1"), {}, {});
    QVERIFY(frame.isVisible());
    QCOMPARE(frame.geometry().n, 10);
    QCOMPARE(frame.geometry().barWidth, 773.5);

    // The last bar holds the largest value: navy over its top 30 %, yellow below.
    const QImage image = frame.grab().toImage();
    const ChartBar &bar = frame.geometry().bars.last();
    const int x = int((bar.x + bar.width / 2) / 15);
    QCOMPARE(image.pixelColor(x, int((bar.top + bar.height * 0.9) / 15)), QColor(255, 255, 0));
    QCOMPARE(image.pixelColor(x, int((bar.top + bar.height * 0.1) / 15)), QColor(0, 0, 128));

    frame.resize(400, 150);
    frame.redraw();
    QCOMPARE(frame.geometry().gridLines[0].x2, 6000.0 - 100);
    QCOMPARE(frame.members().BarCount(), 10);
    QCOMPARE(frame.members().lastRemoved(), 10);
    QCOMPARE(frame.members().gridCreations(), 1);
}

QUOTAZIONI_TEST_MAIN(TestChart)
#include "tst_chart.moc"
