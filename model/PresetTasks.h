#pragma once

#include "model/BaseTask.h"
#include "model/PresetGroup.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

namespace Emulsa {

// The records of the preset and group commands.

// SaveAsPreset, PresetsNeeded, PresetsNeededByDialog, PresetsNeededByWidget,
// RemovePresetGroup: a group id.
struct PresetGroupIdTask : BaseTask
{
    PresetGroupIdTask(quint32 type, int groupId)
        : BaseTask(type)
        , groupId(groupId)
    {
    }
    int groupId;
};

// RemovePreset: a preset id.
struct PresetIdTask : BaseTask
{
    PresetIdTask(quint32 type, const QByteArray& presetId)
        : BaseTask(type)
        , presetId(presetId)
    {
    }
    QByteArray presetId;
};

// RestorePreset: a removed preset and its group.
struct RestorePresetTask : BaseTask
{
    explicit RestorePresetTask(const RemovedPreset& removed)
        : BaseTask(RestorePreset)
        , removed(removed)
    {
    }
    RemovedPreset removed;
};

// CreatePresetGroup (name), ImportPresetGroup (path).
struct PresetTextTask : BaseTask
{
    PresetTextTask(quint32 type, const QString& text)
        : BaseTask(type)
        , text(text)
    {
    }
    QString text;
};

// RestorePresetGroup: a group taken out of the store.
struct RestorePresetGroupTask : BaseTask
{
    explicit RestorePresetGroupTask(const PresetGroup& group)
        : BaseTask(RestorePresetGroup)
        , group(group)
    {
    }
    PresetGroup group;
};

// RenamePresetGroup (group id, name), ExportPresetGroup (group id, path).
struct PresetGroupTextTask : BaseTask
{
    PresetGroupTextTask(quint32 type, int groupId, const QString& text)
        : BaseTask(type)
        , groupId(groupId)
        , text(text)
    {
    }
    int groupId;
    QString text;
};

// RenamePreset: a preset id and a name.
struct RenamePresetTask : BaseTask
{
    RenamePresetTask(const QByteArray& presetId, const QString& name)
        : BaseTask(RenamePreset)
        , presetId(presetId)
        , name(name)
    {
    }
    QByteArray presetId;
    QString name;
};

// MovePresets, CopyPresets: presets of one group for another.
struct PresetsTransferTask : BaseTask
{
    PresetsTransferTask(quint32 type, int fromGroupId, int toGroupId, const QVector<QByteArray>& presetIds)
        : BaseTask(type)
        , fromGroupId(fromGroupId)
        , toGroupId(toGroupId)
        , presetIds(presetIds)
    {
    }
    int fromGroupId;
    int toGroupId;
    QVector<QByteArray> presetIds;
};

// UpdatePresetGrade: a preset and, for undo and redo, the grade to give it.
// Without a grade the preset takes the current clip's, with no unread fields,
// and a new thumbnail is asked for.
struct UpdatePresetGradeTask : BaseTask
{
    explicit UpdatePresetGradeTask(const QByteArray& presetId, std::optional<PresetGrade> grade = std::nullopt)
        : BaseTask(UpdatePresetGrade)
        , presetId(presetId)
        , grade(std::move(grade))
    {
    }
    QByteArray presetId;
    std::optional<PresetGrade> grade;
};

} // namespace Emulsa
