#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "media/metadata/MetadataReader.h"
#include "media/metadata/ThumbnailCache.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QStandardItemModel>
#include <QThreadPool>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Emulsa;
using Emulsa::Test::TestMedia;

namespace {

constexpr int readTimeoutMs = 30000;

// Occupies every thread of the global pool until released, so that
// descriptions handed to the pool wait.
class PoolBlocker
{
public:
    PoolBlocker()
    {
        QThreadPool* pool = QThreadPool::globalInstance();
        m_count = pool->maxThreadCount();
        for (int i = 0; i < m_count; ++i)
            QtConcurrent::run(pool, [this] {
                m_started.release();
                m_release.acquire();
                m_finished.release();
            });
        m_started.acquire(m_count);
    }
    ~PoolBlocker()
    {
        release();
        if (m_releaser.joinable())
            m_releaser.join();
        // The tasks use the semaphores until they return.
        m_finished.acquire(m_count);
    }
    void release()
    {
        if (!m_released)
            m_release.release(m_count);
        m_released = true;
    }
    // Releases the pool from another thread while this one blocks.
    void releaseAfter(int ms)
    {
        m_released = true;
        m_releaser = std::thread([this, ms] {
            QThread::msleep(ms);
            m_release.release(m_count);
        });
    }

private:
    int m_count = 0;
    bool m_released = false;
    QSemaphore m_started;
    QSemaphore m_release;
    QSemaphore m_finished;
    std::thread m_releaser;
};

// A widget that counts its paint events.
QImage rgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QFileInfo(path).lastModified().addSecs(-3600), QFileDevice::FileModificationTime));
}

// Opens the writing end of a FIFO when it goes away, which lets a reader
// still waiting in open() go on: a reader stuck on a FIFO in the cache then
// fails the test instead of hanging its shutdown.
class FifoRelease
{
public:
    explicit FifoRelease(const QString& path)
        : m_path(QFile::encodeName(path))
    {
    }
    ~FifoRelease()
    {
        if (m_path.isEmpty())
            return;
        const int writer = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }

private:
    QByteArray m_path;
};

int filesUnder(const QString& folder)
{
    int count = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

} // namespace

class TestMetadataManager : public QObject
{
    Q_OBJECT

private:
    QString m_clip;
    int m_folders = 0;

    // A fresh folder with `count` copies of the test clip.
    QStringList copies(int count)
    {
        const QString folder = Test::makeTempFolder(QStringLiteral("clips%1").arg(++m_folders));
        QStringList paths;
        for (int i = 0; i < count; ++i) {
            const QString path = folder + QStringLiteral("/clip%1.mp4").arg(i);
            if (!QFile::copy(m_clip, path))
                return {};
            paths << path;
        }
        return paths;
    }

    QString freshCache() { return Test::makeTempFolder(QStringLiteral("cache%1").arg(++m_folders)); }

    static bool waitReady(const AssetMetadata* record)
    {
        QElapsedTimer timer;
        timer.start();
        while (!record->ready && timer.elapsed() < readTimeoutMs)
            QTest::qWait(5);
        return record->ready;
    }

    // Checks a record of the test clip once it has been read.
    static void verifyClipRecord(const AssetMetadata* m)
    {
        QVERIFY(waitReady(m));
        QVERIFY(m->valid);
        QVERIFY(!m->queued);
        QCOMPARE(m->width, 640u);
        QCOMPARE(m->height, 360u);
        QCOMPARE(m->frameCount, 30u);
        QCOMPARE(m->frameRateNum / m->frameRateDen, 25u);
        QVERIFY(m->thumbnail);
        QCOMPARE(m->thumbnail->size(), QSize(444, 250));
        // A real picture of the clip, not a stand-in image.
        QVERIFY(TestMedia::frameIndexFromImage(*m->thumbnail) >= 0);
    }

private slots:
    void initTestCase()
    {
        m_clip = TestMedia::instance().path(TestMedia::NoAudio);
        QVERIFY2(!m_clip.isEmpty(), "the test clip could not be generated");
        MetadataManager manager(freshCache());
        QVERIFY(!manager.placeholder().isNull());
        QVERIFY(!manager.reader()->errorImage().isNull());
        QVERIFY(rgb(manager.placeholder()) != rgb(manager.reader()->errorImage()));
    }

