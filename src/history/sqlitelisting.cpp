#include "history/sqlitelisting.h"

#include "history/listingrules.h"
#include "history/sqlitestatement.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace {

// Prepared only, for what the user is told when the table or a field is missing: the listing's
// own query, as the reading used to run it.
constexpr QByteArrayView kListingQuery = "SELECT * FROM Storico_Valute ORDER BY Data_Valuta";

enum Field { Code, Date, Quote, Description, Note };
constexpr const char *kFieldNames[] = {"Tipo_Valuta", "Data_Valuta", "Quotazione", "Descrizione", "Note"};

struct ValueFree
{
    void operator()(sqlite3_value *value) const { sqlite3_value_free(value); }
};
// A column value kept beyond its row, to be bound again as it was stored.
using KeptValue = std::unique_ptr<sqlite3_value, ValueFree>;

KeptValue keep(const sqlite3_value *value)
{
    return KeptValue(sqlite3_value_dup(value));
}

// A text field as the listing reads it: NULL as "", then trimmed.
QString trimmedText(const SqliteStatement &statement, int column)
{
    return statement.columnText(column).trimmed();
}

// The quote as the listing reads it: NULL and a text that is no number cannot be read, and leave 0.
RuntimeError readQuote(const SqliteStatement &statement, int column, double &value)
{
    value = 0;
    switch (statement.columnType(column)) {
    case SQLITE_NULL:
        return makeError(94);
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        value = statement.columnDouble(column);
        return {};
    default: {
        // A REAL column keeps text only when it does not look like a number.
        bool ok = false;
        value = QByteArray(statement.columnUtf8(column).data()).toDouble(&ok);
        return ok ? RuntimeError{} : makeError(13);
    }
    }
}

// Where a record stands in date order.
struct Position
{
    qint64 rowid = 0;
    KeptValue date; // Data_Valuta as stored
};

// A listing whose records are all loaded and readable, whose pair is stored under its code exactly
// and dated in 8 digits: the next one can be brought up to date from the records changed since.
class SqliteBasis final : public ListingBasis
{
public:
    ChangeToken token;
    qint64 schemaVersion = 0;
    qint64 logPosition = 0;
    QString pair;
    std::vector<qint64> rowids; // of the listed records, in their order
};

// A listed record brought up to date.
struct Entry
{
    quint32 day = 0;
    double quote = 0;
    qint64 rowid = 0;
    bool operator<(const Entry &other) const
    {
        return day != other.day ? day < other.day : rowid < other.rowid;
    }
};

// One listing's queries on the handle, the first failure kept.
class SqliteSource final : public ListingSource
{
public:
    explicit SqliteSource(sqlite3 *db) : m_db(db) {}

    std::optional<Totals> totals() override;
    bool readCodes(std::vector<QString> &codes) override;
    std::optional<Record> firstRecord() override;
    std::optional<Record> firstUnreadable(const std::function<bool(const Record &)> &loaded) override;
    std::optional<qint64> count(int code) override;
    void readPair(const std::vector<int> &codes, PairLines &lines) override;

    // After a listing the rules let a later one start from: what that one may start from, null when
    // it must read everything.
    std::shared_ptr<SqliteBasis> basis(const std::vector<int> &pairCodes, const QString &pair);

private:
    bool fail(const SqliteStatement &statement) { return ListingSource::fail(statement.error()); }
    bool prepare(SqliteStatement &statement, QByteArrayView sql)
    {
        return statement.prepare(m_db, sql) || fail(statement);
    }
    std::optional<qint64> scalar(SqliteStatement &statement)
    {
        if (!statement.step()) {
            fail(statement);
            return std::nullopt;
        }
        const qint64 value = statement.columnInt64(0);
        statement.reset();
        return value;
    }
    std::optional<qint64> scalar(QByteArrayView sql)
    {
        SqliteStatement statement;
        if (!prepare(statement, sql))
            return std::nullopt;
        return scalar(statement);
    }

