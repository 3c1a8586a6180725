#include "history/sqliteengine.h"

#include "history/historydb.h"
#include "history/sqlitelisting.h"
#include "history/sqlitestatement.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <sqlite3.h>

namespace {

// A statement on the connection's own handle: the import binds hundreds of thousands of values.
class SqliteEngineStatement final : public EngineStatement
{
public:
    explicit SqliteEngineStatement(const QSqlDatabase &db) : m_handle(sqliteHandle(db)) {}

    bool prepare(const QString &sql) override { return m_statement.prepare(m_handle, sql.toUtf8()); }
    void bindText(int index, const QString &text) override { m_statement.bind(index + 1, text); }
    void bindNumber(int index, double value) override { m_statement.bind(index + 1, value); }
    void bindKey(int index, const QVariant &key) override
    {
        m_statement.bindInt64(index + 1, key.toLongLong());
    }
    bool exec() override
    {
        m_statement.reset();
        m_statement.clearError();
        m_rowWaiting = m_statement.step();
        return !m_statement.failed();
    }
    bool next() override
    {
        if (m_rowWaiting) {
            m_rowWaiting = false;
            return true;
        }
        return m_statement.step();
    }
    QString text(int column) const override { return m_statement.columnText(column); }
    QVariant key(int column) const override { return m_statement.columnInt64(column); }
    void finish() override
    {
        m_rowWaiting = false;
        m_statement.reset();
    }
    RuntimeError error() const override { return m_statement.error(); }

private:
    sqlite3 *m_handle;
    SqliteStatement m_statement;
    bool m_rowWaiting = false; // exec() stepped onto a row that next() hands out
};

// Whether a column declared so turns the numbers written as text into numbers (SQLite's rules for a
// column's affinity: INTEGER, REAL or NUMERIC, not TEXT or BLOB).
bool makesNumbers(const char *declaredType)
{
    const QByteArray type = QByteArray(declaredType).toUpper();
    if (type.contains("INT"))
        return true;
    if (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT") || type.contains("BLOB") ||
        type.isEmpty())
        return false;
    return true;
}

// Gives the history the partial index of the records whose quote cannot be read, normally empty,
// through which every listing finds them without a pass over the table. The shipped file has it; one
// made before it or elsewhere gets it here, once. Never at the open's expense: a file that cannot be
// written now (read only, another program writing or reading it to the end of its transaction) is
// left as it is, without waiting, and listed by that pass until a later open succeeds. It is a
// transaction of its own, before any of the program's: a run killed in it leaves the file as it was.
void addUnreadableQuoteIndex(sqlite3 *db, int waitMilliseconds)
{
    SqliteStatement present;
    if (!present.prepare(db, "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1"))
        return;
    present.bind(1, QString::fromLatin1(kUnreadableQuoteIndex));
    if (present.step() || present.failed())
        return;
    // Where the quotes stay text as written, every record would be in it.
    const char *declaredType = nullptr;
    if (sqlite3_table_column_metadata(db, "main", "Storico_Valute", "Quotazione", &declaredType, nullptr,
                                      nullptr, nullptr, nullptr) != SQLITE_OK ||
        !makesNumbers(declaredType))
        return;
    if (sqlite3_db_readonly(db, "main") != 0 || !sqlite3_get_autocommit(db))
        return;
    const QByteArray sql = QByteArray("CREATE INDEX IF NOT EXISTS ") + kUnreadableQuoteIndex +
                           " ON Storico_Valute (Data_Valuta) WHERE " + kUnreadableQuoteCondition;
    sqlite3_busy_timeout(db, 0);
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, waitMilliseconds);
    if (!sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace

SqliteEngine::SqliteEngine(const QString &path) : m_path(path) {}

const SqlDialect &SqliteEngine::dialect() const
{
    static const SqlDialect dialect{QStringLiteral("rowid"), QStringLiteral("?"), QStringLiteral("?"),
                                    QStringLiteral("min(%1.rowid)"), QStringLiteral("TEXT")};
    return dialect;
}

RuntimeError SqliteEngine::open(QSqlDatabase &db, int waitMilliseconds)
{
    const QFileInfo info(m_path);
    if (!info.exists())
        return makeError(ErrorNumber::FileNotFound);
    if (!info.isFile())
        return makeError(ErrorNumber::PathFileAccess);

    // mode=rw: SQLite would otherwise create a missing file between our check and the open.
    QUrl uri = QUrl::fromLocalFile(info.absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=rw"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(waitMilliseconds));
    if (!db.open())
        return databaseError(db.lastError());
    // SQLite reads the file lazily: touch the schema now so that a damaged or locked file is an
    // opening failure, not a surprise in the middle of a listing.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return databaseError(probe.lastError());
    probe.finish();
    addUnreadableQuoteIndex(sqliteHandle(db), waitMilliseconds);
    m_changes.watch(sqliteHandle(db));
    return {};
}

RuntimeError SqliteEngine::beginWrite(QSqlDatabase &db)
{
    // The write lock is taken at once, so that another program's change waits for this one to end
    // (within the busy time-out) instead of failing when it comes to write after its lookup. It covers
    // the whole file: no pair needs a lock of its own.
    QSqlQuery begin(db);
    if (begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return {};
    return databaseError(begin.lastError());
}

std::unique_ptr<ListingReader> SqliteEngine::listingReader(const QSqlDatabase &db, qint64 connection)
{
    return std::make_unique<SqliteListingReader>(sqliteHandle(db), connection, &m_changes);
}

std::optional<ChangeToken> SqliteEngine::changeToken(const QSqlDatabase &db, qint64 connection)
{
    sqlite3 *handle = sqliteHandle(db);
    SqliteStatement version;
    if (!handle || !version.prepare(handle, "PRAGMA data_version") || !version.step())
        return std::nullopt;
    return ChangeToken{connection, version.columnInt64(0), sqlite3_total_changes64(handle)};
}

std::unique_ptr<EngineStatement> SqliteEngine::statement(const QSqlDatabase &db)
{
    return std::make_unique<SqliteEngineStatement>(db);
}
