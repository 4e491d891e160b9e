#include "ui/presets/EMPresetsManagerList.h"

#include "core/FilmLibrary.h"
#include "model/Preset.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/UnreadFieldsMark.h"
#include "ui/presets/EMPresetItemDelegate.h"
#include "ui/presets/EMPresetsManagerItemDelegate.h"
#include "ui/presets/PresetMenu.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace Emulsa {

namespace {

class ManagerRow : public QTreeWidgetItem
{
public:
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return data(0, PresetNumberRole).toInt() < other.data(0, PresetNumberRole).toInt();
    }
};

} // namespace

EMPresetsManagerList::EMPresetsManagerList(QWidget* parent, PresetsManager* presets)
    : QTreeWidget(parent)
    , m_delegate(new EMPresetsManagerItemDelegate(presets, this))
{
    setHeaderLabels({ QStringLiteral("THUMBNAIL"), QStringLiteral("NAME"), QStringLiteral("FILM"),
        QStringLiteral("COLOR CORRECTOR"), QStringLiteral("LEVELS"), QStringLiteral("DELETE") });
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
    setItemDelegate(m_delegate);
    connect(m_delegate, &EMPresetsManagerItemDelegate::presetNameEdited, this, &EMPresetsManagerList::presetNameEdited);
    header()->setMinimumSectionSize(40);
    header()->resizeSection(ThumbnailColumn, EMPresetsManagerItemDelegate::thumbnailColumnWidth(this));
    header()->resizeSection(NameColumn, 160);
    header()->resizeSection(FilmColumn, 120);
    header()->resizeSection(ColorColumn, 300);
    header()->resizeSection(LevelsColumn, 210);
}

void EMPresetsManagerList::showPresets(const QVector<Preset>& presets)
{
    m_pressedDeleteRow = nullptr;
    m_checkPressed = false;
    clear();
    for (const Preset& preset : presets) {
        auto* row = new ManagerRow;
        const ClipSettings& s = preset.settings;
        row->setData(0, PresetNumberRole, preset.number);
        row->setData(0, PresetIdRole, preset.id());
        row->setCheckState(ThumbnailColumn, Qt::Unchecked);
        row->setText(ThumbnailColumn, QString::number(preset.number));
        row->setText(NameColumn, EMPresetItemDelegate::titleFor(preset.name, preset.number));
        row->setData(NameColumn, PresetNameRole, preset.name);
        row->setText(FilmColumn, FilmLibrary::instance()->displayNameForCode(s.getStockName()));
        row->setText(ColorColumn,
            QStringLiteral("Color %1% Curve %2% Grain %3% %4")
                .arg(s.getStockLUTAmount())
                .arg(s.getStockCurveAmount())
                .arg(s.getGrainAmount())
                .arg(s.getGrainScaleName()));
        const HistogramSliderData levels = s.getHistogramSliderData();
        row->setText(LevelsColumn,
            QStringLiteral("Black %1% Mid %2% White %3%")
                .arg(qRound(levels.black * 100.0f))
                .arg(qRound(levels.mid * 100.0f))
                .arg(qRound(levels.white * 100.0f)));
        row->setText(DeleteColumn, QStringLiteral("x"));
        // A grade that lost fields in its file says so on its name and its
        // values.
        const QString warning = preset.unreadFieldsWarning();
        for (int column : { NameColumn, FilmColumn, ColorColumn, LevelsColumn })
            row->setToolTip(column, warning);
        row->setData(NameColumn, UnreadFieldsRole, preset.unreadFields);
        if (!preset.unreadFields.isEmpty())
            row->setIcon(NameColumn, UnreadFieldsMark::icon());
        row->setFlags(row->flags() | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
        addTopLevelItem(row);
    }
    sortItems(0, Qt::AscendingOrder);
}

QVector<QByteArray> EMPresetsManagerList::checkedPresetIds() const
{
    QVector<QByteArray> ids;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->checkState(ThumbnailColumn) == Qt::Checked)
            ids.append(topLevelItem(i)->data(0, PresetIdRole).toByteArray());
    }
    return ids;
}

QTreeWidgetItem* EMPresetsManagerList::rowForPreset(const QByteArray& presetId) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->data(0, PresetIdRole).toByteArray() == presetId)
            return topLevelItem(i);
    }
    return nullptr;
}

