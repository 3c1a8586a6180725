#include "history/listingrules.h"

QByteArray beforeInDateOrder(const QByteArray &date, const QByteArray &position, const char *positionColumn)
{
    const QByteArray earlier = QByteArray(positionColumn) + " < " + position;
    if (date.isEmpty())
        return " AND (Data_Valuta IS NULL AND " + earlier + ')';
    return " AND (Data_Valuta IS NULL OR Data_Valuta < " + date + " OR (Data_Valuta = " + date + " AND " +
           earlier + "))";
}

QByteArray placeholders(char mark, int first, int count, const char *cast)
{
    QByteArray list;
    for (int i = 0; i < count; ++i)
        list += (i ? "," : "") + (mark + QByteArray::number(first + i)) + cast;
    return list;
}

void PairLines::add(const QString &day, double quote)
{
    if (!day.isEmpty())
        m_lines.append(day, quote);
    if (m_format.isUnavailableMark(quote))
        ++m_quotes.unavailableMarks;
    m_quotes.last = LastQuote{day, quote};
    m_dayOfLastLine = false;
}

void PairLines::endWithUnreadable(const QString &day)
{
    m_quotes.last = LastQuote{day, 0};
    m_dayOfLastLine = false;
}

void PairLines::finish(ListingSnapshot &snapshot)
{
    if (m_quotes.last && m_dayOfLastLine)
        m_quotes.last->day = m_lines.lastDate();
    snapshot.lines = m_lines.finish();
    snapshot.pairQuotes = m_quotes;
}

ListingRules::CodeGroup ListingRules::groupOf(const QString &storedCode) const
{
    const QString code = storedCode.trimmed();
    return code.isEmpty() ? CodeGroup::Blank : code == m_pair ? CodeGroup::Pair : CodeGroup::Other;
}

ListingSnapshot ListingRules::read(ListingSource &source)
{
    ListingSnapshot snapshot;
    PairLines pairLines(m_pair, m_format);
    std::optional<ListingSource::Record> unreadable;
    const auto finish = [&] {
        pairLines.finish(snapshot);
        snapshot.readError = source.error();
        if (!snapshot.readError.isError() && unreadable)
            snapshot.readError = unreadable->error;
        return snapshot;
    };

    m_pairCodes.clear();
    m_blankCodes = false;
    const std::optional<ListingSource::Totals> totals = source.totals();
    if (!totals || totals->records == 0)
        return finish();
    std::vector<QString> codes;
    if (!source.readCodes(codes))
        return finish();
    // What the count leaves out: records of blank codes, and of none.
    std::vector<int> skipped;
    for (int code = 0; code < int(codes.size()); ++code) {
        const CodeGroup group = groupOf(codes[size_t(code)]);
        if (group == CodeGroup::Blank)
            skipped.push_back(code);
        else if (group == CodeGroup::Pair)
            m_pairCodes.push_back(code);
    }
    if (totals->nullCodes)
        skipped.push_back(ListingSource::kNoCode);
    m_blankCodes = !skipped.empty();

    const bool blankPair = m_pair.isEmpty();
    std::optional<ListingSource::Record> first;
    if (m_blankCodes || blankPair) {
        first = source.firstRecord();
        if (!first)
            return finish();
    }
    const bool firstBlank = first && first->code.isEmpty();

    if (totals->quotesMayFail) {
        // A record of a blank code past the first is not loaded, and so not read.
        unreadable = source.firstUnreadable(
            [](const ListingSource::Record &record) { return record.first || !record.code.isEmpty(); });
        if (source.error().isError())
            return finish();
    }
    const bool firstUnreadable = firstBlank && unreadable && unreadable->first;

    std::optional<qint64> loaded = unreadable ? source.count(ListingSource::kAnyCode) : totals->records;
    if (!loaded)
        return finish();
    for (const int code : skipped) {
        const std::optional<qint64> blank = source.count(code);
        if (!blank)
            return finish();
        *loaded -= *blank;
    }
    if (firstBlank && !firstUnreadable)
        ++*loaded;
    snapshot.count = *loaded + (unreadable ? 1 : 0);

    if (blankPair) {
        // Only the first record can have a blank code and be loaded.
        if (firstUnreadable)
            pairLines.endWithUnreadable(first->day);
        else if (firstBlank)
            pairLines.add(first->day, first->quote);
    } else {
        if (!m_pairCodes.empty())
            source.readPair(m_pairCodes, pairLines);
        if (unreadable && unreadable->code == m_pair)
            pairLines.endWithUnreadable(unreadable->day);
    }
    return finish();
}

bool ListingRules::mayBeUpdated(const ListingSnapshot &snapshot) const
{
    return !snapshot.readError.isError() && !m_blankCodes && !m_pair.isEmpty() && m_pairCodes.size() <= 1;
}
