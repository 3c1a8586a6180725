#include "chart/chartmembers.h"

void ChartMembers::apply(const ChartGeometry &chart)
{
    m_lastRemoved = m_barMembers;
    m_barCount = chart.n;
    m_barMembers = chart.bars.size();
    if (m_gridCreations == 0)
        m_gridCreations = 1;
}
