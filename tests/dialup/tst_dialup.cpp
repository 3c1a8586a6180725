#include "connectionwait.h"
#include "dialup.h"
#include "loginras.h"
#include "rasrecords.h"
#include "rastexts.h"
#include "recordingdialogs.h"
#include "scriptedaccess.h"
#include "testmain.h"
#include "twips.h"

#ifndef Q_OS_WIN
#include "nmremoteaccess.h"
#endif

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using Ticks = QList<ScriptedAccess::Tick>;
Q_DECLARE_METATYPE(ScriptedAccess::Tick)

namespace {
std::string field(const std::vector<unsigned char> &bytes, std::size_t offset, std::size_t length)
{
    return std::string(bytes.begin() + std::ptrdiff_t(offset),
                       bytes.begin() + std::ptrdiff_t(offset + length));
}

// What a field must hold: the value cut to 256, a NUL, blanks to the end.
std::string expectedField(const std::string &value, std::size_t length)
{
    std::string text = value.substr(0, std::min<std::size_t>(256, length - 1));
    text += '\0';
    text.resize(length, ' ');
    return text;
}
QWidget *nextTabStop(QWidget *widget)
{
    QWidget *next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}
} // namespace

class TestDialUp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dialParams_data();
    void dialParams();
    void statusAndEnumerationRecords();
    void errorText_data();
    void errorText();
    void sharedErrorTexts_data();
    void sharedErrorTexts();
    void stateText_data();
    void stateText();

    void networkManagerMapping_data();
    void networkManagerMapping();
    void refusedDial_data();
    void refusedDial();
    void polling_data();
    void polling();
    void noSecondBoxWhileOneIsOpen();
    void cancelWhileDiallingKeepsPolling();
    void failedFirstQueryIgnoresEarlierDial();
    void hangUpAll_data();
    void hangUpAll();

    void loginWindowLayout_data();
    void loginWindowLayout();
    void loginWindowDialsAndFollows();

    void startupWait_data();
    void startupWait();
    void startupWaitDialsOncePerRun();
    void closeConnectionAtExit_data();
    void closeConnectionAtExit();
};

void TestDialUp::dialParams_data()
{
    QTest::addColumn<int>("entryLength");
    QTest::addColumn<int>("userLength");
    QTest::addColumn<int>("passwordLength");
    QTest::newRow("empty") << 0 << 0 << 0;
    QTest::newRow("short") << 3 << 5 << 8;
    QTest::newRow("exactly 256") << 256 << 256 << 256;
    QTest::newRow("257 is cut") << 257 << 257 << 257;
    QTest::newRow("far too long") << 1000 << 300 << 2000;
}

void TestDialUp::dialParams()
{
    QFETCH(int, entryLength);
    QFETCH(int, userLength);
    QFETCH(int, passwordLength);
    const std::string entry(std::size_t(entryLength), 'E'), user(std::size_t(userLength), 'U'),
        password(std::size_t(passwordLength), 'P');
    // The record's own field lengths from here on.
    const auto bytes = RasRecords::dialParams(entry, user, password);
    using namespace RasRecords;
    QCOMPARE(bytes.size(), std::size_t(1052));
    QCOMPARE(readUInt32(bytes, 0), 1052u);
    QVERIFY(field(bytes, entryNameOffset, entryNameLength) == expectedField(entry, entryNameLength));
    QVERIFY(field(bytes, userNameOffset, userNameLength) == expectedField(user, userNameLength));
    QVERIFY(field(bytes, passwordOffset, RasRecords::passwordLength) ==
            expectedField(password, RasRecords::passwordLength));
    // The phone number, callback number and domain are always sent empty.
    QVERIFY(field(bytes, phoneNumberOffset, phoneNumberLength) == expectedField({}, phoneNumberLength));
    QVERIFY(field(bytes, callbackNumberOffset, callbackNumberLength) ==
            expectedField({}, callbackNumberLength));
    QVERIFY(field(bytes, domainOffset, domainLength) == expectedField({}, domainLength));
    QCOMPARE(domainOffset + domainLength + 3, std::size_t(1052));
}

