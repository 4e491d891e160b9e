#include "ui/EMPresetsManagerList.h"

#include "core/FilmLibrary.h"
#include "model/Preset.h"
#include "ui/ClipItemRoles.h"
#include "ui/EMPresetItemDelegate.h"

#include <QHeaderView>
#include <QKeyEvent>
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

EMPresetsManagerList::EMPresetsManagerList(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeaderLabels({ QStringLiteral("THUMBNAIL"), QStringLiteral("NAME"), QStringLiteral("FILM"),
        QStringLiteral("COLOR CORRECTOR"), QStringLiteral("LEVELS"), QStringLiteral("DELETE") });
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
    connect(this, &QTreeWidget::itemChanged, this, &EMPresetsManagerList::nameChanged);
}

void EMPresetsManagerList::showPresets(const QVector<Preset>& presets)
{
    m_filling = true;
    m_pressedDeleteRow = nullptr;
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
        row->setFlags(row->flags() | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
        addTopLevelItem(row);
    }
    sortItems(0, Qt::AscendingOrder);
    m_filling = false;
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

void EMPresetsManagerList::nameChanged(QTreeWidgetItem* row, int column)
{
    if (m_filling || column != NameColumn || !row)
        return;
    const QString name = row->text(NameColumn).trimmed();
    if (name == row->data(NameColumn, PresetNameRole).toString())
        return;
    emit presetNameEdited(row->data(0, PresetIdRole).toByteArray(), name);
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
        m_filling = true;
        row->setData(NameColumn, PresetNameRole, name);
        row->setText(NameColumn, EMPresetItemDelegate::titleFor(name, row->data(0, PresetNumberRole).toInt()));
        m_filling = false;
    }
}

void EMPresetsManagerList::toggleAll(int checkState)
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        topLevelItem(i)->setCheckState(ThumbnailColumn, Qt::CheckState(checkState));
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

void EMPresetsManagerList::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    m_pressedDeleteRow = index.isValid() && index.column() == DeleteColumn ? itemFromIndex(index) : nullptr;
    QTreeWidget::mousePressEvent(event);
}

void EMPresetsManagerList::mouseReleaseEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    QTreeWidgetItem* pressed = m_pressedDeleteRow;
    m_pressedDeleteRow = nullptr;
    QTreeWidget::mouseReleaseEvent(event);
    if (pressed && index.isValid() && index.column() == DeleteColumn && itemFromIndex(index) == pressed)
        emit presetSelectedForDeletion(pressed->data(0, PresetIdRole).toByteArray());
}

} // namespace Emulsa
