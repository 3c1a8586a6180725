#include "history/newdaysrecording.h"

#include "base/userdialogs.h"
#include "history/historydb.h"
#include "history/historyfiles.h"
#include "history/historyrecording.h"
#include "history/recordwriter.h"

#include <QDate>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr qint64 progressInterval = 256; // days
constexpr int rowsPerStatement = 64;

QString insertStatement(int rows)
{
    QString sql =
        QStringLiteral("INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note) "
                       "VALUES (?, ?, ?, ?, ?)");
    for (int i = 1; i < rows; ++i)
        sql += QStringLiteral(", (?, ?, ?, ?, ?)");
    return sql;
}

// The rows that are new: not stored yet, and not given before in the list (rows come in date
// order, so a repeated pair and day stands within its day). A failing lookup leaves its error and
// gives nothing.
std::optional<QList<QuoteRow>> newRows(const QList<QuoteRow> &rows, const QSqlDatabase &database,
                                       RuntimeError &error, QString &failedQuery)
{
    struct Span
    {
        QString first, last;
    };
    QHash<QString, Span> spans;
    for (const QuoteRow &row : rows) {
        const QString code = RecordWriter::storedText(row.Tipo_Valuta);
        const QString date = RecordWriter::storedText(row.Data_Valuta);
        auto span = spans.find(code);
        if (span == spans.end()) {
            spans.insert(code, {date, date});
        } else {
            span->first = std::min(span->first, date);
            span->last = std::max(span->last, date);
        }
    }

    QHash<QString, QStringList> stored; // per code, its days in the span
    QSqlQuery lookup(database);
    lookup.setForwardOnly(true);
    if (!lookup.prepare(QStringLiteral("SELECT Data_Valuta FROM Storico_Valute WHERE Tipo_Valuta = ? "
                                       "AND Data_Valuta >= ? AND Data_Valuta <= ?"))) {
        keepError(error, lookup);
        return std::nullopt;
    }
    for (auto span = spans.cbegin(); span != spans.cend(); ++span) {
        lookup.bindValue(0, span.key());
        lookup.bindValue(1, span->first);
        lookup.bindValue(2, span->last);
        if (!lookup.exec()) {
            keepError(error, lookup);
            failedQuery = RecordWriter::lookupQuery(span.key(), span->last);
            return std::nullopt;
        }
        QStringList &days = stored[span.key()];
        while (lookup.next())
            days.append(lookup.value(0).toString());
        lookup.finish();
        std::sort(days.begin(), days.end()); // our order, whatever the engine's collation
    }

    QList<QuoteRow> fresh;
    fresh.reserve(rows.size());
    for (const QuoteRow &row : rows) {
        const QString code = RecordWriter::storedText(row.Tipo_Valuta);
        const QString date = RecordWriter::storedText(row.Data_Valuta);
        const QStringList &days = stored[code];
        if (std::binary_search(days.cbegin(), days.cend(), date))
            continue;
        bool repeated = false;
        for (qsizetype i = fresh.size() - 1; i >= 0 && !repeated; --i) {
            if (RecordWriter::storedText(fresh.at(i).Data_Valuta) != date)
                break;
            repeated = RecordWriter::storedText(fresh.at(i).Tipo_Valuta) == code;
        }
        if (!repeated)
            fresh.append(row);
    }
    return fresh;
}

} // namespace

NewDaysRecording::Newest NewDaysRecording::newestStoredDay(HistoryDb &db, const QString &code,
                                                           UserDialogs &dialogs)
{
    // Only well-formed days count: files imported long ago may hold other texts in the field.
    QSqlQuery query(db.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT Data_Valuta FROM Storico_Valute WHERE Tipo_Valuta = ? "
                                 "ORDER BY Data_Valuta DESC"));
    query.addBindValue(RecordWriter::storedText(code));
    if (!query.exec()) {
        dialogs.message(HistoryRecording::recordFailureMessage(
            databaseError(query.lastError()).description,
            QStringLiteral("select Data_Valuta from Storico_Valute where Tipo_Valuta = '") + code +
                QStringLiteral("' order by Data_Valuta desc")));
        return {false, std::nullopt};
    }
    while (query.next()) {
        const QString day = query.value(0).toString();
        if (QDate::fromString(day, QStringLiteral("yyyyMMdd")).isValid())
            return {true, day};
    }
    return {};
}

bool NewDaysRecording::isStored(HistoryDb &db, const QString &code, const QString &date)
{
    QSqlQuery query(db.database());
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT 1 FROM Storico_Valute WHERE Tipo_Valuta = ? AND Data_Valuta = ? LIMIT 1"));
    query.addBindValue(RecordWriter::storedText(code));
    query.addBindValue(RecordWriter::storedText(date));
    return query.exec() && query.next();
}

