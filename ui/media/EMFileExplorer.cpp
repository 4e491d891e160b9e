#include "ui/media/EMFileExplorer.h"

#include "app/EMVideoScanner.h"
#include "media/metadata/MetadataManager.h"
#include "model/SettingsManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMFileModel.h"
#include "ui/media/EMMediaListWidget.h"
#include "ui/media/EMShotItemDelegate.h"
#include "ui/media/EMShotListWidget.h"
#include "ui/media/ScanOverlay.h"

#include <QDebug>
#include <QDir>
#include <QDragLeaveEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Emulsa {

namespace {

QPushButton* modeButton(const QString& name, const QString& text, bool checked, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setCheckable(true);
    button->setChecked(checked);
    return button;
}

} // namespace

EMFileExplorer::EMFileExplorer(QWidget* parent, MetadataManager* metadata, VolumeWatcher::Source volumeSource)
    : QFrame(parent)
    , m_metadata(metadata ? metadata : MetadataManager::instance())
    , m_clipIconMode(modeButton(QStringLiteral("clipIconModeButton"), QStringLiteral("Icons"), true, this))
    , m_clipListMode(modeButton(QStringLiteral("clipListModeButton"), QStringLiteral("List"), false, this))
    , m_shotIconMode(modeButton(QStringLiteral("shotIconModeButton"), QStringLiteral("Icons"), true, this))
    , m_shotListMode(modeButton(QStringLiteral("shotListModeButton"), QStringLiteral("List"), false, this))
    , m_container(new QWidget(this))
    , m_splitter(new QSplitter(Qt::Horizontal, m_container))
    , m_volumeList(new QTreeWidget(m_splitter))
    , m_folderList(new QTreeView(m_splitter))
    , m_fileModel(new EMFileModel(this))
    , m_mediaList(new EMMediaListWidget(m_splitter))
    , m_shotList(new EMShotListWidget(this))
    , m_mediaDelegate(new EMShotItemDelegate(m_metadata, this))
    , m_shotDelegate(new EMShotItemDelegate(m_metadata, this))
    , m_volumes(new VolumeWatcher(this, std::move(volumeSource)))
{
    m_volumeList->setObjectName(QStringLiteral("volumeList"));
    m_folderList->setObjectName(QStringLiteral("folderList"));
    m_mediaList->setObjectName(QStringLiteral("mediaList"));
    m_shotList->setObjectName(QStringLiteral("shotList"));

    auto* layout = new QVBoxLayout(this);
    auto* clipRow = new QHBoxLayout;
    clipRow->addWidget(new QLabel(QStringLiteral("MEDIA"), this));
    clipRow->addStretch();
    clipRow->addWidget(m_clipIconMode);
    clipRow->addWidget(m_clipListMode);
    layout->addLayout(clipRow);
    auto* containerLayout = new QVBoxLayout(m_container);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    containerLayout->addWidget(m_splitter);
    layout->addWidget(m_container, 3);
    auto* shotRow = new QHBoxLayout;
    shotRow->addWidget(new QLabel(QStringLiteral("SHOTS"), this));
    shotRow->addStretch();
    shotRow->addWidget(m_shotIconMode);
    shotRow->addWidget(m_shotListMode);
    layout->addLayout(shotRow);
    layout->addWidget(m_shotList, 2);
    // Volumes, folders, then the clips found there, which get most of the room.
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setStretchFactor(2, 3);
    m_splitter->setSizes({ 250, 300, 900 });

    m_volumeList->setHeaderHidden(true);
    m_volumeList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_folderList->setModel(m_fileModel);
    for (int column = 1; column <= 3; ++column)
        m_folderList->hideColumn(column);
    m_folderList->setHeaderHidden(true);
    m_folderList->setDragEnabled(false);
    m_folderList->setAlternatingRowColors(true);
    m_mediaList->setItemDelegate(m_mediaDelegate);
    m_shotList->setItemDelegate(m_shotDelegate);

    connect(m_volumeList, &QTreeWidget::currentItemChanged, this, &EMFileExplorer::volumeItemClicked);
    connect(m_folderList, &QTreeView::clicked, this, &EMFileExplorer::folderItemClicked);
    connect(m_volumeList, &QTreeWidget::customContextMenuRequested, this, &EMFileExplorer::showContextMenu);
    connect(m_clipIconMode, &QPushButton::toggled, this, &EMFileExplorer::clipListModeToggled);
    connect(m_shotIconMode, &QPushButton::toggled, this, &EMFileExplorer::shotListModeToggled);
    connect(m_volumes, &VolumeWatcher::volumeAdded, this, [this](const QString& root, const QString& label) {
        qDebug() << "Drive" << root << "connected";
        if (!hasPath(root))
            addDiskToVolumeList(root, label);
    });
    connect(m_volumes, &VolumeWatcher::volumeRemoved, this, [this](const QString& root) {
        qDebug() << "Drive" << root << "removed";
        removeFolder(root, false);
    });

    for (QWidget* view : { m_mediaList->viewport(), m_shotList->viewport() })
        connect(m_metadata, &MetadataManager::recordsUpdated, view, qOverload<>(&QWidget::update));
    setAcceptDrops(true);

    m_askDirectory = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Open Directory"), QString(),
            QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    };
    initializeVolumeListRootItems();
    m_volumes->start();
}

