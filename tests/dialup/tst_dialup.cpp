#include "common/recordingdialogs.h"
#include "common/testmain.h"
#include "dialup/connectionwait.h"
#include "dialup/dialup.h"
#include "dialup/loginras.h"
#include "dialup/rasrecords.h"
#include "dialup/rastexts.h"

#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QQueue>

using namespace Qt::StringLiterals;

namespace {
// Stands in for the modem and the dial-up service: replays scripted results, records dials and hang-ups.
class ScriptedAccess : public RemoteAccess
{
public:
    struct Tick
    {
        qint32 state = 0, error = 0, query = 0;
    };
    qint32 dialResult = 0;
    QQueue<Tick> ticks; // status answers, in order; none left: the handle is gone
    qint32 enumResult = 0;
    QList<qint32> active;          // handles enumerated
    QMap<qint32, int> hangUpsToGo; // attempts before a handle is gone (absent: gone at once, -1: never)
    QStringList calls;

    qint32 dial(quintptr, const QString &entryName, const QString &userName, const QString &password,
                qint32 &handle) override
    {
        calls << QStringLiteral("dial %1|%2|%3").arg(entryName, userName, password);
        handle = 7;
        return dialResult;
    }
    qint32 connectStatus(qint32, RasStatus &status) override
    {
        const Tick tick = ticks.isEmpty() ? Tick{0, 0, RasCode::InvalidHandle} : ticks.dequeue();
        if (tick.query == RasCode::Success)
            status = {tick.state, tick.error};
        return tick.query;
    }
    qint32 hangUp(qint32 handle) override
    {
        calls << QStringLiteral("hangup %1").arg(handle);
        int &left = hangUpsToGo[handle];
        if (left == 0)
            return RasCode::InvalidHandle;
        if (left > 0)
            --left;
        return RasCode::Success;
    }
    qint32 enumerate(QList<qint32> &handles) override
    {
        if (enumResult == RasCode::Success)
            handles = active;
        return enumResult;
    }
    int count(const QString &call) const { return int(calls.count(call)); }
};

using Outcome = ConnectionWait::Outcome;

QWidget *nextTabStop(QWidget *widget)
{
    QWidget *next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

// Steps of a scripted dial that are not status answers.
constexpr qint32 clickCancel = -1, dialAgain = -2;

// Every box shown, as "title: text"; critical ones start with "(!) ".
QStringList shownBoxes(const RecordingDialogs &dialogs)
{
    QStringList result;
    for (const auto &entry : dialogs.entries())
        result << (entry.icon == UserDialogs::Icon::Critical ? u"(!) "_s : QString()) + entry.title +
                      u": "_s + entry.text;
    return result;
}

// A dial, then scripted steps; what must follow: every write into the status line, in order, whether
// it still polls, the boxes shown, the hang-ups and the cancel button's caption.
struct DialCase
{
    int dialResult = 0;
    QList<ScriptedAccess::Tick> steps{}; // status answers, clicks on the cancel button, new dials
    QStringList lines{};
    bool polling = false;
    QStringList boxes{};
    int hangUps = 0;
    QString caption = u"Annulla"_s;
};

struct HangUpCase
{
    QList<qint32> active{};
    int enumResult = 0;
    int target = -1;
    int attemptsBeforeGone = 0; // -1: never goes
    QList<int> attempts{};      // hang-up calls per active handle
};

// Start-up's wait: the connection state of each pass (the last repeats), one status tick per pass.
struct WaitCase
{
    QString entryName = u"Tim"_s;
    int dialResult = 0;
    QList<bool> up{false};
    QList<ScriptedAccess::Tick> ticks{};
    Outcome outcome = Outcome::Connected;
    int dials = 1;
    int passes = 1;
    int timeLimit = 60000; // milliseconds
};
} // namespace

class TestDialUp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dialParams_data();
    void dialParams();
    void statusAndEnumerationRecords();
    void texts_data();
    void texts();
    void dialAndPoll_data();
    void dialAndPoll();
    void hangUpAll_data();
    void hangUpAll();
    void loginWindow();
    void startupWait_data();
    void startupWait();
};

