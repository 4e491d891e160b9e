#pragma once

#include "core/ClipSettings.h"
#include "core/GradeFields.h"
#include "media/clip/SequenceItem.h"
#include "model/BaseTask.h"
#include "model/CommandHistory.h"
#include "model/CommandRegistry.h"
#include "model/ItemRetirement.h"
#include "model/PresetGroup.h"
#include "model/SettingsManager.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaMethod>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>

class QIODevice;

namespace Emulsa {

class AssetMetadata;
class MetadataManager;

// The one owner of the project's state: the sequence of items, the current
// item, the grade of every item (through the settings manager), the undo and
// redo stacks and the unsaved-changes flag. Nothing else changes that state.
//
// Every change arrives as a command record through runCommands(), which the
// task manager calls on its worker thread, one command at a time; only that
// thread touches the live items and grades. The model's signals are emitted
// there and reach their receivers through queued connections.
//
// What receivers may hold:
// - Item pointers (shotListNeedRefresh, shotRestored, currentClipChanged)
//   name an item; a receiver may keep and compare them and read the item's
//   uuid and asset, which never change while the item is alive. An item that
//   leaves the model is retired, not deleted, until the signals that name it
//   have been delivered (ItemRetirement), so a pointer a view got never
//   dangles before the view was told the item is gone.
// - Grades travel as ClipSettings values, and items are named by their uuid
//   value; receivers never read the live ClipSettings.
// - sequenceItemsReadyToBeRender hands over a list of snapshot copies: the
//   receiver owns the list and the items, each of which owns its settings
//   (SequenceItem::deleteSnapshots frees them all).
//
// Ownership of items: items in the sequence belong to the model. An item
// taken out by RemoveShot belongs to the inverse command (RestoreShot) that
// undo would run; when that command is dropped from the stacks the item is
// retired and deleted once its signals have been delivered.
//
// Commands without a handler: the record is deleted with a warning in the
// log, nothing changes and nothing is pushed on the stacks.
class Model : public QObject
{
    Q_OBJECT

public:
    using CommandHandler = CommandRegistry::Handler;
    // Writes a project (the sequence, the current item, the timeline flag) to
    // an open file; false when writing failed.
    using ProjectWriter = std::function<bool(
        QIODevice* file, const QList<SequenceItem*>& sequence, const SequenceItem* current, bool timelineMode)>;

    // How long adding a clip waits for the clip's description.
    static constexpr int defaultMetadataWaitMs = 30000;

    // The metadata manager describes added clips (the process-wide one when
    // null); the settings manager's catalogue and film library likewise.
    explicit Model(MetadataManager* metadata = nullptr, CameraListHelper* catalogue = nullptr,
        const FilmLibrary* library = nullptr, QObject* parent = nullptr);
    // Deletes the items, the commands on both stacks and the retired items at
    // once: destroy the model after the receivers of its signals (the views
    // and the controller) and after the task thread has stopped.
    ~Model() override;

    // Registers every type the model's signals carry, so that they travel
    // through queued connections. Safe to call more than once.
    static void registerMetaTypes();

    // The command handlers; the command families register theirs in the
    // constructor.
    CommandRegistry& commands() { return m_commands; }
    // Runs the command's own handler (a family's handler calls this); a
    // command without one is deleted with a warning and yields null.
    BaseTask* runHandler(BaseTask* command, char mode);

    // The writer used by SaveProject: the project file writer unless replaced.
    // Without one, saving reports a write error.
    void setProjectWriter(ProjectWriter writer) { m_projectWriter = std::move(writer); }
    void setMetadataWaitLimit(int ms) { m_metadataWaitMs = ms; }

    // State, for the worker thread (handlers) and for tests once the worker
    // is idle.
    const QList<SequenceItem*>& sequence() const { return m_sequence; }
    SequenceItem* current() const { return m_current; }
    // The undo and redo stacks.
    CommandHistory& history() { return m_history; }
    const CommandHistory& history() const { return m_history; }
    bool unsavedChanges() const { return m_unsavedChanges; }
    bool longOperationRunning() const { return m_longOperationRunning; }
    bool timelineMode() const { return m_timelineMode; }
    SettingsManager& settingsManager() { return m_settingsManager; }
    MetadataManager* metadataManager();
    int retiredItemCount() const { return m_retirement.pendingCount(); }
    // Whether anybody takes the render list (nobody would delete it otherwise).
    bool hasRenderListReceiver() const
    {
        return isSignalConnected(QMetaMethod::fromSignal(&Model::sequenceItemsReadyToBeRender));
    }

