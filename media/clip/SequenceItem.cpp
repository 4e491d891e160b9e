#include "media/clip/SequenceItem.h"

#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"

#include <algorithm>

namespace Emulsa {

SequenceItem::SequenceItem(
    AssetMetadata* asset, ClipSettings* settings, quint32 startFrame, quint32 endFrame, const QUuid& uuid)
    : asset(asset)
    , settings(settings)
    , startFrame(startFrame)
    , endFrame(endFrame)
    , uuid(uuid.isNull() ? QUuid::createUuid() : uuid)
{
}

qint64 SequenceItem::lengthInFrames() const
{
    // An out point past the clip's end counts only the frames that exist,
    // whatever the in point.
    qint64 end = endFrame;
    if (asset)
        end = std::min(end, qint64(asset->frameCount));
    return std::max(qint64(0), end - qint64(startFrame));
}

bool SequenceItem::coversWholeAsset(const AssetMetadata* other) const
{
    if (!asset || !other)
        return false;
    return asset->id == other->id && startFrame == 0 && endFrame == other->frameCount;
}

SequenceItem* SequenceItem::snapshot() const
{
    auto* copy = new SequenceItem(asset, nullptr, startFrame, endFrame, uuid);
    if (settings) {
        copy->m_ownedSettings = std::make_shared<ClipSettings>(*settings);
        copy->settings = copy->m_ownedSettings.get();
    }
    copy->m_presetUuid = m_presetUuid;
    copy->unreadGradeFields = unreadGradeFields;
    return copy;
}

void SequenceItem::deleteSnapshots(QList<const SequenceItem*>* snapshots)
{
    if (!snapshots)
        return;
    qDeleteAll(*snapshots);
    delete snapshots;
}

void SequenceItem::registerMetaType()
{
    qRegisterMetaType<SequenceItem*>("SequenceItem*");
    qRegisterMetaType<SequenceItem*>("Emulsa::SequenceItem*");
}

} // namespace Emulsa
