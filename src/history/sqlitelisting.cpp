#include "history/sqlitelisting.h"

#include "history/sqlitestatement.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>
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

// Beyond this many different codes a walk from code to code through the index costs more than
// one pass over it.
constexpr int kMaxCodeSeeks = 4096;

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

RuntimeError missingField()
{
    return {3265, QStringLiteral("Elemento non trovato in questo insieme.")};
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

// A date as the list keeps it; 8 digits need no string.
bool isPlainDate(QByteArrayView date)
{
    if (date.size() != 8)
        return false;
    for (char c : date) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// One record read in full (the first in date order, or the first that cannot be read).
struct Record
{
    qint64 rowid = 0;
    KeptValue date;     // Data_Valuta as stored, for comparing other records with it
    QString code;       // trimmed
    QString dayText;    // Data_Valuta trimmed
    double quote = 0;   // 0 when it cannot be read
    RuntimeError error; // why it cannot be read, if so
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

// The codes stored, grouped by their trimmed text.
struct Codes
{
    bool selectedExact = false;      // the pair's only code is stored exactly as selected
    std::vector<KeptValue> selected; // those of the listed pair
    std::vector<KeptValue> blank;    // empty or blank: never loaded, unless first in date order
    std::vector<KeptValue> all;
    bool hasNull = false; // some records have no code at all, which counts as blank
    bool complete = true; // `all` holds every code (not when they were too many to walk)
};

} // namespace

// One listing's queries on the handle, the first failure kept.
class SqliteListingReader::Reading
{
public:
    Reading(sqlite3 *db, const QString &pair, const QuoteFormat &format)
        : m_db(db), m_pair(pair), m_format(format)
    {}

    ListingSnapshot run(const bool hasField[5]);
    // The previous listing brought up to date from the records changed since; none when it cannot be.
    std::optional<ListingSnapshot> update(const ListingSnapshot &previous, const SqliteBasis &basis,
                                          const std::vector<qint64> &changed);
    // What the next listing may start from, after run(); null when it must read everything.
    std::shared_ptr<SqliteBasis> basis() { return m_simple ? std::move(m_basis) : nullptr; }

private:
    bool fail(const SqliteStatement &statement)
    {
        if (!m_error.isError())
            m_error = statement.error();
        return false;
    }
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

    ListingSnapshot readWithoutFields(const bool hasField[5]);
    bool walkCodes(Codes &codes);
    bool codeIndexUsable();
    std::optional<Record> firstRecord(const Codes &codes);
    std::optional<Record> firstUnreadable(const std::optional<Record> &first, bool blankCodes);
    // The condition on records before the unreadable one (none when there is none), its parameters
    // numbered from firstParameter.
    QByteArray beforeCondition(int firstParameter) const;
    void bindBefore(SqliteStatement &statement, int firstParameter) const;
    std::optional<qint64> countBefore(const sqlite3_value *code, bool nullCode);
    void readPair(const Codes &codes);
    void addToPair(QStringView day, double quote);

    sqlite3 *m_db;
    QString m_pair;
    QuoteFormat m_format;
    RuntimeError m_error;
    std::optional<Record> m_unreadable;
    std::optional<RecordList::Builder> m_lines;
    PairQuotes m_pairQuotes;
    bool m_sawCandidates = false; // records whose quote is NULL or text, readable or not
    bool m_allPlain = true;       // every record of the pair dated in 8 digits
    bool m_simple = false;
    std::shared_ptr<SqliteBasis> m_basis = std::make_shared<SqliteBasis>();
};

ListingSnapshot SqliteListingReader::Reading::run(const bool hasField[5])
{
    if (!hasField[Code] || !hasField[Quote] || !hasField[Description] || !hasField[Note])
        return readWithoutFields(hasField);

    ListingSnapshot snapshot;
    m_lines.emplace(m_pair, m_format);
    const auto finish = [&] {
        snapshot.lines = m_lines->finish();
        snapshot.pairQuotes = m_pairQuotes;
        snapshot.readError = m_error;
        return snapshot;
    };

    const std::optional<qint64> total = scalar("SELECT count(*) FROM Storico_Valute");
    if (!total || *total == 0)
        return finish();

    Codes codes;
    if (!walkCodes(codes))
        return finish();
    const bool blankCodes = codes.hasNull || !codes.blank.empty();
    const bool blankPair = m_pair.isEmpty();
    std::optional<Record> first;
    if (blankCodes || blankPair) {
        first = firstRecord(codes);
        if (!first)
            return finish();
    }
    const bool firstBlank = first && first->code.isEmpty();

    m_unreadable = firstUnreadable(first, blankCodes);
    if (m_error.isError())
        return finish();

    // Records with a blank code are skipped, except the first in date order.
    std::optional<qint64> loaded = m_unreadable ? countBefore(nullptr, false) : total;
    if (!loaded)
        return finish();
    for (const KeptValue &code : codes.blank) {
        const std::optional<qint64> blank = countBefore(code.get(), false);
        if (!blank)
            return finish();
        *loaded -= *blank;
    }
    if (codes.hasNull) {
        const std::optional<qint64> blank = countBefore(nullptr, true);
        if (!blank)
            return finish();
        *loaded -= *blank;
    }
    if (firstBlank && !(m_unreadable && m_unreadable->rowid == first->rowid))
        ++*loaded;
    snapshot.count = *loaded + (m_unreadable ? 1 : 0);

    if (blankPair) {
        // Only the first record can have a blank code and be loaded.
        if (firstBlank) {
            if (m_unreadable && m_unreadable->rowid == first->rowid) {
                m_pairQuotes.last = LastQuote{first->dayText, 0};
            } else {
                addToPair(first->dayText, first->quote);
            }
        }
    } else {
        readPair(codes);
        if (m_unreadable && m_unreadable->code == m_pair)
            m_pairQuotes.last = LastQuote{m_unreadable->dayText, 0};
    }
    if (!m_error.isError() && m_unreadable)
        m_error = m_unreadable->error;
    m_simple = !m_error.isError() && !blankCodes && !blankPair && !m_sawCandidates && m_allPlain &&
               codes.selected.size() <= 1 && (codes.selected.empty() || codes.selectedExact);
    // A unique index lets an insertion replace a record without SQLite telling of it.
    if (m_simple) {
        SqliteStatement unique;
        m_simple =
            unique.prepare(m_db, "SELECT 1 FROM pragma_index_list('Storico_Valute') WHERE \"unique\"") &&
            !unique.step() && !unique.failed();
    }
    return finish();
}

// A table without some of the fields: the first record in date order cannot be read.
ListingSnapshot SqliteListingReader::Reading::readWithoutFields(const bool hasField[5])
{
    ListingSnapshot snapshot;
    SqliteStatement first;
    if (!prepare(first, "SELECT * FROM Storico_Valute ORDER BY Data_Valuta, rowid LIMIT 1")) {
        snapshot.readError = m_error;
        return snapshot;
    }
    if (!first.step()) {
        if (first.failed())
            fail(first);
        snapshot.readError = m_error;
        return snapshot; // no records
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
    RuntimeError error = missingField();
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
    if (code == m_pair)
        snapshot.pairQuotes.last = LastQuote{day, quote};
    if (code == m_pair && m_format.isUnavailableMark(quote))
        snapshot.pairQuotes.unavailableMarks = 1;
    return snapshot;
}

bool SqliteListingReader::Reading::codeIndexUsable()
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

// Every code stored, once: through the index from one code to the next when there is one, so that a
// handful of codes costs a handful of lookups however many records they have.
bool SqliteListingReader::Reading::walkCodes(Codes &codes)
{
    const auto add = [&](const SqliteStatement &statement) {
        const QString text = statement.columnText(0).trimmed();
        KeptValue value = keep(statement.columnValue(0));
        if (text.isEmpty()) {
            codes.blank.push_back(keep(value.get()));
        } else if (text == m_pair) {
            codes.selectedExact = statement.columnType(0) == SQLITE_TEXT && statement.columnText(0) == m_pair;
            codes.selected.push_back(keep(value.get()));
        }
        codes.all.push_back(std::move(value));
    };

    const std::optional<qint64> nulls = scalar("SELECT count(*) FROM (SELECT 1 FROM Storico_Valute "
                                               "WHERE Tipo_Valuta IS NULL LIMIT 1)");
    if (!nulls)
        return false;
    codes.hasNull = *nulls > 0;

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
            next.bindValue(1, codes.all.back().get());
            current = &next;
        }
        const bool hasNull = codes.hasNull;
        codes = Codes();
        codes.hasNull = hasNull;
    }
    codes.complete = false;
    SqliteStatement distinct;
    if (!prepare(distinct, "SELECT DISTINCT Tipo_Valuta COLLATE BINARY FROM Storico_Valute "
                           "WHERE Tipo_Valuta IS NOT NULL"))
        return false;
    while (distinct.step())
        add(distinct);
    if (distinct.failed())
        return fail(distinct);
    codes.all.clear(); // too many to look each one up
    return true;
}

// The first record in date order: the first of each code's, through the index, or one pass.
std::optional<Record> SqliteListingReader::Reading::firstRecord(const Codes &codes)
{
    QByteArray sql = "SELECT rowid, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute";
    std::vector<qint64> firsts;
    if (codes.complete) {
        SqliteStatement ofCode, ofNull;
        if (!prepare(ofCode, "SELECT rowid FROM Storico_Valute WHERE Tipo_Valuta = ?1 COLLATE BINARY "
                             "ORDER BY Data_Valuta, rowid LIMIT 1") ||
            !prepare(ofNull, "SELECT rowid FROM Storico_Valute WHERE Tipo_Valuta IS NULL "
                             "ORDER BY Data_Valuta, rowid LIMIT 1"))
            return std::nullopt;
        for (const KeptValue &code : codes.all) {
            ofCode.bindValue(1, code.get());
            const std::optional<qint64> rowid = scalar(ofCode);
            if (!rowid)
                return std::nullopt;
            firsts.push_back(*rowid);
        }
        if (codes.hasNull) {
            const std::optional<qint64> rowid = scalar(ofNull);
            if (!rowid)
                return std::nullopt;
            firsts.push_back(*rowid);
        }
        sql += " WHERE rowid IN (";
        for (size_t i = 0; i < firsts.size(); ++i)
            sql += (i ? ",?" : "?") + QByteArray::number(qulonglong(i + 1));
        sql += ')';
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
    record.rowid = first.columnInt64(0);
    record.code = trimmedText(first, 1);
    record.date = keep(first.columnValue(2));
    record.dayText = trimmedText(first, 2);
    record.error = readQuote(first, 3, record.quote);
    return record;
}

// The first record in date order whose quote cannot be read, among those the listing loads. Only
// NULL and text can fail, and a pass with no sort finds them.
std::optional<Record> SqliteListingReader::Reading::firstUnreadable(const std::optional<Record> &first,
                                                                    bool blankCodes)
{
    SqliteStatement candidates;
    if (!prepare(candidates, "SELECT rowid, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute "
                             "WHERE Quotazione IS NULL OR +Quotazione > 9e999 ORDER BY Data_Valuta, rowid"))
        return std::nullopt;
    while (candidates.step()) {
        m_sawCandidates = true;
        Record record;
        record.rowid = candidates.columnInt64(0);
        record.code = trimmedText(candidates, 1);
        if (blankCodes && record.code.isEmpty() && !(first && first->rowid == record.rowid))
            continue;
        record.error = readQuote(candidates, 3, record.quote);
        if (!record.error.isError())
            continue;
        record.quote = 0;
        record.date = keep(candidates.columnValue(2));
        record.dayText = trimmedText(candidates, 2);
        return record;
    }
    if (candidates.failed())
        fail(candidates);
    return std::nullopt;
}

QByteArray SqliteListingReader::Reading::beforeCondition(int firstParameter) const
{
    if (!m_unreadable)
        return {};
    const QByteArray date = '?' + QByteArray::number(firstParameter);
    const QByteArray rowid = '?' + QByteArray::number(firstParameter + 1);
    if (sqlite3_value_type(m_unreadable->date.get()) == SQLITE_NULL)
        return " AND (Data_Valuta IS NULL AND rowid < " + rowid + ')';
    return " AND (Data_Valuta IS NULL OR Data_Valuta < " + date + " OR (Data_Valuta = " + date +
           " AND rowid < " + rowid + "))";
}

void SqliteListingReader::Reading::bindBefore(SqliteStatement &statement, int firstParameter) const
{
    if (!m_unreadable)
        return;
    statement.bindValue(firstParameter, m_unreadable->date.get());
    statement.bindInt64(firstParameter + 1, m_unreadable->rowid);
}

// How many records of a code (or with no code, or of any code) come before the unreadable one,
// or in all when there is none.
std::optional<qint64> SqliteListingReader::Reading::countBefore(const sqlite3_value *code, bool nullCode)
{
    QByteArray sql = "SELECT count(*) FROM Storico_Valute WHERE ";
    sql += nullCode ? "Tipo_Valuta IS NULL" : code ? "Tipo_Valuta = ?1 COLLATE BINARY" : "1";
    sql += beforeCondition(2);
    SqliteStatement count;
    if (!prepare(count, sql))
        return std::nullopt;
    if (code)
        count.bindValue(1, code);
    bindBefore(count, 2);
    return scalar(count);
}

void SqliteListingReader::Reading::addToPair(QStringView day, double quote)
{
    if (!day.isEmpty())
        m_lines->append(day, quote);
    m_pairQuotes.last = LastQuote{day.toString(), quote};
    if (m_format.isUnavailableMark(quote))
        ++m_pairQuotes.unavailableMarks;
}

// The pair's records in date order, through the index on code and date.
void SqliteListingReader::Reading::readPair(const Codes &codes)
{
    if (codes.selected.empty())
        return;
    QByteArray sql = "SELECT Data_Valuta, Quotazione, rowid FROM Storico_Valute WHERE ";
    const int count = int(codes.selected.size());
    if (count == 1) {
        sql += "Tipo_Valuta = ?1 COLLATE BINARY";
    } else {
        // Codes written with blanks around them belong to the pair too.
        sql += "Tipo_Valuta COLLATE BINARY IN (";
        for (int i = 1; i <= count; ++i)
            sql += (i > 1 ? ",?" : "?") + QByteArray::number(i);
        sql += ')';
    }
    sql += beforeCondition(count + 1);
    sql += " ORDER BY Data_Valuta, rowid";
    SqliteStatement records;
    if (!prepare(records, sql))
        return;
    for (int i = 0; i < count; ++i)
        records.bindValue(i + 1, codes.selected[size_t(i)].get());
    bindBefore(records, count + 1);

    double quote = 0;
    bool lastDated = false;
    while (records.step()) {
        if (readQuote(records, 1, quote).isError())
            quote = 0; // cannot happen before the unreadable record
        const QByteArrayView date = records.columnUtf8(0);
        if (records.columnType(0) == SQLITE_TEXT && isPlainDate(date)) {
            m_lines->appendPlain(date, quote);
            m_basis->rowids.push_back(records.columnInt64(2));
            lastDated = true;
        } else {
            m_allPlain = false;
            const QString day = QString::fromUtf8(date).trimmed();
            if (!day.isEmpty())
                m_lines->append(day, quote);
            lastDated = !day.isEmpty();
        }
        if (m_format.isUnavailableMark(quote))
            ++m_pairQuotes.unavailableMarks;
        m_pairQuotes.last = LastQuote{{}, quote};
    }
    if (records.failed())
        fail(records);
    if (m_pairQuotes.last)
        m_pairQuotes.last->day = lastDated ? m_lines->lastDate() : QString();
}

std::optional<ListingSnapshot> SqliteListingReader::Reading::update(const ListingSnapshot &previous,
                                                                    const SqliteBasis &basis,
                                                                    const std::vector<qint64> &changed)
{
    const std::optional<qint64> total = scalar("SELECT count(*) FROM Storico_Valute");
    if (!total)
        return std::nullopt;

    // The changed records as they are now (a record added and then undone is not there at all).
    const QByteArray pairBytes = m_pair.toUtf8();
    std::vector<Entry> added;
    constexpr size_t chunk = 500;
    SqliteStatement rows;
    for (size_t at = 0; at < changed.size(); at += chunk) {
        const size_t count = std::min(chunk, changed.size() - at);
        if (at == 0 || count != chunk) {
            QByteArray sql = "SELECT rowid, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute "
                             "WHERE rowid IN (?";
            for (size_t i = 1; i < count; ++i)
                sql += ",?";
            sql += ')';
            if (!prepare(rows, sql))
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
            } else {
                const QString text = rows.columnText(1).trimmed();
                if (text.isEmpty() || text == m_pair)
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
    auto next = std::make_shared<SqliteBasis>();
    RecordList::Builder lines(m_pair, m_format);
    const RecordList &before = previous.lines;
    auto fresh = added.cbegin();
    const auto add = [&](const Entry &entry) {
        lines.appendDay(entry.day, entry.quote);
        next->rowids.push_back(entry.rowid);
        if (m_format.isUnavailableMark(entry.quote))
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

    snapshot.count = *total;
    const QString lastDay = lines.lastDate();
    snapshot.lines = lines.finish();
    if (!snapshot.lines.isEmpty())
        snapshot.pairQuotes.last = LastQuote{lastDay, snapshot.lines.quote(snapshot.lines.size() - 1)};
    m_basis = std::move(next);
    m_simple = true;
    return snapshot;
}

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
    std::optional<Reading> reading;
    std::optional<ListingSnapshot> snapshot;
    // Only this connection changed the records since the previous listing, and each change is known:
    // those records are read again, the others kept.
    const auto *basis = previous ? dynamic_cast<const SqliteBasis *>(previous->basis.get()) : nullptr;
    std::vector<qint64> changed;
    if (basis && m_log && basis->pair == pair && basis->token.connection == m_token.connection &&
        basis->token.others == m_token.others && basis->schemaVersion == m_schemaVersion &&
        m_schemaVersion >= 0 && m_log->changedSince(basis->logPosition, changed) &&
        m_token.own - basis->token.own <= qint64(m_log->position() - basis->logPosition)) {
        reading.emplace(m_db, pair, format);
        snapshot = reading->update(*previous, *basis, changed);
    }
    if (!snapshot) {
        reading.emplace(m_db, pair, format);
        snapshot = reading->run(m_hasField);
    }
    if (std::shared_ptr<SqliteBasis> next = reading->basis()) {
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
