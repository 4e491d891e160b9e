#include "ui/presets/PresetsListDialog.h"

#include "ui/media/ClipItemRoles.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/PresetGroupNameChooser.h"
#include "ui/presets/PresetMenu.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Emulsa {

QString PresetsListDialog::presetFileFilter()
{
    return QStringLiteral("Emulsa Presets (*.empreset *.empresets)");
}

PresetsListDialog::PresetsListDialog(QWidget* parent, PresetsManager* presets)
    : QDialog(parent)
    , m_groups(new QComboBox(this))
    , m_rename(new QPushButton(QStringLiteral("RENAME"), this))
    , m_newGroup(new QPushButton(QStringLiteral("NEW GROUP"), this))
    , m_import(new QPushButton(QStringLiteral("IMPORT"), this))
    , m_export(new QPushButton(QStringLiteral("EXPORT"), this))
    , m_table(new EMPresetsManagerList(this, presets))
    , m_checkAll(new QCheckBox(this))
    , m_operation(new QComboBox(this))
    , m_targets(new QComboBox(this))
    , m_execute(new QPushButton(QStringLiteral("EXECUTE"), this))
    , m_update(new QPushButton(QStringLiteral("UPDATE"), this))
    , m_done(new QPushButton(QStringLiteral("DONE"), this))
    , m_undo(new QAction(QStringLiteral("Undo"), this))
    , m_redo(new QAction(QStringLiteral("Redo"), this))
{
    setModal(true);
    setWindowTitle(QStringLiteral("Presets"));
    // Room for every column of the table and a few rows of thumbnails.
    resize(1100, 600);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("PRESET GROUPS"), this));
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(new QLabel(QStringLiteral("CURRENT:"), this));
    groupRow->addWidget(m_groups, 1);
    groupRow->addWidget(m_rename);
    groupRow->addWidget(m_newGroup);
    groupRow->addWidget(m_import);
    groupRow->addWidget(m_export);
    layout->addLayout(groupRow);
    layout->addWidget(m_table, 1);
    auto* operationRow = new QHBoxLayout;
    operationRow->addWidget(m_checkAll);
    m_operation->addItems({ QStringLiteral("Move Checked"), QStringLiteral("Copy Check") });
    operationRow->addWidget(m_operation);
    operationRow->addWidget(new QLabel(QStringLiteral("to:"), this));
    operationRow->addWidget(m_targets, 1);
    operationRow->addWidget(m_execute);
    operationRow->addSpacing(24);
    m_update->setToolTip(PresetMenu::updateText());
    operationRow->addWidget(m_update);
    operationRow->addStretch();
    operationRow->addWidget(m_done);
    layout->addLayout(operationRow);

    m_undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    m_redo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Y")));
    addAction(m_undo);
    addAction(m_redo);
    connect(m_undo, &QAction::triggered, this, &PresetsListDialog::undoTriggered);
    connect(m_redo, &QAction::triggered, this, &PresetsListDialog::redoTriggered);
    connect(m_table, &EMPresetsManagerList::undoTriggered, this, &PresetsListDialog::undoTriggered);
    connect(m_table, &EMPresetsManagerList::redoTriggered, this, &PresetsListDialog::redoTriggered);

    connect(m_groups, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &PresetsListDialog::groupIndexChanged);
    connect(m_rename, &QPushButton::clicked, this, &PresetsListDialog::renameGroupPressed);
    connect(m_newGroup, &QPushButton::clicked, this, &PresetsListDialog::newGroupPressed);
    connect(m_import, &QPushButton::clicked, this, &PresetsListDialog::importGroupPressed);
    connect(m_export, &QPushButton::clicked, this, &PresetsListDialog::exportGroupPressed);
    connect(m_execute, &QPushButton::clicked, this, &PresetsListDialog::executeOperation);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_checkAll, &QCheckBox::stateChanged, m_table, &EMPresetsManagerList::toggleAll);
    // "UPDATE" works on the table's current row, with a current clip.
    connect(m_update, &QPushButton::clicked, this, [this] {
        if (m_update->isEnabled() && m_table->currentItem())
            emit m_table->presetUpdateRequested(m_table->currentItem()->data(0, PresetIdRole).toByteArray());
    });
    connect(m_table, &QTreeWidget::currentItemChanged, this, &PresetsListDialog::refreshUpdateButton);
    connect(
        m_table, &EMPresetsManagerList::currentClipAvailabilityChanged, this, &PresetsListDialog::refreshUpdateButton);
    refreshUpdateButton();

    m_askName = [this](const QString& prefill) {
        PresetGroupNameChooser chooser(this, prefill);
        return chooser.exec() == QDialog::Accepted ? chooser.name() : QString();
    };
    m_askPath = [this](bool save) {
        return save ? QFileDialog::getSaveFileName(
                   this, QStringLiteral("Export Preset Group As"), QDir::homePath(), presetFileFilter())
                    : QFileDialog::getOpenFileName(
                        this, QStringLiteral("Select preset file to import"), QDir::homePath(), presetFileFilter());
    };
}

int PresetsListDialog::currentGroupId() const
{
    return m_groups->currentIndex() < 0 ? -1 : m_groups->currentData().toInt();
}

void PresetsListDialog::openManager()
{
    // Opened again, the dialog shows the group it showed last (when the
    // model still has it).
    if (currentGroupId() >= 0)
        m_reopenGroupId = currentGroupId();
    {
        const QSignalBlocker blockGroups(m_groups);
        const QSignalBlocker blockTargets(m_targets);
        m_groups->clear();
        m_targets->clear();
    }
    m_table->clear();
    {
        const QSignalBlocker blocker(m_checkAll);
        m_checkAll->setCheckState(Qt::Unchecked);
    }
    emit needPresetGroupsList();
    open();
}

