#include "history/historyimport.h"

#include "base/userdialogs.h"
#include "history/historydb.h"
#include "history/recordwriter.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace {

using Result = HistoryImport::Result;

// The file to copy from, read only: a history database is never changed by being imported.
class SourceFile
{
public:
    explicit SourceFile(const QString &path)
    {
        static QAtomicInt counter;
        m_connection = QStringLiteral("HistoryImport-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(QStringLiteral("mode=ro"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
        if (!db.open())
            m_error = databaseError(db.lastError());
    }
    ~SourceFile()
    {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }

    RuntimeError error() const { return m_error; }
    QSqlDatabase database() const { return QSqlDatabase::database(m_connection, false); }

private:
    QString m_connection;
    RuntimeError m_error;
};

struct Record
{
    QString code, date;
    double quote = 0;
    QString description, note;
};

// The records go first into a table of the connection's own, then replace the stored pairs and days
// with a few statements, whatever their number.
class Copy
{
public:
    explicit Copy(HistoryDb &db) : m_db(db.database()), m_dialect(db.engine()->dialect()) {}

    bool create()
    {
        const QString key = m_dialect.keyTextType;
        return run(QStringLiteral("CREATE TEMPORARY TABLE Storico_Importato (Ordine integer, Tipo_Valuta %1, "
                                  "Data_Valuta %1, Quotazione double precision, Descrizione text, Note text)")
                       .arg(key)) &&
               prepare(m_many, HistoryImport::rowsPerStatement) && prepare(m_one, 1);
    }

    bool add(const QList<Record> &records)
    {
        qsizetype done = 0;
        while (done < records.size()) {
            const bool full = records.size() - done >= HistoryImport::rowsPerStatement;
            QSqlQuery &insert = full ? m_many : m_one;
            const int rows = full ? HistoryImport::rowsPerStatement : 1;
            for (int r = 0; r < rows; ++r) {
                const Record &record = records.at(done + r);
                const int at = r * 6;
                insert.bindValue(at, ++m_order);
                insert.bindValue(at + 1, record.code);
                insert.bindValue(at + 2, record.date);
                insert.bindValue(at + 3, record.quote);
                insert.bindValue(at + 4, record.description);
                insert.bindValue(at + 5, record.note);
            }
            if (!insert.exec()) {
                m_failed = records.at(done);
                return keepError(m_error, insert);
            }
            done += rows;
        }
        return true;
    }

    // Keeps the last record of each pair and day, removes what the history holds for them and stores
    // them. The number of records stored, -1 on a failure.
    qint64 replace()
    {
        if (!run(QStringLiteral("CREATE INDEX Storico_Importato_Chiave ON Storico_Importato "
                                "(Tipo_Valuta, Data_Valuta, Ordine)")) ||
            !run(QStringLiteral(
                "DELETE FROM Storico_Importato WHERE EXISTS (SELECT 1 FROM Storico_Importato AS "
                "dopo WHERE dopo.Tipo_Valuta = Storico_Importato.Tipo_Valuta AND "
                "dopo.Data_Valuta = Storico_Importato.Data_Valuta AND "
                "dopo.Ordine > Storico_Importato.Ordine)")) ||
            !run(QStringLiteral("DELETE FROM Storico_Valute WHERE (Tipo_Valuta, Data_Valuta) IN "
                                "(SELECT Tipo_Valuta, Data_Valuta FROM Storico_Importato)")))
            return -1;
        if (!run(QStringLiteral(
                "INSERT INTO Storico_Valute (Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, "
                "Note) SELECT Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note "
                "FROM Storico_Importato ORDER BY Ordine")))
            return -1;
        const qint64 stored = m_affected;
        if (!run(QStringLiteral("DROP TABLE Storico_Importato")))
            return -1;
        return stored;
    }

    RuntimeError error() const { return m_error; }
    // The statement that failed, or the lookup of the first record that could not be copied.
    QString failedStatement() const
    {
        return m_failedStatement.isEmpty() ? RecordWriter::lookupQuery(m_failed.code, m_failed.date)
                                           : m_failedStatement;
    }

private:
    bool run(const QString &sql)
    {
        QSqlQuery query(m_db);
        if (query.exec(sql)) {
            m_affected = query.numRowsAffected();
            return true;
        }
        m_failedStatement = sql;
        return keepError(m_error, query);
    }

