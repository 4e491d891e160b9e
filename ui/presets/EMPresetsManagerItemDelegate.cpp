#include "ui/presets/EMPresetsManagerItemDelegate.h"

#include "model/PresetsManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/presets/EMPresetItemDelegate.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/PresetThumbnailPainter.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>

namespace Emulsa {

namespace {

QStyle* styleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

QByteArray presetIdOf(const QModelIndex& index)
{
    return index.sibling(index.row(), EMPresetsManagerList::ThumbnailColumn).data(PresetIdRole).toByteArray();
}

} // namespace

EMPresetsManagerItemDelegate::EMPresetsManagerItemDelegate(PresetsManager* presets, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_presets(presets)
{
}

PresetsManager* EMPresetsManagerItemDelegate::presets() const
{
    return m_presets ? m_presets : PresetsManager::instance();
}

int EMPresetsManagerItemDelegate::thumbnailColumnWidth(const QWidget* widget)
{
    const QStyle* style = widget ? widget->style() : QApplication::style();
    // The check box with the style's margins, the thumbnail, a little air.
    return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget) + 16 + thumbnailWidth + 8;
}

QRect EMPresetsManagerItemDelegate::checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    return styleOf(opt)->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, opt.widget);
}

QRect EMPresetsManagerItemDelegate::thumbnailRect(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect check = checkBoxRect(option, index);
    const int left = (check.isValid() ? check.right() : option.rect.left()) + 6;
    const int width = qMin(thumbnailWidth, option.rect.right() - 3 - left);
    return QRect(left, option.rect.top() + 3, qMax(0, width), qMax(0, option.rect.height() - 6));
}

void EMPresetsManagerItemDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.column() != EMPresetsManagerList::ThumbnailColumn) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // Background, selection and check box as for any cell, without the
    // number the display role holds.
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    styleOf(opt)->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    PresetThumbnailPainter::paint(painter, thumbnailRect(option, index), presets()->thumbnailForId(presetIdOf(index)));
}

QSize EMPresetsManagerItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.column() == EMPresetsManagerList::ThumbnailColumn)
        size.setWidth(thumbnailColumnWidth(option.widget));
    size.setHeight(qMax(size.height(), rowHeight));
    return size;
}

QWidget* EMPresetsManagerItemDelegate::createEditor(
    QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    if (index.column() != EMPresetsManagerList::NameColumn)
        return nullptr;
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    const int number = index.sibling(index.row(), EMPresetsManagerList::ThumbnailColumn).data(PresetNumberRole).toInt();
    editor->setPlaceholderText(EMPresetItemDelegate::titleFor(QString(), number));
    return editor;
}

void EMPresetsManagerItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setText(index.data(PresetNameRole).toString());
}

void EMPresetsManagerItemDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line)
        return;
    const QString name = line->text().trimmed();
    if (name != index.data(PresetNameRole).toString())
        emit const_cast<EMPresetsManagerItemDelegate*>(this)->presetNameEdited(presetIdOf(index), name);
}

} // namespace Emulsa
