#include "history/bankhistorycsv.h"

#include <QBuffer>
#include <QHash>
#include <QIODevice>

namespace BankHistoryCsv {

namespace {

constexpr qint64 chunkSize = 64 * 1024;

// Lines of a device, CR LF or LF, the last one with or without its line end.
class LineSource
{
public:
    explicit LineSource(QIODevice &device) : m_device(device) {}

    enum class Next { Line, End, TooLong, ReadFailed };

    Next next(QByteArrayView &line)
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n', m_position);
            if (end >= 0) {
                line = QByteArrayView(m_buffer).sliced(m_position, end - m_position);
                m_position = end + 1;
                return finish(line);
            }
            if (m_buffer.size() - m_position > maxLineLength)
                return tooLong();
            if (m_atEnd) {
                if (m_position == m_buffer.size())
                    return Next::End;
                line = QByteArrayView(m_buffer).sliced(m_position);
                m_position = m_buffer.size();
                return finish(line);
            }
            m_buffer.remove(0, m_position);
            m_position = 0;
            const qsizetype kept = m_buffer.size();
            m_buffer.resize(kept + chunkSize);
            const qint64 got = m_device.read(m_buffer.data() + kept, chunkSize);
            m_buffer.resize(kept + std::max<qint64>(got, 0));
            if (got < 0) {
                m_error = m_device.errorString();
                return Next::ReadFailed;
            }
            if (got == 0)
                m_atEnd = true;
        }
    }

    // The device's own text after ReadFailed.
    QString error() const { return m_error; }

private:
    Next finish(QByteArrayView &line)
    {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > maxLineLength)
            return tooLong();
        return Next::Line;
    }

    static Next tooLong() { return Next::TooLong; }

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    bool m_atEnd = false;
    QString m_error;
};

QByteArrayView trimmed(QByteArrayView field)
{
    while (!field.isEmpty() && (field.front() == ' ' || field.front() == '\t'))
        field = field.sliced(1);
    while (!field.isEmpty() && (field.back() == ' ' || field.back() == '\t'))
        field.chop(1);
    return field;
}

// The fields of a line, blanks around each removed; reuses the list's storage.
void split(QByteArrayView line, QList<QByteArrayView> &fields)
{
    fields.clear();
    qsizetype start = 0;
    for (;;) {
        const qsizetype comma = line.indexOf(',', start);
        if (comma < 0) {
            fields.append(trimmed(line.sliced(start)));
            return;
        }
        fields.append(trimmed(line.sliced(start, comma - start)));
        start = comma + 1;
    }
}

// A field as it may be quoted in a message: never more than a few dozen characters of it.
QString shown(QByteArrayView field)
{
    constexpr qsizetype shownLength = 40;
    QString text = QString::fromLatin1(field.first(std::min(field.size(), shownLength)));
    if (field.size() > shownLength)
        text += QStringLiteral("...");
    return text;
}

struct Column
{
    QString code; // empty for the unnamed last column
    bool wanted = false;
};

} // namespace

Result read(QIODevice &device, const DayHandler &onDay, const QSet<QString> &wantedCodes)
{
    return readNumbered(
        device, [&onDay](const RateDay &day, qint64) { return onDay(day); }, wantedCodes);
}

Result readNumbered(QIODevice &device, const NumberedDayHandler &onDay, const QSet<QString> &wantedCodes)
{
    Result result;
    LineSource lines(device);
    QList<Column> columns; // after the date column
    QList<QByteArrayView> fields;
    QSet<QDate> seenDays;
    qint64 lineNumber = 0;
    bool headerRead = false;
    RateDay day;

    const auto fail = [&](const QString &what) {
        result.line = lineNumber;
        result.error = QStringLiteral("Riga %1: %2").arg(lineNumber).arg(what);
        return result;
    };

    for (;;) {
        QByteArrayView line;
        const LineSource::Next next = lines.next(line);
        if (next == LineSource::Next::End)
            break;
        if (next == LineSource::Next::ReadFailed) {
            result.error = QStringLiteral("Errore di lettura: %1").arg(lines.error());
            return result;
        }
        ++lineNumber;
        if (next == LineSource::Next::TooLong)
            return fail(QStringLiteral("riga più lunga di %1 byte").arg(maxLineLength));
        if (lineNumber == 1 && line.startsWith("\xEF\xBB\xBF"))
            line = line.sliced(3);
        if (trimmed(line).isEmpty())
            continue;
        split(line, fields);

        if (!headerRead) {
            if (fields.first() != "Date")
                return fail(QStringLiteral("l'intestazione non inizia con \"Date\""));
            for (qsizetype i = 1; i < fields.size(); ++i) {
                const QString code = QString::fromLatin1(fields[i]);
                const bool last = i == fields.size() - 1;
                if (code.isEmpty() && last) {
                    columns.append(Column());
                    continue;
                }
                if (!ReferenceRates::isCurrencyCode(code))
                    return fail(QStringLiteral("\"%1\" nell'intestazione non è un codice di valuta")
                                    .arg(shown(fields[i])));
                for (const Column &column : std::as_const(columns)) {
                    if (column.code == code)
                        return fail(
                            QStringLiteral("la valuta %1 compare due volte nell'intestazione").arg(code));
                }
                columns.append(Column{code, wantedCodes.isEmpty() || wantedCodes.contains(code)});
            }
            if (columns.isEmpty() || columns.constFirst().code.isEmpty())
                return fail(QStringLiteral("l'intestazione non nomina alcuna valuta"));
            headerRead = true;
            continue;
        }

        if (fields.size() != columns.size() + 1)
            return fail(QStringLiteral("la riga ha %1 campi invece dei %2 dell'intestazione")
                            .arg(fields.size())
                            .arg(columns.size() + 1));
        day.day = ReferenceRates::readDay(QString::fromLatin1(fields.first()));
        if (!day.day.isValid())
            return fail(QStringLiteral("data non valida: \"%1\"").arg(shown(fields.first())));
        if (seenDays.contains(day.day))
            return fail(QStringLiteral("il giorno %1 compare due volte").arg(shown(fields.first())));
        seenDays.insert(day.day);
        day.rates.clear();
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const QByteArrayView field = fields[i + 1];
            const Column &column = columns[i];
            if (column.code.isEmpty()) {
                if (!field.isEmpty())
                    return fail(
                        QStringLiteral("un valore nella colonna senza nome: \"%1\"").arg(shown(field)));
                continue;
            }
            if (field.isEmpty() || field == "N/A")
                continue;
            const std::optional<double> rate = ReferenceRates::readRate(field);
            if (!rate)
                return fail(QStringLiteral("cambio di %1 non valido: \"%2\"").arg(column.code, shown(field)));
            if (column.wanted)
                day.rates.append(CurrencyRate{column.code, *rate});
        }
        ++result.days;
        if (!day.rates.isEmpty() && !onDay(day, lineNumber)) {
            result.stopped = true;
            return result;
        }
    }

    if (!headerRead) {
        result.error = QStringLiteral("Il file è vuoto");
        return result;
    }
    if (result.days == 0)
        return fail(QStringLiteral("nessun giorno dopo l'intestazione"));
    return result;
}

Result read(QByteArrayView bytes, const DayHandler &onDay, const QSet<QString> &wantedCodes)
{
    QByteArray data = QByteArray::fromRawData(bytes.data(), bytes.size());
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer, onDay, wantedCodes);
}

bool looksLikeBankHistoryCsv(QByteArrayView head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    return head.startsWith("Date,");
}

} // namespace BankHistoryCsv
