#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A real PostgreSQL server of the test's own: a fresh cluster in a temporary folder that listens only on
// a unix socket in that folder (no TCP port), so tests running side by side never meet. Run as root, the
// server runs as the unprivileged "postgres" account that Debian's package creates, since the server
// refuses root. The server is stopped and the folder removed when the object goes; should the test
// process die first, a watchdog does both.
class PgServer
{
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    // Makes the cluster and starts the server; false, with errorText(), when either fails.
    bool start();
    // Stops the server (the cluster stays, start() runs it again); quiet when it is not running.
    void stop();
    bool isRunning() const { return m_running; }
    QString errorText() const { return m_error; }

    // Runs SQL through psql (stopping at the first error) as the cluster's superuser; output is what
    // psql printed, one line per row and fields joined by '|'.
    bool psql(const QString &database, const QString &sql, QString *output = nullptr);
    bool psqlFile(const QString &database, const QString &file);
    // A new, empty database; with a schema file, loaded from it as a user would.
    bool createDatabase(const QString &name, const QString &schemaFile = {});
    bool dropDatabase(const QString &name);
    // Ends every session connected to the database, as a server restart or a dropped line would.
    bool terminateSessions(const QString &database);

    QString socketFolder() const;
    // The connection URL of a database, e.g. postgresql://quotazioni@/db?host=/tmp/pg-xxxx
    QString url(const QString &database) const;
    static QString superUser() { return QStringLiteral("quotazioni"); }
    // The folder of initdb, pg_ctl and psql: the newest version installed.
    static QString binFolder();

private:
    bool run(const QString &program, const QStringList &arguments, bool asServerUser,
             QString *output = nullptr);
    void startWatchdog();
    void stopWatchdog();

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_bin;
    QString m_error;
    bool m_initialised = false;
    bool m_running = false;
    qint64 m_watchdog = 0;
};
