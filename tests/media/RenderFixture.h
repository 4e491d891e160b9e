#pragma once

#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/render/OutputSettings.h"

#include <QList>
#include <QOffscreenSurface>
#include <QString>

#include <memory>

namespace Emulsa::Test {

// What the render tests need around a renderer: the build's film data, an
// off-screen surface, described clips and items, and the progress a render
// reported.
class RenderFixture
{
public:
    // Points PROGRAMDATA at the build tree's generated data folder and makes
    // the surface. False (with a reason) when either is missing.
    bool setUp(QString* why);

    // A clip described by the source reader, as the metadata manager would.
    AssetMetadata* describe(const QString& path);
    SequenceItem* item(AssetMetadata* asset, const ClipSettings& grade, quint32 in, quint32 out);
    // The clip at `path`, described, frames in .. out - 1 (to its end by
    // default) with the neutral grade; null when it cannot be described.
    static constexpr quint32 toEnd = 0xFFFFFFFFu;
    SequenceItem* neutralItem(const QString& path, quint32 in = 0, quint32 out = toEnd);

    // Every stage neutral: no stock, no grain, defaults elsewhere.
    static ClipSettings neutralGrade();
    // Stock "5207" at full strength without grain.
    static ClipSettings stockGrade();

    struct Result
    {
        bool initialized = false;
        bool ran = false;
        QList<int> progress;
        QString error;
    };
    // Renders one item; `cancelAt` > 0 clears the run flag once that many
    // frames were reported.
    Result render(const SequenceItem* item, int format, const QString& destination, QSize size,
        bool keepExisting = false, int cancelAt = 0, FitMethod fit = StretchToFit);

    QOffscreenSurface* surface() { return m_surface.get(); }
    // The TIFF menus' indices the next renders use (depth, compression, alpha).
    int tiffMenus[3] = { 0, 0, 0 };

private:
    std::unique_ptr<QOffscreenSurface> m_surface;
    QList<std::shared_ptr<AssetMetadata>> m_assets;
    QList<std::shared_ptr<ClipSettings>> m_grades;
    QList<std::shared_ptr<SequenceItem>> m_items;
};

} // namespace Emulsa::Test
