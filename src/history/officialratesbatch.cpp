#include "officialratesbatch.h"

#include "historydb.h"
#include "recordwriter.h"

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

bool OfficialRatesBatch::fail(const QSqlQuery &query)
{
    m_error = databaseError(query.lastError());
    return false;
}

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
        return fail(m_lookup);
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
        fail(query);
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
        return fail(m_lookup);
    QHash<QString, qint64> stored;
    while (m_lookup.next())
        stored.insert(m_lookup.value(0).toString(), m_lookup.value(1).toLongLong());
    if (m_lookup.lastError().isValid())
        return fail(m_lookup);
    m_lookup.finish();

    QList<const Line *> updates, inserts;
    for (const Line &day : days)
        (stored.contains(day.date) ? updates : inserts).append(&day);

    // The rows go out in groups of power-of-two sizes, so that a handful of prepared statements
    // serve any count.
    for (qsizetype done = 0; done < updates.size();) {
        const int rows = int(std::bit_floor(quint64(updates.size() - done)));
        QSqlQuery *query = updateFor(rows);
        if (!query)
            return false;
        // Code and description are the same on every line: each is bound once per statement.
        query->bindValue(0, m_description);
        for (int r = 0; r < rows; ++r) {
            const Line &day = *updates.at(done + r);
            query->bindValue(1 + r * 3, stored.value(day.date));
            query->bindValue(2 + r * 3, day.rate);
            query->bindValue(3 + r * 3, day.note);
        }
        if (!query->exec())
            return fail(*query);
        done += rows;
    }
    for (qsizetype done = 0; done < inserts.size();) {
        const int rows = int(std::bit_floor(quint64(inserts.size() - done)));
        QSqlQuery *query = insertFor(rows);
        if (!query)
            return false;
        query->bindValue(0, m_code);
        query->bindValue(1, m_description);
        for (int r = 0; r < rows; ++r) {
            const Line &day = *inserts.at(done + r);
            query->bindValue(2 + r * 3, day.date);
            query->bindValue(3 + r * 3, day.rate);
            query->bindValue(4 + r * 3, day.note);
        }
        if (!query->exec())
            return fail(*query);
        done += rows;
    }
    return true;
}
