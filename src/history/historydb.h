#pragma once

#include "base/runtimeerror.h"

#include <QSqlDatabase>
#include <QString>

class QSqlError;
class QSqlQuery;

// The history database VALUTE.MDB, one QSQLITE connection for the run. The file ships with the
// program: opening never creates it, so a wrong path is reported instead of leaving an empty
// database behind.
class HistoryDb
{
public:
    HistoryDb();
    ~HistoryDb();
    HistoryDb(const HistoryDb &) = delete;
    HistoryDb &operator=(const HistoryDb &) = delete;

    // Releases any previous connection first. A missing, unreadable, locked or corrupt file fails
    // here; a file without the table fails at its first query.
    RuntimeError open(const QString &path);
    void close(); // quiet, safe when never opened
    bool isOpen() const;
    QSqlDatabase database() const;

    // How long a statement waits for another process's lock before failing.
    void setBusyTimeout(int milliseconds) { m_busyTimeout = milliseconds; }

private:
    QString m_connection;
    int m_busyTimeout = 2000;
};

// The run-time error shown for a database failure: the engine's own code and text.
RuntimeError databaseError(const QSqlError &error);
// Keeps a failed statement's error and gives false, for the writers' failure paths.
bool keepError(RuntimeError &kept, const QSqlQuery &query);
