#include "history/postgreslisting.h"

#include "history/historydb.h"
#include "history/listingrules.h"

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
    return bytesAt(result, row, column).toByteArray();
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

// Where a record stands in date order.
struct Position
{
    QByteArray tid;                 // ctid as text
    std::optional<QByteArray> date; // Data_Valuta as stored; none when NULL
};

// One listing's queries on the connection, the first failure kept.
class PostgresSource final : public ListingSource
{
public:
    explicit PostgresSource(PGconn *conn) : m_conn(conn) {}

    std::optional<Totals> totals() override;
    bool readCodes(std::vector<QString> &codes) override;
    std::optional<Record> firstRecord() override;
    std::optional<Record> firstUnreadable(const std::function<bool(const Record &)> &loaded) override;
    std::optional<qint64> count(int code) override;
    void readPair(const std::vector<int> &codes, PairLines &lines) override;

private:
    // Runs a statement with text parameters, its rows in binary form; null after a failure, which is
    // kept unless quiet.
    Result exec(const QByteArray &sql, const std::vector<QByteArray> &params = {}, bool quiet = false)
    {
        if (error().isError())
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
            fail(resultError(m_conn, result.get()));
        return nullptr;
    }

    bool codeIndexUsable();
    // Columns: ctid::text, Tipo_Valuta, Data_Valuta, Quotazione.
    Record recordAt(const PGresult *result, int row, Position &position) const;
    // The condition on records before the unreadable one (none when there is none), its parameters
    // numbered from firstParameter and appended to params.
    QByteArray beforeCondition(int firstParameter, std::vector<QByteArray> &params) const;
    void addPairRecords(const PGresult *result, PairLines &lines);

    PGconn *m_conn;
    std::vector<QByteArray> m_codes;
    bool m_allCodes = true; // m_codes holds every code (not when they were too many to walk)
    bool m_nullCodes = false;
    std::optional<QByteArray> m_first; // ctid of the first record, once known
    std::optional<Position> m_unreadable;
};

// One pass answers the count and whether any quote or code is missing.
std::optional<ListingSource::Totals> PostgresSource::totals()
{
    const Result totals = exec("SELECT count(*), count(*) FILTER (WHERE Quotazione IS NULL), "
                               "count(*) FILTER (WHERE Tipo_Valuta IS NULL) FROM Storico_Valute");
    if (!totals)
        return std::nullopt;
    m_nullCodes = int64At(totals.get(), 0, 2) > 0;
    // A double precision field fails only when NULL.
    return Totals{int64At(totals.get(), 0, 0), m_nullCodes, int64At(totals.get(), 0, 1) > 0};
}

bool PostgresSource::codeIndexUsable()
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

// Through the index from one code to the next, so that a handful of codes costs a handful of
// lookups however many records they have.
bool PostgresSource::readCodes(std::vector<QString> &codes)
{
    Result found;
    if (codeIndexUsable()) {
        found = exec(
            "WITH RECURSIVE codes(code) AS ("
            "(SELECT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta IS NOT NULL ORDER BY Tipo_Valuta "
            "LIMIT 1) "
            "UNION ALL SELECT (SELECT s.Tipo_Valuta FROM Storico_Valute s WHERE s.Tipo_Valuta > codes.code "
            "ORDER BY s.Tipo_Valuta LIMIT 1) FROM codes WHERE codes.code IS NOT NULL) "
            "SELECT code FROM codes WHERE code IS NOT NULL LIMIT " +
            QByteArray::number(kMaxCodeSeeks + 1));
        if (!found)
            return false;
        if (PQntuples(found.get()) > kMaxCodeSeeks)
            found.reset();
    }
    if (!found) {
        m_allCodes = false;
        found = exec("SELECT DISTINCT Tipo_Valuta FROM Storico_Valute WHERE Tipo_Valuta IS NOT NULL");
        if (!found)
            return false;
    }
    for (int row = 0, rows = PQntuples(found.get()); row < rows; ++row) {
        m_codes.push_back(copyAt(found.get(), row, 0));
        codes.push_back(QString::fromUtf8(m_codes.back()));
    }
    return true;
}

ListingSource::Record PostgresSource::recordAt(const PGresult *result, int row, Position &position) const
{
    Record record;
    position.tid = copyAt(result, row, 0);
    record.first = position.tid == m_first;
    record.code = trimmedAt(result, row, 1);
    if (!PQgetisnull(result, row, 2))
        position.date = copyAt(result, row, 2);
    record.day = trimmedAt(result, row, 2);
    if (PQgetisnull(result, row, 3))
        record.error = makeError(94);
    else
        record.quote = doubleAt(result, row, 3);
    return record;
}

