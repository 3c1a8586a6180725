#include "history/historyengine.h"

#include "history/postgresengine.h"
#include "history/sqliteengine.h"

std::unique_ptr<HistoryEngine> makeHistoryEngine(const QString &location, QString *error)
{
    if (!DatabaseUrl::looksLikeUrl(location))
        return std::make_unique<SqliteEngine>(location);
    const std::optional<DatabaseUrl> url = DatabaseUrl::parse(location, error);
    if (!url)
        return nullptr;
    return std::make_unique<PostgresEngine>(*url);
}
