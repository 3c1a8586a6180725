#include "chart/chartframe.h"

#include "base/twips.h"
#include "chart/chartpainter.h"
#include "chart/charttooltip.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

ChartFrame::ChartFrame(QWidget *parent) : QFrame(parent)
{
    // The frame hides the record list beneath it.
    setAutoFillBackground(true);
}

void ChartFrame::draw(const RecordList &lines, const QString &selector, const QString &fromDate,
                      const QString &toDate)
{
    m_lines = lines;
    m_selector = selector;
    m_fromDate = fromDate;
    m_toDate = toDate;
    redraw();
}

void ChartFrame::redraw()
{
    m_geometry = computeChart(m_lines, m_selector, m_fromDate, m_toDate, Twips::fromPixels(width()),
                              Twips::fromPixels(height()), m_shapes);
    m_members.apply(m_geometry);
    update();
    show();
}

bool ChartFrame::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = ChartToolTip::textAt(m_geometry, m_lines, help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QFrame::event(event);
}

void ChartFrame::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    paintChart(painter, m_geometry);
}
