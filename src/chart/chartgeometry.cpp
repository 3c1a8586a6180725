#include "chartgeometry.h"

#include "twips.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// List lines and box texts are compared after removing spaces only, as the list writes them.
QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.sliced(begin, end - begin);
}

// Characters from a 1-based position, as many as there are.
QStringView middle(QStringView text, qsizetype position, qsizetype count)
{
    return text.mid(position - 1, count);
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Date keys are at most 8 characters: build them without allocating for every list line.
struct Key
{
    std::array<QChar, 8> chars{};
    qsizetype size = 0;

    void append(QStringView part)
    {
        for (QChar c : part)
            if (size < qsizetype(chars.size()))
                chars[size++] = c;
    }
    QStringView view() const { return QStringView(chars.data(), size); }
};

Key keyOf(QStringView year, QStringView month, QStringView day)
{
    Key key;
    key.append(year);
    key.append(month);
    key.append(day);
    return key;
}

Key lineKeyOf(QStringView line)
{
    return keyOf(middle(line, 7, 4), middle(line, 4, 2), line.left(2));
}

Key boxKeyOf(const QString &boxText)
{
    const QStringView text = trimBlanks(boxText);
    return keyOf(text.right(4), middle(text, 4, 2), text.left(2));
}

} // namespace

namespace ChartPoints {

double leadingNumber(QStringView text)
{
    std::string number;
    bool digits = false;
    bool point = false;
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        if (text[i] == QLatin1Char('-'))
            number += '-';
        ++i;
    }
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isBlank(c))
            continue;
        if (isDigit(c)) {
            number += char(c.unicode());
            digits = true;
        } else if (c == QLatin1Char('.') && !point) {
            number += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    // An exponent continues the number only when at least one digit follows it.
    if (i < text.size() && QStringView(u"eEdD").contains(text[i])) {
        std::string exponent = "e";
        qsizetype j = i + 1;
        while (j < text.size() && isBlank(text[j]))
            ++j;
        if (j < text.size() && (text[j] == QLatin1Char('-') || text[j] == QLatin1Char('+')))
            exponent += char(text[j++].unicode());
        bool exponentDigits = false;
        for (; j < text.size(); ++j) {
            if (isBlank(text[j]))
                continue;
            if (!isDigit(text[j]))
                break;
            exponent += char(text[j].unicode());
            exponentDigits = true;
        }
        if (exponentDigits)
            number += exponent;
    }
    double value = 0;
    const char *begin = number.data();
    const char *end = begin + number.size();
    // A leading '-' is accepted by from_chars; "1." and ".5" are too.
    const auto result = std::from_chars(begin, end, value);
    if (result.ec == std::errc::result_out_of_range)
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    return result.ec == std::errc() ? value : 0;
}

double quoteValue(QStringView line)
{
    const QStringView field = middle(line, 13, 7);
    const qsizetype comma = field.indexOf(QLatin1Char(','));
    if (comma < 0)
        return leadingNumber(field);
    std::array<QChar, 10> text{};
    qsizetype size = 0;
    if (comma == 0)
        text[size++] = QLatin1Char('0');
    for (QChar c : field.left(comma))
        text[size++] = c;
    text[size++] = QLatin1Char('.');
    for (QChar c : field.sliced(comma + 1))
        text[size++] = c;
    return leadingNumber(QStringView(text.data(), size));
}

QString selectedCurrency(const QString &comboText)
{
    return trimBlanks(trimBlanks(comboText).left(7)).toString();
}

QString boxKey(const QString &boxText)
{
    return boxKeyOf(boxText).view().toString();
}

QString lineKey(QStringView line)
{
    return lineKeyOf(line).view().toString();
}

QList<ChartPoint> collect(const QStringList &lines, const QString &comboText, const QString &fromText,
                          const QString &toText)
{
    const QString selected = selectedCurrency(comboText);
    const bool filterDates = !trimBlanks(fromText).isEmpty() && !trimBlanks(toText).isEmpty();
    const Key from = boxKeyOf(fromText);
    const Key to = boxKeyOf(toText);

    QList<ChartPoint> points;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = lines[i];
        if (trimBlanks(line).isEmpty())
            continue;
        if (filterDates) {
            const Key key = lineKeyOf(line);
            if (key.view().compare(from.view()) < 0 || key.view().compare(to.view()) > 0)
                continue;
        }
        if (trimBlanks(middle(line, 23, 7)) != selected)
            continue;
        points.append({quoteValue(line), i});
    }
    return points;
}