    void sameFileGivesOneRecordReadOnce()
    {
        const QStringList clips = copies(1);
        QVERIFY(!clips.isEmpty());
        MetadataManager manager(freshCache());
        AssetMetadata* first = manager.getMetadata(QFileInfo(clips[0]));
        AssetMetadata* second = manager.getMetadata(QFileInfo(clips[0]));
        QCOMPARE(second, first);
        QCOMPARE(first->name, QStringLiteral("clip0.mp4"));
        QCOMPARE(first->id, MetadataManager::idForPath(clips[0]));
        QCOMPARE(manager.metadataFor(first->id), first);
        verifyClipRecord(first);
        QCOMPARE(manager.getMetadata(QFileInfo(clips[0])), first);
        QTest::qWait(50);
        QCOMPARE(manager.reader()->describedCount(), 1);
        QCOMPARE(manager.reader()->cacheHitCount(), 0);

        // The media browser's items carry the same identity.
        QStandardItemModel model;
        auto* item = new QStandardItem(first->name);
        item->setData(first->filePath, Qt::UserRole + 1);
        item->setData(first->id, Qt::UserRole + 2);
        item->setData(first->lastModified, Qt::UserRole + 4);
        model.appendRow(item);
        QCOMPARE(manager.getMetadata(model.index(0, 0)), first);
        QVERIFY(!manager.getMetadata(QModelIndex()));
    }

    void concurrentRequestsShareRecords()
    {
        const QStringList clips = copies(4);
        QVERIFY(!clips.isEmpty());
        MetadataManager manager(freshCache());
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        QVector<AssetMetadata*> got(64, nullptr);
        QSemaphore go;
        for (int i = 0; i < got.size(); ++i)
            QtConcurrent::run(&pool, [&, i] {
                go.acquire();
                got[i] = manager.getMetadata(QFileInfo(clips[i % clips.size()]));
            });
        go.release(got.size());
        pool.waitForDone();
        for (int i = 0; i < got.size(); ++i)
            QCOMPARE(got[i], got[i % clips.size()]);
        for (int i = 0; i < clips.size(); ++i)
            verifyClipRecord(got[i]);
        QTest::qWait(50);
        QCOMPARE(manager.reader()->describedCount(), clips.size());
    }

    void cacheIsUsedUntilSomethingChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("readAgain");
        QTest::newRow("unchanged") << "" << false;
        QTest::newRow("file touched") << "touch" << true;
        QTest::newRow("thumbnail deleted") << "delete thumbnail" << true;
        QTest::newRow("record truncated") << "truncate record" << true;
        QTest::newRow("record garbage") << "garbage record" << true;
        QTest::newRow("record is a FIFO") << "fifo record" << true;
        QTest::newRow("thumbnail links to /dev/zero") << "zero thumbnail" << true;
    }

    void cacheIsUsedUntilSomethingChanges()
    {
        QFETCH(QString, change);
        QFETCH(bool, readAgain);
        const QStringList clips = copies(1);
        QVERIFY(!clips.isEmpty());
        const QString cacheRoot = freshCache();
        const ThumbnailCache cache(cacheRoot);
        const QByteArray id = MetadataManager::idForPath(clips[0]);
        QImage firstThumbnail;
        {
            MetadataManager manager(cacheRoot);
            AssetMetadata* m = manager.getMetadata(QFileInfo(clips[0]));
            verifyClipRecord(m);
            firstThumbnail = *m->thumbnail;
            QCOMPARE(manager.reader()->describedCount(), 1);
        }
        QVERIFY(QFile::exists(cache.recordPath(id)));
        QVERIFY(QFile::exists(cache.thumbnailPath(id)));

        QFile record(cache.recordPath(id));
        if (change == "touch") {
            touch(clips[0]);
        } else if (change == "delete thumbnail") {
            QVERIFY(QFile::remove(cache.thumbnailPath(id)));
        } else if (change == "truncate record") {
            QVERIFY(record.resize(record.size() / 2));
        } else if (change == "garbage record") {
            QVERIFY(record.open(QIODevice::WriteOnly));
            record.write(QByteArray(300, '\xA5'));
            record.close();
        } else if (change == "fifo record") {
            QVERIFY(QFile::remove(cache.recordPath(id)));
            QCOMPARE(::mkfifo(QFile::encodeName(cache.recordPath(id)).constData(), 0600), 0);
        } else if (change == "zero thumbnail") {
            QVERIFY(QFile::remove(cache.thumbnailPath(id)));
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), cache.thumbnailPath(id)));
        }

        MetadataManager manager(cacheRoot);
        const FifoRelease release(change == "fifo record" ? cache.recordPath(id) : QString());
        AssetMetadata* m = manager.getMetadata(QFileInfo(clips[0]));
        verifyClipRecord(m);
        QCOMPARE(manager.reader()->describedCount(), readAgain ? 1 : 0);
        QCOMPARE(manager.reader()->cacheHitCount(), readAgain ? 0 : 1);
        // The cached thumbnail is the picture first decoded.
        QCOMPARE(rgb(*m->thumbnail), rgb(firstThumbnail));

        // A file read again is cached again.
        MetadataManager again(cacheRoot);
        verifyClipRecord(again.getMetadata(QFileInfo(clips[0])));
        QCOMPARE(again.reader()->describedCount(), 0);
    }

    void unreadableFileKeepsTheErrorImage_data()
    {
        QTest::addColumn<QString>("path");
        const QString folder = Test::makeTempFolder(QStringLiteral("bad"));
        QFile zero(folder + QStringLiteral("/empty.mp4"));
        QVERIFY(zero.open(QIODevice::WriteOnly));
        QTest::newRow("empty") << zero.fileName();
        QTest::newRow("random bytes") << TestMedia::instance().makeRandomBytesFile(QStringLiteral("random.mp4"), 65536);
        QTest::newRow("missing") << folder + QStringLiteral("/gone.mp4");
    }

    void unreadableFileKeepsTheErrorImage()
    {
        QFETCH(QString, path);
        const QString cacheRoot = freshCache();
        QImage errorImage;
        {
            MetadataManager manager(cacheRoot);
            AssetMetadata* m = manager.getMetadata(QFileInfo(path));
            QVERIFY(waitReady(m));
            QVERIFY(!m->valid);
            QVERIFY(!m->queued);
            QVERIFY(m->thumbnail);
            errorImage = manager.reader()->errorImage();
            QCOMPARE(rgb(*m->thumbnail), rgb(errorImage));
            QCOMPARE(rgb(manager.getThumbnail(m->id)), rgb(errorImage));
        }
        if (!QFile::exists(path))
            return; // nothing to cache a time stamp for
        {
            // Not opened again while it stays as it is.
            MetadataManager manager(cacheRoot);
            AssetMetadata* m = manager.getMetadata(QFileInfo(path));
            QVERIFY(waitReady(m));
            QCOMPARE(manager.reader()->describedCount(), 0);
            QCOMPARE(manager.reader()->cacheHitCount(), 1);
            QVERIFY(!m->valid);
            QCOMPARE(rgb(*m->thumbnail), rgb(errorImage));
        }
        touch(path);
        MetadataManager manager(cacheRoot);
        AssetMetadata* m = manager.getMetadata(QFileInfo(path));
        QVERIFY(waitReady(m));
        QCOMPARE(manager.reader()->describedCount(), 1);
        QVERIFY(!m->valid);
    }

    void thumbnailIsThePlaceholderUntilRead()
    {
        const QStringList clips = copies(1);
        QVERIFY(!clips.isEmpty());
        MetadataManager manager(freshCache());
        QCOMPARE(manager.getThumbnail(QByteArray("unknown")), manager.placeholder());
        QVERIFY(!manager.metadataFor(QByteArray("unknown")));

        PoolBlocker blocker;
        AssetMetadata* m = manager.getMetadata(QFileInfo(clips[0]));
        QTest::qWait(50);
        QVERIFY(m->queued);
        QVERIFY(!m->ready);
        QCOMPARE(manager.getThumbnail(m->id), manager.placeholder());
        blocker.release();
        verifyClipRecord(m);
        const QImage thumbnail = manager.getThumbnail(m->id);
        QVERIFY(thumbnail != manager.placeholder());
        QCOMPARE(thumbnail, *m->thumbnail);
        QTest::qWait(50);
        QCOMPARE(manager.reader()->describedCount(), 1);
    }

    void readingARecordIsAnnounced()
    {
        const QStringList clips = copies(1);
        QVERIFY(!clips.isEmpty());
        MetadataManager manager(freshCache());
        QSignalSpy updated(&manager, &MetadataManager::recordsUpdated);
        verifyClipRecord(manager.getMetadata(QFileInfo(clips[0])));
        QTRY_VERIFY(updated.count() > 0);
        // A record already read is not read, nor announced, again.
        const int announced = updated.count();
        manager.getMetadata(QFileInfo(clips[0]));
        QTest::qWait(50);
        QCOMPARE(updated.count(), announced);
    }

    void shutdownWithWorkQueued()
    {
        const QStringList clips = copies(12);
        QVERIFY(!clips.isEmpty());
        const QString cacheRoot = freshCache();
        {
            // Every description waits for the pool when the manager goes.
            PoolBlocker blocker;
            auto manager = std::make_unique<MetadataManager>(cacheRoot);
            for (const QString& clip : clips)
                manager->getMetadata(QFileInfo(clip));
            QTRY_COMPARE(manager->reader()->pendingTaskCount(), clips.size());
            blocker.releaseAfter(200);
            QElapsedTimer timer;
            timer.start();
            manager.reset();
            QVERIFY(timer.elapsed() < 10000);
        }
        // Nothing was described after the stop, so nothing was cached.
        QCOMPARE(filesUnder(cacheRoot), 0);

        {
            // Shut down in the middle of reading.
            MetadataManager manager(cacheRoot);
            AssetMetadata* first = manager.getMetadata(QFileInfo(clips[0]));
            for (const QString& clip : clips)
                manager.getMetadata(QFileInfo(clip));
            QVERIFY(waitReady(first));
        }
        // Whatever was cached is whole: every file reads back well.
        MetadataManager manager(cacheRoot);
        for (const QString& clip : clips)
            verifyClipRecord(manager.getMetadata(QFileInfo(clip)));
        QCOMPARE(manager.reader()->describedCount() + manager.reader()->cacheHitCount(), clips.size());
        QVERIFY(manager.reader()->cacheHitCount() >= 1);
    }

    void processWideManager()
    {
        MetadataManager* manager = MetadataManager::instance();
        QVERIFY(manager);
        QCOMPARE(MetadataManager::instance(), manager);
        QCOMPARE(manager->thread(), qApp->thread());
        const QStringList clips = copies(1);
        AssetMetadata* m = manager->getMetadata(QFileInfo(clips[0]));
        verifyClipRecord(m);
        // Its cache is the user's cache folder.
        QVERIFY(QFile::exists(ThumbnailCache().recordPath(m->id)));
        MetadataManager::destroyInstance();
    }
};

EMULSA_TEST_MAIN(TestMetadataManager)
#include "tst_metadatamanager.moc"
