#include "model/SequenceCommands.h"

#include "core/ThreadHandOff.h"
#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "media/source/VideoFileTypes.h"
#include "model/Model.h"
#include "model/ProjectLoader.h"
#include "model/SequenceTasks.h"

#include <QDebug>
#include <QFileInfo>

namespace Emulsa {

namespace {

// Tells the views what an item put back or read from a project brings with
// its grade (its preset, the grade fields that could not be read), and makes
// it the current item when there is none.
void announceGradeOf(Model& model, SequenceItem* item)
{
    if (!item->presetUuid().isEmpty())
        emit model.sequenceItemGotPreset(item->presetUuid(), Model::itemId(item));
    if (!item->unreadGradeFields.isEmpty())
        emit model.unreadGradeFieldsChanged(Model::itemId(item), item->unreadGradeFields);
    if (!model.current())
        model.setCurrent(item);
}

// Adds the file as a whole clip: its description (waited for, within limits),
// no second whole-clip item of the same file, a fresh item with default grade.
BaseTask* addShot(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<PathTask*>(command);
    const QString path = task->path;
    const bool checked = task->type == AddShot;
    model.disposeCommand(command);
    if (checked && !isSupportedMediaFile(path)) {
        qWarning() << "Not a clip file, not added:" << path;
        return nullptr;
    }

    AssetMetadata* asset = model.metadataManager()->getMetadata(QFileInfo(path));
    if (!asset || !model.waitForMetadata(asset))
        return nullptr;
    if (!asset->valid) {
        qWarning() << Q_FUNC_INFO << "Not a readable clip, not added:" << path;
        return nullptr;
    }
    for (const SequenceItem* item : model.sequence()) {
        if (item->coversWholeAsset(asset))
            return nullptr;
    }

    auto* item = new SequenceItem(asset, nullptr, 0, asset->frameCount);
    model.ensureUniqueUuid(item);
    item->settings = model.settingsManager().settingsForID(item->uuid);
    model.appendItem(item);
    const QByteArray id = Model::itemId(item);
    if (!checked)
        qDebug() << "New Shot added to shotList - NoCheck:" << id;
    handOver(item);
    emit model.shotListNeedRefresh(item, false);
    if (!model.current())
        model.setCurrent(item);
    return new ItemIdTask(RemoveShot, id);
}

// Takes the item out of the sequence; the inverse keeps the item itself, with
// its settings, to put it back where it was.
BaseTask* removeShot(Model& model, BaseTask* command, char)
{
    const QByteArray id = static_cast<ItemIdTask*>(command)->itemId;
    model.disposeCommand(command);
    const int index = model.indexOfItem(id);
    if (index < 0)
        return nullptr;
    SequenceItem* item = model.sequence().at(index);
    model.takeItemAt(index);
    if (model.settingsManager().isRegistered(item->uuid, item->settings))
        model.settingsManager().removeSettingsForID(item->uuid);
    if (item == model.current()) {
        const int size = model.sequence().size();
        model.setCurrent(size == 0 ? nullptr : model.sequence().at(qMin(index, size - 1)));
    }
    handOver(item);
    emit model.shotListNeedRefresh(item, true);
    model.yieldToEventLoop();
    return new SequenceItemTask(RestoreShot, item, index);
}

BaseTask* restoreShot(Model& model, BaseTask* command, char)
{
    auto* task = static_cast<SequenceItemTask*>(command);
    const int index = task->index;
    SequenceItem* item = task->takeItem();
    model.disposeCommand(command);
    if (!item)
        return nullptr;
    model.ensureUniqueUuid(item);
    if (!model.settingsManager().addSettingsForID(item->uuid, item->settings))
        item->settings = model.settingsManager().settingsForID(item->uuid);
    model.insertItem(index, item);
    handOver(item);
    emit model.shotRestored(item, model.sequence().indexOf(item));
    announceGradeOf(model, item);
    return new ItemIdTask(RemoveShot, Model::itemId(item));
}

BaseTask* selectShot(Model& model, BaseTask* command, char)
{
    const QByteArray id = static_cast<ItemIdTask*>(command)->itemId;
    model.disposeCommand(command);
    SequenceItem* item = model.findItem(id);
    if (!item || item == model.current())
        return nullptr;
    qDebug() << "New shot selected for playback:" << id;
    model.setCurrent(item);
    return nullptr;
}

// Snapshot copies of the named items, in the order named; the receiver owns
// the list, the copies and their settings.
BaseTask* itemsForRender(Model& model, BaseTask* command, char)
{
    const QList<QByteArray> ids = static_cast<ItemIdListTask*>(command)->itemIds;
    model.disposeCommand(command);
    auto* list = new QList<const SequenceItem*>;
    for (const QByteArray& id : ids) {
        if (const SequenceItem* item = model.findItem(id))
            list->append(item->snapshot());
    }
    if (!model.hasRenderListReceiver()) {
        SequenceItem::deleteSnapshots(list);
        return nullptr;
    }
    emit model.sequenceItemsReadyToBeRender(list);
    return nullptr;
}

BaseTask* setDefaultProfile(Model& model, BaseTask* command, char)
{
    model.settingsManager().setDefaultProfile(static_cast<ProfileTask*>(command)->profile);
    model.disposeCommand(command);
    return nullptr;
}

// An item read from a project file, with its own grade.
BaseTask* addSequenceItem(Model& model, BaseTask* command, char)
{
    SequenceItem* item = static_cast<SequenceItemTask*>(command)->takeItem();
    model.disposeCommand(command);
    if (!item)
        return nullptr;
    model.ensureUniqueUuid(item);
    if (!item->settings || !model.settingsManager().addSettingsForID(item->uuid, item->settings)) {
        qDebug() << "Can't add settings to Settings Manager.";
        // An item never goes without a grade: it gets the default one.
        delete item->settings;
        item->settings = model.settingsManager().settingsForID(item->uuid);
    }
    model.appendItem(item);
    handOver(item);
    emit model.shotListNeedRefresh(item, false);
    announceGradeOf(model, item);
    return nullptr;
}

BaseTask* newFileToLoad(Model& model, BaseTask* command, char)
{
    model.disposeCommand(command);
    model.history().clearAll();
    model.setCurrent(nullptr);
    emit model.resetListState();
    model.setLongOperationRunning(true);
    emit model.longOperationBegin();
    model.clearSequence();
    model.setUnsavedChanges(false);
    return nullptr;
}

BaseTask* newFileLoaded(Model& model, BaseTask* command, char)
{
    // The loader says which file it read and whether anything was lost.
    if (const auto* loaded = dynamic_cast<const ProjectLoadedTask*>(command))
        model.noteProjectLoaded(loaded->path, loaded->loadedCleanly);
    else
        model.noteProjectLoaded(QString(), true);
    model.disposeCommand(command);
    model.setLongOperationRunning(false);
    emit model.longOperationEnded();
    return nullptr;
}

BaseTask* saveProject(Model& model, BaseTask* command, char)
{
    const QString path = static_cast<PathTask*>(command)->path;
    model.disposeCommand(command);
    model.saveProjectToXMLFile(path);
    return nullptr;
}

BaseTask* positionChanged(Model& model, BaseTask* command, char)
{
    const int frame = static_cast<FrameTask*>(command)->frame;
    model.disposeCommand(command);
    emit model.positionChanged(frame);
    return nullptr;
}

} // namespace

bool isSupportedMediaFile(const QString& path)
{
    return VideoFileTypes::isVideoFileName(QFileInfo(path).fileName());
}

void registerSequenceCommands(Model& model)
{
    model.commands().registerHandler(AddShotNoCheck, addShot);
    model.commands().registerHandler(AddShot, addShot);
    model.commands().registerHandler(RemoveShot, removeShot);
    model.commands().registerHandler(RestoreShot, restoreShot);
    model.commands().registerHandler(SelectShot, selectShot);
    model.commands().registerHandler(ItemsForRender, itemsForRender);
    model.commands().registerHandler(SetDefaultProfile, setDefaultProfile);
    model.commands().registerHandler(AddSequenceItem, addSequenceItem);
    model.commands().registerHandler(NewFileToLoad, newFileToLoad);
    model.commands().registerHandler(NewFileLoaded, newFileLoaded);
    model.commands().registerHandler(SaveProject, saveProject);
    model.commands().registerHandler(PositionChanged, positionChanged);
}

} // namespace Emulsa