void TestDialUp::statusAndEnumerationRecords()
{
    auto status = RasRecords::connStatusRequest();
    QCOMPARE(status.size(), std::size_t(160));
    QCOMPARE(RasRecords::readUInt32(status, 0), 160u);
    status[4] = 0x00, status[5] = 0x20; // 8192
    status[8] = 0x96, status[9] = 0x02; // 662
    const auto read = RasRecords::readConnStatus(status);
    QCOMPARE(read.state, 8192);
    QCOMPARE(read.error, 662);

    auto array = RasRecords::connArrayRequest();
    QCOMPARE(array.size(), std::size_t(65 * 412));
    QCOMPARE(RasRecords::readUInt32(array, 0), 412u);
    QCOMPARE(RasRecords::readUInt32(array, 412), 0u); // only the first record's size is set
    QCOMPARE(RasRecords::connArrayByteCount, 26368u);
    array[4] = 0x11, array[412 + 4] = 0x22, array[64 * 412 + 4] = 0x33;
    QCOMPARE(RasRecords::readConnHandles(array, 0), std::vector<std::uint32_t>{});
    QCOMPARE(RasRecords::readConnHandles(array, 2), (std::vector<std::uint32_t>{0x11, 0x22}));
    // A count beyond the array reads no further than its end.
    QCOMPARE(RasRecords::readConnHandles(array, 1000).size(), std::size_t(65));
}

void TestDialUp::errorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "Errore non previsto (Cod. 0).";
    QTest::newRow("-1") << -1 << "Errore non previsto (Cod. -1).";
    QTest::newRow("600") << 600 << "Errore non previsto (Cod. 600).";
    QTest::newRow("601") << 601 << "Porta seriale non valida";
    QTest::newRow("602") << 602 << "Porta seriale già aperta";
    QTest::newRow("623") << 623 << "Impossibile trovare la connessione";
    QTest::newRow("671") << 671 << "errore nel file INI (DeviceType)";
    QTest::newRow("683") << 683 << "Errore nel file INI (DeviceType)";
    QTest::newRow("701") << 701 << "Velocità non supportata";
    QTest::newRow("711") << 711 << "Gestore delle connessione non inizializzato";
    QTest::newRow("750") << 750 << "Modulo errato";
    QTest::newRow("751") << 751 << "Errore non previsto (Cod. 751).";
    QTest::newRow("max") << 2147483647 << "Errore non previsto (Cod. 2147483647).";
}

void TestDialUp::errorText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(RasErrorText(code), text);
}

void TestDialUp::sharedErrorTexts_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("twin");
    QTest::newRow("660/678") << 660 << 660 << 678;
    QTest::newRow("670/682") << 670 << 670 << 682;
    QTest::newRow("672/684") << 672 << 672 << 684;
    QTest::newRow("673/687") << 673 << 673 << 687;
    QTest::newRow("674/685") << 674 << 674 << 685;
    QTest::newRow("675/686") << 675 << 675 << 686;
    QTest::newRow("688-689") << 688 << 689 << 688;
    QTest::newRow("724-726") << 724 << 726 << 724;
    QTest::newRow("732-738") << 732 << 738 << 732;
}

void TestDialUp::sharedErrorTexts()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, twin);
    for (int code = first; code <= last; ++code)
        QCOMPARE(RasErrorText(code), RasErrorText(twin));
    // Neighbours do not share it: a shifted table would.
    QVERIFY(RasErrorText(first - 1) != RasErrorText(first));
    QVERIFY(RasErrorText(last + 1) != RasErrorText(last));
}

void TestDialUp::stateText_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "Apertura della porta seriale in corso...";
    QTest::newRow("2") << 2 << "Chiamata in corso...";
    QTest::newRow("4") << 4 << "Modem rilevato.";
    QTest::newRow("5") << 5 << "Controllo accesso in corso...";
    QTest::newRow("6") << 6 << QString();
    QTest::newRow("14") << 14 << "Accesso convalidato";
    QTest::newRow("18") << 18 << QString();
    QTest::newRow("19") << 19 << "Accesso al server in corso...";
    QTest::newRow("21") << 21 << "Accesso alla rete in corso...";
    QTest::newRow("22") << 22 << "Errore. Stato non previsto (Cod. 22).";
    QTest::newRow("600") << 600 << QString();
    QTest::newRow("4096") << 4096 << QString();
    QTest::newRow("4099") << 4099 << "Password scaduta.";
    QTest::newRow("8192") << 8192 << "Connessione effettuata.";
    QTest::newRow("8193") << 8193 << "Disconnessione effettuata.";
    QTest::newRow("8194") << 8194 << "Errore. Stato non previsto (Cod. 8194).";
    QTest::newRow("-3") << -3 << "Errore. Stato non previsto (Cod. -3).";
}

