#include "RenderFixture.h"
#include "common/TestEnvironment.h"

#include "core/OffscreenGLContext.h"
#include "media/render/WinOffscreenRenderer.h"
#include "media/source/WinSourceReader.h"

#include <QDir>
#include <QFileInfo>

namespace Emulsa::Test {

bool RenderFixture::setUp(QString* why)
{
    if (!Test::useBuildFilmData(why))
        return false;
    m_surface = std::make_unique<QOffscreenSurface>();
    OffscreenGLContext::requestCoreFormat(m_surface.get());
    m_surface->create();
    if (!m_surface->isValid()) {
        *why = QStringLiteral("no off-screen surface");
        return false;
    }
    return true;
}

AssetMetadata* RenderFixture::describe(const QString& path)
{
    auto asset = std::make_shared<AssetMetadata>();
    asset->filePath = path;
    asset->name = QFileInfo(path).fileName();
    WinSourceReader reader(false);
    if (!reader.initializeFromMetadata(asset.get()) || !reader.fillMetadata())
        return nullptr;
    m_assets << asset;
    return asset.get();
}

SequenceItem* RenderFixture::neutralItem(const QString& path, quint32 in, quint32 out)
{
    AssetMetadata* asset = describe(path);
    if (!asset)
        return nullptr;
    return item(asset, neutralGrade(), in, out == toEnd ? asset->frameCount : out);
}

SequenceItem* RenderFixture::item(AssetMetadata* asset, const ClipSettings& grade, quint32 in, quint32 out)
{
    auto settings = std::make_shared<ClipSettings>(grade);
    auto item = std::make_shared<SequenceItem>(asset, settings.get(), in, out);
    m_grades << settings;
    m_items << item;
    return item.get();
}

ClipSettings RenderFixture::neutralGrade()
{
    ClipSettings settings;
    settings.setStockLUTAmount(0);
    settings.setStockCurveAmount(0);
    settings.setGrainAmount(0);
    return settings;
}

ClipSettings RenderFixture::stockGrade()
{
    ClipSettings settings;
    settings.setStockName(QStringLiteral("5207"));
    settings.setStockLUTAmount(100);
    settings.setStockCurveAmount(100);
    settings.setGrainAmount(0);
    return settings;
}

RenderFixture::Result RenderFixture::render(const SequenceItem* item, int format, const QString& destination,
    QSize size, bool keepExisting, int cancelAt, FitMethod fit)
{
    Result result;
    QString folder = destination;
    EncoderSettings encoder;
    t_OutputSettings settings;
    OutputSettings::fill(&settings, format, &folder, &encoder, size, fit, keepExisting);
    OutputSettings::setTiffOptions(&settings, tiffMenus[0], tiffMenus[1], tiffMenus[2]);
    bool running = true;
    WinOffscreenRenderer renderer(&running, m_surface.get());
    QObject::connect(&renderer, &OffscreenRenderer::progressUpdated, [&](const QUuid* uuid, int value) {
        if (uuid && *uuid == item->uuid)
            result.progress << value;
        if (cancelAt > 0 && value >= cancelAt)
            running = false;
    });
    result.initialized = renderer.initialize(item, &settings);
    if (result.initialized)
        result.ran = OutputSettings::isMovieFormat(format) ? renderer.run() : renderer.runImageMode();
    result.error = renderer.lastError();
    return result;
}

} // namespace Emulsa::Test
