#include "chart/chartpainter.h"

#include "base/twips.h"

#include <QFont>
#include <QPainter>

QRect chartPixelRect(double x, double top, double width, double height)
{
    const int left = Twips::toPixels(x);
    const int right = Twips::toPixels(x + width);
    const int upper = Twips::toPixels(top);
    const int lower = Twips::toPixels(top + height);
    return QRect(left, upper, std::max(1, right - left), lower - upper);
}

namespace {

QFont labelFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(6.75);
    return font;
}

void paintLabel(QPainter &painter, const ChartLabel &label, const QColor &background = QColor())
{
    if (label.caption.isEmpty())
        return;
    // The labels size themselves to their text, so the text starts at their left.
    const QPoint topLeft(Twips::toPixels(label.x), Twips::toPixels(label.top));
    const QRect area(topLeft, QSize(1000, 100));
    const int flags = Qt::AlignLeft | Qt::AlignTop;
    if (background.isValid())
        painter.fillRect(painter.fontMetrics().boundingRect(area, flags, label.caption).adjusted(-2, 0, 2, 0),
                         background);
    painter.drawText(area, flags, label.caption);
}

} // namespace

void paintChart(QPainter &painter, const ChartGeometry &chart)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    for (const ChartBar &bar : chart.bars)
        painter.fillRect(chartPixelRect(bar.x, bar.top, bar.width, bar.height), bar.fill);
    for (const ChartCover &cover : chart.covers) {
        const QRect rect = chartPixelRect(cover.x, cover.top, cover.width, cover.height);
        if (rect.height() > 0)
            painter.fillRect(rect, chartCoverColor);
    }

    // The grid runs over the bars, so the levels can be read across them.
    QPen dotted(Qt::black, 0, Qt::DotLine);
    painter.setPen(dotted);
    for (const ChartGridLine &line : chart.gridLines) {
        const int y = Twips::toPixels(line.y);
        painter.drawLine(Twips::toPixels(line.x1), y, Twips::toPixels(line.x2), y);
    }

    painter.setPen(Qt::black);
    painter.setFont(labelFont());
    for (const ChartLabel &label : chart.dateLabels)
        paintLabel(painter, label);
    for (const ChartLabel &label : chart.gridLabels)
        paintLabel(painter, label, chartGridLabelBackground);
    painter.restore();
}
