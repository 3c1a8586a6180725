#include "history/officialratesbatch.h"

#include "history/historydb.h"
#include "history/recordwriter.h"

#include <QSqlError>
#include <algorithm>
#include <bit>
#include <utility>

namespace {

// rows copies of the parenthesised parameters of one row; the first columns may need their type
// spelled out.
QString placeholders(int rows, int columns, const QStringList &typed = {})
{
    QStringList parameters = typed;
    while (parameters.size() < columns)
        parameters << QStringLiteral("?");
    const QString row = QLatin1Char('(') + parameters.join(QStringLiteral(", ")) + QLatin1Char(')');
    QStringList all;
    all.reserve(rows);
    for (int r = 0; r < rows; ++r)
        all << row;
    return all.join(QStringLiteral(", "));
}

using Key = std::pair<QString, QString>; // code, date

// True when every line has the code and description of the first.
bool shareCurrency(const QList<const OfficialRatesBatch::Line *> &lines)
{
    return std::all_of(lines.cbegin(), lines.cend(), [&lines](const OfficialRatesBatch::Line *line) {
        return line->code == lines.constFirst()->code && line->description == lines.constFirst()->description;
    });
}

} // namespace

OfficialRatesBatch::OfficialRatesBatch(const HistoryDb &db)
    : m_db(db.database()), m_dialect(db.engine() ? db.engine()->dialect() : SqlDialect{})
{}

bool OfficialRatesBatch::prepare()
{
    m_error = {};
    if (!m_db.isOpen() || m_dialect.rowId.isEmpty())
        return false;
    // An engine without UPDATE ... FROM fails here, not in the middle of an import.
    return lookupFor(1) != nullptr && updateFor(1) != nullptr && updateEachFor(1) != nullptr &&
           insertFor(1) != nullptr && insertEachFor(1) != nullptr;
}

QSqlQuery *OfficialRatesBatch::prepared(QHash<int, QSqlQuery> &cache, int rows, const QString &sql)
{
    auto it = cache.find(rows);
    if (it != cache.end())
        return &*it;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        keepError(m_error, query);
        return nullptr;
    }
    return &*cache.insert(rows, query);
}

QSqlQuery *OfficialRatesBatch::lookupFor(int dates)
{
    // Several records of one day may be stored: the one a single lookup would meet first is the
    // first stored.
    QString list = QStringLiteral("?");
    for (int i = 1; i < dates; ++i)
        list += QStringLiteral(", ?");
    return prepared(m_lookups, dates,
                    QStringLiteral("SELECT Data_Valuta, %2 FROM Storico_Valute "
                                   "WHERE Tipo_Valuta = ? AND Data_Valuta IN (%1) GROUP BY Data_Valuta")
                        .arg(list, m_dialect.firstRowId.arg(QStringLiteral("Storico_Valute"))));
}

QSqlQuery *OfficialRatesBatch::insertFor(int rows)
{
    return prepared(
        m_inserts, rows,
        QStringLiteral("INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note) "
                       "SELECT ?, v.column1, v.column2, ?, v.column3 FROM (VALUES ") +
            placeholders(rows, 3, {QStringLiteral("?"), m_dialect.numberParam}) + QStringLiteral(") AS v"));
}

QSqlQuery *OfficialRatesBatch::insertEachFor(int rows)
{
    return prepared(m_insertsEach, rows,
                    QStringLiteral("INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, "
                                   "Descrizione, Note) VALUES ") +
                        placeholders(rows, 5));
}

// The lookup matched code and day exactly, so only the other fields change.
QSqlQuery *OfficialRatesBatch::updateFor(int rows)
{
    return prepared(m_updates, rows,
                    QStringLiteral("UPDATE Storico_Valute SET Quotazione = v.column2, Descrizione = ?, "
                                   "Note = v.column3 FROM (VALUES ") +
                        placeholders(rows, 3, {m_dialect.rowIdParam, m_dialect.numberParam}) +
                        QStringLiteral(") AS v WHERE Storico_Valute.%1 = v.column1").arg(m_dialect.rowId));
}

QSqlQuery *OfficialRatesBatch::updateEachFor(int rows)
{
    return prepared(
        m_updatesEach, rows,
        QStringLiteral("UPDATE Storico_Valute SET Quotazione = v.column2, Descrizione = v.column3, "
                       "Note = v.column4 FROM (VALUES ") +
            placeholders(rows, 4, {m_dialect.rowIdParam, m_dialect.numberParam}) +
            QStringLiteral(") AS v WHERE Storico_Valute.%1 = v.column1").arg(m_dialect.rowId));
}