void TestDialUp::dialParams_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("exactly 256") << 256;
    QTest::newRow("257 is cut") << 257;
}

void TestDialUp::dialParams()
{
    QFETCH(int, length);
    const std::string entry(std::size_t(length), 'E'), user(std::size_t(length), 'U'),
        password(std::size_t(length), 'P');
    const auto bytes = RasRecords::dialParams(entry, user, password);
    QCOMPARE(bytes.size(), std::size_t(1052));
    QCOMPARE(RasRecords::readUInt32(bytes, 0), 1052u);
    // Each field holds its value cut to 256, a NUL, blanks to its end; phone numbers and domain go empty.
    const std::tuple<int, std::size_t, std::string> fields[] = {{4, 257, entry},      {261, 129, {}},
                                                                {390, 129, {}},       {519, 257, user},
                                                                {776, 257, password}, {1033, 16, {}}};
    for (const auto &[offset, size, value] : fields) {
        std::string expected = value.substr(0, 256) + '\0';
        expected.resize(size, ' ');
        const auto start = bytes.begin() + offset;
        QVERIFY2(std::string(start, start + std::ptrdiff_t(size)) == expected,
                 std::to_string(offset).c_str());
    }
}

void TestDialUp::statusAndEnumerationRecords()
{
    auto status = RasRecords::connStatusRequest();
    QCOMPARE(status.size(), std::size_t(160));
    QCOMPARE(RasRecords::readUInt32(status, 0), 160u);
    status[5] = 0x20, status[8] = 0x96, status[9] = 0x02; // state 8192, error 662
    QCOMPARE(RasRecords::readConnStatus(status).state, 8192);
    QCOMPARE(RasRecords::readConnStatus(status).error, 662);

    auto array = RasRecords::connArrayRequest();
    QCOMPARE(array.size(), std::size_t(65 * 412));
    QCOMPARE(RasRecords::readUInt32(array, 0), 412u);
    array[4] = 0x11, array[412 + 4] = 0x22, array[64 * 412 + 4] = 0x33;
    QCOMPARE(RasRecords::readConnHandles(array, 2), (std::vector<std::uint32_t>{0x11, 0x22}));
    // A count beyond the array reads no further than its end.
    QCOMPARE(RasRecords::readConnHandles(array, 1000).size(), std::size_t(65));
    QCOMPARE(RasRecords::readConnHandles(array, 1000).back(), 0x33u);
}

