#pragma once

// Byte images of the three records exchanged with the Windows remote-access service, in the forms
// whose sizes the program stores in their size fields. Plain C++ without Qt, so that the layout is
// checked on every platform and the Windows-only code can include it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace RasRecords {

// Dial parameters: size field, then six NUL-terminated text fields, padded to a multiple of four.
constexpr std::size_t dialParamsSize = 1052;
constexpr std::size_t entryNameOffset = 4, entryNameLength = 257;
constexpr std::size_t phoneNumberOffset = 261, phoneNumberLength = 129;
constexpr std::size_t callbackNumberOffset = 390, callbackNumberLength = 129;
constexpr std::size_t userNameOffset = 519, userNameLength = 257;
constexpr std::size_t passwordOffset = 776, passwordLength = 257;
constexpr std::size_t domainOffset = 1033, domainLength = 16;
// The longest value that still leaves room for its NUL in a 257-character field.
constexpr std::size_t maxTextLength = 256;

// Status of one connection: size, state, error, then device fields we never read.
constexpr std::size_t connStatusSize = 160;
constexpr std::size_t connStateOffset = 4;
constexpr std::size_t connErrorOffset = 8;

// One active connection: size, 32-bit handle, then names we never read.
constexpr std::size_t connSize = 412;
constexpr std::size_t connHandleOffset = 4;
// Room for 64 connections is announced, one more record is allocated.
constexpr std::size_t connArrayCount = 65;
constexpr std::uint32_t connArrayByteCount = 64 * connSize;

// Texts are already in the 8-bit code page the service expects.
std::vector<unsigned char> dialParams(const std::string &entryName, const std::string &userName,
                                      const std::string &password);
std::vector<unsigned char> connStatusRequest();
std::vector<unsigned char> connArrayRequest();

struct ConnStatus
{
    std::int32_t state = 0;
    std::int32_t error = 0;
};
ConnStatus readConnStatus(const std::vector<unsigned char> &record);
// The handles of the first `count` records of an enumerated array (never beyond its end).
std::vector<std::uint32_t> readConnHandles(const std::vector<unsigned char> &array, std::uint32_t count);

std::uint32_t readUInt32(const std::vector<unsigned char> &bytes, std::size_t offset);

} // namespace RasRecords
