#include "dialup.h"
#include "nmremoteaccess.h"
#include "recordingdialogs.h"
#include "testmain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

using NmSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(NmSettings)

namespace {
const QString nmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString managerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString activeInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");

// The template has no AddAndActivateConnection2; this one accepts only volatile profiles, so a
// successful dial proves the credentials were not meant to be stored.
const char *addAndActivate2 = R"(
if str(args[3].get('persist', '')) != 'volatile':
    raise dbus.exceptions.DBusException('only volatile here', name='org.freedesktop.NetworkManager.Failed')
conn = self.SettingsAddConnection(args[0])
active = self.activate_connection(self, conn, args[1], args[2])
ret = (dbus.ObjectPath(conn), active, dbus.Dictionary({}, signature='sv'))
)";
} // namespace

// NetworkManager as python-dbusmock's template plays it, on a private bus that stands in for the
// system bus.
class TestNmRemoteAccess : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void dial_data();
    void dial();
    void credentialsStayWithTheActivation();
    void hangUpEverythingLeavesTheLan();
    void unknownHandle();

private:
    QDBusConnection bus() const { return QDBusConnection::systemBus(); }
    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {});
    QVariant property(const QString &path, const QString &interface, const QString &name);
    QString addProfile(const NmSettings &settings);
    QStringList activeConnections();
    QString activeConnectionOf(const QString &id);
    NmSettings settingsOf(const QString &profilePath);

    QProcess m_daemon;
    QProcess m_mock;
    QString m_wiredActive;
    QMap<QString, QString> m_profiles; // id -> path
};

QDBusMessage TestNmRemoteAccess::call(const QString &path, const QString &interface, const QString &method,
                                      const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(nmService, path, interface, method);
    message.setArguments(arguments);
    return bus().call(message);
}

