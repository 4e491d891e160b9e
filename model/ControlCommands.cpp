#include "model/ControlCommands.h"

#include "model/Model.h"
#include "model/SequenceTasks.h"

#include <QDebug>

namespace Emulsa {

namespace {

// One step of undo (`undoing`) or redo. A group (its closing marker on top of
// the stack: GroupEnd for undo, GroupBegin for redo) is run as a whole, down
// to and including its opening marker; the markers announce the long
// operation.
BaseTask* step(Model& model, BaseTask* command, bool undoing)
{
    model.disposeCommand(command);
    CommandHistory& history = model.history();
    const QList<BaseTask*>& stack = undoing ? history.undoStack() : history.redoStack();
    auto take = [&history, undoing] { return undoing ? history.takeUndo() : history.takeRedo(); };
    const char mode = undoing ? Undoing : Redoing;
    if (stack.isEmpty())
        return nullptr;
    BaseTask* entry = take();
    const bool group = entry->type == (undoing ? GroupEnd : GroupBegin);
    model.runCommands(entry, mode);
    if (!group)
        return nullptr;
    const quint32 opening = undoing ? GroupBegin : GroupEnd;
    while (!stack.isEmpty() && stack.first()->type != opening)
        model.runCommands(take(), mode);
    if (!stack.isEmpty())
        model.runCommands(take(), mode);
    return nullptr;
}

BaseTask* undo(Model& model, BaseTask* command, char)
{
    return step(model, command, true);
}

BaseTask* redo(Model& model, BaseTask* command, char)
{
    return step(model, command, false);
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
    model.commands().registerHandler(Undo, undo);
    model.commands().registerHandler(Redo, redo);
    model.commands().registerHandler(GroupBegin, groupMarker);
    model.commands().registerHandler(GroupEnd, groupMarker);
    model.commands().registerHandler(RestoreSettingsSnapshot, restoreSettingsSnapshot);
}

} // namespace Emulsa