bool OfficialRatesBatch::write(const QList<Line> &lines)
{
    m_error = {};
    if (lines.isEmpty())
        return true;
    Q_ASSERT(lines.size() <= maxLines);

    // One entry per currency and day, where it first appears, holding the values of its last line;
    // and the days of each currency, currencies in the order they first appear.
    QList<Line> records;
    QHash<Key, qsizetype> recordAt;
    QList<QString> codes;
    QHash<QString, QStringList> datesOf;
    records.reserve(lines.size());
    recordAt.reserve(lines.size());
    for (const Line &line : lines) {
        Line record{RecordWriter::storedText(line.code), RecordWriter::storedText(line.date), line.rate,
                    RecordWriter::storedText(line.description), RecordWriter::storedText(line.note)};
        Key key{record.code, record.date};
        const auto found = recordAt.constFind(key);
        if (found != recordAt.constEnd()) {
            records[*found] = std::move(record);
            continue;
        }
        auto dates = datesOf.find(key.first);
        if (dates == datesOf.end()) {
            codes.append(key.first);
            dates = datesOf.insert(key.first, {});
        }
        dates->append(key.second);
        recordAt.insert(std::move(key), records.size());
        records.append(std::move(record));
    }

    QHash<Key, QVariant> stored;
    for (const QString &code : std::as_const(codes)) {
        const QStringList &dates = datesOf[code];
        // Statements of power-of-two sizes serve any count; unused places repeat the first day.
        const int size = int(std::bit_ceil(quint64(dates.size())));
        QSqlQuery *lookup = lookupFor(size);
        if (!lookup)
            return false;
        lookup->bindValue(0, code);
        for (int i = 0; i < size; ++i)
            lookup->bindValue(i + 1, dates.at(i < dates.size() ? i : 0));
        if (!lookup->exec())
            return keepError(m_error, *lookup);
        while (lookup->next())
            stored.insert({code, lookup->value(0).toString()}, lookup->value(1));
        if (lookup->lastError().isValid())
            return keepError(m_error, *lookup);
        lookup->finish();
    }

    QList<const Line *> updates, inserts;
    for (const Line &record : std::as_const(records))
        (stored.contains({record.code, record.date}) ? updates : inserts).append(&record);

    const auto rowIdOf = [&stored](const Line &record) { return stored.value({record.code, record.date}); };
    const bool updated =
        updates.isEmpty() ||
        (shareCurrency(updates)
             ? writeGroups(updates, &OfficialRatesBatch::updateFor, {updates.constFirst()->description}, 3,
                           [&](QSqlQuery &query, int first, const Line &record) {
                               query.bindValue(first, rowIdOf(record));
                               query.bindValue(first + 1, record.rate);
                               query.bindValue(first + 2, record.note);
                           })
             : writeGroups(updates, &OfficialRatesBatch::updateEachFor, {}, 4,
                           [&](QSqlQuery &query, int first, const Line &record) {
                               query.bindValue(first, rowIdOf(record));
                               query.bindValue(first + 1, record.rate);
                               query.bindValue(first + 2, record.description);
                               query.bindValue(first + 3, record.note);
                           }));
    if (!updated || inserts.isEmpty())
        return updated;
    if (shareCurrency(inserts))
        return writeGroups(inserts, &OfficialRatesBatch::insertFor,
                           {inserts.constFirst()->code, inserts.constFirst()->description}, 3,
                           [](QSqlQuery &query, int first, const Line &record) {
                               query.bindValue(first, record.date);
                               query.bindValue(first + 1, record.rate);
                               query.bindValue(first + 2, record.note);
                           });
    return writeGroups(inserts, &OfficialRatesBatch::insertEachFor, {}, 5,
                       [](QSqlQuery &query, int first, const Line &record) {
                           query.bindValue(first, record.code);
                           query.bindValue(first + 1, record.date);
                           query.bindValue(first + 2, record.rate);
                           query.bindValue(first + 3, record.description);
                           query.bindValue(first + 4, record.note);
                       });
}

bool OfficialRatesBatch::writeGroups(const QList<const Line *> &lines,
                                     QSqlQuery *(OfficialRatesBatch::*statementFor)(int),
                                     const QVariantList &shared, int columns, const Binder &bind)
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
        for (int r = 0; r < rows; ++r)
            bind(*query, first + r * columns, *lines.at(done + r));
        if (!query->exec())
            return keepError(m_error, *query);
        done += rows;
    }
    return true;
}
