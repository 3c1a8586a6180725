#include "history/historydb.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

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
    if (text.isEmpty())
        text = runtimeErrorText(number);
    return {number, text};
}

bool keepError(RuntimeError &kept, const QSqlQuery &query)
{
    kept = databaseError(query.lastError());
    return false;
}

HistoryDb::HistoryDb() : m_connection(nextConnectionName()) {}

HistoryDb::~HistoryDb()
{
    close();
}

RuntimeError HistoryDb::open(const QString &path)
{
    close();
    const QFileInfo info(path);
    if (!info.exists())
        return makeError(ErrorNumber::FileNotFound);
    if (!info.isFile())
        return makeError(ErrorNumber::PathFileAccess);

    RuntimeError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        // mode=rw: SQLite would otherwise create a missing file between our check and the open.
        QUrl uri = QUrl::fromLocalFile(info.absoluteFilePath());
        uri.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeout));
        if (!db.open()) {
            error = databaseError(db.lastError());
        } else {
            // SQLite reads the file lazily: touch the schema now so that a damaged or locked file is
            // an opening failure, not a surprise in the middle of a listing.
            QSqlQuery probe(db);
            if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
                error = databaseError(probe.lastError());
        }
    }
    if (error.isError())
        close();
    return error;
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
