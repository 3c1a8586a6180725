#include "common/recordingdialogs.h"
#include "common/testmain.h"
#include "dialup/dialup.h"
#include "dialup/nmremoteaccess.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtDBus>

using namespace Qt::StringLiterals;
using NmSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(NmSettings)

namespace {
const QString nmService = u"org.freedesktop.NetworkManager"_s;
const QString managerPath = u"/org/freedesktop/NetworkManager"_s;
const QString activeInterface = u"org.freedesktop.NetworkManager.Connection.Active"_s;

// The template has no AddAndActivateConnection2; this one accepts only volatile profiles, so a
// successful dial proves the credentials were not meant to be stored.
const char *addAndActivate2 = R"(
if str(args[3].get('persist', '')) != 'volatile':
    raise dbus.exceptions.DBusException('only volatile here', name='org.freedesktop.NetworkManager.Failed')
conn = self.SettingsAddConnection(args[0])
active = self.activate_connection(self, conn, args[1], args[2])
ret = (dbus.ObjectPath(conn), active, dbus.Dictionary({}, signature='sv'))
)";

const auto pathArgument = [](const QString &path) { return QVariant::fromValue(QDBusObjectPath(path)); };

QVariant firstResult(const QString &path, const QString &interface, const QString &method,
                     const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(nmService, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::systemBus().call(message).arguments().value(0);
}

QVariant nmProperty(const QString &path, const QString &interface, const QString &name)
{
    return firstResult(path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s, {interface, name})
        .value<QDBusVariant>()
        .variant();
}

QStringList activeConnections()
{
    QStringList result;
    for (const auto &path :
         qdbus_cast<QList<QDBusObjectPath>>(nmProperty(managerPath, nmService, u"ActiveConnections"_s)))
        result << path.path();
    return result;
}

NmSettings settingsOf(const QString &profilePath)
{
    return qdbus_cast<NmSettings>(
        firstResult(profilePath, u"org.freedesktop.NetworkManager.Settings.Connection"_s, u"GetSettings"_s));
}
} // namespace

// NetworkManager as python-dbusmock's template plays it, on a private bus standing in for the system bus.
class TestNmRemoteAccess : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void mapping_data();
    void mapping();
    void dial_data();
    void dial();
    void hangUpEverythingLeavesTheLan();

private:
    void addProfile(const QString &id, const QString &type, NmSettings settings = {});

    QProcess m_daemon;
    QProcess m_mock;
    QString m_wiredActive;
    QMap<QString, QString> m_profiles; // id -> path
};

void TestNmRemoteAccess::addProfile(const QString &id, const QString &type, NmSettings settings)
{
    settings[u"connection"_s] = {{u"id"_s, id}, {u"type"_s, type}};
    m_profiles[id] = firstResult(managerPath + u"/Settings"_s, u"org.freedesktop.NetworkManager.Settings"_s,
                                 u"AddConnection"_s, {QVariant::fromValue(settings)})
                         .value<QDBusObjectPath>()
                         .path();
}