QVariant TestNmRemoteAccess::property(const QString &path, const QString &interface, const QString &name)
{
    const QDBusMessage reply = call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QString TestNmRemoteAccess::addProfile(const NmSettings &settings)
{
    const QDBusMessage reply = call(managerPath + QStringLiteral("/Settings"),
                                    QStringLiteral("org.freedesktop.NetworkManager.Settings"),
                                    QStringLiteral("AddConnection"), {QVariant::fromValue(settings)});
    return reply.arguments().value(0).value<QDBusObjectPath>().path();
}

QStringList TestNmRemoteAccess::activeConnections()
{
    QList<QDBusObjectPath> paths;
    property(managerPath, nmService, QStringLiteral("ActiveConnections")).value<QDBusArgument>() >> paths;
    QStringList result;
    for (const auto &path : paths)
        result << path.path();
    return result;
}

QString TestNmRemoteAccess::activeConnectionOf(const QString &id)
{
    for (const QString &path : activeConnections()) {
        if (property(path, activeInterface, QStringLiteral("Id")).toString() == id)
            return path;
    }
    return {};
}

NmSettings TestNmRemoteAccess::settingsOf(const QString &profilePath)
{
    const QDBusMessage reply =
        call(profilePath, QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection"),
             QStringLiteral("GetSettings"));
    NmSettings settings;
    reply.arguments().value(0).value<QDBusArgument>() >> settings;
    return settings;
}

void TestNmRemoteAccess::initTestCase()
{
    qDBusRegisterMetaType<NmSettings>();
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        QSKIP("dbus-daemon is not installed (scripts/setup.sh installs it)");
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        QSKIP("python3-dbusmock is not installed for /usr/bin/python3 (scripts/setup.sh installs it)");

    m_daemon.start(
        daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY2(m_daemon.waitForStarted(), qPrintable(m_daemon.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine(), 20000);
    const QByteArray address = m_daemon.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QString::fromLatin1(address));
    m_mock.setProcessEnvironment(environment);
    // The mock logs every call on its output; an unread pipe would fill up and stall it.
    m_mock.setStandardOutputFile(QProcess::nullDevice());
    m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_mock.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                  QStringLiteral("networkmanager")});
    QVERIFY2(m_mock.waitForStarted(), qPrintable(m_mock.errorString()));
    QVERIFY(bus().isConnected());
    QTRY_VERIFY_WITH_TIMEOUT(bus().interface()->isServiceRegistered(nmService), 30000);

    const QString mock = QStringLiteral("org.freedesktop.DBus.Mock");
    QDBusMessage reply =
        call(managerPath, mock, QStringLiteral("AddMethod"),
             {nmService, QStringLiteral("AddAndActivateConnection2"), QStringLiteral("a{sa{sv}}ooa{sv}"),
              QStringLiteral("ooa{sv}"), QString::fromLatin1(addAndActivate2)});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    reply = call(managerPath, mock, QStringLiteral("AddEthernetDevice"),
                 {QStringLiteral("mock_Ethernet1"), QStringLiteral("eth0"), 100});
    const QString ethernet = reply.arguments().value(0).toString();
    QVERIFY(!ethernet.isEmpty());

    const auto profile = [](const QString &id, const QString &type, const NmSettings &more = {}) {
        NmSettings settings = more;
        settings[QStringLiteral("connection")] = {{QStringLiteral("id"), id}, {QStringLiteral("type"), type}};
        return settings;
    };
    m_profiles[QStringLiteral("Cavo")] =
        addProfile(profile(QStringLiteral("Cavo"), QStringLiteral("802-3-ethernet")));
    m_profiles[QStringLiteral("Tim")] =
        addProfile(profile(QStringLiteral("Tim"), QStringLiteral("gsm"),
                           {{QStringLiteral("gsm"),
                             {{QStringLiteral("apn"), QStringLiteral("ibox.tim.it")},
                              {QStringLiteral("username"), QStringLiteral("registrato")}}}}));
    m_profiles[QStringLiteral("Casa")] = addProfile(
        profile(QStringLiteral("Casa"), QStringLiteral("pppoe"),
                {{QStringLiteral("pppoe"), {{QStringLiteral("username"), QStringLiteral("casa")}}}}));
    m_profiles[QStringLiteral("Telefono")] =
        addProfile(profile(QStringLiteral("Telefono"), QStringLiteral("bluetooth"),
                           {{QStringLiteral("bluetooth"), {{QStringLiteral("type"), QStringLiteral("dun")}}},
                            {QStringLiteral("gsm"), {{QStringLiteral("apn"), QStringLiteral("web")}}}}));
    m_profiles[QStringLiteral("Auricolare")] = addProfile(
        profile(QStringLiteral("Auricolare"), QStringLiteral("bluetooth"),
                {{QStringLiteral("bluetooth"), {{QStringLiteral("type"), QStringLiteral("panu")}}}}));
    for (const QString &path : std::as_const(m_profiles))
        QVERIFY(!path.isEmpty());

    reply = call(managerPath, nmService, QStringLiteral("ActivateConnection"),
                 {QVariant::fromValue(QDBusObjectPath(m_profiles.value(QStringLiteral("Cavo")))),
                  QVariant::fromValue(QDBusObjectPath(ethernet)),
                  QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))});
    m_wiredActive = reply.arguments().value(0).value<QDBusObjectPath>().path();
    QVERIFY(activeConnections().contains(m_wiredActive));
}

void TestNmRemoteAccess::cleanupTestCase()
{
    for (QProcess *process : {&m_mock, &m_daemon}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished();
        }
    }
}

// Every test starts with the LAN as the only active connection.
void TestNmRemoteAccess::cleanup()
{
    for (const QString &path : activeConnections()) {
        if (path != m_wiredActive)
            call(managerPath, nmService, QStringLiteral("DeactivateConnection"),
                 {QVariant::fromValue(QDBusObjectPath(path))});
    }
}

void TestNmRemoteAccess::dial_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::newRow("mobile broadband with credentials") << "Tim"
                                                       << "mario"
                                                       << "segreto" << 0;
    QTest::newRow("pppoe with the stored credentials") << "Casa"
                                                       << ""
                                                       << "" << 0;
    QTest::newRow("bluetooth dial-up") << "Telefono"
                                       << "u"
                                       << "p" << 0;
    QTest::newRow("unknown id") << "Nessuna"
                                << "mario"
                                << "segreto" << 623;
    QTest::newRow("ethernet is no dial-up entry") << "Cavo"
                                                  << ""
                                                  << "" << 623;
    QTest::newRow("bluetooth network access is none either") << "Auricolare"
                                                             << ""
                                                             << "" << 623;
}

