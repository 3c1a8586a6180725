#include "chart/chartframe.h"
#include "chart/chartgeometry.h"
#include "chart/charttooltip.h"
#include "common/testmain.h"

#include <QDate>
#include <QImage>
#include <QToolTip>

namespace {
const QString usdSelector = QStringLiteral("EUR/USD DOLLARO USA - 1");
const QColor yellow(255, 255, 0);

// A record-list line: date (1-10), " -", the 7-character quote field (13-19), " - ", the code (23-).
QString listLine(int day, const QString &field, const QString &code = QStringLiteral("EUR/USD"))
{
    return QDate(2003, 1, 1).addDays(day).toString("dd-MM-yyyy") + " -" + field + " - " + code;
}

// n lines of the pair, the quotes rising by 0,0010 from 1,0000, so the last is the largest.
QStringList points(int n)
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << listLine(i, ' ' + QString::number(1.0 + i / 1000.0, 'f', 4).replace('.', ','));
    return lines;
}
} // namespace

class TestChart : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layout_data();
    void layout();
    void pointValues_data();
    void pointValues();
    void filters_data();
    void filters();
    void members_data();
    void members();
    void toolTip_data();
    void toolTip();
    void hover();
    void gridLabelBackground_data();
    void gridLabelBackground();
};

void TestChart::layout_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QList<double>>("spacing"); // bar margin, trim
    QTest::addColumn<double>("barWidth");       // as computed from the frame width
    QTest::addColumn<int>("captionWidth");
    QTest::addColumn<bool>("columns"); // one bar per pixel column
    QTest::addColumn<int>("bars");
    QTest::addColumn<double>("width");
    const auto add = [](const char *name, int n, double margin, double trim, double barWidth,
                        int captionWidth, bool columns = false, int bars = -1, double width = 8415) {
        QTest::newRow(name) << n << QList<double>{margin, trim} << barWidth << captionWidth << columns
                            << (bars < 0 ? n : bars) << width;
    };
    add("worked example", 10, 48, 20, 773.5, 10);
    add("empty", 0, 0, 0, 0, 0);
    add("one point passes the edge", 1, 48, 20, 8415.0 - 68, 10);
    add("12", 12, 48, 20, 8415.0 / 12 - 68, 10);
    add("13", 13, 48, 20, 8415.0 / 13 - 68, 5);
    add("15", 15, 48, 20, 8415.0 / 15 - 68, 5);
    add("16", 16, 48, 20, 8415.0 / 16 - 68, 2);
    add("19", 19, 48, 20, 8415.0 / 19 - 68, 2);
    add("20", 20, 48, 10, 8415.0 / 20 - 58, 2);
    add("29", 29, 48, 10, 8415.0 / 29 - 58, 2);
    add("30", 30, 43, 10, 8415.0 / 30 - 53, 2);
    add("69", 69, 43, 10, 8415.0 / 69 - 53, 2);
    add("70", 70, 43, 10, 8415.0 / 70 - 53, 0);
    add("158: last positive width", 158, 43, 10, 8415.0 / 158 - 53, 0);
    add("159: width would be negative", 159, 43, 10, 8415.0 / 159 - 53, 0, true);
    add("1001 on a wide frame: a bar each", 1001, 43, 10, 60000.0 / 1001 - 53, 0, true, 1001, 60000);
    add("5000: one bar per pixel column", 5000, 43, 10, 8415.0 / 5000 - 53, 0, true, (8415 - 100 - 120) / 15);
    add("narrower than the margins", 40, 43, 10, 150.0 / 40 - 53, 2, true, 1, 150);
}

