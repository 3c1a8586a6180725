#include "officialrates.h"

#include "historydb.h"
#include "officialratesbatch.h"
#include "ratesfile.h"
#include "recordwriter.h"
#include "userdialogs.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

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
    RatesFile::Lines lines(bytes);
    bytes.clear();
    if (lines.count() < RatesFile::firstDataLine)
        return result;
    QString text;
    QString secondLine;
    for (int number = 1; number < RatesFile::firstDataLine; ++number) {
        lines.next(text);
        if (number == 2)
            secondLine = text;
    }

    const RatesFile::Currency currency = RatesFile::currencyOf(secondLine);
    const QString code = present(currency.code);
    const qint64 total = lines.count();
    QSqlDatabase database = db.database();
    ImportTransaction transaction(database);
    OfficialRatesBatch batch(database, code, present(currency.description));
    const bool batchReady = batch.prepare();
    RecordWriter writer(database);

    auto stop = [&](Result::Outcome outcome, qint64 index, const QString &text) {
        result.outcome = outcome;
        result.failedLine = index + 1;
        dialogs.message(text);
    };
    auto lineByLine = [&](const QList<OfficialRatesBatch::Line> &chunk, const QList<qint64> &indexes) {
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            const OfficialRatesBatch::Line &line = chunk.at(i);
            const QuoteRow row{code, line.date, line.rate, present(currency.description), line.note};
            if (!writer.write(row)) {
                stop(Result::Outcome::DatabaseFailed, indexes.at(i),
                     databaseMessage(writer.lastError().description,
                                     RecordWriter::lookupQuery(currency.code, line.date)));
                return false;
            }
            ReportError(dialogs);
            ++result.recordsWritten;
        }
        return true;
    };
    // A batch runs inside a savepoint: when it fails, it is undone and its lines are stored one by one
    // so that the failing line is the one reported and every line before it stays.
    auto store = [&](const QList<OfficialRatesBatch::Line> &chunk, const QList<qint64> &indexes) {
        if (chunk.isEmpty())
            return true;
        if (!transaction.begin()) {
            stop(Result::Outcome::DatabaseFailed, indexes.constFirst(),
                 databaseMessage(transaction.error().description,
                                 RecordWriter::lookupQuery(currency.code, chunk.constFirst().date)));
            return false;
        }
        QSqlQuery savepoint(database);
        if (batchReady && savepoint.exec(QStringLiteral("SAVEPOINT official_rates"))) {
            const bool written = batch.write(chunk);
            ReportError(dialogs);
            if (written && savepoint.exec(QStringLiteral("RELEASE official_rates"))) {
                result.recordsWritten += chunk.size();
                return true;
            }
            savepoint.exec(QStringLiteral("ROLLBACK TO official_rates"));
            savepoint.exec(QStringLiteral("RELEASE official_rates"));
        }
        return lineByLine(chunk, indexes);
    };

    QList<OfficialRatesBatch::Line> chunk;
    QList<qint64> indexes;
    chunk.reserve(OfficialRatesBatch::maxLines);
    indexes.reserve(OfficialRatesBatch::maxLines);
    qint64 nextProgress = progressInterval;
    qint64 overflowAt = -1;
    for (qint64 index = RatesFile::firstDataLine - 1; lines.next(text); ++index) {
        if (progress && index >= nextProgress) {
            progress(index, total);
            nextProgress += progressInterval;
        }
        RatesFile::DataLine line = RatesFile::parseDataLine(text);
        if (line.kind == RatesFile::DataLine::Kind::Blank)
            continue;
        if (line.kind == RatesFile::DataLine::Kind::Overflow) {
            overflowAt = index;
            break;
        }
        chunk.append({present(line.date), line.rate, present(line.note)});
        indexes.append(index);
        if (chunk.size() == OfficialRatesBatch::maxLines) {
            if (!store(chunk, indexes))
                break;
            chunk.clear();
            indexes.clear();
        }
    }
    if (result.outcome == Result::Outcome::Done && store(chunk, indexes) && overflowAt >= 0)
        stop(Result::Outcome::LineNotRead, overflowAt,
             lineNotReadMessage(runtimeErrorText(ErrorNumber::Overflow), fileName));

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