EMFileExplorer::~EMFileExplorer()
{
    saveFavoritesToFile();
    if (m_scanStop)
        m_scanStop->store(true);
}

QTreeWidgetItem* EMFileExplorer::volumesHeading() const
{
    return m_volumeList->topLevelItem(0);
}

QTreeWidgetItem* EMFileExplorer::homeHeading() const
{
    return m_volumeList->topLevelItem(1);
}

QTreeWidgetItem* EMFileExplorer::favoritesHeading() const
{
    return m_volumeList->topLevelItem(2);
}

QIcon EMFileExplorer::iconFor(const QString& path) const
{
    const QIcon icon = m_fileModel->iconProvider()->icon(QFileInfo(path));
    if (icon.isNull())
        qDebug() << "No Ico";
    return icon;
}

void EMFileExplorer::initializeVolumeListRootItems()
{
    m_volumeList->clear();
    for (const QString& heading :
        { QStringLiteral("Volumes"), QStringLiteral("Home Directory"), QStringLiteral("Favorites") }) {
        auto* item = new QTreeWidgetItem(m_volumeList, { heading });
        item->setExpanded(true);
    }
    const QList<VolumeEntry> volumes = m_volumes->volumes();
    for (const VolumeEntry& volume : volumes)
        addDiskToVolumeList(volume.rootPath, volume.label);

    const QString home = QDir::homePath();
    QString homeLabel = VolumeWatcher::volumeLabel(home);
    if (homeLabel.isEmpty())
        homeLabel = QFileInfo(home).fileName();
    auto* homeItem = new QTreeWidgetItem(homeHeading(), { homeLabel });
    homeItem->setData(0, FilePathRole, home);
    homeItem->setData(0, FavoriteRole, false);
    homeItem->setIcon(0, iconFor(home));
    homeItem->setToolTip(0, home);
    for (int i = 0; i < m_volumeList->topLevelItemCount(); ++i)
        m_volumeList->topLevelItem(i)->setExpanded(true);

    loadFavoritesFromFile();
    if (QTreeWidgetItem* first = volumesHeading()->child(0)) {
        volumeItemClicked(first, nullptr);
        const QSignalBlocker blocker(m_volumeList);
        m_volumeList->setCurrentItem(first);
    }
}

void EMFileExplorer::addDiskToVolumeList(const QString& rootPath, const QString& label)
{
    qDebug() << "Adding disk to volume list:" << rootPath;
    auto* item
        = new QTreeWidgetItem(volumesHeading(), { label + QStringLiteral(" (") + rootPath + QStringLiteral(")") });
    item->setData(0, FilePathRole, rootPath);
    item->setData(0, FavoriteRole, false);
    item->setToolTip(0, rootPath);
    item->setIcon(0, iconFor(rootPath));
}

void EMFileExplorer::addItemToVolumeListFromPath(const QString& path, bool favorite)
{
    qDebug() << "Added item to volume list:" << path;
    QString label = VolumeWatcher::volumeLabel(path);
    if (label.isEmpty())
        label = QFileInfo(path).fileName();
    if (label.isEmpty())
        label = path;
    auto* item = new QTreeWidgetItem(favoritesHeading(), { label });
    item->setData(0, FilePathRole, path);
    item->setData(0, FavoriteRole, favorite);
    QIcon icon;
    if (favorite && QFile::exists(QStringLiteral(":/ico/favorites")))
        icon = QIcon(QStringLiteral(":/ico/favorites"));
    item->setIcon(0, icon.isNull() ? iconFor(path) : icon);
    item->setToolTip(0, path);
}

