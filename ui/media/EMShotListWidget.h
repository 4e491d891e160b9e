#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTreeWidget>
#include <QUrl>

#include <functional>

class QMimeData;

namespace Emulsa {

class SequenceItem;

// The media tab's shot list: mirrors the model's sequence, takes drops of
// clips and folders and deletes the selected clips with Delete. It only
// sends requests; rows come and go when the model reports the change.
//
// Pairs with the controller (connect in one place):
//   shotDropInsideShotList(QString, bool) -> Controller::shotToBeAddedToShotList
//   shotSelectedForDeletion(QByteArray)  -> Controller::shotToBeDeletedFromShotList
//   notifyGroupOfCommands(bool)          -> Controller::groupOfCommandsTriggered
//   Controller::sequenceItemListShouldRefresh -> shotListChanged
//   Controller::sequenceItemShouldBeRestored  -> shotRestored
//   Controller::listShouldReset               -> fullReset
class EMShotListWidget : public QTreeWidget
{
    Q_OBJECT

public:
    // A drop that expands to more files than this asks before sending them.
    static constexpr int largeDropFileCount = 1000;
    // Asked with the number of files a large drop would add; true to go on.
    using LargeDropConfirmation = std::function<bool(int fileCount)>;

    explicit EMShotListWidget(QWidget* parent = nullptr);

    // Replaces the question asked before a large drop (tests answer it).
    void setLargeDropConfirmation(LargeDropConfirmation confirm) { m_confirmLargeDrop = std::move(confirm); }

    // The files a drop of these URLs adds, in order: a folder yields every
    // regular file below it, a regular file itself. Anything else (FIFOs,
    // devices, sockets, missing paths, remote URLs) yields nothing: opening
    // it to look for a clip could block.
    static QStringList filesForUrls(const QList<QUrl>& urls);
    // Sends the requests for dropped data: local file URLs, or item-model
    // data from the media list. False for data of any other kind.
    bool handleDrop(const QMimeData* data);

    // The URLs of the paths that item-model data (a drag from the media list)
    // carries under the file path role.
    static QList<QUrl> urlsFromItemModelData(const QByteArray& data);

signals:
    void notifyGroupOfCommands(bool beginning);
    void shotDropInsideShotList(QString path, bool toCheck);
    void shotSelectedForDeletion(QByteArray itemId);

public slots:
    void shotListChanged(Emulsa::SequenceItem* item, bool toDelete);
    void shotRestored(Emulsa::SequenceItem* item, int index);
    void fullReset();
    // Marks the clip whose grade could not be read whole (an empty list
    // clears the mark).
    void sequenceItemNeedUnreadFieldsRefresh(QByteArray itemId, QStringList fields);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Sends the adds for the URLs of one drop; false when the user declined.
    bool addUrls(const QList<QUrl>& urls);
    QTreeWidgetItem* makeRow(const SequenceItem* item) const;

    LargeDropConfirmation m_confirmLargeDrop;
};

} // namespace Emulsa
