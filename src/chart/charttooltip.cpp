#include "chart/charttooltip.h"

#include "base/twips.h"
#include "chart/chartpainter.h"

#include <algorithm>

namespace ChartToolTip {

qsizetype barAt(const ChartGeometry &chart, QPoint pixel)
{
    const QList<ChartBar> &bars = chart.bars;
    // Bars lie left to right: the candidate is the last one starting at or before the pixel.
    const auto after =
        std::upper_bound(bars.cbegin(), bars.cend(), pixel.x(),
                         [](int x, const ChartBar &bar) { return x < Twips::toPixels(bar.x); });
    if (after == bars.cbegin())
        return -1;
    const qsizetype index = std::distance(bars.cbegin(), after) - 1;
    const ChartBar &bar = bars[index];
    const QRect painted = chartPixelRect(bar.x, bar.top, bar.width, bar.height);
    int right = painted.right();
    if (chart.columnLayout && after != bars.cend())
        right = std::max(right, Twips::toPixels(after->x) - 1);
    if (pixel.x() > right || pixel.y() < painted.top() || pixel.y() > painted.bottom())
        return -1;
    return index;
}

QString pointText(QStringView line)
{
    // The list writes dd-mm-yyyy, the quote in characters 13-19.
    QString date = line.left(10).toString();
    date.replace(QLatin1Char('-'), QLatin1Char('/'));
    return date + QStringLiteral(": ") + line.mid(12, 7).trimmed().toString();
}

QString textAt(const ChartGeometry &chart, const RecordList &lines, QPoint pixel)
{
    const qsizetype index = barAt(chart, pixel);
    if (index < 0)
        return {};
    const qsizetype line = chart.bars[index].line;
    RecordList::LineBuffer buffer;
    return line < lines.size() ? pointText(lines.line(line, buffer)) : QString();
}

} // namespace ChartToolTip
