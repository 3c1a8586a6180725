#pragma once

#include "base/runtimeerror.h"
#include "history/historyengine.h"

#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <optional>

class QSqlError;
class QSqlQuery;

// The history database: VALUTE.MDB, or a database on a PostgreSQL server. One connection at a time,
// made anew by every open(); the engine behind it does what the two do each their own way.
class HistoryDb
{
public:
    HistoryDb();
    ~HistoryDb();
    HistoryDb(const HistoryDb &) = delete;
    HistoryDb &operator=(const HistoryDb &) = delete;

    // Releases any previous connection first. The location is the file's path or the server's
    // connection URL (see makeHistoryEngine). A missing, unreadable, locked or corrupt file, a server
    // that is down or refuses the login fail here; a database without the table fails at its first
    // query.
    RuntimeError open(const QString &location);
    void close(); // quiet, safe when never opened
    bool isOpen() const;
    QSqlDatabase database() const;
    // The engine of the last open(), null before the first.
    HistoryEngine *engine() const { return m_engine.get(); }
    // Where the history is, as messages show it: the path, or the URL without its password.
    static QString displayName(const QString &location);

    // Starts a transaction that changes records (see HistoryEngine::beginWrite).
    RuntimeError beginWrite();

    // How long a statement waits for another process's lock before failing. Another program may be
    // recording at the same time (the window and a scheduled batch run): a few seconds let the one
    // that comes second wait for the first instead of failing.
    static constexpr int defaultBusyTimeout = 10000;
    void setBusyTimeout(int milliseconds) { m_busyTimeout = milliseconds; }

    // Whether the open connection is to that location and, for a file, to the file now there (not
    // one deleted, moved away or put in its place since it was opened).
    bool isOpenOn(const QString &location) const;
    // The reader of a listing on the open connection.
    std::unique_ptr<ListingReader> listingReader() const;
    // The database's state now: a token equal to a listing's means nothing changed since that
    // listing. None when it cannot be told.
    std::optional<ChangeToken> changeToken() const;

private:
    struct FileId
    {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileId &) const = default;
    };
    static std::optional<FileId> fileId(const QString &path);

    QString m_connection;
    std::unique_ptr<HistoryEngine> m_engine;
    int m_busyTimeout = defaultBusyTimeout;
    qint64 m_opened = 0; // which connection is open, telling tokens of different ones apart
    QString m_location;
    std::optional<FileId> m_file;
};

// True while a transaction is open on the connection. SQLite ends one by itself after some failures
// (a full disk): then there is nothing left to commit or roll back. A server's connection is taken
// to hold its transaction until it is ended.
bool transactionOpen(const QSqlDatabase &db);

// The run-time error shown for a database failure: the engine's own code and text.
RuntimeError databaseError(const QSqlError &error);
// Keeps a failed statement's error and gives false, for the writers' failure paths.
bool keepError(RuntimeError &kept, const QSqlQuery &query);
