#pragma once

#include "model/BoundedXml.h"

#include <QByteArray>
#include <QImage>

class QIODevice;

namespace Emulsa::ThumbnailImages {

// Longest ThumbnailDATA text accepted (Base64), and the largest picture
// it may hold, checked before the picture is decoded.
constexpr int maxDataLength = BoundedXml::maxTextLength;
constexpr int maxSide = 4096;
constexpr qint64 maxPixels = 4096LL * 2160;
// The pixels of all the thumbnails of one preset file together (about
// 256 MB decoded). A graded 1920x1080 frame with grain takes about 1.2
// Base64 characters per pixel, so a file within the presets store's size
// limit holds no more pictures than this unless they are nearly blank.
constexpr qint64 maxPixelsPerFile = 64LL * 1024 * 1024;

// Reads a picture after checking its size against the limits above; a null
// image when it is too large or unreadable. With `pixelsLeft`, also null for
// a picture of more pixels than that, which *overBudget then tells apart.
QImage readChecked(QIODevice* device, const char* format, qint64 pixelsLeft = maxPixels, bool* overBudget = nullptr);
// The image of a ThumbnailDATA text (QDataStream's form of a QImage, in
// Base64); null when the text is too long, is no image, or holds a picture
// above the limits, as readChecked().
QImage decode(const QByteArray& base64, qint64 pixelsLeft = maxPixels, bool* overBudget = nullptr);

} // namespace Emulsa::ThumbnailImages
