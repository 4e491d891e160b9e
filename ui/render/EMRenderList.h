#pragma once

#include <QHash>
#include <QTreeWidget>
#include <QUuid>

namespace Emulsa {

class SequenceItem;

// The render tab's list of the sequence's clips: one top-level row per item,
// ticked at first, with its progress in words and, once done, an icon that
// shows the output in the file manager.
//
// Columns: the clip's name, its progress, its output name (filled when a
// render starts; a name given a suffix so that it does not overwrite another
// clip's output says so).
class EMRenderList : public QTreeWidget
{
    Q_OBJECT

public:
    // Row data, as offsets from Qt::UserRole.
    enum RowRole
    {
        FilePathRole = Qt::UserRole + 1,
        AssetIdRole = Qt::UserRole + 2,
        UuidRole = Qt::UserRole + 3,
        LastModifiedRole = Qt::UserRole + 4,
        FrameCountRole = Qt::UserRole + 6,
        StartFrameRole = Qt::UserRole + 7,
        EndFrameRole = Qt::UserRole + 8,
        ProgressRole = Qt::UserRole + 9,
        OutputFolderRole = Qt::UserRole + 10,
        // The movie or image folder written, for the file manager.
        OutputPathRole = Qt::UserRole + 11,
        // A failure's message.
        MessageRole = Qt::UserRole + 12,
    };
    enum Column
    {
        NameColumn = 0,
        ProgressColumn = 1,
        OutputColumn = 2,
    };

    explicit EMRenderList(QWidget* parent = nullptr);
    ~EMRenderList() override;

    // The text of a progress value for a clip of `frames` frames.
    static QString progressText(int value, int frames);

    // The ticked rows' item ids (braced uuid text), in row order.
    QList<QByteArray> checkedItemIds() const;
    QTreeWidgetItem* rowFor(const QUuid& uuid) const;
    // The clip's length in frames as the row knows it (out - in).
    static int rowFrames(const QTreeWidgetItem* row);

    // A new row for an item at `position` (the end when out of range), or
    // the row's removal. Keeps nothing but values. A removed row is kept
    // aside until the list is reset, so that an undone removal gets it back
    // as it was: ticked or not, with its progress and output.
    void addRow(const QUuid& uuid, const QString& name, const QString& filePath, const QByteArray& assetId,
        quint32 frameCount, quint32 startFrame, quint32 endFrame, int position = -1);
    void removeRow(const QUuid& uuid);

    void setRowOutput(const QUuid& uuid, const QString& outputName, const QString& outputPath, bool renamed);
    void setRowFailure(const QUuid& uuid, const QString& message);

signals:
    // The icon of a done row was clicked: the movie or image folder written.
    void showInFolderRequested(const QString& path);

public slots:
    // Adds a row for the item, or removes its row when toDelete is set. Reads
    // the item's uuid and asset only, which never change while it lives.
    void shotListChanged(Emulsa::SequenceItem* item, bool toDelete);
    // An item whose removal was undone, back at its place in the sequence.
    void shotRestored(Emulsa::SequenceItem* item, int index);
    void fullReset();
    void startingPointUpdated(QUuid uuid, uint frame);
    void endingPointUpdated(QUuid uuid, uint frame);
    void sequenceItemRenderingProgress(QUuid uuid, int value);
    // Every row back to queued, ready for another render.
    void resetProgress();

private:
    void dropRemovedRows();
    void refreshRowText(QTreeWidgetItem* row);
    void rowClicked(QTreeWidgetItem* row, int column);

    // Rows taken out by removals, by uuid text; owned.
    QHash<QString, QTreeWidgetItem*> m_removedRows;
};

} // namespace Emulsa
