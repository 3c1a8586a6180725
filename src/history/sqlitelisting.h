#pragma once

#include "history/listingreader.h"

#include <vector>

struct sqlite3;

// The records whose quote a listing cannot read: NULL, or a text or blob the column could not make a
// number of (SQLite orders both after every number; the "+" keeps the column's affinity out of the
// comparison). The listing's check and the partial index that answers it share this text, since
// SQLite reads a partial index only for a query whose condition repeats the index's word for word.
inline constexpr char kUnreadableQuoteCondition[] = "Quotazione IS NULL OR +Quotazione > 9e999";
inline constexpr char kUnreadableQuoteIndex[] = "Storico_Valute_Quotazione_Illeggibile";

// The records of the history this program's connection has changed, as SQLite tells each change:
// the next listing reads only those again. Positions count every change ever noted; a long run of
// changes is forgotten as a whole, and a listing that needs it then reads everything.
class SqliteChangeLog
{
public:
    // Starts noting the connection's changes (replacing whatever watched them before).
    void watch(sqlite3 *db);
    qint64 position() const { return m_forgotten + qint64(m_rowids.size()); }
    // The rowids changed since a position, false when they are no longer known.
    bool changedSince(qint64 position, std::vector<qint64> &rowids) const;
    // Nothing before the position is asked for again.
    void forgetBefore(qint64 position);

private:
    static void note(void *log, int operation, const char *database, const char *table, long long rowid);

    static constexpr size_t kLimit = 4 * 1024 * 1024;
    std::vector<qint64> m_rowids;
    qint64 m_forgotten = 0;
};

// The listing of an SQLite history, on the connection's own handle and inside one read
// transaction. The records' order is Data_Valuta's, then the order they were stored in (rowid),
// as a sort of the whole table would give them.
class SqliteListingReader final : public ListingReader
{
public:
    // connection: HistoryDb's number of the connection that handle belongs to; log: its changes.
    SqliteListingReader(sqlite3 *db, qint64 connection, SqliteChangeLog *log);
    ~SqliteListingReader() override;
    SqliteListingReader(const SqliteListingReader &) = delete;
    SqliteListingReader &operator=(const SqliteListingReader &) = delete;

    RuntimeError open() override;
    ListingSnapshot read(const QString &pair, const QuoteFormat &format,
                         const ListingSnapshot *previous) override;

    std::optional<ChangeToken> changeToken() const override { return m_token; }

private:
    void end();

    sqlite3 *m_db;
    qint64 m_connection;
    SqliteChangeLog *m_log;
    bool m_began = false;
    ChangeToken m_token;
    qint64 m_schemaVersion = 0;
    // Which of Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note the table has.
    bool m_hasField[5] = {};
};
