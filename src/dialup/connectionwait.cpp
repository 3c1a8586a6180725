#include "connectionwait.h"

#include "dialup.h"
#include "userdialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

ConnectionWait::ConnectionWait(DialUp &dialUp, std::function<ConnectionStatus()> stateQuery,
                               std::function<DialTexts()> texts, quintptr notifyWindow)
    : m_dialUp(dialUp), m_stateQuery(std::move(stateQuery)), m_texts(std::move(texts)),
      m_notifyWindow(notifyWindow)
{}

void ConnectionWait::processEvents()
{
    if (m_passInterval.count() <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // Let the dial's polling and the user's events run without spinning the processor.
    QEventLoop loop;
    QTimer::singleShot(m_passInterval, &loop, &QEventLoop::quit);
    loop.exec();
}

ConnectionWait::Outcome ConnectionWait::run()
{
    QElapsedTimer elapsed;
    elapsed.start();
    m_passes = 0;
    for (;;) {
        ++m_passes;
        const ConnectionStatus state = m_stateQuery();
        processEvents();

        const DialTexts texts = m_texts();
        m_dialUp.DialEntryName = texts.entryName;
        if (state.connected)
            return Outcome::Connected;
        if (texts.entryName.isEmpty() || texts.entryName.startsWith(QLatin1Char(' ')))
            return Outcome::NoEntryName;

        if (!m_dialUp.startupDialled()) {
            m_dialUp.setStartupDialled();
            // The same as pressing the login window's connect button with its boxes as they are.
            m_dialUp.Command1_Click(m_notifyWindow, texts.entryName, texts.userName, texts.password);
        }
        // A failed dial will not bring the connection: waiting on would never end.
        if (m_dialUp.dialFailed())
            return Outcome::DialFailed;
        if (elapsed.elapsed() >= m_timeLimit.count())
            return Outcome::TimedOut;
    }
}

void askCloseConnection(UserDialogs &dialogs, DialUp &dialUp)
{
    const UserDialogs::Answer answer = dialogs.question(
        QStringLiteral("Vuoi chiudere la connessione Internet (S/N) ?"), QStringLiteral("Fine programma"),
        UserDialogs::Buttons::OkCancel, UserDialogs::Icon::None);
    if (answer == UserDialogs::Answer::Ok)
        dialUp.HangUpAll(-1);
}
