#include "history/historydb.h"

#include <QAtomicInt>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace {

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("HistoryDb-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
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
    if (error.isError())
        close();
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
