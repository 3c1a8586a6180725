#include "history/historyrecording.h"

#include "base/userdialogs.h"
#include "core/recordline.h"
#include "history/historydb.h"
#include "history/historyfiles.h"
#include "history/recordwriter.h"

#include <QSqlError>

namespace {

const QString kFileFailure = QStringLiteral("Errore in registrazione Storico Quotazioni - ");
const QString kRecordFailure = QStringLiteral("Errore registrazione su DataBase ");
const QString kCrLf2 = QStringLiteral("\r\n\r\n");

// Rows recorded together: one transaction and one write per history file. A currency list of a
// hundred thousand lines would otherwise cost as many commits and twice as many writes.
constexpr qsizetype kGroupRows = 1024;

// What went wrong while recording a group of rows.
struct GroupFailure
{
    enum class Kind {
        None,
        Transaction, // the transaction could not begin or commit: the whole group
        Row          // one row's database change or one of its lines
    };
    Kind kind = Kind::None;
    qsizetype row = 0; // within the group
    QString message;
};

} // namespace

const QString &HistoryRecording::header()
{
    static const QString text = QStringLiteral("Data;Quotazione;Valuta;Note");
    return text;
}

QString HistoryRecording::csvTwinName(const QString &textFileName)
{
    const qsizetype nameStart =
        std::max(textFileName.lastIndexOf(QLatin1Char('/')), textFileName.lastIndexOf(QLatin1Char('\\'))) + 1;
    const qsizetype dot = textFileName.lastIndexOf(QLatin1Char('.'));
    // A dot that opens the file-name part (".storico") starts no extension.
    const QString stem = dot > nameStart ? textFileName.left(dot) : textFileName;
    QString twin = stem + QStringLiteral(".CSV");
    if (twin.compare(textFileName, Qt::CaseInsensitive) == 0)
        twin = textFileName + QStringLiteral(".CSV");
    return twin;
}

QString HistoryRecording::textLine(const QuoteRow &row)
{
    return RecordLine::make(row, row.Descrizione.trimmed());
}

QString HistoryRecording::csvLine(const QuoteRow &row)
{
    return lines(row).csv;
}

HistoryRecording::Lines HistoryRecording::lines(const QuoteRow &row)
{
    const QString quote = quoteText(row.Quotazione);
    const QString description = row.Descrizione.trimmed();
    return {RecordLine::make(row.Data_Valuta, quote, description),
            dayMonthYear(row.Data_Valuta, QLatin1Char('/')) + QLatin1Char(';') + quote + QLatin1Char(';') +
                description + QLatin1Char(';')};
}

QString HistoryRecording::fileFailureMessage(const QString &errorText, const QString &textFileName)
{
    return kFileFailure + errorText + kCrLf2 + textFileName;
}

QString HistoryRecording::recordFailureMessage(const QString &errorText, const QString &what)
{
    return kRecordFailure + errorText + kCrLf2 + what;
}

RecordingResult HistoryRecording::run(const ShownQuote &shown, const QString &historyFileName,
                                      const QuoteTable &table, HistoryDb &db, UserDialogs &dialogs)
{
    RecordingResult result;
    result.shown = shown;
    const QString textName = historyFileName.trimmed();
    if (shown.state == ShownQuote::State::Unavailable) {
        dialogs.message(QStringLiteral("Quotazione non disponibile su Internet !!!"));
        return result;
    }
    // The label is empty when the last pair of the list was not in the page: the pairs that were
    // found are recorded all the same. Only an update that found nothing is refused.
    if (shown.state == ShownQuote::State::Empty && table.QuoteCount() == 0) {
        dialogs.message(QStringLiteral("Premere prima il Pulsante Aggiorna Quotazione !!!"));
        return result;
    }
    if (textName.isEmpty()) {
        dialogs.message(QStringLiteral("Indicare il nome del file Storico Quotazione !!!"));
        return result;
    }

    const QString csvName = csvTwinName(textName);
    AppendFile textFile(textName);
    AppendFile csvFile(csvName);
    for (AppendFile *file : {&textFile, &csvFile}) {
        if (!file->open()) {
            dialogs.message(kFileFailure + file->error().description + kCrLf2 + textName);
            return result;
        }
    }

    QSqlDatabase database = db.database();
    RecordWriter writer(db);
    const QList<QuoteRow> &rows = table.rows();
    // Records rows [first, first + count) into all three places or into none.
    const auto recordGroup = [&](qsizetype first, qsizetype count) -> GroupFailure {
        const auto query = [&](qsizetype i) {
            const QuoteRow &row = rows.at(first + i);
            return RecordWriter::lookupQuery(row.Tipo_Valuta.trimmed(), row.Data_Valuta.trimmed());
        };
        if (const RuntimeError error = db.beginWrite(); error.isError())
            return {GroupFailure::Kind::Transaction, 0,
                    kRecordFailure + error.description + kCrLf2 + query(0)};
        const auto undo = [&](GroupFailure failure) {
            if (transactionOpen(database))
                database.rollback();
            return failure;
        };
        QByteArray textLines, csvLines;
        for (qsizetype i = 0; i < count; ++i) {
            const QuoteRow &row = rows.at(first + i);
            if (!writer.write(row))
                return undo({GroupFailure::Kind::Row, i,
                             kRecordFailure + writer.lastError().description + kCrLf2 + query(i)});
            textLines += textLine(row).toUtf8() + "\r\n";
            csvLines += csvLine(row).toUtf8() + "\r\n";
        }
        // The lines, text file first; a failure takes back what the group wrote.
        if (!textFile.append(textLines)) {
            textFile.takeBackLastWrite();
            return undo({GroupFailure::Kind::Row, 0,
                         kRecordFailure + textFile.error().description + kCrLf2 + textLine(rows.at(first))});
        }
        if (!csvFile.append(csvLines)) {
            csvFile.takeBackLastWrite();
            textFile.takeBackLastWrite();
            return undo({GroupFailure::Kind::Row, 0,
                         kRecordFailure + csvFile.error().description + kCrLf2 + csvLine(rows.at(first))});
        }
        if (!database.commit()) {
            const RuntimeError error = databaseError(database.lastError());
            csvFile.takeBackLastWrite();
            textFile.takeBackLastWrite();
            return undo(
                {GroupFailure::Kind::Transaction, 0, kRecordFailure + error.description + kCrLf2 + query(0)});
        }
        return {};
    };

    for (qsizetype first = 0; first < rows.size();) {
        qsizetype count = std::min(kGroupRows, rows.size() - first);
        GroupFailure failure = recordGroup(first, count);
        if (failure.kind == GroupFailure::Kind::Row && count > 1) {
            // The rows before the failing one go in without it; the next round starts at the failing
            // row, which fails alone and names itself in the message.
            count = std::max<qsizetype>(failure.row, 1);
            failure = recordGroup(first, count);
        }
        if (failure.kind != GroupFailure::Kind::None) {
            dialogs.message(failure.message);
            return result;
        }
        result.recorded += count;
        result.shown = ShownQuote::quote(rows.at(first + count - 1).Quotazione);
        first += count;
    }
    result.completed = true;
    return result;
}
