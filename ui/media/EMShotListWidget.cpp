#include "ui/media/EMShotListWidget.h"

#include "core/ThreadHandOff.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/UnreadFieldsMark.h"

#include <QDataStream>
#include <QDebug>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>

namespace Emulsa {

namespace {

const QString itemModelFormat = QStringLiteral("application/x-qabstractitemmodeldatalist");

bool askBeforeLargeDrop(QWidget* parent, int fileCount)
{
    const QString text = QObject::tr("This drop holds %1 files. Add them all to the sequence?").arg(fileCount);
    return QMessageBox::question(
               parent, QStringLiteral("Emulsa"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

} // namespace

EMShotListWidget::EMShotListWidget(QWidget* parent)
    : QTreeWidget(parent)
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDefaultDropAction(Qt::CopyAction);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    m_confirmLargeDrop = [this](int count) { return askBeforeLargeDrop(this, count); };
}

QStringList EMShotListWidget::filesForUrls(const QList<QUrl>& urls)
{
    QStringList files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (info.isDir()) {
            QDirIterator it(path, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                it.next();
                if (it.fileInfo().isFile())
                    files.append(it.filePath());
            }
        } else if (info.isFile()) {
            // QFileInfo::isFile() holds only for regular files (and links to
            // them), not for FIFOs, sockets or device nodes.
            files.append(path);
        }
    }
    return files;
}

QList<QUrl> EMShotListWidget::urlsFromItemModelData(const QByteArray& data)
{
    QList<QUrl> urls;
    QDataStream stream(data);
    while (!stream.atEnd()) {
        int row = 0;
        int column = 0;
        QMap<int, QVariant> roles;
        stream >> row >> column >> roles;
        if (stream.status() != QDataStream::Ok)
            break;
        const QString path = roles.value(FilePathRole).toString();
        if (!path.isEmpty())
            urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    }
    return urls;
}

bool EMShotListWidget::addUrls(const QList<QUrl>& urls)
{
    if (urls.isEmpty())
        return true;
    const QStringList files = filesForUrls(urls);
    if (files.size() > largeDropFileCount && m_confirmLargeDrop && !m_confirmLargeDrop(files.size()))
        return false;
    // The group brackets the URLs of the drop, not the files found in folders.
    const bool grouped = urls.size() > 1;
    if (grouped)
        emit notifyGroupOfCommands(true);
    for (const QString& file : files)
        emit shotDropInsideShotList(file, true);
    if (grouped)
        emit notifyGroupOfCommands(false);
    return true;
}

void EMShotListWidget::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data->hasUrls() || data->hasFormat(itemModelFormat))
        event->acceptProposedAction();
    else
        event->ignore();
}

void EMShotListWidget::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void EMShotListWidget::dragLeaveEvent(QDragLeaveEvent* event)
{
    event->accept();
}

bool EMShotListWidget::handleDrop(const QMimeData* data)
{
    if (!data)
        return false;
    if (data->hasUrls()) {
        addUrls(data->urls());
        return true;
    }
    if (data->hasFormat(itemModelFormat)) {
        addUrls(urlsFromItemModelData(data->data(itemModelFormat)));
        return true;
    }
    return false;
}

void EMShotListWidget::dropEvent(QDropEvent* event)
{
    if (!handleDrop(event->mimeData())) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void EMShotListWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        emit notifyGroupOfCommands(true);
        const QList<QTreeWidgetItem*> selected = selectedItems();
        for (const QTreeWidgetItem* row : selected)
            emit shotSelectedForDeletion(row->data(0, ItemIdRole).toByteArray());
        emit notifyGroupOfCommands(false);
    }
    QTreeWidget::keyPressEvent(event);
}

QTreeWidgetItem* EMShotListWidget::makeRow(const SequenceItem* item) const
{
    auto* row = new QTreeWidgetItem;
    const AssetMetadata* asset = item->asset;
    if (asset) {
        row->setData(0, FilePathRole, asset->filePath);
        row->setData(0, ModifiedRole, asset->lastModified);
        row->setData(0, AssetIdRole, asset->id);
        row->setText(0, asset->name);
        row->setToolTip(0, asset->filePath);
    }
    row->setData(0, ItemIdRole, item->uuid.toByteArray());
    return row;
}

void EMShotListWidget::shotListChanged(SequenceItem* item, bool toDelete)
{
    takeOver(item);
    if (!item)
        return;
    if (!toDelete) {
        addTopLevelItem(makeRow(item));
        return;
    }
    const QByteArray id = item->uuid.toByteArray();
    for (int i = topLevelItemCount() - 1; i >= 0; --i) {
        if (topLevelItem(i)->data(0, ItemIdRole).toByteArray() == id)
            delete takeTopLevelItem(i);
    }
}

void EMShotListWidget::shotRestored(SequenceItem* item, int index)
{
    takeOver(item);
    if (!item)
        return;
    const int at = index < 0 || index > topLevelItemCount() ? topLevelItemCount() : index;
    insertTopLevelItem(at, makeRow(item));
}

void EMShotListWidget::sequenceItemNeedUnreadFieldsRefresh(QByteArray itemId, QStringList fields)
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        if (row->data(0, ItemIdRole).toByteArray() != itemId)
            continue;
        row->setData(0, UnreadFieldsRole, fields);
        // The tooltip is the clip's path, as for every clip, followed by the warning.
        const QString path = row->data(0, FilePathRole).toString();
        const QString warning = UnreadFieldsMark::clipWarning(fields);
        row->setToolTip(0, warning.isEmpty() ? path : path + QLatin1Char('\n') + warning);
    }
    viewport()->update();
}

void EMShotListWidget::fullReset()
{
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        delete takeTopLevelItem(i);
    viewport()->update();
}

} // namespace Emulsa