void TestChart::layout()
{
    QFETCH(int, n);
    QFETCH(int, captionWidth);
    QFETCH(double, width);
    const QStringList lines = points(n);
    const ChartGeometry g = computeChart(lines, usdSelector, {}, {}, width, 2895);
    QCOMPARE(g.n, n);
    QTEST(QList<double>({g.barMargin, g.trim}), "spacing");
    QTEST(g.barWidth, "barWidth");
    QTEST(g.columnLayout, "columns");
    QTEST(int(g.bars.size()), "bars");
    double end = 120; // from the template's left, left to right without overlap
    for (int k = 0; k < g.bars.size(); ++k) {
        const ChartBar &bar = g.bars[k];
        const ChartCover &cover = g.covers[k];
        const ChartLabel &label = g.dateLabels[k];
        const QString &line = lines[bar.point - 1];
        QCOMPARE(bar.line, bar.point - 1);
        if (!g.columnLayout)
            QCOMPARE(QPointF(bar.x, bar.width), QPointF(120 + (g.barWidth + 44) * k, g.barWidth));
        QVERIFY(bar.width > 0 && bar.x >= end - 1e-6 && bar.fill == yellow);
        end = bar.x + bar.width;
        QCOMPARE(
            QList<double>(
                {bar.top, bar.height, cover.x, cover.top, cover.width, cover.height, label.x, label.top}),
            QList<double>({170, 2535, bar.x, 170, bar.width, 2535.0 / 100 * cover.percent, bar.x, 2715}));
        QCOMPARE(bar.value, 1.0 + double(bar.point - 1) / 1000); // the quotes rise by 0,0010 from 1,0000
        QCOMPARE(label.caption, line.left(captionWidth));
    }
    if (g.columnLayout)
        QVERIFY(end <= std::max(width - 100, 135.0) + 1e-6);
    if (n > 0) // the last point always shows, as the largest
        QCOMPARE(QList<double>({g.bars.first().x, double(g.bars.last().point), g.covers.last().percent}),
                 QList<double>({120, double(n), 30}));
    const double ys[] = {873.75, 1507.5, 2141.25};
    for (int j = 0; j < 3; ++j) {
        QCOMPARE(QList<double>({g.gridLines[j].y, g.gridLines[j].x1, g.gridLines[j].x2, g.gridLabels[j].x,
                                g.gridLabels[j].top}),
                 QList<double>({ys[j], 50, width - 100, width - 395, ys[j]}));
        QCOMPARE(g.gridLabels[j].caption, QStringList({"75%", "50%", "25%"})[j]);
    }
}

void TestChart::pointValues_data()
{
    QTest::addColumn<QString>("field"); // characters 13-19 of a list line
    QTest::addColumn<double>("largest");
    QTest::addColumn<QList<double>>("result"); // the value, the percent of the bar its cover hides
    const auto add = [](const char *name, const char *field, double largest, double value, double percent) {
        QTest::newRow(name) << QString::fromLatin1(field) << largest << QList<double>{value, percent};
    };
    add("1,1234, the largest", " 1,1234", 1.1234, 1.1234, 30);
    add("comma first", ",9876  ", 0.9876, 0.9876, 30);
    add("86 %", " 0,86  ", 1, 0.86, 100);
    add("92 %", " 0,92  ", 1, 0.92, 70);
    add("no comma", " 120000", 120000, 120000, 30);
    add("second comma stops", " 1,2,34", 1.2, 1.2, 30);
    add("blanks inside ignored", " 1 2,5 ", 12.5, 12.5, 30);
    add("sign, clamped", " -1,500", 1, -1.5, 100);
    add("beyond a double, largest 0", " 9E+999", 0, 0, 0);
    add("no number, largest 0", " abcdef", 0, 0, 0);
    add("line ends early", " 1,", 1, 1, 30);
}

void TestChart::pointValues()
{
    QFETCH(QString, field);
    QFETCH(double, largest);
    const double value = ChartPoints::quoteValue(QStringLiteral("01-01-2003 -") + field);
    QTEST(QList<double>({value, ChartPoints::coverPercent(value, largest)}), "result");
}

