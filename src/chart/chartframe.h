#pragma once

#include "chart/chartgeometry.h"
#include "chart/chartmembers.h"

#include <QFrame>

// `Frame2`: the chart area that lies over the record list while it is visible.
class ChartFrame : public QFrame
{
    Q_OBJECT
public:
    explicit ChartFrame(QWidget *parent = nullptr);

    // Charts the record-list lines of the selected pair within the date range for
    // the frame's current size, and shows the frame. Shows no message.
    void draw(const RecordList &lines, const QString &selector, const QString &fromDate,
              const QString &toDate);
    void draw(const QStringList &lines, const QString &selector, const QString &fromDate,
              const QString &toDate)
    {
        draw(RecordList::ofTexts(lines), selector, fromDate, toDate);
    }
    // The last drawing again, for the frame's current size.
    void redraw();

    const ChartGeometry &geometry() const { return m_geometry; }
    const ChartMembers &members() const { return m_members; }
    ChartTemplate shapeTemplate() const { return m_shapes; }
    void setShapeTemplate(const ChartTemplate &shapes) { m_shapes = shapes; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    ChartTemplate m_shapes;
    ChartGeometry m_geometry;
    ChartMembers m_members;
    RecordList m_lines;
    QString m_selector;
    QString m_fromDate;
    QString m_toDate;
};
