#include "app/Controller.h"

#include "app/TaskManager.h"
#include "media/clip/SequenceItem.h"
#include "model/GradeTasks.h"
#include "model/Model.h"
#include "model/PresetTasks.h"
#include "model/SequenceTasks.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaMethod>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

namespace Emulsa {

namespace {

template<typename T> BaseTask* gradeValue(quint32 type, const T& value)
{
    return new GradeValueTask<T>(type, value);
}

} // namespace

Controller::Controller(QObject* parent)
    : QObject(parent)
    , m_queue(new QList<BaseTask*>)
    , m_mutex(new QMutex)
    , m_condition(new QWaitCondition)
{
    qRegisterMetaType<PresetTransfer>("PresetTransfer");
    qRegisterMetaType<PresetTransfer>("Emulsa::PresetTransfer");
    m_taskThread.setObjectName(QStringLiteral("Tasks"));
}

Controller::~Controller()
{
    stopTaskManager();
    // What the model sent before its thread stopped is delivered now rather
    // than dropped with the controller: the relays reach nobody, and a render
    // list that nobody takes any more is freed.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const QList<BaseTask*> left = takeQueuedTasks();
    qDeleteAll(left);
    delete m_taskManager;
    delete m_queue;
    delete m_mutex;
    delete m_condition;
}

void Controller::setModel(Model* model)
{
    m_model = model;
    Model::registerMetaTypes();
    // Signal-to-signal relays: the model emits on the task thread, and each
    // relay is delivered in the controller's (the main) thread.
    connect(model, &Model::shotListNeedRefresh, this, &Controller::sequenceItemListShouldRefresh);
    connect(model, &Model::shotRestored, this, &Controller::sequenceItemShouldBeRestored);
    connect(model, &Model::currentClipChanged, this, &Controller::currentShouldRefresh);
    connect(model, &Model::viewNeedRefresh, this, &Controller::viewShouldUpdate);
    connect(model, &Model::resetListState, this, &Controller::listShouldReset);
    connect(model, &Model::unsavedChangesNoticed, this, &Controller::newUnsavedChangesNoticed);
    connect(model, &Model::finishSaving, this, &Controller::saveToFileFinished);
    connect(model, &Model::projectSaved, this, &Controller::projectSaveFinished);
    connect(model, &Model::presetsGroupChanged, this, &Controller::presetsGroupShouldRefresh);
    connect(model, &Model::presetsListChanged, this, &Controller::presetsListShouldRefresh);
    connect(model, &Model::presetsGroupChangedForDialog, this, &Controller::presetsGroupShouldRefreshForDialog);
    connect(model, &Model::presetsListChangedForDialog, this, &Controller::presetsListShouldRefreshForDialog);
    connect(model, &Model::presetsListChangedForWidget, this, &Controller::presetsListShouldRefreshForWidget);
    connect(model, &Model::presetNeedThumbnail, this, &Controller::saveFrameForPresetThumbnail);
    connect(model, &Model::sequenceItemGotPreset, this, &Controller::sequenceItemShouldRefreshPreset);
    connect(model, &Model::unreadGradeFieldsChanged, this, &Controller::sequenceItemShouldRefreshUnreadFields);
    connect(model, &Model::positionChanged, this, &Controller::currentPositionChanged);
    connect(model, &Model::presetRemoved, this, &Controller::presetShouldBeRemoved);
    connect(model, &Model::longOperationBegin, this, &Controller::longOperationHasStarted);
    connect(model, &Model::longOperationEnded, this, &Controller::longOperationHasStoped);
    connect(model, &Model::presetGroupCreated, this, &Controller::presetGroupShouldBeAdded);
    connect(model, &Model::presetGroupRemoved, this, &Controller::presetGroupShouldBeRemoved);
    connect(model, &Model::presetGroupRenamed, this, &Controller::presetGroupShouldBeRenamed);
    connect(model, &Model::currentPresetsGroupDisplayedShouldRefresh, this,
        &Controller::currentPresetsGroupDisplayedShouldUpdate);
    connect(model, &Model::presetRenamed, this, &Controller::presetShouldBeRenamed);
    connect(model, &Model::newPresetGroupSelected, this, &Controller::presetGroupSelectionShouldChange);
    connect(model, &Model::currentSettingsReset, this, &Controller::clipSettingsShouldRefresh);
    connect(model, &Model::sourceAndOrStockChanged, this, &Controller::sourceAndStockShouldRefresh);
    connect(model, &Model::grainSizeChanged, this, &Controller::grainShouldRefresh);
    connect(model, &Model::gradeFieldChanged, this, &Controller::gradeFieldShouldRefresh);
    connect(model, &Model::showOriginalChanged, this, &Controller::showOriginalShouldRefresh);
    connect(model, &Model::startPointChanged, this, &Controller::startingPointShouldRefresh);
    connect(model, &Model::endPointChanged, this, &Controller::endingPointShouldRefresh);
    // The render list is owned by whoever takes it: a slot, so that the
    // controller can free it when nobody does.
    connect(model, &Model::sequenceItemsReadyToBeRender, this, &Controller::sequenceItemsListReadyFromModel);
}

void Controller::startTaskManager()
{
    if (m_taskManager)
        return;
    m_taskManager = new TaskManager(m_model);
    m_taskManager->setQueue(m_queue, m_mutex, m_condition);
    m_taskManager->moveToThread(&m_taskThread);
    connect(&m_taskThread, &QThread::started, m_taskManager, &TaskManager::run);
    m_taskThread.start(QThread::InheritPriority);
}

void Controller::stopTaskManager()
{
    if (m_taskManager && m_taskThread.isRunning()) {
        m_taskManager->stop();
        m_taskThread.quit();
        m_taskThread.wait();
    }
    if (!m_model)
        return;
    // A save asked for before the thread stopped (closing with "Yes") is
    // still written, after the records posted before it.
    QList<BaseTask*> left = takeQueuedTasks();
    int lastSave = -1;
    for (int i = 0; i < left.size(); ++i)
        if (left.at(i) && left.at(i)->type == SaveProject)
            lastSave = i;
    for (int i = 0; i < left.size(); ++i) {
        if (i <= lastSave && left.at(i))
            m_model->runCommands(left.at(i));
        else
            delete left.at(i);
    }
}

void Controller::postTask(BaseTask* task)
{
    if (!m_model) {
        delete task;
        return;
    }
    QMutexLocker locker(m_mutex);
    m_queue->append(task);
    m_condition->wakeAll();
}

QList<BaseTask*> Controller::takeQueuedTasks()
{
    QMutexLocker locker(m_mutex);
    QList<BaseTask*> tasks = *m_queue;
    m_queue->clear();
    return tasks;
}

void Controller::sequenceItemsListReadyFromModel(QList<const SequenceItem*>* items)
{
    if (isSignalConnected(QMetaMethod::fromSignal(&Controller::rendererShouldStartRendering))) {
        emit rendererShouldStartRendering(items);
        return;
    }
    SequenceItem::deleteSnapshots(items);
}

void Controller::undoTriggered()
{
    postTask(new BaseTask(Undo));
}
void Controller::redoTriggered()
{
    postTask(new BaseTask(Redo));
}
void Controller::groupOfCommandsTriggered(bool beginning)
{
    postTask(new BaseTask(beginning ? GroupBegin : GroupEnd));
}

void Controller::shotToBeAddedToShotList(const QString& path, bool toCheck)
{
    postTask(new PathTask(toCheck ? AddShot : AddShotNoCheck, path));
}

void Controller::shotToBeDeletedFromShotList(const QByteArray& itemId)
{
    postTask(new ItemIdTask(RemoveShot, itemId));
}
void Controller::shotToBeSelectedForPlayback(const QByteArray& itemId)
{
    postTask(new ItemIdTask(SelectShot, itemId));
}

void Controller::rendererNeedSequenceItemsFromUuids(QList<QByteArray>* itemIds)
{
    postTask(new ItemIdListTask(ItemsForRender, itemIds ? *itemIds : QList<QByteArray>()));
}

void Controller::defaultProfileChangedFromUI(uint profileId)
{
    postTask(new ProfileTask(SetDefaultProfile, profileId));
}

void Controller::sequenceItemToBeAddedToShotList(SequenceItem* item)
{
    if (!m_model && item) {
        delete item->settings;
        delete item;
        return;
    }
    postTask(new SequenceItemTask(AddSequenceItem, item));
}

void Controller::newFileToLoad(const QString& path)
{
    postTask(new PathTask(NewFileToLoad, path));
}
void Controller::newFileLoaded()
{
    postTask(new BaseTask(NewFileLoaded));
}
void Controller::saveProjectToXMLFile(const QString& path)
{
    postTask(new PathTask(SaveProject, path));
}
void Controller::savePresetFromUI(int groupId)
{
    postTask(new PresetGroupIdTask(SaveAsPreset, groupId));
}
void Controller::presetGroupsNeeded()
{
    postTask(new BaseTask(PresetGroupsNeeded));
}

void Controller::presetsListNeededForGroup(int groupId)
{
    postTask(new PresetGroupIdTask(PresetsNeeded, groupId));
}

void Controller::positionChangedFromUI(int frame)
{
    postTask(new FrameTask(PositionChanged, frame));
}
void Controller::presetDeletedFromUI(const QByteArray& presetId)
{
    postTask(new PresetIdTask(RemovePreset, presetId));
}
void Controller::presetGroupsNeededByDialog()
{
    postTask(new BaseTask(PresetGroupsNeededByDialog));
}

void Controller::presetsListNeededForGroupByDialog(int groupId)
{
    postTask(new PresetGroupIdTask(PresetsNeededByDialog, groupId));
}

void Controller::newPresetGroupFromUI(const QString& name)
{
    postTask(new PresetTextTask(CreatePresetGroup, name));
}

void Controller::presetGroupRenamedFromUI(int groupId, const QString& name)
{
    postTask(new PresetGroupTextTask(RenamePresetGroup, groupId, name));
}

void Controller::presetsMovedFromUI(PresetTransfer transfer)
{
    postTask(new PresetsTransferTask(MovePresets, std::get<0>(transfer), std::get<1>(transfer), std::get<2>(transfer)));
}

void Controller::presetsCopiedFromUI(PresetTransfer transfer)
{
    postTask(new PresetsTransferTask(CopyPresets, std::get<0>(transfer), std::get<1>(transfer), std::get<2>(transfer)));
}

void Controller::presetsListNeededForGroupByWidget(int groupId)
{
    postTask(new PresetGroupIdTask(PresetsNeededByWidget, groupId));
}

void Controller::presetNameEditedFromUI(const QByteArray& presetId, const QString& name)
{
    postTask(new RenamePresetTask(presetId, name));
}

void Controller::presetGradeUpdatedFromUI(const QByteArray& presetId)
{
    postTask(new UpdatePresetGradeTask(presetId));
}

void Controller::exportPresetGroupFromUI(int groupId, const QString& path)
{
    postTask(new PresetGroupTextTask(ExportPresetGroup, groupId, path));
}

void Controller::importPresetGroupFromUI(const QString& path)
{
    postTask(new PresetTextTask(ImportPresetGroup, path));
}
void Controller::sourceTypeChangedFromUI(uint profileId)
{
    postTask(gradeValue<quint32>(SetProfile, profileId));
}

void Controller::sourceTypeChangedForAllFromUI(uint profileId)
{
    postTask(gradeValue<quint32>(SetProfileForAll, profileId));
}

void Controller::stockTypeChangedFromUI(const QString& code)
{
    postTask(gradeValue(SetStock, code));
}
void Controller::grainSizeChangedFromUI(const QString& name)
{
    postTask(gradeValue(SetGrainSize, name));
}
void Controller::showOriginalStateChangedFromUI(bool value)
{
    postTask(gradeValue(SetShowOriginal, value));
}
void Controller::startingPointChangedFromUI(uint frame)
{
    postTask(gradeValue<quint32>(SetStartPoint, frame));
}
void Controller::endingPointChangedFromUI(uint frame)
{
    postTask(gradeValue<quint32>(SetEndPoint, frame));
}
void Controller::resetAllSettingsFromUI()
{
    postTask(new BaseTask(ResetSettings));
}
void Controller::gradeFieldChangedFromUI(GradeField field, const GradeValue& value)
{
    postTask(new GradeFieldTask(setterType(field), value));
}

void Controller::gradeFieldAboutToChangeFromUI(GradeField field)
{
    postTask(new BaseTask(aboutToChangeType(field)));
}

void Controller::newPresetAppliedFromUI(const QByteArray& presetId, const QList<QByteArray>& itemIds)
{
    postTask(new ApplyPresetTask(presetId, itemIds));
}

} // namespace Emulsa
