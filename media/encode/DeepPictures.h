#pragma once

#include <QtGlobal>

struct AVFrame;

namespace Emulsa::DeepPictures {

// The conversions of 16-bit pictures into the 10-bit planar YUV that the
// deep movie codecs take. `frame` holds the planes, already allocated in a
// 10-bit planar layout whose subsampling decides how the chroma is made
// (4:4:4, 4:2:2 or 4:2:0 from RGB; 4:2:2 or 4:2:0 from packed 4:2:2), its
// width and height those of the picture.
// `rowSamples` is the distance between rows of the input in 16-bit samples.

// Full-range 16-bit RGB (four samples a pixel, rows `rowSamples` apart) to
// limited-range 10-bit BT.709 YUV planes: Y' = 64 + 876 x luma, Cb and Cr =
// 512 + 896 x the colour differences, chroma from the mean of the pixels it
// covers (two across for 4:2:2, two by two for 4:2:0).
void toLimitedYuv10(const quint16* rgba, int rowSamples, AVFrame* frame);

// Packed 4:2:2 samples of 16 bits on the 8-bit video scale (level L at
// L / 255 of 65535) to 10-bit planes: code = L x 4, so 235 becomes 940.
void packed16ToYuv10(const quint16* packed, int rowSamples, AVFrame* frame);

} // namespace Emulsa::DeepPictures