NewDaysRecording::Result NewDaysRecording::run(const QList<QuoteRow> &rows, const QString &historyFileName,
                                               HistoryDb &db, UserDialogs &dialogs, const Progress &progress)
{
    Result result;
    const QString textName = historyFileName.trimmed();
    if (textName.isEmpty()) {
        dialogs.message(QStringLiteral("Indicare il nome del file Storico Quotazione !!!"));
        return result;
    }

    if (rows.isEmpty()) {
        result.completed = true;
        return result;
    }

    QSqlDatabase database = db.database();
    const auto failDatabase = [&](const RuntimeError &failure, const QuoteRow &row) {
        database.rollback();
        dialogs.message(HistoryRecording::recordFailureMessage(
            failure.description,
            RecordWriter::lookupQuery(row.Tipo_Valuta.trimmed(), row.Data_Valuta.trimmed())));
        return result;
    };
    // What is stored is looked at under the write lock: another run recording the same days at the
    // same time has either committed them, and they are left alone, or waits for this one. Looked at
    // before, they would be new to both runs and stored twice.
    if (const RuntimeError locked = db.beginWrite(); locked.isError())
        return failDatabase(locked, rows.constFirst());
    RuntimeError error;
    QString failedQuery;
    const std::optional<QList<QuoteRow>> fresh = newRows(rows, database, error, failedQuery);
    if (!fresh) {
        database.rollback();
        dialogs.message(HistoryRecording::recordFailureMessage(error.description, failedQuery));
        return result;
    }
    if (fresh->isEmpty()) {
        database.rollback();
        result.completed = true;
        return result;
    }

    const QString csvName = HistoryRecording::csvTwinName(textName);
    AppendFile textFile(textName);
    AppendFile csvFile(csvName);
    for (AppendFile *file : {&textFile, &csvFile}) {
        if (!file->open()) {
            database.rollback();
            dialogs.message(HistoryRecording::fileFailureMessage(file->error().description, textName));
            return result;
        }
    }

    qint64 daysTotal = 0;
    for (qsizetype i = 0; i < fresh->size(); ++i) {
        if (i == 0 || fresh->at(i).Data_Valuta != fresh->at(i - 1).Data_Valuta)
            ++daysTotal;
    }
    // Rows go in by statements of many rows: one statement per row costs more than the row.
    QSqlQuery many(database), one(database);
    if (!many.prepare(insertStatement(rowsPerStatement)) || !one.prepare(insertStatement(1)))
        return failDatabase(databaseError((many.lastError().isValid() ? many : one).lastError()),
                            fresh->constFirst());
    QByteArray text, csv;
    qint64 daysDone = 0;
    for (qsizetype first = 0; first < fresh->size();) {
        const qsizetype count = fresh->size() - first >= rowsPerStatement ? rowsPerStatement : 1;
        QSqlQuery &insert = count == 1 ? one : many;
        for (qsizetype i = first; i < first + count; ++i) {
            const QuoteRow &row = fresh->at(i);
            const int at = int(i - first) * 5;
            insert.bindValue(at, RecordWriter::storedText(row.Tipo_Valuta));
            insert.bindValue(at + 1, RecordWriter::storedText(row.Data_Valuta));
            insert.bindValue(at + 2, row.Quotazione);
            insert.bindValue(at + 3, RecordWriter::storedText(row.Descrizione));
            insert.bindValue(at + 4, RecordWriter::storedText(row.Note));
        }
        if (!insert.exec())
            return failDatabase(databaseError(insert.lastError()), fresh->at(first));
        for (qsizetype i = first; i < first + count; ++i) {
            const QuoteRow &row = fresh->at(i);
            const HistoryRecording::Lines lines = HistoryRecording::lines(row);
            text += lines.text.toUtf8() + "\r\n";
            csv += lines.csv.toUtf8() + "\r\n";
            const bool dayEnds = i + 1 == fresh->size() || fresh->at(i + 1).Data_Valuta != row.Data_Valuta;
            if (dayEnds && progress && (++daysDone % progressInterval == 0 || daysDone == daysTotal))
                progress(daysDone, daysTotal);
        }
        first += count;
    }
    many.finish();
    one.finish();

    // Both files take every line, or neither keeps any.
    const auto failFile = [&](const RuntimeError &failure, const QString &line) {
        database.rollback();
        dialogs.message(HistoryRecording::recordFailureMessage(failure.description, line));
        return result;
    };
    if (!textFile.append(text)) {
        textFile.takeBackLastWrite();
        return failFile(textFile.error(), HistoryRecording::textLine(fresh->constFirst()));
    }
    if (!csvFile.append(csv)) {
        csvFile.takeBackLastWrite();
        textFile.takeBackLastWrite();
        return failFile(csvFile.error(), HistoryRecording::csvLine(fresh->constFirst()));
    }
    if (!database.commit()) {
        const RuntimeError failure = databaseError(database.lastError());
        csvFile.takeBackLastWrite();
        textFile.takeBackLastWrite();
        return failDatabase(failure, fresh->constLast());
    }
    result.recorded = fresh->size();
    result.completed = true;
    return result;
}