void TestDialUp::texts_data()
{
    QTest::addColumn<bool>("state"); // a state's text, else an error's
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QString>("text"); // null: the status line is left as it is
    using Codes = QList<int>;
    QTest::newRow("error 601") << false << Codes{601} << "Porta seriale non valida";
    QTest::newRow("error 602") << false << Codes{602} << "Porta seriale già aperta";
    QTest::newRow("error 660, 678") << false << Codes{660, 678} << "Nessuna risposta";
    QTest::newRow("error 670, 682") << false << Codes{670, 682} << "Errore nel file INI (nome di sezione)";
    QTest::newRow("error 671") << false << Codes{671} << "errore nel file INI (DeviceType)";
    QTest::newRow("error 672, 684") << false << Codes{672, 684} << "Errore nel file INI (DeviceName)";
    QTest::newRow("error 673, 687") << false << Codes{673, 687} << "Errore nel file INI (Usage)";
    QTest::newRow("error 674, 685") << false << Codes{674, 685} << "Errore nel file INI (MaxConnectBPS)";
    QTest::newRow("error 675, 686") << false << Codes{675, 686} << "Errore nel file INI (MaxCarrierBPS)";
    QTest::newRow("error 683") << false << Codes{683} << "Errore nel file INI (DeviceType)";
    QTest::newRow("error 688-689") << false << Codes{688, 689} << "Errore nel file INI (DefaultOff)";
    QTest::newRow("error 690") << false << Codes{690} << "File INI vuoto";
    QTest::newRow("error 701") << false << Codes{701} << "Velocità non supportata";
    QTest::newRow("error 711") << false << Codes{711} << "Gestore delle connessione non inizializzato";
    QTest::newRow("error 724-726") << false << Codes{724, 725, 726} << "Errore IPX";
    QTest::newRow("error 727") << false << Codes{727} << "Errore nell'accesso a TCPCFG.DLL";
    QTest::newRow("error 732-738") << false << Codes{732, 733, 734, 735, 736, 737, 738} << "Errore PPP";
    QTest::newRow("error 739") << false << Codes{739} << "Impossibile usare le credenziali di logon";
    QTest::newRow("error 750") << false << Codes{750} << "Modulo errato";
    QTest::newRow("error 751") << false << Codes{751} << "Errore non previsto (Cod. 751).";
    QTest::newRow("state 1") << true << Codes{1} << "Porta seriale aperta.";
    QTest::newRow("state 4") << true << Codes{4} << "Modem rilevato.";
    QTest::newRow("state 14") << true << Codes{14} << "Accesso convalidato";
    QTest::newRow("state 21") << true << Codes{21} << "Accesso alla rete in corso...";
    QTest::newRow("state 4099") << true << Codes{4099} << "Password scaduta.";
    QTest::newRow("nothing to show") << true << Codes{6, 13, 15, 18, 20, 600, 4096, 4098} << QString();
    QTest::newRow("state 8194") << true << Codes{8194} << "Errore. Stato non previsto (Cod. 8194).";
}

void TestDialUp::texts()
{
    QFETCH(bool, state);
    QFETCH(QList<int>, codes);
    QFETCH(QString, text);
    for (int code : codes) {
        const QString shown = state ? RasStateText(code) : RasErrorText(code);
        QCOMPARE(shown, text);
        QCOMPARE(shown.isNull(), text.isNull());
    }
}

void TestDialUp::dialAndPoll_data()
{
    QTest::addColumn<DialCase>("scenario");
    const QString opening = u"Apertura della porta seriale in corso..."_s,
                  calling = u"Chiamata in corso..."_s;
    const QString gone = u"Errore non previsto (Cod. 6)."_s, disconnected = u"Disconnessione effettuata."_s;
    const QString noConnection = appTitle() + u": Impossibile effettuare la connessione per "_s;
    const QString failed = u"Autenticazione fallita"_s;
    // clang-format off
    QTest::newRow("602 is silent") << DialCase{602, {}, {}, false, {}, 2};
    QTest::newRow("623 refused") << DialCase{623, {}, {}, false, {u"(!) Accesso al Server: "
        "Errore di accesso remoto n. 623:\r\nImpossibile trovare la connessione"_s}, 2};
    QTest::newRow("same text written once") << DialCase{0, {{0}, {0}, {2}, {3}}, {opening, calling}, true};
    QTest::newRow("empty texts leave the line")
        << DialCase{0, {{5}, {6}, {600}, {13}}, {u"Controllo accesso in corso..."_s}, true};
    QTest::newRow("connected") << DialCase{0, {{19}, {8192}},
        {u"Accesso al server in corso..."_s, u"Connessione effettuata."_s}, false, {}, 0, u"Disconetti"_s};
    QTest::newRow("error above 600") << DialCase{0, {{2}, {2, 678}}, {calling, u"Nessuna risposta"_s}, false, {}, 1};
    QTest::newRow("disconnected with error")
        << DialCase{0, {{2}, {8193, 691}}, {calling, failed}, false, {noConnection + failed}, 2};
    // The cleared line is written again only by a text other than the last one.
    QTest::newRow("cancel while dialling keeps polling")
        << DialCase{0, {{0}, {0, 0, clickCancel}, {0}, {0, 0, 6}}, {opening, QString(), gone}, false, {}, 2};
    QTest::newRow("a new dial forgets the old state") << DialCase{0, {{8193}, {0, 0, dialAgain}, {0, 0, 6}},
        {disconnected, gone}, false, {noConnection + disconnected}, 2};
    // clang-format on
}

