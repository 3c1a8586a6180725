#include "chartgeometry.h"

#include "twips.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

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
    // By character codes, a shorter key before any longer one it begins.
    int compare(const Key &other) const
    {
        const qsizetype common = std::min(size, other.size);
        for (qsizetype i = 0; i < common; ++i)
            if (chars[i] != other.chars[i])
                return chars[i].unicode() < other.chars[i].unicode() ? -1 : 1;
        return size == other.size ? 0 : (size < other.size ? -1 : 1);
    }
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

// Reads a quote field: blanks ignored, the first comma (or ".") as the decimal point, stopping at
// the first character that cannot continue the number; no number gives 0.
double readNumber(QStringView text)
{
    // One pass reads what the number is made of; most quotes are short and are computed exactly
    // from an integer and a power of ten, as correctly rounded as the general conversion.
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    const bool negative = i < text.size() && text[i] == QLatin1Char('-');
    if (negative || (i < text.size() && text[i] == QLatin1Char('+')))
        ++i;
    const qsizetype begin = i;
    quint64 mantissa = 0;
    int digits = 0;
    int significant = 0;
    int decimals = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isDigit(c)) {
            ++digits;
            if (significant > 0 || c != QLatin1Char('0'))
                ++significant;
            if (significant <= 15)
                mantissa = mantissa * 10 + (c.unicode() - '0');
            if (point)
                ++decimals;
        } else if ((c == QLatin1Char('.') || c == QLatin1Char(',')) && !point) {
            point = true;
        } else if (!isBlank(c)) {
            break;
        }
    }
    if (digits == 0)
        return 0;
    const bool exponentFollows = i < text.size() && QStringView(u"eEdD").contains(text[i]);
    static constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (!exponentFollows && significant <= 15 && decimals <= 22) {
        const double value = double(mantissa) / powersOfTen[decimals];
        return negative ? -value : value;
    }

    std::string number = negative ? "-" : "";
    for (QChar c : text.sliced(begin, i - begin))
        if (!isBlank(c))
            number += c == QLatin1Char(',') ? '.' : char(c.unicode());
    // An exponent continues the number only when at least one digit follows it.
    if (exponentFollows) {
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
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    // A number beyond the range of a double counts as no number, so no infinity reaches the chart.
    return result.ec == std::errc() ? value : 0;
}

// Picks the list lines of the selected pair within the date range. A chart reads the list
// twice (how many points and their largest value, then the points themselves) rather than
// keeping a copy of every point: the list can be long.
class PointReader
{
public:
    PointReader(const QString &comboText, const QString &fromText, const QString &toText)
        : m_selected(ChartPoints::selectedCurrency(comboText)),
          m_filterDates(!trimBlanks(fromText).isEmpty() && !trimBlanks(toText).isEmpty()),
          m_from(boxKeyOf(fromText)), m_to(boxKeyOf(toText))
    {}

    bool accepts(QStringView line) const
    {
        if (trimBlanks(line).isEmpty())
            return false;
        if (m_filterDates) {
            const Key key = lineKeyOf(line);
            if (key.compare(m_from) < 0 || key.compare(m_to) > 0)
                return false;
        }
        return trimBlanks(middle(line, 23, 7)) == m_selected;
    }

    // visit(value, index of the line) for every point, in list order.
    template <typename Visit> void forEach(const QStringList &lines, Visit visit) const
    {
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (accepts(lines[i]))
                visit(readNumber(middle(lines[i], 13, 7)), i);
    }

private:
    QString m_selected;
    bool m_filterDates;
    Key m_from;
    Key m_to;
};

} // namespace

namespace ChartPoints {

double quoteValue(QStringView line)
{
    return readNumber(middle(line, 13, 7));
}

QString selectedCurrency(const QString &comboText)
{
    return trimBlanks(trimBlanks(comboText).left(7)).toString();
}

double coverPercent(double value, double largestValue)
{
    // The division by a largest value of 0 is the one step skipped: the percentage stays 0.
    if (largestValue == 0)
        return 0;
    // The ratio first: 100 times a quote near the largest double would overflow.
    const double c = 100 - 5 * (100 * (value / largestValue)) + 100 * 4.3;
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

struct ChartPoint
{
    double value = 0;
    qsizetype line = 0; // index in the list lines
};

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
    chart.bars.append({place.x, top, place.width, shapes.barHeight, fill, point.value, number, point.line});
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
    const PointReader reader(comboText, fromText, toText);
    reader.forEach(lines, [&](double value, qsizetype) {
        ++chart.n;
        chart.largestValue = std::max(chart.largestValue, value);
    });

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
        qsizetype k = 0;
        reader.forEach(lines, [&](double value, qsizetype line) {
            const Placement place{shapes.barLeft + chart.pitch * double(k++), chart.barWidth};
            addPoint(chart, lines, {value, line}, k, place, frameHeight, shapes, fill);
        });
    } else {
        // The bars share the width from the template's left to the end of the grid lines; each
        // column is at least one pixel, and keeps a one-pixel gap while it is three pixels or wider.
        const double pixel = Twips::perPixel;
        const double area = std::max(frameWidth - 100 - shapes.barLeft, pixel);
        const qsizetype columns = std::min<qsizetype>(n, std::max<qsizetype>(1, qsizetype(area / pixel)));
        const double slot = area / double(columns);
        const double width = slot >= 3 * pixel ? slot - pixel : slot;
        // Each column shows the last point that falls in it, point i going to i * columns / n.
        std::vector<ChartPoint> shown(columns);
        qsizetype index = 0;
        reader.forEach(lines, [&](double value, qsizetype line) {
            shown[index * columns / n] = {value, line};
            ++index;
        });
        chart.bars.reserve(columns);
        chart.covers.reserve(columns);
        chart.dateLabels.reserve(columns);
        for (qsizetype column = 0; column < columns; ++column) {
            const qsizetype number = ((column + 1) * n - 1) / columns + 1;
            const Placement place{shapes.barLeft + slot * double(column), width};
            addPoint(chart, lines, shown[column], number, place, frameHeight, shapes, fill);
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
