#include "history/databaseurl.h"

#include <QSqlDatabase>
#include <QStringList>

namespace {

const QString kSchemes[] = {QStringLiteral("postgresql://"), QStringLiteral("postgres://")};

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

int hexValue(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

// libpq's decoding: every '%' must open two hex digits, a zero byte is refused, '+' stays a '+'.
bool decode(const QString &raw, QString *decoded, QString *error)
{
    if (!raw.contains(QLatin1Char('%'))) {
        *decoded = raw;
        return true;
    }
    QByteArray bytes;
    const QByteArray utf8 = raw.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes += utf8[i];
            continue;
        }
        const int high = i + 1 < utf8.size() ? hexValue(QLatin1Char(utf8[i + 1])) : -1;
        const int low = i + 2 < utf8.size() ? hexValue(QLatin1Char(utf8[i + 2])) : -1;
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return fail(error, QStringLiteral("codifica con % non valida in \"%1\"").arg(raw));
        bytes += char(high * 16 + low);
        i += 2;
    }
    *decoded = QString::fromUtf8(bytes);
    return true;
}

bool validPorts(const QString &ports)
{
    for (const QString &port : ports.split(QLatin1Char(','))) {
        if (port.isEmpty())
            continue;
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number < 1 || number > 65535 || port.startsWith(QLatin1Char('+')))
            return false;
    }
    return true;
}

bool validKeyword(const QString &key)
{
    if (key.isEmpty())
        return false;
    for (QChar c : key) {
        if (!(c >= QLatin1Char('a') && c <= QLatin1Char('z')) && c != QLatin1Char('_'))
            return false;
    }
    return true;
}