void TestDialUp::dialAndPoll()
{
    QFETCH(DialCase, scenario);
    ScriptedAccess access;
    access.dialResult = scenario.dialResult;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    // A tick that falls due while a box is open finds no answer waiting: querying would show it.
    dialogs.setWhileOpen([&](const RecordingDialogs::Entry &) { dialUp.PollDialStatus(); });
    QStringList seen;
    QObject::connect(&dialUp, &DialUp::statusLineChanged, [&](const QString &text) { seen << text; });
    dialUp.DialConnection(0, u"Tim"_s, {}, {});
    for (const auto &step : scenario.steps) {
        if (step.query == clickCancel) {
            dialUp.cancel();
        } else if (step.query == dialAgain) {
            dialUp.DialConnection(0, u"Tim"_s, {}, {});
        } else if (dialUp.isPolling()) { // ticks come only while the timer runs
            access.ticks.enqueue(step);
            dialUp.PollDialStatus();
        }
    }

    QCOMPARE(seen, scenario.lines);
    QCOMPARE(dialUp.isPolling(), scenario.polling);
    QCOMPARE(dialUp.cancelCaption(), scenario.caption);
    QCOMPARE(shownBoxes(dialogs), scenario.boxes);
    QCOMPARE(access.count(u"hangup 7"_s), scenario.hangUps);
}

void TestDialUp::hangUpAll_data()
{
    QTest::addColumn<HangUpCase>("scenario");
    QTest::newRow("all") << HangUpCase{{3, 5, 9}, 0, -1, 2, {3, 3, 3}};
    QTest::newRow("one handle") << HangUpCase{{3, 5, 9}, 0, 5, 2, {0, 3, 0}};
    QTest::newRow("no such handle") << HangUpCase{{3, 5}, 0, 4, 0, {0, 0}};
    QTest::newRow("enumeration fails") << HangUpCase{{3}, 603, -1, 0, {0}};
    QTest::newRow("never goes") << HangUpCase{{3, 5}, 0, -1, -1, {1000, 1000}};
}

void TestDialUp::hangUpAll()
{
    QFETCH(HangUpCase, scenario);
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    access.active = scenario.active;
    access.enumResult = scenario.enumResult;
    for (qint32 handle : scenario.active)
        access.hangUpsToGo[handle] = scenario.attemptsBeforeGone;
    dialUp.HangUpAll(scenario.target);
    QVERIFY(dialogs.entries().isEmpty());
    for (int i = 0; i < scenario.active.size(); ++i)
        QCOMPARE(access.count(u"hangup %1"_s.arg(scenario.active[i])), scenario.attempts[i]);
    QCOMPARE(access.count(u"hangup 0"_s), 0); // the module's own handle is not involved
}

