#pragma once

#include <QStringList>

namespace Emulsa {

// How the images of a TIFF sequence are stored.
struct TiffOptions
{
    enum Compression
    {
        NoCompression = 0,
        Lzw = 1,
        Deflate = 2,
    };
    bool sixteenBits = false;
    Compression compression = NoCompression;
    bool alpha = true;

    // The render tab's TIFF menus, in index order: "8 bits per channel",
    // "16 bits per channel"; "No compression", "LZW", "Deflate"; "With
    // alpha", "Without alpha". Index 0 of each is how sequences were always
    // written. An index out of range counts as 0.
    static QStringList depthNames();
    static QStringList compressionNames();
    static QStringList alphaNames();
    static TiffOptions fromMenus(int depth, int compression, int alpha);
};

} // namespace Emulsa
