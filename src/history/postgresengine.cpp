#include "history/postgresengine.h"

#include "history/cursorlisting.h"
#include "history/historydb.h"
#include "history/postgreslisting.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <array>

namespace {

// Records without a date first and those of one date in the order stored, as the listing reader
// and SQLite list them.
const QString kListingQuery =
    QStringLiteral("SELECT * FROM Storico_Valute ORDER BY Data_Valuta NULLS FIRST, ctid");

// The key of the writers' advisory lock: the same in every program, whatever its platform (FNV-1a of
// the table's name), and unlikely to be another application's on the same database.
qint64 writeLockKey()
{
    quint64 hash = 14695981039346656037u;
    for (const char byte : QByteArrayLiteral("Storico_Valute")) {
        hash ^= quint8(byte);
        hash *= 1099511628211u;
    }
    return qint64(hash);
}

class PostgresCursor : public RecordCursor
{
public:
    explicit PostgresCursor(const QSqlDatabase &db) : m_query(db) { m_query.setForwardOnly(true); }

    RuntimeError open() override
    {
        if (!m_query.exec(kListingQuery))
            return databaseError(m_query.lastError());
        const QSqlRecord record = m_query.record();
        static const std::array<QString, FieldCount> names = {
            QStringLiteral("Tipo_Valuta"), QStringLiteral("Data_Valuta"), QStringLiteral("Quotazione"),
            QStringLiteral("Descrizione"), QStringLiteral("Note")};
        for (int field = 0; field < FieldCount; ++field)
            m_columns[field] = record.indexOf(names[field]);
        return next() || !m_error.isError() ? RuntimeError{} : m_error;
    }

    bool atRecord() const override { return m_atRecord; }
    bool next() override
    {
        m_atRecord = m_query.next();
        if (!m_atRecord && m_query.lastError().isValid())
            m_error = databaseError(m_query.lastError());
        return m_atRecord;
    }
    RuntimeError error() const override { return m_error; }
    bool hasField(Field field) const override { return m_columns[field] >= 0; }

    QString text(Field field) override
    {
        // The text of the last record is handed out again while it repeats, as codes, descriptions
        // and dates do from one record to the next.
        const QString value = m_query.value(m_columns[field]).toString();
        auto &last = m_last[field];
        if (value != last.first)
            last = {value, value.trimmed()};
        return last.second;
    }

    RuntimeError quote(double &value) override
    {
        const QVariant field = m_query.value(m_columns[Quote]);
        if (field.isNull())
            return makeError(94);
        bool ok = false;
        value = field.toDouble(&ok);
        return ok ? RuntimeError{} : makeError(13);
    }

private:
    QSqlQuery m_query;
    bool m_atRecord = false;
    RuntimeError m_error;
    std::array<int, FieldCount> m_columns{};
    std::array<std::pair<QString, QString>, FieldCount> m_last;
};

} // namespace

PostgresEngine::PostgresEngine(const DatabaseUrl &url) : m_url(url) {}

const SqlDialect &PostgresEngine::dialect() const
{
    // min() of a tid needs a recent server: the first of an ordered array works on any.
    static const SqlDialect dialect{
        QStringLiteral("ctid"), QStringLiteral("?::tid"), QStringLiteral("?::double precision"),
        QStringLiteral("(array_agg(%1.ctid ORDER BY %1.ctid))[1]"), QStringLiteral("text COLLATE \"C\"")};
    return dialect;
}

RuntimeError PostgresEngine::open(QSqlDatabase &db, int waitMilliseconds)
{
    m_url.applyTo(db);
    // Shown to the server's administrator among the sessions, unless the URL names another.
    db.setConnectOptions(db.connectOptions() + QStringLiteral(";fallback_application_name='quotazioni'"));
    if (!db.open())
        return databaseError(db.lastError());
    QSqlQuery setting(db);
    if (!setting.exec(QStringLiteral("SET lock_timeout = %1").arg(waitMilliseconds)))
        return databaseError(setting.lastError());
    return {};
}

RuntimeError PostgresEngine::beginWrite(QSqlDatabase &db)
{
    if (!db.transaction())
        return databaseError(db.lastError());
    QSqlQuery lock(db);
    if (!lock.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(writeLockKey()))) {
        const RuntimeError error = databaseError(lock.lastError());
        db.rollback();
        return error;
    }
    return {};
}

std::unique_ptr<RecordCursor> PostgresEngine::listing(const QSqlDatabase &db)
{
    return std::make_unique<PostgresCursor>(db);
}

std::unique_ptr<ListingReader> PostgresEngine::listingReader(const QSqlDatabase &db, qint64 connection)
{
    return std::make_unique<PostgresListingReader>(db, connection,
                                                   std::make_unique<CursorListingReader>(listing(db)));
}

std::optional<ChangeToken> PostgresEngine::changeToken(const QSqlDatabase &db, qint64 connection)
{
    return PostgresListingReader::currentToken(db, connection);
}
