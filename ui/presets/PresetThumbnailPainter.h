#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class QPainter;

namespace Emulsa {

// Draws preset thumbnails for the preset lists: the picture scaled into its
// box with its aspect kept and centred, or a neutral placeholder for a
// preset that has none.
namespace PresetThumbnailPainter {

// Fill and outline of the placeholder.
inline const QColor placeholderFill { 58, 58, 58 };
inline const QColor placeholderOutline { 92, 92, 92 };

// The largest rectangle of the image's aspect that fits the box, centred in
// it; the whole box for an empty size.
QRect fittedRect(const QSize& imageSize, const QRect& box);

// Paints the thumbnail into the box (the placeholder for a null image). The
// part of the box the picture leaves free is not touched.
void paint(QPainter* painter, const QRect& box, const QImage& thumbnail);

} // namespace PresetThumbnailPainter

} // namespace Emulsa