void EMFileExplorer::loadFavoritesFromFile()
{
    m_favorites.clear();
    auto store = SettingsManager::openStore();
    store->beginGroup(QStringLiteral("Favorite"));
    const int count = store->beginReadArray(QStringLiteral("Folders"));
    for (int i = 0; i < count; ++i) {
        store->setArrayIndex(i);
        const QString path = store->value(QStringLiteral("Path")).toString();
        if (path.isEmpty() || m_favorites.contains(path))
            continue;
        qDebug() << "From ini to add: " << path;
        addItemToVolumeListFromPath(path, true);
        m_favorites.append(path);
    }
    store->endArray();
    store->endGroup();
}

void EMFileExplorer::saveFavoritesToFile()
{
    auto store = SettingsManager::openStore();
    store->beginGroup(QStringLiteral("Favorite"));
    store->remove(QString());
    store->beginWriteArray(QStringLiteral("Folders"), m_favorites.size());
    for (int i = 0; i < m_favorites.size(); ++i) {
        store->setArrayIndex(i);
        qDebug() << "add to ini: " << m_favorites.at(i);
        store->setValue(QStringLiteral("Path"), m_favorites.at(i));
    }
    store->endArray();
    store->endGroup();
    store->sync();
}

bool EMFileExplorer::hasPath(const QString& path) const
{
    for (int i = 0; i < m_volumeList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* heading = m_volumeList->topLevelItem(i);
        if (heading->data(0, FilePathRole).toString() == path)
            return true;
        for (int j = 0; j < heading->childCount(); ++j) {
            if (heading->child(j)->data(0, FilePathRole).toString() == path)
                return true;
        }
    }
    return false;
}

bool EMFileExplorer::addFavoriteFolder(const QString& path)
{
    qDebug() << "Selected favorite dir:" << path;
    if (path.size() <= 1 || hasPath(path))
        return false;
    m_favorites.append(path);
    saveFavoritesToFile();
    addItemToVolumeListFromPath(path, true);
    return true;
}

void EMFileExplorer::addFavFolder()
{
    if (m_askDirectory)
        addFavoriteFolder(m_askDirectory());
}

void EMFileExplorer::removeFolder(const QString& path, bool favoritesOnly)
{
    qDebug() << "Selected dir to remove:" << path;
    for (int i = 0; i < m_volumeList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* heading = m_volumeList->topLevelItem(i);
        for (int j = heading->childCount() - 1; j >= 0; --j) {
            QTreeWidgetItem* child = heading->child(j);
            if (child->data(0, FilePathRole).toString() != path)
                continue;
            if (favoritesOnly && !child->data(0, FavoriteRole).toBool())
                continue;
            const QSignalBlocker blocker(m_volumeList);
            delete child;
            m_volumeList->clearSelection();
            m_volumeList->setCurrentItem(volumesHeading());
        }
    }
}

void EMFileExplorer::showContextMenu(QPoint position)
{
    QMenu menu(this);
    QAction* add = menu.addAction(QStringLiteral("Add folder to favorite"));
    QAction* remove = nullptr;
    QTreeWidgetItem* item = m_volumeList->itemAt(position);
    const QString path = item ? item->data(0, FilePathRole).toString() : QString();
    if (item && m_favorites.contains(path))
        remove = menu.addAction(QStringLiteral("Remove from favorite"));
    QAction* chosen = menu.exec(m_volumeList->viewport()->mapToGlobal(position));
    if (chosen == add) {
        addFavFolder();
    } else if (chosen && chosen == remove) {
        removeFolder(path, true);
        m_favorites.removeAll(path);
        saveFavoritesToFile();
    }
}

