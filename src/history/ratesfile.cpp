#include "history/ratesfile.h"

#include "base/textfile.h"
#include "core/lenientnumber.h"
#include "core/pairsymbol.h"
#include "core/textrules.h"

#include <QDate>

namespace RatesFile {

namespace {

const QString currencyMarker = QStringLiteral("VALUTA SELEZIONATA:");
// Currency texts filed under the pair the currency list knows them by; any other text is filed
// under its own first seven characters.
struct KnownCurrency
{
    QLatin1StringView start;
    QLatin1StringView description;
};
constexpr KnownCurrency knownCurrencies[] = {
    {QLatin1StringView("DOLLARO"), QLatin1StringView("EUR/USD - DOLLARO USA")},
    {QLatin1StringView("FRANCO SVIZZERO"), QLatin1StringView("EUR/CHF - FRANCO SVIZZERO")},
    {QLatin1StringView("YEN"), QLatin1StringView("EUR/JPY - YEN GIAPPONESE")},
    {QLatin1StringView("STERLINA"), QLatin1StringView("EUR/GBP - STERLINA INGLESE")},
};

// Reads 1 to maxDigits ASCII digits making up the whole text.
int digitsValue(QStringView text, qsizetype maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (!isAsciiDigit(c))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

// A buffer over its own copy of the bytes, open for reading.
std::unique_ptr<QBuffer> bufferOf(const QByteArray &bytes)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}

} // namespace

Lines::Lines(QIODevice &device) : m_reader(device)
{
    m_reader.scan();
}

Lines::Lines(const QByteArray &bytes) : m_buffer(bufferOf(bytes)), m_reader(*m_buffer)
{
    m_reader.scan();
}

Lines::~Lines() = default;

bool Lines::next(QString &line)
{
    return m_reader.next(line);
}

Currency currencyOf(QStringView secondLine)
{
    Currency currency;
    if (secondLine.size() < currencyMarker.size() ||
        secondLine.left(currencyMarker.size()).compare(currencyMarker, Qt::CaseInsensitive) != 0)
        return currency;
    QString text = secondLine.mid(currencyMarker.size()).toString().toUpper().trimmed();
    for (const KnownCurrency &known : knownCurrencies) {
        if (text.startsWith(known.start)) {
            text = known.description;
            break;
        }
    }
    currency.code = PairSymbol::of(text);
    currency.description = text;
    return currency;
}

namespace {

// Rates are written with "." whatever the locale, and a stray line break inside a field is a blank.
LenientNumber readRate(QStringView text)
{
    return readLenientNumber(text, {.newlineIsBlank = true});
}

} // namespace

QString dateOf(QStringView field)
{
    const QStringView trimmed = field.trimmed();
    const qsizetype first = trimmed.indexOf(QLatin1Char('/'));
    const qsizetype second = first < 0 ? -1 : trimmed.indexOf(QLatin1Char('/'), first + 1);
    if (second < 0)
        return {};
    const int day = digitsValue(trimmed.left(first), 2);
    const int month = digitsValue(trimmed.mid(first + 1, second - first - 1), 2);
    const QStringView yearText = trimmed.mid(second + 1);
    const int year = yearText.size() == 4 ? digitsValue(yearText, 4) : -1;
    if (day < 0 || month < 0 || year < 0 || !QDate(year, month, day).isValid())
        return {};
    QString date(8, Qt::Uninitialized);
    QChar *out = date.data();
    for (const int part : {year / 100, year % 100, month, day}) {
        *out++ = QLatin1Char(char('0' + part / 10));
        *out++ = QLatin1Char(char('0' + part % 10));
    }
    return date;
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
            data.kind = DataLine::Kind::BadDate;
            data.note = whole.toString();
            return data;
        }
        rest = whole.mid(dateEnd + 1);
    }

    const qsizetype rateEnd = rest.indexOf(QLatin1Char(','));
    LenientNumber rate;
    if (rateEnd > 0) {
        rate = readRate(rest.left(rateEnd));
        data.note = rest.mid(rateEnd + 1).trimmed().toString();
    } else {
        // "date,rate" with nothing after it keeps its rate; any other text is the note.
        const LenientNumber lastField = hasDateField && rateEnd < 0 ? readRate(rest) : LenientNumber{};
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
