#include "dialup/rasrecords.h"

#include <algorithm>

namespace RasRecords {
namespace {
void writeUInt32(std::vector<unsigned char> &bytes, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFu);
}

// The service reads only up to the NUL; blanks after it are what the record has always carried.
void writeText(std::vector<unsigned char> &bytes, std::size_t offset, std::size_t length,
               const std::string &value)
{
    const std::size_t used = std::min({value.size(), maxTextLength, length - 1});
    std::fill_n(bytes.begin() + std::ptrdiff_t(offset), length, static_cast<unsigned char>(' '));
    std::copy_n(value.begin(), used, bytes.begin() + std::ptrdiff_t(offset));
    bytes[offset + used] = 0;
}
} // namespace

std::uint32_t readUInt32(const std::vector<unsigned char> &bytes, std::size_t offset)
{
    if (offset + 4 > bytes.size())
        return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t(bytes[offset + i]) << (8 * i);
    return value;
}

std::vector<unsigned char> dialParams(const std::string &entryName, const std::string &userName,
                                      const std::string &password)
{
    std::vector<unsigned char> bytes(dialParamsSize, 0);
    writeUInt32(bytes, 0, dialParamsSize);
    writeText(bytes, entryNameOffset, entryNameLength, entryName);
    writeText(bytes, phoneNumberOffset, phoneNumberLength, {});
    writeText(bytes, callbackNumberOffset, callbackNumberLength, {});
    writeText(bytes, userNameOffset, userNameLength, userName);
    writeText(bytes, passwordOffset, passwordLength, password);
    writeText(bytes, domainOffset, domainLength, {});
    return bytes;
}

std::vector<unsigned char> connStatusRequest()
{
    std::vector<unsigned char> bytes(connStatusSize, 0);
    writeUInt32(bytes, 0, connStatusSize);
    return bytes;
}

std::vector<unsigned char> connArrayRequest()
{
    std::vector<unsigned char> bytes(connArrayCount * connSize, 0);
    writeUInt32(bytes, 0, connSize);
    return bytes;
}

ConnStatus readConnStatus(const std::vector<unsigned char> &record)
{
    return {std::int32_t(readUInt32(record, connStateOffset)),
            std::int32_t(readUInt32(record, connErrorOffset))};
}

std::vector<std::uint32_t> readConnHandles(const std::vector<unsigned char> &array, std::uint32_t count)
{
    std::vector<std::uint32_t> handles;
    const std::size_t available = array.size() / connSize;
    for (std::size_t i = 0; i < count && i < available; ++i)
        handles.push_back(readUInt32(array, i * connSize + connHandleOffset));
    return handles;
}

} // namespace RasRecords
