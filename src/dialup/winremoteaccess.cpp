#include "dialup/winremoteaccess.h"

#include "dialup/winrasapi.h"

qint32 WinRemoteAccess::handleFor(quintptr native)
{
    for (auto it = m_native.cbegin(); it != m_native.cend(); ++it) {
        if (it.value() == native)
            return it.key();
    }
    const qint32 handle = m_nextHandle++;
    m_native.insert(handle, native);
    return handle;
}

qint32 WinRemoteAccess::dial(quintptr notifyWindow, const QString &entryName, const QString &userName,
                             const QString &password, qint32 &handle)
{
    std::uintptr_t native = 0;
    const qint32 result = qint32(WinRas::dial(notifyWindow, entryName.toLocal8Bit().toStdString(),
                                              userName.toLocal8Bit().toStdString(),
                                              password.toLocal8Bit().toStdString(), native));
    // The service may hand out a handle even when the dial fails; it must still be hung up.
    if (native != 0)
        handle = handleFor(native);
    return result;
}

qint32 WinRemoteAccess::connectStatus(qint32 handle, RasStatus &status)
{
    std::int32_t state = 0;
    std::int32_t error = 0;
    const qint32 result = qint32(WinRas::connectStatus(nativeHandle(handle), state, error));
    if (result == RasCode::Success)
        status = {state, error};
    return result;
}

qint32 WinRemoteAccess::hangUp(qint32 handle)
{
    return qint32(WinRas::hangUp(nativeHandle(handle)));
}

qint32 WinRemoteAccess::enumerate(QList<qint32> &handles)
{
    std::vector<std::uintptr_t> natives;
    const qint32 result = qint32(WinRas::enumerate(natives));
    handles.clear();
    if (result == RasCode::Success) {
        for (std::uintptr_t native : natives)
            handles.append(handleFor(native));
    }
    return result;
}
