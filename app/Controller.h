#pragma once

#include "core/ClipSettings.h"
#include "core/GradeFields.h"
#include "model/BaseTask.h"
#include "model/Preset.h"
#include "model/PresetGroup.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QUuid>
#include <QVector>

#include <tuple>

class QMutex;
class QWaitCondition;

namespace Emulsa {

class Model;
class SequenceItem;
class TaskManager;

// Presets of one group (first) for another (second).
using PresetTransfer = std::tuple<int, int, QVector<QByteArray>>;

// The one road from the views to the model. Every request of a view arrives
// at a slot here, becomes a command record and joins the queue that the task
// manager works off on the task thread, one record at a time and in posting
// order. The views learn the outcome from the signals below, which relay the
// model's signals on the main thread.
//
// Records posted before setModel() are dropped. At destruction the task
// thread is stopped and waited for (the command in progress finishes); a
// save still waiting in the queue is then run here, with the records queued
// before it, so that a save asked for on closing is written; the records
// after the last save are discarded.
class Controller : public QObject
{
    Q_OBJECT

public:
    explicit Controller(QObject* parent = nullptr);
    ~Controller() override;

    // Stores the model and relays its signals (queued: the model emits them
    // on the task thread).
    void setModel(Model* model);
    Model* model() const { return m_model; }
    // Creates the task manager on the task thread and starts it.
    void startTaskManager();
    // Stops the task thread and waits for it, then runs the queued records up
    // to the last save and discards the rest. Safe to call more than once.
    void stopTaskManager();
    bool isTaskThreadRunning() const { return m_taskThread.isRunning(); }
    const QThread* taskThread() const { return &m_taskThread; }

