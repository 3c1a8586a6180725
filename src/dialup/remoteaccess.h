#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <memory>

// Result codes and connection states of the remote-access service that the dial logic tells apart.
namespace RasCode {
constexpr qint32 Success = 0;
constexpr qint32 InvalidHandle = 6; // the handle no longer names a connection
constexpr qint32 Pending = 600;     // an error code up to this value is no error
constexpr qint32 PortAlreadyOpen = 602;
constexpr qint32 BufferTooSmall = 603;
constexpr qint32 DeviceDoesNotExist = 608;
constexpr qint32 CannotFindEntry = 623;
constexpr qint32 Unknown = 635;
constexpr qint32 LineBusy = 676;
constexpr qint32 NoAnswer = 678;
constexpr qint32 NoCarrier = 679;
constexpr qint32 NoDialTone = 680;
constexpr qint32 AuthenticationFailure = 691;
constexpr qint32 PppTimeout = 718;
constexpr qint32 PppTerminated = 719;
} // namespace RasCode

namespace RasState {
constexpr qint32 OpenPort = 0;
constexpr qint32 ConnectDevice = 2;
constexpr qint32 Authenticate = 5;
constexpr qint32 LogonNetwork = 21;
constexpr qint32 Connected = 8192;
constexpr qint32 Disconnected = 8193;
} // namespace RasState

struct RasStatus
{
    qint32 state = 0;
    qint32 error = 0; // 0, or a code above 600 when the connection failed
};

// The calls into the platform's dial-up service. Handles are small numbers handed out by dial() and
// enumerate(); every call answers with one of the codes above and never shows anything.
class RemoteAccess
{
public:
    virtual ~RemoteAccess() = default;

    // Starts a dial of the phonebook entry and returns at once; on Success `handle` names it.
    // notifyWindow is the native handle of the window the service may post its progress to.
    virtual qint32 dial(quintptr notifyWindow, const QString &entryName, const QString &userName,
                        const QString &password, qint32 &handle) = 0;
    virtual qint32 connectStatus(qint32 handle, RasStatus &status) = 0;
    virtual qint32 hangUp(qint32 handle) = 0;
    // Only dial-up kinds of connection: hanging up "everything" must never drop the LAN.
    virtual qint32 enumerate(QList<qint32> &handles) = 0;
};

// The backend of the platform the program was built for.
std::unique_ptr<RemoteAccess> createRemoteAccess();

// True when a dial-up kind of connection is up; lets the connection-state query report a modem.
bool dialUpConnectionActive(RemoteAccess &access);
