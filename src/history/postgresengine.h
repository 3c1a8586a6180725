#pragma once

#include "history/databaseurl.h"
#include "history/historyengine.h"

// The history in a PostgreSQL database, through Qt's QPSQL driver. The table is loaded from the
// schema that ships with the program, never created here. Programs that change records take turns
// on a transaction-scoped advisory lock, as they do on an SQLite file's write lock, so that a lookup
// and the insert that follows it cannot interleave with another program's: one record per pair and
// day. The listing has a reader of its own on the driver's connection (see PostgresListingReader); a
// table not as shipped is read with a forward-only query, row by row, as the rows arrive.
class PostgresEngine : public HistoryEngine
{
public:
    explicit PostgresEngine(const DatabaseUrl &url);

    QString displayName() const override { return m_url.displayText; }
    QString driverName() const override { return QStringLiteral("QPSQL"); }
    RuntimeError open(QSqlDatabase &db, int waitMilliseconds) override;
    const SqlDialect &dialect() const override;
    RuntimeError beginWrite(QSqlDatabase &db) override;
    std::unique_ptr<RecordCursor> listing(const QSqlDatabase &db) override;
    std::unique_ptr<ListingReader> listingReader(const QSqlDatabase &db, qint64 connection) override;
    std::optional<ChangeToken> changeToken(const QSqlDatabase &db, qint64 connection) override;

private:
    DatabaseUrl m_url;
};
