#pragma once

// History databases made and read by the tests, on connections of their own as another program's.

#include "common/files.h"
#include "history/historydb.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <algorithm>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// A record as an SQL value list, Note NULL; the quote is SQL as it stands ("1.2", "NULL", "'abc'").
inline QString rec(const QString &code, const QString &date, const QString &quote,
                   const QString &description = {})
{
    return QStringLiteral("'%1','%2',%3,'%4',NULL").arg(code, date, quote, description);
}

// Statements run on a connection of the test's own, as another program would; a failure is printed.
inline bool exec(const QString &location, const QStringList &statements)
{
    HistoryDb side;
    bool ok = !side.open(location).isError();
    for (const QString &sql : statements) {
        QSqlQuery query(side.database());
        if (ok && !sql.trimmed().isEmpty() && !(ok = query.exec(sql)))
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    }
    return ok;
}

// Every record as "code|date|rate|description|note", "<null>" for NULL: in table order on SQLite,
// sorted when asked (a server keeps no order).
inline QStringList records(const QString &location, bool sorted = false)
{
    HistoryDb side;
    if (side.open(location).isError())
        return {QStringLiteral("<not opened>")};
    QSqlQuery query(side.database());
    query.exec(
        QStringLiteral("SELECT Tipo_Valuta, Data_Valuta, Quotazione, Descrizione, Note FROM Storico_Valute") +
        (side.database().driverName() == QLatin1String("QSQLITE") ? " ORDER BY rowid" : ""));
    QStringList result;
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < 5; ++i) {
            const QVariant value = query.value(i);
            fields << (value.isNull() ? QStringLiteral("<null>")
                       : i == 2       ? QString::number(value.toDouble(), 'g', 15)
                                      : value.toString());
        }
        result << fields.join(QLatin1Char('|'));
    }
    if (sorted)
        std::sort(result.begin(), result.end());
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

// A connection of another program's, through the driver alone: the program's own opening would
// change the file.
class OtherProgram
{
public:
    explicit OtherProgram(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        m_open = db.open();
    }
    ~OtherProgram()
    {
        QSqlDatabase::database(QStringLiteral("other"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }
    bool exec(const QString &sql)
    {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("other"), false));
        const bool ok = m_open && query.exec(sql);
        if (!ok)
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return ok;
    }

private:
    bool m_open = false;
};

// While it lives, this thread is held to the files' permissions even when it runs as root (which
// otherwise writes a read-only file): the capabilities that pass over them are set aside from its
// effective set and taken back at the end. A test of a read-only file needs it to mean anything.
class FilePermissionsApply
{
public:
    FilePermissionsApply()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (syscall(SYS_capget, &header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (unsigned capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[capability / 32].effective &= ~(1u << (capability % 32));
        m_changed = syscall(SYS_capset, &header, reduced) == 0;
    }
    ~FilePermissionsApply()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (m_changed)
            syscall(SYS_capset, &header, m_saved);
    }
    FilePermissionsApply(const FilePermissionsApply &) = delete;
    FilePermissionsApply &operator=(const FilePermissionsApply &) = delete;

private:
    __user_cap_data_struct m_saved[2] = {};
    bool m_changed = false;
};
