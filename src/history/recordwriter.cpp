#include "history/recordwriter.h"

#include "history/historydb.h"

#include <QSqlError>

RecordWriter::RecordWriter(const HistoryDb &db)
    : m_db(db.database()), m_dialect(db.engine() ? db.engine()->dialect() : SqlDialect{}), m_lookup(m_db),
      m_update(m_db), m_insert(m_db)
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

bool RecordWriter::prepare()
{
    if (m_prepared)
        return true;
    if (!m_db.isOpen() || m_dialect.rowId.isEmpty()) {
        m_error = {ErrorNumber::ApplicationDefined, m_db.lastError().text()};
        if (m_error.description.trimmed().isEmpty())
            m_error.description = runtimeErrorText(ErrorNumber::ApplicationDefined);
        return false;
    }
    m_lookup.setForwardOnly(true);
    // The table may hold older duplicates of a currency and day: like a lookup positioned on its
    // first match, only the first one is overwritten.
    if (!m_lookup.prepare(QStringLiteral("SELECT %1 FROM Storico_Valute "
                                         "WHERE Tipo_Valuta = ? AND Data_Valuta = ? LIMIT 1")
                              .arg(m_dialect.rowId)))
        return keepError(m_error, m_lookup);
    if (!m_update.prepare(QStringLiteral("UPDATE Storico_Valute SET Tipo_Valuta = ?, Data_Valuta = ?, "
                                         "Quotazione = ?, Descrizione = ?, Note = ? WHERE %1 = %2")
                              .arg(m_dialect.rowId, m_dialect.rowIdParam)))
        return keepError(m_error, m_update);
    if (!m_insert.prepare(QStringLiteral("INSERT INTO Storico_Valute "
                                         "(Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note) "
                                         "VALUES (?, ?, ?, ?, ?)")))
        return keepError(m_error, m_insert);
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

    m_lookup.bindValue(0, code);
    m_lookup.bindValue(1, date);
    if (!m_lookup.exec())
        return keepError(m_error, m_lookup);
    const bool found = m_lookup.next();
    const QVariant rowId = found ? m_lookup.value(0) : QVariant();
    if (!found && m_lookup.lastError().isValid())
        return keepError(m_error, m_lookup);
    m_lookup.finish();

    QSqlQuery &store = found ? m_update : m_insert;
    store.bindValue(0, code);
    store.bindValue(1, date);
    store.bindValue(2, row.Quotazione);
    store.bindValue(3, storedText(row.Descrizione));
    store.bindValue(4, storedText(row.Note));
    if (found)
        store.bindValue(5, rowId);
    if (!store.exec())
        return keepError(m_error, store);
    store.finish();
    return true;
}
