#include "ratesfile.h"

#include <QDate>
#include <QLocale>
#include <cmath>

namespace RatesFile {

namespace {

const QString currencyMarker = QStringLiteral("VALUTA SELEZIONATA:");
const QString dollar = QStringLiteral("DOLLARO");
const QString dollarPair = QStringLiteral("EUR/USD - DOLLARO USA");

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads 1 to maxDigits ASCII digits making up the whole text.
int number(QStringView text, qsizetype maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (!isDigit(c))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

Currency currencyOf(QStringView secondLine)
{
    Currency currency;
    if (secondLine.size() < currencyMarker.size() ||
        secondLine.left(currencyMarker.size()).compare(currencyMarker, Qt::CaseInsensitive) != 0)
        return currency;
    QString text = secondLine.mid(currencyMarker.size()).toString().toUpper().trimmed();
    if (text.startsWith(dollar))
        text = dollarPair;
    currency.code = text.left(7);
    currency.description = text;
    return currency;
}

Rate readRate(QStringView text)
{
    // The accepted characters are gathered without blanks, then converted with the C locale so that
    // "." is the decimal point even under Italian settings.
    QString number;
    bool signAllowed = true, dotSeen = false, inExponent = false;
    qsizetype exponentAt = -1; // where the exponent letter went, to drop it if no digit follows
    bool mantissaDigit = false;
    for (const QChar c : text) {
        if (isBlank(c))
            continue;
        if (isDigit(c)) {
            number += c;
            signAllowed = false;
            if (inExponent)
                exponentAt = -1; // the exponent is complete
            else
                mantissaDigit = true;
        } else if (signAllowed && (c == QLatin1Char('+') || c == QLatin1Char('-'))) {
            if (c == QLatin1Char('-'))
                number += c;
            signAllowed = false;
        } else if (!inExponent && !dotSeen && c == QLatin1Char('.')) {
            number += c;
            dotSeen = true;
            signAllowed = false;
        } else if (!inExponent && mantissaDigit &&
                   (c.toLower() == QLatin1Char('e') || c.toLower() == QLatin1Char('d'))) {
            exponentAt = number.size();
            number += QLatin1Char('e');
            inExponent = true;
            signAllowed = true;
        } else {
            break;
        }
    }
    if (exponentAt >= 0)
        number.truncate(exponentAt);

    Rate rate;
    if (!mantissaDigit)
        return rate;
    rate.found = true;
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (std::isinf(value))
        rate.overflow = true;
    else
        rate.value = ok ? value : 0; // an underflow is as good as zero
    return rate;
}

QString dateOf(QStringView field)
{
    const QStringView trimmed = field.trimmed();
    const qsizetype first = trimmed.indexOf(QLatin1Char('/'));
    const qsizetype second = first < 0 ? -1 : trimmed.indexOf(QLatin1Char('/'), first + 1);
    if (second < 0)
        return {};
    const int day = number(trimmed.left(first), 2);
    const int month = number(trimmed.mid(first + 1, second - first - 1), 2);
    const QStringView yearText = trimmed.mid(second + 1);
    const int year = yearText.size() == 4 ? number(yearText, 4) : -1;
    if (day < 0 || month < 0 || year < 0 || !QDate(year, month, day).isValid())
        return {};
    return QStringLiteral("%1%2%3")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

DataLine parseDataLine(QStringView line)
{
    DataLine data;
    const QStringView whole = line.trimmed();
    if (whole.isEmpty()) {
        data.kind = DataLine::Kind::Blank;
        return data;
    }

    // A comma in first place leaves the date empty and the line whole, as a comma in first place of
    // the rest leaves the rate at 0 and the rest whole.
    QStringView rest = whole;
    const qsizetype dateEnd = whole.indexOf(QLatin1Char(','));
    const bool hasDateField = dateEnd > 0;
    if (hasDateField) {
        data.date = dateOf(whole.left(dateEnd));
        if (data.date.isEmpty()) {
            data.note = whole.toString();
            return data;
        }
        rest = whole.mid(dateEnd + 1);
    }

    const qsizetype rateEnd = rest.indexOf(QLatin1Char(','));
    Rate rate;
    if (rateEnd > 0) {
        rate = readRate(rest.left(rateEnd));
        data.note = rest.mid(rateEnd + 1).trimmed().toString();
    } else {
        // "date,rate" with nothing after it keeps its rate; any other text is the note.
        const Rate lastField = hasDateField && rateEnd < 0 ? readRate(rest) : Rate{};
        if (lastField.found)
            rate = lastField;
        else
            data.note = rest.trimmed().toString();
    }
    if (rate.overflow)
        data.kind = DataLine::Kind::Overflow;
    data.rate = rate.value;
    return data;
}

} // namespace RatesFile