QRect EMPresetsManagerList::checkBoxRect(QTreeWidgetItem* row) const
{
    const QModelIndex index = indexFromItem(row, ThumbnailColumn);
    if (!index.isValid())
        return QRect();
    QStyleOptionViewItem option = viewOptions();
    option.rect = visualRect(index);
    option.widget = this;
    return m_delegate->checkBoxRect(option, index);
}

void EMPresetsManagerList::presetRemovedFromModel(QByteArray presetId)
{
    QTreeWidgetItem* row = rowForPreset(presetId);
    if (row == m_pressedDeleteRow)
        m_pressedDeleteRow = nullptr;
    delete row;
}

void EMPresetsManagerList::presetRenamedFromModel(QByteArray presetId, QString name)
{
    if (QTreeWidgetItem* row = rowForPreset(presetId)) {
        row->setData(NameColumn, PresetNameRole, name);
        row->setText(NameColumn, EMPresetItemDelegate::titleFor(name, row->data(0, PresetNumberRole).toInt()));
    }
}

void EMPresetsManagerList::toggleAll(int checkState)
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        topLevelItem(i)->setCheckState(ThumbnailColumn, Qt::CheckState(checkState));
}

void EMPresetsManagerList::setCurrentClipAvailable(bool available)
{
    m_clipAvailable = available;
    emit currentClipAvailabilityChanged();
}

QMenu* EMPresetsManagerList::menuForPreset(const QByteArray& presetId)
{
    return PresetMenu::make(
        this, presetId, m_clipAvailable, [this](const QByteArray& id) { emit presetUpdateRequested(id); });
}

void EMPresetsManagerList::contextMenuEvent(QContextMenuEvent* event)
{
    const QTreeWidgetItem* row = itemAt(event->pos());
    if (!row) {
        QTreeWidget::contextMenuEvent(event);
        return;
    }
    menuForPreset(row->data(0, PresetIdRole).toByteArray())->popup(event->globalPos());
}

void EMPresetsManagerList::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Undo)
        || (event->key() == Qt::Key_Z && event->modifiers() == Qt::ControlModifier)) {
        emit undoTriggered();
        return;
    }
    if (event->key() == Qt::Key_Y && event->modifiers() == Qt::ControlModifier) {
        emit redoTriggered();
        return;
    }
    if (event->key() == Qt::Key_F2 && currentItem()) {
        editItem(currentItem(), NameColumn);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool EMPresetsManagerList::pressCheckBox(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid() || index.column() != ThumbnailColumn)
        return false;
    QTreeWidgetItem* pressed = itemFromIndex(index);
    // A little slack around the box: it is small.
    if (!checkBoxRect(pressed).adjusted(-3, -3, 3, 3).contains(event->pos()))
        return false;
    const Qt::CheckState state = pressed->checkState(ThumbnailColumn) == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    const QList<QTreeWidgetItem*> rows = pressed->isSelected() ? selectedItems() : QList<QTreeWidgetItem*> { pressed };
    for (QTreeWidgetItem* row : rows)
        row->setCheckState(ThumbnailColumn, state);
    m_pressedDeleteRow = nullptr;
    m_checkPressed = true;
    event->accept();
    return true;
}

void EMPresetsManagerList::mousePressEvent(QMouseEvent* event)
{
    // The selection stays as it is: the press is about the selected rows.
    if (pressCheckBox(event))
        return;
    const QModelIndex index = indexAt(event->pos());
    m_pressedDeleteRow = index.isValid() && index.column() == DeleteColumn ? itemFromIndex(index) : nullptr;
    QTreeWidget::mousePressEvent(event);
}

void EMPresetsManagerList::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click on a check box toggles again.
    if (pressCheckBox(event))
        return;
    QTreeWidget::mouseDoubleClickEvent(event);
}

void EMPresetsManagerList::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_checkPressed) {
        m_checkPressed = false;
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    QTreeWidgetItem* pressed = m_pressedDeleteRow;
    m_pressedDeleteRow = nullptr;
    QTreeWidget::mouseReleaseEvent(event);
    if (pressed && index.isValid() && index.column() == DeleteColumn && itemFromIndex(index) == pressed)
        emit presetSelectedForDeletion(pressed->data(0, PresetIdRole).toByteArray());
}

} // namespace Emulsa
