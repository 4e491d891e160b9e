#pragma once

#include "app/VolumeWatcher.h"
#include "ui/media/ScanOverlay.h"

#include <QFrame>
#include <QModelIndex>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QFileInfo;
class QPushButton;
class QSplitter;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace Emulsa {

class EMFileModel;
class EMMediaListWidget;
class EMShotItemDelegate;
class EMShotListWidget;

class MetadataManager;

// The media tab: the volume list (volumes, home folder, favourites), the
// folder tree showing only video files, the media list the scan of a folder
// fills, and the shot list that mirrors the sequence.
//
// Each folder scan runs on a thread of its own; the browser never waits for
// one. A new folder, Cancel or the browser's end lets go of the running scan
// at once (its results are ignored from then on); a scan stuck in the file
// system ends by itself whenever the file system answers.
//
// The shot list pairs with the controller as its header says (shotList()).
// Nothing else of the tab talks to the controller. clearCacheFolder() and
// tabHasChanged(int) are for the main window (a menu action, the tab bar's
// currentChanged).
class EMFileExplorer : public QFrame
{
    Q_OBJECT

public:
    // Volumes come from `volumeSource` (tests) or the system when empty; the
    // metadata manager is the process-wide one when null.
    explicit EMFileExplorer(QWidget* parent = nullptr, MetadataManager* metadata = nullptr,
        VolumeWatcher::Source volumeSource = VolumeWatcher::Source());
    // Saves the favourites and lets go of a running scan.
    ~EMFileExplorer() override;

    EMShotListWidget* shotList() const { return m_shotList; }
    EMMediaListWidget* mediaList() const { return m_mediaList; }
    QTreeWidget* volumeList() const { return m_volumeList; }
    QTreeView* folderList() const { return m_folderList; }
    EMFileModel* fileModel() const { return m_fileModel; }
    VolumeWatcher* volumeWatcher() const { return m_volumes; }
    ScanOverlay* loadingOverlay() const { return m_overlay; }
    QStringList favorites() const { return m_favorites; }
    bool isScanning() const { return m_scanning; }

    // The headings of the volume list.
    QTreeWidgetItem* volumesHeading() const;
    QTreeWidgetItem* homeHeading() const;
    QTreeWidgetItem* favoritesHeading() const;

    // Adds a folder to the favourites (stored at once) unless the volume
    // list already has an entry with its path. True when added.
    bool addFavoriteFolder(const QString& path);
    // Scans a folder for video files into the media list.
    void scanFolder(const QString& folder);
    // Called for each entry every scan meets (tests hold a scan with it).
    void setScanEntryHook(std::function<void(const QString&)> hook) { m_scanHook = std::move(hook); }
    // Replaces the directory dialog of addFavFolder (tests).
    void setDirectoryAsker(std::function<QString()> ask) { m_askDirectory = std::move(ask); }

    void initializeVolumeListRootItems();
    void loadFavoritesFromFile();
    void saveFavoritesToFile();
    void addDiskToVolumeList(const QString& rootPath, const QString& label);
    void addItemToVolumeListFromPath(const QString& path, bool favorite);
    void removeFolder(const QString& path, bool favoritesOnly);

public slots:
    void addFavFolder();
    // Asks the metadata manager to empty its own cache folder.
    void clearCacheFolder();
    void volumeItemClicked(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void folderItemClicked(QModelIndex index);
    void videoScanFinished();
    void cancelScan();
    void showContextMenu(QPoint position);
    void clipListModeToggled(bool iconMode);
    void shotListModeToggled(bool iconMode);
    // Tab 0 (this one) shows the scan's cover again; others hide it.
    void tabHasChanged(int tabId);

protected:
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool hasPath(const QString& path) const;
    // Back to idle: lists enabled, no cover, the running scan let go.
    void endScan();
    QIcon iconFor(const QString& path) const;

    MetadataManager* m_metadata;
    QPushButton* m_clipIconMode;
    QPushButton* m_clipListMode;
    QPushButton* m_shotIconMode;
    QPushButton* m_shotListMode;
    QWidget* m_container;
    QSplitter* m_splitter;
    QTreeWidget* m_volumeList;
    QTreeView* m_folderList;
    EMFileModel* m_fileModel;
    EMMediaListWidget* m_mediaList;
    EMShotListWidget* m_shotList;
    EMShotItemDelegate* m_mediaDelegate;
    EMShotItemDelegate* m_shotDelegate;
    VolumeWatcher* m_volumes;
    QPointer<ScanOverlay> m_overlay;
    QStringList m_favorites;
    // The running scan's stop flag, and the number of the scan whose results
    // are shown: results of older scans are dropped.
    std::shared_ptr<std::atomic<bool>> m_scanStop;
    quint64 m_scanNumber = 0;
    bool m_scanning = false;
    bool m_onOwnTab = true;
    std::function<void(const QString&)> m_scanHook;
    std::function<QString()> m_askDirectory;
};

} // namespace Emulsa