    bool prepare(QSqlQuery &insert, int rows)
    {
        const QString row = QStringLiteral("(?, ?, ?, %1, ?, ?)").arg(m_dialect.numberParam);
        QStringList values;
        for (int r = 0; r < rows; ++r)
            values << row;
        insert = QSqlQuery(m_db);
        if (insert.prepare(QStringLiteral("INSERT INTO Storico_Importato VALUES ") +
                           values.join(QStringLiteral(", "))))
            return true;
        m_failedStatement = insert.lastQuery();
        return keepError(m_error, insert);
    }

    QSqlDatabase m_db;
    SqlDialect m_dialect;
    QSqlQuery m_many, m_one;
    qint64 m_order = 0;
    qint64 m_affected = 0;
    Record m_failed;
    QString m_failedStatement;
    RuntimeError m_error;
};

} // namespace

Result HistoryImport::run(const QString &fileName, HistoryDb &db, UserDialogs &dialogs,
                          const OfficialRatesImport::Progress &progress)
{
    Result result;
    const auto stop = [&](Result::Outcome outcome, const QString &message) {
        result.outcome = outcome;
        dialogs.message(message);
        return result;
    };

    // A file merged into itself would end as it is.
    if (db.engine() && !db.engine()->filePath().isEmpty() &&
        QFileInfo(fileName).canonicalFilePath() == QFileInfo(db.engine()->filePath()).canonicalFilePath())
        return result;

    const SourceFile source(fileName);
    if (source.error().isError())
        return stop(Result::Outcome::FileNotRead,
                    OfficialRatesImport::fileNotReadMessage(source.error().description, fileName));
    const auto readFailure = [&](const QSqlQuery &query) {
        return stop(
            Result::Outcome::LineNotRead,
            OfficialRatesImport::lineNotReadMessage(databaseError(query.lastError()).description, fileName));
    };

    QSqlQuery count(source.database());
    if (!count.exec(QStringLiteral("SELECT count(*) FROM Storico_Valute")) || !count.next())
        return readFailure(count);
    const qint64 total = count.value(0).toLongLong();
    count.finish();
    if (total == 0)
        return result;

    QSqlQuery records(source.database());
    records.setForwardOnly(true);
    if (!records.exec(QStringLiteral("SELECT Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note "
                                     "FROM Storico_Valute ORDER BY rowid")))
        return readFailure(records);

    QSqlDatabase target = db.database();
    if (const RuntimeError error = db.beginWrite(); error.isError())
        return stop(Result::Outcome::DatabaseFailed,
                    OfficialRatesImport::databaseMessage(error.description, QStringLiteral("BEGIN")));
    Copy copy(db);
    const auto databaseFailure = [&] {
        target.rollback();
        return stop(Result::Outcome::DatabaseFailed,
                    OfficialRatesImport::databaseMessage(copy.error().description, copy.failedStatement()));
    };
    if (!copy.create())
        return databaseFailure();

    QList<Record> chunk;
    chunk.reserve(rowsPerStatement);
    qint64 read = 0;
    qint64 nextProgress = OfficialRatesImport::progressInterval;
    while (records.next()) {
        if (records.isNull(2)) {
            target.rollback();
            result.failedLine = read + 1;
            return stop(Result::Outcome::LineNotRead,
                        OfficialRatesImport::lineNotReadMessage(runtimeErrorText(94), fileName));
        }
        chunk.append({RecordWriter::storedText(records.value(0).toString()),
                      RecordWriter::storedText(records.value(1).toString()), records.value(2).toDouble(),
                      RecordWriter::storedText(records.value(3).toString()),
                      RecordWriter::storedText(records.value(4).toString())});
        ++read;
        if (chunk.size() == rowsPerStatement) {
            if (!copy.add(chunk))
                return databaseFailure();
            chunk.clear();
        }
        if (progress && read >= nextProgress) {
            progress(read, total);
            nextProgress += OfficialRatesImport::progressInterval;
        }
    }
    if (records.lastError().isValid()) {
        target.rollback();
        return readFailure(records);
    }
    if (!copy.add(chunk))
        return databaseFailure();
    const qint64 stored = copy.replace();
    if (stored < 0)
        return databaseFailure();
    if (!target.commit()) {
        const RuntimeError error = databaseError(target.lastError());
        target.rollback();
        return stop(Result::Outcome::DatabaseFailed,
                    OfficialRatesImport::databaseMessage(error.description, QStringLiteral("COMMIT")));
    }
    result.recordsWritten = stored;
    if (progress)
        progress(total, total);
    return result;
}