    bool codeIndexUsable();
    // The condition on records before the unreadable one (none when there is none), its parameters
    // numbered from firstParameter.
    QByteArray beforeCondition(int firstParameter) const;
    void bindBefore(SqliteStatement &statement, int firstParameter) const;

    sqlite3 *m_db;
    std::vector<KeptValue> m_codes;
    bool m_allCodes = true; // m_codes holds every code (not when they were too many to walk)
    bool m_nullCodes = false;
    std::optional<qint64> m_first; // rowid of the first record, once known
    std::optional<Position> m_unreadable;
    bool m_sawCandidates = false; // records whose quote is NULL or text, readable or not
    bool m_allPlain = true;       // every record of the pair dated in 8 digits
    std::vector<qint64> m_rowids; // of the pair's records
};

std::optional<ListingSource::Totals> SqliteSource::totals()
{
    const std::optional<qint64> records = scalar("SELECT count(*) FROM Storico_Valute");
    if (!records || *records == 0)
        return records ? std::optional(Totals{}) : std::nullopt;
    const std::optional<qint64> nulls = scalar("SELECT count(*) FROM (SELECT 1 FROM Storico_Valute "
                                               "WHERE Tipo_Valuta IS NULL LIMIT 1)");
    if (!nulls)
        return std::nullopt;
    m_nullCodes = *nulls > 0;
    return Totals{*records, m_nullCodes, true};
}

bool SqliteSource::codeIndexUsable()
{
    const char *collation = nullptr;
    if (sqlite3_table_column_metadata(m_db, "main", "Storico_Valute", "Tipo_Valuta", nullptr, &collation,
                                      nullptr, nullptr, nullptr) != SQLITE_OK ||
        !collation || sqlite3_stricmp(collation, "BINARY") != 0)
        return false;
    SqliteStatement plan;
    if (!plan.prepare(m_db,
                      "EXPLAIN QUERY PLAN SELECT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta > ?1 "
                      "ORDER BY Tipo_Valuta LIMIT 1"))
        return false;
    bool index = false, sorted = false;
    while (plan.step()) {
        const QByteArrayView detail = plan.columnUtf8(3);
        index = index || detail.contains("INDEX");
        sorted = sorted || detail.contains("TEMP B-TREE");
    }
    return index && !sorted && !plan.failed();
}

// Through the index from one code to the next when there is one, so that a handful of codes costs a
// handful of lookups however many records they have.
bool SqliteSource::readCodes(std::vector<QString> &codes)
{
    const auto add = [&](const SqliteStatement &statement) {
        codes.push_back(statement.columnText(0));
        m_codes.push_back(keep(statement.columnValue(0)));
    };
    if (codeIndexUsable()) {
        SqliteStatement next;
        if (!prepare(next, "SELECT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta > ?1 "
                           "ORDER BY Tipo_Valuta LIMIT 1"))
            return false;
        SqliteStatement first;
        if (!prepare(first, "SELECT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta IS NOT NULL "
                            "ORDER BY Tipo_Valuta LIMIT 1"))
            return false;
        SqliteStatement *current = &first;
        for (int seeks = 0; seeks < kMaxCodeSeeks; ++seeks) {
            if (!current->step())
                return !current->failed() || fail(*current);
            add(*current);
            current->reset();
            next.bindValue(1, m_codes.back().get());
            current = &next;
        }
        codes.clear();
        m_codes.clear();
    }
    m_allCodes = false;
    SqliteStatement distinct;
    if (!prepare(distinct, "SELECT DISTINCT Tipo_Valuta COLLATE BINARY FROM Storico_Valute "
                           "WHERE Tipo_Valuta IS NOT NULL"))
        return false;
    while (distinct.step())
        add(distinct);
    return !distinct.failed() || fail(distinct);
}

