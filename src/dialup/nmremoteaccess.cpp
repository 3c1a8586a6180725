#include "dialup/nmremoteaccess.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

using NmSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(NmSettings)

namespace {
const QString service = QStringLiteral("org.freedesktop.NetworkManager");
const QString managerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString managerInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString settingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString settingsInterface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString profileInterface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString activeInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString deviceInterface = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// NMActiveConnectionState and NMDeviceState values.
enum : quint32 { AcActivating = 1, AcActivated = 2, AcDeactivating = 3, AcDeactivated = 4 };
enum : quint32 {
    DevPrepare = 40,
    DevNeedAuth = 60,
    DevIpConfig = 70,
    DevActivated = 100,
    DevDeactivating = 110,
    DevFailed = 120
};

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<NmSettings>();
        return true;
    }();
    Q_UNUSED(registered);
}

QStringList objectPaths(const QVariant &value)
{
    QList<QDBusObjectPath> paths;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> paths;
    else
        paths = value.value<QList<QDBusObjectPath>>();
    QStringList result;
    for (const QDBusObjectPath &path : paths)
        result.append(path.path());
    return result;
}

// A profile's setting groups, or nothing when the profile vanished meanwhile.
NmSettings profileSettings(const QDBusConnection &bus, const QString &path)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, profileInterface, QStringLiteral("GetSettings"));
    const QDBusReply<NmSettings> reply = bus.call(call);
    return reply.isValid() ? reply.value() : NmSettings{};
}

QString profileType(const NmSettings &settings)
{
    return settings.value(QStringLiteral("connection")).value(QStringLiteral("type")).toString();
}

QString bluetoothType(const NmSettings &settings)
{
    return settings.value(QStringLiteral("bluetooth")).value(QStringLiteral("type")).toString();
}

// The setting group that carries the dial-up credentials of a profile.
QString credentialGroup(const NmSettings &settings)
{
    const QString type = profileType(settings);
    if (type != QStringLiteral("bluetooth"))
        return type;
    return settings.contains(QStringLiteral("cdma")) ? QStringLiteral("cdma") : QStringLiteral("gsm");
}

qint32 activationErrorCode(const QDBusError &error)
{
    const QString name = error.name();
    if (name.endsWith(QStringLiteral(".UnknownConnection")))
        return RasCode::CannotFindEntry;
    if (name.endsWith(QStringLiteral(".UnknownDevice")) ||
        name.endsWith(QStringLiteral(".ConnectionNotAvailable")))
        return RasCode::DeviceDoesNotExist;
    return RasCode::Unknown;
}

// NetworkManager cannot be reached: the service's connection manager is not there.
constexpr qint32 managerUnavailable = 711;
} // namespace

namespace NmMapping {
qint32 failureCode(quint32 reason)
{
    switch (reason) {
    case 0:  // none
    case 39: // user requested
    case 60: // replaced by a new activation
        return 0;
    case 23:
        return RasCode::LineBusy;
    case 24:
        return RasCode::NoDialTone;
    case 25: // modem: no carrier
    case 40: // carrier lost
        return RasCode::NoCarrier;
    case 26:
        return RasCode::NoAnswer;
    case 7: // no secrets: the credentials were refused or missing
        return RasCode::AuthenticationFailure;
    case 12:
    case 14:
        return RasCode::PppTimeout;
    case 13:
        return RasCode::PppTerminated;
    case 43:
        return RasCode::DeviceDoesNotExist;
    default:
        return RasCode::Unknown;
    }
}

RasStatus dialStatus(quint32 acState, quint32 deviceState, quint32 reason)
{
    if (deviceState == DevFailed) {
        const qint32 code = failureCode(reason);
        return {RasState::Disconnected, code ? code : RasCode::Unknown};
    }
    if (acState == AcActivated)
        return {RasState::Connected, 0};
    if (acState == AcDeactivating || acState == AcDeactivated || deviceState == DevDeactivating)
        return {RasState::Disconnected, failureCode(reason)};
    if (deviceState >= DevIpConfig)
        return {RasState::LogonNetwork, 0};
    if (deviceState >= DevNeedAuth)
        return {RasState::Authenticate, 0};
    if (deviceState >= DevPrepare)
        return {RasState::ConnectDevice, 0};
    return {RasState::OpenPort, 0};
}

bool isDialUpKind(const QString &connectionType, const QString &bluetoothType)
{
    if (connectionType == QStringLiteral("gsm") || connectionType == QStringLiteral("cdma") ||
        connectionType == QStringLiteral("pppoe"))
        return true;
    return connectionType == QStringLiteral("bluetooth") && bluetoothType == QStringLiteral("dun");
}
} // namespace NmMapping

