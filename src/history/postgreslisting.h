#pragma once

#include "history/listingreader.h"

#include <QSqlDatabase>
#include <memory>

typedef struct pg_conn PGconn;

// The listing of a history on a PostgreSQL server, through libpq on the driver's own connection and
// inside one read-only repeatable-read transaction, so that the count, the check and the pair's
// records see the same records. The records' order is Data_Valuta's with a missing date first (as
// SQLite sorts it), then the order they are stored in (ctid). A table that is not as the schema
// ships it (a field missing or of another type) is read record by record through the fallback.
class PostgresListingReader final : public ListingReader
{
public:
    // connection: HistoryDb's number of the connection db is. fallback: the reader record by record.
    PostgresListingReader(const QSqlDatabase &db, qint64 connection, std::unique_ptr<ListingReader> fallback);
    ~PostgresListingReader() override;
    PostgresListingReader(const PostgresListingReader &) = delete;
    PostgresListingReader &operator=(const PostgresListingReader &) = delete;

    RuntimeError open() override;
    // Reads every listing whole: the server's snapshot cannot tell this program's own changes from
    // others', so there is no earlier listing to bring up to date.
    ListingSnapshot read(const QString &pair, const QuoteFormat &format,
                         const ListingSnapshot *previous) override;
    std::optional<ChangeToken> changeToken() const override;

    // The server's state now, comparable with a listing's token; none inside a transaction (whose own
    // changes the server's snapshot does not tell) or without a working connection.
    static std::optional<ChangeToken> currentToken(const QSqlDatabase &db, qint64 connection);

private:
    void end();

    PGconn *m_conn;
    qint64 m_connection;
    bool m_began = false;     // the listing's own transaction
    bool m_savepoint = false; // within the program's transaction
    std::optional<ChangeToken> m_token;
    std::unique_ptr<ListingReader> m_fallback;
    bool m_usesFallback = false;
};