// The first of each code's records through the index, or one pass.
std::optional<ListingSource::Record> SqliteSource::firstRecord()
{
    QByteArray sql = "SELECT rowid, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute";
    std::vector<qint64> firsts;
    if (m_allCodes) {
        SqliteStatement ofCode, ofNull;
        if (!prepare(ofCode, "SELECT rowid FROM Storico_Valute WHERE Tipo_Valuta = ?1 COLLATE BINARY "
                             "ORDER BY Data_Valuta, rowid LIMIT 1") ||
            !prepare(ofNull, "SELECT rowid FROM Storico_Valute WHERE Tipo_Valuta IS NULL "
                             "ORDER BY Data_Valuta, rowid LIMIT 1"))
            return std::nullopt;
        for (const KeptValue &code : m_codes) {
            ofCode.bindValue(1, code.get());
            const std::optional<qint64> rowid = scalar(ofCode);
            if (!rowid)
                return std::nullopt;
            firsts.push_back(*rowid);
        }
        if (m_nullCodes) {
            const std::optional<qint64> rowid = scalar(ofNull);
            if (!rowid)
                return std::nullopt;
            firsts.push_back(*rowid);
        }
        sql += " WHERE rowid IN (" + placeholders('?', 1, int(firsts.size())) + ')';
    }
    sql += " ORDER BY Data_Valuta, rowid LIMIT 1";
    SqliteStatement first;
    if (!prepare(first, sql))
        return std::nullopt;
    for (size_t i = 0; i < firsts.size(); ++i)
        first.bindInt64(int(i + 1), firsts[i]);
    if (!first.step()) {
        fail(first);
        return std::nullopt;
    }
    Record record;
    m_first = first.columnInt64(0);
    record.first = true;
    record.code = trimmedText(first, 1);
    record.day = trimmedText(first, 2);
    record.error = readQuote(first, 3, record.quote);
    return record;
}

// Only NULL and text can fail: the partial index holds just those records, in this order; without it,
// a pass over the table with no sort finds them.
std::optional<ListingSource::Record>
SqliteSource::firstUnreadable(const std::function<bool(const Record &)> &loaded)
{
    const QByteArray sql =
        QByteArray("SELECT rowid, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute WHERE ") +
        kUnreadableQuoteCondition + " ORDER BY Data_Valuta, rowid";
    SqliteStatement candidates;
    if (!prepare(candidates, sql))
        return std::nullopt;
    while (candidates.step()) {
        m_sawCandidates = true;
        Record record;
        const qint64 rowid = candidates.columnInt64(0);
        record.first = rowid == m_first;
        record.code = trimmedText(candidates, 1);
        if (!loaded(record))
            continue;
        record.error = readQuote(candidates, 3, record.quote);
        if (!record.error.isError())
            continue;
        record.quote = 0;
        record.day = trimmedText(candidates, 2);
        m_unreadable = Position{rowid, keep(candidates.columnValue(2))};
        return record;
    }
    if (candidates.failed())
        fail(candidates);
    return std::nullopt;
}

QByteArray SqliteSource::beforeCondition(int firstParameter) const
{
    if (!m_unreadable)
        return {};
    const bool dated = sqlite3_value_type(m_unreadable->date.get()) != SQLITE_NULL;
    return beforeInDateOrder(dated ? '?' + QByteArray::number(firstParameter) : QByteArray(),
                             '?' + QByteArray::number(firstParameter + 1), "rowid");
}

void SqliteSource::bindBefore(SqliteStatement &statement, int firstParameter) const
{
    if (!m_unreadable)
        return;
    statement.bindValue(firstParameter, m_unreadable->date.get());
    statement.bindInt64(firstParameter + 1, m_unreadable->rowid);
}

std::optional<qint64> SqliteSource::count(int code)
{
    QByteArray sql = "SELECT count(*) FROM Storico_Valute WHERE ";
    sql += code == kNoCode    ? "Tipo_Valuta IS NULL"
           : code == kAnyCode ? "1"
                              : "Tipo_Valuta = ?1 COLLATE BINARY";
    sql += beforeCondition(2);
    SqliteStatement count;
    if (!prepare(count, sql))
        return std::nullopt;
    if (code >= 0)
        count.bindValue(1, m_codes[size_t(code)].get());
    bindBefore(count, 2);
    return scalar(count);
}

