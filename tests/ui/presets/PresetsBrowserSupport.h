#pragma once

#include "model/Preset.h"
#include "model/PresetGroup.h"
#include "model/SettingsManager.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/EMPresetsWidget.h"

#include <QPainter>
#include <QSettings>

#include <memory>
#include <tuple>

// What the presets strip and manager tests share: presets and groups made
// up, cells painted as the views paint them, rows in a given state, and the
// group the strip remembers.
namespace Emulsa::Test {

using Transfer = std::tuple<int, int, QVector<QByteArray>>;

inline Preset presetNumbered(int number, const QString& name = QString())
{
    Preset preset;
    preset.number = number;
    preset.name = name;
    return preset;
}

inline QList<PresetGroup> groupsWithIds(const QList<int>& ids)
{
    QList<PresetGroup> groups;
    for (int id : ids) {
        PresetGroup group;
        group.id = id;
        group.name = QStringLiteral("group %1").arg(id);
        groups.append(group);
    }
    return groups;
}

inline QStyleOptionViewItem cellOption(QAbstractItemView* view, const QSize& size)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.widget = view;
    option.rect = QRect(QPoint(0, 0), size);
    option.state = QStyle::State_Enabled;
    return option;
}

// One cell painted by the delegate on its own, as the view paints it.
inline QImage paintCell(
    QAbstractItemView* view, QAbstractItemDelegate* delegate, const QModelIndex& index, const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    delegate->paint(&painter, cellOption(view, size), index);
    return image;
}

inline QSet<int> checkedRows(EMPresetsManagerList& table)
{
    QSet<int> rows;
    for (int i = 0; i < table.topLevelItemCount(); ++i)
        if (table.topLevelItem(i)->checkState(EMPresetsManagerList::ThumbnailColumn) == Qt::Checked)
            rows.insert(i);
    return rows;
}

inline QSet<int> selectedRows(EMPresetsManagerList& table)
{
    QSet<int> rows;
    for (int i = 0; i < table.topLevelItemCount(); ++i)
        if (table.topLevelItem(i)->isSelected())
            rows.insert(i);
    return rows;
}

inline void storeSelectedGroup(const QVariant& id)
{
    auto store = SettingsManager::openStore();
    if (id.isValid())
        store->setValue(QLatin1String(EMPresetsWidget::selectedGroupKey), id);
    else
        store->remove(QLatin1String(EMPresetsWidget::selectedGroupKey));
}

} // namespace Emulsa::Test
