#include "model/ControlCommands.h"

#include "model/Model.h"
#include "model/SequenceTasks.h"

#include <QDebug>

namespace Emulsa {

namespace {

// Undo one step. A group (GroupEnd on top of the undo stack) is undone as a
// whole, down to and including its GroupBegin; the markers announce the long
// operation.
BaseTask* undo(Model& model, BaseTask* command, char)
{
    model.disposeCommand(command);
    if (model.undoStack().isEmpty())
        return nullptr;
    BaseTask* entry = model.takeUndo();
    const bool group = entry->type == GroupEnd;
    model.runCommands(entry, Undoing);
    if (!group)
        return nullptr;
    while (!model.undoStack().isEmpty() && model.undoStack().first()->type != GroupBegin)
        model.runCommands(model.takeUndo(), Undoing);
    if (!model.undoStack().isEmpty())
        model.runCommands(model.takeUndo(), Undoing);
    return nullptr;
}

BaseTask* redo(Model& model, BaseTask* command, char)
{
    model.disposeCommand(command);
    if (model.redoStack().isEmpty())
        return nullptr;
    BaseTask* entry = model.takeRedo();
    const bool group = entry->type == GroupBegin;
    model.runCommands(entry, Redoing);
    if (!group)
        return nullptr;
    while (!model.redoStack().isEmpty() && model.redoStack().first()->type != GroupEnd)
        model.runCommands(model.takeRedo(), Redoing);
    if (!model.redoStack().isEmpty())
        model.runCommands(model.takeRedo(), Redoing);
    return nullptr;
}

// A marker opens the long operation when it starts a group in the direction
// it runs (GroupBegin forwards, GroupEnd backwards) and closes it otherwise;
// it returns itself to bracket the replayed entries on the opposite stack.
BaseTask* groupMarker(Model& model, BaseTask* command, char mode)
{
    const bool opens = (command->type == GroupBegin) == (mode != Undoing);
    model.setLongOperationRunning(opens);
    if (opens)
        emit model.longOperationBegin();
    else
        emit model.longOperationEnded();
    return command;
}

BaseTask* restoreSettingsSnapshot(Model& model, BaseTask* command, char)
{
    auto* snapshot = static_cast<SettingsSnapshotTask*>(command);
    SequenceItem* item = model.findItem(snapshot->itemId);
    if (!item || !item->settings)
        return command;
    const ClipSettings previous = *item->settings;
    *item->settings = snapshot->settings;
    snapshot->settings = previous;
    const QByteArray previousPreset = item->presetUuid();
    item->setPresetUuid(snapshot->presetId);
    snapshot->presetId = previousPreset;
    const QStringList previousUnread = item->unreadGradeFields;
    model.setUnreadGradeFields(item, snapshot->unreadGradeFields);
    snapshot->unreadGradeFields = previousUnread;
    if (item == model.current())
        emit model.currentSettingsReset(*item->settings);
    emit model.sequenceItemGotPreset(item->presetUuid(), snapshot->itemId);
    return command;
}

} // namespace

void registerControlCommands(Model& model)
{
    model.registerHandler(Undo, undo);
    model.registerHandler(Redo, redo);
    model.registerHandler(GroupBegin, groupMarker);
    model.registerHandler(GroupEnd, groupMarker);
    model.registerHandler(RestoreSettingsSnapshot, restoreSettingsSnapshot);
}

} // namespace Emulsa