void SqliteSource::readPair(const std::vector<int> &codes, PairLines &lines)
{
    QByteArray sql = "SELECT Data_Valuta, Quotazione, rowid FROM Storico_Valute WHERE ";
    const int count = int(codes.size());
    if (count == 1) {
        sql += "Tipo_Valuta = ?1 COLLATE BINARY";
    } else {
        // Codes written with blanks around them belong to the pair too.
        sql += "Tipo_Valuta COLLATE BINARY IN (" + placeholders('?', 1, count) + ')';
    }
    sql += beforeCondition(count + 1);
    sql += " ORDER BY Data_Valuta, rowid";
    SqliteStatement records;
    if (!prepare(records, sql))
        return;
    for (int i = 0; i < count; ++i)
        records.bindValue(i + 1, m_codes[size_t(codes[size_t(i)])].get());
    bindBefore(records, count + 1);

    double quote = 0;
    while (records.step()) {
        if (readQuote(records, 1, quote).isError())
            quote = 0; // cannot happen before the unreadable record
        if (lines.add(records.columnUtf8(0), records.columnType(0) == SQLITE_TEXT, quote))
            m_rowids.push_back(records.columnInt64(2));
        else
            m_allPlain = false;
    }
    if (records.failed())
        fail(records);
}

std::shared_ptr<SqliteBasis> SqliteSource::basis(const std::vector<int> &pairCodes, const QString &pair)
{
    if (m_sawCandidates || !m_allPlain)
        return nullptr;
    // The changed records are told the pair's by their code stored exactly as selected.
    if (!pairCodes.empty()) {
        sqlite3_value *code = m_codes[size_t(pairCodes.front())].get();
        if (sqlite3_value_type(code) != SQLITE_TEXT ||
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(code)),
                              sqlite3_value_bytes(code)) != pair)
            return nullptr;
    }
    // A unique index lets an insertion replace a record without SQLite telling of it.
    SqliteStatement unique;
    if (!unique.prepare(m_db, "SELECT 1 FROM pragma_index_list('Storico_Valute') WHERE \"unique\"") ||
        unique.step() || unique.failed())
        return nullptr;
    auto basis = std::make_shared<SqliteBasis>();
    basis->rowids = std::move(m_rowids);
    return basis;
}

// A table without some of the fields: the first record in date order cannot be read.
ListingSnapshot readWithoutFields(sqlite3 *db, const bool hasField[5], const QString &pair,
                                  const QuoteFormat &format)
{
    ListingSnapshot snapshot;
    SqliteStatement first;
    if (!first.prepare(db, "SELECT * FROM Storico_Valute ORDER BY Data_Valuta, rowid LIMIT 1") ||
        !first.step()) {
        snapshot.readError = first.error(); // no records when none
        return snapshot;
    }
    int column[5] = {-1, -1, -1, -1, -1};
    for (int i = 0, n = sqlite3_column_count(first.get()); i < n; ++i) {
        for (int field = Code; field <= Note; ++field) {
            if (column[field] < 0 &&
                sqlite3_stricmp(sqlite3_column_name(first.get(), i), kFieldNames[field]) == 0)
                column[field] = i;
        }
    }
    // Field by field in the order of the table's columns as the program names them.
    QString code, day;
    double quote = 0;
    RuntimeError error = missingFieldError();
    if (hasField[Code]) {
        code = trimmedText(first, column[Code]);
        day = trimmedText(first, column[Date]);
        if (hasField[Quote]) {
            const RuntimeError quoteError = readQuote(first, column[Quote], quote);
            if (quoteError.isError())
                error = quoteError;
        }
    }
    snapshot.count = 1;
    snapshot.readError = error;
    if (code == pair)
        snapshot.pairQuotes.last = LastQuote{day, quote};
    if (code == pair && format.isUnavailableMark(quote))
        snapshot.pairQuotes.unavailableMarks = 1;
    return snapshot;
}

