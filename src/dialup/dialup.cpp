#include "dialup/dialup.h"

#include "base/userdialogs.h"
#include "dialup/rastexts.h"

#include <QCoreApplication>

namespace {
// Marks a message box as open for as long as it is on screen, also when the box throws.
class BoxOpen
{
public:
    explicit BoxOpen(bool &flag) : m_flag(flag) { m_flag = true; }
    ~BoxOpen() { m_flag = false; }
    BoxOpen(const BoxOpen &) = delete;
    BoxOpen &operator=(const BoxOpen &) = delete;

private:
    bool &m_flag;
};
} // namespace

DialUp::DialUp(RemoteAccess &access, UserDialogs &dialogs, QObject *parent)
    : QObject(parent), m_access(access), m_dialogs(dialogs)
{
    m_timer.setInterval(pollInterval);
    connect(&m_timer, &QTimer::timeout, this, &DialUp::PollDialStatus);
}

void DialUp::setStatusLine(const QString &text)
{
    m_statusLine = text;
    Q_EMIT statusLineChanged(text);
}

void DialUp::setCancelCaption(const QString &text)
{
    m_cancelCaption = text;
    Q_EMIT cancelCaptionChanged(text);
}

void DialUp::DialConnection(quintptr notifyWindow, const QString &entryName, const QString &userName,
                            const QString &password)
{
    const qint32 result = m_access.dial(notifyWindow, entryName, userName, password, m_connHandle);
    m_dialFailed = result != RasCode::Success;
    if (!m_dialFailed) {
        // A state left over from an earlier dial must not be acted upon if this dial's first query fails.
        m_state = RasState::OpenPort;
        m_timer.start();
        return;
    }
    HangUpCurrent();
    if (result != RasCode::PortAlreadyOpen) {
        BoxOpen open(m_boxOpen);
        m_dialogs.message(QStringLiteral("Errore di accesso remoto n. ") + QString::number(result) +
                              QStringLiteral(":\r\n") + RasErrorText(result),
                          QStringLiteral("Accesso al Server"), UserDialogs::Icon::Critical);
    }
    HangUpCurrent();
}

void DialUp::stopFailed()
{
    HangUpCurrent();
    m_timer.stop();
    m_dialFailed = true;
}

void DialUp::PollDialStatus()
{
    // Ticks that fall due while one of our boxes is open would report the same thing again.
    if (m_boxOpen)
        return;

    RasStatus status;
    const qint32 query = m_access.connectStatus(m_connHandle, status);
    if (query != RasCode::Success) {
        setStatusLine(RasErrorText(query));
        stopFailed();
    } else {
        m_state = status.state;
        QString text = RasStateText(m_state);
        if (status.error > RasCode::Pending) {
            text = RasErrorText(status.error);
            stopFailed();
        }
        if (!text.isEmpty() && text != m_lastStatusText) {
            setStatusLine(text);
            m_lastStatusText = text;
        }
    }

    if (m_state == RasState::Connected) {
        m_timer.stop();
        m_dialFailed = false;
        setCancelCaption(disconnectText());
    } else if (m_state == RasState::Disconnected) {
        // Reported once: later ticks would find the same state and show the same box again.
        m_timer.stop();
        m_dialFailed = true;
        {
            BoxOpen open(m_boxOpen);
            m_dialogs.message(QStringLiteral("Impossibile effettuare la connessione per ") +
                              m_lastStatusText);
        }
        HangUpCurrent();
    }
}

void DialUp::HangUpCurrent()
{
    m_access.hangUp(m_connHandle);
}

void DialUp::HangUpAll(qint32 target)
{
    QList<qint32> handles;
    if (m_access.enumerate(handles) != RasCode::Success)
        return;
    for (qint32 handle : std::as_const(handles)) {
        if (target != -1 && target != handle)
            continue;
        int attempts = 0;
        qint32 result = RasCode::Success;
        do {
            QCoreApplication::processEvents();
            ++attempts;
            result = m_access.hangUp(handle);
        } while (result != RasCode::InvalidHandle && attempts < maxHangUpAttempts);
    }
}

void DialUp::dialWith(quintptr notifyWindow, const DialCredentials &credentials)
{
    DialEntryName = credentials.entryName;
    DialUserName = credentials.userName;
    DialPassword = credentials.password;
    DialConnection(notifyWindow, DialEntryName, DialUserName, DialPassword);
}

void DialUp::cancel()
{
    HangUpCurrent();
    if (m_cancelCaption == disconnectText())
        setCancelCaption(cancelText());
    setStatusLine({});
}

void DialUp::hangUpOnClose()
{
    HangUpCurrent();
}

void askCloseConnection(UserDialogs &dialogs, DialUp &dialUp)
{
    const UserDialogs::Answer answer = dialogs.question(
        QStringLiteral("Vuoi chiudere la connessione Internet (S/N) ?"), QStringLiteral("Fine programma"),
        UserDialogs::Buttons::OkCancel, UserDialogs::Icon::None);
    if (answer == UserDialogs::Answer::Ok)
        dialUp.HangUpAll(-1);
}