void TestNmRemoteAccess::initTestCase()
{
    qDBusRegisterMetaType<NmSettings>();
    const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (daemon.isEmpty() || QProcess::execute(u"/usr/bin/python3"_s, {u"-c"_s, u"import dbusmock"_s}) != 0)
        QSKIP("dbus-daemon or python3-dbusmock is not installed (scripts/setup.sh --tests installs them)");

    m_daemon.start(daemon, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
    QVERIFY2(m_daemon.waitForStarted(), qPrintable(m_daemon.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine(), 20000);
    const QByteArray address = m_daemon.readLine().trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address); // for the mock too
    // The mock logs every call on its output; an unread pipe would fill up and stall it.
    m_mock.setStandardOutputFile(QProcess::nullDevice());
    m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_mock.start(u"/usr/bin/python3"_s, {u"-m"_s, u"dbusmock"_s, u"--template"_s, u"networkmanager"_s});
    QVERIFY2(m_mock.waitForStarted(), qPrintable(m_mock.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::systemBus().interface()->isServiceRegistered(nmService), 30000);

    const QString mock = u"org.freedesktop.DBus.Mock"_s;
    firstResult(managerPath, mock, u"AddMethod"_s,
                {nmService, u"AddAndActivateConnection2"_s, u"a{sa{sv}}ooa{sv}"_s, u"ooa{sv}"_s,
                 QString::fromLatin1(addAndActivate2)});
    const QString ethernet =
        firstResult(managerPath, mock, u"AddEthernetDevice"_s, {u"mock_Ethernet1"_s, u"eth0"_s, 100})
            .toString();

    addProfile(u"Cavo"_s, u"802-3-ethernet"_s);
    addProfile(u"Tim"_s, u"gsm"_s,
               {{u"gsm"_s, {{u"apn"_s, u"ibox.tim.it"_s}, {u"username"_s, u"registrato"_s}}}});
    addProfile(u"Casa"_s, u"pppoe"_s, {{u"pppoe"_s, {{u"username"_s, u"casa"_s}}}});
    addProfile(u"Telefono"_s, u"bluetooth"_s,
               {{u"bluetooth"_s, {{u"type"_s, u"dun"_s}}}, {u"gsm"_s, {{u"apn"_s, u"web"_s}}}});
    addProfile(u"Auricolare"_s, u"bluetooth"_s, {{u"bluetooth"_s, {{u"type"_s, u"panu"_s}}}});

    m_wiredActive =
        firstResult(managerPath, nmService, u"ActivateConnection"_s,
                    {pathArgument(m_profiles.value(u"Cavo"_s)), pathArgument(ethernet), pathArgument(u"/"_s)})
            .value<QDBusObjectPath>()
            .path();
    QVERIFY(activeConnections().contains(m_wiredActive));
}

void TestNmRemoteAccess::cleanupTestCase()
{
    for (QProcess *process : {&m_mock, &m_daemon}) {
        process->kill();
        process->waitForFinished();
    }
}

// Every test starts with the LAN as the only active connection.
void TestNmRemoteAccess::cleanup()
{
    for (const QString &path : activeConnections())
        if (path != m_wiredActive)
            firstResult(managerPath, nmService, u"DeactivateConnection"_s, {pathArgument(path)});
}

void TestNmRemoteAccess::mapping_data()
{
    QTest::addColumn<QList<uint>>("nm"); // active connection's state, device's state, device's reason
    QTest::addColumn<QList<int>>("status");
    QTest::newRow("activating, no device yet") << QList<uint>{1, 0, 0} << QList<int>{0, 0};
    QTest::newRow("dialling") << QList<uint>{1, 40, 0} << QList<int>{2, 0};
    QTest::newRow("need auth") << QList<uint>{1, 60, 0} << QList<int>{5, 0};
    QTest::newRow("ip config") << QList<uint>{1, 70, 0} << QList<int>{21, 0};
    QTest::newRow("activated") << QList<uint>{2, 100, 0} << QList<int>{8192, 0};
    QTest::newRow("user hung up") << QList<uint>{4, 30, 39} << QList<int>{8193, 0};
    QTest::newRow("busy") << QList<uint>{1, 120, 23} << QList<int>{8193, 676};
    QTest::newRow("secrets refused") << QList<uint>{1, 120, 7} << QList<int>{8193, 691};
    QTest::newRow("ppp ended") << QList<uint>{4, 110, 13} << QList<int>{8193, 719};
    QTest::newRow("anything else") << QList<uint>{1, 120, 1} << QList<int>{8193, 635};
}

void TestNmRemoteAccess::mapping()
{
    QFETCH(QList<uint>, nm);
    const RasStatus status = NmMapping::dialStatus(nm[0], nm[1], nm[2]);
    QTEST((QList<int>{status.state, status.error}), "status");
}

void TestNmRemoteAccess::dial_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("group"); // the setting group that carries the credentials
    QTest::addColumn<int>("code");
    QTest::newRow("mobile broadband") << u"Tim"_s << u"mario"_s << u"segreto"_s << u"gsm"_s << 0;
    QTest::newRow("pppoe, stored credentials") << u"Casa"_s << QString() << QString() << u"pppoe"_s << 0;
    QTest::newRow("bluetooth dial-up") << u"Telefono"_s << u"u"_s << u"p"_s << u"gsm"_s << 0;
    QTest::newRow("unknown id") << u"Nessuna"_s << u"mario"_s << u"segreto"_s << QString() << 623;
    QTest::newRow("ethernet is no dial-up entry") << u"Cavo"_s << QString() << QString() << QString() << 623;
    QTest::newRow("bluetooth PAN is no dial-up")
        << u"Auricolare"_s << QString() << QString() << QString() << 623;
}

void TestNmRemoteAccess::dial()
{
    QFETCH(QString, entry);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, group);
    QFETCH(int, code);
    NmRemoteAccess access;
    const QStringList before = activeConnections();
    const QString stored = m_profiles.value(entry);
    const NmSettings storedBefore = code ? NmSettings() : settingsOf(stored);
    qint32 handle = 0;
    RasStatus status;
    QCOMPARE(access.dial(0, entry, user, password, handle), code);
    if (code != 0) {
        QCOMPARE(activeConnections(), before);
        return;
    }
    QVERIFY(handle > 0);
    const QString active = activeConnections().constLast();
    // Credentials go into a copy of the profile for this activation only; the stored one stays as it was.
    const QString used = nmProperty(active, activeInterface, u"Connection"_s).value<QDBusObjectPath>().path();
    QCOMPARE(used == stored, user.isEmpty() && password.isEmpty());
    QVERIFY(settingsOf(stored) == storedBefore);
    const QVariantMap given = settingsOf(used).value(group);
    QCOMPARE(given.value(u"username"_s).toString(),
             user.isEmpty() ? storedBefore[group][u"username"_s] : user);
    QCOMPARE(given.value(u"password"_s).toString(), password);
    QCOMPARE(given.value(u"apn"_s), storedBefore[group].value(u"apn"_s));

    QCOMPARE(access.connectStatus(handle, status), 0);
    QCOMPARE((QList<int>{status.state, status.error}), (QList<int>{8192, 0}));
    QCOMPARE(access.hangUp(handle), 0);
    QCOMPARE(activeConnections(), before);
    QCOMPARE(access.hangUp(handle), 6);
    QCOMPARE(access.connectStatus(handle, status), 6);
}

void TestNmRemoteAccess::hangUpEverythingLeavesTheLan()
{
    NmRemoteAccess access;
    qint32 first = 0, second = 0;
    QCOMPARE(access.dial(0, u"Tim"_s, u"mario"_s, u"segreto"_s, first), 0);
    QCOMPARE(access.dial(0, u"Telefono"_s, {}, {}, second), 0);

    QList<qint32> handles;
    QCOMPARE(access.enumerate(handles), 0);
    std::sort(handles.begin(), handles.end());
    QCOMPARE(handles, (QList<qint32>{first, second}));
    QVERIFY(dialUpConnectionActive(access));

    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    dialUp.HangUpAll(-1);
    QCOMPARE(activeConnections(), QStringList{m_wiredActive});
    QVERIFY(!dialUpConnectionActive(access));
}

QUOTAZIONI_TEST_MAIN(TestNmRemoteAccess)
#include "tst_nmremoteaccess.moc"