void PresetsListDialog::refreshUpdateButton()
{
    m_update->setEnabled(m_table->currentClipAvailable() && m_table->currentItem());
}

void PresetsListDialog::insertGroup(QComboBox* combo, int id, const QString& name)
{
    int at = 0;
    while (at < combo->count() && combo->itemData(at).toInt() < id)
        ++at;
    combo->insertItem(at, name, id);
}

void PresetsListDialog::refillTargets()
{
    const QSignalBlocker blocker(m_targets);
    m_targets->clear();
    const int current = currentGroupId();
    for (int i = 0; i < m_groups->count(); ++i) {
        if (m_groups->itemData(i).toInt() != current)
            m_targets->addItem(m_groups->itemText(i), m_groups->itemData(i));
    }
}

void PresetsListDialog::presetGroupsListsReady(QList<PresetGroup> groups)
{
    const int previous = currentGroupId() >= 0 ? currentGroupId() : m_reopenGroupId;
    {
        const QSignalBlocker blocker(m_groups);
        m_groups->clear();
        for (const PresetGroup& group : groups)
            insertGroup(m_groups, group.id, group.name);
        const int index = m_groups->findData(previous);
        m_groups->setCurrentIndex(index >= 0 ? index : (m_groups->count() > 0 ? 0 : -1));
    }
    groupIndexChanged(m_groups->currentIndex());
}

void PresetsListDialog::groupIndexChanged(int index)
{
    if (index >= 0)
        emit needPresetsListFromGroup(m_groups->itemData(index).toInt());
    else
        m_table->clear();
    refreshUpdateButton();
    refillTargets();
    const QSignalBlocker blocker(m_checkAll);
    m_checkAll->setCheckState(Qt::Unchecked);
}

void PresetsListDialog::presetsListReadyAndShow(int groupId, QVector<Preset> presets)
{
    presetsListReady(groupId, presets);
}

void PresetsListDialog::presetsListReady(int groupId, QVector<Preset> presets)
{
    // Lists for other groups (the strip's) are not this dialog's business.
    if (groupId != currentGroupId())
        return;
    // The current row stays current across the refresh (an update or a
    // rename redraws the whole group).
    const QTreeWidgetItem* current = m_table->currentItem();
    const QByteArray currentId = current ? current->data(0, PresetIdRole).toByteArray() : QByteArray();
    m_table->showPresets(presets);
    if (QTreeWidgetItem* row = m_table->rowForPreset(currentId))
        m_table->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
    refreshUpdateButton();
    // The rows come unchecked; so does the box that checks them all.
    const QSignalBlocker blocker(m_checkAll);
    m_checkAll->setCheckState(Qt::Unchecked);
}

void PresetsListDialog::newGroupPressed()
{
    const QString name = m_askName ? m_askName(QString()) : QString();
    if (!name.isEmpty())
        emit groupCreated(name);
}

void PresetsListDialog::renameGroupPressed()
{
    const int id = currentGroupId();
    if (id < 0)
        return;
    const QString name = m_askName ? m_askName(m_groups->currentText()) : QString();
    if (!name.isEmpty() && name != m_groups->currentText())
        emit groupRenamed(id, name);
}

void PresetsListDialog::importGroupPressed()
{
    const QString path = m_askPath ? m_askPath(false) : QString();
    if (!path.isEmpty())
        emit importPresetGroup(path);
}

void PresetsListDialog::exportGroupPressed()
{
    const int id = currentGroupId();
    if (id < 0)
        return;
    const QString path = m_askPath ? m_askPath(true) : QString();
    if (!path.isEmpty())
        emit exportPresetGroup(id, path);
}

void PresetsListDialog::executeOperation()
{
    const QVector<QByteArray> ids = m_table->checkedPresetIds();
    const int from = currentGroupId();
    const int to = m_targets->currentIndex() < 0 ? -1 : m_targets->currentData().toInt();
    if (ids.isEmpty() || from < 0 || to < 0 || from == to)
        return;
    const auto transfer = std::make_tuple(from, to, ids);
    if (m_operation->currentIndex() == MoveChecked)
        emit needToMovePresets(transfer);
    else
        emit needToCopyPresets(transfer);
}

void PresetsListDialog::presetGroupCreatedFromModel(PresetGroup group)
{
    if (m_groups->findData(group.id) >= 0)
        return;
    {
        const QSignalBlocker blocker(m_groups);
        insertGroup(m_groups, group.id, group.name);
    }
    if (m_groups->count() == 1) {
        const QSignalBlocker blocker(m_groups);
        m_groups->setCurrentIndex(0);
    }
    refillTargets();
}

void PresetsListDialog::presetGroupRemovedFromModel(int groupId)
{
    const int index = m_groups->findData(groupId);
    if (index < 0)
        return;
    const bool wasCurrent = index == m_groups->currentIndex();
    {
        const QSignalBlocker blocker(m_groups);
        m_groups->removeItem(index);
    }
    if (wasCurrent)
        groupIndexChanged(m_groups->currentIndex());
    else
        refillTargets();
}

void PresetsListDialog::presetGroupRenamedFromModel(int groupId, QString name)
{
    const int index = m_groups->findData(groupId);
    if (index >= 0)
        m_groups->setItemText(index, name);
    refillTargets();
}

void PresetsListDialog::presetGroupSelectedFromModel(int groupId)
{
    const int index = m_groups->findData(groupId);
    if (index >= 0 && index != m_groups->currentIndex())
        m_groups->setCurrentIndex(index);
}

void PresetsListDialog::updateCurrentGroup()
{
    const int id = currentGroupId();
    if (id >= 0)
        emit needPresetsListFromGroup(id);
}

} // namespace Emulsa
