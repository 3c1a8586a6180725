#include "history/historyengine.h"

#include "history/cursorlisting.h"
#include "history/historydb.h"
#include "history/postgresengine.h"
#include "history/sqliteengine.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

// A statement through Qt's driver.
class QtStatement final : public EngineStatement
{
public:
    explicit QtStatement(const QSqlDatabase &db) : m_query(db) { m_query.setForwardOnly(true); }

    bool prepare(const QString &sql) override { return m_query.prepare(sql) || keepError(m_error, m_query); }
    void bindText(int index, const QString &text) override { m_query.bindValue(index, text); }
    void bindNumber(int index, double value) override { m_query.bindValue(index, value); }
    void bindKey(int index, const QVariant &key) override { m_query.bindValue(index, key); }
    bool exec() override
    {
        m_error = {};
        return m_query.exec() || keepError(m_error, m_query);
    }
    bool next() override
    {
        if (m_query.next())
            return true;
        if (m_query.lastError().isValid())
            keepError(m_error, m_query);
        return false;
    }
    QString text(int column) const override { return m_query.value(column).toString(); }
    QVariant key(int column) const override { return m_query.value(column); }
    void finish() override { m_query.finish(); }
    RuntimeError error() const override { return m_error; }

private:
    QSqlQuery m_query;
    RuntimeError m_error;
};

} // namespace

std::unique_ptr<RecordCursor> HistoryEngine::listing(const QSqlDatabase &)
{
    return nullptr;
}

std::unique_ptr<ListingReader> HistoryEngine::listingReader(const QSqlDatabase &db, qint64)
{
    return std::make_unique<CursorListingReader>(listing(db));
}

std::optional<ChangeToken> HistoryEngine::changeToken(const QSqlDatabase &, qint64)
{
    return std::nullopt;
}

std::unique_ptr<EngineStatement> HistoryEngine::statement(const QSqlDatabase &db)
{
    return std::make_unique<QtStatement>(db);
}

std::unique_ptr<HistoryEngine> makeHistoryEngine(const QString &location, QString *error)
{
    if (!DatabaseUrl::looksLikeUrl(location))
        return std::make_unique<SqliteEngine>(location);
    const std::optional<DatabaseUrl> url = DatabaseUrl::parse(location, error);
    if (!url)
        return nullptr;
    return std::make_unique<PostgresEngine>(*url);
}
