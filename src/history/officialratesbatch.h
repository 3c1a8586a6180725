#pragma once

#include "base/runtimeerror.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <functional>

// Stores many lines of one rates file per statement, with the same result as storing them one by
// one with RecordWriter: each (currency, day) overwrites the first record it matches or adds one,
// and a day met twice ends with the values of its last line. A rates file holds a single currency,
// so one lookup per batch finds every day already stored. Values are always bound, texts stored
// as RecordWriter stores them.
class OfficialRatesBatch
{
public:
    struct Line
    {
        QString date;
        double rate = 0;
        QString note;
    };
    static constexpr int maxLines = 256;

    OfficialRatesBatch(const QSqlDatabase &db, const QString &code, const QString &description);

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
    // Runs the lines through statements of power-of-two sizes: `shared` binds first, then each line
    // its key (rowid or date), rate and note.
    bool writeGroups(const QList<const Line *> &lines, QSqlQuery *(OfficialRatesBatch::*statementFor)(int),
                     const QVariantList &shared, const std::function<QVariant(const Line &)> &key);

    QSqlDatabase m_db;
    QString m_code;
    QString m_description;
    QSqlQuery m_lookup;
    QHash<int, QSqlQuery> m_inserts;
    QHash<int, QSqlQuery> m_updates;
    RuntimeError m_error;
};
