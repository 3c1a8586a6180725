#pragma once

#include "chart/chartgeometry.h"

#include <QRect>

class QPainter;

// The grid labels' own background, so that they stay readable over bars and covers.
inline const QColor chartGridLabelBackground{255, 255, 255};

// A chart rectangle in pixels. Edges are rounded one by one so that neighbouring bars neither
// overlap nor leave gaps; nothing is narrower than one pixel.
QRect chartPixelRect(double x, double top, double width, double height);

// Paints a chart's geometry in pixels onto a frame-sized device. Bars narrower than a pixel
// are drawn one pixel wide so that every point stays visible.
void paintChart(QPainter &painter, const ChartGeometry &chart);
