#include "core/quoteformat.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kPlainSize = 40; // "-1.23456789012345e-308" and any other %.15g text fit

QString fromPlain(const char *text, int size, char16_t point, char16_t exponent)
{
    QString result(size, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    for (int i = 0; i < size; ++i) {
        const char c = text[i];
        out[i] = c == '.' ? point : c == 'e' ? exponent : char16_t(c);
    }
    return result;
}

// A value whose exact decimal digits end in a 5 right after the fifteenth: the C form rounds it to
// even, the locale away from zero. Only values with few binary fraction digits (or very large
// ones) can end that way, and those are checked on all seventeen digits.
bool mayBeTie(double value)
{
    const double scaled = value * 65536.0;
    if (std::abs(value) < 1e15 && scaled != std::trunc(scaled))
        return false;
    char digits[kPlainSize];
    const std::to_chars_result written =
        std::to_chars(digits, digits + kPlainSize, value, std::chars_format::scientific, 16);
    const char *exponent = static_cast<const char *>(std::memchr(digits, 'e', size_t(written.ptr - digits)));
    return written.ec != std::errc() || !exponent || (exponent[-2] == '5' && exponent[-1] == '0');
}

// The %.15g text of a value whose shortest round-trip form has at most 15 digits: those digits,
// laid out as %g lays them out. -1 for a value that needs more digits, or is not finite. Not for
// subnormal values, whose shortest form can have fewer digits than their 15-digit one.
int writeShortest(double value, char *out)
{
    char scientific[kPlainSize];
    const std::to_chars_result written =
        std::to_chars(scientific, scientific + kPlainSize, value, std::chars_format::scientific);
    if (written.ec != std::errc())
        return -1;
    const char *p = scientific;
    const char *end = written.ptr;
    int n = 0;
    if (*p == '-')
        out[n++] = *p++;
    char digits[20];
    int count = 0;
    for (; p < end && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (count == 15)
                return -1;
            digits[count++] = *p;
        } else if (*p != '.') {
            return -1; // inf
        }
    }
    if (p == end || count == 0)
        return -1;
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);

    if (exponent < -4 || exponent >= 15) {
        out[n++] = digits[0];
        if (count > 1) {
            out[n++] = '.';
            for (int i = 1; i < count; ++i)
                out[n++] = digits[i];
        }
        out[n++] = 'e';
        out[n++] = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10)
            out[n++] = '0';
        n += int(std::to_chars(out + n, out + kPlainSize, magnitude).ptr - (out + n));
    } else if (exponent >= 0) {
        for (int i = 0; i <= exponent; ++i)
            out[n++] = i < count ? digits[i] : '0';
        if (count > exponent + 1) {
            out[n++] = '.';
            for (int i = exponent + 1; i < count; ++i)
                out[n++] = digits[i];
        }
    } else {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = -1; i > exponent; --i)
            out[n++] = '0';
        for (int i = 0; i < count; ++i)
            out[n++] = digits[i];
    }
    return n;
}

} // namespace

QuoteFormat::QuoteFormat(const QLocale &locale) : m_locale(locale)
{
    m_locale.setNumberOptions(QLocale::OmitGroupSeparator);
    m_decimalPoint = m_locale.decimalPoint();
    const QString exponent = m_locale.exponential();
    m_plain = m_locale.zeroDigit() == QLatin1String("0") && m_locale.negativeSign() == QLatin1String("-") &&
              m_locale.positiveSign() == QLatin1String("+") && m_decimalPoint.size() == 1 &&
              exponent.size() == 1;
    if (m_plain) {
        m_point = m_decimalPoint.front().unicode();
        m_exponent = exponent.front().unicode();
    }
    m_unavailable = generalText(-1);
}

int QuoteFormat::writePlain(double value, char *out) const
{
    if (!m_plain)
        return -1;
    // The locale's own rules for what the C form writes otherwise.
    if (value == 0) {
        out[0] = '0';
        return 1;
    }
    if (std::isnan(value)) {
        std::memcpy(out, "nan", 3);
        return 3;
    }
    // Most quotes have a few digits: their shortest exact form is the 15-digit one already, with
    // no rounding to get wrong, and it is the quicker to make.
    const int size = std::abs(value) >= std::numeric_limits<double>::min() ? writeShortest(value, out) : -1;
    if (size >= 0)
        return size;
    if (mayBeTie(value))
        return -1;
    const std::to_chars_result written =
        std::to_chars(out, out + kPlainSize, value, std::chars_format::general, 15);
    return written.ec == std::errc() ? int(written.ptr - out) : -1;
}

QString QuoteFormat::generalText(double value) const
{
    char plain[kPlainSize];
    const int size = writePlain(value, plain);
    if (size < 0)
        return m_locale.toString(value, 'g', 15);
    return fromPlain(plain, size, m_point, m_exponent);
}

QString QuoteFormat::quoteText(double value) const
{
    QString text(quoteTextSize, Qt::Uninitialized);
    writeQuoteText(value, reinterpret_cast<char16_t *>(text.data()));
    return text;
}

void QuoteFormat::writeQuoteText(double value, char16_t *out) const
{
    char plain[kPlainSize + 1];
    int size = writePlain(value, plain);
    if (size >= 0) {
        // Only the first six characters count: a separator is added where the text has neither one
        // nor an exponent, then zeros.
        const bool exponentIsE = m_exponent == u'e' || m_exponent == u'E';
        const bool marked =
            std::memchr(plain, '.', size_t(size)) || (exponentIsE && std::memchr(plain, 'e', size_t(size)));
        int n = 0;
        for (; n < size && n < quoteTextSize; ++n) {
            const char c = plain[n];
            out[n] = c == '.' ? m_point : c == 'e' ? m_exponent : char16_t(c);
        }
        if (!marked && n < quoteTextSize)
            out[n++] = m_point;
        for (; n < quoteTextSize; ++n)
            out[n] = u'0';
        return;
    }
    QString text = m_locale.toString(value, 'g', 15);
    if (!text.contains(m_decimalPoint) && !text.contains(QLatin1Char('e'), Qt::CaseInsensitive))
        text += m_decimalPoint;
    for (int n = 0; n < quoteTextSize; ++n)
        out[n] = n < text.size() ? text.at(n).unicode() : u'0';
}

bool QuoteFormat::isUnavailableMark(double value) const
{
    // Only values that round to -1 at 15 digits can write like it: spare the text for the others.
    if (!(value < -0.99 && value > -1.01))
        return false;
    return generalText(value) == m_unavailable;
}
