#pragma once

#include "media/frame/LibAVPointers.h"

namespace Emulsa::PictureRotation {

// The clockwise turn, 0, 90, 180 or 270 degrees, that shows a stream's
// pictures upright (its display matrix, as phones write it); other angles
// count as 0.
int displayRotation(const AVStream* stream);

// Turns a planar picture with planes of equal size (YUV 4:4:4 or GBR, one or
// two bytes a sample) by `degrees` clockwise into `target`, which is allocated here at the turned
// size in the same format. False when the format has subsampled planes or
// allocation fails.
bool rotate(const AVFrame* source, AVFrame* target, int degrees);

} // namespace Emulsa::PictureRotation
