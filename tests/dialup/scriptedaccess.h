#pragma once

#include "remoteaccess.h"

#include <QMap>
#include <QQueue>
#include <QStringList>

// Stands in for the modem and the dial-up service: replays scripted results and records every call.
class ScriptedAccess : public RemoteAccess
{
public:
    struct Tick
    {
        qint32 query = 0, state = 0, error = 0;
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
    qint32 connectStatus(qint32 handle, RasStatus &status) override
    {
        calls << QStringLiteral("status %1").arg(handle);
        const Tick tick = ticks.isEmpty() ? Tick{RasCode::InvalidHandle} : ticks.dequeue();
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
        calls << QStringLiteral("enumerate");
        if (enumResult == RasCode::Success)
            handles = active;
        return enumResult;
    }

    int count(const QString &call) const { return int(calls.count(call)); }
};
