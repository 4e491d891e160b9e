#include "common/TestEnvironment.h"

#include "app/EMVideoScanner.h"
#include "media/metadata/MetadataManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMFileExplorer.h"
#include "ui/media/EMFileModel.h"
#include "ui/media/EMMediaListWidget.h"
#include "ui/media/ScanOverlay.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

using namespace Emulsa;
using Emulsa::Test::touch;

namespace {

QStringList childPaths(QTreeWidgetItem* heading)
{
    QStringList paths;
    for (int i = 0; i < heading->childCount(); ++i)
        paths.append(heading->child(i)->data(0, FilePathRole).toString());
    return paths;
}

} // namespace

class TestFileExplorer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void volumeListHeadingsAndVolumes();
    void favoritesAreKeptAcrossARestart();
    void volumeArrivalAndRemoval();
    void scanFillsTheMediaList();
    void hungScanDoesNotFreezeTheBrowser();
    void listModeButtonsStayOpposite();

private:
    std::unique_ptr<MetadataManager> m_metadata;
    QList<VolumeEntry> m_mounted;
    VolumeWatcher::Source source()
    {
        return [this] { return m_mounted; };
    }
};

// Opens the volume list's menu on the item, notes the actions offered and
// picks the one named (or closes the menu when it is empty).
static QStringList chooseFromMenu(EMFileExplorer& explorer, QTreeWidgetItem* item, const QString& choice)
{
    explorer.show();
    if (!QTest::qWaitForWindowExposed(&explorer))
        return { QStringLiteral("window not shown") };
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions()) {
            offered << action->text();
            if (action->text() == choice)
                menu->setActiveAction(action);
        }
        if (choice.isEmpty())
            menu->close();
        else
            QTest::keyClick(menu, Qt::Key_Return);
    });
    explorer.showContextMenu(explorer.volumeList()->visualItemRect(item).center());
    return offered;
}

void TestFileExplorer::initTestCase()
{
    m_metadata = std::make_unique<MetadataManager>(Test::makeTempFolder(QStringLiteral("cache")));
    m_mounted = { { QStringLiteral("/"), QString() } };
}

void TestFileExplorer::cleanupTestCase()
{
    // Scans let go of end by themselves; wait for them before the manager goes.
    QTRY_COMPARE_WITH_TIMEOUT(EMVideoScanner::liveCount(), 0, 10000);
    m_metadata.reset();
}

void TestFileExplorer::volumeListHeadingsAndVolumes()
{
    EMFileExplorer explorer(nullptr, m_metadata.get(), source());
    QCOMPARE(explorer.volumeList()->topLevelItemCount(), 3);
    QCOMPARE(explorer.volumesHeading()->text(0), QStringLiteral("Volumes"));
    QCOMPARE(explorer.homeHeading()->text(0), QStringLiteral("Home Directory"));
    QCOMPARE(explorer.favoritesHeading()->text(0), QStringLiteral("Favorites"));
    // A volume without a label shows " (", its path and ")".
    QCOMPARE(explorer.volumesHeading()->child(0)->text(0), QStringLiteral(" (/)"));
    QCOMPARE(childPaths(explorer.homeHeading()), QStringList { QDir::homePath() });
    // The first volume is shown in the folder tree.
    QCOMPARE(explorer.fileModel()->rootPath(), QStringLiteral("/"));

    // Volumes, folders and clips each get room in a shown window.
    explorer.resize(1200, 700);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    for (QWidget* pane : { static_cast<QWidget*>(explorer.volumeList()), static_cast<QWidget*>(explorer.folderList()),
             static_cast<QWidget*>(explorer.mediaList()) })
        QVERIFY2(pane->isVisible() && pane->width() >= 100, qPrintable(pane->objectName()));
    QVERIFY(explorer.mediaList()->width() > explorer.folderList()->width());

    // A heading click changes nothing.
    const QString root = explorer.fileModel()->rootPath();
    explorer.volumeItemClicked(explorer.favoritesHeading(), nullptr);
    QCOMPARE(explorer.fileModel()->rootPath(), root);
}

