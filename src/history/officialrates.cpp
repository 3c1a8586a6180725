#include "officialrates.h"

#include "historydb.h"
#include "ratesfile.h"
#include "recordwriter.h"
#include "textfile.h"
#include "userdialogs.h"

#include <QFile>
#include <QSqlError>

namespace {

const QString paragraph = QStringLiteral("\r\n\r\n");

using Result = OfficialRatesImport::Result;

// An empty field is stored as the empty text, never as NULL: a NULL date would escape the lookup
// of its currency and day and pile up a new record at every import.
QString present(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// The open transaction of one import: committed at the end and after a failure alike, so that
// the lines before a failing one stay; rolled back only when the commit itself fails.
class ImportTransaction
{
public:
    explicit ImportTransaction(const QSqlDatabase &db) : m_db(db) {}
    ~ImportTransaction()
    {
        if (m_open)
            m_db.rollback();
    }

    bool begin()
    {
        if (!m_open)
            m_open = m_db.transaction();
        return m_open;
    }
    bool commit()
    {
        if (!m_open)
            return true;
        m_open = false;
        if (m_db.commit())
            return true;
        m_error = databaseError(m_db.lastError());
        m_db.rollback();
        return false;
    }
    RuntimeError error() const
    {
        if (m_error.isError())
            return m_error;
        RuntimeError error = databaseError(m_db.lastError());
        return error;
    }

private:
    QSqlDatabase m_db;
    bool m_open = false;
    RuntimeError m_error;
};

} // namespace

QString OfficialRatesImport::noFileNameMessage()
{
    return QStringLiteral("Indicare il nome del file Storico Cambi Ufficiali !!!");
}

QString OfficialRatesImport::fileNotReadMessage(const QString &errorText, const QString &fileName)
{
    return QStringLiteral("Storico Cambi Ufficiali non trovato - ") + errorText + paragraph + fileName;
}

QString OfficialRatesImport::lineNotReadMessage(const QString &errorText, const QString &fileName)
{
    return QStringLiteral("Errore lettura Storico Cambi Ufficiali - ") + errorText + paragraph + fileName;
}

QString OfficialRatesImport::databaseMessage(const QString &errorText, const QString &query)
{
    return QStringLiteral("Errore registrazione su DataBase ") + errorText + paragraph + query;
}

OfficialRatesImport::Result OfficialRatesImport::run(const QString &fileNameText, HistoryDb &db,
                                                     UserDialogs &dialogs, const Progress &progress)
{
    Result result;
    const QString fileName = fileNameText.trimmed();
    if (fileName.isEmpty()) {
        dialogs.message(noFileNameMessage());
        result.outcome = Result::Outcome::NoFileName;
        return result;
    }

    QByteArray bytes;
    {
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            dialogs.message(fileNotReadMessage(fileError(file).description, fileName));
            result.outcome = Result::Outcome::FileNotRead;
            return result;
        }
    }
    // A NUL never occurs in a text file: reading a binary (or UTF-16) file line by line would only
    // turn its bytes into records of nonsense.
    if (bytes.contains('\0')) {
        dialogs.message(lineNotReadMessage(runtimeErrorText(ErrorNumber::BadFileMode), fileName));
        result.outcome = Result::Outcome::LineNotRead;
        result.failedLine = 1;
        return result;
    }
    const QStringList lines = TextFile::splitLines(TextFile::decode(bytes));
    bytes.clear();
    if (lines.size() < RatesFile::firstDataLine)
        return result;

    const RatesFile::Currency currency = RatesFile::currencyOf(lines.at(1));
    const qint64 total = lines.size();
    ImportTransaction transaction(db.database());
    RecordWriter writer(db.database());
    QuoteRow row;
    row.Tipo_Valuta = present(currency.code);
    row.Descrizione = present(currency.description);

    auto stop = [&](Result::Outcome outcome, qint64 index, const QString &text) {
        result.outcome = outcome;
        result.failedLine = index + 1;
        dialogs.message(text);
    };

    for (qint64 index = RatesFile::firstDataLine - 1; index < total; ++index) {
        if (progress && index > 0 && index % progressInterval == 0)
            progress(index, total);
        const RatesFile::DataLine line = RatesFile::parseDataLine(lines.at(index));
        if (line.kind == RatesFile::DataLine::Kind::Blank)
            continue;
        if (line.kind == RatesFile::DataLine::Kind::Overflow) {
            stop(Result::Outcome::LineNotRead, index,
                 lineNotReadMessage(runtimeErrorText(ErrorNumber::Overflow), fileName));
            break;
        }
        row.Data_Valuta = present(line.date);
        row.Quotazione = line.rate;
        row.Note = present(line.note);
        if (!transaction.begin()) {
            stop(Result::Outcome::DatabaseFailed, index,
                 databaseMessage(transaction.error().description,
                                 RecordWriter::lookupQuery(currency.code, line.date)));
            break;
        }
        if (!writer.write(row)) {
            stop(Result::Outcome::DatabaseFailed, index,
                 databaseMessage(writer.lastError().description,
                                 RecordWriter::lookupQuery(currency.code, line.date)));
            break;
        }
        ReportError(dialogs);
        ++result.recordsWritten;
    }

    if (!transaction.commit()) {
        // Nothing of this run was kept: say so even when a line's failure was shown already.
        dialogs.message(databaseMessage(transaction.error().description, QStringLiteral("COMMIT")));
        result.outcome = Result::Outcome::DatabaseFailed;
        result.recordsWritten = 0;
        if (result.failedLine == 0)
            result.failedLine = total;
    }
    if (progress)
        progress(total, total);
    return result;
}
