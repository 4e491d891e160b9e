#include "ProjectJob.h"

#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "media/source/WinSourceReader.h"
#include "model/ProjectFileReader.h"

#include <QFile>
#include <QFileInfo>

namespace Emulsa::RenderTool {

ProjectJob::~ProjectJob()
{
    for (SequenceItem* item : qAsConst(m_items))
        delete item->settings;
    qDeleteAll(m_items);
    qDeleteAll(m_assets);
}

bool ProjectJob::isDecodable(const SequenceItem* item)
{
    return item && item->asset && item->asset->valid && item->asset->frameCount > 0;
}

AssetMetadata* ProjectJob::describe(const QString& path)
{
    const QFileInfo info(path);
    AssetMetadata*& asset = m_assets[info.absoluteFilePath()];
    if (asset)
        return asset;
    asset = new AssetMetadata;
    asset->filePath = info.absoluteFilePath();
    asset->name = info.fileName();
    asset->id = MetadataManager::idForPath(asset->filePath);
    WinSourceReader reader(false);
    asset->valid = info.isFile() && reader.initializeFromMetadata(asset) && reader.fillMetadata();
    asset->ready = true;
    return asset;
}

QStringList ProjectJob::unreadFields(const SequenceItem* item) const
{
    return item ? m_incompleteGrades.value(item->uuid) : QStringList();
}

bool ProjectJob::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("can't open the project %1: %2").arg(path, file.errorString());
        return false;
    }
    ProjectFileReader reader(&m_items);
    reader.setAssetResolver([this](const QByteArray&, const QString& clip) { return describe(clip); });
    reader.read(&file);
    m_problems = reader.problemSummary();
    m_incompleteGrades = reader.incompleteGrades();
    if (m_items.isEmpty()) {
        *error = QStringLiteral("the project %1 holds no clip that can be read%2")
                     .arg(path, m_problems.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_problems));
        return false;
    }
    return true;
}

} // namespace Emulsa::RenderTool
