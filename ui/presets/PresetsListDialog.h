#pragma once

#include "model/Preset.h"
#include "model/PresetGroup.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>
#include <tuple>

class QAction;
class QCheckBox;
class QComboBox;
class QPushButton;

namespace Emulsa {

class EMPresetsManagerList;
class PresetsManager;

// The modal preset manager: creates, renames, imports and exports groups;
// deletes, renames, moves and copies presets, and gives the current row's
// preset the current clip's grade ("UPDATE", like the table's context menu). It only sends requests and
// redraws from the model's answers. Made once by the presets strip and
// reused.
//
// Pairs with the controller (connect in one place):
//   needPresetGroupsList()          -> Controller::presetGroupsNeededByDialog
//   needPresetsListFromGroup(int)   -> Controller::presetsListNeededForGroupByDialog
//   groupCreated(QString)           -> Controller::newPresetGroupFromUI
//   groupRenamed(int, QString)      -> Controller::presetGroupRenamedFromUI
//   exportPresetGroup(int, QString) -> Controller::exportPresetGroupFromUI
//   importPresetGroup(QString)      -> Controller::importPresetGroupFromUI
//   needToMovePresets(tuple)        -> Controller::presetsMovedFromUI
//   needToCopyPresets(tuple)        -> Controller::presetsCopiedFromUI
//   undoTriggered(), redoTriggered() -> Controller::undoTriggered, redoTriggered
//   managerList()->presetSelectedForDeletion -> Controller::presetDeletedFromUI
//   managerList()->presetNameEdited          -> Controller::presetNameEditedFromUI
//   managerList()->presetUpdateRequested     -> Controller::presetGradeUpdatedFromUI
//   Controller::presetsGroupShouldRefreshForDialog -> presetGroupsListsReady
//   Controller::presetsListShouldRefreshForDialog  -> presetsListReadyAndShow
//   Controller::presetsListShouldRefresh           -> presetsListReady
//   Controller::presetGroupShouldBeAdded    -> presetGroupCreatedFromModel
//   Controller::presetGroupShouldBeRemoved  -> presetGroupRemovedFromModel
//   Controller::presetGroupShouldBeRenamed  -> presetGroupRenamedFromModel
//   Controller::presetGroupSelectionShouldChange -> presetGroupSelectedFromModel
//   Controller::currentPresetsGroupDisplayedShouldUpdate -> updateCurrentGroup
//   Controller::presetShouldBeRemoved -> managerList()->presetRemovedFromModel
//   Controller::presetShouldBeRenamed -> managerList()->presetRenamedFromModel
class PresetsListDialog : public QDialog
{
    Q_OBJECT

public:
    enum Operation
    {
        MoveChecked = 0,
        CopyChecked = 1,
    };
    // Import and export take both preset file suffixes.
    static QString presetFileFilter();
    // Asks for a group name (prefilled); empty when cancelled.
    using NameAsker = std::function<QString(const QString& prefill)>;
    // Asks for a file to import (save false) or export to (save true); empty
    // when cancelled.
    using PathAsker = std::function<QString(bool save)>;

    explicit PresetsListDialog(QWidget* parent = nullptr, PresetsManager* presets = nullptr);

    // Tests answer the questions themselves.
    void setNameAsker(NameAsker ask) { m_askName = std::move(ask); }
    void setPathAsker(PathAsker ask) { m_askPath = std::move(ask); }

    // Clears the lists, asks for the groups and the current group's presets,
    // and shows the dialog (modal).
    void openManager();

    EMPresetsManagerList* managerList() const { return m_table; }
    QComboBox* groupCombo() const { return m_groups; }
    QComboBox* targetCombo() const { return m_targets; }
    QComboBox* operationCombo() const { return m_operation; }
    QCheckBox* checkAllBox() const { return m_checkAll; }
    QPushButton* updateButton() const { return m_update; }
    int currentGroupId() const;

signals:
    void needPresetGroupsList();
    void needPresetsListFromGroup(int groupId);
    void groupRenamed(int groupId, QString name);
    void groupCreated(QString name);
    void needToMovePresets(std::tuple<int, int, QVector<QByteArray>> transfer);
    void needToCopyPresets(std::tuple<int, int, QVector<QByteArray>> transfer);
    void exportPresetGroup(int groupId, QString path);
    void importPresetGroup(QString path);
    void undoTriggered();
    void redoTriggered();

public slots:
    void presetGroupsListsReady(QList<Emulsa::PresetGroup> groups);
    void presetsListReadyAndShow(int groupId, QVector<Emulsa::Preset> presets);
    void presetsListReady(int groupId, QVector<Emulsa::Preset> presets);
    void groupIndexChanged(int index);
    void newGroupPressed();
    void importGroupPressed();
    void exportGroupPressed();
    void renameGroupPressed();
    void executeOperation();
    void presetGroupCreatedFromModel(Emulsa::PresetGroup group);
    void presetGroupRemovedFromModel(int groupId);
    void presetGroupRenamedFromModel(int groupId, QString name);
    void presetGroupSelectedFromModel(int groupId);
    void updateCurrentGroup();

private:
    void refillTargets();
    void refreshUpdateButton();
    void insertGroup(QComboBox* combo, int id, const QString& name);

    QComboBox* m_groups;
    QPushButton* m_rename;
    QPushButton* m_newGroup;
    QPushButton* m_import;
    QPushButton* m_export;
    EMPresetsManagerList* m_table;
    QCheckBox* m_checkAll;
    QComboBox* m_operation;
    QComboBox* m_targets;
    QPushButton* m_execute;
    QPushButton* m_update;
    QPushButton* m_done;
    QAction* m_undo;
    QAction* m_redo;
    // The group shown before the dialog was opened again.
    int m_reopenGroupId = -1;
    NameAsker m_askName;
    PathAsker m_askPath;
};

} // namespace Emulsa