void TestChart::filters_data()
{
    QTest::addColumn<QStringList>("boxes"); // selector, from, to
    QTest::addColumn<QList<int>>("days");   // lines charted, by day number
    QTest::addColumn<QColor>("fill");
    const auto add = [](const char *name, const QStringList &boxes, const QList<int> &days,
                        const QColor &fill = yellow) { QTest::newRow(name) << boxes << days << fill; };
    // Days 0 (01-01-2003), 1, 2 (03-01-2003) and 3 of EUR/USD; 4 of EUR/GBP; 5 and 6 with no code.
    const QColor pale(255, 255, 100);
    add("both boxes, ends inclusive", {usdSelector, "02/01/2003", "03/01/2003"}, {1, 2});
    add("blanks around the dates", {usdSelector, " 02/01/2003 ", "02/01/2003  "}, {1});
    add("reversed range", {usdSelector, "03/01/2003", "02/01/2003"}, {});
    add("only from", {usdSelector, "02/01/2003", ""}, {0, 1, 2, 3});
    add("only to", {usdSelector, "   ", "02/01/2003"}, {0, 1, 2, 3});
    add("other pair, leading blanks", {"  EUR/GBP STERLINA - 4", "", ""}, {4});
    add("case-sensitive", {"eur/usd", "", ""}, {});
    add("blanks selector", {"    ", "01/01/2003", "31/12/2003"}, {5, 6}, pale);
}

void TestChart::filters()
{
    QFETCH(QStringList, boxes);
    QFETCH(QColor, fill);
    QStringList lines = points(4);
    lines << listLine(4, " 0,7000", "EUR/GBP") << listLine(5, " 9,0000", QString()) << QString()
          << listLine(6, " 8,0000", "       ") << QStringLiteral("   ");
    const ChartGeometry g = computeChart(lines, boxes[0], boxes[1], boxes[2], 8415, 2895);
    QList<int> days; // from the labels (all in January); -1 for a bar of another colour
    for (int k = 0; k < g.bars.size(); ++k)
        days << (g.bars[k].fill == fill ? g.dateLabels[k].caption.left(2).toInt() - 1 : -1);
    QTEST(days, "days");
}

void TestChart::members_data()
{
    QTest::addColumn<QList<int>>("drawings");
    QTest::addColumn<QList<int>>("bars"); // members after each drawing
    QTest::newRow("same data, fewer, none, some, none")
        << QList<int>{10, 10, 3, 0, 4, 0} << QList<int>{10, 10, 3, 0, 4, 0};
    // 8415 twips less the grid's 100 and the template's 120 hold 546 one-pixel columns.
    QTest::newRow("crowded then few") << QList<int>{5000, 2} << QList<int>{546, 2};
}

void TestChart::members()
{
    QFETCH(QList<int>, drawings);
    QFETCH(QList<int>, bars);
    ChartFrame frame;
    frame.resize(561, 193); // 8415 by 2895 twips
    qsizetype previous = 0;
    for (qsizetype d = 0; d < drawings.size(); ++d) {
        const int n = drawings[d];
        frame.draw(points(n), usdSelector, {}, {});
        QVERIFY(frame.isVisible());
        const ChartGeometry &g = frame.geometry();
        const auto &m = frame.members();
        const qsizetype shown = bars[d];
        QCOMPARE(QList<qsizetype>({m.lastRemoved(), m.BarCount(), m.barMembers(), g.bars.size(),
                                   g.covers.size(), g.dateLabels.size(), m.gridCreations()}),
                 QList<qsizetype>({previous, n, shown, shown, shown, shown, 1}));
        previous = shown;
        if (shown == 0)
            continue;
        // The last bar is the largest: navy over its top 30 %, yellow below.
        const QImage image = frame.grab().toImage();
        const ChartBar &bar = g.bars.last();
        const int x = int((bar.x + bar.width / 2) / 15);
        QCOMPARE(image.pixelColor(x, int((bar.top + bar.height * 0.9) / 15)), yellow);
        QCOMPARE(image.pixelColor(x, int((bar.top + bar.height * 0.1) / 15)), QColor(0, 0, 128));
    }
    frame.resize(400, 150);
    frame.redraw();
    QCOMPARE(frame.geometry().gridLines[0].x2, 6000.0 - 100); // follows the new size
    QCOMPARE(frame.members().lastRemoved(), previous);
}

