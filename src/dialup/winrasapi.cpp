// Only the platform headers and standard C++ here: a cross compiler checks this file on every build.
#include "dialup/winrasapi.h"

#include "dialup/rasrecords.h"

#include <ras.h>
#include <windows.h>

namespace WinRas {

std::uint32_t dial(std::uintptr_t notifyWindow, const std::string &entryName, const std::string &userName,
                   const std::string &password, std::uintptr_t &handle)
{
    std::vector<unsigned char> params = RasRecords::dialParams(entryName, userName, password);
    HRASCONN connection = nullptr;
    // Notifier type 0xFFFFFFFF: the notifier is a window, so the call returns at once and progress is
    // followed by polling the status.
    const DWORD result = RasDialA(nullptr, nullptr, reinterpret_cast<LPRASDIALPARAMSA>(params.data()),
                                  0xFFFFFFFFu, reinterpret_cast<LPVOID>(notifyWindow), &connection);
    handle = reinterpret_cast<std::uintptr_t>(connection);
    return result;
}

std::uint32_t connectStatus(std::uintptr_t handle, std::int32_t &state, std::int32_t &error)
{
    std::vector<unsigned char> record = RasRecords::connStatusRequest();
    const DWORD result = RasGetConnectStatusA(reinterpret_cast<HRASCONN>(handle),
                                              reinterpret_cast<LPRASCONNSTATUSA>(record.data()));
    if (result == 0) {
        const RasRecords::ConnStatus status = RasRecords::readConnStatus(record);
        state = status.state;
        error = status.error;
    }
    return result;
}

std::uint32_t hangUp(std::uintptr_t handle)
{
    return RasHangUpA(reinterpret_cast<HRASCONN>(handle));
}

std::uint32_t enumerate(std::vector<std::uintptr_t> &handles)
{
    handles.clear();
    DWORD count = 0;
#if defined(_WIN64)
    // The 412-byte record holds a 32-bit handle; a 64-bit process uses the platform's own record.
    std::vector<RASCONNA> records(RasRecords::connArrayCount);
    records[0].dwSize = sizeof(RASCONNA);
    DWORD bytes = DWORD((RasRecords::connArrayCount - 1) * sizeof(RASCONNA));
    const DWORD result = RasEnumConnectionsA(records.data(), &bytes, &count);
    if (result != 0)
        return result;
    for (DWORD i = 0; i < count && i < records.size(); ++i)
        handles.push_back(reinterpret_cast<std::uintptr_t>(records[i].hrasconn));
#else
    std::vector<unsigned char> records = RasRecords::connArrayRequest();
    DWORD bytes = RasRecords::connArrayByteCount;
    const DWORD result = RasEnumConnectionsA(reinterpret_cast<LPRASCONNA>(records.data()), &bytes, &count);
    if (result != 0)
        return result;
    for (std::uint32_t value : RasRecords::readConnHandles(records, count))
        handles.push_back(value);
#endif
    return 0;
}

} // namespace WinRas
