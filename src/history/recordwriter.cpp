#include "history/recordwriter.h"

#include "history/historydb.h"

#include <QSqlError>

RecordWriter::RecordWriter(const HistoryDb &db)
    : m_db(db.database()), m_engine(db.engine()), m_dialect(m_engine ? m_engine->dialect() : SqlDialect{})
{}

QString RecordWriter::lookupQuery(const QString &code, const QString &date)
{
    return QStringLiteral("select * from Storico_Valute where ") + QStringLiteral(" Tipo_Valuta = '") + code +
           QStringLiteral("' and ") + QStringLiteral(" Data_Valuta = '") + date + QStringLiteral("'");
}

QString RecordWriter::storedText(const QString &text)
{
    const QString trimmed = text.trimmed();
    return trimmed.isNull() ? QStringLiteral("") : trimmed;
}

bool RecordWriter::fail(const EngineStatement &statement)
{
    m_error = statement.error();
    return false;
}

bool RecordWriter::prepare()
{
    if (m_prepared)
        return true;
    if (!m_db.isOpen() || !m_engine || m_dialect.rowId.isEmpty()) {
        m_error = {ErrorNumber::ApplicationDefined, m_db.lastError().text()};
        if (m_error.description.trimmed().isEmpty())
            m_error.description = runtimeErrorText(ErrorNumber::ApplicationDefined);
        return false;
    }
    m_lookup = m_engine->statement(m_db);
    m_update = m_engine->statement(m_db);
    m_insert = m_engine->statement(m_db);
    // The table may hold older duplicates of a currency and day: like a lookup positioned on its
    // first match, only the first one is overwritten.
    if (!m_lookup->prepare(QStringLiteral("SELECT %1 FROM Storico_Valute "
                                          "WHERE Tipo_Valuta = ? AND Data_Valuta = ? LIMIT 1")
                               .arg(m_dialect.rowId)))
        return fail(*m_lookup);
    if (!m_update->prepare(QStringLiteral("UPDATE Storico_Valute SET Tipo_Valuta = ?, Data_Valuta = ?, "
                                          "Quotazione = ?, Descrizione = ?, Note = ? WHERE %1 = %2")
                               .arg(m_dialect.rowId, m_dialect.rowIdParam)))
        return fail(*m_update);
    if (!m_insert->prepare(QStringLiteral("INSERT INTO Storico_Valute "
                                          "(Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note) "
                                          "VALUES (?, ?, ?, ?, ?)")))
        return fail(*m_insert);
    m_prepared = true;
    return true;
}

bool RecordWriter::write(const QuoteRow &row)
{
    m_error = {};
    if (!prepare())
        return false;
    const QString code = storedText(row.Tipo_Valuta);
    const QString date = storedText(row.Data_Valuta);

    m_lookup->bindText(0, code);
    m_lookup->bindText(1, date);
    if (!m_lookup->exec())
        return fail(*m_lookup);
    const bool found = m_lookup->next();
    const QVariant rowId = found ? m_lookup->key(0) : QVariant();
    const RuntimeError lookupError = m_lookup->error();
    m_lookup->finish();
    if (!found && lookupError.isError())
        return fail(*m_lookup);

    EngineStatement &store = found ? *m_update : *m_insert;
    store.bindText(0, code);
    store.bindText(1, date);
    store.bindNumber(2, row.Quotazione);
    store.bindText(3, storedText(row.Descrizione));
    store.bindText(4, storedText(row.Note));
    if (found)
        store.bindKey(5, rowId);
    const bool stored = store.exec();
    store.finish();
    return stored || fail(store);
}
