#pragma once

#include "dialup/connectionstate.h"
#include "dialup/dialup.h"

#include <QString>
#include <QtGlobal>
#include <chrono>
#include <functional>

// Start-up's wait for the internet: when offline with a known connection name it dials once and polls
// the connection state, processing events between passes, until the internet is reachable, the dial
// reports failure, or the time limit runs out.
class ConnectionWait
{
public:
    enum class Outcome { Connected, NoEntryName, DialFailed, TimedOut };

    // stateQuery runs once per pass (the window shows its result there); the credentials are read
    // afresh on every pass.
    ConnectionWait(DialUp &dialUp, std::function<ConnectionStatus()> stateQuery,
                   std::function<DialCredentials()> credentials, quintptr notifyWindow);

    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    // How long each pass lets events run (0: only the pending ones).
    void setPassInterval(std::chrono::milliseconds interval) { m_passInterval = interval; }

    Outcome run();
    int passes() const { return m_passes; }

private:
    // The pending events, or (wait) those of the pass interval.
    void processEvents(bool wait);

    DialUp &m_dialUp;
    std::function<ConnectionStatus()> m_stateQuery;
    std::function<DialCredentials()> m_credentials;
    quintptr m_notifyWindow;
    std::chrono::milliseconds m_timeLimit{60000};
    std::chrono::milliseconds m_passInterval{50};
    int m_passes = 0;
};
