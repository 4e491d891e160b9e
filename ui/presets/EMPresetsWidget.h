#pragma once

#include "model/Preset.h"
#include "model/PresetGroup.h"

#include <QByteArray>
#include <QList>
#include <QVector>
#include <QWidget>

class QComboBox;
class QListWidgetItem;
class QPushButton;

namespace Emulsa {

class EMPresetItemDelegate;
class EMPresetsList;
class PresetsListDialog;
class PresetsManager;

// The presets strip beside the grading controls: the presets of one group,
// sorted by number; a click asks for the preset to be applied. The group
// shown is remembered in the settings store ("DefaultSettings/SelectedPreset")
// when the strip goes away and chosen again at the first fill, falling back to
// the first group. It keeps nothing but the rows of the model's last answer.
//
// Pairs with the controller (connect in one place):
//   needPresetGroupsList()                 -> Controller::presetGroupsNeeded
//   needPresetsListFromGroup(int)          -> Controller::presetsListNeededForGroup
//   needPresetsListFromGroupForWidget(int) -> Controller::presetsListNeededForGroupByWidget
//   presetSelectedForDeletion(QByteArray)  -> Controller::presetDeletedFromUI
//   newPresetToBeApplied(QByteArray)       -> the grading tab, which adds the
//       strip's selection and calls Controller::newPresetAppliedFromUI
//   Controller::presetsGroupShouldRefresh         -> presetGroupsListsReady
//   Controller::presetsListShouldRefresh          -> presetsListReady
//   Controller::presetsListShouldRefreshForWidget -> presetsListReady
//   Controller::presetShouldBeRemoved             -> presetRemovedFromModel
//   Controller::presetShouldBeRenamed             -> presetRenamedFromModel
//   Controller::presetGroupShouldBeAdded          -> presetGroupCreatedFromModel
//   Controller::presetGroupShouldBeRemoved        -> presetGroupRemovedFromModel
//   Controller::presetGroupShouldBeRenamed        -> presetGroupRenamedFromModel
//   Controller::currentPresetsGroupDisplayedShouldUpdate -> updateCurrentGroup
//   presetsList()->presetUpdateRequested -> Controller::presetGradeUpdatedFromUI
//   Controller::currentShouldRefresh -> presetsList()->setCurrentClipAvailable
// The manager dialog (presetsDialog()) pairs with the controller as its
// header says.
class EMPresetsWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* selectedGroupKey = "DefaultSettings/SelectedPreset";

    // The process-wide presets store (thumbnails) where null.
    explicit EMPresetsWidget(QWidget* parent = nullptr, PresetsManager* presets = nullptr);
    // Stores the current group's id.
    ~EMPresetsWidget() override;

    // The group shown, or -1.
    int currentGroupId() const;
    EMPresetsList* presetsList() const { return m_list; }
    QComboBox* groupCombo() const { return m_groups; }
    PresetsListDialog* presetsDialog() const { return m_dialog; }

signals:
    void needPresetGroupsList();
    void needPresetsListFromGroup(int groupId);
    void needPresetsListFromGroupForWidget(int groupId);
    void newPresetToBeApplied(QByteArray presetId);
    void presetSelectedForDeletion(QByteArray presetId);

public slots:
    void presetGroupCreatedFromModel(Emulsa::PresetGroup group);
    void presetGroupRemovedFromModel(int groupId);
    void presetGroupRenamedFromModel(int groupId, QString name);
    void presetGroupsListsReady(QList<Emulsa::PresetGroup> groups);
    // A list for another group than the one shown selects that group first.
    void presetsListReady(int groupId, QVector<Emulsa::Preset> presets);
    void updateCurrentGroup();
    void presetRemovedFromModel(QByteArray presetId);
    void presetRenamedFromModel(QByteArray presetId, QString name);

private slots:
    void presetsGroupChanged(int index);
    void newPresetSelected(QListWidgetItem* row);
    void managePresetsPressed();

private:
    void insertGroup(const PresetGroup& group);
    int indexOfGroup(int groupId) const;

    QComboBox* m_groups;
    EMPresetsList* m_list;
    EMPresetItemDelegate* m_delegate;
    QPushButton* m_manage;
    PresetsListDialog* m_dialog;
    bool m_firstFill = true;
};

} // namespace Emulsa