void TestChart::toolTip_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QPoint>("pixel"); // on a frame of 8415 twips (561 pixels)
    QTest::addColumn<QString>("text");
    const QStringList ten = points(10);
    const QStringList crowded = points(5000);
    // Ten bars 773.5 twips wide every 817.5 from 120, from 170 to 2705 down: the third covers
    // pixels 117 to 168 across, 11 to 179 down (the hover test points into it).
    QTest::newRow("its left edge") << ten << QPoint(117, 100) << "03/01/2003: 1,0020";
    QTest::newRow("its cover") << ten << QPoint(140, 11) << "03/01/2003: 1,0020";
    QTest::newRow("gap after it") << ten << QPoint(170, 100) << "";
    QTest::newRow("above the bars") << ten << QPoint(140, 10) << "";
    QTest::newRow("below the bars") << ten << QPoint(140, 180) << "";
    QTest::newRow("left of the first") << ten << QPoint(7, 100) << "";
    // 5000 points in 546 columns of about one pixel from pixel 8: column c shows the last of its
    // points, the point numbered ((c + 1) * 5000 - 1) / 546 + 1.
    QTest::newRow("first column shows point 10") << crowded << QPoint(8, 100) << "10/01/2003: 1,0090";
    QTest::newRow("second column shows point 19") << crowded << QPoint(9, 100) << "19/01/2003: 1,0180";
    QTest::newRow("last column shows the last point") << crowded << QPoint(553, 100) << "08/09/2016: 5,9990";
    QTest::newRow("past the last column") << crowded << QPoint(555, 100) << "";
    QTest::newRow("a yen quote") << QStringList{"27-02-2024 - 160,12 - EUR/JPY"} << QPoint(8, 100)
                                 << "27/02/2024: 160,12";
}

void TestChart::toolTip()
{
    QFETCH(QStringList, lines);
    QFETCH(QPoint, pixel);
    const QString selector = lines.first().mid(22);
    const ChartGeometry g = computeChart(lines, selector, {}, {}, 8415, 2895);
    QTEST(ChartToolTip::textAt(g, lines, pixel), "text");
}

// The frame shows the text of the bar under the mouse.
void TestChart::hover()
{
    QWidget window;
    window.resize(600, 220);
    auto *frame = new ChartFrame(&window);
    frame->setGeometry(0, 0, 561, 193);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frame->draw(points(10), usdSelector, {}, {});
    QTest::mouseMove(frame, QPoint(139, 99));
    QTest::mouseMove(frame, QPoint(140, 100));
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("03/01/2003: 1,0020"));
    QToolTip::hideText();
}

void TestChart::gridLabelBackground_data()
{
    QTest::addColumn<QPoint>("pixel");   // just left of the caption, below its grid line
    QTest::addColumn<QColor>("without"); // what lies there under the label
    // Ten rising quotes: the last bar, pixels 498 to 549, is navy down to pixel 62, yellow below;
    // the labels start at pixel 535 (8020 twips), their tops on the lines at 58, 100 and 143.
    QTest::newRow("75% over a cover") << QPoint(534, 61) << QColor(0, 0, 128);
    QTest::newRow("50% over a bar") << QPoint(534, 103) << QColor(255, 255, 0);
    QTest::newRow("25% over a bar") << QPoint(534, 146) << QColor(255, 255, 0);
}

void TestChart::gridLabelBackground()
{
    QFETCH(QPoint, pixel);
    ChartFrame frame;
    frame.resize(561, 193);
    frame.draw(points(10), usdSelector, {}, {});
    const QImage image = frame.grab().toImage();
    QCOMPARE(image.pixelColor(pixel), QColor(255, 255, 255));
    QTEST(image.pixelColor(pixel + QPoint(-8, 0)), "without");
    int dark = 0; // the caption is still painted over its background
    for (int x = pixel.x() + 1; x < pixel.x() + 20; ++x)
        for (int y = pixel.y() - 3; y < pixel.y() + 6; ++y)
            dark += image.pixelColor(x, y).lightness() < 100;
    QVERIFY(dark > 0);
}

QUOTAZIONI_TEST_MAIN(TestChart)
#include "tst_chart.moc"
