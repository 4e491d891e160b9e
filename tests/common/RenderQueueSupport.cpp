#include "common/RenderQueueSupport.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "media/clip/AssetMetadata.h"
#include "media/render/OutputSettings.h"
#include "media/source/WinSourceReader.h"
#include "ui/render/EMRenderer.h"
#include "ui/render/RenderOutputForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

namespace Emulsa::Test {

namespace {
std::vector<std::unique_ptr<AssetMetadata>>& described()
{
    static std::vector<std::unique_ptr<AssetMetadata>> assets;
    return assets;
}
} // namespace

AssetMetadata* RenderQueueSupport::describe(const QString& path)
{
    auto asset = std::make_unique<AssetMetadata>();
    asset->filePath = path;
    asset->name = QFileInfo(path).fileName();
    asset->id = QFile::encodeName(path);
    WinSourceReader reader(false);
    if (!reader.initializeFromMetadata(asset.get()) || !reader.fillMetadata())
        return nullptr;
    described().push_back(std::move(asset));
    return described().back().get();
}

QString RenderQueueSupport::copyAs(const QString& source, const QString& folder, const QString& name)
{
    QDir().mkpath(folder);
    const QString target = folder + QLatin1Char('/') + name;
    QFile::remove(target);
    return QFile::copy(source, target) ? target : QString();
}

int RenderQueueSupport::movieFrameCount(const QString& path)
{
    AssetMetadata asset;
    asset.filePath = path;
    asset.name = QFileInfo(path).fileName();
    WinSourceReader reader(false);
    if (!reader.initializeFromMetadata(&asset) || !reader.fillMetadata())
        return -1;
    return int(asset.frameCount);
}

bool RenderQueueSupport::useFilmDataAndClip(QString* clip, QString* why)
{
    if (!useBuildFilmData(why))
        return false;
    *clip = TestMedia::instance().path(TestMedia::NoAudio);
    if (clip->isEmpty()) {
        *why = QStringLiteral("ffmpeg could not make the test clip");
        return false;
    }
    return true;
}

void RenderQueueSupport::setQuickMovies(EMRenderer* tab, const QString& destination)
{
    tab->output()->addDestinationFolder(destination);
    tab->output()->setCustomSize(QSize(320, 180));
    tab->output()->formatBox()->setCurrentIndex(H264Preview);
    tab->output()->overwriteBox()->setChecked(true);
}

} // namespace Emulsa::Test
