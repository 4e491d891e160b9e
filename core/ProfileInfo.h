#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace Emulsa {

// One camera profile of the catalogue. Every field is a zero-filled,
// NUL-terminated character array; the record is owned by CameraListHelper and
// lives until exit.
struct ProfileInfo
{
    static constexpr std::size_t kFieldSize = 64; // 63 characters and the NUL
    static constexpr std::size_t kIdSize = 8; // 7 characters and the NUL

    char manufacturer[kFieldSize];
    char model[kFieldSize];
    char modelId[kFieldSize];
    // "null", or two parts separated by ":" shown as two labels.
    char abbr[kFieldSize];
    // Text shown in the profile list.
    char name[kFieldSize];
    // Prefix of the generic stock tables ("LUTS_V1/<bin>_<stock>.bin").
    char bin[kFieldSize];
    // Folder and prefix of the profile stock tables ("Profiles/<tin>/<tin>_<stock>.tin").
    char tin[kFieldSize];
    // Four-character code, for example "OT01".
    char id[kIdSize];

    ProfileInfo(); // every field zero-filled

    // The first four bytes of `id` read as a little-endian number (first
    // character in the lowest byte); this is ClipSettings::sourceType.
    std::uint32_t profileId() const;

    // Packs up to four characters the same way ("OT01" -> 0x3130544F); a
    // shorter code has zero bytes at the top.
    static std::uint32_t packId(const char* code);

    // Copies `value` into a field of `size` bytes. A value that does not fit
    // (size - 1 characters at most) or that holds a NUL is refused and the
    // field is left unchanged.
    static bool setField(char* field, std::size_t size, const QByteArray& value);
};

} // namespace Emulsa
