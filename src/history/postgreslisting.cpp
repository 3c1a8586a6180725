#include "history/postgreslisting.h"

#include "history/historydb.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QtEndian>
#include <cstring>
#include <libpq-fe.h>
#include <vector>

namespace {

// The server's type numbers of the fields as the schema ships them.
constexpr Oid kTextType = 25;
constexpr Oid kVarcharType = 1043;
constexpr Oid kDoubleType = 701;

// Beyond this many different codes a walk from code to code through the index costs more than
// one pass over the table.
constexpr int kMaxCodeSeeks = 4096;
// The pair's records come this many at a time: few round trips, little memory.
constexpr int kFetchRows = 8192;

struct ResultFree
{
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

PGconn *connectionOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // The driver names the type after libpq's struct or its typedef, depending on its build.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

// A failure in the words and number the driver would give it.
RuntimeError resultError(PGconn *conn, const PGresult *result)
{
    QString text = result ? QString::fromUtf8(PQresultErrorMessage(result)) : QString();
    if (text.isEmpty())
        text = QString::fromUtf8(PQerrorMessage(conn));
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return databaseError(
        QSqlError(QString(), text, QSqlError::StatementError, QString::fromLatin1(state ? state : "")));
}

bool succeeded(const PGresult *result)
{
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    return status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
}

// Lets the driver's unfinished query go, as the driver itself does before running another.
void discardPending(PGconn *conn)
{
    while (PGresult *result = PQgetResult(conn))
        PQclear(result);
}

// Fields of a result in binary form.
QByteArrayView bytesAt(const PGresult *result, int row, int column)
{
    return {PQgetvalue(result, row, column), PQgetlength(result, row, column)};
}

QByteArray copyAt(const PGresult *result, int row, int column)
{
    return {PQgetvalue(result, row, column), PQgetlength(result, row, column)};
}

// The token of a snapshot's text ("xmin:xmax:running,..."): the number the next transaction that
// writes will take. No commit anywhere on the server between two snapshots leaves it the same, as
// long as no transaction that writes was running at either (they are listed, and may commit without
// moving it); none then.
std::optional<ChangeToken> snapshotToken(const PGresult *snapshot, qint64 connection)
{
    if (PQntuples(snapshot) != 1)
        return std::nullopt;
    const QList<QByteArray> parts = copyAt(snapshot, 0, 0).split(':');
    bool ok = false;
    const qint64 next = parts.size() == 3 && parts[2].isEmpty() ? parts[1].toLongLong(&ok) : 0;
    if (!ok)
        return std::nullopt;
    return ChangeToken{connection, next, 0};
}

qint64 int64At(const PGresult *result, int row, int column)
{
    return qFromBigEndian<qint64>(PQgetvalue(result, row, column));
}

double doubleAt(const PGresult *result, int row, int column)
{
    const quint64 bits = qFromBigEndian<quint64>(PQgetvalue(result, row, column));
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A text field as the listing reads it: NULL as "", then trimmed.
QString trimmedAt(const PGresult *result, int row, int column)
{
    return QString::fromUtf8(bytesAt(result, row, column)).trimmed();
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

QByteArray placeholders(int first, int count, const char *cast = "")
{
    QByteArray list;
    for (int i = 0; i < count; ++i)
        list += (i ? ",$" : "$") + QByteArray::number(first + i) + cast;
    return list;
}

// One record read in full (the first in date order, or the first that cannot be read).
struct Record
{
    QByteArray tid;                 // ctid as text
    std::optional<QByteArray> date; // Data_Valuta as stored; none when NULL
    QString code;                   // trimmed
    QString dayText;                // Data_Valuta trimmed
    double quote = 0;               // 0 when it cannot be read
    RuntimeError error;             // why it cannot be read, if so
};

// Columns: ctid::text, Tipo_Valuta, Data_Valuta, Quotazione.
Record recordAt(const PGresult *result, int row)
{
    Record record;
    record.tid = copyAt(result, row, 0);
    record.code = trimmedAt(result, row, 1);
    if (!PQgetisnull(result, row, 2))
        record.date = copyAt(result, row, 2);
    record.dayText = trimmedAt(result, row, 2);
    if (PQgetisnull(result, row, 3))
        record.error = makeError(94);
    else
        record.quote = doubleAt(result, row, 3);
    return record;
}

// The codes stored, grouped by their trimmed text.
struct Codes
{
    std::vector<QByteArray> selected; // those of the listed pair
    std::vector<QByteArray> blank;    // empty or blank: never loaded, unless first in date order
    std::vector<QByteArray> all;
    bool hasNull = false; // some records have no code at all, which counts as blank
    bool complete = true; // `all` holds every code (not when they were too many to walk)
};

} // namespace

// One listing's queries on the connection, the first failure kept.
class PostgresListingReader::Reading
{
public:
    Reading(PGconn *conn, const QString &pair, const QuoteFormat &format)
        : m_conn(conn), m_pair(pair), m_format(format)
    {}

    ListingSnapshot run();

private:
    // Runs a statement with text parameters, its rows in binary form; null after a failure, which is
    // kept unless quiet.
    Result exec(const QByteArray &sql, const std::vector<QByteArray> &params = {}, bool quiet = false)
    {
        if (m_error.isError())
            return nullptr;
        std::vector<const char *> values;
        values.reserve(params.size());
        for (const QByteArray &param : params)
            values.push_back(param.constData());
        Result result(PQexecParams(m_conn, sql.constData(), int(values.size()), nullptr, values.data(),
                                   nullptr, nullptr, 1));
        if (succeeded(result.get()))
            return result;
        if (!quiet)
            m_error = resultError(m_conn, result.get());
        return nullptr;
    }
    std::optional<qint64> scalar(const QByteArray &sql, const std::vector<QByteArray> &params = {})
    {
        const Result result = exec(sql, params);
        if (!result)
            return std::nullopt;
        return int64At(result.get(), 0, 0);
    }

    bool codeIndexUsable();
    bool walkCodes(Codes &codes);
    std::optional<Record> firstRecord(const Codes &codes);
    std::optional<Record> firstUnreadable(const std::optional<Record> &first, bool blankCodes);
    // The condition on records before the unreadable one (none when there is none), its parameters
    // numbered from firstParameter and appended to params.
    QByteArray beforeCondition(int firstParameter, std::vector<QByteArray> &params) const;
    std::optional<qint64> countBefore(const QByteArray &condition, std::vector<QByteArray> params);
    void readPair(const Codes &codes);
    void addPairRecords(const PGresult *result);
    void addToPair(QStringView day, double quote);

    PGconn *m_conn;
    QString m_pair;
    QuoteFormat m_format;
    RuntimeError m_error;
    std::optional<Record> m_unreadable;
    std::optional<RecordList::Builder> m_lines;
    PairQuotes m_pairQuotes;
    bool m_lastDated = false;
};

ListingSnapshot PostgresListingReader::Reading::run()
{
    ListingSnapshot snapshot;
    m_lines.emplace(m_pair, m_format);
    const auto finish = [&] {
        snapshot.lines = m_lines->finish();
        snapshot.pairQuotes = m_pairQuotes;
        snapshot.readError = m_error;
        return snapshot;
    };

    // One pass answers the count and whether any quote or code is missing.
    const Result totals = exec("SELECT count(*), count(*) FILTER (WHERE Quotazione IS NULL), "
                               "count(*) FILTER (WHERE Tipo_Valuta IS NULL) FROM Storico_Valute");
    if (!totals)
        return finish();
    const qint64 total = int64At(totals.get(), 0, 0);
    const bool nullQuotes = int64At(totals.get(), 0, 1) > 0;
    if (total == 0)
        return finish();

    Codes codes;
    codes.hasNull = int64At(totals.get(), 0, 2) > 0;
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

    if (nullQuotes) {
        m_unreadable = firstUnreadable(first, blankCodes);
        if (m_error.isError())
            return finish();
    }
    const bool firstUnread = firstBlank && m_unreadable && m_unreadable->tid == first->tid;

    // Records with a blank code are skipped, except the first in date order.
    std::optional<qint64> loaded = m_unreadable ? countBefore("TRUE", {}) : total;
    if (!loaded)
        return finish();
    for (const QByteArray &code : codes.blank) {
        const std::optional<qint64> blank = countBefore("Tipo_Valuta = $1", {code});
        if (!blank)
            return finish();
        *loaded -= *blank;
    }
    if (codes.hasNull) {
        const std::optional<qint64> blank = countBefore("Tipo_Valuta IS NULL", {});
        if (!blank)
            return finish();
        *loaded -= *blank;
    }
    if (firstBlank && !firstUnread)
        ++*loaded;
    snapshot.count = *loaded + (m_unreadable ? 1 : 0);

    if (blankPair) {
        // Only the first record can have a blank code and be loaded.
        if (firstBlank) {
            if (firstUnread)
                m_pairQuotes.last = LastQuote{first->dayText, 0};
            else
                addToPair(first->dayText, first->quote);
        }
    } else {
        readPair(codes);
        if (m_unreadable && m_unreadable->code == m_pair)
            m_pairQuotes.last = LastQuote{m_unreadable->dayText, 0};
    }
    if (!m_error.isError() && m_unreadable)
        m_error = m_unreadable->error;
    return finish();
}

bool PostgresListingReader::Reading::codeIndexUsable()
{
    const Result plan = exec("EXPLAIN SELECT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta > '' "
                             "ORDER BY Tipo_Valuta LIMIT 1",
                             {}, true);
    if (!plan)
        return false;
    bool index = false, sorted = false;
    for (int row = 0, rows = PQntuples(plan.get()); row < rows; ++row) {
        const QByteArrayView line = bytesAt(plan.get(), row, 0);
        index = index || line.contains("Index");
        sorted = sorted || line.contains("Sort");
    }
    return index && !sorted;
}

// Every code stored, once: through the index from one code to the next, so that a handful of codes
// costs a handful of lookups however many records they have.
bool PostgresListingReader::Reading::walkCodes(Codes &codes)
{
    const auto add = [&](QByteArray code) {
        const QString text = QString::fromUtf8(code).trimmed();
        if (text.isEmpty())
            codes.blank.push_back(code);
        else if (text == m_pair)
            codes.selected.push_back(code);
        codes.all.push_back(std::move(code));
    };

    if (codeIndexUsable()) {
        const Result walk = exec(
            "WITH RECURSIVE codes(code) AS ("
            "(SELECT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta IS NOT NULL ORDER BY Tipo_Valuta "
            "LIMIT 1) "
            "UNION ALL SELECT (SELECT s.Tipo_Valuta FROM Storico_Valute s WHERE s.Tipo_Valuta > codes.code "
            "ORDER BY s.Tipo_Valuta LIMIT 1) FROM codes WHERE codes.code IS NOT NULL) "
            "SELECT code FROM codes WHERE code IS NOT NULL LIMIT " +
            QByteArray::number(kMaxCodeSeeks + 1));
        if (!walk)
            return false;
        const int rows = PQntuples(walk.get());
        if (rows <= kMaxCodeSeeks) {
            for (int row = 0; row < rows; ++row)
                add(copyAt(walk.get(), row, 0));
            return true;
        }
    }
    codes.complete = false;
    const Result distinct =
        exec("SELECT DISTINCT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta IS NOT NULL");
    if (!distinct)
        return false;
    for (int row = 0, rows = PQntuples(distinct.get()); row < rows; ++row)
        add(copyAt(distinct.get(), row, 0));
    codes.all.clear(); // too many to look each one up
    return true;
}

// The first record in date order: the first of each code's, through the index, or one pass.
std::optional<Record> PostgresListingReader::Reading::firstRecord(const Codes &codes)
{
    QByteArray sql = "SELECT ctid::text, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute";
    std::vector<QByteArray> firsts;
    if (codes.complete) {
        // A code's records without a date come first; the index gives the first dated one.
        const auto firstOf = [&](const QByteArray &condition, const std::vector<QByteArray> &params) {
            for (const char *order :
                 {" AND Data_Valuta IS NULL ORDER BY ctid LIMIT 1", " ORDER BY Data_Valuta, ctid LIMIT 1"}) {
                const Result result =
                    exec("SELECT ctid::text FROM Storico_Valute WHERE " + condition + order, params);
                if (!result)
                    return false;
                if (PQntuples(result.get()) > 0) {
                    firsts.push_back(copyAt(result.get(), 0, 0));
                    return true;
                }
            }
            return true;
        };
        for (const QByteArray &code : codes.all) {
            if (!firstOf("Tipo_Valuta = $1", {code}))
                return std::nullopt;
        }
        if (codes.hasNull && !firstOf("Tipo_Valuta IS NULL", {}))
            return std::nullopt;
        if (!firsts.empty())
            sql += " WHERE ctid IN (" + placeholders(1, int(firsts.size()), "::tid") + ')';
    }
    sql += " ORDER BY Data_Valuta NULLS FIRST, ctid LIMIT 1";
    const Result first = exec(sql, firsts);
    if (!first)
        return std::nullopt;
    if (PQntuples(first.get()) == 0) {
        m_error = makeError(ErrorNumber::ApplicationDefined);
        return std::nullopt;
    }
    return recordAt(first.get(), 0);
}

// The first record in date order whose quote cannot be read (a double precision field fails only
// when NULL), among those the listing loads.
std::optional<Record> PostgresListingReader::Reading::firstUnreadable(const std::optional<Record> &first,
                                                                      bool blankCodes)
{
    const Result candidates =
        exec("SELECT ctid::text, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute "
             "WHERE Quotazione IS NULL ORDER BY Data_Valuta NULLS FIRST, ctid");
    if (!candidates)
        return std::nullopt;
    for (int row = 0, rows = PQntuples(candidates.get()); row < rows; ++row) {
        Record record = recordAt(candidates.get(), row);
        if (blankCodes && record.code.isEmpty() && !(first && first->tid == record.tid))
            continue;
        return record;
    }
    return std::nullopt;
}

QByteArray PostgresListingReader::Reading::beforeCondition(int firstParameter,
                                                           std::vector<QByteArray> &params) const
{
    if (!m_unreadable)
        return {};
    if (!m_unreadable->date) {
        params.push_back(m_unreadable->tid);
        return " AND (Data_Valuta IS NULL AND ctid < $" + QByteArray::number(firstParameter) + "::tid)";
    }
    params.push_back(*m_unreadable->date);
    params.push_back(m_unreadable->tid);
    const QByteArray date = '$' + QByteArray::number(firstParameter);
    const QByteArray tid = '$' + QByteArray::number(firstParameter + 1) + "::tid";
    return " AND (Data_Valuta IS NULL OR Data_Valuta < " + date + " OR (Data_Valuta = " + date +
           " AND ctid < " + tid + "))";
}

// How many records meeting the condition come before the unreadable one, or in all when there is none.
std::optional<qint64> PostgresListingReader::Reading::countBefore(const QByteArray &condition,
                                                                  std::vector<QByteArray> params)
{
    const QByteArray before = beforeCondition(int(params.size()) + 1, params);
    return scalar("SELECT count(*) FROM Storico_Valute WHERE " + condition + before, params);
}

void PostgresListingReader::Reading::addToPair(QStringView day, double quote)
{
    if (!day.isEmpty())
        m_lines->append(day, quote);
    m_pairQuotes.last = LastQuote{day.toString(), quote};
    if (m_format.isUnavailableMark(quote))
        ++m_pairQuotes.unavailableMarks;
}

// Columns: Data_Valuta, Quotazione.
void PostgresListingReader::Reading::addPairRecords(const PGresult *result)
{
    for (int row = 0, rows = PQntuples(result); row < rows; ++row) {
        const double quote = PQgetisnull(result, row, 1) ? 0 : doubleAt(result, row, 1);
        const QByteArrayView date = bytesAt(result, row, 0);
        if (isPlainDate(date)) {
            m_lines->appendPlain(date, quote);
            m_lastDated = true;
        } else {
            const QString day = QString::fromUtf8(date).trimmed();
            if (!day.isEmpty())
                m_lines->append(day, quote);
            m_lastDated = !day.isEmpty();
        }
        if (m_format.isUnavailableMark(quote))
            ++m_pairQuotes.unavailableMarks;
        m_pairQuotes.last = LastQuote{{}, quote};
    }
}

// The pair's records in date order: those without a date first, then the others through the index on
// code and date, in order, a batch at a time.
void PostgresListingReader::Reading::readPair(const Codes &codes)
{
    if (codes.selected.empty())
        return;
    const int count = int(codes.selected.size());
    // Codes written with blanks around them belong to the pair too.
    const QByteArray which =
        count == 1 ? QByteArray("Tipo_Valuta = $1") : "Tipo_Valuta IN (" + placeholders(1, count) + ')';
    std::vector<QByteArray> params = codes.selected;
    const QByteArray before = beforeCondition(count + 1, params);

    const Result undated = exec("SELECT Data_Valuta, Quotazione FROM Storico_Valute WHERE " + which +
                                    " AND Data_Valuta IS NULL" + before + " ORDER BY ctid",
                                params);
    if (!undated)
        return;
    addPairRecords(undated.get());
    if (!exec("DECLARE pair_records NO SCROLL CURSOR FOR SELECT Data_Valuta, Quotazione FROM Storico_Valute "
              "WHERE " +
                  which + " AND Data_Valuta IS NOT NULL" + before + " ORDER BY Data_Valuta, ctid",
              params))
        return;
    const QByteArray fetch = "FETCH " + QByteArray::number(kFetchRows) + " FROM pair_records";
    for (;;) {
        const Result batch = exec(fetch);
        if (!batch)
            return;
        addPairRecords(batch.get());
        if (PQntuples(batch.get()) < kFetchRows)
            break;
    }
    exec("CLOSE pair_records");
    if (m_pairQuotes.last)
        m_pairQuotes.last->day = m_lastDated ? m_lines->lastDate() : QString();
}

PostgresListingReader::PostgresListingReader(const QSqlDatabase &db, qint64 connection,
                                             std::unique_ptr<ListingReader> fallback)
    : m_conn(connectionOf(db)), m_connection(connection), m_fallback(std::move(fallback))
{}

PostgresListingReader::~PostgresListingReader()
{
    end();
}

void PostgresListingReader::end()
{
    if (m_began) {
        m_began = false;
        PQclear(PQexec(m_conn, "COMMIT"));
    }
    if (m_savepoint) {
        // A failure of the listing leaves the program's own transaction as it found it.
        m_savepoint = false;
        if (PQtransactionStatus(m_conn) == PQTRANS_INERROR)
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT quotazioni_listing"));
        PQclear(PQexec(m_conn, "RELEASE SAVEPOINT quotazioni_listing"));
    }
}

RuntimeError PostgresListingReader::open()
{
    end();
    m_token.reset();
    m_usesFallback = !m_conn;
    if (m_usesFallback)
        return m_fallback->open();
    if (PQtransactionStatus(m_conn) == PQTRANS_ACTIVE)
        discardPending(m_conn);

    if (PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
        const Result begin(PQexec(m_conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        if (!succeeded(begin.get()))
            return resultError(m_conn, begin.get());
        m_began = true;
        // The transaction's first query takes the snapshot every later one sees: this one.
        const Result snapshot(PQexecParams(m_conn, "SELECT txid_current_snapshot()::text", 0, nullptr,
                                           nullptr, nullptr, nullptr, 1));
        if (!succeeded(snapshot.get())) {
            const RuntimeError error = resultError(m_conn, snapshot.get());
            end();
            return error;
        }
        m_token = snapshotToken(snapshot.get(), m_connection);
    } else if (PQtransactionStatus(m_conn) == PQTRANS_INTRANS) {
        const Result savepoint(PQexec(m_conn, "SAVEPOINT quotazioni_listing"));
        if (!succeeded(savepoint.get()))
            return resultError(m_conn, savepoint.get());
        m_savepoint = true;
    }

    // The table's fields, as the listing's own query would find them.
    const Result fields(PQexec(m_conn, "SELECT * FROM Storico_Valute ORDER BY Data_Valuta LIMIT 0"));
    if (!succeeded(fields.get())) {
        const RuntimeError error = resultError(m_conn, fields.get());
        end();
        return error;
    }
    const auto typeOf = [&](const char *name) -> std::optional<Oid> {
        for (int i = 0, n = PQnfields(fields.get()); i < n; ++i) {
            if (qstricmp(PQfname(fields.get(), i), name) == 0)
                return PQftype(fields.get(), i);
        }
        return std::nullopt;
    };
    const auto isText = [](std::optional<Oid> type) { return type == kTextType || type == kVarcharType; };
    const bool asShipped = isText(typeOf("Tipo_Valuta")) && isText(typeOf("Data_Valuta")) &&
                           typeOf("Quotazione") == kDoubleType && typeOf("Descrizione") && typeOf("Note");
    if (!asShipped) {
        end();
        m_token.reset();
        m_usesFallback = true;
        return m_fallback->open();
    }
    return {};
}

ListingSnapshot PostgresListingReader::read(const QString &pair, const QuoteFormat &format,
                                            const ListingSnapshot *previous)
{
    if (m_usesFallback)
        return m_fallback->read(pair, format, previous);
    ListingSnapshot snapshot = Reading(m_conn, pair, format).run();
    end();
    return snapshot;
}

std::optional<ChangeToken> PostgresListingReader::changeToken() const
{
    return m_usesFallback ? std::nullopt : m_token;
}

std::optional<ChangeToken> PostgresListingReader::currentToken(const QSqlDatabase &db, qint64 connection)
{
    PGconn *conn = connectionOf(db);
    if (!conn || PQstatus(conn) != CONNECTION_OK || PQtransactionStatus(conn) != PQTRANS_IDLE)
        return std::nullopt;
    const Result snapshot(
        PQexecParams(conn, "SELECT txid_current_snapshot()::text", 0, nullptr, nullptr, nullptr, nullptr, 1));
    if (!succeeded(snapshot.get()))
        return std::nullopt;
    return snapshotToken(snapshot.get(), connection);
}