// A value as libpq's keyword=value syntax takes it: quoted, with backslash and quote escaped.
QString quoted(QString value)
{
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

bool DatabaseUrl::looksLikeUrl(const QString &text)
{
    for (const QString &scheme : kSchemes) {
        if (text.startsWith(scheme))
            return true;
    }
    return false;
}

std::optional<DatabaseUrl> DatabaseUrl::parse(const QString &text, QString *error)
{
    QString scheme;
    for (const QString &candidate : kSchemes) {
        if (text.startsWith(candidate))
            scheme = candidate;
    }
    if (scheme.isEmpty()) {
        fail(error, QStringLiteral("l'indirizzo deve cominciare con postgresql:// o postgres://"));
        return std::nullopt;
    }

    DatabaseUrl url;
    const QString rest = text.mid(scheme.size());
    qsizetype p = 0;
    url.displayText = scheme;

    // User and password: up to an '@' met before any '/', as libpq looks for it.
    const qsizetype at = rest.indexOf(QLatin1Char('@'));
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (at >= 0 && (slash < 0 || at < slash)) {
        const QString userInfo = rest.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        const QString rawUser = colon >= 0 ? userInfo.left(colon) : userInfo;
        if (!decode(rawUser, &url.userName, error))
            return std::nullopt;
        if (colon >= 0 && !decode(userInfo.mid(colon + 1), &url.password, error))
            return std::nullopt;
        if (!rawUser.isEmpty())
            url.displayText += rawUser + QLatin1Char('@');
        p = at + 1;
    }

    // Hosts with their ports, up to the database name or the parameters.
    const qsizetype hostStart = p;
    QStringList hosts, ports;
    while (true) {
        QString rawHost;
        if (p < rest.size() && rest[p] == QLatin1Char('[')) {
            const qsizetype close = rest.indexOf(QLatin1Char(']'), p);
            if (close < 0 || close == p + 1) {
                fail(error, QStringLiteral("indirizzo IPv6 tra [ ] non valido"));
                return std::nullopt;
            }
            rawHost = rest.mid(p + 1, close - p - 1);
            p = close + 1;
            if (p < rest.size() && !QStringLiteral(":/?,").contains(rest[p])) {
                fail(error, QStringLiteral("carattere non atteso dopo l'indirizzo IPv6"));
                return std::nullopt;
            }
        } else {
            const qsizetype start = p;
            while (p < rest.size() && !QStringLiteral(":/?,").contains(rest[p]))
                ++p;
            rawHost = rest.mid(start, p - start);
        }
        QString host;
        if (!decode(rawHost, &host, error))
            return std::nullopt;
        hosts << host;
        QString port;
        if (p < rest.size() && rest[p] == QLatin1Char(':')) {
            const qsizetype start = ++p;
            while (p < rest.size() && !QStringLiteral("/?,").contains(rest[p]))
                ++p;
            if (!decode(rest.mid(start, p - start), &port, error))
                return std::nullopt;
        }
        ports << port;
        if (p < rest.size() && rest[p] == QLatin1Char(','))
            ++p;
        else
            break;
    }
    url.displayText += rest.mid(hostStart, p - hostStart);
    url.host = hosts.join(QLatin1Char(','));
    if (url.host == QString(hosts.size() - 1, QLatin1Char(',')))
        url.host.clear();
    url.port = ports.join(QLatin1Char(','));
    if (url.port == QString(ports.size() - 1, QLatin1Char(',')))
        url.port.clear();

    // The database name, up to the parameters.
    if (p < rest.size() && rest[p] == QLatin1Char('/')) {
        const qsizetype start = p;
        qsizetype end = rest.indexOf(QLatin1Char('?'), p);
        if (end < 0)
            end = rest.size();
        if (!decode(rest.mid(start + 1, end - start - 1), &url.databaseName, error))
            return std::nullopt;
        url.displayText += rest.mid(start, end - start);
        p = end;
    }

    // Parameters; those naming a part of the URI take its place.
    if (p < rest.size() && rest[p] == QLatin1Char('?')) {
        QStringList shown;
        for (const QString &pair : rest.mid(p + 1).split(QLatin1Char('&'))) {
            const qsizetype equals = pair.indexOf(QLatin1Char('='));
            if (equals < 0) {
                fail(error, QStringLiteral("parametro senza \"=\": \"%1\"").arg(pair));
                return std::nullopt;
            }
            if (pair.indexOf(QLatin1Char('='), equals + 1) >= 0) {
                fail(error, QStringLiteral("parametro con più di un \"=\": \"%1\"").arg(pair));
                return std::nullopt;
            }
            QString key, value;
            if (!decode(pair.left(equals), &key, error) || !decode(pair.mid(equals + 1), &value, error))
                return std::nullopt;
            if (!validKeyword(key)) {
                fail(error, QStringLiteral("nome di parametro non valido: \"%1\"").arg(key));
                return std::nullopt;
            }
            if (key != QLatin1String("password"))
                shown << pair;
            if (key == QLatin1String("host")) {
                url.host = value;
            } else if (key == QLatin1String("port")) {
                url.port = value;
            } else if (key == QLatin1String("dbname")) {
                url.databaseName = value;
            } else if (key == QLatin1String("user")) {
                url.userName = value;
            } else if (key == QLatin1String("password")) {
                url.password = value;
            } else {
                // The driver turns ';' into a blank before libpq reads its options.
                if (value.contains(QLatin1Char(';'))) {
                    fail(error,
                         QStringLiteral("il carattere \";\" non è ammesso nel parametro \"%1\"").arg(key));
                    return std::nullopt;
                }
                // As libpq does, for addresses written for JDBC.
                if (key == QLatin1String("ssl") && value == QLatin1String("true"))
                    url.parameters.append({QStringLiteral("sslmode"), QStringLiteral("require")});
                else
                    url.parameters.append({key, value});
            }
        }
        if (!shown.isEmpty())
            url.displayText += QLatin1Char('?') + shown.join(QLatin1Char('&'));
    }

    if (!validPorts(url.port)) {
        fail(error, QStringLiteral("porta non valida: \"%1\"").arg(url.port));
        return std::nullopt;
    }
    return url;
}

QString DatabaseUrl::connectOptions(bool timeoutFromEnvironment) const
{
    QStringList options;
    bool timeoutGiven = timeoutFromEnvironment;
    if (port.contains(QLatin1Char(',')))
        options << QStringLiteral("port=") + quoted(port);
    for (const auto &[key, value] : parameters) {
        options << key + QLatin1Char('=') + quoted(value);
        timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
    }
    if (!timeoutGiven)
        options << QStringLiteral("connect_timeout=%1").arg(defaultConnectTimeout);
    return options.join(QLatin1Char(';'));
}

void DatabaseUrl::applyTo(QSqlDatabase &db) const
{
    db.setHostName(host);
    db.setPort(port.isEmpty() || port.contains(QLatin1Char(',')) ? -1 : port.toInt());
    db.setDatabaseName(databaseName);
    db.setUserName(userName);
    db.setPassword(password);
    db.setConnectOptions(connectOptions(qEnvironmentVariableIsSet("PGCONNECT_TIMEOUT")));
}
