#include "ui/render/EMRenderList.h"

#include "core/ThreadHandOff.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>

namespace Emulsa {

EMRenderList::EMRenderList(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(3);
    setHeaderLabels({ tr("Clip"), tr("Progress"), tr("Output") });
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setStretchLastSection(true);
    setColumnWidth(NameColumn, 220);
    setColumnWidth(ProgressColumn, 260);
    connect(this, &QTreeWidget::itemClicked, this, &EMRenderList::rowClicked);
}

EMRenderList::~EMRenderList()
{
    dropRemovedRows();
}

void EMRenderList::dropRemovedRows()
{
    qDeleteAll(m_removedRows);
    m_removedRows.clear();
}

QString EMRenderList::progressText(int value, int frames)
{
    switch (value) {
    case -1:
        return QStringLiteral("Queued %1 frames").arg(frames);
    case -2:
        return QStringLiteral("Processing Audio and Timecode...");
    case -3:
        return QStringLiteral("File already exists. Not rendering");
    case -4:
        return QStringLiteral("An error occured. File not rendered");
    case -41:
        return QStringLiteral("Finalizing movie...");
    case -42:
        return QStringLiteral("%1 of %1 frames completed").arg(frames);
    default:
        break;
    }
    if (value >= 0)
        return QStringLiteral("%1 of %2 frames completed").arg(qMin(value, frames)).arg(frames);
    return QString();
}

QList<QByteArray> EMRenderList::checkedItemIds() const
{
    QList<QByteArray> ids;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = topLevelItem(i);
        if (row->checkState(NameColumn) == Qt::Checked)
            ids.append(row->data(NameColumn, UuidRole).toString().toLatin1());
    }
    return ids;
}

QTreeWidgetItem* EMRenderList::rowFor(const QUuid& uuid) const
{
    const QString text = uuid.toString();
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        if (row->data(NameColumn, UuidRole).toString() == text)
            return row;
    }
    return nullptr;
}

int EMRenderList::rowFrames(const QTreeWidgetItem* row)
{
    const qint64 in = row->data(NameColumn, StartFrameRole).toLongLong();
    const qint64 out = row->data(NameColumn, EndFrameRole).toLongLong();
    return int(qMax<qint64>(0, out - in));
}

void EMRenderList::addRow(const QUuid& uuid, const QString& name, const QString& filePath, const QByteArray& assetId,
    quint32 frameCount, quint32 startFrame, quint32 endFrame, int position)
{
    if (rowFor(uuid))
        return;
    QTreeWidgetItem* row = m_removedRows.take(uuid.toString());
    if (!row) {
        row = new QTreeWidgetItem;
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(NameColumn, Qt::Checked);
        row->setData(NameColumn, ProgressRole, -1);
    }
    insertTopLevelItem(position < 0 || position > topLevelItemCount() ? topLevelItemCount() : position, row);
    row->setText(NameColumn, name);
    row->setData(NameColumn, FilePathRole, filePath);
    row->setData(NameColumn, AssetIdRole, assetId);
    row->setData(NameColumn, UuidRole, uuid.toString());
    row->setData(NameColumn, LastModifiedRole, QFileInfo(filePath).lastModified());
    row->setData(NameColumn, FrameCountRole, frameCount);
    row->setData(NameColumn, StartFrameRole, startFrame);
    row->setData(NameColumn, EndFrameRole, endFrame);
    refreshRowText(row);
}

void EMRenderList::removeRow(const QUuid& uuid)
{
    QTreeWidgetItem* row = rowFor(uuid);
    if (!row)
        return;
    takeTopLevelItem(indexOfTopLevelItem(row));
    delete m_removedRows.value(uuid.toString());
    m_removedRows.insert(uuid.toString(), row);
}

void EMRenderList::shotListChanged(SequenceItem* item, bool toDelete)
{
    takeOver(item);
    if (!item)
        return;
    if (toDelete) {
        removeRow(item->uuid);
        return;
    }
    const AssetMetadata* asset = item->asset;
    addRow(item->uuid, asset ? asset->name : QString(), asset ? asset->filePath : QString(),
        asset ? asset->id : QByteArray(), asset ? asset->frameCount : 0, item->startFrame, item->endFrame);
}

void EMRenderList::shotRestored(SequenceItem* item, int index)
{
    takeOver(item);
    if (!item)
        return;
    const AssetMetadata* asset = item->asset;
    addRow(item->uuid, asset ? asset->name : QString(), asset ? asset->filePath : QString(),
        asset ? asset->id : QByteArray(), asset ? asset->frameCount : 0, item->startFrame, item->endFrame, index);
}

void EMRenderList::fullReset()
{
    clear();
    dropRemovedRows();
}

void EMRenderList::startingPointUpdated(QUuid uuid, uint frame)
{
    if (QTreeWidgetItem* row = rowFor(uuid)) {
        row->setData(NameColumn, StartFrameRole, frame);
        refreshRowText(row);
    }
}

void EMRenderList::endingPointUpdated(QUuid uuid, uint frame)
{
    if (QTreeWidgetItem* row = rowFor(uuid)) {
        row->setData(NameColumn, EndFrameRole, frame);
        refreshRowText(row);
    }
}

void EMRenderList::sequenceItemRenderingProgress(QUuid uuid, int value)
{
    QTreeWidgetItem* row = rowFor(uuid);
    if (!row)
        return;
    // A failure stays failed: the renderer's own -1 comes first.
    row->setData(NameColumn, ProgressRole, value);
    if (value == -42) {
        const QString path = row->data(NameColumn, OutputPathRole).toString();
        row->setData(NameColumn, OutputFolderRole, QFileInfo(path).absolutePath());
    }
    refreshRowText(row);
}

void EMRenderList::resetProgress()
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        row->setData(NameColumn, ProgressRole, -1);
        row->setData(NameColumn, MessageRole, QVariant());
        row->setData(NameColumn, OutputFolderRole, QVariant());
        refreshRowText(row);
    }
}

void EMRenderList::setRowOutput(const QUuid& uuid, const QString& outputName, const QString& outputPath, bool renamed)
{
    QTreeWidgetItem* row = rowFor(uuid);
    if (!row)
        return;
    row->setData(NameColumn, OutputPathRole, outputPath);
    row->setText(OutputColumn,
        renamed ? QStringLiteral("%1 (renamed: another clip writes the same name)").arg(outputName) : outputName);
    row->setToolTip(OutputColumn, outputPath);
}

void EMRenderList::setRowFailure(const QUuid& uuid, const QString& message)
{
    if (QTreeWidgetItem* row = rowFor(uuid)) {
        row->setData(NameColumn, MessageRole, message);
        refreshRowText(row);
    }
}

void EMRenderList::refreshRowText(QTreeWidgetItem* row)
{
    const int value = row->data(NameColumn, ProgressRole).toInt();
    QString text = progressText(value, rowFrames(row));
    const QString message = row->data(NameColumn, MessageRole).toString();
    if (value == -4 && !message.isEmpty())
        text += QStringLiteral(": ") + message;
    row->setText(ProgressColumn, text);
    row->setToolTip(ProgressColumn, text);
    row->setIcon(ProgressColumn, value == -42 ? style()->standardIcon(QStyle::SP_DirOpenIcon) : QIcon());
}

void EMRenderList::rowClicked(QTreeWidgetItem* row, int column)
{
    if (!row || column != ProgressColumn || row->data(NameColumn, ProgressRole).toInt() != -42)
        return;
    const QString path = row->data(NameColumn, OutputPathRole).toString();
    if (!path.isEmpty())
        emit showInFolderRequested(path);
}

} // namespace Emulsa
