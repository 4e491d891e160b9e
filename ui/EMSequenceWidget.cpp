#include "ui/EMSequenceWidget.h"

#include "core/ThreadHandOff.h"
#include "media/AssetMetadata.h"
#include "media/SequenceItem.h"
#include "ui/ClipItemRoles.h"
#include "ui/EMSequenceItemDelegate.h"

#include <QApplication>
#include <QDebug>
#include <QKeyEvent>

namespace Emulsa {

EMSequenceWidget::EMSequenceWidget(QWidget* parent, MetadataManager* metadata, PresetsManager* presets)
    : QListWidget(parent)
    , m_delegate(new EMSequenceItemDelegate(metadata, presets, this))
{
    setItemDelegate(m_delegate);
    setUniformItemSizes(true);
    setFlow(QListView::LeftToRight);
    setWrapping(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(this, &QListWidget::itemClicked, this, &EMSequenceWidget::newItemSelected);
}

QListWidgetItem* EMSequenceWidget::makeRow(const SequenceItem* item) const
{
    auto* row = new QListWidgetItem;
    if (const AssetMetadata* asset = item->asset) {
        row->setData(FilePathRole, asset->filePath);
        row->setData(ModifiedRole, asset->lastModified);
        row->setData(AssetIdRole, asset->id);
        row->setData(FrameCountRole, asset->frameCount);
        row->setText(asset->name);
        row->setToolTip(asset->name);
    }
    row->setData(ItemIdRole, item->uuid.toByteArray());
    row->setData(StartFrameRole, item->startFrame);
    row->setData(EndFrameRole, item->endFrame);
    row->setData(PresetIdRole, item->presetUuid());
    return row;
}

QListWidgetItem* EMSequenceWidget::rowForItem(const QByteArray& itemId) const
{
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(ItemIdRole).toByteArray() == itemId)
            return item(i);
    }
    return nullptr;
}

void EMSequenceWidget::shotListChanged(SequenceItem* sequenceItem, bool toDelete)
{
    takeOver(sequenceItem);
    if (!sequenceItem)
        return;
    if (!toDelete) {
        addItem(makeRow(sequenceItem));
        return;
    }
    const QByteArray id = sequenceItem->uuid.toByteArray();
    for (int i = count() - 1; i >= 0; --i) {
        if (item(i)->data(ItemIdRole).toByteArray() == id)
            delete takeItem(i);
    }
}

void EMSequenceWidget::shotRestored(SequenceItem* sequenceItem, int index)
{
    takeOver(sequenceItem);
    if (!sequenceItem)
        return;
    insertItem(index < 0 || index > count() ? count() : index, makeRow(sequenceItem));
}

void EMSequenceWidget::fullReset()
{
    for (int i = count() - 1; i >= 0; --i)
        delete takeItem(i);
    viewport()->update();
}

void EMSequenceWidget::currentItemChangedFromModel(SequenceItem* sequenceItem)
{
    takeOver(sequenceItem);
    if (!sequenceItem)
        return;
    QListWidgetItem* row = rowForItem(sequenceItem->uuid.toByteArray());
    if (!row)
        return;
    clearSelection();
    row->setSelected(true);
    scrollToItem(row);
}

void EMSequenceWidget::newItemSelected(QListWidgetItem* row)
{
    if (!row || m_shiftHeld || m_controlHeld || QApplication::keyboardModifiers() != Qt::NoModifier)
        return;
    emit shotSelectedForPlayback(row->data(ItemIdRole).toByteArray());
}

void EMSequenceWidget::changeCurrentStartingPoint(QUuid itemUuid, uint frame)
{
    if (QListWidgetItem* row = rowForItem(itemUuid.toByteArray())) {
        row->setData(StartFrameRole, frame);
        viewport()->update();
    }
}

void EMSequenceWidget::changeCurrentEndingPoint(QUuid itemUuid, uint frame)
{
    if (QListWidgetItem* row = rowForItem(itemUuid.toByteArray())) {
        row->setData(EndFrameRole, frame);
        viewport()->update();
    }
}

void EMSequenceWidget::sequenceItemNeedPresetRefresh(QByteArray presetId, QByteArray itemId)
{
    if (QListWidgetItem* row = rowForItem(itemId)) {
        row->setData(PresetIdRole, presetId);
        viewport()->update();
    }
}

QList<QByteArray> EMSequenceWidget::getSelectionList() const
{
    QList<QByteArray> ids;
    qDebug() << "SequenceItems selection:";
    const QList<QListWidgetItem*> rows = selectedItems();
    for (const QListWidgetItem* row : rows) {
        qDebug() << row->text();
        ids.append(row->data(ItemIdRole).toByteArray());
    }
    return ids;
}

void EMSequenceWidget::trackModifiers(QKeyEvent* event, bool pressed)
{
    if (event->key() == Qt::Key_Shift || event->modifiers() == Qt::ShiftModifier)
        m_shiftHeld = pressed;
    if (event->key() == Qt::Key_Control || event->modifiers() == Qt::ControlModifier)
        m_controlHeld = pressed;
}

void EMSequenceWidget::keyPressEvent(QKeyEvent* event)
{
    trackModifiers(event, true);
    QListWidget::keyPressEvent(event);
}

void EMSequenceWidget::keyReleaseEvent(QKeyEvent* event)
{
    trackModifiers(event, false);
    QListWidget::keyReleaseEvent(event);
}

} // namespace Emulsa
