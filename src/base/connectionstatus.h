#pragma once

#include <QtGlobal>

// The internet connection state as the status label reports it: connected or not, plus how.
struct ConnectionStatus
{
    enum Flag : quint32 { Modem = 1, Lan = 2, Proxy = 4, ModemBusy = 8 };
    bool connected = false;
    quint32 flags = 0;
};
