#pragma once

#include "base/runtimeerror.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_value;

// The SQLite side of the history database: the connection's own handle, reached through the
// QSQLITE driver, for the statements that run once per record. Values are bound and read as the
// engine holds them, with no QVariant and no conversion in between.

// The connection's handle; null when the connection is not SQLite or not open.
sqlite3 *sqliteHandle(const QSqlDatabase &db);

// The engine's last error on the connection, its code and text.
RuntimeError sqliteError(sqlite3 *db);

// One prepared statement, finalised with its owner.
class SqliteStatement
{
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(SqliteStatement &&other) noexcept;
    SqliteStatement &operator=(SqliteStatement &&other) noexcept;
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // False with the engine's error kept in error().
    bool prepare(sqlite3 *db, QByteArrayView sql);
    bool isPrepared() const { return m_statement != nullptr; }
    sqlite3_stmt *get() const { return m_statement; }

    // Parameters from 1. A text is never bound as NULL: an empty one is the empty text.
    void bind(int index, QStringView text);
    void bind(int index, double value);
    void bindInt64(int index, qint64 value);
    void bindNull(int index);
    void bindValue(int index, const sqlite3_value *value);

    // The next row: true at a row, false at the end or on a failure (then failed() tells).
    bool step();
    bool failed() const { return m_failed; }
    RuntimeError error() const { return m_error; }
    // Ready to run again, parameters kept; the last failure's error stays until cleared.
    void reset();
    void clearError() { m_error = {}; }

    int columnType(int column) const;
    qint64 columnInt64(int column) const;
    double columnDouble(int column) const;
    // The column's text as UTF-8 bytes, valid until the next step.
    QByteArrayView columnUtf8(int column) const;
    QString columnText(int column) const;
    const sqlite3_value *columnValue(int column) const;

private:
    void fail();

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    bool m_failed = false;
    RuntimeError m_error;
};