// The previous listing brought up to date from the records changed since; none when it cannot be.
std::optional<ListingSnapshot> update(sqlite3 *db, const ListingRules &rules, const QuoteFormat &format,
                                      const ListingSnapshot &previous, const SqliteBasis &basis,
                                      const std::vector<qint64> &changed, std::shared_ptr<SqliteBasis> &next)
{
    SqliteStatement total;
    if (!total.prepare(db, "SELECT count(*) FROM Storico_Valute") || !total.step())
        return std::nullopt;

    // The changed records as they are now (a record added and then undone is not there at all).
    const QByteArray pairBytes = basis.pair.toUtf8();
    std::vector<Entry> added;
    constexpr size_t chunk = 500;
    SqliteStatement rows;
    for (size_t at = 0; at < changed.size(); at += chunk) {
        const size_t count = std::min(chunk, changed.size() - at);
        if (at == 0 || count != chunk) {
            if (!rows.prepare(db, "SELECT rowid, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute "
                                  "WHERE rowid IN (" +
                                      placeholders('?', 1, int(count)) + ')'))
                return std::nullopt;
        }
        for (size_t i = 0; i < count; ++i)
            rows.bindInt64(int(i + 1), changed[at + i]);
        while (rows.step()) {
            // A quote that is not a number, or a code that is only like the pair's, needs the whole
            // listing's rules.
            const int quoteType = rows.columnType(3);
            if (quoteType != SQLITE_INTEGER && quoteType != SQLITE_FLOAT)
                return std::nullopt;
            const QByteArrayView code = rows.columnUtf8(1);
            if (rows.columnType(1) == SQLITE_TEXT && code == pairBytes) {
                const QByteArrayView date = rows.columnUtf8(2);
                if (rows.columnType(2) != SQLITE_TEXT || !isPlainDate(date))
                    return std::nullopt;
                quint32 day = 0;
                for (char c : date)
                    day = day * 10 + quint32(c - '0');
                added.push_back({day, rows.columnDouble(3), rows.columnInt64(0)});
            } else if (rules.groupOf(rows.columnText(1)) != ListingRules::CodeGroup::Other) {
                return std::nullopt;
            }
        }
        if (rows.failed())
            return std::nullopt;
        rows.reset();
    }
    std::sort(added.begin(), added.end());

    // The records kept, merged with the changed ones in date order.
    ListingSnapshot snapshot;
    next = std::make_shared<SqliteBasis>();
    RecordList::Builder lines(basis.pair, format);
    const RecordList &before = previous.lines;
    auto fresh = added.cbegin();
    const auto add = [&](const Entry &entry) {
        lines.appendDay(entry.day, entry.quote);
        next->rowids.push_back(entry.rowid);
        if (format.isUnavailableMark(entry.quote))
            ++snapshot.pairQuotes.unavailableMarks;
    };
    for (qsizetype i = 0; i < before.size(); ++i) {
        const qint64 rowid = basis.rowids[size_t(i)];
        if (std::binary_search(changed.cbegin(), changed.cend(), rowid))
            continue;
        const Entry kept{*before.plainDay(i), before.quote(i), rowid};
        for (; fresh != added.cend() && *fresh < kept; ++fresh)
            add(*fresh);
        add(kept);
    }
    for (; fresh != added.cend(); ++fresh)
        add(*fresh);

    snapshot.count = total.columnInt64(0);
    const QString lastDay = lines.lastDate();
    snapshot.lines = lines.finish();
    if (!snapshot.lines.isEmpty())
        snapshot.pairQuotes.last = LastQuote{lastDay, snapshot.lines.quote(snapshot.lines.size() - 1)};
    return snapshot;
}

} // namespace

void SqliteChangeLog::watch(sqlite3 *db)
{
    if (db)
        sqlite3_update_hook(db, &SqliteChangeLog::note, this);
}

void SqliteChangeLog::note(void *log, int, const char *database, const char *table, long long rowid)
{
    auto *self = static_cast<SqliteChangeLog *>(log);
    if (std::strcmp(database, "main") != 0 || sqlite3_stricmp(table, "Storico_Valute") != 0)
        return;
    if (self->m_rowids.size() == kLimit) {
        self->m_forgotten += qint64(self->m_rowids.size());
        self->m_rowids.clear();
    }
    self->m_rowids.push_back(rowid);
}

