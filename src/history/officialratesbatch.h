#pragma once

#include "base/runtimeerror.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <functional>

// Stores many records per statement, with the same result as storing them one by one with
// RecordWriter: each (currency, day) overwrites the first record it matches or adds one, and a
// (currency, day) met twice ends with the values of its last line. One lookup per batch finds every
// (currency, day) already stored, whether the batch holds one currency (a rates file) or many (a
// day of the bank's history). Values are always bound, texts stored as RecordWriter stores them.
class OfficialRatesBatch
{
public:
    struct Line
    {
        QString code;
        QString date;
        double rate = 0;
        QString description;
        QString note;
    };
    static constexpr int maxLines = 256;

    explicit OfficialRatesBatch(const QSqlDatabase &db);

    // False when the engine cannot run the batch statements: store line by line instead.
    bool prepare();

    // Up to maxLines lines. On failure the database may hold part of the batch: the caller runs it
    // inside a savepoint and rolls back to it.
    bool write(const QList<Line> &lines);
    RuntimeError lastError() const { return m_error; }

private:
    // The statement for a batch of that many rows, prepared once and kept.
    QSqlQuery *prepared(QHash<int, QSqlQuery> &cache, int rows, const QString &sql);
    QSqlQuery *insertFor(int rows);
    QSqlQuery *updateFor(int rows);
    // Runs the lines through statements of power-of-two sizes, binding `columns` values per line.
    using Binder = std::function<void(QSqlQuery &query, int first, const Line &line)>;
    bool writeGroups(const QList<const Line *> &lines, QSqlQuery *(OfficialRatesBatch::*statementFor)(int),
                     int columns, const Binder &bind);

    QSqlDatabase m_db;
    QSqlQuery m_lookup;
    QHash<int, QSqlQuery> m_inserts;
    QHash<int, QSqlQuery> m_updates;
    RuntimeError m_error;
};
