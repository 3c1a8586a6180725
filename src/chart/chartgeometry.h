#pragma once

#include "core/recordlist.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>

// Everything here is in twips, relative to the chart frame `Frame2`.

// The hidden template bar `Shape1(0)` and grid label `Label4(0)` that the drawing reads.
struct ChartTemplate
{
    double barLeft = 120;    // L0
    double barTop = 240;     // T0
    double barHeight = 2535; // H0
    double gridLabelWidth = 405;
};

struct ChartBar
{
    double x = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    QColor fill;
    double value = 0;    // the quote the bar shows
    qsizetype point = 0; // 1-based number of the point it shows
    qsizetype line = 0;  // index of that point's record-list line
};

struct ChartCover
{
    double x = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    double percent = 0; // c: how much of the bar the cover hides
};

struct ChartLabel
{
    QString caption;
    double x = 0;
    double top = 0;
};

struct ChartGridLine
{
    double y = 0;
    double x1 = 0;
    double x2 = 0;
};

struct ChartGeometry
{
    qsizetype n = 0; // points collected
    double largestValue = 0;
    double barMargin = 0; // g
    double trim = 0;      // t
    double barWidth = 0;  // w as computed from the frame width
    double pitch = 0;     // w + 44
    // Too many points for a bar each, or a negative w: one bar per pixel column, showing the
    // last point that falls in that column.
    bool columnLayout = false;
    QList<ChartBar> bars;
    QList<ChartCover> covers;
    QList<ChartLabel> dateLabels;
    std::array<ChartGridLine, 3> gridLines;
    std::array<ChartLabel, 3> gridLabels;
};

inline const QColor chartBarColor{255, 255, 0};
inline const QColor chartBlankSelectorBarColor{255, 255, 100};
inline const QColor chartCoverColor{0, 0, 128};

// Beyond this many points the bars are laid out by pixel columns.
inline constexpr qsizetype chartMaxSeparateBars = 1000;

namespace ChartPoints {
// The quote of a record-list line: its quote field read with a decimal comma; 0 when there is none.
double quoteValue(QStringView line);
// The pair a selector text stands for ("EUR/USD DOLLARO USA - 1" gives "EUR/USD"), spaces dropped.
QString selectedCurrency(const QString &selector);
// c for a point, clamped to 0..100; 0 for every point when no value is above 0.
double coverPercent(double value, double largestValue);
// The date label's caption, chosen by the number of points.
QString dateCaption(QStringView date, qsizetype n);
} // namespace ChartPoints

// The whole chart of the record-list lines of the selected pair between two typed dd/mm/yyyy dates
// (both ends included; no filter unless both are given), for a frame of width W and height F.
ChartGeometry computeChart(const RecordList &lines, const QString &selector, const QString &fromDate,
                           const QString &toDate, double frameWidth, double frameHeight,
                           const ChartTemplate &shapes = {});
inline ChartGeometry computeChart(const QStringList &lines, const QString &selector, const QString &fromDate,
                                  const QString &toDate, double frameWidth, double frameHeight,
                                  const ChartTemplate &shapes = {})
{
    return computeChart(RecordList::ofTexts(lines), selector, fromDate, toDate, frameWidth, frameHeight,
                        shapes);
}
