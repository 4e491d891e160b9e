#include "core/ProfileInfo.h"

#include <cstring>

namespace Emulsa {

ProfileInfo::ProfileInfo()
{
    std::memset(manufacturer, 0, sizeof(manufacturer));
    std::memset(model, 0, sizeof(model));
    std::memset(modelId, 0, sizeof(modelId));
    std::memset(abbr, 0, sizeof(abbr));
    std::memset(name, 0, sizeof(name));
    std::memset(bin, 0, sizeof(bin));
    std::memset(tin, 0, sizeof(tin));
    std::memset(id, 0, sizeof(id));
}

std::uint32_t ProfileInfo::profileId() const
{
    // The field is zero-filled, so a shorter code reads zero bytes at the top.
    return std::uint32_t(std::uint8_t(id[0])) | std::uint32_t(std::uint8_t(id[1])) << 8
        | std::uint32_t(std::uint8_t(id[2])) << 16 | std::uint32_t(std::uint8_t(id[3])) << 24;
}

std::uint32_t ProfileInfo::packId(const char* code)
{
    std::uint32_t value = 0;
    if (!code)
        return value;
    for (int i = 0; i < 4 && code[i] != '\0'; ++i)
        value |= std::uint32_t(std::uint8_t(code[i])) << (8 * i);
    return value;
}

bool ProfileInfo::setField(char* field, std::size_t size, const QByteArray& value)
{
    if (!field || size == 0 || std::size_t(value.size()) >= size || value.contains('\0'))
        return false;
    std::memset(field, 0, size);
    std::memcpy(field, value.constData(), std::size_t(value.size()));
    return true;
}

} // namespace Emulsa
