// Time of one chart redraw (points read from the list lines, geometry, painting into an image
// of the frame's size) for a long record list.
#include "base/twips.h"
#include "chart/chartgeometry.h"
#include "chart/chartpainter.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <algorithm>
#include <ctime>

namespace {

// The machine may be shared: the time this thread really ran is reported beside the wall time.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QString figures(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return QStringLiteral("median %1 ms, best %2 ms, worst %3 ms")
        .arg(times[times.size() / 2], 0, 'f', 1)
        .arg(times.first(), 0, 'f', 1)
        .arg(times.last(), 0, 'f', 1);
}

// A list as the history listing fills it: one line a day, quotes going up and down.
QStringList recordList(int points, const QDate &first)
{
    QStringList lines;
    lines.reserve(points);
    for (int i = 0; i < points; ++i) {
        const double quote = 1.0 + 0.2 * ((i * 7919) % 1000) / 1000.0;
        lines << first.addDays(i).toString(QStringLiteral("dd-MM-yyyy")) + QStringLiteral(" - ") +
                     QString::number(quote, 'f', 4).replace(QLatin1Char('.'), QLatin1Char(',')) +
                     QStringLiteral(" - EUR/USD");
    }
    return lines;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int points = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 250000;
    const int rounds = 20;

    const QDate first(1400, 1, 1);
    const QStringList lines = recordList(points, first);
    // Both date boxes filled, so that every line also goes through the date filter.
    const QString from = first.toString(QStringLiteral("dd/MM/yyyy"));
    const QString to = first.addDays(points).toString(QStringLiteral("dd/MM/yyyy"));

    const QSize frame(Twips::toPixels(8415), Twips::toPixels(2895));
    QImage image(frame, QImage::Format_ARGB32_Premultiplied);
    QList<double> times;
    QList<double> threadTimes;
    qsizetype bars = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const double threadStart = threadMilliseconds();
        const ChartGeometry chart =
            computeChart(lines, QStringLiteral("EUR/USD DOLLARO USA - 1"), from, to,
                         Twips::fromPixels(frame.width()), Twips::fromPixels(frame.height()));
        image.fill(Qt::lightGray);
        QPainter painter(&image);
        paintChart(painter, chart);
        painter.end();
        times << double(timer.nsecsElapsed()) / 1e6;
        threadTimes << threadMilliseconds() - threadStart;
        bars = chart.bars.size();
    }
    QTextStream(stdout) << "chart redraw, " << points << " points, " << frame.width() << "x" << frame.height()
                        << " px frame, " << bars << " bars, " << rounds << " rounds (target: under 50 ms)\n"
                        << "  wall time:   " << figures(times) << "\n"
                        << "  thread time: " << figures(threadTimes) << "\n";
    return 0;
}
