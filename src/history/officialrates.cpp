#include "history/officialrates.h"

#include "base/textfile.h"
#include "base/userdialogs.h"
#include "core/pairsymbol.h"
#include "history/bankhistorycsv.h"
#include "history/historydb.h"
#include "history/historyimport.h"
#include "history/importformat.h"
#include "history/officialratesbatch.h"
#include "history/ratesfile.h"
#include "history/recordwriter.h"
#include "history/ziparchive.h"
#include "quotes/referencerates.h"

#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QSqlError>
#include <QSqlQuery>
#include <chrono>

namespace {

const QString paragraph = QStringLiteral("\r\n\r\n");

using Result = OfficialRatesImport::Result;
using Outcome = Result::Outcome;
using Line = OfficialRatesBatch::Line;

// The bank's CSV reports its progress every so many bytes: the reader's own chunk.
constexpr qint64 bankCsvProgressStep = 64 * 1024;

// Stores the records of one import. The transaction is committed about once a second and at the
// end (after a failure too, so that the records before a failing one stay): a long import that stops
// keeps what it stored, and another program waiting to record gets its turn. Records go out in
// batches, each inside a savepoint: a failing batch is undone and stored again one record at a time,
// so that the record that fails is known. The records of one line of the file (a day of the bank's
// history) are stored together or not at all.
class ImportStore
{
public:
    static constexpr std::chrono::milliseconds commitInterval{1000};

    explicit ImportStore(HistoryDb &db) : m_history(db), m_db(db.database()), m_batch(db), m_writer(db)
    {
        m_batchReady = m_batch.prepare();
    }
    ~ImportStore()
    {
        if (m_open && transactionOpen(m_db))
            m_db.rollback();
        restoreTempStore();
    }

    // sources[i] tells which line of the file lines[i] comes from; the lines of one source follow
    // one another. False on failure: failedAt() is the position in `lines` of the record that failed.
    bool store(const QList<Line> &lines, const QList<qint64> &sources)
    {
        if (lines.isEmpty())
            return true;
        if (!m_open) {
            keepSavepointsInMemory();
            if (const RuntimeError error = m_history.beginWrite(); error.isError()) {
                restoreTempStore();
                return fail(0, error);
            }
            m_open = true;
            m_since.start();
        }
        QSqlQuery savepoint(m_db);
        if (m_batchReady && savepoint.exec(QStringLiteral("SAVEPOINT official_rates"))) {
            bool written = true;
            for (qsizetype at = 0; written && at < lines.size(); at += OfficialRatesBatch::maxLines)
                written = m_batch.write(lines.mid(at, OfficialRatesBatch::maxLines));
            if (written && savepoint.exec(QStringLiteral("RELEASE official_rates"))) {
                m_written += lines.size();
                return true;
            }
            // Some failures (a full disk) end the whole transaction: nothing is left to store into.
            if (!savepoint.exec(QStringLiteral("ROLLBACK TO official_rates")))
                return fail(0, m_batch.lastError());
            savepoint.exec(QStringLiteral("RELEASE official_rates"));
        }
        for (qsizetype first = 0; first < lines.size();) {
            qsizetype end = first + 1;
            while (end < lines.size() && sources.at(end) == sources.at(first))
                ++end;
            if (!storeOneByOne(lines, first, end))
                return false;
            first = end;
        }
        return true;
    }

    // The transaction has been open long enough to be committed.
    bool commitDue() const { return m_open && m_since.elapsed() >= commitInterval.count(); }

    // False when the records since the last commit could not be kept.
    bool commit()
    {
        if (!m_open)
            return true;
        m_open = false;
        // After some failures (a full disk) the engine has undone the transaction by itself: what it
        // held is gone, there is nothing to commit, and the failure was reported already.
        bool committed = true;
        if (!transactionOpen(m_db)) {
            m_written = m_committed;
        } else if (m_db.commit()) {
            m_committed = m_written;
        } else {
            m_error = databaseError(m_db.lastError());
            if (transactionOpen(m_db))
                m_db.rollback();
            m_written = m_committed;
            committed = false;
        }
        restoreTempStore();
        return committed;
    }

