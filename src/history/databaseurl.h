#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <utility>

class QSqlDatabase;

// Where the history lives when it is on a PostgreSQL server: a libpq connection URI,
//   postgresql://[user[:password]@][host][:port][,host[:port]...][/dbname][?param=value&...]
// (also postgres://), read as libpq reads it: percent-encoding anywhere, a host in brackets for an
// IPv6 address, a host that starts with '/' (percent-encoded, or given as ?host=) for a socket folder,
// and query parameters over what the URI's parts say. Whatever the URI leaves out, libpq takes from
// the PG* variables, ~/.pgpass and its defaults, as every PostgreSQL client does.
struct DatabaseUrl
{
    QString host; // one or more, comma-separated; empty for libpq's default
    QString port; // one, or one per host, comma-separated; empty for the default
    QString databaseName;
    QString userName;
    QString password;
    QList<std::pair<QString, QString>> parameters; // the other keywords, decoded, in the URI's order

    // The URI as it was written, less its password (the part after "user:" and any password=
    // parameter): what messages show.
    QString displayText;

    // Seconds to wait for the server when neither the URI nor PGCONNECT_TIMEOUT says: a server that is
    // down or unreachable is reported within seconds instead of the system's minutes.
    static constexpr int defaultConnectTimeout = 5;

    static bool looksLikeUrl(const QString &text); // starts with one of the two schemes
    // nullopt with *error set (an Italian reason) when the text is not such a URI.
    static std::optional<DatabaseUrl> parse(const QString &text, QString *error = nullptr);

    // The connection options the driver passes to libpq beside host, port, database, user and password:
    // the parameters quoted as libpq wants, and the default time-out unless the URI or the environment
    // gives one.
    QString connectOptions(bool timeoutFromEnvironment) const;
    // Sets the connection's host, port, database, user, password and options.
    void applyTo(QSqlDatabase &db) const;
};
