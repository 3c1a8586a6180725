#pragma once

#include "chart/chartgeometry.h"

// The run-time members of the chart's element families. Bars, covers and date labels
// (`Shape1`, `Shape2`, `Label3`, members 1..m) are removed and created again by every drawing;
// the grid lines and their labels (`Line1`, `Label4`, members 1..3) are created by the first
// drawing and reused by every later one.
class ChartMembers
{
public:
    // Points collected by the last drawing.
    qsizetype BarCount() const { return m_barCount; }
    // Bar, cover and date-label members in existence (one per point unless the points share
    // pixel columns).
    qsizetype barMembers() const { return m_barMembers; }
    // Members removed at the start of the last drawing, highest first.
    qsizetype lastRemoved() const { return m_lastRemoved; }
    // How often the grid members were created: once, however many drawings follow.
    int gridCreations() const { return m_gridCreations; }

    void apply(const ChartGeometry &chart);

private:
    qsizetype m_barCount = 0;
    qsizetype m_barMembers = 0;
    qsizetype m_lastRemoved = 0;
    int m_gridCreations = 0;
};
