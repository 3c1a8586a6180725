#include "historylisting.h"

#include "historydb.h"
#include "recordlist.h"
#include "userdialogs.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <array>

namespace {

const QString kListingQuery =
    QStringLiteral("SELECT * FROM Storico_Valute") + QStringLiteral(" ORDER BY Data_Valuta");

// A million records repeat a handful of codes and descriptions, and each date a few times in a row:
// handing out an equal string read earlier lets the new copy go, so they share one buffer.
class RecentStrings
{
public:
    QString share(QString text)
    {
        for (const QString &known : m_slots) {
            if (known.size() == text.size() && known == text)
                return known;
        }
        m_slots[m_next] = text;
        m_next = (m_next + 1) % m_slots.size();
        return text;
    }

private:
    std::array<QString, 8> m_slots;
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

// Reads the records of an open listing query into the table.
class RecordReader
{
public:
    RecordReader(QSqlQuery &query) : m_query(query)
    {
        const QSqlRecord record = query.record();
        m_code = record.indexOf(QStringLiteral("Tipo_Valuta"));
        m_date = record.indexOf(QStringLiteral("Data_Valuta"));
        m_quote = record.indexOf(QStringLiteral("Quotazione"));
        m_description = record.indexOf(QStringLiteral("Descrizione"));
        m_note = record.indexOf(QStringLiteral("Note"));
    }

    // Loads every record that the lookup would reach and keeps the selected currency's lines. On a
    // failure the rows read so far, the failing one included, stay loaded.
    RuntimeError read(const QString &selected, QuoteTable &table, QStringList &lines)
    {
        bool first = true;
        while (m_query.next()) {
            QVariant code;
            if (m_code >= 0) {
                code = m_query.value(m_code);
                // Past the first record only codes above a blank are reached: empty, blank and NULL
                // codes are skipped, neither loaded nor counted.
                if (!first && (code.isNull() || code.toString().trimmed().isEmpty()))
                    continue;
            }
            first = false;
            QuoteRow row;
            const RuntimeError error = fill(row, code);
            table.append(row);
            if (error.isError())
                return error;
            if (row.Tipo_Valuta == selected && !row.Data_Valuta.isEmpty())
                lines.append(recordListLine(row));
        }
        if (m_query.lastError().isValid())
            return databaseError(m_query.lastError());
        return {};
    }

private:
    static RuntimeError missingField()
    {
        return {3265, QStringLiteral("Elemento non trovato in questo insieme.")};
    }

    QString text(int index, RecentStrings &recent) const
    {
        const QVariant value = m_query.value(index);
        return value.isNull() ? QString() : recent.share(value.toString().trimmed());
    }

    RuntimeError fill(QuoteRow &row, const QVariant &code)
    {
        if (m_code < 0)
            return missingField();
        row.Tipo_Valuta = code.isNull() ? QString() : m_codes.share(code.toString().trimmed());
        if (m_date < 0)
            return missingField();
        row.Data_Valuta = text(m_date, m_dates);
        if (m_quote < 0)
            return missingField();
        const QVariant quote = m_query.value(m_quote);
        if (quote.isNull())
            return makeError(94);
        bool ok = false;
        row.Quotazione = quote.toDouble(&ok);
        if (!ok)
            return makeError(13);
        if (m_description < 0)
            return missingField();
        row.Descrizione = text(m_description, m_descriptions);
        if (m_note < 0)
            return missingField();
        row.Note = text(m_note, m_notes);
        return {};
    }

    QSqlQuery &m_query;
    int m_code, m_date, m_quote, m_description, m_note;
    RecentStrings m_codes, m_dates, m_descriptions, m_notes;
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

QString HistoryListing::selectedCode(const QString &combo1Text)
{
    return combo1Text.trimmed().left(7);
}

ListingResult HistoryListing::run(HistoryDb &db, const QString &dbPath, const QString &combo1Text,
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

    QSqlQuery query(db.database());
    query.setForwardOnly(true);
    while (!query.exec(kListingQuery)) {
        const RuntimeError error = databaseError(query.lastError());
        if (dialogs.question(queryFailureText(error), {}, UserDialogs::Buttons::RetryCancel) !=
            UserDialogs::Answer::Retry) {
            result.cancelled = true;
            return result;
        }
    }
    ReportError(dialogs);

    table.reserve(recordCountHint(db.database()));
    const RuntimeError readError = RecordReader(query).read(selectedCode(combo1Text), table, result.lines);
    if (readError.isError()) {
        dialogs.beep();
        dialogs.message(readFailureText(readError));
    }
    query.finish();

    result.count = table.QuoteCount();
    dialogs.beep();
    result.selectIndex = result.lines.size() - 1;
    return result;
}
