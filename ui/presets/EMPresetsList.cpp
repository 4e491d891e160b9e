#include "ui/presets/EMPresetsList.h"

#include "model/Preset.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/presets/PresetMenu.h"

#include <QContextMenuEvent>
#include <QMenu>

#include <QKeyEvent>

namespace Emulsa {

namespace {

// Sorts on the preset number, not on the text of the display role.
class PresetRow : public QListWidgetItem
{
public:
    bool operator<(const QListWidgetItem& other) const override
    {
        return data(PresetNumberRole).toInt() < other.data(PresetNumberRole).toInt();
    }
};

} // namespace

EMPresetsList::EMPresetsList(QWidget* parent)
    : QListWidget(parent)
{
    setSortingEnabled(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void EMPresetsList::showPresets(const QVector<Preset>& presets)
{
    clear();
    for (const Preset& preset : presets) {
        auto* row = new PresetRow;
        row->setData(Qt::DisplayRole, preset.number);
        row->setData(PresetNumberRole, preset.number);
        row->setData(PresetIdRole, preset.id());
        row->setData(PresetNameRole, preset.name);
        // A grade that lost fields in its file says so until it is replaced:
        // a mark on the thumbnail, and the fields in the tooltip.
        row->setData(UnreadFieldsRole, preset.unreadFields);
        row->setToolTip(preset.unreadFieldsWarning());
        addItem(row);
    }
    sortItems(Qt::AscendingOrder);
}

QListWidgetItem* EMPresetsList::rowForPreset(const QByteArray& presetId) const
{
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(PresetIdRole).toByteArray() == presetId)
            return item(i);
    }
    return nullptr;
}

QMenu* EMPresetsList::menuForPreset(const QByteArray& presetId)
{
    return PresetMenu::make(
        this, presetId, m_clipAvailable, [this](const QByteArray& id) { emit presetUpdateRequested(id); });
}

void EMPresetsList::contextMenuEvent(QContextMenuEvent* event)
{
    const QListWidgetItem* row = itemAt(event->pos());
    if (!row) {
        QListWidget::contextMenuEvent(event);
        return;
    }
    menuForPreset(row->data(PresetIdRole).toByteArray())->popup(event->globalPos());
}

void EMPresetsList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && currentItem()) {
        emit presetSelectedForDeletion(currentItem()->data(PresetIdRole).toByteArray());
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace Emulsa