void TestDialUp::loginWindow()
{
    ScriptedAccess access;
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    LoginRas window(dialUp);
    const auto label = [&](const char *name) { return window.findChild<QLabel *>(QLatin1StringView(name)); };
    const auto box = [&](const char *name) { return window.findChild<QLineEdit *>(QLatin1StringView(name)); };
    const auto button = [&](const char *name) {
        return window.findChild<QPushButton *>(QLatin1StringView(name));
    };
    QLineEdit *const Text1 = box("Text1"), *const Text2 = box("Text2"), *const Text3 = box("Text3");
    QPushButton *const Command1 = button("Command1"), *const Command2 = button("Command2");
    const QStringList captions{window.objectName(),     window.windowTitle(),    label("Label1")->text(),
                               label("Label2")->text(), label("Label3")->text(), Command1->text(),
                               Command2->text()};
    QCOMPARE(captions, (QStringList{u"Login_RAS"_s, u"RASApi Sample"_s, u"Nome Connessione"_s,
                                    u"Nome Utente"_s, u"Password"_s, u"Connetti"_s, u"Annulla"_s}));

    QTest::keyClicks(Text3, u"abc d"_s);
    QCOMPARE(Text3->displayText(), u"#####"_s);
    const QList<QWidget *> order{Text1, Text2, Text3, Command1, Command2};
    for (int i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(nextTabStop(order[i]), order[i + 1]);

    // The boxes go to the dial unaltered, spaces and all.
    QTest::keyClicks(Text1, u" Tim "_s);
    QTest::keyClicks(Text2, u"mario "_s);
    QTest::mouseClick(Command1, Qt::LeftButton);
    QCOMPARE(access.calls.value(0), u"dial  Tim |mario |abc d"_s);

    access.ticks << ScriptedAccess::Tick{8192};
    dialUp.PollDialStatus();
    QCOMPARE(label("Label4")->text(), u"Connessione effettuata."_s);
    QCOMPARE(Command2->text(), u"Disconetti"_s);
    QTest::mouseClick(Command2, Qt::LeftButton);
    QCOMPARE(Command2->text(), u"Annulla"_s);

    const int before = access.count(u"hangup 7"_s);
    window.close();
    QCOMPARE(access.count(u"hangup 7"_s), before + 1);
}

void TestDialUp::startupWait_data()
{
    QTest::addColumn<WaitCase>("scenario");
    const QString tim = u"Tim"_s;
    // clang-format off
    QTest::newRow("connected at start") << WaitCase{tim, 0, {true}, {}, Outcome::Connected, 0};
    QTest::newRow("no name") << WaitCase{{}, 0, {false}, {}, Outcome::NoEntryName, 0};
    QTest::newRow("name begins with a space") << WaitCase{u" Tim"_s, 0, {false}, {}, Outcome::NoEntryName, 0};
    QTest::newRow("dial, then connected") << WaitCase{tim, 0, {false, false, false, true},
        {{2}, {8192}, {8192}, {8192}}, Outcome::Connected, 1, 4};
    QTest::newRow("dial refused") << WaitCase{tim, 623, {false}, {}, Outcome::DialFailed};
    QTest::newRow("dial fails later") << WaitCase{tim, 0, {false}, {{2}, {2}, {2, 680}}, Outcome::DialFailed, 1, 4};
    QTest::newRow("time limit") << WaitCase{tim, 0, {false}, {{2}}, Outcome::TimedOut, 1, 1, 0};
    // clang-format on
}

void TestDialUp::startupWait()
{
    QFETCH(WaitCase, scenario);
    ScriptedAccess access;
    access.dialResult = scenario.dialResult;
    access.ticks.append(scenario.ticks);
    RecordingDialogs dialogs;
    DialUp dialUp(access, dialogs);
    int pass = 0;
    auto query = [&] {
        // A poll falls due in every pass once the dial runs.
        if (dialUp.isPolling())
            dialUp.PollDialStatus();
        const bool connected = scenario.up.value(pass++, scenario.up.constLast());
        return ConnectionStatus{connected, connected ? 2u : 0u};
    };
    auto texts = [&] { return DialCredentials{scenario.entryName, u"mario"_s, u"segreto"_s}; };
    // Start-up's connection check runs again with a fresh wait: it must not dial a second time.
    for (int run = 0; run < 2; ++run) {
        ConnectionWait wait(dialUp, query, texts, 0);
        wait.setPassInterval(std::chrono::milliseconds(0));
        wait.setTimeLimit(std::chrono::milliseconds(scenario.timeLimit));
        const Outcome result = wait.run();
        QCOMPARE(access.calls.filter(u"dial "_s),
                 QStringList(scenario.dials, u"dial %1|mario|segreto"_s.arg(scenario.entryName)));
        if (run == 0) {
            QCOMPARE(result, scenario.outcome);
            QCOMPARE(wait.passes(), scenario.passes);
        }
    }
}

QUOTAZIONI_TEST_MAIN(TestDialUp)
#include "tst_dialup.moc"
