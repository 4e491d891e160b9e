#pragma once

#include "core/ClipSettings.h"
#include "model/BaseTask.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Emulsa {

// Payload records of the sequence and project commands. Item ids are the
// braced text form of the item's QUuid.

// AddShot, AddShotNoCheck, NewFileToLoad, SaveProject.
struct PathTask : BaseTask
{
    PathTask(quint32 type, const QString& path)
        : BaseTask(type)
        , path(path)
    {
    }
    QString path;
};

// RemoveShot, SelectShot.
struct ItemIdTask : BaseTask
{
    ItemIdTask(quint32 type, const QByteArray& itemId)
        : BaseTask(type)
        , itemId(itemId)
    {
    }
    QByteArray itemId;
};

// ItemsForRender: the ids of the items wanted, in the order wanted.
struct ItemIdListTask : BaseTask
{
    ItemIdListTask(quint32 type, const QList<QByteArray>& itemIds)
        : BaseTask(type)
        , itemIds(itemIds)
    {
    }
    QList<QByteArray> itemIds;
};

// SetDefaultProfile: a camera profile id.
struct ProfileTask : BaseTask
{
    ProfileTask(quint32 type, quint32 profile)
        : BaseTask(type)
        , profile(profile)
    {
    }
    quint32 profile;
};

// PositionChanged: a frame index.
struct FrameTask : BaseTask
{
    FrameTask(quint32 type, int frame)
        : BaseTask(type)
        , frame(frame)
    {
    }
    int frame;
};

// AddSequenceItem (an item read from a project file, with its own settings)
// and RestoreShot (an item removed from the sequence, with its settings, and
// the index it had). The record owns the item and its settings until the
// model takes them.
struct SequenceItemTask : BaseTask
{
    SequenceItemTask(quint32 type, SequenceItem* item, int index = -1)
        : BaseTask(type)
        , item(item)
        , index(index)
    {
    }
    ~SequenceItemTask() override;

    void takeItems(QList<SequenceItem*>* items) override;
    // Hands the item over and forgets it.
    SequenceItem* takeItem();

    SequenceItem* item;
    // RestoreShot: where the item stood; -1 appends.
    int index;
};

} // namespace Emulsa

namespace Emulsa {

// RestoreSettingsSnapshot: a whole grade, preset link and list of unread
// grade fields for one item, swapped with the item's own when run.
struct SettingsSnapshotTask : BaseTask
{
    SettingsSnapshotTask(const QByteArray& presetId, const ClipSettings& settings, const QByteArray& itemId,
        const QStringList& unreadGradeFields = QStringList())
        : BaseTask(RestoreSettingsSnapshot)
        , presetId(presetId)
        , settings(settings)
        , itemId(itemId)
        , unreadGradeFields(unreadGradeFields)
    {
    }
    QByteArray presetId;
    ClipSettings settings;
    QByteArray itemId;
    QStringList unreadGradeFields;
};

} // namespace Emulsa