void EMFileExplorer::volumeItemClicked(QTreeWidgetItem* current, QTreeWidgetItem*)
{
    if (!current || !current->parent())
        return;
    m_mediaList->clear();
    const QString path = current->data(0, FilePathRole).toString();
    qDebug() << "Volume item clicked:" << path;
    if (QFileInfo(path).isDir()) {
        m_folderList->setRootIndex(m_fileModel->setRootPath(path));
    } else {
        QMessageBox::warning(this, QStringLiteral("Emulsa"),
            QStringLiteral("The selected path is currently not available."), QMessageBox::Ok);
    }
}

void EMFileExplorer::folderItemClicked(QModelIndex index)
{
    const QString path = m_fileModel->filePath(index);
    qDebug() << "Item clicked:" << path;
    const QFileInfo info = m_fileModel->fileInfo(index);
    if (info.isDir()) {
        scanFolder(path);
        return;
    }
    m_mediaList->clear();
    qDebug() << info.absolutePath();
    if (info.isFile() && EMVideoScanner::isVideoFile(info.fileName(), path)) {
        m_metadata->getMetadata(info);
        m_mediaList->listReadyToDisplay({ path }, {});
    }
}

void EMFileExplorer::scanFolder(const QString& folder)
{
    // Let go of the running scan: it stops at its next entry, and whatever
    // it still sends is dropped.
    if (m_scanStop)
        m_scanStop->store(true);
    const quint64 number = ++m_scanNumber;

    m_volumeList->setEnabled(false);
    m_folderList->setEnabled(false);
    delete m_overlay;
    m_overlay = new ScanOverlay(m_container);
    m_overlay->setGeometry(m_container->rect());
    connect(m_overlay, &ScanOverlay::cancelled, this, &EMFileExplorer::cancelScan);
    m_overlay->setVisible(m_onOwnTab);
    m_overlay->raise();
    m_mediaList->clear();
    m_scanning = true;

    auto* scanner = new EMVideoScanner(folder, m_metadata);
    scanner->setEntryHook(m_scanHook);
    m_scanStop = scanner->stopFlag();
    connect(scanner, &EMVideoScanner::resultsReady, this,
        [this, number](const QStringList& paths, const QStringList& times) {
            if (number == m_scanNumber && m_scanning)
                m_mediaList->listReadyToDisplay(paths, times);
        });
    connect(scanner, &EMVideoScanner::loadingFinished, this, [this, number] {
        if (number == m_scanNumber && m_scanning)
            videoScanFinished();
    });
    EMVideoScanner::startOnOwnThread(scanner);
}

void EMFileExplorer::videoScanFinished()
{
    endScan();
}

void EMFileExplorer::cancelScan()
{
    endScan();
}

void EMFileExplorer::endScan()
{
    if (m_scanStop)
        m_scanStop->store(true);
    m_scanStop.reset();
    m_scanning = false;
    if (m_overlay)
        m_overlay->deleteLater();
    m_overlay = nullptr;
    m_volumeList->setGraphicsEffect(nullptr);
    m_folderList->setGraphicsEffect(nullptr);
    m_volumeList->setEnabled(true);
    m_folderList->setEnabled(true);
}

void EMFileExplorer::tabHasChanged(int tabId)
{
    m_onOwnTab = tabId == 0;
    if (m_overlay)
        m_overlay->setVisible(m_onOwnTab && m_scanning);
}

void EMFileExplorer::clipListModeToggled(bool iconMode)
{
    {
        const QSignalBlocker blocker(m_clipListMode);
        m_clipListMode->setChecked(!iconMode);
    }
    m_mediaDelegate->setListMode(!iconMode);
    m_mediaList->doItemsLayout();
}

void EMFileExplorer::shotListModeToggled(bool iconMode)
{
    {
        const QSignalBlocker blocker(m_shotListMode);
        m_shotListMode->setChecked(!iconMode);
    }
    m_shotDelegate->setListMode(!iconMode);
    m_shotList->doItemsLayout();
}

void EMFileExplorer::clearCacheFolder()
{
    if (!m_metadata->clearCacheFolder())
        qWarning() << Q_FUNC_INFO << "The cache folder was not cleared:" << m_metadata->cacheFolder();
}

void EMFileExplorer::dragLeaveEvent(QDragLeaveEvent* event)
{
    qDebug() << "EMFileExplorer Drag leave event";
    event->ignore();
}

void EMFileExplorer::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_overlay)
        m_overlay->setGeometry(m_container->rect());
}

} // namespace Emulsa
