#pragma once

#include "core/dialcredentials.h"
#include "dialup/remoteaccess.h"

#include <QObject>
#include <QTimer>

class UserDialogs;

// The dial-up module: one instance for the whole run. Starts a dial, follows it every 500 ms, keeps
// the status line and the cancel button's caption of the login window, reports failures and hangs up.
// Window-free: the login window shows statusLine() and cancelCaption() and forwards its events here.
class DialUp : public QObject
{
    Q_OBJECT
public:
    static constexpr int pollInterval = 500; // milliseconds
    static constexpr int maxHangUpAttempts = 1000;

    DialUp(RemoteAccess &access, UserDialogs &dialogs, QObject *parent = nullptr);

    // Program-wide texts of the dial: written just before each dial, by the start-up wait or by the
    // connect button. The password goes nowhere but into the dial.
    QString DialEntryName;
    QString DialUserName;
    QString DialPassword;

    void DialConnection(quintptr notifyWindow, const QString &entryName, const QString &userName,
                        const QString &password);
    void PollDialStatus();
    void HangUpCurrent();
    // -1 hangs up every active dial-up connection, any other value only the one with that handle.
    void HangUpAll(qint32 target);

    // The login window's connect button: keeps the texts program-wide, then dials.
    void dialWith(quintptr notifyWindow, const DialCredentials &credentials);
    // The login window's cancel button and its closing.
    void cancel();
    void hangUpOnClose();

    QString statusLine() const { return m_statusLine; }
    QString cancelCaption() const { return m_cancelCaption; }
    QString LastStatusText() const { return m_lastStatusText; }
    qint32 DialConnHandle() const { return m_connHandle; }
    qint32 DialState() const { return m_state; }
    bool isPolling() const { return m_timer.isActive(); }
    // The last dial was refused or has failed: waiting for it to connect would be in vain.
    bool dialFailed() const { return m_dialFailed; }

    // The start-up dial happens once per run, however often start-up's connection wait runs.
    bool startupDialled() const { return m_startupDialled; }
    void setStartupDialled() { m_startupDialled = true; }

    static QString cancelText() { return QStringLiteral("Annulla"); }
    static QString disconnectText() { return QStringLiteral("Disconetti"); }

Q_SIGNALS:
    void statusLineChanged(const QString &text);
    void cancelCaptionChanged(const QString &text);

private:
    void setStatusLine(const QString &text);
    void setCancelCaption(const QString &text);
    void stopFailed();

    RemoteAccess &m_access;
    UserDialogs &m_dialogs;
    QTimer m_timer;
    qint32 m_connHandle = 0;
    qint32 m_state = 0;
    QString m_lastStatusText;
    QString m_statusLine;
    QString m_cancelCaption = cancelText();
    bool m_dialFailed = false;
    bool m_boxOpen = false;
    bool m_startupDialled = false;
};

// At the end of the program: asks whether to close the internet connection and, on OK, hangs up
// every dial-up connection. The caller closes the database before and ends the program after.
void askCloseConnection(UserDialogs &dialogs, DialUp &dialUp);
