#include "chart/chartgeometry.h"

#include "base/twips.h"
#include "core/lenientnumber.h"
#include "core/pairsymbol.h"
#include "core/recordline.h"
#include "core/textrules.h"

#include <algorithm>
#include <vector>

namespace {

// Date keys are at most 8 characters: build them without allocating for every list line.
struct Key
{
    std::array<QChar, 8> chars{};
    qsizetype size = 0;

    void append(QStringView part)
    {
        for (QChar c : part)
            if (size < qsizetype(chars.size()))
                chars[size++] = c;
    }
    // By character codes, a shorter key before any longer one it begins.
    int compare(const Key &other) const
    {
        const qsizetype common = std::min(size, other.size);
        for (qsizetype i = 0; i < common; ++i)
            if (chars[i] != other.chars[i])
                return chars[i].unicode() < other.chars[i].unicode() ? -1 : 1;
        return size == other.size ? 0 : (size < other.size ? -1 : 1);
    }
};

Key keyOf(QStringView year, QStringView month, QStringView day)
{
    Key key;
    key.append(year);
    key.append(month);
    key.append(day);
    return key;
}

Key lineKeyOf(QStringView line)
{
    return keyOf(RecordLine::year(line), RecordLine::month(line), RecordLine::day(line));
}

// A dd/mm/yyyy date as typed, the year taken from the end.
Key typedKeyOf(const QString &date)
{
    const QStringView text = trimSpaces(date);
    return keyOf(text.right(4), text.mid(3, 2), text.left(2));
}

// Picks the list lines of the selected pair within the date range. A chart reads the list
// twice (how many points and their largest value, then the points themselves) rather than
// keeping a copy of every point: the list can be long.
class PointReader
{
public:
    PointReader(const QString &selector, const QString &fromDate, const QString &toDate)
        : m_selected(ChartPoints::selectedCurrency(selector)),
          m_filterDates(!trimSpaces(fromDate).isEmpty() && !trimSpaces(toDate).isEmpty()),
          m_from(typedKeyOf(fromDate)), m_to(typedKeyOf(toDate))
    {}

    bool accepts(QStringView line) const
    {
        if (trimSpaces(line).isEmpty())
            return false;
        if (m_filterDates) {
            const Key key = lineKeyOf(line);
            if (key.compare(m_from) < 0 || key.compare(m_to) > 0)
                return false;
        }
        return trimSpaces(RecordLine::code(line)) == m_selected;
    }

    // visit(value, index of the line) for every point, in list order.
    template <typename Visit> void forEach(const RecordList &lines, Visit visit) const
    {
        RecordList::LineBuffer buffer;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QStringView line = lines.line(i, buffer);
            if (accepts(line))
                visit(ChartPoints::quoteValue(line), i);
        }
    }

private:
    QString m_selected;
    bool m_filterDates;
    Key m_from;
    Key m_to;
};

} // namespace

namespace ChartPoints {

double quoteValue(QStringView line)
{
    // Beyond the range of a double counts as no number (0), so no infinity reaches the chart.
    return readLenientNumber(RecordLine::quoteField(line), {.commaIsPoint = true}).value;
}

QString selectedCurrency(const QString &selector)
{
    return trimSpaces(PairSymbol::of(trimSpaces(selector))).toString();
}

double coverPercent(double value, double largestValue)
{
    // The division by a largest value of 0 is the one step skipped: the percentage stays 0.
    if (largestValue == 0)
        return 0;
    // The ratio first: 100 times a quote near the largest double would overflow.
    const double c = 100 - 5 * (100 * (value / largestValue)) + 100 * 4.3;
    return std::clamp(c, 0.0, 100.0);
}

QString dateCaption(QStringView date, qsizetype n)
{
    qsizetype width = 0;
    if (n <= 12)
        width = 10;
    else if (n <= 15)
        width = 5;
    else if (n <= 69)
        width = 2;
    return date.left(width).toString().leftJustified(width, QLatin1Char(' '));
}

} // namespace ChartPoints