void TestDialUp::stateText()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QCOMPARE(RasStateText(state), text);
    QCOMPARE(RasStateText(state).isNull(), text.isNull());
}

void TestDialUp::networkManagerMapping_data()
{
    QTest::addColumn<uint>("acState");
    QTest::addColumn<uint>("deviceState");
    QTest::addColumn<uint>("reason");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("error");
    QTest::newRow("activating, no device yet") << 1u << 0u << 0u << 0 << 0;
    QTest::newRow("dialling") << 1u << 40u << 0u << 2 << 0;
    QTest::newRow("need auth") << 1u << 60u << 0u << 5 << 0;
    QTest::newRow("ip config") << 1u << 70u << 0u << 21 << 0;
    QTest::newRow("activated") << 2u << 100u << 0u << 8192 << 0;
    QTest::newRow("user hung up") << 4u << 30u << 39u << 8193 << 0;
    QTest::newRow("busy") << 1u << 120u << 23u << 8193 << 676;
    QTest::newRow("no dial tone") << 1u << 120u << 24u << 8193 << 680;
    QTest::newRow("no carrier") << 1u << 120u << 25u << 8193 << 679;
    QTest::newRow("no answer") << 1u << 120u << 26u << 8193 << 678;
    QTest::newRow("secrets refused") << 1u << 120u << 7u << 8193 << 691;
    QTest::newRow("ppp start") << 1u << 120u << 12u << 8193 << 718;
    QTest::newRow("ppp ended") << 4u << 110u << 13u << 8193 << 719;
    QTest::newRow("no modem") << 1u << 120u << 43u << 8193 << 608;
    QTest::newRow("anything else") << 1u << 120u << 1u << 8193 << 635;
    QTest::newRow("failed without reason") << 1u << 120u << 0u << 8193 << 635;
}

void TestDialUp::networkManagerMapping()
{
#ifdef Q_OS_WIN
    QSKIP("NetworkManager is not used on Windows");
#else
    QFETCH(uint, acState);
    QFETCH(uint, deviceState);
    QFETCH(uint, reason);
    QFETCH(int, state);
    QFETCH(int, error);
    const RasStatus status = NmMapping::dialStatus(acState, deviceState, reason);
    QCOMPARE(status.state, state);
    QCOMPARE(status.error, error);
#endif
}

void TestDialUp::refusedDial_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("602 is silent") << 602 << QStringList();
    QTest::newRow("623") << 623
                         << QStringList{
                                "Errore di accesso remoto n. 623:\r\nImpossibile trovare la connessione"};
    QTest::newRow("outside the table")
        << 1 << QStringList{"Errore di accesso remoto n. 1:\r\nErrore non previsto (Cod. 1)."};
}

void TestDialUp::refusedDial()
{
    QFETCH(int, code);
    QFETCH(QStringList, messages);
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    access.dialResult = code;
    dialUp.DialConnection(0, QStringLiteral("Tim"), QStringLiteral("mario"), QStringLiteral("pw"));

    QCOMPARE(dialogs.texts(), messages);
    for (const auto &entry : dialogs.entries()) {
        QCOMPARE(entry.title, QStringLiteral("Accesso al Server"));
        QCOMPARE(entry.icon, UserDialogs::Icon::Critical);
        QCOMPARE(entry.buttons, UserDialogs::Buttons::Ok);
    }
    QCOMPARE(access.count(QStringLiteral("hangup 7")), 2);
    QVERIFY(!dialUp.isPolling());
    QCOMPARE(dialUp.phase(), DialUp::Phase::Refused);
    QCOMPARE(dialUp.statusLine(), QString());
}

