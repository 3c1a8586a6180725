#include "history/historyrecording.h"

#include "base/userdialogs.h"
#include "core/recordline.h"
#include "history/historydb.h"
#include "history/recordwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>

namespace {

const QString kFileFailure = QStringLiteral("Errore in registrazione Storico Quotazioni - ");
const QString kRecordFailure = QStringLiteral("Errore registrazione su DataBase ");
const QString kCrLf2 = QStringLiteral("\r\n\r\n");

// A history file that exists is never truncated: NewOnly refuses to open it.
void createWithHeader(const QString &path)
{
    if (QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return; // reported when it is opened for appending
    file.write(HistoryRecording::header().toUtf8() + "\r\n");
}

// A history file open for appending whole lines; each line goes out in one unbuffered write so
// that nothing is left pending after a failure, and a failed or cancelled line is cut back out.
class AppendFile
{
public:
    explicit AppendFile(const QString &path) : m_file(path) {}

    bool open()
    {
        if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return true;
        m_error = fileError(m_file);
        return false;
    }
    RuntimeError error() const { return m_error; }

    bool append(const QString &line)
    {
        m_sizeBefore = m_file.isSequential() ? 0 : m_file.size();
        const QByteArray bytes = line.toUtf8() + "\r\n";
        if (m_file.write(bytes) == bytes.size())
            return true;
        // A short write may carry no error at all: the disk is full.
        m_error =
            m_file.error() == QFileDevice::NoError ? makeError(ErrorNumber::DiskFull) : fileError(m_file);
        return false;
    }
    void takeBackLastLine()
    {
        if (!m_file.isSequential())
            m_file.resize(m_sizeBefore);
    }

private:
    QFile m_file;
    qint64 m_sizeBefore = 0;
    RuntimeError m_error;
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
    return dayMonthYear(row.Data_Valuta, QLatin1Char('/')) + QLatin1Char(';') + quoteText(row.Quotazione) +
           QLatin1Char(';') + row.Descrizione.trimmed() + QLatin1Char(';');
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
    if (shown.state == ShownQuote::State::Empty) {
        dialogs.message(QStringLiteral("Premere prima il Pulsante Aggiorna Quotazione !!!"));
        return result;
    }
    if (textName.isEmpty()) {
        dialogs.message(QStringLiteral("Indicare il nome del file Storico Quotazione !!!"));
        return result;
    }

    const QString csvName = csvTwinName(textName);
    createWithHeader(textName);
    createWithHeader(csvName);
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
    for (const QuoteRow &row : table.rows()) {
        const auto failDatabase = [&](const RuntimeError &error) {
            database.rollback();
            dialogs.message(kRecordFailure + error.description + kCrLf2 +
                            RecordWriter::lookupQuery(row.Tipo_Valuta.trimmed(), row.Data_Valuta.trimmed()));
            return result;
        };
        if (const RuntimeError error = db.beginWrite(); error.isError())
            return failDatabase(error);
        if (!writer.write(row))
            return failDatabase(writer.lastError());
        result.shown = ShownQuote::quote(row.Quotazione);

        // The row's lines, text file first; a failure takes back what this row wrote.
        const std::pair<AppendFile *, QString> lines[] = {{&textFile, textLine(row)},
                                                          {&csvFile, csvLine(row)}};
        for (qsizetype i = 0; i < 2; ++i) {
            if (!lines[i].first->append(lines[i].second)) {
                const RuntimeError error = lines[i].first->error();
                for (qsizetype j = i; j >= 0; --j)
                    lines[j].first->takeBackLastLine();
                database.rollback();
                dialogs.message(kRecordFailure + error.description + kCrLf2 + lines[i].second);
                return result;
            }
        }
        if (!database.commit()) {
            const RuntimeError error = databaseError(database.lastError());
            csvFile.takeBackLastLine();
            textFile.takeBackLastLine();
            return failDatabase(error);
        }
        ++result.recorded;
    }
    result.completed = true;
    return result;
}
