// A stored record of the media browser's thumbnail cache, read back for a
// clip whose file is the fuzz input's own.

#include "FuzzSupport.h"

#include "media/clip/AssetMetadata.h"
#include "media/metadata/ThumbnailCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Emulsa::Fuzz::start();
    static const QByteArray id = QByteArray::fromHex("a1b2c3d4e5f60718293a4b5c6d7e8f90");
    const Emulsa::ThumbnailCache cache(QDir::homePath() + QStringLiteral("/thumbnails"));
    // The input is the stored record.
    QDir().mkpath(cache.recordFolder(id));
    QFile record(cache.recordPath(id));
    if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    record.write(Emulsa::Fuzz::bytes(data, size));
    record.close();
    Emulsa::AssetMetadata asset;
    asset.id = id;
    asset.filePath = cache.recordPath(id);
    cache.load(&asset);
    return 0;
}
