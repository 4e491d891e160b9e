#pragma once

#include <cstddef>
#include <memory>

namespace Emulsa {

// A film-stock colour table as the 3D texture takes it: 64 x 64 x 64 entries
// of three floats (R, G, B), red index fastest, then green, then blue:
//   entry (r, g, b) starts at float index 3 * (b * 4096 + g * 64 + r).
// Upload with glTexImage3D(GL_TEXTURE_3D, 0, GL_RGB32F, 64, 64, 64, 0, GL_RGB,
// GL_FLOAT, data). Values are in 0..1.
namespace StockTable {
constexpr int kSize = 64;
constexpr std::size_t kEntries = 64 * 64 * 64; // 262,144
constexpr std::size_t kFloats = kEntries * 3; // 786,432
constexpr std::size_t kBytes = kFloats * sizeof(float); // 3,145,728
} // namespace StockTable

// Table data, kFloats floats, never changed once made: the film library's
// cache, the shader processors and the CPU reference may hold the same table.
using StockTableData = std::shared_ptr<const float[]>;

} // namespace Emulsa