void TestDialUp::polling_data()
{
    QTest::addColumn<Ticks>("ticks");
    QTest::addColumn<QStringList>("lines"); // every write into the status line, in order
    QTest::addColumn<QString>("last");
    QTest::addColumn<bool>("polling");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("hangUps");

    const QString opening = QStringLiteral("Apertura della porta seriale in corso...");
    const QString calling = QStringLiteral("Chiamata in corso...");
    QTest::newRow("same text written once")
        << Ticks{{0, 0, 0}, {0, 0, 0}, {0, 2, 0}, {0, 3, 0}} << QStringList{opening, calling} << calling
        << true << "Annulla" << QStringList() << 0;
    QTest::newRow("empty texts leave the line")
        << Ticks{{0, 5, 0}, {0, 6, 0}, {0, 600, 0}, {0, 13, 0}}
        << QStringList{"Controllo accesso in corso..."} << "Controllo accesso in corso..." << true
        << "Annulla" << QStringList() << 0;
    QTest::newRow("connected") << Ticks{{0, 19, 0}, {0, 8192, 0}}
                               << QStringList{"Accesso al server in corso...", "Connessione effettuata."}
                               << "Connessione effettuata." << false << "Disconetti" << QStringList() << 0;
    QTest::newRow("query fails") << Ticks{{0, 0, 0}, {6, 0, 0}}
                                 << QStringList{opening, "Errore non previsto (Cod. 6)."} << opening << false
                                 << "Annulla" << QStringList() << 1;
    QTest::newRow("error above 600") << Ticks{{0, 2, 0}, {0, 2, 678}}
                                     << QStringList{calling, "Nessuna risposta"} << "Nessuna risposta"
                                     << false << "Annulla" << QStringList() << 1;
    QTest::newRow("error 600 is none")
        << Ticks{{0, 2, 600}} << QStringList{calling} << calling << true << "Annulla" << QStringList() << 0;
    QTest::newRow("disconnected")
        << Ticks{{0, 2, 0}, {0, 8193, 0}, {6, 0, 0}} << QStringList{calling, "Disconnessione effettuata."}
        << "Disconnessione effettuata." << false << "Annulla"
        << QStringList{"Impossibile effettuare la connessione per Disconnessione effettuata."} << 1;
    QTest::newRow("disconnected with error")
        << Ticks{{0, 2, 0}, {0, 8193, 691}} << QStringList{calling, "Autenticazione fallita"}
        << "Autenticazione fallita" << false << "Annulla"
        << QStringList{"Impossibile effettuare la connessione per Autenticazione fallita"} << 2;
}

void TestDialUp::polling()
{
    QFETCH(Ticks, ticks);
    QFETCH(QStringList, lines);
    QFETCH(QString, last);
    QFETCH(bool, polling);
    QFETCH(QString, caption);
    QFETCH(QStringList, messages);
    QFETCH(int, hangUps);

    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    QSignalSpy written(&dialUp, &DialUp::statusLineChanged);
    dialUp.DialConnection(0, QStringLiteral("Tim"), {}, {});
    QVERIFY(dialUp.isPolling());
    for (const auto &tick : ticks)
        access.ticks.enqueue(tick);
    // Ticks as the timer would give them, while it runs.
    for (int i = 0; i < ticks.size() && dialUp.isPolling(); ++i)
        dialUp.PollDialStatus();

    QStringList seen;
    for (const auto &arguments : written)
        seen << arguments.at(0).toString();
    QCOMPARE(seen, lines);
    QCOMPARE(dialUp.LastStatusText(), last);
    QCOMPARE(dialUp.isPolling(), polling);
    QCOMPARE(dialUp.cancelCaption(), caption);
    QCOMPARE(dialogs.texts(), messages);
    for (const auto &entry : dialogs.entries()) {
        QCOMPARE(entry.title, appTitle());
        QCOMPARE(entry.icon, UserDialogs::Icon::None);
    }
    QCOMPARE(access.count(QStringLiteral("hangup 7")), hangUps);
}

void TestDialUp::noSecondBoxWhileOneIsOpen()
{
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    dialUp.DialConnection(0, QStringLiteral("Tim"), {}, {});
    access.ticks << ScriptedAccess::Tick{0, 8193, 0} << ScriptedAccess::Tick{0, 8193, 0}
                 << ScriptedAccess::Tick{0, 8193, 0};
    // Ticks that fall due while the box is open.
    dialogs.setWhileOpen([&](const RecordingDialogs::Entry &) {
        dialUp.PollDialStatus();
        dialUp.PollDialStatus();
    });
    dialUp.PollDialStatus();
    QCOMPARE(dialogs.texts().size(), 1);
    QCOMPARE(access.ticks.size(), 2); // the ticks during the box did not even query
    QVERIFY(!dialUp.isPolling());
}