void TestFileExplorer::favoritesAreKeptAcrossARestart()
{
    const QString first = Test::makeTempFolder(QStringLiteral("fav1"));
    const QString second = Test::makeTempFolder(QStringLiteral("fav2"));
    {
        EMFileExplorer explorer(nullptr, m_metadata.get(), source());
        QVERIFY(explorer.addFavoriteFolder(first));
        QVERIFY(!explorer.addFavoriteFolder(first));
        QVERIFY(!explorer.addFavoriteFolder(QStringLiteral("/")));
        QVERIFY(!explorer.addFavoriteFolder(QString()));
        explorer.setDirectoryAsker([&] { return second; });
        explorer.addFavFolder();
        QCOMPARE(explorer.favorites(), (QStringList { first, second }));
    }
    {
        EMFileExplorer explorer(nullptr, m_metadata.get(), source());
        QCOMPARE(explorer.favorites(), (QStringList { first, second }));
        QCOMPARE(childPaths(explorer.favoritesHeading()), (QStringList { first, second }));
        QVERIFY(explorer.favoritesHeading()->child(0)->data(0, FavoriteRole).toBool());
        // The volume list's menu: a favourite can be removed, the home
        // folder only offers to add one.
        QCOMPARE(chooseFromMenu(explorer, explorer.homeHeading()->child(0), QString()),
            QStringList { QStringLiteral("Add folder to favorite") });
        const QStringList offered
            = chooseFromMenu(explorer, explorer.favoritesHeading()->child(0), QStringLiteral("Remove from favorite"));
        QCOMPARE(offered,
            (QStringList { QStringLiteral("Add folder to favorite"), QStringLiteral("Remove from favorite") }));
        QCOMPARE(childPaths(explorer.favoritesHeading()), QStringList { second });
        QCOMPARE(explorer.favorites(), QStringList { second });
    }
    {
        // Removing the first kept the second, also after the next restart.
        EMFileExplorer explorer(nullptr, m_metadata.get(), source());
        QCOMPARE(explorer.favorites(), QStringList { second });
        QCOMPARE(childPaths(explorer.favoritesHeading()), QStringList { second });
    }
}

void TestFileExplorer::volumeArrivalAndRemoval()
{
    const QString card = Test::makeTempFolder(QStringLiteral("CARD"));
    EMFileExplorer explorer(nullptr, m_metadata.get(), source());
    const QStringList favoritesBefore = explorer.favorites();
    explorer.addFavoriteFolder(card);

    m_mounted.append({ card, QStringLiteral("CARD") });
    explorer.volumeWatcher()->poll();
    // Already listed (as a favourite): not added again.
    QCOMPARE(childPaths(explorer.volumesHeading()), QStringList { QStringLiteral("/") });

    explorer.removeFolder(card, true);
    explorer.volumeWatcher()->poll();
    m_mounted.removeLast();
    explorer.volumeWatcher()->poll();
    m_mounted.append({ card, QStringLiteral("CARD") });
    explorer.volumeWatcher()->poll();
    QCOMPARE(childPaths(explorer.volumesHeading()), (QStringList { QStringLiteral("/"), card }));
    QCOMPARE(explorer.volumesHeading()->child(1)->text(0), QStringLiteral("CARD (") + card + QStringLiteral(")"));

    // Removing a favourite with a drive's path keeps the drive.
    explorer.addItemToVolumeListFromPath(card, true);
    explorer.removeFolder(card, true);
    QCOMPARE(childPaths(explorer.volumesHeading()).size(), 2);

    // A drive's removal removes every entry with its path; the favourites keep it.
    explorer.addItemToVolumeListFromPath(card, true);
    m_mounted.removeLast();
    explorer.volumeWatcher()->poll();
    QCOMPARE(childPaths(explorer.volumesHeading()), QStringList { QStringLiteral("/") });
    QVERIFY(!childPaths(explorer.favoritesHeading()).contains(card));
    QVERIFY(explorer.favorites().contains(card));
    explorer.removeFolder(card, true);
    Q_UNUSED(favoritesBefore)
}

