#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace Emulsa {
class AssetMetadata;
}

namespace Emulsa::Test {

// What the render queue tests share: clips described
// as the metadata manager would, and copies of a clip under other names.
class RenderQueueSupport
{
public:
    // A description of the clip at `path`, kept until the process ends; null
    // when the clip cannot be read.
    static AssetMetadata* describe(const QString& path);
    // Copies a file into `folder` under `name`; the copy's path, or empty.
    static QString copyAs(const QString& source, const QString& folder, const QString& name);
    // The frame count of a movie written by the renderer (decoded by the
    // source reader), or -1 when it cannot be read.
    static int movieFrameCount(const QString& path);
};

} // namespace Emulsa::Test