void TestNmRemoteAccess::dial()
{
    QFETCH(QString, entry);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, code);
    NmRemoteAccess access;
    const QStringList before = activeConnections();
    qint32 handle = 0;
    QCOMPARE(access.dial(0, entry, user, password, handle), code);
    if (code != 0) {
        QCOMPARE(handle, 0);
        QCOMPARE(activeConnections(), before);
        return;
    }
    QVERIFY(handle > 0);
    const QString active = activeConnectionOf(entry);
    QVERIFY(!active.isEmpty());

    RasStatus status;
    QCOMPARE(access.connectStatus(handle, status), 0);
    QCOMPARE(status.state, 8192);
    QCOMPARE(status.error, 0);
    QCOMPARE(access.hangUp(handle), 0);
    QVERIFY(!activeConnections().contains(active));
    QCOMPARE(access.hangUp(handle), 6);
    QCOMPARE(access.connectStatus(handle, status), 6);
}

void TestNmRemoteAccess::credentialsStayWithTheActivation()
{
    NmRemoteAccess access;
    qint32 handle = 0;
    QCOMPARE(
        access.dial(0, QStringLiteral("Tim"), QStringLiteral("mario"), QStringLiteral("segreto"), handle), 0);
    const QString active = activeConnectionOf(QStringLiteral("Tim"));
    const QString used =
        property(active, activeInterface, QStringLiteral("Connection")).value<QDBusObjectPath>().path();
    const QString stored = m_profiles.value(QStringLiteral("Tim"));
    QVERIFY(used != stored);
    QCOMPARE(settingsOf(used).value(QStringLiteral("gsm")).value(QStringLiteral("username")).toString(),
             QStringLiteral("mario"));
    QCOMPARE(settingsOf(used).value(QStringLiteral("gsm")).value(QStringLiteral("password")).toString(),
             QStringLiteral("segreto"));
    QCOMPARE(settingsOf(used).value(QStringLiteral("gsm")).value(QStringLiteral("apn")).toString(),
             QStringLiteral("ibox.tim.it"));
    // The stored profile is left as it was.
    const QVariantMap storedGsm = settingsOf(stored).value(QStringLiteral("gsm"));
    QCOMPARE(storedGsm.value(QStringLiteral("username")).toString(), QStringLiteral("registrato"));
    QVERIFY(!storedGsm.contains(QStringLiteral("password")));
}

void TestNmRemoteAccess::hangUpEverythingLeavesTheLan()
{
    NmRemoteAccess access;
    qint32 first = 0;
    qint32 second = 0;
    QCOMPARE(access.dial(0, QStringLiteral("Tim"), QStringLiteral("mario"), QStringLiteral("segreto"), first),
             0);
    QCOMPARE(access.dial(0, QStringLiteral("Telefono"), {}, {}, second), 0);
    QCOMPARE(activeConnections().size(), 3);

    QList<qint32> handles;
    QCOMPARE(access.enumerate(handles), 0);
    std::sort(handles.begin(), handles.end());
    QCOMPARE(handles, (QList<qint32>{first, second}));
    QVERIFY(dialUpConnectionActive(access));

    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    dialUp.HangUpAll(-1);
    QCOMPARE(activeConnections(), QStringList{m_wiredActive});
    QCOMPARE(access.enumerate(handles), 0);
    QVERIFY(handles.isEmpty());
    QVERIFY(!dialUpConnectionActive(access));
}

void TestNmRemoteAccess::unknownHandle()
{
    NmRemoteAccess access;
    RasStatus status;
    QCOMPARE(access.connectStatus(0, status), 6);
    QCOMPARE(access.connectStatus(42, status), 6);
    QCOMPARE(access.hangUp(42), 6);
}

QUOTAZIONI_TEST_MAIN(TestNmRemoteAccess)
#include "tst_nmremoteaccess.moc"
