#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QStringList>
#include <QUuid>

#include <memory>

namespace Emulsa {

class AssetMetadata;
class ClipSettings;

// One clip placed in the sequence: the media file, its grade, the stretch of
// the file between the in and out points, its identity and the preset it
// follows. The model owns every item; the asset belongs to the metadata
// manager and the settings are registered in the settings manager.
class SequenceItem
{
public:
    // A null uuid is replaced by a fresh one.
    SequenceItem(AssetMetadata* asset, ClipSettings* settings, quint32 startFrame, quint32 endFrame,
        const QUuid& uuid = QUuid());

    // Frames played and rendered between the in and out points.
    qint64 lengthInFrames() const;
    // True when this item is the whole of the given asset: same asset id, in
    // point 0 and out point at the asset's frame count.
    bool coversWholeAsset(const AssetMetadata* other) const;

    // The preset last applied, as braced QUuid text; empty when none.
    QByteArray presetUuid() const { return m_presetUuid; }
    void setPresetUuid(const QByteArray& presetUuid) { m_presetUuid = presetUuid; }

    // A copy of this item that owns a copy of its settings, for readers on
    // other threads (the render queue): deleting the copy deletes its settings.
    SequenceItem* snapshot() const;
    // Deletes the snapshot copies of a list and the list.
    static void deleteSnapshots(QList<const SequenceItem*>* snapshots);

    // Registers SequenceItem* under "SequenceItem" and "Emulsa::SequenceItem".
    static void registerMetaType();

    AssetMetadata* asset = nullptr;
    ClipSettings* settings = nullptr;
    quint32 startFrame = 0;
    quint32 endFrame = 0;
    QUuid uuid;
    // The fields of the grade that could not be read from the project file
    // ("Kelvin", "ColorWheels/Mid/Radius"); the grade holds defaults there.
    // Empty once the grade was read whole, changed, or saved by the user.
    QStringList unreadGradeFields;

private:
    QByteArray m_presetUuid;
    // Set only in snapshot copies.
    std::shared_ptr<ClipSettings> m_ownedSettings;
};

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::SequenceItem*)
