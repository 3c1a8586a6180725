#pragma once

#include "dialup/remoteaccess.h"

#include <QMap>

// The Windows remote-access service. Its connection handles are kept behind small numbers, so that
// the rest of the program sees the same kind of handle on every platform.
class WinRemoteAccess : public RemoteAccess
{
public:
    qint32 dial(quintptr notifyWindow, const QString &entryName, const QString &userName,
                const QString &password, qint32 &handle) override;
    qint32 connectStatus(qint32 handle, RasStatus &status) override;
    qint32 hangUp(qint32 handle) override;
    qint32 enumerate(QList<qint32> &handles) override;

private:
    qint32 handleFor(quintptr native);
    quintptr nativeHandle(qint32 handle) const { return m_native.value(handle, 0); }

    QMap<qint32, quintptr> m_native;
    qint32 m_nextHandle = 1;
};
