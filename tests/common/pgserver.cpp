#include "common/pgserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QVersionNumber>
#include <csignal>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The account Debian's postgresql package makes for its own servers.
const char kServerAccount[] = "postgres";
const int kPort = 5432;

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// The caller's own PG* variables (PGHOST, PGPORT, PGDATA...) must not steer the test's server or its
// psql elsewhere.
QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        if (name.startsWith(QLatin1String("PG")))
            environment.remove(name);
    }
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return environment;
}

} // namespace

PgServer::PgServer() : m_bin(binFolder()) {}

PgServer::~PgServer()
{
    stop();
    stopWatchdog();
}

QString PgServer::binFolder()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QString best;
    QVersionNumber bestVersion;
    for (const QString &entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QVersionNumber version = QVersionNumber::fromString(entry);
        if (!version.isNull() && QFileInfo::exists(root.filePath(entry + QStringLiteral("/bin/initdb"))) &&
            version > bestVersion) {
            bestVersion = version;
            best = root.filePath(entry + QStringLiteral("/bin"));
        }
    }
    return best;
}

QString PgServer::socketFolder() const
{
    return m_folder ? m_folder->path() : QString();
}

QString PgServer::url(const QString &database) const
{
    return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4")
        .arg(superUser(), database, socketFolder())
        .arg(kPort);
}

bool PgServer::run(const QString &program, const QStringList &arguments, bool asServerUser, QString *output)
{
    QProcess process;
    process.setProcessEnvironment(cleanEnvironment());
    process.setWorkingDirectory(socketFolder());
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (asServerUser && runningAsRoot()) {
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QString::fromLatin1(kServerAccount),
                                  QStringLiteral("--"), program} +
                          arguments);
    } else {
        process.start(program, arguments);
    }
    const bool finished = process.waitForFinished(120000);
    const QString printed = QString::fromLocal8Bit(process.readAll());
    if (output)
        *output = printed.trimmed();
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    m_error = QFileInfo(program).fileName() + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) +
              QStringLiteral(": ") + (finished ? printed.trimmed() : process.errorString());
    if (!finished)
        process.kill();
    return false;
}

bool PgServer::start()
{
    if (m_running)
        return true;
    if (m_bin.isEmpty()) {
        m_error = QStringLiteral("PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb): "
                                 "run scripts/setup.sh");
        return false;
    }
    if (!m_initialised) {
        m_folder =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quotazioni-pg-XXXXXX"));
        if (!m_folder->isValid()) {
            m_error = QStringLiteral("cannot make a temporary folder: ") + m_folder->errorString();
            return false;
        }
        const QByteArray socketPath =
            QFile::encodeName(socketFolder()) + "/.s.PGSQL." + QByteArray::number(kPort);
        if (size_t(socketPath.size()) >= sizeof(sockaddr_un{}.sun_path) ||
            socketFolder().contains(QLatin1Char('\''))) {
            m_error =
                QStringLiteral("the temporary folder cannot hold the server's socket: ") + socketFolder();
            return false;
        }
        if (runningAsRoot()) {
            const passwd *account = ::getpwnam(kServerAccount);
            if (!account) {
                m_error =
                    QStringLiteral("no \"postgres\" account to run the server as: run scripts/setup.sh");
                return false;
            }
            if (::chown(QFile::encodeName(socketFolder()).constData(), account->pw_uid, account->pw_gid) !=
                0) {
                m_error = QStringLiteral("cannot hand the temporary folder to the postgres account");
                return false;
            }
        }
        // Only the folder's owner (and root) can reach the socket, so every local login is trusted.
        if (!run(m_bin + QStringLiteral("/initdb"),
                 {QStringLiteral("-D"), socketFolder() + QStringLiteral("/data"), QStringLiteral("-U"),
                  superUser(), QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
                 true))
            return false;
        m_initialised = true;
    }
    // Durability is not what a test checks: no fsync keeps the runs quick.
    const QString options =
        QStringLiteral("-c listen_addresses= -c unix_socket_directories='%1' -p %2 -c fsync=off")
            .arg(socketFolder())
            .arg(kPort);
    if (!run(m_bin + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), socketFolder() + QStringLiteral("/data"), QStringLiteral("-l"),
              socketFolder() + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("-o"),
              options, QStringLiteral("start")},
             true)) {
        QFile log(socketFolder() + QStringLiteral("/server.log"));
        if (log.open(QIODevice::ReadOnly))
            m_error += QLatin1Char('\n') + QString::fromLocal8Bit(log.readAll());
        return false;
    }
    m_running = true;
    if (!m_watchdog)
        startWatchdog();
    return true;
}

void PgServer::stop()
{
    if (!m_running)
        return;
    run(m_bin + QStringLiteral("/pg_ctl"),
        {QStringLiteral("-D"), socketFolder() + QStringLiteral("/data"), QStringLiteral("-w"),
         QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("stop")},
        true);
    m_running = false;
}

// A process of its own that outlives a crashed or killed test, then stops the server and removes the
// folder; the test ends it when it stops the server itself.
void PgServer::startWatchdog()
{
    const QString stopAs =
        runningAsRoot() ? QStringLiteral("runuser -u %1 -- ").arg(QLatin1String(kServerAccount)) : QString();
    const QString script = QStringLiteral("while kill -0 \"$1\" 2>/dev/null; do sleep 1; done; ") + stopAs +
                           QStringLiteral("\"$2/pg_ctl\" -D \"$3/data\" -m immediate stop; rm -rf \"$3\"");
    QProcess watchdog;
    watchdog.setProgram(QStringLiteral("/bin/sh"));
    watchdog.setArguments({QStringLiteral("-c"), script, QStringLiteral("pgserver-watchdog"),
                           QString::number(QCoreApplication::applicationPid()), m_bin, socketFolder()});
    watchdog.setProcessEnvironment(cleanEnvironment());
    // Holding the test's output open would keep CTest waiting for it.
    watchdog.setStandardInputFile(QProcess::nullDevice());
    watchdog.setStandardOutputFile(QProcess::nullDevice());
    watchdog.setStandardErrorFile(QProcess::nullDevice());
    watchdog.startDetached(&m_watchdog);
}

void PgServer::stopWatchdog()
{
    if (m_watchdog > 0)
        ::kill(pid_t(m_watchdog), SIGTERM);
    m_watchdog = 0;
}

bool PgServer::psql(const QString &database, const QString &sql, QString *output)
{
    return run(m_bin + QStringLiteral("/psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
                QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), socketFolder(),
                QStringLiteral("-p"), QString::number(kPort), QStringLiteral("-U"), superUser(),
                QStringLiteral("-d"), database, QStringLiteral("-c"), sql},
               false, output);
}

bool PgServer::psqlFile(const QString &database, const QString &file)
{
    return run(m_bin + QStringLiteral("/psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), socketFolder(), QStringLiteral("-p"),
                QString::number(kPort), QStringLiteral("-U"), superUser(), QStringLiteral("-d"), database,
                QStringLiteral("-f"), file},
               false);
}

bool PgServer::createDatabase(const QString &name, const QString &schemaFile)
{
    if (!psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(name)))
        return false;
    return schemaFile.isEmpty() || psqlFile(name, schemaFile);
}

bool PgServer::dropDatabase(const QString &name)
{
    return psql(QStringLiteral("postgres"),
                QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(name));
}

bool PgServer::terminateSessions(const QString &database)
{
    return psql(QStringLiteral("postgres"),
                QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                               "WHERE datname = '%1' AND pid <> pg_backend_pid()")
                    .arg(database));
}
