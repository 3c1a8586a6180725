#include "dialup/connectionstate.h"

#include <QFile>
#include <QNetworkInformation>
#include <QNetworkProxyFactory>

QString connectionStateText(const ConnectionStatus &status)
{
    QString text = status.connected ? QStringLiteral("Connected to the Internet")
                                    : QStringLiteral("Not Connected to the Internet");
    if (status.flags & ConnectionStatus::Modem)
        text = QStringLiteral("Connection Via Modem");
    if (status.flags & ConnectionStatus::Lan)
        text = QStringLiteral("Connecion Via LAN");
    if (status.flags & ConnectionStatus::Proxy)
        text = QStringLiteral("Connection uses a Proxy");
    if (status.flags & ConnectionStatus::ModemBusy)
        text = QStringLiteral("Connection Via Modem but modem is busy");
    return text;
}

std::optional<QString> defaultRouteInterface(const QByteArray &routeTable)
{
    const QList<QByteArray> lines = routeTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line holds the column names
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        // Iface, Destination, Gateway, Flags: a default route is destination 0 and flag RTF_UP set.
        if (fields.size() < 4 || fields.at(1) != "00000000")
            continue;
        bool ok = false;
        const uint flags = fields.at(3).toUInt(&ok, 16);
        if (ok && (flags & 0x1))
            return QString::fromLatin1(fields.at(0));
    }
    return std::nullopt;
}

SystemConnectionQuery::SystemConnectionQuery(std::function<QUrl()> pageUrl,
                                             std::function<bool()> dialupActive)
    : m_pageUrl(std::move(pageUrl)), m_dialupActive(std::move(dialupActive))
{}

ConnectionStatus SystemConnectionQuery::query()
{
    ConnectionStatus status;
    QNetworkInformation *info = QNetworkInformation::instance();
    if (!info && QNetworkInformation::loadDefaultBackend())
        info = QNetworkInformation::instance();

    if (info && info->reachability() != QNetworkInformation::Reachability::Unknown) {
        status.connected = info->reachability() == QNetworkInformation::Reachability::Online;
        switch (info->transportMedium()) {
        case QNetworkInformation::TransportMedium::Ethernet:
        case QNetworkInformation::TransportMedium::WiFi:
            status.flags |= ConnectionStatus::Lan;
            break;
        case QNetworkInformation::TransportMedium::Cellular:
        case QNetworkInformation::TransportMedium::Bluetooth:
            status.flags |= ConnectionStatus::Modem;
            break;
        default:
            break;
        }
    } else {
        QFile routes(QStringLiteral("/proc/net/route"));
        if (routes.open(QIODevice::ReadOnly)) {
            if (const auto iface = defaultRouteInterface(routes.readAll())) {
                status.connected = true;
                status.flags |=
                    iface->startsWith(QLatin1String("ppp")) ? ConnectionStatus::Modem : ConnectionStatus::Lan;
            }
        }
    }

    if (m_dialupActive && m_dialupActive())
        status.flags |= ConnectionStatus::Modem;
    const QUrl url = m_pageUrl ? m_pageUrl() : QUrl();
    if (url.isValid() && !url.host().isEmpty()) {
        const QList<QNetworkProxy> proxies =
            QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
        if (!proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy)
            status.flags |= ConnectionStatus::Proxy;
    }
    return status;
}
