#pragma once

#include "history/historyengine.h"
#include "history/sqlitelisting.h"

// The history in an SQLite file, VALUTE.MDB. The file ships with the program: opening never creates
// it, so a wrong path is reported instead of leaving an empty database behind. The listing and the
// writers' statements run on the connection's own SQLite handle.
class SqliteEngine : public HistoryEngine
{
public:
    explicit SqliteEngine(const QString &path);

    QString displayName() const override { return m_path; }
    QString driverName() const override { return QStringLiteral("QSQLITE"); }
    QString filePath() const override { return m_path; }
    RuntimeError open(QSqlDatabase &db, int waitMilliseconds) override;
    const SqlDialect &dialect() const override;
    RuntimeError beginWrite(QSqlDatabase &db) override;
    std::unique_ptr<ListingReader> listingReader(const QSqlDatabase &db, qint64 connection) override;
    std::optional<ChangeToken> changeToken(const QSqlDatabase &db, qint64 connection) override;
    std::unique_ptr<EngineStatement> statement(const QSqlDatabase &db) override;

private:
    QString m_path;
    SqliteChangeLog m_changes; // of the open connection
};
