#pragma once

#include "base/runtimeerror.h"
#include "history/listingreader.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// One field of a record as the listing reads it: the texts trimmed (NULL reads as ""), the quote
// as a double.
class RecordCursor
{
public:
    enum Field { Code, Date, Quote, Description, Note, FieldCount };

    virtual ~RecordCursor() = default;
    // Runs the listing query (every record, in date order) and moves onto the first record.
    virtual RuntimeError open() = 0;
    virtual bool atRecord() const = 0;
    // Moves on; false at the end or on a failure (then error() tells which).
    virtual bool next() = 0;
    virtual RuntimeError error() const = 0;
    virtual bool hasField(Field field) const = 0;
    virtual QString text(Field field) = 0;
    // The quote of the record; a NULL or a text that is no number is a reading failure.
    virtual RuntimeError quote(double &value) = 0;
};

// A prepared statement on the history's connection. Parameters and columns count from 0; a text is
// never bound as NULL. A record's key is what the dialect's rowId names, as key() reads it.
class EngineStatement
{
public:
    virtual ~EngineStatement() = default;
    virtual bool prepare(const QString &sql) = 0;
    virtual void bindText(int index, const QString &text) = 0;
    virtual void bindNumber(int index, double value) = 0;
    virtual void bindKey(int index, const QVariant &key) = 0;
    // Runs the statement; its rows, if any, come through next().
    virtual bool exec() = 0;
    virtual bool next() = 0;
    virtual QString text(int column) const = 0;
    virtual QVariant key(int column) const = 0;
    // Done with the rows: ready to run again, parameters kept.
    virtual void finish() = 0;
    virtual RuntimeError error() const = 0;
};

// The statements that differ between the engines: how a record is named for an update, and how a
// parameter is typed where the engine cannot tell from the statement.
struct SqlDialect
{
    QString rowId;       // the column naming a stored record: "rowid", "ctid"
    QString rowIdParam;  // a parameter compared with it
    QString numberParam; // a parameter stored into Quotazione from a VALUES list
    QString firstRowId;  // the first of a group's stored records, %1 the table's alias
    QString keyTextType; // a column type that compares as Tipo_Valuta and Data_Valuta do
};

// What one engine that can hold the history does its own way. The history is an SQLite file
// (VALUTE.MDB, the default) or a PostgreSQL database named by a connection URL; makeHistoryEngine
// is the one place that tells them apart, and everything else talks to this interface.
class HistoryEngine
{
public:
    virtual ~HistoryEngine() = default;

    // Where the history is, as messages show it: the file's path, or the URL without its password.
    virtual QString displayName() const = 0;
    virtual QString driverName() const = 0;
    // The file that holds the history, empty for a server.
    virtual QString filePath() const { return {}; }
    // Opens a connection made with driverName(); a missing file, a server that is down or refuses
    // the login fails here. waitMilliseconds is how long a statement waits for another program's lock.
    virtual RuntimeError open(QSqlDatabase &db, int waitMilliseconds) = 0;
    virtual const SqlDialect &dialect() const = 0;

    // Starts a transaction that changes records. Like SQLite's write lock, it keeps every other
    // program's change waiting until it ends (or the wait times out): a lookup and the insert that
    // follows it never interleave with another program's, so a pair and day keeps one record.
    // Listings are never kept waiting.
    virtual RuntimeError beginWrite(QSqlDatabase &db) = 0;
    // Reads every record for the listing, one by one: how an engine without a listing reader of its
    // own is listed. Null when there is none.
    virtual std::unique_ptr<RecordCursor> listing(const QSqlDatabase &db);
    // Reads a listing (see ListingReader). By default every record comes through listing().
    // connection: the number HistoryDb gave the open connection, for the change tokens.
    virtual std::unique_ptr<ListingReader> listingReader(const QSqlDatabase &db, qint64 connection);
    // The database's state now, comparable with a listing's; none when the engine cannot tell, and
    // then every listing reads anew.
    virtual std::optional<ChangeToken> changeToken(const QSqlDatabase &db, qint64 connection);
    // A statement for the writers. By default through Qt's driver.
    virtual std::unique_ptr<EngineStatement> statement(const QSqlDatabase &db);
};

// The engine for a location: a postgresql:// or postgres:// URL is a server, anything else the path
// of an SQLite file. Null, with the reason, for a URL that cannot be read.
std::unique_ptr<HistoryEngine> makeHistoryEngine(const QString &location, QString *error = nullptr);
