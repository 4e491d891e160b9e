#include "common/TestEnvironment.h"

#include "app/EMVideoScanner.h"
#include "app/VolumeWatcher.h"
#include "media/metadata/MetadataManager.h"
#include "media/metadata/ThumbnailCache.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStorageInfo>

using namespace Emulsa;
using Emulsa::Test::touch;

class TestVideoScanner : public QObject
{
    Q_OBJECT

private slots:
    void isVideoFile_data();
    void isVideoFile();
    void scanFindsVideoFilesBelowTheFolder();
    void stopEndsTheScan();
    void listedMounts_data();
    void listedMounts();
    void volumeArrivalAndRemoval();
    void systemVolumesAreReal();
    void clearingTheCacheKeepsOtherFiles();
    void clearingRefusesWholeFolders();
};

void TestVideoScanner::isVideoFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("video");
    QTest::newRow("mov") << "clip.mov" << true;
    QTest::newRow("mixed case mp4") << "CLIP.Mp4" << true;
    QTest::newRow("mt2s") << "a.MT2S" << true;
    QTest::newRow("mpeg") << "b.mpeg" << true;
    QTest::newRow("mxf") << "c.mxf" << true;
    QTest::newRow("r3d") << "d.R3D" << true;
    QTest::newRow("3gp") << "e.3gp" << true;
    QTest::newRow("mts") << "f.MTS" << true;
    QTest::newRow("avi") << "g.avi" << true;
    QTest::newRow("m4v") << "h.m4v" << true;
    QTest::newRow("mpg") << "i.mpg" << true;
    QTest::newRow("mov.txt") << "clip.mov.txt" << false;
    QTest::newRow("m2ts") << "clip.m2ts" << true;
    QTest::newRow("transport stream") << "rec.TS" << true;
    QTest::newRow("matroska") << "take.mkv" << true;
    QTest::newRow("ts inside a word") << "notes.texts" << false;
    QTest::newRow("no extension") << "mov" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("extension only") << ".mov" << true;
}

void TestVideoScanner::isVideoFile()
{
    QFETCH(QString, name);
    QFETCH(bool, video);
    QCOMPARE(EMVideoScanner::isVideoFile(name, QStringLiteral("/nowhere/") + name), video);
}

void TestVideoScanner::scanFindsVideoFilesBelowTheFolder()
{
    const QString folder = Test::makeTempFolder(QStringLiteral("scan"));
    QStringList expected;
    for (int i = 0; i < 70; ++i)
        expected << touch(folder + QStringLiteral("/d%1/e/clip%2.MOV").arg(i % 4).arg(i));
    touch(folder + QStringLiteral("/notes.txt"));
    touch(folder + QStringLiteral("/d1/clip.mov.txt"));

    EMVideoScanner scanner(folder);
    QStringList found;
    QStringList times;
    connect(&scanner, &EMVideoScanner::resultsReady, [&](const QStringList& paths, const QStringList& modified) {
        QCOMPARE(paths.size(), modified.size());
        QVERIFY(paths.size() <= EMVideoScanner::batchSize);
        found << paths;
        times << modified;
    });
    QSignalSpy finished(&scanner, &EMVideoScanner::loadingFinished);
    scanner.scan();
    QCOMPARE(finished.count(), 1);
    QVERIFY(scanner.isFinished());
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
    QCOMPARE(times.first(), ThumbnailCache::fileTimeText(QFileInfo(found.first()).lastModified()));
}

void TestVideoScanner::stopEndsTheScan()
{
    const QString folder = Test::makeTempFolder(QStringLiteral("stop"));
    for (int i = 0; i < 20; ++i)
        touch(folder + QStringLiteral("/clip%1.mp4").arg(i));
    EMVideoScanner scanner(folder);
    int entries = 0;
    scanner.setEntryHook([&](const QString&) {
        if (++entries == 3)
            scanner.stopFlag()->store(true);
    });
    QStringList found;
    connect(&scanner, &EMVideoScanner::resultsReady, [&](const QStringList& paths) { found << paths; });
    QSignalSpy finished(&scanner, &EMVideoScanner::loadingFinished);
    scanner.scan();
    QCOMPARE(entries, 3);
    QCOMPARE(found.size(), 2);
    QCOMPARE(finished.count(), 1);
}

void TestVideoScanner::listedMounts_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("listed");
    QTest::newRow("root") << "/" << QByteArray("ext4") << true;
    QTest::newRow("usb stick") << "/media/ann/CARD" << QByteArray("vfat") << true;
    QTest::newRow("run media") << "/run/media/ann/SSD" << QByteArray("exfat") << true;
    QTest::newRow("mnt") << "/mnt/nas" << QByteArray("nfs4") << true;
    QTest::newRow("mnt itself") << "/mnt" << QByteArray("ext4") << true;
    QTest::newRow("proc") << "/proc" << QByteArray("proc") << false;
    QTest::newRow("tmpfs under media") << "/media/ram" << QByteArray("tmpfs") << false;
    QTest::newRow("overlay root") << "/" << QByteArray("overlay") << false;
    QTest::newRow("snap") << "/mnt/snap/core" << QByteArray("squashfs") << false;
    QTest::newRow("boot") << "/boot" << QByteArray("ext4") << false;
    QTest::newRow("lookalike") << "/mediafiles" << QByteArray("ext4") << false;
    QTest::newRow("run") << "/run/user/1000" << QByteArray("tmpfs") << false;
}

