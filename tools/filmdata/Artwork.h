#pragma once

#include "core/filmdata/CameraEncoding.h"

#include <QImage>
#include <QString>
#include <vector>

namespace Emulsa {
namespace FilmData {

// The pictures the generator draws: the sample scene that thumbnails and the
// contact sheet are graded from, the two placeholders, and the contact sheet.
// Drawing text needs a QGuiApplication.
class Artwork
{
public:
    // The sample scene in scene-linear Rec. 709 light (0.18 mid-grey):
    // sky gradient with a low sun, hills, a face-like skin study, a chart of
    // colour patches and a grey wedge. 3 floats per pixel, rows top to bottom.
    static std::vector<float> sampleScene(int width, int height);
    // The scene as the profile's camera records it (8-bit RGB).
    static QImage samplePicture(int width, int height, const CameraProfile& profile);

    // "placeholderEM.bin" (no clip) and "placeholderIF.bin" (clip cannot be
    // read), TIFF pictures.
    static QImage placeholder(bool unreadable);
    static bool writePlaceholders(const QString& resourcesFolder);
    // The media browser's thumbnails for clips without a picture of their
    // own, 444 x 250 (resources/images, drawn by emulsa-thumbnailart):
    // "thumb-placeholder.png" while a clip is read, "error-placeholder.png"
    // when it cannot be read.
    static QImage browserThumbnail(bool unreadable);
    // A placeholder thumbnail for presets without a picture of their own.
    static QImage placeholderThumbnail(int width, int height);

    // The sample picture through every stock for the profile, labelled, the
    // ungraded picture first. Grades with the CPU reference grade.
    static QImage contactSheet(const CameraProfile& profile, int cellWidth, int threads);

    // TIFF bytes of an image (the format of placeholders and thumbnails).
    static QByteArray tiffBytes(const QImage& image);
};

} // namespace FilmData
} // namespace Emulsa
