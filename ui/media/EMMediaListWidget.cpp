#include "ui/media/EMMediaListWidget.h"

#include "media/metadata/MetadataManager.h"
#include "media/metadata/ThumbnailCache.h"
#include "ui/media/ClipItemRoles.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QMouseEvent>

namespace Emulsa {

EMMediaListWidget::EMMediaListWidget(QWidget* parent)
    : QTreeWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setAlternatingRowColors(true);
    setHeaderHidden(true);
    setRootIsDecorated(false);
}

QTreeWidgetItem* EMMediaListWidget::makeClipItem(const QString& path, const QString& modified)
{
    const QFileInfo info(path);
    auto* item = new QTreeWidgetItem;
    item->setData(0, FilePathRole, path);
    item->setData(0, ModifiedRole, modified.isEmpty() ? ThumbnailCache::fileTimeText(info.lastModified()) : modified);
    item->setData(0, AssetIdRole, MetadataManager::idForPath(path));
    item->setText(0, info.fileName());
    item->setToolTip(0, path);
    return item;
}

void EMMediaListWidget::listReadyToDisplay(QStringList paths, QStringList modifiedTimes)
{
    for (int i = 0; i < paths.size(); ++i) {
        qDebug() << paths.at(i);
        addTopLevelItem(makeClipItem(paths.at(i), modifiedTimes.value(i)));
    }
}

void EMMediaListWidget::mousePressEvent(QMouseEvent* event)
{
    m_pressPosition = event->pos();
    QTreeWidget::mousePressEvent(event);
}

void EMMediaListWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint moved = event->pos() - m_pressPosition;
    if ((event->buttons() & Qt::LeftButton) && moved.manhattanLength() > QApplication::startDragDistance()
        && qAbs(moved.y()) > qAbs(moved.x())) {
        setState(QAbstractItemView::DragSelectingState);
    }
    QTreeWidget::mouseMoveEvent(event);
}

} // namespace Emulsa