    qint64 written() const { return m_written; }
    qsizetype failedAt() const { return m_failedAt; }
    RuntimeError error() const { return m_error; }

private:
    // A savepoint keeps a copy of every page its batch changes, so that it can be undone. SQLite
    // writes those copies to a temporary file unless temporary data is kept in memory, which makes
    // every page of an import written twice; in memory they cost no more than one batch's pages,
    // dropped at each release. The setting takes effect for transactions begun after it.
    void keepSavepointsInMemory()
    {
        QSqlQuery pragma(m_db);
        if (!pragma.exec(QStringLiteral("PRAGMA temp_store")) || !pragma.next())
            return;
        const int previous = pragma.value(0).toInt();
        pragma.finish();
        if (previous != memoryTempStore && pragma.exec(QStringLiteral("PRAGMA temp_store = MEMORY")))
            m_previousTempStore = previous;
    }
    void restoreTempStore()
    {
        if (m_previousTempStore < 0)
            return;
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA temp_store = %1").arg(m_previousTempStore));
        m_previousTempStore = -1;
    }

    // The records first to end of one source, each on its own; a savepoint keeps several whole.
    bool storeOneByOne(const QList<Line> &lines, qsizetype first, qsizetype end)
    {
        const bool several = end - first > 1;
        QSqlQuery savepoint(m_db);
        if (several && !savepoint.exec(QStringLiteral("SAVEPOINT official_rates_line")))
            return fail(first, databaseError(savepoint.lastError()));
        for (qsizetype i = first; i < end; ++i) {
            const Line &line = lines.at(i);
            if (!m_writer.write({line.code, line.date, line.rate, line.description, line.note})) {
                const RuntimeError error = m_writer.lastError();
                if (several && savepoint.exec(QStringLiteral("ROLLBACK TO official_rates_line")))
                    savepoint.exec(QStringLiteral("RELEASE official_rates_line"));
                return fail(i, error);
            }
        }
        if (several && !savepoint.exec(QStringLiteral("RELEASE official_rates_line")))
            return fail(first, databaseError(savepoint.lastError()));
        m_written += end - first;
        return true;
    }

    bool fail(qsizetype at, const RuntimeError &error)
    {
        m_failedAt = at;
        m_error = error;
        return false;
    }

    HistoryDb &m_history;
    QSqlDatabase m_db;
    OfficialRatesBatch m_batch;
    RecordWriter m_writer;
    bool m_batchReady = false;
    bool m_open = false;
    QElapsedTimer m_since; // since the transaction began
    qint64 m_written = 0;
    qint64 m_committed = 0;
    qsizetype m_failedAt = 0;
    RuntimeError m_error;
    static constexpr int memoryTempStore = 2;
    int m_previousTempStore = -1; // temp_store to restore after the transaction; -1 when unchanged
};

// "Righe non importate (data non valida): 3 - righe 5, 9, 12": how many, and the first few.
QString badDateText(qint64 count, const QList<qint64> &first)
{
    QStringList numbers;
    for (const qint64 line : first)
        numbers << QString::number(line);
    QString text = QStringLiteral("Righe non importate (data non valida): ") + QString::number(count) +
                   (count == 1 ? QStringLiteral(" - riga ") : QStringLiteral(" - righe ")) +
                   numbers.join(QStringLiteral(", "));
    if (count > first.size())
        text += QStringLiteral(", ...");
    return text;
}

// One run of the import, whatever the file's format: the records waiting to be stored, the
// outcome and the messages, the progress.
class ImportRun
{
public:
    ImportRun(const QString &fileName, HistoryDb &db, UserDialogs &dialogs,
              const OfficialRatesImport::Progress &progress, const OfficialRatesImport::StopRequested &stop,
              qint64 progressStep)
        : m_fileName(fileName), m_dialogs(dialogs), m_progress(progress), m_stopRequested(stop),
          m_progressStep(progressStep), m_nextProgress(progressStep), m_store(db)
    {}

    Result &result() { return m_result; }
    // A failure ended the run (a stop on request is not one).
    bool failed() const { return m_result.outcome != Outcome::Done && m_result.outcome != Outcome::Stopped; }

