#include "media/SequenceItem.h"

#include "core/ClipSettings.h"
#include "media/AssetMetadata.h"

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
    const qint64 start = startFrame;
    const qint64 end = endFrame;
    if (start == 0)
        return end;
    const qint64 total = asset ? qint64(asset->frameCount) : 0;
    if (end == total)
        return total - start;
    // An out point past the end counts only the frames that exist.
    return std::min(total, end) - start;
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
