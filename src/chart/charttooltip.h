#pragma once

#include "chart/chartgeometry.h"

#include <QPoint>

namespace ChartToolTip {
// The bar painted at a pixel of the frame, as an index into chart.bars; -1 over no bar. When the
// bars share pixel columns, each column belongs to the bar that shows it, gap included, so every
// column names a point.
qsizetype barAt(const ChartGeometry &chart, QPoint pixel);
// A record-list line's day and quote as the list shows them: "27/02/2024: 1,0856".
QString pointText(QStringView line);
// The text for the pixel under the mouse, empty over no bar. lines are those the chart was drawn from.
QString textAt(const ChartGeometry &chart, const RecordList &lines, QPoint pixel);
inline QString textAt(const ChartGeometry &chart, const QStringList &lines, QPoint pixel)
{
    return textAt(chart, RecordList::ofTexts(lines), pixel);
}
} // namespace ChartToolTip
