#include "core/recordlist.h"

#include "core/recordline.h"

#include <algorithm>
#include <deque>
#include <optional>

// One record of the pair as the list keeps it.
struct ListedRecord
{
    // The date as the number yyyymmdd when it is 8 digits; otherwise kOtherDate plus its place
    // among the other dates.
    quint32 day = 0;
    double quote = 0;
    static constexpr quint32 kOtherDate = 0x80000000u;
};

struct RecordListData
{
    QString code; // the pair's code, ending every line
    QuoteFormat format;
    std::deque<ListedRecord> records; // in blocks: no copy of a long list while it grows
    QStringList otherDates;           // dates that are not 8 digits, as stored (trimmed)
    QStringList texts;                // lines kept as they were read, when there are no records
};

namespace {

const std::shared_ptr<const RecordListData> &emptyData()
{
    static const std::shared_ptr<const RecordListData> empty = std::make_shared<const RecordListData>();
    return empty;
}

std::optional<quint32> packedDay(QStringView date)
{
    if (date.size() != 8)
        return std::nullopt;
    quint32 day = 0;
    for (QChar c : date) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        day = day * 10 + quint32(c.unicode() - u'0');
    }
    return day;
}

char16_t *writeTwo(char16_t *out, quint32 value)
{
    *out++ = char16_t(u'0' + value / 10 % 10);
    *out++ = char16_t(u'0' + value % 10);
    return out;
}

char16_t *writeText(char16_t *out, QStringView text)
{
    std::copy(text.utf16(), text.utf16() + text.size(), out);
    return out + text.size();
}

} // namespace

RecordList::RecordList() : m_data(emptyData()) {}

RecordList::RecordList(std::shared_ptr<const RecordListData> data) : m_data(std::move(data)) {}

RecordList RecordList::ofTexts(const QStringList &lines)
{
    auto data = std::make_shared<RecordListData>();
    data->texts = lines;
    return RecordList(std::move(data));
}

qsizetype RecordList::size() const
{
    return m_data->texts.isEmpty() ? qsizetype(m_data->records.size()) : m_data->texts.size();
}

QStringView RecordList::line(qsizetype i, LineBuffer &buffer) const
{
    const RecordListData &data = *m_data;
    if (!data.texts.isEmpty())
        return data.texts.at(i);
    const ListedRecord &record = data.records[size_t(i)];
    static constexpr QStringView dash = u" - ";
    if (record.day & ListedRecord::kOtherDate) {
        const QString &date = data.otherDates.at(qsizetype(record.day & ~ListedRecord::kOtherDate));
        buffer.m_long = dayMonthYear(date, QLatin1Char('-'));
        buffer.m_long += dash;
        buffer.m_long += data.format.quoteText(record.quote);
        buffer.m_long += dash;
        buffer.m_long += data.code;
        return buffer.m_long;
    }
    const qsizetype size = 10 + dash.size() * 2 + QuoteFormat::quoteTextSize + data.code.size();
    char16_t *out = buffer.m_chars;
    if (size > qsizetype(std::size(buffer.m_chars))) {
        buffer.m_long.resize(size);
        out = reinterpret_cast<char16_t *>(buffer.m_long.data());
    }
    char16_t *const begin = out;
    const quint32 day = record.day;
    out = writeTwo(out, day);
    *out++ = u'-';
    out = writeTwo(out, day / 100);
    *out++ = u'-';
    out = writeTwo(out, day / 1000000);
    out = writeTwo(out, day / 10000);
    out = writeText(out, dash);
    data.format.writeQuoteText(record.quote, out);
    out += QuoteFormat::quoteTextSize;
    out = writeText(out, dash);
    out = writeText(out, data.code);
    return QStringView(begin, out - begin);
}

QString RecordList::line(qsizetype i) const
{
    LineBuffer buffer;
    return line(i, buffer).toString();
}

QStringList RecordList::toStringList() const
{
    if (!m_data->texts.isEmpty())
        return m_data->texts;
    QStringList lines;
    lines.reserve(size());
    LineBuffer buffer;
    for (qsizetype i = 0; i < size(); ++i)
        lines.append(line(i, buffer).toString());
    return lines;
}

std::optional<quint32> RecordList::plainDay(qsizetype i) const
{
    if (!m_data->texts.isEmpty())
        return std::nullopt;
    const quint32 day = m_data->records[size_t(i)].day;
    if (day & ListedRecord::kOtherDate)
        return std::nullopt;
    return day;
}

double RecordList::quote(qsizetype i) const
{
    return m_data->texts.isEmpty() ? m_data->records[size_t(i)].quote : 0;
}

RecordList::Builder::Builder(const QString &code, const QuoteFormat &format)
    : m_data(std::make_shared<RecordListData>())
{
    m_data->code = code;
    m_data->format = format;
}

void RecordList::Builder::append(QStringView date, double quote)
{
    if (const std::optional<quint32> day = packedDay(date)) {
        m_data->records.push_back({*day, quote});
        return;
    }
    m_data->records.push_back({ListedRecord::kOtherDate | quint32(m_data->otherDates.size()), quote});
    m_data->otherDates.append(date.toString());
}

void RecordList::Builder::appendPlain(QByteArrayView date, double quote)
{
    quint32 day = 0;
    for (char c : date)
        day = day * 10 + quint32(c - '0');
    m_data->records.push_back({day, quote});
}

void RecordList::Builder::appendDay(quint32 day, double quote)
{
    m_data->records.push_back({day, quote});
}

QString RecordList::Builder::lastDate() const
{
    if (m_data->records.empty())
        return {};
    const quint32 day = m_data->records.back().day;
    if (day & ListedRecord::kOtherDate)
        return m_data->otherDates.at(qsizetype(day & ~ListedRecord::kOtherDate));
    return QString::number(day).rightJustified(8, QLatin1Char('0'));
}

qsizetype RecordList::Builder::size() const
{
    return qsizetype(m_data->records.size());
}

RecordList RecordList::Builder::finish()
{
    RecordList list(std::move(m_data));
    m_data = std::make_shared<RecordListData>();
    return list;
}
