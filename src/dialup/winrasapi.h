#pragma once

// The four calls into the Windows remote-access service, in plain C++ so that the file that makes
// them needs nothing but the platform headers. Texts are 8-bit, in the system's ANSI code page.

#include <cstdint>
#include <string>
#include <vector>

namespace WinRas {
std::uint32_t dial(std::uintptr_t notifyWindow, const std::string &entryName, const std::string &userName,
                   const std::string &password, std::uintptr_t &handle);
std::uint32_t connectStatus(std::uintptr_t handle, std::int32_t &state, std::int32_t &error);
std::uint32_t hangUp(std::uintptr_t handle);
std::uint32_t enumerate(std::vector<std::uintptr_t> &handles);
} // namespace WinRas