bool SqliteChangeLog::changedSince(qint64 position, std::vector<qint64> &rowids) const
{
    if (position < m_forgotten || position > this->position())
        return false;
    rowids.assign(m_rowids.cbegin() + (position - m_forgotten), m_rowids.cend());
    std::sort(rowids.begin(), rowids.end());
    rowids.erase(std::unique(rowids.begin(), rowids.end()), rowids.end());
    return true;
}

void SqliteChangeLog::forgetBefore(qint64 position)
{
    if (position <= m_forgotten)
        return;
    const qint64 drop = std::min(position, this->position()) - m_forgotten;
    m_rowids.erase(m_rowids.begin(), m_rowids.begin() + drop);
    m_forgotten += drop;
}

SqliteListingReader::SqliteListingReader(sqlite3 *db, qint64 connection, SqliteChangeLog *log)
    : m_db(db), m_connection(connection), m_log(log)
{}

SqliteListingReader::~SqliteListingReader()
{
    end();
}

void SqliteListingReader::end()
{
    if (m_began) {
        m_began = false;
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }
}

RuntimeError SqliteListingReader::open()
{
    end();
    SqliteStatement listing;
    if (!listing.prepare(m_db, kListingQuery))
        return listing.error();
    for (bool &has : m_hasField)
        has = false;
    for (int i = 0, n = sqlite3_column_count(listing.get()); i < n; ++i) {
        for (int field = Code; field <= Note; ++field)
            m_hasField[field] = m_hasField[field] || sqlite3_stricmp(sqlite3_column_name(listing.get(), i),
                                                                     kFieldNames[field]) == 0;
    }
    // One read transaction: the count, the check and the pair's records see the same records.
    if (sqlite3_get_autocommit(m_db)) {
        if (sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
            return sqliteError(m_db);
        m_began = true;
    }
    SqliteStatement version;
    if (!version.prepare(m_db, "PRAGMA data_version") || !version.step()) {
        const RuntimeError error = version.error();
        end();
        return error;
    }
    m_token = {m_connection, version.columnInt64(0), sqlite3_total_changes64(m_db)};
    SqliteStatement schema;
    m_schemaVersion =
        schema.prepare(m_db, "PRAGMA schema_version") && schema.step() ? schema.columnInt64(0) : -1;
    return {};
}

ListingSnapshot SqliteListingReader::read(const QString &pair, const QuoteFormat &format,
                                          const ListingSnapshot *previous)
{
    ListingRules rules(pair, format);
    std::optional<ListingSnapshot> snapshot;
    std::shared_ptr<SqliteBasis> next;
    // Only this connection changed the records since the previous listing, and each change is known:
    // those records are read again, the others kept.
    const auto *basis = previous ? dynamic_cast<const SqliteBasis *>(previous->basis.get()) : nullptr;
    std::vector<qint64> changed;
    if (basis && m_log && basis->pair == pair && basis->token.connection == m_token.connection &&
        basis->token.others == m_token.others && basis->schemaVersion == m_schemaVersion &&
        m_schemaVersion >= 0 && m_log->changedSince(basis->logPosition, changed) &&
        m_token.own - basis->token.own <= qint64(m_log->position() - basis->logPosition))
        snapshot = update(m_db, rules, format, *previous, *basis, changed, next);
    if (!snapshot &&
        !(m_hasField[Code] && m_hasField[Quote] && m_hasField[Description] && m_hasField[Note])) {
        snapshot = readWithoutFields(m_db, m_hasField, pair, format);
    } else if (!snapshot) {
        SqliteSource source(m_db);
        snapshot = rules.read(source);
        if (rules.mayBeUpdated(*snapshot))
            next = source.basis(rules.pairCodes(), pair);
    }
    if (next) {
        next->token = m_token;
        next->schemaVersion = m_schemaVersion;
        next->logPosition = m_log ? m_log->position() : 0;
        if (m_log)
            m_log->forgetBefore(next->logPosition);
        next->pair = pair;
        snapshot->basis = std::move(next);
    }
    end();
    return std::move(*snapshot);
}
