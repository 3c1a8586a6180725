#include "dialup/remoteaccess.h"

#ifdef Q_OS_WIN
#include "dialup/winremoteaccess.h"
#else
#include "dialup/nmremoteaccess.h"
#endif

std::unique_ptr<RemoteAccess> createRemoteAccess()
{
#ifdef Q_OS_WIN
    return std::make_unique<WinRemoteAccess>();
#else
    return std::make_unique<NmRemoteAccess>();
#endif
}

bool dialUpConnectionActive(RemoteAccess &access)
{
    QList<qint32> handles;
    if (access.enumerate(handles) != RasCode::Success)
        return false;
    for (qint32 handle : handles) {
        RasStatus status;
        if (access.connectStatus(handle, status) == RasCode::Success && status.state == RasState::Connected)
            return true;
    }
    return false;
}
