#pragma once

#include "base/runtimeerror.h"
#include "history/historyengine.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

// Stores many records per statement, with the same result as storing them one by one with
// RecordWriter: each (currency, day) overwrites the first record it matches or adds one, and a
// (currency, day) met twice ends with the values of its last line. One lookup per currency of the
// batch finds every day of it already stored, whether the batch holds one currency (a rates file)
// or several (days of the bank's history). Values are always bound, texts stored as RecordWriter
// stores them; new records are added in the order of the lines. The statements are the engine's
// own (SQLite's handle for a file).
class HistoryDb;

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

    explicit OfficialRatesBatch(const HistoryDb &db);

    // False when the engine cannot run the batch statements: store line by line instead.
    bool prepare();

    // Up to maxLines lines. On failure the database may hold part of the batch: the caller runs it
    // inside a savepoint and rolls back to it.
    bool write(const QList<Line> &lines);
    RuntimeError lastError() const { return m_error; }

private:
    using Statements = std::map<int, std::unique_ptr<EngineStatement>>;
    // The statement for a batch of that many rows, prepared once and kept.
    EngineStatement *prepared(Statements &cache, int rows, const QString &sql);
    // The lookup of up to `dates` days of one currency.
    EngineStatement *lookupFor(int dates);
    // Inserts and updates of rows that share their code and description (a rates file) bind them
    // once; rows of several currencies bind them on every row.
    EngineStatement *insertFor(int rows);
    EngineStatement *insertEachFor(int rows);
    EngineStatement *updateFor(int rows);
    EngineStatement *updateEachFor(int rows);
    // Runs the lines through statements of power-of-two sizes: `shared` binds first, then each line
    // its `columns` values.
    using Binder = std::function<void(EngineStatement &statement, int first, const Line &line)>;
    bool writeGroups(const QList<const Line *> &lines,
                     EngineStatement *(OfficialRatesBatch::*statementFor)(int), const QStringList &shared,
                     int columns, const Binder &bind);
    bool fail(const EngineStatement &statement);

    QSqlDatabase m_db;
    HistoryEngine *m_engine;
    SqlDialect m_dialect;
    Statements m_lookups;
    Statements m_inserts;
    Statements m_insertsEach;
    Statements m_updates;
    Statements m_updatesEach;
    RuntimeError m_error;
};