    // Ends the run with a message; `line` is the 1-based line of the file, 0 when none.
    void stop(Outcome outcome, qint64 line, const QString &text)
    {
        m_result.outcome = outcome;
        m_result.failedLine = line;
        m_dialogs.message(text);
    }
    void readingFailed(const QString &errorText, qint64 line)
    {
        stop(Outcome::LineNotRead, line, OfficialRatesImport::lineNotReadMessage(errorText, m_fileName));
    }

    // A record of the file's line `line` (1-based, 0 when the file has no lines).
    void add(Line record, qint64 line)
    {
        m_pending.append(std::move(record));
        m_sources.append(m_source);
        m_lines.append(line);
    }
    // The records of one line of the file are all added: store what is waiting once it makes a
    // batch. False when storing failed (the run is over).
    bool endOfLine()
    {
        ++m_source;
        return m_pending.size() < OfficialRatesBatch::maxLines || flush();
    }
    bool flush()
    {
        bool stored = m_store.store(m_pending, m_sources);
        if (!stored) {
            const qsizetype at = m_store.failedAt();
            stop(Outcome::DatabaseFailed, m_lines.at(at),
                 OfficialRatesImport::databaseMessage(
                     m_store.error().description,
                     RecordWriter::lookupQuery(m_pending.at(at).code, m_pending.at(at).date)));
        } else if (m_store.commitDue() && !m_store.commit()) {
            stored = false;
            stop(Outcome::DatabaseFailed, m_lines.value(0),
                 OfficialRatesImport::databaseMessage(m_store.error().description, QStringLiteral("COMMIT")));
        }
        m_pending.clear();
        m_sources.clear();
        m_lines.clear();
        return stored;
    }

    // Reports how much is done, once every progress step, and asks whether to go on. False: the run
    // stops, keeping what was stored.
    bool progressed(qint64 done, qint64 total)
    {
        if (done < m_nextProgress)
            return true;
        m_nextProgress = done + m_progressStep;
        if (m_progress)
            m_progress(done, std::max(done, total));
        if (m_stopRequested && m_stopRequested()) {
            m_result.outcome = Outcome::Stopped;
            return false;
        }
        return true;
    }

    // A line of a rates file left out for its date; the message at the end names the first few.
    void badDate(qint64 line)
    {
        if (++m_result.badDateLines <= OfficialRatesImport::maxLinesNamed)
            m_badDates.append(line);
    }