    // Appends a record to the queue (takes ownership; dropped without a
    // model). The project loader posts its records through this.
    void postTask(BaseTask* task);
    // Takes the records waiting in the queue (the caller owns them).
    QList<BaseTask*> takeQueuedTasks();

public slots:
    void undoTriggered();
    void redoTriggered();
    void groupOfCommandsTriggered(bool beginning);
    void shotToBeAddedToShotList(const QString& path, bool toCheck);
    void shotToBeDeletedFromShotList(const QByteArray& itemId);
    void shotToBeSelectedForPlayback(const QByteArray& itemId);
    // The render tab asks for snapshot copies of these items; they arrive
    // with rendererShouldStartRendering. The list is read, not kept.
    void rendererNeedSequenceItemsFromUuids(QList<QByteArray>* itemIds);
    void defaultProfileChangedFromUI(uint profileId);
    // Takes ownership of the item and its settings.
    void sequenceItemToBeAddedToShotList(Emulsa::SequenceItem* item);
    void newFileToLoad(const QString& path);
    void newFileLoaded();
    void saveProjectToXMLFile(const QString& path);
    void savePresetFromUI(int groupId);
    void presetGroupsNeeded();
    void presetsListNeededForGroup(int groupId);
    void positionChangedFromUI(int frame);
    void presetDeletedFromUI(const QByteArray& presetId);
    void presetGroupsNeededByDialog();
    void presetsListNeededForGroupByDialog(int groupId);
    void newPresetGroupFromUI(const QString& name);
    void presetGroupRenamedFromUI(int groupId, const QString& name);
    void presetsMovedFromUI(Emulsa::PresetTransfer transfer);
    void presetsCopiedFromUI(Emulsa::PresetTransfer transfer);
    void presetsListNeededForGroupByWidget(int groupId);
    void presetNameEditedFromUI(const QByteArray& presetId, const QString& name);
    // The preset takes the current clip's grade (nothing without a current
    // clip); undoable.
    void presetGradeUpdatedFromUI(const QByteArray& presetId);
    void exportPresetGroupFromUI(int groupId, const QString& path);
    void importPresetGroupFromUI(const QString& path);
    void sourceTypeChangedFromUI(uint profileId);
    void sourceTypeChangedForAllFromUI(uint profileId);
    void stockTypeChangedFromUI(const QString& code);
    void grainSizeChangedFromUI(const QString& name);
    void showOriginalStateChangedFromUI(bool value);
    void startingPointChangedFromUI(uint frame);
    void endingPointChangedFromUI(uint frame);
    void resetAllSettingsFromUI();
    // Any continuous grade field (GradeFields: each slider, wheel and the
    // levels); the panel sends every edit of one through these two.
    void gradeFieldChangedFromUI(Emulsa::GradeField field, const Emulsa::GradeValue& value);
    void gradeFieldAboutToChangeFromUI(Emulsa::GradeField field);
    void newPresetAppliedFromUI(const QByteArray& presetId, const QList<QByteArray>& itemIds);

signals:
    void sequenceItemListShouldRefresh(Emulsa::SequenceItem* item, bool toDelete);
    void sequenceItemShouldBeRestored(Emulsa::SequenceItem* item, int index);
    void currentShouldRefresh(Emulsa::SequenceItem* newCurrent);
    void viewShouldUpdate(Emulsa::ClipSettings settings);
    void listShouldReset();
    void longOperationHasStarted();
    void longOperationHasStoped();
    void newUnsavedChangesNoticed();
    void saveToFileFinished(bool ok);
    // Each save's outcome with the path it was for (autosaves included).
    void projectSaveFinished(QString path, bool ok);
    void presetsGroupShouldRefresh(QList<Emulsa::PresetGroup> groups);
    void presetsListShouldRefresh(int groupId, QVector<Emulsa::Preset> presets);
    void presetsGroupShouldRefreshForDialog(QList<Emulsa::PresetGroup> groups);
    void presetsListShouldRefreshForDialog(int groupId, QVector<Emulsa::Preset> presets);
    void presetsListShouldRefreshForWidget(int groupId, QVector<Emulsa::Preset> presets);
    void saveFrameForPresetThumbnail(QByteArray presetId);
    void presetShouldBeRemoved(QByteArray presetId);
    void sequenceItemShouldRefreshPreset(QByteArray presetId, QByteArray sequenceItemId);
    // The fields of the item's grade that hold defaults because they could
    // not be read from the project file; empty once they no longer do.
    void sequenceItemShouldRefreshUnreadFields(QByteArray sequenceItemId, QStringList fields);
    void currentPositionChanged(int frame);
    void presetGroupShouldBeAdded(Emulsa::PresetGroup group);
    void presetGroupShouldBeRemoved(int groupId);
    void presetGroupShouldBeRenamed(int groupId, QString name);
    void currentPresetsGroupDisplayedShouldUpdate();
    void presetShouldBeRenamed(QByteArray presetId, QString name);
    void presetGroupSelectionShouldChange(int groupId);
    void clipSettingsShouldRefresh(Emulsa::ClipSettings settings);
    void sourceAndStockShouldRefresh(uint source, QString stock);
    void grainShouldRefresh(uint source, QString stock, QString grainScale);
    // A continuous field of the current item's grade changed in the model.
    void gradeFieldShouldRefresh(Emulsa::GradeField field, Emulsa::GradeValue value);
    void showOriginalShouldRefresh(bool value);
    void startingPointShouldRefresh(QUuid itemUuid, uint frame);
    void endingPointShouldRefresh(QUuid itemUuid, uint frame);
    // The receiver owns the list of snapshot copies (SequenceItem::
    // deleteSnapshots frees it). Without a receiver the controller frees it.
    void rendererShouldStartRendering(QList<const Emulsa::SequenceItem*>* items);

private slots:
    void sequenceItemsListReadyFromModel(QList<const Emulsa::SequenceItem*>* items);

private:
    Model* m_model = nullptr;
    QThread m_taskThread;
    TaskManager* m_taskManager = nullptr;
    QList<BaseTask*>* m_queue;
    QMutex* m_mutex;
    QWaitCondition* m_condition;
};

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::PresetTransfer)
