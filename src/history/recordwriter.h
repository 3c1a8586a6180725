#pragma once

#include "base/runtimeerror.h"
#include "core/quotetable.h"
#include "history/historyengine.h"

#include <QSqlDatabase>
#include <memory>

// Stores a quote row as the record of its currency and day: the first record with the same
// Tipo_Valuta and Data_Valuta is overwritten, otherwise a new one is added. Values are always
// bound, never pasted into the SQL, so an apostrophe is just a character. The statements are
// prepared on the first write and reused, on the engine's own statements (SQLite's handle for a
// file); transactions are the caller's business.
class HistoryDb;

class RecordWriter
{
public:
    explicit RecordWriter(const HistoryDb &db);

    // Texts are stored trimmed. On failure lastError() tells why and the row is not stored.
    bool write(const QuoteRow &row);
    RuntimeError lastError() const { return m_error; }

    // The lookup as the user reads it in messages, values filled in as they are.
    static QString lookupQuery(const QString &code, const QString &date);

    // A text field as it is stored: trimmed, and never NULL. A NULL code or date would escape the
    // lookup of its currency and day, so that every new recording of it would add one more record.
    static QString storedText(const QString &text);

private:
    bool prepare();

    bool fail(const EngineStatement &statement);

    QSqlDatabase m_db;
    HistoryEngine *m_engine;
    SqlDialect m_dialect;
    std::unique_ptr<EngineStatement> m_lookup;
    std::unique_ptr<EngineStatement> m_update;
    std::unique_ptr<EngineStatement> m_insert;
    bool m_prepared = false;
    RuntimeError m_error;
};
