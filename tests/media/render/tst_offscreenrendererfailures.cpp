#include "common/TestEnvironment.h"

#include "OffscreenRendererFixture.h"
#include "common/FileSizeLimit.h"
#include "common/TestMedia.h"
#include "media/render/OutputPaths.h"
#include "media/render/WinOffscreenRenderer.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QtTest>

using namespace Emulsa;
using Emulsa::Test::fileBytes;
using Emulsa::Test::OffscreenRendererFixture;
using Emulsa::Test::RenderFixture;
using Emulsa::Test::TestMedia;
using Emulsa::Test::writeFileBytes;

// Renders that stop or cannot be made: cancelled renders, outputs that would
// overwrite what they must not, sizes and grades that cannot be used, and
// writes that fail.
class TestOffscreenRendererFailures : public OffscreenRendererFixture
{
    Q_OBJECT

private slots:
    void cancelDeletesMovieKeepsImages_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<int>("movieFormat");
        QTest::addColumn<int>("imageFormat");
        QTest::newRow("H.264, TIFF") << int(TestMedia::NoAudio) << int(H264Preview) << int(TiffSequence);
        // A 10-bit clip: deep pictures through the deep formats.
        QTest::newRow("ProRes, DPX") << int(TestMedia::ProResMov) << int(ProRes422HQ) << int(Dpx10Sequence);
        QTest::newRow("H.265, OpenEXR") << int(TestMedia::ProResMov) << int(H265Main10) << int(ExrHalfSequence);
    }

    void cancelDeletesMovieKeepsImages()
    {
        QFETCH(int, clip);
        QFETCH(int, movieFormat);
        QFETCH(int, imageFormat);
        const QString source = media().path(TestMedia::Clip(clip));
        AssetMetadata* asset = m_fixture.describe(source);
        QVERIFY(asset);
        const QString base = QFileInfo(source).completeBaseName();
        SequenceItem* item = m_fixture.item(asset, RenderFixture::neutralGrade(), 0, asset->frameCount);

        RenderFixture::Result movie = m_fixture.render(item, movieFormat, m_out, QSize(320, 180), false, 3);
        QVERIFY(movie.initialized);
        QVERIFY(!movie.ran);
        QCOMPARE(movie.progress.last(), -1);
        QVERIFY(!movie.progress.contains(-42));
        QCOMPARE(entries(m_out), QStringList());

        RenderFixture::Result images = m_fixture.render(item, imageFormat, m_out, QSize(320, 180), false, 3);
        QVERIFY(images.initialized);
        QVERIFY(!images.ran);
        QCOMPARE(images.progress.last(), -1);
        // The images written before the cancel take the image folder's name;
        // no working folder is left behind.
        QCOMPARE(QDir(m_out + QLatin1Char('/') + base).entryList(QDir::Files).size(), 3);
        QVERIFY(workingFolders(base).isEmpty());
    }

    // A cancelled movie leaves the earlier movie of the same name as it was,
    // and no unfinished file beside it.
    void cancelledMovieLeavesTheEarlierOne()
    {
        SequenceItem* item = m_fixture.neutralItem(media().path(TestMedia::NoAudio));
        QVERIFY(item);
        const QString movie = m_out + QStringLiteral("/h264_noaudio.mov");
        QVERIFY(writeFileBytes(movie, "earlier movie"));
        const RenderFixture::Result result = m_fixture.render(item, H264Preview, m_out, QSize(320, 180), false, 3);
        QVERIFY(result.initialized);
        QVERIFY(!result.ran);
        QCOMPARE(result.progress.last(), -1);
        QCOMPARE(fileBytes(movie, QByteArray()), QByteArray("earlier movie"));
        QCOMPARE(entries(m_out), QStringList { QStringLiteral("h264_noaudio.mov") });
    }

    // An image whose name turns into a symbolic link while the sequence is
    // written replaces the link; the file it pointed to is left as it was.
    void imagesReplaceLinksNotTheirTargets()
    {
        SequenceItem* item = m_fixture.neutralItem(media().path(TestMedia::NoAudio), 0, 4);
        QVERIFY(item);
        const QString other = Emulsa::Test::makeTempFolder(QStringLiteral("other")) + QStringLiteral("/keep.txt");
        QVERIFY(writeFileBytes(other, "someone else's file"));
        EncoderSettings encoder;
        t_OutputSettings settings;
        QString destination = m_out;
        OutputSettings::fill(&settings, TiffSequence, &destination, &encoder, QSize(64, 36), StretchToFit, false);
        bool running = true;
        WinOffscreenRenderer renderer(&running, m_fixture.surface());
        const QString folder = m_out + QStringLiteral("/h264_noaudio");
        const QString linked = folder + QStringLiteral("/h264_noaudio.000002.tiff");
        bool linkMade = false;
        connect(&renderer, &OffscreenRenderer::progressUpdated, [&](const QUuid*, int value) {
            // In the folder the images are written to.
            const QStringList working = workingFolders(QStringLiteral("h264_noaudio"));
            if (value == 1 && working.size() == 1)
                linkMade = QFile::link(other,
                    m_out + QLatin1Char('/') + working.first() + QLatin1Char('/') + QFileInfo(linked).fileName());
        });
        QVERIFY(renderer.initialize(item, &settings));
        QVERIFY(renderer.runImageMode());
        QVERIFY(linkMade);
        QVERIFY(!QFileInfo(linked).isSymLink());
        QCOMPARE(QImage(linked).size(), QSize(64, 36));
        QCOMPARE(fileBytes(other, QByteArray()), QByteArray("someone else's file"));
        QStringList expected;
        for (int i = 0; i < 4; ++i)
            expected << QStringLiteral("h264_noaudio.%1.tiff").arg(i, 6, 10, QLatin1Char('0'));
        QCOMPARE(entries(folder), expected);
    }

    // An output that resolves to the source is refused before anything is
    // opened; the source is untouched.
    void outputOntoSourceIsRefused()
    {
        const QString folder = m_out + QStringLiteral("/cam");
        QDir().mkpath(folder);
        const QString source = folder + QStringLiteral("/clip.mov");
        QVERIFY(QFile::copy(media().path(TestMedia::ProResMov), source));
        const QByteArray before = md5(source);
        SequenceItem* item = m_fixture.neutralItem(source);
        QVERIFY(item);
        QVERIFY(QFile::link(folder, m_out + QStringLiteral("/alias")));
        for (const QString& destination : { folder, m_out + QStringLiteral("/alias") }) {
            const RenderFixture::Result result = m_fixture.render(item, H264HighQuality, destination, QSize(640, 360));
            QVERIFY(!result.initialized);
            QVERIFY(result.error.contains(QLatin1String("source")));
            QVERIFY(result.progress.isEmpty());
        }
        QCOMPARE(md5(source), before);
    }

    void unusableSizesAreRefused()
    {
        SequenceItem* item = m_fixture.neutralItem(media().path(TestMedia::NoAudio));
        QVERIFY(item);
        for (const QSize& size : { QSize(641, 360), QSize(640, 361), QSize(1, 2), QSize(0, 0) }) {
            const RenderFixture::Result result = m_fixture.render(item, H264Medium, m_out, size);
            QVERIFY(!result.initialized);
            QVERIFY(!QFile::exists(m_out + QStringLiteral("/h264_noaudio.mov")));
        }
        QVERIFY(!m_fixture.render(item, TiffSequence, m_out, QSize(1, 360)).initialized);
        QVERIFY(!QFile::exists(m_out + QStringLiteral("/h264_noaudio")));
        // An odd height is fine for images.
        const RenderFixture::Result odd = m_fixture.render(item, TiffSequence, m_out, QSize(64, 35));
        QVERIFY2(odd.initialized && odd.ran, qPrintable(odd.error));
        QCOMPARE(QImage(m_out + QStringLiteral("/h264_noaudio/h264_noaudio.000000.tiff")).size(), QSize(64, 35));
    }

    // A clip whose stock table cannot be loaded would be written ungraded.
    void gradeThatCannotBeAppliedIsRefused()
    {
        AssetMetadata* asset = m_fixture.describe(media().path(TestMedia::NoAudio));
        QVERIFY(asset);
        ClipSettings grade = RenderFixture::stockGrade();
        grade.setStockName(QStringLiteral("NoSuchStock"));
        SequenceItem* item = m_fixture.item(asset, grade, 0, asset->frameCount);
        const RenderFixture::Result result = m_fixture.render(item, TiffSequence, m_out, QSize(64, 36));
        QVERIFY(!result.initialized);
        QVERIFY(!QFile::exists(m_out + QStringLiteral("/h264_noaudio")));
    }

    // A full disk or a vanished folder ends the render as a failure.
    void writeFailuresAreFailures()
    {
        SequenceItem* item = m_fixture.neutralItem(media().path(TestMedia::NoAudio));
        QVERIFY(item);
        // The disk fills up while the movie is written: the earlier movie
        // stays and the unfinished one is gone, in every movie format.
        const QString movie = m_out + QStringLiteral("/h264_noaudio.mov");
        QVERIFY(writeFileBytes(movie, "earlier movie"));
        for (const int format : { int(H264HighQuality), int(ProRes422HQ), int(ProRes4444) }) {
            RenderFixture::Result full;
            {
                const Emulsa::Test::FileSizeLimit limit(1024);
                full = m_fixture.render(item, format, m_out, QSize(640, 360));
            }
            QVERIFY(full.initialized);
            QVERIFY(!full.ran);
            QCOMPARE(full.progress.last(), -1);
            QVERIFY(!full.progress.contains(-42));
            QCOMPARE(fileBytes(movie, QByteArray()), QByteArray("earlier movie"));
            QCOMPARE(entries(m_out), QStringList { QStringLiteral("h264_noaudio.mov") });
        }

        const QString vanishing = m_out + QStringLiteral("/vanishing");
        QDir().mkpath(vanishing);
        EncoderSettings encoder;
        t_OutputSettings settings;
        QString destination = vanishing;
        OutputSettings::fill(&settings, TiffSequence, &destination, &encoder, QSize(320, 180), StretchToFit, false);
        bool running = true;
        WinOffscreenRenderer renderer(&running, m_fixture.surface());
        QList<int> progress;
        connect(&renderer, &OffscreenRenderer::progressUpdated, [&](const QUuid*, int value) {
            progress << value;
            if (value == 2)
                QDir(vanishing).removeRecursively();
        });
        QVERIFY(renderer.initialize(item, &settings));
        QVERIFY(!renderer.runImageMode());
        QCOMPARE(progress.last(), -1);
    }
};

EMULSA_TEST_MAIN(TestOffscreenRendererFailures)
#include "tst_offscreenrendererfailures.moc"