NmRemoteAccess::NmRemoteAccess(const QDBusConnection &bus) : m_bus(bus)
{
    registerTypes();
}

QVariant NmRemoteAccess::property(const QString &path, const QString &interface, const QString &name,
                                  bool *ok) const
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = m_bus.call(call);
    const bool valid = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    if (ok)
        *ok = valid;
    return valid ? reply.arguments().constFirst().value<QDBusVariant>().variant() : QVariant();
}

QStringList NmRemoteAccess::activeConnections(bool *ok) const
{
    return objectPaths(property(managerPath, managerInterface, QStringLiteral("ActiveConnections"), ok));
}

bool NmRemoteAccess::isDialUpActiveConnection(const QString &activePath) const
{
    const QString type = property(activePath, activeInterface, QStringLiteral("Type")).toString();
    if (type != QStringLiteral("bluetooth"))
        return NmMapping::isDialUpKind(type, {});
    // Bluetooth can be a network access point as well as a dial-up modem: ask the profile.
    const QVariant profile = property(activePath, activeInterface, QStringLiteral("Connection"));
    return NmMapping::isDialUpKind(
        type, bluetoothType(profileSettings(m_bus, profile.value<QDBusObjectPath>().path())));
}

qint32 NmRemoteAccess::handleFor(const QString &activePath)
{
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (!it->closed && it->activePath == activePath)
            return it.key();
    }
    const qint32 handle = m_nextHandle++;
    m_connections.insert(handle, {activePath, {}, false});
    return handle;
}

qint32 NmRemoteAccess::dial(quintptr, const QString &entryName, const QString &userName,
                            const QString &password, qint32 &handle)
{
    QDBusMessage list = QDBusMessage::createMethodCall(service, settingsPath, settingsInterface,
                                                       QStringLiteral("ListConnections"));
    const QDBusMessage listed = m_bus.call(list);
    if (listed.type() != QDBusMessage::ReplyMessage || listed.arguments().isEmpty())
        return managerUnavailable;

    QString profilePath;
    NmSettings settings;
    for (const QString &path : objectPaths(listed.arguments().constFirst())) {
        const NmSettings candidate = profileSettings(m_bus, path);
        if (candidate.value(QStringLiteral("connection")).value(QStringLiteral("id")).toString() ==
                entryName &&
            NmMapping::isDialUpKind(profileType(candidate), bluetoothType(candidate))) {
            profilePath = path;
            settings = candidate;
            break;
        }
    }
    if (profilePath.isEmpty())
        return RasCode::CannotFindEntry;

    QDBusMessage reply;
    if (!userName.isEmpty() || !password.isEmpty()) {
        // A volatile copy: NetworkManager keeps it in memory and drops it when the activation ends.
        const QString group = credentialGroup(settings);
        if (!userName.isEmpty())
            settings[group].insert(QStringLiteral("username"), userName);
        if (!password.isEmpty())
            settings[group].insert(QStringLiteral("password"), password);
        settings[QStringLiteral("connection")].remove(QStringLiteral("uuid"));
        QDBusMessage call = QDBusMessage::createMethodCall(service, managerPath, managerInterface,
                                                           QStringLiteral("AddAndActivateConnection2"));
        call << QVariant::fromValue(settings) << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))
             << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))
             << QVariantMap{{QStringLiteral("persist"), QStringLiteral("volatile")}};
        reply = m_bus.call(call);
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() >= 2) {
            handle = handleFor(reply.arguments().at(1).value<QDBusObjectPath>().path());
            return RasCode::Success;
        }
        // A NetworkManager too old for volatile profiles still dials with the stored credentials.
        if (reply.errorName() != QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"))
            return activationErrorCode(QDBusError(reply));
    }

    QDBusMessage call = QDBusMessage::createMethodCall(service, managerPath, managerInterface,
                                                       QStringLiteral("ActivateConnection"));
    call << QVariant::fromValue(QDBusObjectPath(profilePath))
         << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))
         << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
    reply = m_bus.call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return activationErrorCode(QDBusError(reply));
    handle = handleFor(reply.arguments().constFirst().value<QDBusObjectPath>().path());
    return RasCode::Success;
}