// The first of each code's records through the index, or one pass.
std::optional<ListingSource::Record> PostgresSource::firstRecord()
{
    QByteArray sql = "SELECT ctid::text, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute";
    std::vector<QByteArray> firsts;
    if (m_allCodes) {
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
        for (const QByteArray &code : m_codes) {
            if (!firstOf("Tipo_Valuta = $1", {code}))
                return std::nullopt;
        }
        if (m_nullCodes && !firstOf("Tipo_Valuta IS NULL", {}))
            return std::nullopt;
        if (!firsts.empty())
            sql += " WHERE ctid IN (" + placeholders('$', 1, int(firsts.size()), "::tid") + ')';
    }
    sql += " ORDER BY Data_Valuta NULLS FIRST, ctid LIMIT 1";
    const Result first = exec(sql, firsts);
    if (!first)
        return std::nullopt;
    if (PQntuples(first.get()) == 0) {
        fail(makeError(ErrorNumber::ApplicationDefined));
        return std::nullopt;
    }
    Position position;
    Record record = recordAt(first.get(), 0, position);
    m_first = position.tid;
    record.first = true;
    return record;
}

std::optional<ListingSource::Record>
PostgresSource::firstUnreadable(const std::function<bool(const Record &)> &loaded)
{
    const Result candidates =
        exec("SELECT ctid::text, Tipo_Valuta, Data_Valuta, Quotazione FROM Storico_Valute "
             "WHERE Quotazione IS NULL ORDER BY Data_Valuta NULLS FIRST, ctid");
    if (!candidates)
        return std::nullopt;
    for (int row = 0, rows = PQntuples(candidates.get()); row < rows; ++row) {
        Position position;
        Record record = recordAt(candidates.get(), row, position);
        if (loaded(record)) {
            m_unreadable = std::move(position);
            return record;
        }
    }
    return std::nullopt;
}

QByteArray PostgresSource::beforeCondition(int firstParameter, std::vector<QByteArray> &params) const
{
    if (!m_unreadable)
        return {};
    const QByteArray date = m_unreadable->date ? '$' + QByteArray::number(firstParameter++) : QByteArray();
    if (m_unreadable->date)
        params.push_back(*m_unreadable->date);
    params.push_back(m_unreadable->tid);
    return beforeInDateOrder(date, '$' + QByteArray::number(firstParameter) + "::tid", "ctid");
}

std::optional<qint64> PostgresSource::count(int code)
{
    std::vector<QByteArray> params;
    QByteArray sql = "SELECT count(*) FROM Storico_Valute WHERE ";
    if (code == kAnyCode) {
        sql += "TRUE";
    } else if (code == kNoCode) {
        sql += "Tipo_Valuta IS NULL";
    } else {
        sql += "Tipo_Valuta = $1";
        params.push_back(m_codes[size_t(code)]);
    }
    sql += beforeCondition(int(params.size()) + 1, params);
    const Result result = exec(sql, params);
    if (!result)
        return std::nullopt;
    return int64At(result.get(), 0, 0);
}

// Columns: Data_Valuta, Quotazione.
void PostgresSource::addPairRecords(const PGresult *result, PairLines &lines)
{
    for (int row = 0, rows = PQntuples(result); row < rows; ++row)
        lines.add(bytesAt(result, row, 0), true, PQgetisnull(result, row, 1) ? 0 : doubleAt(result, row, 1));
}

// Those without a date first, then the others through the index on code and date, in order, a batch
// at a time.
void PostgresSource::readPair(const std::vector<int> &codes, PairLines &lines)
{
    std::vector<QByteArray> params;
    for (const int code : codes)
        params.push_back(m_codes[size_t(code)]);
    const int count = int(codes.size());
    // Codes written with blanks around them belong to the pair too.
    const QByteArray which =
        count == 1 ? QByteArray("Tipo_Valuta = $1") : "Tipo_Valuta IN (" + placeholders('$', 1, count) + ')';
    const QByteArray before = beforeCondition(count + 1, params);

    const Result undated = exec("SELECT Data_Valuta, Quotazione FROM Storico_Valute WHERE " + which +
                                    " AND Data_Valuta IS NULL" + before + " ORDER BY ctid",
                                params);
    if (!undated)
        return;
    addPairRecords(undated.get(), lines);
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
        addPairRecords(batch.get(), lines);
        if (PQntuples(batch.get()) < kFetchRows)
            break;
    }
    exec("CLOSE pair_records");
}

} // namespace

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
    PostgresSource source(m_conn);
    ListingSnapshot snapshot = ListingRules(pair, format).read(source);
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