    // Stores what waits unless the run failed, commits, and reports the whole as done.
    Result finish(qint64 total)
    {
        if (!failed())
            flush();
        if (!m_store.commit()) {
            // Nothing of this run was kept: say so even when a record's failure was shown already.
            m_dialogs.message(
                OfficialRatesImport::databaseMessage(m_store.error().description, QStringLiteral("COMMIT")));
            m_result.outcome = Outcome::DatabaseFailed;
            if (m_result.failedLine == 0)
                m_result.failedLine = m_lastLine;
        }
        if (m_result.badDateLines > 0)
            m_dialogs.message(badDateText(m_result.badDateLines, m_badDates));
        m_result.recordsWritten = m_store.written();
        if (m_progress)
            m_progress(total, total);
        return m_result;
    }
    // The line a failed commit is reported at when nothing failed before it.
    void setLastLine(qint64 line) { m_lastLine = line; }

private:
    QString m_fileName;
    UserDialogs &m_dialogs;
    OfficialRatesImport::Progress m_progress;
    OfficialRatesImport::StopRequested m_stopRequested;
    qint64 m_progressStep;
    qint64 m_nextProgress;
    ImportStore m_store;
    Result m_result;
    QList<Line> m_pending;
    QList<qint64> m_sources; // one number per line of the file, for each pending record
    QList<qint64> m_lines;   // the file's line of each pending record
    qint64 m_source = 0;
    qint64 m_lastLine = 0;
    QList<qint64> m_badDates;
};

// A pair of the currency list whose currency the bank publishes: "EUR/USD" takes the rates of USD.
struct ListedPair
{
    QString currency; // "USD"
    QString symbol;   // "EUR/USD"
    QString item;     // "EUR/USD - DOLLARO USA - 1", the description recording gives the pair
};

QList<ListedPair> listedPairs(const QStringList &items)
{
    QList<ListedPair> pairs;
    for (const QString &item : items) {
        const QString symbol = PairSymbol::of(item);
        const QString currency = symbol.mid(4);
        if (symbol.startsWith(QLatin1String("EUR/")) && ReferenceRates::isCurrencyCode(currency))
            pairs.append({currency, symbol, item.trimmed()});
    }
    return pairs;
}

QSet<QString> currenciesOf(const QList<ListedPair> &pairs)
{
    QSet<QString> currencies;
    for (const ListedPair &pair : pairs)
        currencies.insert(pair.currency);
    return currencies;
}

// One record per listed pair whose currency has a rate that day, in the order of the list (as
// recording stores the day's quotes).
void addDay(ImportRun &run, const QList<ListedPair> &pairs, const RateDay &day, qint64 line)
{
    const QString date = day.day.toString(QStringLiteral("yyyyMMdd"));
    for (const ListedPair &pair : pairs) {
        for (const CurrencyRate &rate : day.rates) {
            if (rate.code == pair.currency) {
                run.add({pair.symbol, date, rate.rate, pair.item, QString()}, line);
                break;
            }
        }
    }
}

// Counts the bytes read through it: the progress of a stream that has no position of its own, such
// as a file inflated out of an archive.
class CountingDevice : public QIODevice
{
public:
    explicit CountingDevice(QIODevice &source) : m_source(source)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    qint64 count() const { return m_count; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 got = m_source.read(data, maxSize);
        if (got < 0)
            setErrorString(m_source.errorString());
        else
            m_count += got;
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice &m_source;
    qint64 m_count = 0;
};

// The bank's history CSV, read from a file or out of an archive, a day at a time. `size` is the
// whole of it in bytes, as far as known (0 when not); progress is reported in bytes.
Result importBankCsv(QIODevice &source, qint64 size, const QList<ListedPair> &pairs, ImportRun &run)
{
    CountingDevice counted(source);
    qint64 lastLine = 0;
    const BankHistoryCsv::Result read = BankHistoryCsv::readNumbered(
        counted,
        [&](const RateDay &day, qint64 line) {
            lastLine = line;
            addDay(run, pairs, day, line);
            return run.endOfLine() && run.progressed(counted.count(), size);
        },
        currenciesOf(pairs));
    // The days before a line that cannot be read are stored, as the lines before it in a rates file.
    if (!run.failed() && !read.ok() && run.flush())
        run.readingFailed(read.error, read.line);
    run.setLastLine(lastLine);
    return run.finish(std::max(size, counted.count()));
}

// The bank's reference-rate XML, read whole (it is refused whole when it is damaged); progress is
// reported in days.
Result importReferenceRates(QIODevice &file, const QList<ListedPair> &pairs, ImportRun &run)
{
    const ReferenceRates::Document document = ReferenceRates::parse(&file, currenciesOf(pairs));
    if (!document.ok()) {
        run.readingFailed(document.error, 0);
        return run.finish(0);
    }
    const qint64 total = document.days.size();
    qint64 done = 0;
    for (const RateDay &day : document.days) {
        addDay(run, pairs, day, 0);
        if (!run.endOfLine() || !run.progressed(++done, total))
            break;
    }
    return run.finish(total);
}

// The official-rates text file: every data line stored under the one currency its second line
// names; progress is reported in lines. The file is read a line at a time, so that its length
// costs no memory.
Result importRatesFile(QFile &file, ImportRun &run)
{
    RatesFile::Lines lines(file);
    if (lines.failure() != LineReader::Failure::None) {
        run.stop(Outcome::FileNotRead, 0,
                 OfficialRatesImport::fileNotReadMessage(runtimeErrorText(ErrorNumber::DeviceIo),
                                                         file.fileName()));
        return run.result();
    }
    // A NUL never occurs in a text file: reading a binary file (or UTF-16 without its byte-order
    // mark) line by line would only turn its bytes into records of nonsense.
    if (lines.binary()) {
        run.readingFailed(runtimeErrorText(ErrorNumber::BadFileMode), 1);
        return run.result();
    }
    if (lines.count() < RatesFile::firstDataLine)
        return run.result();
    QString text;
    QString secondLine;
    for (int number = 1; number < RatesFile::firstDataLine; ++number) {
        lines.next(text);
        if (number == 2)
            secondLine = text;
    }

    const RatesFile::Currency currency = RatesFile::currencyOf(secondLine);
    const qint64 total = lines.count();
    qint64 index = RatesFile::firstDataLine - 1;
    for (; lines.next(text); ++index) {
        if (!run.progressed(index, total))
            break;
        const RatesFile::DataLine line = RatesFile::parseDataLine(text);
        if (line.kind == RatesFile::DataLine::Kind::Blank)
            continue;
        if (line.kind == RatesFile::DataLine::Kind::BadDate) {
            run.badDate(index + 1);
            continue;
        }
        if (line.kind == RatesFile::DataLine::Kind::Overflow) {
            if (run.flush())
                run.readingFailed(runtimeErrorText(ErrorNumber::Overflow), index + 1);
            break;
        }
        run.add({currency.code, line.date, line.rate, currency.description, line.note}, index + 1);
        if (!run.endOfLine())
            break;
    }
    // A line that cannot be read (or is too long to be a line of rates) ends the import there.
    if (lines.failure() != LineReader::Failure::None && !run.failed() && run.flush())
        run.readingFailed(runtimeErrorText(lines.failure() == LineReader::Failure::LineTooLong
                                               ? ErrorNumber::Overflow
                                               : ErrorNumber::DeviceIo),
                          index + 1);
    run.setLastLine(total);
    return run.finish(total);
}

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

QString OfficialRatesImport::badDateMessage(qint64 count, const QList<qint64> &firstLines)
{
    return badDateText(count, firstLines);
}

OfficialRatesImport::Result OfficialRatesImport::run(const QString &typedName, const QStringList &pairItems,
                                                     HistoryDb &db, UserDialogs &dialogs,
                                                     const Progress &progress,
                                                     const StopRequested &stopRequested)
{
    const QString fileName = typedName.trimmed();
    if (fileName.isEmpty()) {
        dialogs.message(noFileNameMessage());
        Result result;
        result.outcome = Outcome::NoFileName;
        return result;
    }

    // Only a regular file: a FIFO would wait for a writer, and a device such as /dev/zero never ends.
    QFile file(fileName);
    RuntimeError opening = TextFile::openForReading(file);
    QByteArray head;
    if (!opening.isError()) {
        head = file.peek(importFormatHeadSize);
        if (file.error() != QFileDevice::NoError)
            opening = fileError(file);
    }
    if (opening.isError()) {
        dialogs.message(fileNotReadMessage(opening.description, fileName));
        Result result;
        result.outcome = Outcome::FileNotRead;
        return result;
    }

    const QList<ListedPair> pairs = listedPairs(pairItems);
    switch (sniffImportFormat(head)) {
    case ImportFormat::HistoryDatabase:
        file.close();
        return HistoryImport::run(fileName, db, dialogs, progress);
    case ImportFormat::BankCsv: {
        ImportRun run(fileName, db, dialogs, progress, stopRequested, bankCsvProgressStep);
        return importBankCsv(file, file.size(), pairs, run);
    }
    case ImportFormat::Zip: {
        file.close();
        ImportRun run(fileName, db, dialogs, progress, stopRequested, bankCsvProgressStep);
        ZipArchive archive;
        if (!archive.openFile(fileName)) {
            run.readingFailed(archive.errorString(), 0);
            return run.finish(0);
        }
        return importBankCsv(*archive.content(), std::max<qint64>(archive.declaredSize(), 0), pairs, run);
    }
    case ImportFormat::ReferenceRates: {
        ImportRun run(fileName, db, dialogs, progress, stopRequested, 1);
        return importReferenceRates(file, pairs, run);
    }
    case ImportFormat::OfficialRates:
        break;
    }
    ImportRun run(fileName, db, dialogs, progress, stopRequested, progressInterval);
    return importRatesFile(file, run);
}
