#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// The internet connection state as the status label reports it: connected or not, plus how.
struct ConnectionStatus
{
    enum Flag : quint32 { Modem = 1, Lan = 2, Proxy = 4, ModemBusy = 8 };
    bool connected = false;
    quint32 flags = 0;
};

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