void TestDialUp::cancelWhileDiallingKeepsPolling()
{
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    dialUp.DialConnection(0, QStringLiteral("Tim"), {}, {});
    access.ticks << ScriptedAccess::Tick{0, 0, 0} << ScriptedAccess::Tick{0, 0, 0};
    dialUp.PollDialStatus();
    dialUp.Command2_Click();
    QCOMPARE(access.count(QStringLiteral("hangup 7")), 1);
    QVERIFY(dialUp.isPolling());
    QCOMPARE(dialUp.statusLine(), QString());
    QCOMPARE(dialUp.LastStatusText(), QStringLiteral("Apertura della porta seriale in corso..."));
    // The same text as before is not written again into the emptied line.
    dialUp.PollDialStatus();
    QCOMPARE(dialUp.statusLine(), QString());
    // The connection is gone: the next tick stops the polling.
    dialUp.PollDialStatus();
    QVERIFY(!dialUp.isPolling());
    QCOMPARE(dialUp.statusLine(), QStringLiteral("Errore non previsto (Cod. 6)."));
    QVERIFY(dialogs.texts().isEmpty());
}

void TestDialUp::failedFirstQueryIgnoresEarlierDial()
{
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    // A first dial that ended disconnected...
    dialUp.DialConnection(0, QStringLiteral("Tim"), {}, {});
    access.ticks << ScriptedAccess::Tick{0, 8193, 0};
    dialUp.PollDialStatus();
    QCOMPARE(dialogs.texts().size(), 1);
    // ...must not make the second dial's failing first query report that disconnection again.
    dialUp.DialConnection(0, QStringLiteral("Tim"), {}, {});
    access.ticks << ScriptedAccess::Tick{6, 0, 0};
    dialUp.PollDialStatus();
    QCOMPARE(dialogs.texts().size(), 1);
    QVERIFY(!dialUp.isPolling());
}

void TestDialUp::hangUpAll_data()
{
    QTest::addColumn<QList<qint32>>("active");
    QTest::addColumn<int>("enumResult");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("attemptsBeforeGone"); // -1: never goes
    QTest::addColumn<QList<int>>("attempts");    // hang-up calls per active handle

    QTest::newRow("all") << QList<qint32>{3, 5, 9} << 0 << -1 << 2 << QList<int>{3, 3, 3};
    QTest::newRow("one handle") << QList<qint32>{3, 5, 9} << 0 << 5 << 2 << QList<int>{0, 3, 0};
    QTest::newRow("no such handle") << QList<qint32>{3, 5} << 0 << 4 << 0 << QList<int>{0, 0};
    QTest::newRow("none active") << QList<qint32>{} << 0 << -1 << 0 << QList<int>{};
    QTest::newRow("enumeration fails") << QList<qint32>{3} << 603 << -1 << 0 << QList<int>{0};
    QTest::newRow("never goes") << QList<qint32>{3, 5} << 0 << -1 << -1 << QList<int>{1000, 1000};
}

void TestDialUp::hangUpAll()
{
    QFETCH(QList<qint32>, active);
    QFETCH(int, enumResult);
    QFETCH(int, target);
    QFETCH(int, attemptsBeforeGone);
    QFETCH(QList<int>, attempts);
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    access.active = active;
    access.enumResult = enumResult;
    for (qint32 handle : active)
        access.hangUpsToGo[handle] = attemptsBeforeGone;
    dialUp.HangUpAll(target);
    for (int i = 0; i < active.size(); ++i)
        QCOMPARE(access.count(QStringLiteral("hangup %1").arg(active[i])), attempts[i]);
    QCOMPARE(access.count(QStringLiteral("hangup 0")), 0); // the module's own handle is not involved
    QVERIFY(dialogs.texts().isEmpty());
}

void TestDialUp::loginWindowLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("Label1") << "Label1" << Twips::rect(120, 240, 1935, 255) << "Nome Connessione";
    QTest::newRow("Text1") << "Text1" << Twips::rect(1560, 240, 2415, 285) << "";
    QTest::newRow("Label2") << "Label2" << Twips::rect(120, 720, 1215, 255) << "Nome Utente";
    QTest::newRow("Text2") << "Text2" << Twips::rect(1560, 720, 2415, 285) << "";
    QTest::newRow("Label3") << "Label3" << Twips::rect(120, 1200, 1335, 255) << "Password";
    QTest::newRow("Text3") << "Text3" << Twips::rect(1560, 1200, 2415, 285) << "";
    QTest::newRow("Command1") << "Command1" << Twips::rect(1560, 1560, 1215, 375) << "Connetti";
    QTest::newRow("Command2") << "Command2" << Twips::rect(2880, 1560, 1095, 375) << "Annulla";
    QTest::newRow("Label4") << "Label4" << Twips::rect(120, 2040, 3855, 255) << "";
}

