#include "dialup/connectionwait.h"

#include "dialup/dialup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

ConnectionWait::ConnectionWait(DialUp &dialUp, std::function<ConnectionStatus()> stateQuery,
                               std::function<DialCredentials()> credentials, quintptr notifyWindow)
    : m_dialUp(dialUp), m_stateQuery(std::move(stateQuery)), m_credentials(std::move(credentials)),
      m_notifyWindow(notifyWindow)
{}

void ConnectionWait::processEvents(bool wait)
{
    if (!wait || m_passInterval.count() <= 0) {
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
        // Only a pass that is going to be followed by another waits; a connection that is already
        // there costs no pause.
        processEvents(false);

        const DialCredentials texts = m_credentials();
        m_dialUp.DialEntryName = texts.entryName;
        if (state.connected)
            return Outcome::Connected;
        if (texts.entryName.isEmpty() || texts.entryName.startsWith(QLatin1Char(' ')))
            return Outcome::NoEntryName;

        if (!m_dialUp.startupDialled()) {
            m_dialUp.setStartupDialled();
            // The same as pressing the login window's connect button with its boxes as they are.
            m_dialUp.dialWith(m_notifyWindow, texts);
        }
        // A failed dial will not bring the connection: waiting on would never end.
        if (m_dialUp.dialFailed())
            return Outcome::DialFailed;
        if (elapsed.elapsed() >= m_timeLimit.count())
            return Outcome::TimedOut;
        processEvents(true);
    }
}
