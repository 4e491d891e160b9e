#include "model/GradeCommands.h"

#include "model/GradeTasks.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "model/SequenceTasks.h"

#include <QDebug>

namespace Emulsa {

namespace {

// One discrete value of the grade: how to read it, write it, and announce it.
template<typename T> struct DiscreteField
{
    T (*get)(const ClipSettings&);
    void (*set)(ClipSettings&, const T&);
    void (*announce)(Model&, const ClipSettings&);
};

ClipSettings* currentSettings(Model& model)
{
    SequenceItem* item = model.current();
    return item ? item->settings : nullptr;
}

// The setter command of each continuous field, in the order of GradeField.
const quint32 fieldSetters[GradeFieldCount] = { SetExposure, SetKelvin, SetStockAmount, SetCurveAmount, SetGrainAmount,
    SetLowWheel, SetMidWheel, SetHighWheel, SetLift, SetGamma, SetGain, SetSaturation, SetHistogram, SetHalation,
    SetBloom, SetWeave, SetFlicker, SetColourGrain };

void announceField(Model& model, const GradeFieldInfo& field, const ClipSettings& settings)
{
    emit model.gradeFieldChanged(field.field, field.get(settings));
}

// The setter of a continuous field: in a drag (mode 0) it only sets; replayed
// from a stack it swaps and returns itself for the other stack.
Model::CommandHandler continuousSetter(const GradeFieldInfo& field)
{
    return [&field](Model& model, BaseTask* command, char mode) -> BaseTask* {
        auto* task = static_cast<GradeFieldTask*>(command);
        ClipSettings* settings = currentSettings(model);
        if (!settings || task->value.index() != field.defaultValue.index()) {
            if (settings)
                qWarning() << "A value of the wrong type for" << field.name << "was dropped";
            model.disposeCommand(command);
            return nullptr;
        }
        const GradeValue previous = field.get(*settings);
        field.set(*settings, task->value);
        announceField(model, field, *settings);
        if (mode == NewCommand) {
            model.disposeCommand(command);
            return nullptr;
        }
        task->value = previous;
        return command;
    };
}

// The start of a drag: the setter holding the present value becomes the one
// undo entry of the whole drag.
Model::CommandHandler aboutToChange(const GradeFieldInfo& field)
{
    return [&field](Model& model, BaseTask* command, char) -> BaseTask* {
        model.disposeCommand(command);
        ClipSettings* settings = currentSettings(model);
        if (!settings)
            return nullptr;
        return new GradeFieldTask(setterType(field.field), field.get(*settings));
    };
}

// The continuous field a command sets, or null.
const GradeFieldInfo* fieldOfSetter(quint32 type)
{
    for (int i = 0; i < GradeFieldCount; ++i) {
        if (fieldSetters[i] == type)
            return &gradeFields()[size_t(i)];
    }
    return nullptr;
}

// A discrete choice swaps its value in every mode.
template<typename T> Model::CommandHandler discreteSetter(DiscreteField<T> field)
{
    return [field](Model& model, BaseTask* command, char) -> BaseTask* {
        auto* task = static_cast<GradeValueTask<T>*>(command);
        ClipSettings* settings = currentSettings(model);
        if (!settings) {
            model.disposeCommand(command);
            return nullptr;
        }
        const T previous = field.get(*settings);
        field.set(*settings, task->value);
        task->value = previous;
        field.announce(model, *settings);
        return command;
    };
}

// The in and out points swap like discrete choices.
BaseTask* setPoint(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<UIntGradeTask*>(command);
    SequenceItem* item = model.current();
    if (!item) {
        model.disposeCommand(command);
        return nullptr;
    }
    quint32& point = command->type == SetStartPoint ? item->startFrame : item->endFrame;
    std::swap(point, task->value);
    if (command->type == SetStartPoint)
        emit model.startPointChanged(item->uuid, point);
    else
        emit model.endPointChanged(item->uuid, point);
    return command;
}

BaseTask* setItemProfile(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<ItemProfileTask*>(command);
    SequenceItem* item = model.findItem(task->itemId);
    if (!item || !item->settings) {
        model.disposeCommand(command);
        return nullptr;
    }
    const quint32 previous = item->settings->getSourceType();
    item->settings->setSourceType(task->profile);
    task->profile = previous;
    if (item == model.current())
        emit model.sourceAndOrStockChanged(item->settings->getSourceType(), item->settings->getStockName());
    return command;
}

// One group on the stacks: the current item through SetProfile, every other
// through SetItemProfile.
BaseTask* setProfileForAll(Model& model, BaseTask* command, char)
{
    const quint32 profile = static_cast<UIntGradeTask*>(command)->value;
    model.disposeCommand(command);
    model.runCommands(new BaseTask(GroupBegin), NewCommand);
    const QList<SequenceItem*> items = model.sequence();
    for (SequenceItem* item : items) {
        if (item == model.current())
            model.runCommands(new UIntGradeTask(SetProfile, profile), NewCommand);
        else
            model.runCommands(new ItemProfileTask(profile, Model::itemId(item)), NewCommand);
    }
    model.runCommands(new BaseTask(GroupEnd), NewCommand);
    return nullptr;
}

// The reset keeps the grade and the preset link it replaces as a snapshot.
// Like every command that changes the project it clears the redo stack when
// new and marks the project unsaved.
BaseTask* resetSettings(Model& model, BaseTask* command, char mode)
{
    model.disposeCommand(command);
    SequenceItem* item = model.current();
    if (!item || !item->settings)
        return nullptr;
    const QByteArray id = Model::itemId(item);
    auto* snapshot = new SettingsSnapshotTask(item->presetUuid(), *item->settings, id, item->unreadGradeFields);
    model.history().record(snapshot, mode);
    if (mode == NewCommand)
        model.history().clearRedo();
    model.noticeChange();
    model.settingsManager().resetSettingsForID(item->uuid);
    model.setUnreadGradeFields(item, QStringList());
    if (!item->presetUuid().isEmpty()) {
        item->setPresetUuid(QByteArray());
        emit model.sequenceItemGotPreset(QByteArray(), id);
    }
    emit model.currentSettingsReset(*item->settings);
    return nullptr;
}

BaseTask* applyPreset(Model& model, BaseTask* command, char mode)
{
    auto* task = static_cast<ApplyPresetTask*>(command);
    const std::optional<Preset> preset = PresetsManager::instance()->findPreset(task->presetId);
    if (!preset) {
        if (mode == NewCommand)
            model.history().clearRedo();
        model.disposeCommand(command);
        return nullptr;
    }
    QList<SequenceItem*> items;
    if (task->itemIds.isEmpty()) {
        if (model.current())
            items << model.current();
    } else {
        for (const QByteArray& id : task->itemIds) {
            if (SequenceItem* item = model.findItem(id))
                items << item;
        }
    }
    const bool group = items.size() > 1;
    auto mark = [&](quint32 forwards, quint32 backwards) {
        model.history().record(new BaseTask(mode == Undoing ? backwards : forwards), mode);
        model.yieldToEventLoop();
    };
    if (group)
        mark(GroupBegin, GroupEnd);
    const QByteArray presetId = preset->id();
    for (SequenceItem* item : items) {
        if (!item->settings)
            continue;
        auto* snapshot = new SettingsSnapshotTask(
            item->presetUuid(), *item->settings, Model::itemId(item), item->unreadGradeFields);
        model.history().record(snapshot, mode);
        // The clip keeps its own camera profile. The defaults of a preset
        // that could not be read whole become the clip's.
        item->settings->copyFrom(&preset->settings);
        item->setPresetUuid(presetId);
        model.setUnreadGradeFields(item, preset->unreadFields);
        emit model.sequenceItemGotPreset(presetId, Model::itemId(item));
        if (item == model.current())
            emit model.currentSettingsReset(*item->settings);
        model.yieldToEventLoop();
    }
    if (group)
        mark(GroupEnd, GroupBegin);
    if (!items.isEmpty())
        model.noticeChange();
    if (mode == NewCommand)
        model.history().clearRedo();
    model.disposeCommand(command);
    return nullptr;
}

// Commands that are no edit of the current item's grade keep its preset link.
bool keepsPresetLink(quint32 type)
{
    return type == SetShowOriginal || type == SetStartPoint || type == SetEndPoint || type == ApplyPreset
        || type == ResetSettings || type == SetItemProfile || type == SetProfileForAll;
}

// The snapshot undo entry of a new command: replaces the handler's own inverse.
BaseTask* pushSnapshot(Model& model, BaseTask* result, SettingsSnapshotTask* before)
{
    if (result)
        model.disposeCommand(result);
    model.history().record(before, NewCommand);
    model.history().clearRedo();
    model.noticeChange();
    return nullptr;
}

// Changes the camera profile of an item other than the current one. An item
// with unread grade fields loses them, and the undo entry is a snapshot that
// gives them back.
BaseTask* itemProfileWithUnreadFields(Model& model, BaseTask* command, char mode)
{
    SequenceItem* item = model.findItem(static_cast<ItemProfileTask*>(command)->itemId);
    if (mode != NewCommand || !item || !item->settings || item->unreadGradeFields.isEmpty())
        return model.runHandler(command, mode);
    auto* before
        = new SettingsSnapshotTask(item->presetUuid(), *item->settings, Model::itemId(item), item->unreadGradeFields);
    BaseTask* result = model.runHandler(command, mode);
    model.setUnreadGradeFields(item, QStringList());
    return pushSnapshot(model, result, before);
}

// The family's entry point: runs the handler, then unlinks a preset-linked
// current item and clears the unread grade fields of an item read from a
// damaged project file. The undo entry of that first own edit is a snapshot
// of the grade, link and unread fields from before it, so undo gives back
// exactly that state even when the preset has been removed meanwhile.
BaseTask* gradeCategory(Model& model, BaseTask* command, char mode)
{
    if (command->type == SetItemProfile)
        return itemProfileWithUnreadFields(model, command, mode);
    SequenceItem* item = model.current();
    const GradeFieldInfo* field = fieldOfSetter(command->type);
    if (field && field->dropsUnchanged && item && item->settings
        && static_cast<GradeFieldTask*>(command)->value == field->get(*item->settings)) {
        model.disposeCommand(command);
        return nullptr;
    }
    const bool rule = !keepsPresetLink(command->type);
    const bool linked = item && !item->presetUuid().isEmpty();
    const bool unread = mode == NewCommand && item && !item->unreadGradeFields.isEmpty();
    SettingsSnapshotTask* before = nullptr;
    if (rule && item && item->settings && (linked || unread)) {
        before = new SettingsSnapshotTask(
            item->presetUuid(), *item->settings, Model::itemId(item), item->unreadGradeFields);
    }

    BaseTask* result = model.runHandler(command, mode);
    if (!rule)
        return result;
    if (mode != NewCommand && item && item->settings)
        emit model.viewNeedRefresh(*item->settings);
    if (!before)
        return result;
    if (mode == NewCommand)
        result = pushSnapshot(model, result, before);
    else
        model.history().record(before, mode);
    if (unread)
        model.setUnreadGradeFields(item, QStringList());
    if (linked) {
        item->setPresetUuid(QByteArray());
        emit model.sequenceItemGotPreset(QByteArray(), Model::itemId(item));
    }
    return result;
}

} // namespace

quint32 setterType(GradeField field)
{
    return fieldSetters[int(field)];
}

quint32 aboutToChangeType(GradeField field)
{
    // The about-to-change commands follow the fields' order, in two runs.
    if (field < FirstFilmEffectField)
        return ExposureAboutToChange + quint32(field);
    return HalationAboutToChange + quint32(int(field) - int(FirstFilmEffectField));
}

void registerGradeCommands(Model& model)
{
    model.commands().setCategoryHandler(GradeCategory, gradeCategory);

    for (const GradeFieldInfo& field : gradeFields()) {
        model.commands().registerHandler(setterType(field.field), continuousSetter(field));
        model.commands().registerHandler(aboutToChangeType(field.field), aboutToChange(field));
    }

    model.commands().registerHandler(SetProfile,
        discreteSetter<quint32>({ [](const ClipSettings& s) { return s.getSourceType(); },
            [](ClipSettings& s, const quint32& v) { s.setSourceType(v); },
            [](Model& m, const ClipSettings& s) {
                emit m.sourceAndOrStockChanged(s.getSourceType(), s.getStockName());
            } }));
    model.commands().registerHandler(SetStock,
        discreteSetter<QString>({ [](const ClipSettings& s) { return s.getStockName(); },
            [](ClipSettings& s, const QString& v) { s.setStockName(v); },
            [](Model& m, const ClipSettings& s) {
                emit m.sourceAndOrStockChanged(s.getSourceType(), s.getStockName());
            } }));
    model.commands().registerHandler(SetGrainSize,
        discreteSetter<QString>({ [](const ClipSettings& s) { return s.getGrainScaleName(); },
            [](ClipSettings& s, const QString& v) { s.setGrainScaleName(v); },
            [](Model& m, const ClipSettings& s) {
                emit m.grainSizeChanged(s.getSourceType(), s.getStockName(), s.getGrainScaleName());
            } }));
    model.commands().registerHandler(SetShowOriginal,
        discreteSetter<bool>({ [](const ClipSettings& s) { return s.getOriginal(); },
            [](ClipSettings& s, const bool& v) { s.setOriginal(v); },
            [](Model& m, const ClipSettings& s) { emit m.showOriginalChanged(s.getOriginal()); } }));
    model.commands().registerHandler(SetStartPoint, setPoint);
    model.commands().registerHandler(SetEndPoint, setPoint);
    model.commands().registerHandler(SetItemProfile, setItemProfile);
    model.commands().registerHandler(SetProfileForAll, setProfileForAll);
    model.commands().registerHandler(ResetSettings, resetSettings);
    model.commands().registerHandler(ApplyPreset, applyPreset);
}

} // namespace Emulsa
