#pragma once

#include "history/historydb.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Statements run on a connection of the test's own, as another program would; a failure is printed.
inline bool exec(const QString &path, const QStringList &statements)
{
    HistoryDb side;
    bool ok = !side.open(path).isError();
    for (const QString &sql : statements) {
        QSqlQuery query(side.database());
        if (ok && !sql.trimmed().isEmpty() && !(ok = query.exec(sql)))
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    }
    return ok;
}

// Every record as "code|date|rate|description|note" in table order, "<null>" for NULL.
inline QStringList records(const QString &path)
{
    HistoryDb side;
    side.open(path);
    QSqlQuery query(side.database());
    query.exec(
        "SELECT ifnull(Tipo_Valuta, '<null>') || '|' || ifnull(Data_Valuta, '<null>') || '|' || "
        "iif(Quotazione IS NULL, '<null>', printf('%.15g', Quotazione)) || '|' || "
        "ifnull(Descrizione, '<null>') || '|' || ifnull(Note, '<null>') FROM Storico_Valute ORDER BY rowid");
    QStringList result;
    while (query.next())
        result << query.value(0).toString();
    return result;
}

// A history database made from the schema that ships with the program, holding one record per SQL
// value list ("'EUR/USD','20030315',1.2,'',NULL").
inline QString makeDatabase(const QString &path, const QStringList &values = {})
{
    QStringList statements =
        QString::fromUtf8("BEGIN;" + fileBytes(QStringLiteral(QUOTAZIONI_SCHEMA_FILE))).split(';');
    for (const QString &record : values)
        statements << "INSERT INTO Storico_Valute VALUES (" + record + ')';
    if (statements.size() < 4 || !writeFile(path, {}) || !exec(path, statements << "COMMIT"))
        qFatal("cannot make the database");
    return path;
}
