#include "history/officialratesbatch.h"

#include "history/historydb.h"
#include "history/recordwriter.h"

#include <QHash>
#include <QVariant>
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
    : m_db(db.database()), m_engine(db.engine()), m_dialect(m_engine ? m_engine->dialect() : SqlDialect{})
{}

bool OfficialRatesBatch::fail(const EngineStatement &statement)
{
    m_error = statement.error();
    return false;
}

bool OfficialRatesBatch::prepare()
{
    m_error = {};
    if (!m_db.isOpen() || !m_engine || m_dialect.rowId.isEmpty())
        return false;
    // An engine without UPDATE ... FROM fails here, not in the middle of an import.
    return lookupFor(1) != nullptr && updateFor(1) != nullptr && updateEachFor(1) != nullptr &&
           insertFor(1) != nullptr && insertEachFor(1) != nullptr;
}

EngineStatement *OfficialRatesBatch::prepared(Statements &cache, int rows, const QString &sql)
{
    const auto found = cache.find(rows);
    if (found != cache.end())
        return found->second.get();
    std::unique_ptr<EngineStatement> statement = m_engine->statement(m_db);
    if (!statement->prepare(sql)) {
        fail(*statement);
        return nullptr;
    }
    return cache.emplace(rows, std::move(statement)).first->second.get();
}

EngineStatement *OfficialRatesBatch::lookupFor(int dates)
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

EngineStatement *OfficialRatesBatch::insertFor(int rows)
{
    return prepared(
        m_inserts, rows,
        QStringLiteral("INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note) "
                       "SELECT ?, v.column1, v.column2, ?, v.column3 FROM (VALUES ") +
            placeholders(rows, 3, {QStringLiteral("?"), m_dialect.numberParam}) + QStringLiteral(") AS v"));
}

EngineStatement *OfficialRatesBatch::insertEachFor(int rows)
{
    return prepared(m_insertsEach, rows,
                    QStringLiteral("INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, "
                                   "Descrizione, Note) VALUES ") +
                        placeholders(rows, 5));
}

// The lookup matched code and day exactly, so only the other fields change.
EngineStatement *OfficialRatesBatch::updateFor(int rows)
{
    return prepared(m_updates, rows,
                    QStringLiteral("UPDATE Storico_Valute SET Quotazione = v.column2, Descrizione = ?, "
                                   "Note = v.column3 FROM (VALUES ") +
                        placeholders(rows, 3, {m_dialect.rowIdParam, m_dialect.numberParam}) +
                        QStringLiteral(") AS v WHERE Storico_Valute.%1 = v.column1").arg(m_dialect.rowId));
}

EngineStatement *OfficialRatesBatch::updateEachFor(int rows)
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
        EngineStatement *lookup = lookupFor(size);
        if (!lookup)
            return false;
        lookup->bindText(0, code);
        for (int i = 0; i < size; ++i)
            lookup->bindText(i + 1, dates.at(i < dates.size() ? i : 0));
        if (!lookup->exec())
            return fail(*lookup);
        while (lookup->next())
            stored.insert({code, lookup->text(0)}, lookup->key(1));
        const bool failed = lookup->error().isError();
        lookup->finish();
        if (failed)
            return fail(*lookup);
    }

    QList<const Line *> updates, inserts;
    for (const Line &record : std::as_const(records))
        (stored.contains({record.code, record.date}) ? updates : inserts).append(&record);

    const auto rowIdOf = [&stored](const Line &record) { return stored.value({record.code, record.date}); };
    const bool updated =
        updates.isEmpty() ||
        (shareCurrency(updates)
             ? writeGroups(updates, &OfficialRatesBatch::updateFor, {updates.constFirst()->description}, 3,
                           [&](EngineStatement &query, int first, const Line &record) {
                               query.bindKey(first, rowIdOf(record));
                               query.bindNumber(first + 1, record.rate);
                               query.bindText(first + 2, record.note);
                           })
             : writeGroups(updates, &OfficialRatesBatch::updateEachFor, {}, 4,
                           [&](EngineStatement &query, int first, const Line &record) {
                               query.bindKey(first, rowIdOf(record));
                               query.bindNumber(first + 1, record.rate);
                               query.bindText(first + 2, record.description);
                               query.bindText(first + 3, record.note);
                           }));
    if (!updated || inserts.isEmpty())
        return updated;
    if (shareCurrency(inserts))
        return writeGroups(inserts, &OfficialRatesBatch::insertFor,
                           {inserts.constFirst()->code, inserts.constFirst()->description}, 3,
                           [](EngineStatement &query, int first, const Line &record) {
                               query.bindText(first, record.date);
                               query.bindNumber(first + 1, record.rate);
                               query.bindText(first + 2, record.note);
                           });
    return writeGroups(inserts, &OfficialRatesBatch::insertEachFor, {}, 5,
                       [](EngineStatement &query, int first, const Line &record) {
                           query.bindText(first, record.code);
                           query.bindText(first + 1, record.date);
                           query.bindNumber(first + 2, record.rate);
                           query.bindText(first + 3, record.description);
                           query.bindText(first + 4, record.note);
                       });
}

bool OfficialRatesBatch::writeGroups(const QList<const Line *> &lines,
                                     EngineStatement *(OfficialRatesBatch::*statementFor)(int),
                                     const QStringList &shared, int columns, const Binder &bind)
{
    // The rows go out in groups of power-of-two sizes, so that a handful of prepared statements
    // serve any count.
    const int first = int(shared.size());
    for (qsizetype done = 0; done < lines.size();) {
        const int rows = int(std::bit_floor(quint64(lines.size() - done)));
        EngineStatement *query = (this->*statementFor)(rows);
        if (!query)
            return false;
        for (int i = 0; i < first; ++i)
            query->bindText(i, shared.at(i));
        for (int r = 0; r < rows; ++r)
            bind(*query, first + r * columns, *lines.at(done + r));
        const bool written = query->exec();
        query->finish();
        if (!written)
            return fail(*query);
        done += rows;
    }
    return true;
}
