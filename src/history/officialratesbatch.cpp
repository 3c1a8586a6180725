#include "history/officialratesbatch.h"

#include "history/historydb.h"
#include "history/recordwriter.h"

#include <QSqlError>
#include <bit>
#include <utility>

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

using Key = std::pair<QString, QString>; // code, date

} // namespace

OfficialRatesBatch::OfficialRatesBatch(const QSqlDatabase &db) : m_db(db), m_lookup(db) {}

bool OfficialRatesBatch::prepare()
{
    m_error = {};
    if (!m_db.isOpen())
        return false;
    m_lookup.setForwardOnly(true);
    // Several records of one currency and day may be stored: the one a single lookup would meet
    // first is the lowest rowid. Joining from the list of keys lets each of them be one search of
    // the (Tipo_Valuta, Data_Valuta) index, however large the table.
    if (!m_lookup.prepare(QStringLiteral("SELECT v.column1, v.column2, min(s.rowid) FROM (VALUES %1) AS v "
                                         "JOIN Storico_Valute AS s "
                                         "ON s.Tipo_Valuta = v.column1 AND s.Data_Valuta = v.column2 "
                                         "GROUP BY v.column1, v.column2")
                              .arg(placeholders(maxLines, 2))))
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
    return prepared(m_inserts, rows,
                    QStringLiteral("INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, "
                                   "Descrizione, Note) VALUES ") +
                        placeholders(rows, 5));
}

QSqlQuery *OfficialRatesBatch::updateFor(int rows)
{
    // The lookup matched code and day exactly, so only the other fields change.
    return prepared(
        m_updates, rows,
        QStringLiteral("UPDATE Storico_Valute SET Quotazione = v.column2, Descrizione = v.column3, "
                       "Note = v.column4 FROM (VALUES ") +
            placeholders(rows, 4) + QStringLiteral(") AS v WHERE Storico_Valute.rowid = v.column1"));
}

bool OfficialRatesBatch::write(const QList<Line> &lines)
{
    m_error = {};
    if (lines.isEmpty())
        return true;
    Q_ASSERT(lines.size() <= maxLines);

    // One entry per currency and day, where it first appears, holding the values of its last line.
    QList<Line> records;
    QHash<Key, qsizetype> recordAt;
    records.reserve(lines.size());
    recordAt.reserve(lines.size());
    for (const Line &line : lines) {
        Line record{RecordWriter::storedText(line.code), RecordWriter::storedText(line.date), line.rate,
                    RecordWriter::storedText(line.description), RecordWriter::storedText(line.note)};
        Key key{record.code, record.date};
        const auto found = recordAt.constFind(key);
        if (found != recordAt.constEnd()) {
            records[*found] = std::move(record);
        } else {
            recordAt.insert(std::move(key), records.size());
            records.append(std::move(record));
        }
    }

    // Unused places repeat the first key, which the grouping folds into one.
    for (int i = 0; i < maxLines; ++i) {
        const Line &record = records.at(i < records.size() ? i : 0);
        m_lookup.bindValue(2 * i, record.code);
        m_lookup.bindValue(2 * i + 1, record.date);
    }
    if (!m_lookup.exec())
        return keepError(m_error, m_lookup);
    QHash<Key, qint64> stored;
    while (m_lookup.next())
        stored.insert({m_lookup.value(0).toString(), m_lookup.value(1).toString()},
                      m_lookup.value(2).toLongLong());
    if (m_lookup.lastError().isValid())
        return keepError(m_error, m_lookup);
    m_lookup.finish();

    QList<const Line *> updates, inserts;
    for (const Line &record : std::as_const(records))
        (stored.contains({record.code, record.date}) ? updates : inserts).append(&record);

    return writeGroups(updates, &OfficialRatesBatch::updateFor, 4,
                       [&stored](QSqlQuery &query, int first, const Line &record) {
                           query.bindValue(first, stored.value({record.code, record.date}));
                           query.bindValue(first + 1, record.rate);
                           query.bindValue(first + 2, record.description);
                           query.bindValue(first + 3, record.note);
                       }) &&
           writeGroups(inserts, &OfficialRatesBatch::insertFor, 5,
                       [](QSqlQuery &query, int first, const Line &record) {
                           query.bindValue(first, record.code);
                           query.bindValue(first + 1, record.date);
                           query.bindValue(first + 2, record.rate);
                           query.bindValue(first + 3, record.description);
                           query.bindValue(first + 4, record.note);
                       });
}

bool OfficialRatesBatch::writeGroups(const QList<const Line *> &lines,
                                     QSqlQuery *(OfficialRatesBatch::*statementFor)(int), int columns,
                                     const Binder &bind)
{
    // The rows go out in groups of power-of-two sizes, so that a handful of prepared statements
    // serve any count.
    for (qsizetype done = 0; done < lines.size();) {
        const int rows = int(std::bit_floor(quint64(lines.size() - done)));
        QSqlQuery *query = (this->*statementFor)(rows);
        if (!query)
            return false;
        for (int r = 0; r < rows; ++r)
            bind(*query, r * columns, *lines.at(done + r));
        if (!query->exec())
            return keepError(m_error, *query);
        done += rows;
    }
    return true;
}
