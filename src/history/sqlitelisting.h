#pragma once

#include "history/listingreader.h"

struct sqlite3;

// The listing of an SQLite history, on the connection's own handle and inside one read
// transaction. The records' order is Data_Valuta's, then the order they were stored in (rowid),
// as a sort of the whole table would give them.
class SqliteListingReader final : public ListingReader
{
public:
    // connection: HistoryDb's number of the connection that handle belongs to.
    SqliteListingReader(sqlite3 *db, qint64 connection);
    ~SqliteListingReader() override;
    SqliteListingReader(const SqliteListingReader &) = delete;
    SqliteListingReader &operator=(const SqliteListingReader &) = delete;

    RuntimeError open() override;
    ListingSnapshot read(const QString &pair, const QuoteFormat &format) override;

    std::optional<ChangeToken> changeToken() const override { return m_token; }

private:
    class Reading;
    void end();

    sqlite3 *m_db;
    qint64 m_connection;
    bool m_began = false;
    ChangeToken m_token;
    // Which of Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note the table has.
    bool m_hasField[5] = {};
};
