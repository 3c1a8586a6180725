#include "history/sqliteengine.h"

#include "history/historydb.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <array>
#include <cstring>
#include <sqlite3.h>

namespace {

const QByteArray kListingQuery = QByteArrayLiteral("SELECT * FROM Storico_Valute") + " ORDER BY Data_Valuta";

// A million records repeat a handful of codes and descriptions, and each date a few times in a row:
// the bytes of a field are compared with the few last seen, and an equal one hands out the text
// already made, so the rows share it and no conversion is repeated.
class RecentTexts
{
public:
    QString text(sqlite3_stmt *statement, int column)
    {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        if (!bytes)
            return {};
        const int size = sqlite3_column_bytes(statement, column);
        for (const Slot &slot : m_slots) {
            if (slot.bytes.size() == size && std::memcmp(slot.bytes.constData(), bytes, size_t(size)) == 0)
                return slot.text;
        }
        Slot &slot = m_slots[m_next];
        m_next = (m_next + 1) % m_slots.size();
        slot.bytes = QByteArray(bytes, size);
        slot.text = QString::fromUtf8(slot.bytes).trimmed();
        return slot.text;
    }

private:
    struct Slot
    {
        QByteArray bytes;
        QString text;
    };
    std::array<Slot, 8> m_slots;
    std::size_t m_next = 0;
};

// The connection's own SQLite handle: the listing reads up to a million rows, and going through
// it directly spares a QVariant and a string conversion per field.
sqlite3 *nativeHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

RuntimeError engineError(sqlite3 *handle)
{
    const int code = handle ? sqlite3_errcode(handle) : 0;
    if (code == 0)
        return makeError(ErrorNumber::ApplicationDefined);
    return {code, QString::fromUtf8(sqlite3_errmsg(handle))};
}

// The listing query, stepped onto its first record (or its end) as soon as it is opened.
class SqliteCursor : public RecordCursor
{
public:
    explicit SqliteCursor(const QSqlDatabase &db) : m_handle(nativeHandle(db)) {}
    ~SqliteCursor() override { sqlite3_finalize(m_statement); }

    RuntimeError open() override
    {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        if (!m_handle)
            return makeError(ErrorNumber::ApplicationDefined);
        if (sqlite3_prepare_v2(m_handle, kListingQuery.constData(), int(kListingQuery.size()), &m_statement,
                               nullptr) != SQLITE_OK)
            return engineError(m_handle);
        for (int field = 0; field < FieldCount; ++field)
            m_columns[field] = column(kNames[field]);
        return next() ? RuntimeError{} : m_error;
    }

    bool atRecord() const override { return m_atRecord; }
    bool next() override
    {
        const int result = sqlite3_step(m_statement);
        m_atRecord = result == SQLITE_ROW;
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            m_error = engineError(m_handle);
        return result == SQLITE_ROW;
    }
    RuntimeError error() const override { return m_error; }
    bool hasField(Field field) const override { return m_columns[field] >= 0; }
    QString text(Field field) override { return m_texts[field].text(m_statement, m_columns[field]); }

    RuntimeError quote(double &value) override
    {
        const int column = m_columns[Quote];
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_NULL:
            return makeError(94);
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            value = sqlite3_column_double(m_statement, column);
            return {};
        default: {
            // A REAL column keeps text only when it does not look like a number.
            bool ok = false;
            value = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)))
                        .toDouble(&ok);
            return ok ? RuntimeError{} : makeError(13);
        }
        }
    }

private:
    static constexpr const char *kNames[FieldCount] = {"Tipo_Valuta", "Data_Valuta", "Quotazione",
                                                       "Descrizione", "Note"};

    int column(const char *name) const
    {
        for (int i = 0, n = sqlite3_column_count(m_statement); i < n; ++i) {
            if (sqlite3_stricmp(sqlite3_column_name(m_statement, i), name) == 0)
                return i;
        }
        return -1;
    }

    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    bool m_atRecord = false;
    RuntimeError m_error;
    std::array<int, FieldCount> m_columns{};
    std::array<RecentTexts, FieldCount> m_texts;
};

} // namespace

SqliteEngine::SqliteEngine(const QString &path) : m_path(path) {}

const SqlDialect &SqliteEngine::dialect() const
{
    static const SqlDialect dialect{QStringLiteral("rowid"), QStringLiteral("?"), QStringLiteral("?"),
                                    QStringLiteral("min(%1.rowid)"), QStringLiteral("TEXT")};
    return dialect;
}

RuntimeError SqliteEngine::open(QSqlDatabase &db, int waitMilliseconds)
{
    const QFileInfo info(m_path);
    if (!info.exists())
        return makeError(ErrorNumber::FileNotFound);
    if (!info.isFile())
        return makeError(ErrorNumber::PathFileAccess);

    // mode=rw: SQLite would otherwise create a missing file between our check and the open.
    QUrl uri = QUrl::fromLocalFile(info.absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=rw"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(waitMilliseconds));
    if (!db.open())
        return databaseError(db.lastError());
    // SQLite reads the file lazily: touch the schema now so that a damaged or locked file is an
    // opening failure, not a surprise in the middle of a listing.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return databaseError(probe.lastError());
    return {};
}

RuntimeError SqliteEngine::beginWrite(QSqlDatabase &db)
{
    // The write lock is taken at once, so that another program's change waits for this one to end
    // (within the busy time-out) instead of failing when it comes to write after its lookup. It covers
    // the whole file: no pair needs a lock of its own.
    QSqlQuery begin(db);
    if (begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return {};
    return databaseError(begin.lastError());
}

std::unique_ptr<RecordCursor> SqliteEngine::listing(const QSqlDatabase &db)
{
    return std::make_unique<SqliteCursor>(db);
}