void TestVideoScanner::listedMounts()
{
    QFETCH(QString, root);
    QFETCH(QByteArray, type);
    QFETCH(bool, listed);
    QCOMPARE(VolumeWatcher::isListedMount(root, type), listed);
}

void TestVideoScanner::volumeArrivalAndRemoval()
{
    QList<VolumeEntry> mounted = { { QStringLiteral("/"), QString() } };
    VolumeWatcher watcher(nullptr, [&] { return mounted; });
    QCOMPARE(watcher.volumes(), mounted);
    QSignalSpy added(&watcher, &VolumeWatcher::volumeAdded);
    QSignalSpy removed(&watcher, &VolumeWatcher::volumeRemoved);

    watcher.poll();
    QCOMPARE(added.count() + removed.count(), 0);

    mounted.append({ QStringLiteral("/media/ann/CARD"), QStringLiteral("CARD") });
    watcher.poll();
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.first().at(0).toString(), QStringLiteral("/media/ann/CARD"));
    QCOMPARE(added.first().at(1).toString(), QStringLiteral("CARD"));

    mounted.removeLast();
    watcher.poll();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().at(0).toString(), QStringLiteral("/media/ann/CARD"));

    // The timer polls by itself, off this thread.
    mounted.append({ QStringLiteral("/mnt/x"), QString() });
    watcher.start(10);
    QTRY_COMPARE(added.count(), 2);
    watcher.stop();
    QTRY_VERIFY(!watcher.pollRunning());

    // A reading that hangs holds up neither this thread nor later ticks.
    QSemaphore gate(1); // the constructor's own reading passes
    QList<VolumeEntry> stuck = mounted;
    VolumeWatcher blocking(nullptr, [&gate, &stuck] {
        gate.acquire();
        return stuck;
    });
    QSignalSpy blockedAdds(&blocking, &VolumeWatcher::volumeAdded);
    blocking.start(10);
    QTest::qWait(300);
    QVERIFY(blocking.pollRunning());
    QCOMPARE(blockedAdds.count(), 0);
    stuck.append({ QStringLiteral("/media/late"), QString() });
    gate.release(1000);
    QTRY_COMPARE(blockedAdds.count(), 1);
    blocking.stop();
    QTRY_VERIFY(!blocking.pollRunning());
}

void TestVideoScanner::systemVolumesAreReal()
{
    const QList<VolumeEntry> volumes = VolumeWatcher::systemVolumes();
    for (const VolumeEntry& volume : volumes) {
        const QStorageInfo info(volume.rootPath);
        QVERIFY2(VolumeWatcher::isListedMount(volume.rootPath, info.fileSystemType()), qPrintable(volume.rootPath));
    }
    // A folder inside a volume has no label of its own.
    QCOMPARE(VolumeWatcher::volumeLabel(Test::makeTempFolder(QStringLiteral("labels"))), QString());
}

void TestVideoScanner::clearingTheCacheKeepsOtherFiles()
{
    const QString root = Test::makeTempFolder(QStringLiteral("cacheroot"));
    const QString other = touch(root + QStringLiteral("/other-program-file"));
    const QString unrelated = touch(root + QStringLiteral("/zz/keep"));
    MetadataManager manager(root);
    QCOMPARE(manager.cacheFolder(), QDir::cleanPath(root));
    const QByteArray id = MetadataManager::idForPath(QStringLiteral("/clips/a.mov"));
    const ThumbnailCache cache(root);
    const QString record = touch(cache.recordPath(id));
    const QString thumb = touch(cache.thumbnailPath(id));

    QVERIFY(manager.clearCacheFolder());
    QVERIFY(!QFile::exists(record));
    QVERIFY(!QFile::exists(thumb));
    QVERIFY(QFile::exists(other));
    QVERIFY(QFile::exists(unrelated));
}

void TestVideoScanner::clearingRefusesWholeFolders()
{
    const QString home = QDir::homePath();
    const QString homeFile = touch(home + QStringLiteral("/a/precious"));
    touch(home + QStringLiteral("/0/also-precious"));
    QVERIFY(!ThumbnailCache(home).clear());
    QVERIFY(!ThumbnailCache(QStringLiteral("/")).clear());
    QVERIFY(!ThumbnailCache(QString()).clear());
    const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    QDir().mkpath(generic + QStringLiteral("/0"));
    const QString genericFile = touch(generic + QStringLiteral("/0/other-app"));
    QVERIFY(!ThumbnailCache(generic).clear());
    QVERIFY(QFile::exists(homeFile));
    QVERIFY(QFile::exists(home + QStringLiteral("/0/also-precious")));
    QVERIFY(QFile::exists(genericFile));
}

EMULSA_TEST_MAIN(TestVideoScanner)
#include "tst_videoscanner.moc"