    // Helpers for command handlers (worker thread only).
    SequenceItem* findItem(const QByteArray& itemId) const;
    int indexOfItem(const QByteArray& itemId) const;
    static QByteArray itemId(const SequenceItem* item);
    // Makes the item current (null for none) and announces it: currentClipChanged,
    // then viewNeedRefresh with a copy of its grade when there is one.
    void setCurrent(SequenceItem* item);
    void appendItem(SequenceItem* item) { m_sequence.append(item); }
    void insertItem(int index, SequenceItem* item);
    void takeItemAt(int index) { m_sequence.removeAt(index); }
    // Gives an item whose uuid is already used by another item a fresh one.
    void ensureUniqueUuid(SequenceItem* item);
    // Deletes a command, retiring the items it holds.
    void disposeCommand(BaseTask* command);
    // Removes every item (retired with their settings) and empties both stacks.
    void clearSequence();
    void setUnsavedChanges(bool unsaved);
    // Sets the flag and emits unsavedChangesNoticed() on its false-to-true edge.
    void noticeChange();
    void setLongOperationRunning(bool running) { m_longOperationRunning = running; }
    void yieldToEventLoop();
    // Waits until the asset has been described, at most the wait limit and no
    // longer than until the worker thread is asked to stop. True when ready.
    bool waitForMetadata(const AssetMetadata* asset);
    // Writes the project with the project writer to a temporary file beside
    // `path` and renames it over `path` once complete, so a failed save leaves
    // the old file as it was. The first save over a file that did not load
    // cleanly first keeps a copy of it as `path` + ".bak". A save the user
    // asked for (any path but the autosave file) writes complete grades, so
    // it clears every item's unread grade fields; an autosave keeps them in
    // the file and on the items.
    void saveProjectToXMLFile(const QString& path);
    // Sets the item's unread grade fields and tells the views when they
    // changed (unreadGradeFieldsChanged).
    void setUnreadGradeFields(SequenceItem* item, const QStringList& fields);
    // Records how the project file at `path` loaded (NewFileLoaded).
    void noteProjectLoaded(const QString& path, bool loadedCleanly);
    // The file that lost clips or grades when it was loaded and has not been
    // saved over since; empty when there is none.
    QString lossyProjectPath() const { return m_lossyProjectPath; }

public slots:
    // The one entry point: runs a command (mode 0 new, 1 undoing, 2 redoing),
    // and keeps its inverse on the stacks. Takes ownership of the command.
    void runCommands(Emulsa::BaseTask* command, char mode = NewCommand);

signals:
    void shotListNeedRefresh(Emulsa::SequenceItem* item, bool toDelete);
    // An item that had been removed is back at the given index.
    void shotRestored(Emulsa::SequenceItem* item, int index);
    void resetListState();
    void unsavedChangesNoticed();
    void finishSaving(bool ok);
    // Every save's outcome, autosaves and saves that could not open their
    // file included, named by the path it was asked for.
    void projectSaved(QString path, bool ok);
    void currentClipChanged(Emulsa::SequenceItem* item);
    // The preset lists travel as copies: a view keeps what it got, whatever
    // the store does next.
    void presetsGroupChanged(QList<Emulsa::PresetGroup> groups);
    void presetsListChanged(int groupId, QVector<Emulsa::Preset> presets);
    void presetsGroupChangedForDialog(QList<Emulsa::PresetGroup> groups);
    void presetsListChangedForDialog(int groupId, QVector<Emulsa::Preset> presets);
    void presetsListChangedForWidget(int groupId, QVector<Emulsa::Preset> presets);
    void presetNeedThumbnail(QByteArray presetUuid);
    void presetRemoved(QByteArray presetUuid);
    void sequenceItemGotPreset(QByteArray presetUuid, QByteArray sequenceUuid);
    // The fields of the item's grade that could not be read from its project
    // file (defaults stand in there); empty once that no longer holds.
    void unreadGradeFieldsChanged(QByteArray sequenceUuid, QStringList fields);
    void positionChanged(int frame);
    void presetGroupCreated(Emulsa::PresetGroup group);
    void presetGroupRemoved(int groupId);
    void newPresetGroupSelected(int groupId);
    void presetGroupRenamed(int groupId, QString name);
    void currentPresetsGroupDisplayedShouldRefresh();
    void presetRenamed(QByteArray presetUuid, QString name);
    void currentSettingsReset(Emulsa::ClipSettings settings);
    void sourceAndOrStockChanged(uint source, QString stock);
    void grainSizeChanged(uint source, QString stock, QString grainScale);
    // Any of the continuous fields (GradeFields), with its new value.
    void gradeFieldChanged(Emulsa::GradeField field, Emulsa::GradeValue value);
    void showOriginalChanged(bool value);
    void startPointChanged(QUuid itemUuid, uint frame);
    void endPointChanged(QUuid itemUuid, uint frame);
    void viewNeedRefresh(Emulsa::ClipSettings settings);
    void sequenceItemsReadyToBeRender(QList<const Emulsa::SequenceItem*>* items);
    void longOperationBegin();
    void longOperationEnded();

private:
    CommandRegistry m_commands;
    bool m_timelineMode = false;
    bool m_unsavedChanges = false;
    bool m_longOperationRunning = false;
    SequenceItem* m_current = nullptr;
    QList<SequenceItem*> m_sequence;
    CommandHistory m_history;
    SettingsManager m_settingsManager;
    MetadataManager* m_metadata = nullptr;
    ProjectWriter m_projectWriter;
    QString m_lossyProjectPath;
    int m_metadataWaitMs = defaultMetadataWaitMs;
    // Items that left the model; the destructor body retires everything
    // before this member deletes what is left.
    ItemRetirement m_retirement;
};

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::BaseTask*)
Q_DECLARE_METATYPE(QList<const Emulsa::SequenceItem*>*)
