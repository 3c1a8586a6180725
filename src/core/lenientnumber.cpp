#include "core/lenientnumber.h"

#include "core/textrules.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <string>

LenientNumber readLenientNumber(QStringView text, NumberRules rules)
{
    const auto isBlank = [&rules](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\t') ||
               (rules.newlineIsBlank && c == QLatin1Char('\n'));
    };
    const auto isPoint = [&rules](QChar c) {
        return c == QLatin1Char('.') || (rules.commaIsPoint && c == QLatin1Char(','));
    };

    // One pass reads what the number is made of; most numbers are short and are computed exactly
    // from an integer and a power of ten, as correctly rounded as the general conversion.
    LenientNumber result;
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
        if (isAsciiDigit(c)) {
            ++digits;
            if (significant > 0 || c != QLatin1Char('0'))
                ++significant;
            if (significant <= 15)
                mantissa = mantissa * 10 + (c.unicode() - '0');
            if (point)
                ++decimals;
        } else if (isPoint(c) && !point) {
            point = true;
        } else if (!isBlank(c)) {
            break;
        }
    }
    if (digits == 0)
        return result;
    result.found = true;
    const bool exponentFollows = i < text.size() && QStringView(u"eEdD").contains(text[i]);
    static constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (!exponentFollows && significant <= 15 && decimals <= 22) {
        const double value = double(mantissa) / powersOfTen[decimals];
        result.value = negative ? -value : value;
        return result;
    }

    std::string number = negative ? "-" : "";
    for (QChar c : text.sliced(begin, i - begin))
        if (!isBlank(c))
            number += isPoint(c) ? '.' : char(c.unicode());
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
            if (!isAsciiDigit(text[j]))
                break;
            exponent += char(text[j].unicode());
            exponentDigits = true;
        }
        if (exponentDigits)
            number += exponent;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small: the general conversion tells which.
        const double far = QLocale::c().toDouble(QLatin1StringView(number.data(), qsizetype(number.size())));
        result.overflow = std::isinf(far);
        result.underflow = !result.overflow;
        value = 0;
    }
    result.value = value;
    return result;
}
