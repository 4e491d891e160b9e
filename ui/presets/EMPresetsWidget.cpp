#include "ui/presets/EMPresetsWidget.h"

#include "model/SettingsManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/presets/EMPresetItemDelegate.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/PresetsListDialog.h"

#include <QComboBox>
#include <QDebug>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace Emulsa {

EMPresetsWidget::EMPresetsWidget(QWidget* parent, PresetsManager* presets)
    : QWidget(parent)
    , m_groups(new QComboBox(this))
    , m_list(new EMPresetsList(this))
    , m_delegate(new EMPresetItemDelegate(presets, this))
    , m_manage(new QPushButton(QStringLiteral("MANAGE"), this))
    , m_dialog(new PresetsListDialog(this, presets))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("PRESETS"), this));
    layout->addWidget(m_groups);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_manage);
    m_list->setItemDelegate(m_delegate);

    connect(m_groups, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &EMPresetsWidget::presetsGroupChanged);
    connect(m_list, &QListWidget::itemClicked, this, &EMPresetsWidget::newPresetSelected);
    connect(m_list, &EMPresetsList::presetSelectedForDeletion, this, &EMPresetsWidget::presetSelectedForDeletion);
    connect(m_manage, &QPushButton::pressed, this, &EMPresetsWidget::managePresetsPressed);
}

EMPresetsWidget::~EMPresetsWidget()
{
    const int id = currentGroupId();
    if (id >= 0)
        SettingsManager::openStore()->setValue(QLatin1String(selectedGroupKey), id);
}

int EMPresetsWidget::currentGroupId() const
{
    return m_groups->currentIndex() < 0 ? -1 : m_groups->currentData().toInt();
}

int EMPresetsWidget::indexOfGroup(int groupId) const
{
    return m_groups->findData(groupId);
}

void EMPresetsWidget::insertGroup(const PresetGroup& group)
{
    // The combo is kept in id order.
    int at = 0;
    while (at < m_groups->count() && m_groups->itemData(at).toInt() < group.id)
        ++at;
    m_groups->insertItem(at, group.name, group.id);
}

void EMPresetsWidget::presetGroupsListsReady(QList<PresetGroup> groups)
{
    const int previous = currentGroupId();
    {
        const QSignalBlocker blocker(m_groups);
        m_groups->clear();
        std::sort(groups.begin(), groups.end(), [](const PresetGroup& a, const PresetGroup& b) { return a.id < b.id; });
        for (const PresetGroup& group : groups)
            insertGroup(group);
    }
    int index = 0;
    if (m_firstFill) {
        const int stored = SettingsManager::openStore()->value(QLatin1String(selectedGroupKey), 1).toInt();
        index = qMax(0, indexOfGroup(stored));
        m_firstFill = false;
    } else if (previous >= 0 && indexOfGroup(previous) >= 0) {
        index = indexOfGroup(previous);
    }
    if (m_groups->count() == 0) {
        m_list->clear();
        return;
    }
    {
        const QSignalBlocker blocker(m_groups);
        m_groups->setCurrentIndex(index);
    }
    presetsGroupChanged(index);
}

void EMPresetsWidget::presetsGroupChanged(int index)
{
    if (index < 0)
        return;
    const int id = m_groups->itemData(index).toInt();
    qDebug() << "New presets group selected with id:" << id;
    emit needPresetsListFromGroup(id);
}

void EMPresetsWidget::updateCurrentGroup()
{
    const int id = currentGroupId();
    if (id >= 0)
        emit needPresetsListFromGroupForWidget(id);
}

void EMPresetsWidget::presetsListReady(int groupId, QVector<Preset> presets)
{
    const int index = indexOfGroup(groupId);
    if (index < 0)
        return;
    if (index != m_groups->currentIndex()) {
        const QSignalBlocker blocker(m_groups);
        m_groups->setCurrentIndex(index);
    }
    m_list->showPresets(presets);
}

void EMPresetsWidget::newPresetSelected(QListWidgetItem* row)
{
    if (!row)
        return;
    const QByteArray id = row->data(PresetIdRole).toByteArray();
    qDebug() << "New presets selected:" << id;
    emit newPresetToBeApplied(id);
}

void EMPresetsWidget::presetGroupCreatedFromModel(PresetGroup group)
{
    if (indexOfGroup(group.id) >= 0)
        return;
    const QSignalBlocker blocker(m_groups);
    const bool wasEmpty = m_groups->count() == 0;
    insertGroup(group);
    if (wasEmpty)
        m_groups->setCurrentIndex(0);
}

void EMPresetsWidget::presetGroupRemovedFromModel(int groupId)
{
    const int index = indexOfGroup(groupId);
    if (index < 0)
        return;
    const bool wasCurrent = index == m_groups->currentIndex();
    {
        const QSignalBlocker blocker(m_groups);
        m_groups->removeItem(index);
    }
    if (wasCurrent) {
        m_list->clear();
        if (m_groups->count() > 0) {
            {
                const QSignalBlocker blocker(m_groups);
                m_groups->setCurrentIndex(0);
            }
            presetsGroupChanged(0);
        }
    }
}

void EMPresetsWidget::presetGroupRenamedFromModel(int groupId, QString name)
{
    const int index = indexOfGroup(groupId);
    if (index >= 0)
        m_groups->setItemText(index, name);
}

void EMPresetsWidget::presetRemovedFromModel(QByteArray presetId)
{
    delete m_list->rowForPreset(presetId);
}

void EMPresetsWidget::presetRenamedFromModel(QByteArray presetId, QString name)
{
    if (QListWidgetItem* row = m_list->rowForPreset(presetId)) {
        row->setData(PresetNameRole, name);
        m_list->viewport()->update();
    }
}

void EMPresetsWidget::managePresetsPressed()
{
    m_dialog->openManager();
}

} // namespace Emulsa