double coverPercent(double value, double largestValue)
{
    // The division by a largest value of 0 is the one step skipped: the percentage stays 0.
    if (largestValue == 0)
        return 0;
    const double c = 100 - 5 * (100 * value / largestValue) + 100 * 4.3;
    return std::clamp(c, 0.0, 100.0);
}

QString dateCaption(QStringView date, qsizetype n)
{
    qsizetype width = 0;
    if (n <= 12)
        width = 10;
    else if (n <= 15)
        width = 5;
    else if (n <= 69)
        width = 2;
    return date.left(width).toString().leftJustified(width, QLatin1Char(' '));
}

} // namespace ChartPoints

namespace {

struct Placement
{
    double x;
    double width;
};

void addPoint(ChartGeometry &chart, const QStringList &lines, const ChartPoint &point, qsizetype number,
              const Placement &place, double frameHeight, const ChartTemplate &shapes, const QColor &fill)
{
    const double top = shapes.barTop - 70;
    const double c = ChartPoints::coverPercent(point.value, chart.largestValue);
    chart.bars.append({place.x, top, place.width, shapes.barHeight, fill, point.value, number});
    chart.covers.append({place.x, top, place.width, shapes.barHeight / 100 * c, c});
    chart.dateLabels.append({ChartPoints::dateCaption(QStringView(lines[point.line]).left(10), chart.n),
                             place.x, frameHeight - 180});
}

} // namespace

ChartGeometry computeChart(const QStringList &lines, const QString &comboText, const QString &fromText,
                           const QString &toText, double frameWidth, double frameHeight,
                           const ChartTemplate &shapes)
{
    ChartGeometry chart;
    const QList<ChartPoint> points = ChartPoints::collect(lines, comboText, fromText, toText);
    chart.n = points.size();
    for (const ChartPoint &point : points)
        chart.largestValue = std::max(chart.largestValue, point.value);

    const QColor fill = trimBlanks(comboText).isEmpty() ? chartBlankSelectorBarColor : chartBarColor;
    const qsizetype n = chart.n;
    if (n > 0) {
        chart.barMargin = n < 30 ? 48 : 43;
        chart.trim = n < 20 ? 20 : 10;
        chart.barWidth = (frameWidth - chart.barMargin * double(n)) / double(n) - chart.trim;
        chart.pitch = chart.barWidth + 44;
        chart.columnLayout = n > chartMaxSeparateBars || chart.barWidth < 0;
    }

    if (!chart.columnLayout) {
        chart.bars.reserve(n);
        chart.covers.reserve(n);
        chart.dateLabels.reserve(n);
        for (qsizetype k = 1; k <= n; ++k) {
            const Placement place{shapes.barLeft + chart.pitch * double(k - 1), chart.barWidth};
            addPoint(chart, lines, points[k - 1], k, place, frameHeight, shapes, fill);
        }
    } else {
        // The bars share the width from the template's left to the end of the grid lines; each
        // column is at least one pixel, and keeps a one-pixel gap while it is three pixels or wider.
        const double pixel = Twips::perPixel;
        const double area = std::max(frameWidth - 100 - shapes.barLeft, pixel);
        const qsizetype columns = std::min<qsizetype>(n, std::max<qsizetype>(1, qsizetype(area / pixel)));
        const double slot = area / double(columns);
        const double width = slot >= 3 * pixel ? slot - pixel : slot;
        chart.bars.reserve(columns);
        chart.covers.reserve(columns);
        chart.dateLabels.reserve(columns);
        for (qsizetype column = 0; column < columns; ++column) {
            // The last point whose column, index * columns / n, is this one.
            const qsizetype last = ((column + 1) * n - 1) / columns;
            const Placement place{shapes.barLeft + slot * double(column), width};
            addPoint(chart, lines, points[last], last + 1, place, frameHeight, shapes, fill);
        }
    }

    static const char *const captions[] = {"75%", "50%", "25%"};
    const double ys[] = {shapes.barTop + shapes.barHeight / 4, shapes.barTop + shapes.barHeight / 2,
                         shapes.barTop + shapes.barHeight / 2 + shapes.barHeight / 4};
    for (int j = 0; j < 3; ++j) {
        chart.gridLines[j] = {ys[j], 50, frameWidth - 100};
        chart.gridLabels[j] = {QString::fromLatin1(captions[j]), frameWidth - shapes.gridLabelWidth + 10,
                               ys[j]};
    }
    return chart;
}
