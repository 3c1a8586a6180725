#pragma once

#include "chartgeometry.h"

class QPainter;

// Paints a chart's geometry in pixels onto a frame-sized device. Bars narrower than a pixel
// are drawn one pixel wide so that every point stays visible.
void paintChart(QPainter &painter, const ChartGeometry &chart);