namespace {

struct ChartPoint
{
    double value = 0;
    qsizetype line = 0; // index in the list lines
};

struct Placement
{
    double x;
    double width;
};

void addPoint(ChartGeometry &chart, const RecordList &lines, const ChartPoint &point, qsizetype number,
              const Placement &place, double frameHeight, const ChartTemplate &shapes, const QColor &fill)
{
    const double top = shapes.barTop - 70;
    const double c = ChartPoints::coverPercent(point.value, chart.largestValue);
    chart.bars.append({place.x, top, place.width, shapes.barHeight, fill, point.value, number, point.line});
    chart.covers.append({place.x, top, place.width, shapes.barHeight / 100 * c, c});
    RecordList::LineBuffer buffer;
    chart.dateLabels.append(
        {ChartPoints::dateCaption(RecordLine::date(lines.line(point.line, buffer)), chart.n), place.x,
         frameHeight - 180});
}

} // namespace

ChartGeometry computeChart(const RecordList &lines, const QString &selector, const QString &fromDate,
                           const QString &toDate, double frameWidth, double frameHeight,
                           const ChartTemplate &shapes)
{
    ChartGeometry chart;
    const PointReader reader(selector, fromDate, toDate);
    reader.forEach(lines, [&](double value, qsizetype) {
        ++chart.n;
        chart.largestValue = std::max(chart.largestValue, value);
    });

    const QColor fill = trimSpaces(selector).isEmpty() ? chartBlankSelectorBarColor : chartBarColor;
    const qsizetype n = chart.n;
    if (n > 0) {
        chart.barMargin = n < 30 ? 48 : 43;
        chart.trim = n < 20 ? 20 : 10;
        chart.barWidth = (frameWidth - chart.barMargin * double(n)) / double(n) - chart.trim;
        chart.pitch = chart.barWidth + 44;
        chart.columnLayout = n > chartMaxSeparateBars || chart.barWidth < 0;
    }

    if (!chart.columnLayout) {
        chart.bars.reserve(n);
        chart.covers.reserve(n);
        chart.dateLabels.reserve(n);
        qsizetype k = 0;
        reader.forEach(lines, [&](double value, qsizetype line) {
            const Placement place{shapes.barLeft + chart.pitch * double(k++), chart.barWidth};
            addPoint(chart, lines, {value, line}, k, place, frameHeight, shapes, fill);
        });
    } else {
        // The bars share the width from the template's left to the end of the grid lines; each
        // column is at least one pixel, and keeps a one-pixel gap while it is three pixels or wider.
        const double pixel = Twips::perPixel;
        const double area = std::max(frameWidth - 100 - shapes.barLeft, pixel);
        const qsizetype columns = std::min<qsizetype>(n, std::max<qsizetype>(1, qsizetype(area / pixel)));
        const double slot = area / double(columns);
        const double width = slot >= 3 * pixel ? slot - pixel : slot;
        // Each column shows the last point that falls in it, point i going to i * columns / n.
        std::vector<ChartPoint> shown(columns);
        qsizetype index = 0;
        reader.forEach(lines, [&](double value, qsizetype line) {
            shown[index * columns / n] = {value, line};
            ++index;
        });
        chart.bars.reserve(columns);
        chart.covers.reserve(columns);
        chart.dateLabels.reserve(columns);
        for (qsizetype column = 0; column < columns; ++column) {
            const qsizetype number = ((column + 1) * n - 1) / columns + 1;
            const Placement place{shapes.barLeft + slot * double(column), width};
            addPoint(chart, lines, shown[column], number, place, frameHeight, shapes, fill);
        }
    }

    static const char *const captions[] = {"75%", "50%", "25%"};
    const double ys[] = {shapes.barTop + shapes.barHeight / 4, shapes.barTop + shapes.barHeight / 2,
                         shapes.barTop + shapes.barHeight / 2 + shapes.barHeight / 4};
    for (int j = 0; j < 3; ++j) {
        chart.gridLines[j] = {ys[j], 50, frameWidth - 100};
        chart.gridLabels[j] = {QString::fromLatin1(captions[j]), frameWidth - shapes.gridLabelWidth + 10,
                               ys[j]};
    }
    return chart;
}
