#include "ui/media/EMSequenceWidget.h"

#include "core/ThreadHandOff.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMSequenceItemDelegate.h"
#include "ui/media/UnreadFieldsMark.h"

#include <QApplication>
#include <QDebug>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

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
    // Thumbnails arrive as their clips are read.
    connect(metadata ? metadata : MetadataManager::instance(), &MetadataManager::recordsUpdated, viewport(),
        qOverload<>(&QWidget::update));
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
    m_currentId = sequenceItem->uuid.toByteArray();
    QListWidgetItem* row = rowForItem(m_currentId);
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

void EMSequenceWidget::sequenceItemNeedUnreadFieldsRefresh(QByteArray itemId, QStringList fields)
{
    QListWidgetItem* row = rowForItem(itemId);
    if (!row)
        return;
    row->setData(UnreadFieldsRole, fields);
    // The tooltip is the clip's name, as for every clip, followed by the warning.
    const QString warning = UnreadFieldsMark::clipWarning(fields);
    row->setToolTip(warning.isEmpty() ? row->text() : row->text() + QLatin1Char('\n') + warning);
    viewport()->update();
}

void EMSequenceWidget::selectRight()
{
    int from = -1;
    if (QListWidgetItem* current = rowForItem(m_currentId))
        from = row(current);
    for (int i = 0; from < 0 && i < count(); ++i)
        if (item(i)->isSelected())
            from = i;
    if (from < 0)
        return;
    clearSelection();
    for (int i = from; i < count(); ++i)
        item(i)->setSelected(true);
}

QWidget* EMSequenceWidget::makeHeading(QWidget* parent)
{
    auto* heading = new QWidget(parent);
    heading->setObjectName(QStringLiteral("shotListHeading"));
    auto* layout = new QHBoxLayout(heading);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* title = new QLabel(QStringLiteral("SHOT LIST"), heading);
    title->setObjectName(QStringLiteral("shotListTitle"));
    auto* all = new QPushButton(QStringLiteral("SELECT ALL"), heading);
    all->setObjectName(QStringLiteral("selectAllButton"));
    all->setToolTip(QStringLiteral("Select every clip of the sequence"));
    auto* right = new QPushButton(QStringLiteral("SELECT RIGHT"), heading);
    right->setObjectName(QStringLiteral("selectRightButton"));
    right->setToolTip(QStringLiteral("Select the clip being graded and every clip after it"));
    for (QPushButton* button : { all, right })
        button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(title);
    layout->addStretch(1);
    layout->addWidget(all);
    layout->addWidget(right);
    connect(all, &QPushButton::pressed, this, &QListWidget::selectAll);
    connect(right, &QPushButton::pressed, this, &EMSequenceWidget::selectRight);
    return heading;
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
