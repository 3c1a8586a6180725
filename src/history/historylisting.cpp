#include "history/historylisting.h"

#include "base/userdialogs.h"
#include "core/recordline.h"
#include "history/historydb.h"

#include <QSqlDriver>
#include <QSqlQuery>
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

QString openFailureText(const RuntimeError &error, const QString &path)
{
    return QStringLiteral("ERRORE IN APERTURA DATABASE !!!") + QStringLiteral("\r\r") +
           QString::number(error.number) + QStringLiteral(" - ") + error.description +
           QStringLiteral("\r\r") + path;
}

QString queryFailureText(const RuntimeError &error)
{
    return QStringLiteral("Errore manca Tabella:  Storico_Quotazioni") + QStringLiteral("\r\n\r\n") +
           QStringLiteral("Database Server assente o scollegato !") + QStringLiteral("\r\n\r\n") +
           error.description;
}

QString readFailureText(const RuntimeError &error)
{
    return QStringLiteral("Errore in lettura file di input  ERR=") + QString::number(error.number) +
           QStringLiteral(" - ") + error.description;
}

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
class ListingQuery
{
public:
    ~ListingQuery() { sqlite3_finalize(m_statement); }

    RuntimeError open(sqlite3 *handle)
    {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        if (!handle)
            return makeError(ErrorNumber::ApplicationDefined);
        if (sqlite3_prepare_v2(handle, kListingQuery.constData(), int(kListingQuery.size()), &m_statement,
                               nullptr) != SQLITE_OK)
            return engineError(handle);
        m_handle = handle;
        return step() ? RuntimeError{} : m_error;
    }

    bool atRecord() const { return m_atRecord; }
    // Moves on; false at the end or on a failure (then error() tells which).
    bool step()
    {
        const int result = sqlite3_step(m_statement);
        m_atRecord = result == SQLITE_ROW;
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            m_error = engineError(m_handle);
        return result == SQLITE_ROW || result == SQLITE_DONE;
    }
    RuntimeError error() const { return m_error; }
    sqlite3_stmt *statement() const { return m_statement; }

    int column(const char *name) const
    {
        for (int i = 0, n = sqlite3_column_count(m_statement); i < n; ++i) {
            if (sqlite3_stricmp(sqlite3_column_name(m_statement, i), name) == 0)
                return i;
        }
        return -1;
    }

private:
    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    bool m_atRecord = false;
    RuntimeError m_error;
};

// Reads the records of an open listing query into the table.
class RecordReader
{
public:
    explicit RecordReader(ListingQuery &query)
        : m_query(query), m_statement(query.statement()), m_code(query.column("Tipo_Valuta")),
          m_date(query.column("Data_Valuta")), m_quote(query.column("Quotazione")),
          m_description(query.column("Descrizione")), m_note(query.column("Note"))
    {}

    // Loads every record that the lookup would reach and keeps the selected currency's lines. On a
    // failure the rows read so far, the failing one included, stay loaded.
    RuntimeError read(const QString &selected, QuoteTable &table, QStringList &lines)
    {
        bool first = true;
        for (; m_query.atRecord(); m_query.step()) {
            QString code;
            if (m_code >= 0) {
                code = m_codes.text(m_statement, m_code);
                // Past the first record only codes above a blank are reached: empty, blank and NULL
                // codes are skipped, neither loaded nor counted.
                if (!first && code.isEmpty())
                    continue;
            }
            first = false;
            QuoteRow row;
            const RuntimeError error = fill(row, code);
            table.append(row);
            if (error.isError())
                return error;
            if (row.Tipo_Valuta == selected && !row.Data_Valuta.isEmpty())
                lines.append(RecordLine::ofRecord(row));
        }
        return m_query.error();
    }

private:
    static RuntimeError missingField()
    {
        return {3265, QStringLiteral("Elemento non trovato in questo insieme.")};
    }

    RuntimeError fill(QuoteRow &row, const QString &code)
    {
        if (m_code < 0)
            return missingField();
        row.Tipo_Valuta = code;
        if (m_date < 0)
            return missingField();
        row.Data_Valuta = m_dates.text(m_statement, m_date);
        if (m_quote < 0)
            return missingField();
        switch (sqlite3_column_type(m_statement, m_quote)) {
        case SQLITE_NULL:
            return makeError(94);
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            row.Quotazione = sqlite3_column_double(m_statement, m_quote);
            break;
        default: {
            // A REAL column keeps text only when it does not look like a number.
            bool ok = false;
            row.Quotazione =
                QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(m_statement, m_quote)))
                    .toDouble(&ok);
            if (!ok)
                return makeError(13);
        }
        }
        if (m_description < 0)
            return missingField();
        row.Descrizione = m_descriptions.text(m_statement, m_description);
        if (m_note < 0)
            return missingField();
        row.Note = m_notes.text(m_statement, m_note);
        return {};
    }

    ListingQuery &m_query;
    sqlite3_stmt *m_statement;
    const int m_code, m_date, m_quote, m_description, m_note;
    RecentTexts m_codes, m_dates, m_descriptions, m_notes;
};

// Sizing the table once keeps a million rows from being copied while it grows.
qsizetype recordCountHint(const QSqlDatabase &db)
{
    QSqlQuery count(db);
    if (count.exec(QStringLiteral("SELECT count(*) FROM Storico_Valute")) && count.next())
        return count.value(0).toLongLong();
    return 0;
}

} // namespace

QString ListingResult::countText() const
{
    return QStringLiteral("Numero records nel Database: ") + QString::number(count);
}

ListingResult HistoryListing::run(HistoryDb &db, const QString &dbPath, const QString &pairSymbol,
                                  QuoteTable &table, UserDialogs &dialogs)
{
    ListingResult result;
    table.clear();

    const RuntimeError openError = db.open(dbPath);
    if (openError.isError()) {
        dialogs.beep();
        dialogs.message(openFailureText(openError, dbPath), {}, UserDialogs::Icon::Critical);
        result.openFailed = true;
        return result;
    }

    sqlite3 *handle = nativeHandle(db.database());
    ListingQuery query;
    for (RuntimeError error = query.open(handle); error.isError(); error = query.open(handle)) {
        if (dialogs.question(queryFailureText(error), {}, UserDialogs::Buttons::RetryCancel) !=
            UserDialogs::Answer::Retry) {
            result.cancelled = true;
            return result;
        }
    }

    table.reserve(recordCountHint(db.database()));
    const RuntimeError readError = RecordReader(query).read(pairSymbol, table, result.lines);
    if (readError.isError()) {
        dialogs.beep();
        dialogs.message(readFailureText(readError));
    }

    result.count = table.QuoteCount();
    dialogs.beep();
    result.selectIndex = result.lines.size() - 1;
    return result;
}
