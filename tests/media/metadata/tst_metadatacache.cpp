#include "common/DescribedAsset.h"
#include "common/TestEnvironment.h"

#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "media/metadata/ThumbnailCache.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Emulsa;

class TestMetadataCache : public QObject
{
    Q_OBJECT

private:
    QString m_mediaFile;

    // A described record of m_mediaFile with a recognisable thumbnail.
    AssetMetadata describedRecord() const
    {
        AssetMetadata m;
        m.filePath = m_mediaFile;
        m.name = QFileInfo(m_mediaFile).fileName();
        m.id = MetadataManager::idForPath(m_mediaFile);
        m.lastModified = ThumbnailCache::fileTimeText(QFileInfo(m_mediaFile).lastModified());
        m.valid = true;
        m.durationMs = 1200;
        Test::describeStream(m, 640, 360);
        m.frameCount = 30;
        m.bitRate = 1234567;
        m.audioFrameCount = 57;
        QImage picture(444, 250, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x % 256, y, (x * y) % 256));
        m.thumbnail = new QImage(picture);
        return m;
    }

    // A record as the manager hands it to the reader: identity only.
    AssetMetadata requestFor(const QString& path) const
    {
        AssetMetadata m;
        m.filePath = path;
        m.id = MetadataManager::idForPath(path);
        return m;
    }

    static void verifyUntouched(const AssetMetadata& m)
    {
        const AssetMetadata fresh;
        QCOMPARE(m.width, fresh.width);
        QCOMPARE(m.frameCount, fresh.frameCount);
        QCOMPARE(m.lastModified, fresh.lastModified);
        QVERIFY(!m.thumbnail);
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }

    static QByteArray storedForm(const AssetMetadata& m)
    {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << m;
        return bytes;
    }

    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        const QString folder = Test::makeTempFolder(QStringLiteral("cache-media"));
        m_mediaFile = folder + QStringLiteral("/clip.mov");
        writeFile(m_mediaFile, QByteArray("not really a movie"));
    }

    void layoutSpreadsRecordsOverThreeHexLevels()
    {
        const QString root = Test::makeTempFolder(QStringLiteral("layout"));
        const ThumbnailCache cache(root);
        const QByteArray id = QByteArray::fromHex("a1b2c3d4e5f60718293a4b5c6d7e8f90");
        QCOMPARE(cache.recordFolder(id), root + QStringLiteral("/a/1/b"));
        QCOMPARE(cache.recordPath(id), root + QStringLiteral("/a/1/b/a1b2c3d4e5f60718293a4b5c6d7e8f90"));
        QCOMPARE(cache.thumbnailPath(id), cache.recordPath(id) + QStringLiteral(".emthumb"));
        QVERIFY(cache.recordPath(QByteArray("short")).isEmpty());
        QVERIFY(cache.recordPath(QByteArray()).isEmpty());

        // The default cache is the user's cache folder (isolated by the tests).
        QCOMPARE(ThumbnailCache().rootPath(),
            QDir::cleanPath(QStandardPaths::standardLocations(QStandardPaths::CacheLocation).value(0)));
        QVERIFY(!ThumbnailCache().rootPath().isEmpty());

        // Saving creates the folders (the root included) and writes a BMP.
        const QString nested = root + QStringLiteral("/not/yet/there");
        const ThumbnailCache fresh(nested);
        AssetMetadata m = describedRecord();
        QVERIFY(fresh.save(&m));
        const QString hex = QString::fromLatin1(m.id.toHex());
        const QString expected = nested + QLatin1Char('/') + hex.at(0) + QLatin1Char('/') + hex.at(1) + QLatin1Char('/')
            + hex.at(2) + QLatin1Char('/') + hex;
        QVERIFY(QFile::exists(expected));
        QVERIFY(readFile(expected + QStringLiteral(".emthumb")).startsWith("BM"));
    }

    void savedRecordLoadsBackWhole()
    {
        const ThumbnailCache cache(Test::makeTempFolder(QStringLiteral("roundtrip")));
        AssetMetadata saved = describedRecord();
        QVERIFY(cache.save(&saved));

        AssetMetadata loaded = requestFor(m_mediaFile);
        QVERIFY(cache.load(&loaded));
        QCOMPARE(storedForm(loaded), storedForm(saved)); // every stored field
        QVERIFY(loaded.thumbnail);
        QCOMPARE(loaded.thumbnail->convertToFormat(QImage::Format_RGB32), *saved.thumbnail);
        // Reader state is not stored.
        QVERIFY(!loaded.ready);
        QVERIFY(!loaded.queued);
    }

    void unreadableEntriesAreMisses()
    {
        const QString root = Test::makeTempFolder(QStringLiteral("misses"));
        const ThumbnailCache cache(root);
        AssetMetadata saved = describedRecord();
        QVERIFY(cache.save(&saved));

        {
            // A different file whose record is not cached.
            AssetMetadata other = requestFor(m_mediaFile + QStringLiteral(".other"));
            QVERIFY(!cache.load(&other));
            verifyUntouched(other);
        }
        {
            // A record stored under another file's name.
            const QString otherPath = m_mediaFile + QStringLiteral(".copy");
            AssetMetadata other = requestFor(otherPath);
            QDir().mkpath(cache.recordFolder(other.id));
            QVERIFY(QFile::copy(cache.recordPath(saved.id), cache.recordPath(other.id)));
            QVERIFY(QFile::copy(cache.thumbnailPath(saved.id), cache.thumbnailPath(other.id)));
            QVERIFY(!cache.load(&other));
            verifyUntouched(other);
        }
        {
            // No cache folder at all.
            AssetMetadata m = requestFor(m_mediaFile);
            QVERIFY(!ThumbnailCache(root + QStringLiteral("/absent")).load(&m));
            QVERIFY(!ThumbnailCache(QString()).load(&m));
            verifyUntouched(m);
        }
        {
            // Nothing to save without a thumbnail, nor without a cache folder.
            AssetMetadata m = describedRecord();
            delete m.thumbnail;
            m.thumbnail = nullptr;
            QVERIFY(!cache.save(&m));
            QVERIFY(!cache.save(nullptr));
            QVERIFY(!cache.load(nullptr));
        }
    }

    void staleTimeStampIsAMiss()
    {
        const ThumbnailCache cache(Test::makeTempFolder(QStringLiteral("stale")));
        AssetMetadata saved = describedRecord();
        QVERIFY(cache.save(&saved));

        QFile file(m_mediaFile);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime original = QFileInfo(m_mediaFile).lastModified();
        QVERIFY(file.setFileTime(original.addSecs(-3600), QFileDevice::FileModificationTime));
        AssetMetadata m = requestFor(m_mediaFile);
        QVERIFY(!cache.load(&m));
        verifyUntouched(m);

        QVERIFY(file.setFileTime(original, QFileDevice::FileModificationTime));
        QVERIFY(cache.load(&m));
    }

    void damagedRecordIsAMiss_data()
    {
        QTest::addColumn<QByteArray>("bytes");

        AssetMetadata m = describedRecord();
        const QByteArray good = storedForm(m);

        QTest::newRow("trailing bytes") << good + QByteArray("junk");
        QByteArray garbage(good.size(), '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) % 251);
        QTest::newRow("garbage") << garbage;
        // The name claims close to 2 GB, then the record simply ends.
        QByteArray absurd;
        QDataStream absurdStream(&absurd, QIODevice::WriteOnly);
        absurdStream << quint32(0x7FFFFFFE) << quint32(0x00410042);
        QTest::newRow("absurd name length") << absurd;
        // A record that claims a huge id after a valid name and path.
        QByteArray hugeId;
        QDataStream stream(&hugeId, QIODevice::WriteOnly);
        stream << m.name << m.filePath << quint32(0xFFFFFFF0);
        QTest::newRow("absurd id length") << hugeId;
        QTest::newRow("oversized file") << good + QByteArray(int(ThumbnailCache::maxRecordBytes), 'x');
    }

    void damagedRecordIsAMiss()
    {
        QFETCH(QByteArray, bytes);
        const ThumbnailCache cache(Test::makeTempFolder(QStringLiteral("damaged")));
        AssetMetadata saved = describedRecord();
        QVERIFY(cache.save(&saved));
        writeFile(cache.recordPath(saved.id), bytes);

        AssetMetadata m = requestFor(m_mediaFile);
        QVERIFY(!cache.load(&m));
        verifyUntouched(m);
    }

    void everyTruncationIsAMiss()
    {
        const ThumbnailCache cache(Test::makeTempFolder(QStringLiteral("truncated")));
        AssetMetadata saved = describedRecord();
        QVERIFY(cache.save(&saved));
        const QByteArray good = readFile(cache.recordPath(saved.id));
        QVERIFY(good.size() > 100);
        for (int length = 0; length < good.size(); ++length) {
            writeFile(cache.recordPath(saved.id), good.left(length));
            AssetMetadata m = requestFor(m_mediaFile);
            if (cache.load(&m))
                QFAIL(qPrintable(QStringLiteral("a record cut to %1 bytes was accepted").arg(length)));
            verifyUntouched(m);
        }
    }

    void damagedThumbnailIsAMiss_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("absent") << QByteArray();
        QTest::newRow("garbage") << QByteArray(5000, 'z');
        // A BMP header for a 60000 x 60000 picture with no pixels after it.
        QByteArray huge;
        QDataStream header(&huge, QIODevice::WriteOnly);
        header.setByteOrder(QDataStream::LittleEndian);
        header.writeRawData("BM", 2);
        header << quint32(54) << quint32(0) << quint32(54);
        header << quint32(40) << qint32(60000) << qint32(60000) << quint16(1) << quint16(24) << quint32(0) << quint32(0)
               << qint32(2835) << qint32(2835) << quint32(0) << quint32(0);
        QTest::newRow("huge header") << huge;
    }

    void damagedThumbnailIsAMiss()
    {
        QFETCH(QByteArray, bytes);
        const ThumbnailCache cache(Test::makeTempFolder(QStringLiteral("thumbnail")));
        AssetMetadata saved = describedRecord();
        QVERIFY(cache.save(&saved));
        if (bytes.isEmpty())
            QVERIFY(QFile::remove(cache.thumbnailPath(saved.id)));
        else
            writeFile(cache.thumbnailPath(saved.id), bytes);

        AssetMetadata m = requestFor(m_mediaFile);
        QVERIFY(!cache.load(&m));
        verifyUntouched(m);
    }

    // Entries that are not regular files: opening a FIFO for reading waits
    // for a writer, and a link to a device reads without end. Each is a miss
    // at once; a load still waiting after a few seconds is released by
    // opening the FIFO's writing end, so the test fails instead of hanging.
    void specialFilesAreMisses_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("kind");
        QTest::newRow("record is a FIFO") << "record"
                                          << "fifo";
        QTest::newRow("record links to /dev/zero") << "record"
                                                   << "zero";
        QTest::newRow("record links to a good record") << "record"
                                                       << "good";
        QTest::newRow("thumbnail is a FIFO") << "thumbnail"
                                             << "fifo";
        QTest::newRow("thumbnail links to /dev/zero") << "thumbnail"
                                                      << "zero";
    }

    void specialFilesAreMisses()
    {
        QFETCH(QString, which);
        QFETCH(QString, kind);
        const QString root = Test::makeTempFolder(QStringLiteral("special"));
        const ThumbnailCache cache(root);
        AssetMetadata saved = describedRecord();
        QVERIFY(cache.save(&saved));
        const QString entry = which == "record" ? cache.recordPath(saved.id) : cache.thumbnailPath(saved.id);
        const QString aside = root + QStringLiteral("/aside");
        QVERIFY(QFile::rename(entry, aside));
        const QByteArray entryName = QFile::encodeName(entry);
        if (kind == "fifo")
            QCOMPARE(::mkfifo(entryName.constData(), 0600), 0);
        else
            QVERIFY(QFile::link(kind == "zero" ? QStringLiteral("/dev/zero") : aside, entry));

        AssetMetadata m = requestFor(m_mediaFile);
        QFuture<bool> loaded = QtConcurrent::run([&cache, &m] { return cache.load(&m); });
        const bool ended = QTest::qWaitFor([&] { return loaded.isFinished(); }, 5000);
        if (!ended && kind == "fifo") {
            const int writer = ::open(entryName.constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        loaded.waitForFinished();
        QVERIFY2(ended, "the load was still waiting after 5 s");
        QVERIFY(!loaded.result());
        verifyUntouched(m);

        // Saving again puts a regular file in the entry's place and leaves
        // whatever a link pointed to alone.
        QVERIFY(cache.save(&saved));
        QVERIFY(QFileInfo(entry).isFile() && !QFileInfo(entry).isSymLink());
        QVERIFY(QFileInfo(aside).isFile());
        AssetMetadata again = requestFor(m_mediaFile);
        QVERIFY(cache.load(&again));
    }
};

EMULSA_TEST_MAIN(TestMetadataCache)
#include "tst_metadatacache.moc"
