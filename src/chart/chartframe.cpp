#include "chartframe.h"

#include "chartpainter.h"
#include "charttooltip.h"
#include "twips.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

ChartFrame::ChartFrame(QWidget *parent) : QFrame(parent)
{
    // The frame hides the record list beneath it.
    setAutoFillBackground(true);
}

void ChartFrame::draw(const QStringList &lines, const QString &comboText, const QString &fromText,
                      const QString &toText)
{
    m_lines = lines;
    m_comboText = comboText;
    m_fromText = fromText;
    m_toText = toText;
    redraw();
}

void ChartFrame::redraw()
{
    m_geometry = computeChart(m_lines, m_comboText, m_fromText, m_toText, Twips::fromPixels(width()),
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
