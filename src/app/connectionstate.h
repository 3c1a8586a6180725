#pragma once

#include "connectionstatus.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// The status label text: connected or not, then the last set flag in the order modem, LAN, proxy,
// modem busy overrides it.
QString connectionStateText(const ConnectionStatus &status);

class ConnectionQuery
{
public:
    virtual ~ConnectionQuery() = default;
    virtual ConnectionStatus query() = 0;
};

// The platform's network information when a backend loads (NetworkManager on Linux), else the
// kernel's routing table; a system proxy for the page address adds the proxy flag, an active dial-up
// connection the modem flag.
class SystemConnectionQuery : public ConnectionQuery
{
public:
    SystemConnectionQuery(std::function<QUrl()> pageUrl, std::function<bool()> dialupActive);
    ConnectionStatus query() override;

private:
    std::function<QUrl()> m_pageUrl;
    std::function<bool()> m_dialupActive;
};

// The interface of the default route in a /proc/net/route table, if there is one.
std::optional<QString> defaultRouteInterface(const QByteArray &routeTable);
