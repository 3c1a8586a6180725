#include "history/officialrates.h"

#include "base/userdialogs.h"
#include "history/historydb.h"
#include "history/officialratesbatch.h"
#include "history/ratesfile.h"
#include "history/recordwriter.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString paragraph = QStringLiteral("\r\n\r\n");

using Result = OfficialRatesImport::Result;

// Stores the lines of one import in one transaction, committed at the end and after a failure
// alike, so that the lines before a failing one stay. Lines go out in batches, each inside a
// savepoint: a failing batch is undone and stored again one line at a time, so that the line that
// fails is known and nothing of it is written.
class ImportStore
{
public:
    using Line = OfficialRatesBatch::Line;

    ImportStore(const QSqlDatabase &db, const QString &code, const QString &description)
        : m_db(db), m_code(code), m_description(description), m_batch(db, code, description), m_writer(db)
    {
        m_batchReady = m_batch.prepare();
    }
    ~ImportStore()
    {
        if (m_open)
            m_db.rollback();
    }

    // False on failure: failedAt() is the position in `lines` of the line that failed.
    bool store(const QList<Line> &lines)
    {
        if (lines.isEmpty())
            return true;
        if (!m_open && !(m_open = m_db.transaction()))
            return fail(0, databaseError(m_db.lastError()));
        QSqlQuery savepoint(m_db);
        if (m_batchReady && savepoint.exec(QStringLiteral("SAVEPOINT official_rates"))) {
            const bool written = m_batch.write(lines);
            if (written && savepoint.exec(QStringLiteral("RELEASE official_rates"))) {
                m_written += lines.size();
                return true;
            }
            // Some failures (a full disk) end the whole transaction: nothing is left to store
            // into, and the commit tells that nothing was kept.
            if (!savepoint.exec(QStringLiteral("ROLLBACK TO official_rates")))
                return fail(0, m_batch.lastError());
            savepoint.exec(QStringLiteral("RELEASE official_rates"));
        }
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const Line &line = lines.at(i);
            if (!m_writer.write({m_code, line.date, line.rate, m_description, line.note}))
                return fail(i, m_writer.lastError());
            ++m_written;
        }
        return true;
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
        m_written = 0;
        return false;
    }

    qint64 written() const { return m_written; }
    qsizetype failedAt() const { return m_failedAt; }
    RuntimeError error() const { return m_error; }

private:
    bool fail(qsizetype at, const RuntimeError &error)
    {
        m_failedAt = at;
        m_error = error;
        return false;
    }

    QSqlDatabase m_db;
    QString m_code;
    QString m_description;
    OfficialRatesBatch m_batch;
    RecordWriter m_writer;
    bool m_batchReady = false;
    bool m_open = false;
    qint64 m_written = 0;
    qsizetype m_failedAt = 0;
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

OfficialRatesImport::Result OfficialRatesImport::run(const QString &typedName, HistoryDb &db,
                                                     UserDialogs &dialogs, const Progress &progress)
{
    Result result;
    const QString fileName = typedName.trimmed();
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
    const qint64 total = lines.count();
    ImportStore store(db.database(), currency.code, currency.description);

    auto stop = [&](Result::Outcome outcome, qint64 index, const QString &text) {
        result.outcome = outcome;
        result.failedLine = index + 1;
        dialogs.message(text);
    };
    QList<ImportStore::Line> chunk;
    QList<qint64> indexes; // line index of each line of the chunk
    auto flush = [&] {
        const bool stored = store.store(chunk);
        if (!stored) {
            const qsizetype at = store.failedAt();
            stop(Result::Outcome::DatabaseFailed, indexes.at(at),
                 databaseMessage(store.error().description,
                                 RecordWriter::lookupQuery(currency.code, chunk.at(at).date)));
        }
        chunk.clear();
        indexes.clear();
        return stored;
    };

    qint64 nextProgress = progressInterval;
    qint64 overflowAt = -1;
    for (qint64 index = RatesFile::firstDataLine - 1; lines.next(text); ++index) {
        if (progress && index >= nextProgress) {
            progress(index, total);
            nextProgress += progressInterval;
        }
        const RatesFile::DataLine line = RatesFile::parseDataLine(text);
        if (line.kind == RatesFile::DataLine::Kind::Blank)
            continue;
        if (line.kind == RatesFile::DataLine::Kind::Overflow) {
            overflowAt = index;
            break;
        }
        chunk.append({line.date, line.rate, line.note});
        indexes.append(index);
        if (chunk.size() == OfficialRatesBatch::maxLines && !flush())
            break;
    }
    if (result.outcome == Result::Outcome::Done && flush() && overflowAt >= 0)
        stop(Result::Outcome::LineNotRead, overflowAt,
             lineNotReadMessage(runtimeErrorText(ErrorNumber::Overflow), fileName));

    if (!store.commit()) {
        // Nothing of this run was kept: say so even when a line's failure was shown already.
        dialogs.message(databaseMessage(store.error().description, QStringLiteral("COMMIT")));
        result.outcome = Result::Outcome::DatabaseFailed;
        if (result.failedLine == 0)
            result.failedLine = total;
    }
    result.recordsWritten = store.written();
    if (progress)
        progress(total, total);
    return result;
}
