#pragma once

// The program as the scheduler runs it, in a process of its own, and what it leaves in its database.

#include "common/files.h"

#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

// As under cron: the Italian locale, no desktop session, no display.
inline QProcessEnvironment batchEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("it_IT.UTF-8"));
    for (const char *name : {"XDG_RUNTIME_DIR", "DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// A statement on a connection of the test's own to an SQLite file; the rows as "a|b|c".
inline QStringList sqliteRows(const QString &database, const QString &sql)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(database);
        if (!db.open())
            return {QStringLiteral("<not opened>")};
        QSqlQuery statement(db);
        if (!statement.exec(sql))
            rows << "<failed> " + sql;
        while (statement.next()) {
            QStringList fields;
            for (int i = 0; i < statement.record().count(); ++i)
                fields << statement.value(i).toString();
            rows << fields.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return rows;
}