void TestFileExplorer::scanFillsTheMediaList()
{
    const QString folder = Test::makeTempFolder(QStringLiteral("footage"));
    for (int i = 0; i < 40; ++i)
        touch(folder + QStringLiteral("/day%1/clip%2.mp4").arg(i % 2).arg(i));
    touch(folder + QStringLiteral("/readme.txt"));

    EMFileExplorer explorer(nullptr, m_metadata.get(), source());
    explorer.resize(900, 600);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    explorer.scanFolder(folder);
    QVERIFY(explorer.isScanning());
    QVERIFY(!explorer.volumeList()->isEnabled());
    QTRY_VERIFY(!explorer.isScanning());
    QVERIFY(explorer.volumeList()->isEnabled());
    QVERIFY(explorer.folderList()->isEnabled());
    QCOMPARE(explorer.mediaList()->topLevelItemCount(), 40);
    QTreeWidgetItem* row = explorer.mediaList()->topLevelItem(0);
    QCOMPARE(
        row->data(0, AssetIdRole).toByteArray(), MetadataManager::idForPath(row->data(0, FilePathRole).toString()));
    QVERIFY(!row->data(0, ModifiedRole).toString().isEmpty());
}

void TestFileExplorer::hungScanDoesNotFreezeTheBrowser()
{
    const QString stuck = Test::makeTempFolder(QStringLiteral("deadmount"));
    for (int i = 0; i < 5; ++i)
        touch(stuck + QStringLiteral("/clip%1.mov").arg(i));
    const QString healthy = Test::makeTempFolder(QStringLiteral("healthy"));
    for (int i = 0; i < 3; ++i)
        touch(healthy + QStringLiteral("/clip%1.mov").arg(i));

    // Entries of the stuck folder block like a dead network mount until released.
    auto gate = std::make_shared<QSemaphore>(0);
    EMFileExplorer explorer(nullptr, m_metadata.get(), source());
    explorer.setScanEntryHook([gate, stuck](const QString& path) {
        if (path.startsWith(stuck))
            gate->acquire();
    });
    explorer.resize(900, 600);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));

    QElapsedTimer clock;
    clock.start();
    explorer.scanFolder(stuck);
    QVERIFY(explorer.loadingOverlay());
    QTest::qWait(200);
    QVERIFY(explorer.isScanning());

    // Cancel answers at once, with the scan still stuck.
    QTest::mouseClick(explorer.loadingOverlay()->cancelButton(), Qt::LeftButton);
    QVERIFY(!explorer.isScanning());
    QVERIFY(explorer.volumeList()->isEnabled());
    QTRY_VERIFY(!explorer.loadingOverlay());

    // Another folder scans while the first is still stuck.
    explorer.scanFolder(healthy);
    QTRY_VERIFY(!explorer.isScanning());
    QCOMPARE(explorer.mediaList()->topLevelItemCount(), 3);
    QVERIFY(EMVideoScanner::liveCount() >= 1);

    // A new folder chosen during a stuck scan does not wait for it either.
    explorer.scanFolder(stuck);
    explorer.scanFolder(healthy);
    QTRY_VERIFY(!explorer.isScanning());
    QCOMPARE(explorer.mediaList()->topLevelItemCount(), 3);
    QVERIFY2(clock.elapsed() < 20000, "the browser waited for a stuck scan");

    // Once the file system answers, the stuck scans end; their rows never show.
    gate->release(100);
    QTRY_COMPARE_WITH_TIMEOUT(EMVideoScanner::liveCount(), 0, 10000);
    QCOMPARE(explorer.mediaList()->topLevelItemCount(), 3);
}

void TestFileExplorer::listModeButtonsStayOpposite()
{
    EMFileExplorer explorer(nullptr, m_metadata.get(), source());
    auto* clipIcons = explorer.findChild<QPushButton*>(QStringLiteral("clipIconModeButton"));
    auto* clipList = explorer.findChild<QPushButton*>(QStringLiteral("clipListModeButton"));
    auto* shotIcons = explorer.findChild<QPushButton*>(QStringLiteral("shotIconModeButton"));
    auto* shotList = explorer.findChild<QPushButton*>(QStringLiteral("shotListModeButton"));
    QVERIFY(clipIcons && clipList && shotIcons && shotList);
    QVERIFY(clipIcons->isChecked() && !clipList->isChecked());
    clipIcons->setChecked(false);
    QVERIFY(clipList->isChecked());
    QVERIFY(shotIcons->isChecked() && !shotList->isChecked());
    shotIcons->setChecked(false);
    QVERIFY(shotList->isChecked());
}

EMULSA_TEST_MAIN(TestFileExplorer)
#include "tst_fileexplorer.moc"
