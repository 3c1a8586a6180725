#include "history/historylisting.h"

#include "base/userdialogs.h"
#include "core/recordline.h"
#include "history/historydb.h"

#include <QSqlQuery>

namespace {

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

// Reads the records of an open listing query into the table.
class RecordReader
{
public:
    explicit RecordReader(RecordCursor &cursor) : m_cursor(cursor) {}

    // Loads every record that the lookup would reach and keeps the selected currency's lines. On a
    // failure the rows read so far, the failing one included, stay loaded.
    RuntimeError read(const QString &selected, QuoteTable &table, QStringList &lines)
    {
        bool first = true;
        for (; m_cursor.atRecord(); m_cursor.next()) {
            QString code;
            if (m_cursor.hasField(RecordCursor::Code)) {
                code = m_cursor.text(RecordCursor::Code);
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
        return m_cursor.error();
    }

private:
    static RuntimeError missingField()
    {
        return {3265, QStringLiteral("Elemento non trovato in questo insieme.")};
    }

    RuntimeError fill(QuoteRow &row, const QString &code)
    {
        if (!m_cursor.hasField(RecordCursor::Code))
            return missingField();
        row.Tipo_Valuta = code;
        if (!m_cursor.hasField(RecordCursor::Date))
            return missingField();
        row.Data_Valuta = m_cursor.text(RecordCursor::Date);
        if (!m_cursor.hasField(RecordCursor::Quote))
            return missingField();
        if (const RuntimeError error = m_cursor.quote(row.Quotazione); error.isError())
            return error;
        if (!m_cursor.hasField(RecordCursor::Description))
            return missingField();
        row.Descrizione = m_cursor.text(RecordCursor::Description);
        if (!m_cursor.hasField(RecordCursor::Note))
            return missingField();
        row.Note = m_cursor.text(RecordCursor::Note);
        return {};
    }

    RecordCursor &m_cursor;
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

ListingResult HistoryListing::run(HistoryDb &db, const QString &location, const QString &pairSymbol,
                                  QuoteTable &table, UserDialogs &dialogs)
{
    ListingResult result;
    table.clear();

    const RuntimeError openError = db.open(location);
    if (openError.isError()) {
        dialogs.beep();
        dialogs.message(openFailureText(openError, HistoryDb::displayName(location)), {},
                        UserDialogs::Icon::Critical);
        result.openFailed = true;
        return result;
    }

    // Before the listing query: a server's connection runs one query at a time.
    table.reserve(recordCountHint(db.database()));
    const std::unique_ptr<RecordCursor> query = db.engine()->listing(db.database());
    for (RuntimeError error = query->open(); error.isError(); error = query->open()) {
        if (dialogs.question(queryFailureText(error), {}, UserDialogs::Buttons::RetryCancel) !=
            UserDialogs::Answer::Retry) {
            result.cancelled = true;
            return result;
        }
    }

    const RuntimeError readError = RecordReader(*query).read(pairSymbol, table, result.lines);
    if (readError.isError()) {
        dialogs.beep();
        dialogs.message(readFailureText(readError));
    }

    result.count = table.QuoteCount();
    dialogs.beep();
    result.selectIndex = result.lines.size() - 1;
    return result;
}