void TestDialUp::loginWindowLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    LoginRas window(dialUp);
    QCOMPARE(window.objectName(), QStringLiteral("Login_RAS"));
    QCOMPARE(window.windowTitle(), QStringLiteral("RASApi Sample"));
    QCOMPARE(window.size(), Twips::rect(0, 0, 4125, 2445).size());
    auto *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QString shown;
    if (auto *label = qobject_cast<QLabel *>(widget))
        shown = label->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        shown = edit->text();
    else if (auto *button = qobject_cast<QPushButton *>(widget))
        shown = button->text();
    QCOMPARE(shown, text);
}

void TestDialUp::loginWindowDialsAndFollows()
{
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    LoginRas window(dialUp);

    window.Text3->setText(QStringLiteral("abc d"));
    QCOMPARE(window.Text3->displayText(), QStringLiteral("#####"));
    const QList<QWidget *> order{window.Text1, window.Text2, window.Text3, window.Command1, window.Command2};
    for (int i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(nextTabStop(order[i]), order[i + 1]);

    // The boxes go to the dial unaltered, spaces and all.
    window.Text1->setText(QStringLiteral(" Tim "));
    window.Text2->setText(QStringLiteral("mario "));
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    QCOMPARE(access.calls.value(0), QStringLiteral("dial  Tim |mario |abc d"));
    QCOMPARE(dialUp.DialEntryName, QStringLiteral(" Tim "));
    QCOMPARE(dialUp.DialPassword, QStringLiteral("abc d"));

    access.ticks << ScriptedAccess::Tick{0, 8192, 0};
    dialUp.PollDialStatus();
    QCOMPARE(window.Label4->text(), QStringLiteral("Connessione effettuata."));
    QCOMPARE(window.Command2->text(), QStringLiteral("Disconetti"));
    QTest::mouseClick(window.Command2, Qt::LeftButton);
    QCOMPARE(window.Command2->text(), QStringLiteral("Annulla"));
    QCOMPARE(window.Label4->text(), QString());

    const int before = access.count(QStringLiteral("hangup 7"));
    window.close();
    QCOMPARE(access.count(QStringLiteral("hangup 7")), before + 1);
}

void TestDialUp::startupWait_data()
{
    QTest::addColumn<QString>("entryName");
    QTest::addColumn<int>("dialResult");
    QTest::addColumn<QList<bool>>("connectedPerPass"); // the last value repeats
    QTest::addColumn<Ticks>("ticks");                  // one status tick per pass
    QTest::addColumn<int>("timeLimit");                // milliseconds
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("dials");
    QTest::addColumn<int>("passes");

    const auto connected = int(ConnectionWait::Outcome::Connected);
    QTest::newRow("connected at start")
        << "Tim" << 0 << QList<bool>{true} << Ticks{} << 60000 << connected << 0 << 1;
    QTest::newRow("no name") << "" << 0 << QList<bool>{false} << Ticks{} << 60000
                             << int(ConnectionWait::Outcome::NoEntryName) << 0 << 1;
    QTest::newRow("name begins with a space") << " Tim" << 0 << QList<bool>{false} << Ticks{} << 60000
                                              << int(ConnectionWait::Outcome::NoEntryName) << 0 << 1;
    QTest::newRow("dial, then connected")
        << "Tim" << 0 << QList<bool>{false, false, false, true}
        << Ticks{{0, 2, 0}, {0, 8192, 0}, {0, 8192, 0}, {0, 8192, 0}} << 60000 << connected << 1 << 4;
    QTest::newRow("dial refused") << "Tim" << 623 << QList<bool>{false} << Ticks{} << 60000
                                  << int(ConnectionWait::Outcome::DialFailed) << 1 << 1;
    QTest::newRow("dial fails later")
        << "Tim" << 0 << QList<bool>{false} << Ticks{{0, 2, 0}, {0, 2, 0}, {0, 2, 680}} << 60000
        << int(ConnectionWait::Outcome::DialFailed) << 1 << 4;
    QTest::newRow("time limit") << "Tim" << 0 << QList<bool>{false} << Ticks{{0, 2, 0}} << 0
                                << int(ConnectionWait::Outcome::TimedOut) << 1 << 1;
}

void TestDialUp::startupWait()
{
    QFETCH(QString, entryName);
    QFETCH(int, dialResult);
    QFETCH(QList<bool>, connectedPerPass);
    QFETCH(Ticks, ticks);
    QFETCH(int, timeLimit);
    QFETCH(int, outcome);
    QFETCH(int, dials);
    QFETCH(int, passes);

    ScriptedAccess access;
    access.dialResult = dialResult;
    for (const auto &tick : ticks)
        access.ticks.enqueue(tick);
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    int pass = 0;
    auto query = [&] {
        // A poll falls due in every pass once the dial runs.
        if (dialUp.isPolling())
            dialUp.PollDialStatus();
        const bool up = connectedPerPass.value(pass, connectedPerPass.constLast());
        ++pass;
        return ConnectionStatus{up, up ? 2u : 0u};
    };
    auto texts = [&] { return DialTexts{entryName, QStringLiteral("mario"), QStringLiteral("segreto")}; };
    ConnectionWait wait(dialUp, query, texts, 0);
    wait.setPassInterval(std::chrono::milliseconds(0));
    wait.setTimeLimit(std::chrono::milliseconds(timeLimit));

    QCOMPARE(int(wait.run()), outcome);
    QCOMPARE(access.calls.filter(QStringLiteral("dial ")).size(), dials);
    QCOMPARE(wait.passes(), passes);
    if (dials)
        QCOMPARE(access.calls.filter(QStringLiteral("dial ")).constFirst(),
                 QStringLiteral("dial %1|mario|segreto").arg(entryName));
    QCOMPARE(dialUp.DialEntryName, entryName);
}

void TestDialUp::startupWaitDialsOncePerRun()
{
    ScriptedAccess access;
    access.dialResult = 680;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    ConnectionWait first(
        dialUp, [] { return ConnectionStatus{}; },
        [] {
            return DialTexts{QStringLiteral("Tim"), {}, {}};
        },
        0);
    first.setPassInterval(std::chrono::milliseconds(0));
    QCOMPARE(first.run(), ConnectionWait::Outcome::DialFailed);
    // Start-up's connection check running again (a fresh wait object) must not dial a second time.
    ConnectionWait again(
        dialUp, [] { return ConnectionStatus{}; },
        [] {
            return DialTexts{QStringLiteral("Tim"), {}, {}};
        },
        0);
    again.setPassInterval(std::chrono::milliseconds(0));
    QCOMPARE(again.run(), ConnectionWait::Outcome::DialFailed);
    QCOMPARE(access.calls.filter(QStringLiteral("dial ")).size(), 1);
    QCOMPARE(dialogs.texts().size(), 1);
}

void TestDialUp::closeConnectionAtExit_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QList<qint32>>("active");
    QTest::addColumn<int>("hangUps");
    QTest::newRow("ok") << int(UserDialogs::Answer::Ok) << QList<qint32>{1, 2} << 2;
    QTest::newRow("cancel") << int(UserDialogs::Answer::Cancel) << QList<qint32>{1, 2} << 0;
    QTest::newRow("ok, nothing active") << int(UserDialogs::Answer::Ok) << QList<qint32>{} << 0;
}

void TestDialUp::closeConnectionAtExit()
{
    QFETCH(int, answer);
    QFETCH(QList<qint32>, active);
    QFETCH(int, hangUps);
    ScriptedAccess access;
    access.active = active;
    RecordingDialogs dialogs;
    dialogs.queueAnswer(UserDialogs::Answer(answer));
    DialUp dialUp(access, dialogs);
    askCloseConnection(dialogs, dialUp);

    QCOMPARE(dialogs.entries().size(), 1); // the hang-up itself says nothing
    const auto &entry = dialogs.entries().constFirst();
    QCOMPARE(entry.kind, RecordingDialogs::Entry::Kind::Question);
    QCOMPARE(entry.text, QStringLiteral("Vuoi chiudere la connessione Internet (S/N) ?"));
    QCOMPARE(entry.title, QStringLiteral("Fine programma"));
    QCOMPARE(entry.buttons, UserDialogs::Buttons::OkCancel);
    QCOMPARE(entry.icon, UserDialogs::Icon::None);
    QCOMPARE(access.calls.filter(QStringLiteral("hangup")).size(), hangUps);
}

QUOTAZIONI_TEST_MAIN(TestDialUp)
#include "tst_dialup.moc"
