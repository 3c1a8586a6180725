#include "history/historydb.h"

#include <QAtomicInt>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("HistoryDb-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

qint64 nextOpening()
{
    static QAtomicInteger<qint64> counter;
    return counter.fetchAndAddRelaxed(1) + 1;
}

} // namespace

RuntimeError databaseError(const QSqlError &error)
{
    bool ok = false;
    int number = error.nativeErrorCode().toInt(&ok);
    if (!ok || number == 0)
        number = ErrorNumber::ApplicationDefined;
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.driverText();
    // A server's message comes as libpq gives it: severity first, then the statement, a caret and
    // the error code on lines of their own. The message line is what the user needs.
    text = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    for (const QLatin1String severity : {QLatin1String("ERROR:  "), QLatin1String("FATAL:  ")}) {
        if (text.startsWith(severity))
            text = text.mid(severity.size());
    }
    if (text.isEmpty())
        text = runtimeErrorText(number);
    return {number, text};
}

bool keepError(RuntimeError &kept, const QSqlQuery &query)
{
    kept = databaseError(query.lastError());
    return false;
}

bool transactionOpen(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return db.isOpen();
    sqlite3 *native = *static_cast<sqlite3 *const *>(handle.constData());
    return native && sqlite3_get_autocommit(native) == 0;
}

HistoryDb::HistoryDb() : m_connection(nextConnectionName()) {}

HistoryDb::~HistoryDb()
{
    close();
}

QString HistoryDb::displayName(const QString &location)
{
    const std::unique_ptr<HistoryEngine> engine = makeHistoryEngine(location);
    // A URL that cannot be read may hold a password anywhere: show none of it.
    return engine ? engine->displayName() : QStringLiteral("postgresql://");
}

RuntimeError HistoryDb::open(const QString &location)
{
    close();
    QString reason;
    m_engine = makeHistoryEngine(location, &reason);
    if (!m_engine)
        return {ErrorNumber::ApplicationDefined, reason};

    RuntimeError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_engine->driverName(), m_connection);
        if (!db.isValid())
            error = {ErrorNumber::ApplicationDefined,
                     QStringLiteral("driver %1 non disponibile").arg(m_engine->driverName())};
        else
            error = m_engine->open(db, m_busyTimeout);
    }
    if (error.isError()) {
        close();
    } else {
        m_opened = nextOpening();
        m_location = location;
        if (!m_engine->filePath().isEmpty())
            m_file = fileId(m_engine->filePath());
    }
    return error;
}

RuntimeError HistoryDb::beginWrite()
{
    QSqlDatabase db = database();
    if (!m_engine || !db.isOpen())
        return {ErrorNumber::ApplicationDefined, runtimeErrorText(ErrorNumber::ApplicationDefined)};
    return m_engine->beginWrite(db);
}

void HistoryDb::close()
{
    m_opened = 0;
    m_location.clear();
    m_file.reset();
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool HistoryDb::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && QSqlDatabase::database(m_connection, false).isOpen();
}

QSqlDatabase HistoryDb::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

std::optional<HistoryDb::FileId> HistoryDb::fileId(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileId{quint64(info.st_dev), quint64(info.st_ino)};
}

bool HistoryDb::isOpenOn(const QString &location) const
{
    if (m_opened == 0 || location != m_location || !isOpen())
        return false;
    const QString path = m_engine->filePath();
    return path.isEmpty() || (m_file && fileId(path) == m_file);
}

std::unique_ptr<ListingReader> HistoryDb::listingReader() const
{
    return m_engine->listingReader(database(), m_opened);
}

std::optional<ChangeToken> HistoryDb::changeToken() const
{
    if (m_opened == 0)
        return std::nullopt;
    return m_engine->changeToken(database(), m_opened);
}
