#pragma once

#include "media/frame/LibAVPointers.h"

#include <QSize>

namespace Emulsa {

class AssetMetadata;
class Frame;

namespace Thumbnail {

// 250 pixels on the shorter side, the longer side in proportion, never
// longer than the thumbnail cache stores.
QSize size(quint32 width, quint32 height);

// A BGRA frame of `picture` (as shown) at size(metadata.width,
// metadata.height), decoded with the Rec. 709 matrix at the clip's range,
// carrying its own copy of the metadata at that size. Null on failure.
Frame* make(const AVFrame* picture, const AssetMetadata& metadata);

} // namespace Thumbnail

} // namespace Emulsa
