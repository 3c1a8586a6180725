#pragma once

#include "dialup/remoteaccess.h"

#include <QDBusConnection>
#include <QMap>
#include <QVariantMap>

// Device and active-connection states and device-state reasons of NetworkManager, turned into the
// states and error codes the dial logic understands.
namespace NmMapping {
// The reason NetworkManager gives for a device failing, as the closest error code (0: no failure).
qint32 failureCode(quint32 reason);
// acState: the active connection's state; deviceState: its first device's state (0 when none).
RasStatus dialStatus(quint32 acState, quint32 deviceState, quint32 reason);
// Mobile broadband, PPPoE and Bluetooth dial-up; never Ethernet, Wi-Fi or VPN.
bool isDialUpKind(const QString &connectionType, const QString &bluetoothType);
} // namespace NmMapping

// Dial-up through NetworkManager on the system bus. The phonebook entry is the dial-up profile whose
// id equals the entry name; a user name and password given to dial() go into a volatile copy of that
// profile, so they serve that one activation and never reach the disk.
class NmRemoteAccess : public RemoteAccess
{
public:
    explicit NmRemoteAccess(const QDBusConnection &bus = QDBusConnection::systemBus());

    qint32 dial(quintptr notifyWindow, const QString &entryName, const QString &userName,
                const QString &password, qint32 &handle) override;
    qint32 connectStatus(qint32 handle, RasStatus &status) override;
    qint32 hangUp(qint32 handle) override;
    qint32 enumerate(QList<qint32> &handles) override;

private:
    struct Connection
    {
        QString activePath;
        QString devicePath;
        bool closed = false; // hung up by us, or seen gone
    };

    QVariant property(const QString &path, const QString &interface, const QString &name,
                      bool *ok = nullptr) const;
    QStringList activeConnections(bool *ok = nullptr) const;
    // The open record of a handle, and whether NetworkManager still lists it as active; the code
    // tells an unknown or closed handle and an unanswering NetworkManager apart.
    qint32 findConnection(qint32 handle, Connection *&connection, bool &listed);
    bool isDialUpActiveConnection(const QString &activePath) const;
    qint32 handleFor(const QString &activePath);

    QDBusConnection m_bus;
    QMap<qint32, Connection> m_connections;
    qint32 m_nextHandle = 1;
};
