#include "media/encode/TiffOptions.h"

namespace Emulsa {

QStringList TiffOptions::depthNames()
{
    return { QStringLiteral("8 bits per channel"), QStringLiteral("16 bits per channel") };
}

QStringList TiffOptions::compressionNames()
{
    return { QStringLiteral("No compression"), QStringLiteral("LZW"), QStringLiteral("Deflate") };
}

QStringList TiffOptions::alphaNames()
{
    return { QStringLiteral("With alpha"), QStringLiteral("Without alpha") };
}

TiffOptions TiffOptions::fromMenus(int depth, int compression, int alpha)
{
    TiffOptions options;
    options.sixteenBits = depth == 1;
    if (compression == Lzw || compression == Deflate)
        options.compression = Compression(compression);
    options.alpha = alpha != 1;
    return options;
}

} // namespace Emulsa
