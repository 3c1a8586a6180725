#include "history/officialratesbatch.h"

#include "history/historydb.h"
#include "history/recordwriter.h"

#include <QSqlError>
#include <bit>

namespace {

QString placeholders(int rows, int columns)
{
    QString row = QStringLiteral("(?");
    for (int c = 1; c < columns; ++c)
        row += QStringLiteral(", ?");
    row += QLatin1Char(')');
    QStringList all;
    all.reserve(rows);
    for (int r = 0; r < rows; ++r)
        all << row;
    return all.join(QStringLiteral(", "));
}

} // namespace

OfficialRatesBatch::OfficialRatesBatch(const QSqlDatabase &db, const QString &code,
                                       const QString &description)
    : m_db(db), m_code(RecordWriter::storedText(code)), m_description(RecordWriter::storedText(description)),
      m_lookup(db)
{}

bool OfficialRatesBatch::prepare()
{
    m_error = {};
    if (!m_db.isOpen())
        return false;
    m_lookup.setForwardOnly(true);
    QString dates = QStringLiteral("?");
    for (int i = 1; i < maxLines; ++i)
        dates += QStringLiteral(", ?");
    // Several records of one day may be stored: the one a single lookup would meet first is the
    // lowest rowid.
    if (!m_lookup.prepare(QStringLiteral("SELECT Data_Valuta, min(rowid) FROM Storico_Valute "
                                         "WHERE Tipo_Valuta = ? AND Data_Valuta IN (%1) GROUP BY Data_Valuta")
                              .arg(dates)))
        return keepError(m_error, m_lookup);
    // An engine without UPDATE ... FROM fails here, not in the middle of an import.
    return updateFor(1) != nullptr && insertFor(1) != nullptr;
}

QSqlQuery *OfficialRatesBatch::prepared(QHash<int, QSqlQuery> &cache, int rows, const QString &sql)
{
    auto it = cache.find(rows);
    if (it != cache.end())
        return &*it;
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        keepError(m_error, query);
        return nullptr;
    }
    return &*cache.insert(rows, query);
}

QSqlQuery *OfficialRatesBatch::insertFor(int rows)
{
    return prepared(
        m_inserts, rows,
        QStringLiteral("INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note) "
                       "SELECT ?, v.column1, v.column2, ?, v.column3 FROM (VALUES ") +
            placeholders(rows, 3) + QStringLiteral(") AS v"));
}

QSqlQuery *OfficialRatesBatch::updateFor(int rows)
{
    // The lookup matched code and day exactly, so only the other fields change.
    return prepared(m_updates, rows,
                    QStringLiteral("UPDATE Storico_Valute SET Quotazione = v.column2, Descrizione = ?, "
                                   "Note = v.column3 FROM (VALUES ") +
                        placeholders(rows, 3) +
                        QStringLiteral(") AS v WHERE Storico_Valute.rowid = v.column1"));
}

bool OfficialRatesBatch::write(const QList<Line> &lines)
{
    m_error = {};
    if (lines.isEmpty())
        return true;
    Q_ASSERT(lines.size() <= maxLines);

    // One entry per day, where the day first appears, holding the values of its last line.
    QList<Line> days;
    QHash<QString, qsizetype> dayAt;
    days.reserve(lines.size());
    dayAt.reserve(lines.size());
    for (const Line &line : lines) {
        const Line day{RecordWriter::storedText(line.date), line.rate, RecordWriter::storedText(line.note)};
        const auto found = dayAt.constFind(day.date);
        if (found != dayAt.constEnd()) {
            days[*found] = day;
        } else {
            dayAt.insert(day.date, days.size());
            days.append(day);
        }
    }

    m_lookup.bindValue(0, m_code);
    for (int i = 0; i < maxLines; ++i)
        m_lookup.bindValue(i + 1, days.at(i < days.size() ? i : 0).date);
    if (!m_lookup.exec())
        return keepError(m_error, m_lookup);
    QHash<QString, qint64> stored;
    while (m_lookup.next())
        stored.insert(m_lookup.value(0).toString(), m_lookup.value(1).toLongLong());
    if (m_lookup.lastError().isValid())
        return keepError(m_error, m_lookup);
    m_lookup.finish();

    QList<const Line *> updates, inserts;
    for (const Line &day : days)
        (stored.contains(day.date) ? updates : inserts).append(&day);

    // Code and description are the same on every line: each is bound once per statement.
    return writeGroups(updates, &OfficialRatesBatch::updateFor, {m_description},
                       [&stored](const Line &day) { return QVariant(stored.value(day.date)); }) &&
           writeGroups(inserts, &OfficialRatesBatch::insertFor, {m_code, m_description},
                       [](const Line &day) { return QVariant(day.date); });
}

bool OfficialRatesBatch::writeGroups(const QList<const Line *> &lines,
                                     QSqlQuery *(OfficialRatesBatch::*statementFor)(int),
                                     const QVariantList &shared,
                                     const std::function<QVariant(const Line &)> &key)
{
    // The rows go out in groups of power-of-two sizes, so that a handful of prepared statements
    // serve any count.
    const int first = int(shared.size());
    for (qsizetype done = 0; done < lines.size();) {
        const int rows = int(std::bit_floor(quint64(lines.size() - done)));
        QSqlQuery *query = (this->*statementFor)(rows);
        if (!query)
            return false;
        for (int i = 0; i < first; ++i)
            query->bindValue(i, shared.at(i));
        for (int r = 0; r < rows; ++r) {
            const Line &day = *lines.at(done + r);
            query->bindValue(first + r * 3, key(day));
            query->bindValue(first + 1 + r * 3, day.rate);
            query->bindValue(first + 2 + r * 3, day.note);
        }
        if (!query->exec())
            return keepError(m_error, *query);
        done += rows;
    }
    return true;
}
