#include "history/sqlitestatement.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <sqlite3.h>
#include <utility>

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

RuntimeError sqliteError(sqlite3 *db)
{
    const int code = db ? sqlite3_errcode(db) : 0;
    if (code == SQLITE_OK)
        return makeError(ErrorNumber::ApplicationDefined);
    return {code, QString::fromUtf8(sqlite3_errmsg(db))};
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

SqliteStatement::SqliteStatement(SqliteStatement &&other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_statement(std::exchange(other.m_statement, nullptr)),
      m_failed(other.m_failed), m_error(std::move(other.m_error))
{}

SqliteStatement &SqliteStatement::operator=(SqliteStatement &&other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_statement);
        m_db = std::exchange(other.m_db, nullptr);
        m_statement = std::exchange(other.m_statement, nullptr);
        m_failed = other.m_failed;
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool SqliteStatement::prepare(sqlite3 *db, QByteArrayView sql)
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    m_db = db;
    m_failed = false;
    m_error = {};
    if (!db) {
        m_failed = true;
        m_error = makeError(ErrorNumber::ApplicationDefined);
        return false;
    }
    if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &m_statement, nullptr) != SQLITE_OK) {
        fail();
        return false;
    }
    return true;
}

void SqliteStatement::bind(int index, QStringView text)
{
    static const char16_t empty = 0;
    const void *data = text.isEmpty() ? &empty : text.utf16();
    sqlite3_bind_text16(m_statement, index, data, int(text.size() * 2), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, double value)
{
    sqlite3_bind_double(m_statement, index, value);
}

void SqliteStatement::bindInt64(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index, value);
}

void SqliteStatement::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index);
}

void SqliteStatement::bindValue(int index, const sqlite3_value *value)
{
    sqlite3_bind_value(m_statement, index, value);
}

bool SqliteStatement::step()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        fail();
    return false;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    m_failed = false;
}

void SqliteStatement::fail()
{
    m_failed = true;
    m_error = sqliteError(m_db);
}

int SqliteStatement::columnType(int column) const
{
    return sqlite3_column_type(m_statement, column);
}

qint64 SqliteStatement::columnInt64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double SqliteStatement::columnDouble(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QByteArrayView SqliteStatement::columnUtf8(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
}

QString SqliteStatement::columnText(int column) const
{
    return QString::fromUtf8(columnUtf8(column));
}

const sqlite3_value *SqliteStatement::columnValue(int column) const
{
    return sqlite3_column_value(m_statement, column);
}