qint32 NmRemoteAccess::findConnection(qint32 handle, Connection *&connection, bool &listed)
{
    const auto it = m_connections.find(handle);
    if (it == m_connections.end() || it->closed)
        return RasCode::InvalidHandle;
    bool ok = false;
    const QStringList active = activeConnections(&ok);
    if (!ok)
        return managerUnavailable;
    connection = &*it;
    listed = active.contains(it->activePath);
    return RasCode::Success;
}

qint32 NmRemoteAccess::connectStatus(qint32 handle, RasStatus &status)
{
    Connection *connection = nullptr;
    bool present = false;
    if (const qint32 code = findConnection(handle, connection, present); code != RasCode::Success)
        return code;
    // Still listed and still answering; otherwise the active connection is gone.
    quint32 acState = 0;
    if (present) {
        acState =
            property(connection->activePath, activeInterface, QStringLiteral("State"), &present).toUInt();
        const QStringList devices =
            objectPaths(property(connection->activePath, activeInterface, QStringLiteral("Devices")));
        if (!devices.isEmpty())
            connection->devicePath = devices.constFirst();
    }

    quint32 deviceState = 0;
    quint32 reason = 0;
    if (!connection->devicePath.isEmpty()) {
        deviceState = property(connection->devicePath, deviceInterface, QStringLiteral("State")).toUInt();
        const QVariant stateReason =
            property(connection->devicePath, deviceInterface, QStringLiteral("StateReason"));
        if (stateReason.canConvert<QDBusArgument>()) {
            const QDBusArgument argument = stateReason.value<QDBusArgument>();
            argument.beginStructure();
            quint32 state = 0;
            argument >> state >> reason;
            argument.endStructure();
        }
    }

    if (!present) {
        // If the device says why the connection went, report that failure once.
        connection->closed = true;
        const qint32 code = NmMapping::failureCode(reason);
        if (connection->devicePath.isEmpty() || code == 0)
            return RasCode::InvalidHandle;
        status = {RasState::Disconnected, code};
        return RasCode::Success;
    }
    status = NmMapping::dialStatus(acState, deviceState, reason);
    return RasCode::Success;
}

qint32 NmRemoteAccess::hangUp(qint32 handle)
{
    Connection *connection = nullptr;
    bool listed = false;
    if (const qint32 code = findConnection(handle, connection, listed); code != RasCode::Success)
        return code;
    if (!listed) {
        connection->closed = true;
        return RasCode::InvalidHandle;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, managerPath, managerInterface,
                                                       QStringLiteral("DeactivateConnection"));
    call << QVariant::fromValue(QDBusObjectPath(connection->activePath));
    const QDBusMessage reply = m_bus.call(call);
    if (reply.type() == QDBusMessage::ReplyMessage ||
        reply.errorName().endsWith(QStringLiteral(".ConnectionNotActive"))) {
        connection->closed = true;
        return reply.type() == QDBusMessage::ReplyMessage ? RasCode::Success : RasCode::InvalidHandle;
    }
    return RasCode::Unknown;
}

qint32 NmRemoteAccess::enumerate(QList<qint32> &handles)
{
    bool ok = false;
    const QStringList active = activeConnections(&ok);
    if (!ok)
        return managerUnavailable;
    handles.clear();
    for (const QString &path : active) {
        if (isDialUpActiveConnection(path))
            handles.append(handleFor(path));
    }
    return RasCode::Success;
}
