#include "model/PresetCommands.h"

#include "model/Model.h"
#include "model/PresetTasks.h"
#include "model/PresetsManager.h"

#include <QDebug>

namespace Emulsa {

namespace {

PresetsManager* store()
{
    return PresetsManager::instance();
}

// Writes the store under the long-operation indicator.
void writePresets(Model& model)
{
    emit model.longOperationBegin();
    store()->writePresetsToDisk();
    emit model.longOperationEnded();
}

QVector<Preset> presetsOf(int groupId)
{
    return store()->presetsOfGroup(groupId);
}

BaseTask* saveAsPreset(Model& model, BaseTask* command, char)
{
    qDebug() << "Saving current settings as preset";
    const int groupId = static_cast<PresetGroupIdTask*>(command)->groupId;
    model.disposeCommand(command);
    BaseTask* inverse = nullptr;
    SequenceItem* item = model.current();
    if (item && item->settings) {
        if (const std::optional<Preset> preset = store()->createPreset(*item->settings, groupId)) {
            emit model.presetNeedThumbnail(preset->id());
            emit model.presetsListChanged(groupId, presetsOf(groupId));
            item->setPresetUuid(preset->id());
            emit model.sequenceItemGotPreset(preset->id(), Model::itemId(item));
            inverse = new PresetIdTask(RemovePreset, preset->id());
        }
    }
    writePresets(model);
    return inverse;
}

BaseTask* presetGroupsNeeded(Model& model, BaseTask* command, char)
{
    const quint32 type = command->type;
    model.disposeCommand(command);
    if (type == PresetGroupsNeeded)
        emit model.presetsGroupChanged(store()->groups());
    else
        emit model.presetsGroupChangedForDialog(store()->groups());
    return nullptr;
}

BaseTask* presetsNeeded(Model& model, BaseTask* command, char)
{
    const quint32 type = command->type;
    const int groupId = static_cast<PresetGroupIdTask*>(command)->groupId;
    model.disposeCommand(command);
    const QVector<Preset> presets = presetsOf(groupId);
    if (type == PresetsNeeded)
        emit model.presetsListChanged(groupId, presets);
    else if (type == PresetsNeededByDialog)
        emit model.presetsListChangedForDialog(groupId, presets);
    else
        emit model.presetsListChangedForWidget(groupId, presets);
    return nullptr;
}

BaseTask* removePreset(Model& model, BaseTask* command, char)
{
    const QByteArray presetId = static_cast<PresetIdTask*>(command)->presetId;
    model.disposeCommand(command);
    const std::optional<RemovedPreset> removed = store()->removePreset(presetId);
    if (!removed)
        return nullptr;
    emit model.presetRemoved(removed->preset.id());
    writePresets(model);
    return new RestorePresetTask(*removed);
}

BaseTask* restorePreset(Model& model, BaseTask* command, char)
{
    const RemovedPreset removed = static_cast<RestorePresetTask*>(command)->removed;
    model.disposeCommand(command);
    if (!store()->addPreset(removed))
        return nullptr;
    store()->writePresetsToDisk();
    emit model.currentPresetsGroupDisplayedShouldRefresh();
    return new PresetIdTask(RemovePreset, removed.preset.id());
}

BaseTask* createPresetGroup(Model& model, BaseTask* command, char)
{
    const QString name = static_cast<PresetTextTask*>(command)->text;
    model.disposeCommand(command);
    const PresetGroup group = store()->createNewGroup(name);
    store()->writePresetsToDisk();
    emit model.presetGroupCreated(group);
    return new PresetGroupIdTask(RemovePresetGroup, group.id);
}

BaseTask* removePresetGroup(Model& model, BaseTask* command, char)
{
    const int groupId = static_cast<PresetGroupIdTask*>(command)->groupId;
    model.disposeCommand(command);
    const std::optional<PresetGroup> group = store()->takeGroup(groupId);
    if (!group)
        return nullptr;
    store()->writePresetsToDisk();
    emit model.presetGroupRemoved(groupId);
    return new RestorePresetGroupTask(*group);
}

BaseTask* restorePresetGroup(Model& model, BaseTask* command, char)
{
    const PresetGroup taken = static_cast<RestorePresetGroupTask*>(command)->group;
    model.disposeCommand(command);
    const int groupId = store()->reinsertGroup(taken);
    store()->writePresetsToDisk();
    const std::optional<PresetGroup> group = store()->group(groupId);
    emit model.presetGroupCreated(group.value_or(taken));
    return new PresetGroupIdTask(RemovePresetGroup, groupId);
}

BaseTask* renamePresetGroup(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<PresetGroupTextTask*>(command);
    const std::optional<PresetGroup> group = store()->group(task->groupId);
    if (!group || !store()->renamePresetGroup(task->groupId, task->text)) {
        model.disposeCommand(command);
        return nullptr;
    }
    store()->writePresetsToDisk();
    emit model.presetGroupRenamed(task->groupId, task->text);
    task->text = group->name;
    return command;
}

BaseTask* movePresets(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<PresetsTransferTask*>(command);
    const QVector<QByteArray> moved = store()->movePresets(task->fromGroupId, task->toGroupId, task->presetIds);
    if (moved.isEmpty()) {
        // Unknown groups, the same group, or no preset of the source group:
        // nothing changed and nothing goes on the stacks.
        model.disposeCommand(command);
        return nullptr;
    }
    store()->writePresetsToDisk();
    std::swap(task->fromGroupId, task->toGroupId);
    task->presetIds = moved;
    emit model.currentPresetsGroupDisplayedShouldRefresh();
    return command;
}

// Each copy's undo entry removes it; copies of several presets are one group
// on the stack. Like every command that changes something, the copy clears
// the redo stack and marks the project unsaved.
BaseTask* copyPresets(Model& model, BaseTask* command, char)
{
    const auto* task = static_cast<PresetsTransferTask*>(command);
    QVector<QByteArray> copies;
    const bool group = task->presetIds.size() > 1;
    if (group)
        model.history().record(new BaseTask(GroupBegin), NewCommand);
    for (const QByteArray& id : task->presetIds) {
        const std::optional<Preset> copy = store()->copyPreset(id, task->toGroupId);
        if (!copy)
            continue;
        model.history().record(new PresetIdTask(RemovePreset, copy->id()), NewCommand);
        copies.append(copy->id());
        model.yieldToEventLoop();
    }
    if (group) {
        if (copies.isEmpty())
            model.disposeCommand(model.history().takeUndo()); // the lone GroupBegin
        else
            model.history().record(new BaseTask(GroupEnd), NewCommand);
    }
    if (!copies.isEmpty()) {
        model.history().clearRedo();
        model.noticeChange();
        store()->writePresetsToDisk();
    }
    emit model.currentPresetsGroupDisplayedShouldRefresh();
    model.disposeCommand(command);
    return nullptr;
}

BaseTask* renamePreset(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<RenamePresetTask*>(command);
    const std::optional<Preset> preset = store()->findPreset(task->presetId);
    if (!preset || !store()->renamePreset(task->presetId, task->name)) {
        model.disposeCommand(command);
        return nullptr;
    }
    store()->writePresetsToDisk();
    emit model.presetRenamed(task->presetId, task->name);
    task->name = preset->name;
    return command;
}

// The preset keeps its name, number, group and uuid; clips it was applied to
// keep their own copies of its old grade. The undo entry holds the grade,
// unread fields and thumbnail it had; undone, the entry for redo takes the
// ones it has then (the new thumbnail has arrived by that time).
BaseTask* updatePresetGrade(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<UpdatePresetGradeTask*>(command);
    const QByteArray presetId = task->presetId;
    const bool fromClip = !task->grade;
    std::optional<PresetGrade> replaced;
    if (fromClip) {
        const SequenceItem* item = model.current();
        if (item && item->settings) {
            PresetGrade grade;
            grade.settings = *item->settings;
            replaced = store()->replacePresetGrade(presetId, grade, true);
        }
    } else {
        replaced = store()->replacePresetGrade(presetId, *task->grade, false);
    }
    model.disposeCommand(command);
    if (!replaced)
        return nullptr;
    qDebug() << "Preset" << presetId << "updated with" << (fromClip ? "the current grade" : "an earlier grade");
    if (fromClip)
        emit model.presetNeedThumbnail(presetId);
    writePresets(model);
    emit model.currentPresetsGroupDisplayedShouldRefresh();
    return new UpdatePresetGradeTask(presetId, *replaced);
}

BaseTask* exportPresetGroup(Model& model, BaseTask* command, char)
{
    const auto* task = static_cast<PresetGroupTextTask*>(command);
    emit model.longOperationBegin();
    if (!store()->exportPresetGroup(task->groupId, task->text))
        qCritical() << "There has been an error when trying to export your presets group.";
    model.disposeCommand(command);
    emit model.longOperationEnded();
    return nullptr;
}

BaseTask* importPresetGroup(Model& model, BaseTask* command, char)
{
    const QString path = static_cast<PresetTextTask*>(command)->text;
    emit model.longOperationBegin();
    const int groupId = store()->importPresetGroup(path);
    if (groupId < 0) {
        qCritical() << "There has been an error when trying to import your presets group.";
    } else {
        store()->writePresetsToDisk();
        const QList<PresetGroup> groups = store()->groups();
        emit model.presetsGroupChanged(groups);
        emit model.presetsGroupChangedForDialog(groups);
        model.yieldToEventLoop();
        emit model.newPresetGroupSelected(groupId);
    }
    model.disposeCommand(command);
    emit model.longOperationEnded();
    return nullptr;
}

} // namespace

void registerPresetCommands(Model& model)
{
    model.commands().registerHandler(SaveAsPreset, saveAsPreset);
    model.commands().registerHandler(PresetGroupsNeeded, presetGroupsNeeded);
    model.commands().registerHandler(PresetGroupsNeededByDialog, presetGroupsNeeded);
    model.commands().registerHandler(PresetsNeeded, presetsNeeded);
    model.commands().registerHandler(PresetsNeededByDialog, presetsNeeded);
    model.commands().registerHandler(PresetsNeededByWidget, presetsNeeded);
    model.commands().registerHandler(RemovePreset, removePreset);
    model.commands().registerHandler(RestorePreset, restorePreset);
    model.commands().registerHandler(CreatePresetGroup, createPresetGroup);
    model.commands().registerHandler(RemovePresetGroup, removePresetGroup);
    model.commands().registerHandler(RestorePresetGroup, restorePresetGroup);
    model.commands().registerHandler(RenamePresetGroup, renamePresetGroup);
    model.commands().registerHandler(MovePresets, movePresets);
    model.commands().registerHandler(CopyPresets, copyPresets);
    model.commands().registerHandler(RenamePreset, renamePreset);
    model.commands().registerHandler(UpdatePresetGrade, updatePresetGrade);
    model.commands().registerHandler(ExportPresetGroup, exportPresetGroup);
    model.commands().registerHandler(ImportPresetGroup, importPresetGroup);
}

} // namespace Emulsa
