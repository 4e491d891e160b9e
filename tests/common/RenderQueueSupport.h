#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace Emulsa {
class AssetMetadata;
class EMRenderer;
} // namespace Emulsa

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
    // Points the process at the build's film data and puts the path of the
    // test clip without sound in *clip; false, with the reason in `why`,
    // when either is missing.
    static bool useFilmDataAndClip(QString* clip, QString* why);
    // Sets a render tab to small quick movies (H.264 preview at 320 x 180)
    // in `destination`, replacing files of the same name.
    static void setQuickMovies(EMRenderer* tab, const QString& destination);
};

} // namespace Emulsa::Test
