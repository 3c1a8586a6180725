#include "quotes/referencerates.h"

#include <QHash>
#include <QIODevice>
#include <QXmlStreamReader>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace ReferenceRates {

QDate firstEuroDay()
{
    return QDate(1999, 1, 1);
}

namespace {

// Longer figures are no rate the bank writes; the bound keeps a hostile attribute from costing more
// than a glance.
constexpr qsizetype maxRateLength = 32;

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

QString refusal(const QXmlStreamReader &reader, const QString &what)
{
    return QStringLiteral("Documento dei cambi di riferimento non valido (riga %1, colonna %2): %3")
        .arg(reader.lineNumber())
        .arg(reader.columnNumber())
        .arg(what);
}

// Reads the elements; returns the refusal text, empty when the document was read to its end.
QString readDocument(QXmlStreamReader &reader, const QSet<QString> &wantedCodes, QList<RateDay> &days)
{
    // Every rate of a code shares one string: a full history repeats a few dozen codes millions of times.
    QHash<QString, QString> codes;
    const QStringList wanted(wantedCodes.cbegin(), wantedCodes.cend());
    int depth = 0;
    bool inEnvelope = false; // depth 1 is the envelope
    int outerCubeDepth = 0;  // depth of the Cube holding the days, 0 outside it
    int dayDepth = 0;        // depth of the current day's Cube, 0 outside a day
    bool dayValid = false;
    RateDay day;

    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return refusal(reader, QStringLiteral("il documento dichiara una DTD"));
        case QXmlStreamReader::StartElement: {
            ++depth;
            if (depth > maxDepth)
                return refusal(reader, QStringLiteral("elementi annidati oltre %1 livelli").arg(maxDepth));
            const bool isCube =
                reader.name() == QLatin1StringView("Cube") && reader.namespaceUri() == cubeNamespace;
            if (depth == 1) {
                if (reader.name() != QLatin1StringView("Envelope") ||
                    reader.namespaceUri() != envelopeNamespace)
                    return refusal(reader, QStringLiteral("l'elemento radice non è gesmes:Envelope"));
                inEnvelope = true;
            } else if (depth == 2 && inEnvelope && isCube) {
                outerCubeDepth = depth;
            } else if (outerCubeDepth && depth == outerCubeDepth + 1 && isCube) {
                dayDepth = depth;
                day = RateDay{readDay(reader.attributes().value(QLatin1StringView("time"))), {}};
                dayValid = day.day.isValid();
            } else if (dayDepth && depth == dayDepth + 1 && isCube && dayValid) {
                const QXmlStreamAttributes attributes = reader.attributes();
                const QStringView code = attributes.value(QLatin1StringView("currency"));
                // A full history lists some forty currencies a day: those not wanted cost no more than
                // a look at their code.
                if (!isCurrencyCode(code) || (!wanted.isEmpty() && !wanted.contains(code)))
                    break;
                const std::optional<double> rate = readRate(attributes.value(QLatin1StringView("rate")));
                if (!rate)
                    break;
                QString codeText = code.toString();
                auto shared = codes.find(codeText);
                if (shared == codes.end())
                    shared = codes.insert(codeText, codeText);
                const bool known = std::any_of(day.rates.cbegin(), day.rates.cend(),
                                               [&](const CurrencyRate &r) { return r.code == codeText; });
                if (!known)
                    day.rates.append(CurrencyRate{shared.value(), *rate});
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (depth == dayDepth) {
                if (dayValid && !day.rates.isEmpty())
                    days.append(std::move(day));
                day = RateDay();
                dayDepth = 0;
                dayValid = false;
            } else if (depth == outerCubeDepth) {
                outerCubeDepth = 0;
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return refusal(reader, reader.errorString());
    return QString();
}

// Ascending days, each once: the files list the newest first, and a day given twice is merged with
// the first occurrence's rates winning.
QList<RateDay> ordered(QList<RateDay> days)
{
    std::stable_sort(days.begin(), days.end(),
                     [](const RateDay &a, const RateDay &b) { return a.day < b.day; });
    QList<RateDay> merged;
    merged.reserve(days.size());
    for (RateDay &day : days) {
        if (merged.isEmpty() || merged.constLast().day != day.day) {
            merged.append(std::move(day));
            continue;
        }
        QList<CurrencyRate> &rates = merged.last().rates;
        for (const CurrencyRate &rate : std::as_const(day.rates)) {
            const bool known = std::any_of(rates.cbegin(), rates.cend(),
                                           [&](const CurrencyRate &r) { return r.code == rate.code; });
            if (!known)
                rates.append(rate);
        }
    }
    return merged;
}

Document parseWith(QXmlStreamReader &reader, const QSet<QString> &wantedCodes)
{
    Document document;
    QList<RateDay> days;
    document.error = readDocument(reader, wantedCodes, days);
    if (document.ok())
        document.days = ordered(std::move(days));
    return document;
}

} // namespace

Document parse(QByteArrayView xml, const QSet<QString> &wantedCodes)
{
    // The reader takes bytes, not text, so that it honours the document's own encoding declaration.
    QXmlStreamReader reader(QByteArray::fromRawData(xml.data(), xml.size()));
    return parseWith(reader, wantedCodes);
}

Document parse(QIODevice *device, const QSet<QString> &wantedCodes)
{
    QXmlStreamReader reader(device);
    return parseWith(reader, wantedCodes);
}

bool looksLikeReferenceRates(QByteArrayView body)
{
    // The namespaces are declared on the envelope, within the first few hundred bytes of every file.
    QByteArrayView head = body.first(std::min<qsizetype>(body.size(), 4096));
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    while (!head.isEmpty() &&
           (head.front() == ' ' || head.front() == '\t' || head.front() == '\r' || head.front() == '\n'))
        head = head.sliced(1);
    if (head.startsWith("<?xml"))
        return true;
    const QByteArray envelope = QByteArray(envelopeNamespace.data(), envelopeNamespace.size());
    const QByteArray cube = QByteArray(cubeNamespace.data(), cubeNamespace.size());
    return head.indexOf(envelope) >= 0 || head.indexOf(cube) >= 0;
}

namespace {

// The rule of both readRate() overloads, on a figure already trimmed and no longer than
// maxRateLength.
std::optional<double> readFigure(QByteArrayView figure)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    qsizetype i = 0;
    while (i < figure.size() && digit(figure[i]))
        ++i;
    if (i == 0)
        return std::nullopt;
    if (i < figure.size()) {
        if (figure[i] != '.' || i + 1 == figure.size())
            return std::nullopt;
        for (++i; i < figure.size(); ++i) {
            if (!digit(figure[i]))
                return std::nullopt;
        }
    }
    // Correctly rounded, as any conversion of a decimal figure; no locale, no text made.
    double value = 0;
    const auto [end, error] = std::from_chars(figure.begin(), figure.end(), value);
    if (error != std::errc() || end != figure.end() || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}

// What QStringView::trimmed() takes for white space in a Latin-1 text.
bool isLatin1Space(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u == ' ' || (u >= '\t' && u <= '\r') || u == 0x85 || u == 0xA0;
}

} // namespace

std::optional<double> readRate(QStringView text)
{
    const QStringView figure = text.trimmed();
    if (figure.isEmpty() || figure.size() > maxRateLength)
        return std::nullopt;
    char bytes[maxRateLength];
    for (qsizetype i = 0; i < figure.size(); ++i) {
        if (figure[i].unicode() > 0x7F)
            return std::nullopt;
        bytes[i] = char(figure[i].unicode());
    }
    return readFigure(QByteArrayView(bytes, figure.size()));
}

std::optional<double> readRate(QByteArrayView text)
{
    while (!text.isEmpty() && isLatin1Space(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isLatin1Space(text.back()))
        text.chop(1);
    if (text.isEmpty() || text.size() > maxRateLength)
        return std::nullopt;
    return readFigure(text);
}

bool isCurrencyCode(QStringView text)
{
    return text.size() == 3 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'A' && c <= u'Z'; });
}

QDate readDay(QStringView text)
{
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return QDate();
    int parts[3] = {0, 0, 0};
    const qsizetype starts[3] = {0, 5, 8};
    const qsizetype lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (qsizetype i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (!isAsciiDigit(text[i]))
                return QDate();
            parts[p] = parts[p] * 10 + (text[i].unicode() - u'0');
        }
    }
    const QDate day(parts[0], parts[1], parts[2]);
    if (!day.isValid() || day < firstEuroDay())
        return QDate();
    return day;
}

QUrl siblingUrl(const QUrl &dailyUrl, QLatin1StringView fileName)
{
    QUrl url = dailyUrl.adjusted(QUrl::RemoveFilename | QUrl::RemoveQuery | QUrl::RemoveFragment);
    QString path = url.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    url.setPath(path + fileName);
    return url;
}

bool isWeekday(QDate day)
{
    return day.isValid() && day.dayOfWeek() <= 5;
}

qint64 weekdaysStrictlyBetween(QDate from, QDate to)
{
    if (!from.isValid() || !to.isValid())
        return 0;
    const qint64 days = from.daysTo(to) - 1; // from + 1 .. to - 1
    if (days <= 0)
        return 0;
    qint64 count = days / 7 * 5;
    QDate day = from.addDays(days / 7 * 7 + 1);
    for (qint64 left = days % 7; left > 0; --left, day = day.addDays(1)) {
        if (isWeekday(day))
            ++count;
    }
    return count;
}

bool lacksDays(QDate newestStored, QDate dailyDay)
{
    if (!dailyDay.isValid())
        return false;
    if (!newestStored.isValid())
        return true;
    return weekdaysStrictlyBetween(newestStored, dailyDay) > 0;
}

HistoryFile historyFileFor(QDate dailyDay, const QList<QDate> &newestStoredPerPair)
{
    if (!dailyDay.isValid())
        return HistoryFile::None;
    const QDate reach = dailyDay.addDays(-ninetyDayReach);
    HistoryFile file = HistoryFile::None;
    for (const QDate &newest : newestStoredPerPair) {
        if (!newest.isValid())
            return HistoryFile::Full;
        if (!lacksDays(newest, dailyDay))
            continue;
        QDate firstMissing = newest.addDays(1);
        while (!isWeekday(firstMissing))
            firstMissing = firstMissing.addDays(1);
        if (firstMissing < reach)
            return HistoryFile::Full;
        file = HistoryFile::NinetyDays;
    }
    return file;
}

bool isStale(QDate newestOffered, QDate today)
{
    return weekdaysStrictlyBetween(newestOffered, today) > 3;
}

} // namespace ReferenceRates
