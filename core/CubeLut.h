#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

namespace Emulsa {

// A 3D table read from a .cube file, as other tools write them:
//   TITLE "name"            optional
//   LUT_3D_SIZE n           2..256, before the first entry
//   DOMAIN_MIN r g b        optional, default 0 0 0
//   DOMAIN_MAX r g b        optional, default 1 1 1
//   LUT_3D_INPUT_RANGE a b  optional, the same domain for all three inputs
//   n^3 lines of three numbers, red index fastest, then green, then blue.
// Lines starting with '#' and blank lines are skipped. The domain is
// honoured: an input is placed in the table by its position between
// DOMAIN_MIN and DOMAIN_MAX (clamped to them). Entries may lie outside 0..1.
// A file is refused, with a message naming the line at fault, for a missing,
// repeated or out-of-range size line, a 1D table, a line of other than three
// numbers, a number that is not finite, an empty domain, or too few or too
// many entries.
struct CubeLut
{
    static constexpr int kMinSize = 2;
    static constexpr int kMaxSize = 256;

    int size = 0;
    QString title;
    std::array<double, 3> domainMin { { 0.0, 0.0, 0.0 } };
    std::array<double, 3> domainMax { { 1.0, 1.0, 1.0 } };
    std::vector<float> rgb; // size^3 x (R, G, B)

    // Parses .cube text; on failure returns false with *error set and leaves
    // *lut unchanged.
    static bool parse(const QByteArray& text, CubeLut* lut, QString* error);
    // Reads and parses a file (files over 512 MiB are refused).
    static bool read(const QString& path, CubeLut* lut, QString* error);

    // The table at an input colour, trilinearly interpolated between the
    // eight lattice points around it.
    std::array<double, 3> apply(const std::array<double, 3>& in) const;
};

} // namespace Emulsa
