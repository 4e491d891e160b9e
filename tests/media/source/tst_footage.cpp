// Camera and phone footage in every container and shape the reader meets:
// seeks, in/out renders, durations and sync, one table row per clip.
#include "RenderFixture.h"
#include "common/HardwareDecodingScope.h"
#include "common/RenderProbe.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"
#include "common/WarningCounter.h"
#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/source/HardwareDecoding.h"
#include "media/source/VideoDecoder.h"
#include "media/source/WinSourceReader.h"

#include <QDir>
#include <QImage>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace Emulsa;
using Emulsa::Test::RenderFixture;
using Emulsa::Test::RenderProbe;
using Emulsa::Test::TestMedia;

Q_DECLARE_METATYPE(TestMedia::Footage)

namespace {

// The source picture a player shows at frame n of a clip at `fps`: the last
// picture that starts by n / fps (a quarter frame of rounding allowed).
int expectedPicture(TestMedia::Footage clip, int frame, double fps)
{
    const double time = (frame + 0.25) / fps;
    int shown = 0;
    for (int picture = 0; picture < TestMedia::footagePictures; ++picture)
        if (TestMedia::footagePictureTime(clip, picture) <= time)
            shown = picture;
    return shown;
}

int shownIndex(const Frame* frame)
{
    return TestMedia::frameIndexFromYuy2(
        frame->data, int(frame->metadata->width), int(frame->metadata->height), int(frame->effectiveStride()));
}

void addFootageRows()
{
    QTest::addColumn<TestMedia::Footage>("clip");
    for (int i = 0; i < TestMedia::FootageCount; ++i) {
        const auto clip = TestMedia::Footage(i);
        QTest::newRow(qPrintable(TestMedia::footageInfo(clip).name)) << clip;
    }
}

// Columns clip, seekTo and failAt, with the rows `rows` adds for each clip
// but the cut one: its last pictures are concealed differently from one
// decoder to the next.
void addDeviceFailureRows(const std::function<void(TestMedia::Footage clip, const QString& name)>& rows)
{
    QTest::addColumn<TestMedia::Footage>("clip");
    QTest::addColumn<int>("seekTo");
    QTest::addColumn<int>("failAt");
    for (int i = 0; i < TestMedia::FootageCount; ++i) {
        const auto clip = TestMedia::Footage(i);
        if (!TestMedia::footageInfo(clip).truncated)
            rows(clip, TestMedia::footageInfo(clip).name);
    }
}

} // namespace

class FootageTest : public QObject
{
    Q_OBJECT

private:
    RenderFixture m_fixture;
    QString m_out;

    AssetMetadata* describe(TestMedia::Footage clip)
    {
        const QString path = TestMedia::instance().footagePath(clip);
        return path.isEmpty() ? nullptr : m_fixture.describe(path);
    }

    static double fps(const AssetMetadata* asset) { return double(asset->frameRateNum) / asset->frameRateDen; }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty(),
            "the ffmpeg command-line tool makes the test clips");
        QString why;
        QVERIFY2(m_fixture.setUp(&why), qPrintable(why));
    }

    void init() { m_out = Emulsa::Test::makeTempFolder(QStringLiteral("footage")); }

    // Two seconds at 25 frames a second, at the size a player shows, with a
    // thumbnail of the picture at frame 25.
    void description_data() { addFootageRows(); }
    void description()
    {
        QFETCH(TestMedia::Footage, clip);
        const TestMedia::FootageInfo info = TestMedia::footageInfo(clip);
        auto metadata = std::make_unique<AssetMetadata>();
        metadata->filePath = TestMedia::instance().footagePath(clip);
        QVERIFY(!metadata->filePath.isEmpty());
        WinSourceReader reader(true);
        QVERIFY(reader.initializeFromMetadata(metadata.get()));
        QVERIFY(reader.fillMetadata());
        QCOMPARE(QSize(int(metadata->width), int(metadata->height)), QSize(info.width, info.height));
        QCOMPARE(fps(metadata.get()), 25.0);
        QCOMPARE(metadata->frameCount, 50u);
        QVERIFY(metadata->hasAudio);
        std::unique_ptr<Frame> thumbnail(reader.takeCurrentFrame());
        QVERIFY(thumbnail);
        const int thumbnailIndex = TestMedia::frameIndexFromBgra(thumbnail->data, int(thumbnail->metadata->width),
            int(thumbnail->metadata->height), int(thumbnail->effectiveStride()));
        // A clip cut before frame 25 shows its first picture instead.
        if (!(info.truncated && thumbnailIndex == 0))
            QCOMPARE(thumbnailIndex, expectedPicture(clip, 25, 25.0));
    }

    // A precise seek to the last, the first and a middle frame (in that
    // order) gives those frames, each showing the picture a player shows.
    void preciseSeeks_data() { addFootageRows(); }
    void preciseSeeks()
    {
        QFETCH(TestMedia::Footage, clip);
        AssetMetadata* asset = describe(clip);
        QVERIFY(asset);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(asset));
        const int last = int(asset->frameCount) - 1;
        const bool truncated = TestMedia::footageInfo(clip).truncated;
        for (int target : { last, 0, 23, 12, 5 }) {
            QVERIFY(reader.seekToFrame(quint32(target), true));
            std::unique_ptr<Frame> frame(reader.getNextFrame(false));
            if (truncated && target == last) {
                // Its pictures are gone: no frame rather than a wrong one.
                QVERIFY(!frame);
                continue;
            }
            QVERIFY2(frame, qPrintable(QStringLiteral("frame %1").arg(target)));
            QCOMPARE(frame->index, target);
            QCOMPARE(shownIndex(frame.get()), expectedPicture(clip, target, fps(asset)));
            QCOMPARE(frame->timestamp, qint64(target) * 400000);
        }
    }

    // Reading from the start gives every frame of the time line in order:
    // late pictures are repeated and skipped as a player does.
    void sequentialFrames_data() { addFootageRows(); }
    void sequentialFrames()
    {
        QFETCH(TestMedia::Footage, clip);
        AssetMetadata* asset = describe(clip);
        QVERIFY(asset);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(asset));
        QList<int> shown;
        while (std::unique_ptr<Frame> frame { reader.getNextFrame(false) }) {
            QCOMPARE(frame->index, shown.size());
            shown << shownIndex(frame.get());
        }
        const bool truncated = TestMedia::footageInfo(clip).truncated;
        if (truncated) {
            // Whatever the decoder makes of the cut picture, the pictures
            // before it are there.
            QVERIFY2(shown.size() > 10 && shown.size() < 50, qPrintable(QString::number(shown.size())));
            // The decoder conceals the last few (cut or missing references).
            shown = shown.mid(0, shown.size() - 3);
        } else {
            QCOMPARE(shown.size(), 50);
        }
        QList<int> expected;
        for (int frame = 0; frame < shown.size(); ++frame)
            expected << expectedPicture(clip, frame, fps(asset));
        QCOMPARE(shown, expected);
    }

    // A device that fails at source picture N (the simulated device: the
    // software decoder taking the hardware path) leaves the clip to software
    // from that picture on, with one warning: reading on gives the same
    // frames, with the same pictures and times, as software decoding does,
    // from the start and after precise seeks (the failure on the first
    // picture after the seek, or later).
    void deviceFailureContinuesInSoftware_data()
    {
        addDeviceFailureRows([](TestMedia::Footage clip, const QString& name) {
            QTest::newRow(qPrintable(name + QStringLiteral(", from 0, fails at 31"))) << clip << 0 << 31;
            QTest::newRow(qPrintable(name + QStringLiteral(", seek 12, fails at 12"))) << clip << 12 << 12;
            QTest::newRow(qPrintable(name + QStringLiteral(", seek 30, fails at 41"))) << clip << 30 << 41;
        });
    }

    void deviceFailureContinuesInSoftware()
    {
        QFETCH(TestMedia::Footage, clip);
        QFETCH(int, seekTo);
        QFETCH(int, failAt);
        AssetMetadata* asset = describe(clip);
        QVERIFY(asset);
        Emulsa::Test::HardwareDecodingScope scope { HardwareDecodingMode::Auto, true };
        Emulsa::Test::WarningCounter warnings;
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(asset));
        QVERIFY(reader.decodesWithHardware());
        HardwareDecoding::setSimulatedFailure(
            TestMedia::footagePictureTime(clip, failAt) - TestMedia::footagePictureTime(clip, 0));
        if (seekTo > 0)
            QVERIFY(reader.seekToFrame(quint32(seekTo), true));

        QList<int> shown;
        QList<int> expected;
        // The last picture delivered while the device still decoded.
        int lastOnDevice = -1;
        while (std::unique_ptr<Frame> frame { reader.getNextFrame(false) }) {
            const int index = seekTo + shown.size();
            QCOMPARE(frame->index, index);
            QCOMPARE(frame->timestamp, qint64(index) * 400000);
            shown << shownIndex(frame.get());
            expected << expectedPicture(clip, index, fps(asset));
            if (reader.decodesWithHardware())
                lastOnDevice = shown.last();
        }
        QCOMPARE(shown, expected);
        QCOMPARE(shown.size(), 50 - seekTo);
        QVERIFY(!reader.decodesWithHardware());
        // The device decoded up to the picture before N (the reader decodes
        // one picture ahead), never N itself.
        QVERIFY2(lastOnDevice < failAt, qPrintable(QString::number(lastOnDevice)));
        if (failAt > seekTo + 2)
            QVERIFY2(lastOnDevice >= failAt - 3, qPrintable(QString::number(lastOnDevice)));
        const QStringList all = warnings.all();
        QCOMPARE(all.size(), 1);
        QVERIFY2(all.first().contains(QLatin1String("continues in software")), qPrintable(all.first()));
    }

    // Under the reader's time line: the decoder delivers exactly the
    // pictures software decoding delivers, each once and in order (times and
    // luma), when the device fails on the first picture, mid-clip, or on the
    // first picture after a seek.
    void decoderResumesWithTheNextPicture_data()
    {
        addDeviceFailureRows([](TestMedia::Footage clip, const QString& name) {
            QTest::newRow(qPrintable(name + QStringLiteral(", fails at 0"))) << clip << -1 << 0;
            QTest::newRow(qPrintable(name + QStringLiteral(", fails at 31"))) << clip << -1 << 31;
            // A plain seek there finds no key frame to start from.
            if (clip == TestMedia::FootageTsOneKey)
                return;
            QTest::newRow(qPrintable(name + QStringLiteral(", seek 30, fails at 30"))) << clip << 30 << 30;
            QTest::newRow(qPrintable(name + QStringLiteral(", seek 30, fails at 41"))) << clip << 30 << 41;
        });
    }

    void decoderResumesWithTheNextPicture()
    {
        QFETCH(TestMedia::Footage, clip);
        QFETCH(int, seekTo);
        QFETCH(int, failAt);
        const QString path = TestMedia::instance().footagePath(clip);
        QVERIFY(!path.isEmpty());
        const double origin = TestMedia::footagePictureTime(clip, 0);
        // Each picture's time and a digest of its luma.
        const auto decodeAll = [&](VideoDecoder& decoder) {
            QList<QPair<qint64, uint>> pictures;
            if (seekTo >= 0) {
                const AVStream* stream = decoder.stream();
                const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
                const double seconds = TestMedia::footagePictureTime(clip, seekTo) - origin;
                if (!decoder.seek(start + int64_t(std::llround(seconds / av_q2d(stream->time_base)))))
                    return pictures;
            }
            Emulsa::AV::FramePtr picture(av_frame_alloc());
            while (decoder.receive(picture.get()) == 0) {
                uint digest = 0;
                for (int y = 0; y < picture->height; ++y)
                    digest = qHash(QByteArray::fromRawData(reinterpret_cast<const char*>(picture->data[0])
                                           + size_t(y) * size_t(picture->linesize[0]),
                                       picture->width),
                        digest);
                pictures << qMakePair(qint64(picture->pts), digest);
                av_frame_unref(picture.get());
            }
            return pictures;
        };
        VideoDecoder software;
        QVERIFY(software.open(path, 0));
        QVERIFY(!software.decodesWithHardware());
        const QList<QPair<qint64, uint>> expected = decodeAll(software);
        // A seek lands on a key frame before the time where the container
        // has an index, elsewhere on one near it; the failing decoder seeks
        // alike, and fails on its first picture when that is past N.
        QVERIFY(!expected.isEmpty());

        Emulsa::Test::HardwareDecodingScope scope { HardwareDecodingMode::Auto, true };
        HardwareDecoding::setSimulatedFailure(TestMedia::footagePictureTime(clip, failAt) - origin);
        Emulsa::Test::WarningCounter warnings;
        VideoDecoder failing;
        QVERIFY(failing.open(path, 0));
        QVERIFY(failing.decodesWithHardware());
        const QList<QPair<qint64, uint>> delivered = decodeAll(failing);
        QVERIFY(!failing.decodesWithHardware());
        QCOMPARE(delivered, expected);
        QCOMPARE(warnings.all().size(), 1);
    }

    // In 10, out 22: exactly frames 10 .. 21, sound as long as the pictures.
    void movieInOut_data() { addFootageRows(); }
    void movieInOut()
    {
        QFETCH(TestMedia::Footage, clip);
        const TestMedia::FootageInfo info = TestMedia::footageInfo(clip);
        AssetMetadata* asset = describe(clip);
        QVERIFY(asset);
        const bool truncated = info.truncated;
        const quint32 in = truncated ? 0 : 10;
        const quint32 out = truncated ? 50 : 22;
        SequenceItem* item = m_fixture.item(asset, RenderFixture::neutralGrade(), in, out);
        const QSize size(info.width & ~1, info.height & ~1);
        const RenderFixture::Result result = m_fixture.render(item, H264Medium, m_out, size);
        QVERIFY2(result.initialized, qPrintable(result.error));
        const QString movie
            = m_out + QLatin1Char('/') + QFileInfo(asset->filePath).completeBaseName() + QStringLiteral(".mov");
        const RenderProbe::Movie probe = RenderProbe::probe(movie);
        QVERIFY(probe.ok);
        const QList<int> shown = RenderProbe::shownIndices(movie, size.width(), size.height());
        QCOMPARE(probe.video.frames, shown.size());
        if (truncated) {
            // A failure that says how far it came; the movie holds what was
            // written, and no more sound than pictures.
            QVERIFY(!result.ran);
            QCOMPARE(result.progress.last(), -1);
            QVERIFY2(
                result.error.contains(QStringLiteral("%1 of 50 frames").arg(shown.size())), qPrintable(result.error));
            QVERIFY(shown.size() > 10 && shown.size() < 50);
        } else {
            QVERIFY2(result.ran, qPrintable(result.error));
            QCOMPARE(result.progress.last(), -42);
            QList<int> expected;
            for (quint32 frame = in; frame < out; ++frame)
                expected << expectedPicture(clip, int(frame), 25.0);
            QCOMPARE(shown, expected);
        }
        const double videoSeconds = shown.size() / 25.0;
        QVERIFY2(std::abs(probe.video.duration - videoSeconds) < 0.001,
            qPrintable(QStringLiteral("video %1 s").arg(probe.video.duration)));
        QVERIFY(probe.audio.present);
        QCOMPARE(probe.audio.startTime, 0.0);
        // Sound and pictures agree within a frame, the sound never longer
        // (as the container states them: the decoder hands out the last AAC
        // packet whole, padding included).
        const double soundSeconds = probe.audio.duration;
        QVERIFY2(soundSeconds <= videoSeconds + 0.0005 && soundSeconds > videoSeconds - 0.04,
            qPrintable(QStringLiteral("sound %1 s, pictures %2 s").arg(soundSeconds).arg(videoSeconds)));
        const QByteArray sound = RenderProbe::decodeAudio(movie, probe.audio.sampleRate);
        QVERIFY(double(sound.size() / 4) / probe.audio.sampleRate >= soundSeconds);
        qInfo().noquote() << QStringLiteral("measured %1: in %2 out %3: %4 frames, video %5 s, sound %6 s")
                                 .arg(info.name)
                                 .arg(in)
                                 .arg(out)
                                 .arg(shown.size())
                                 .arg(probe.video.duration, 0, 'f', 4)
                                 .arg(soundSeconds, 0, 'f', 4);
    }

    // TIFF images are named by frame and show that frame's picture.
    void tiffInOut_data() { addFootageRows(); }
    void tiffInOut()
    {
        QFETCH(TestMedia::Footage, clip);
        const TestMedia::FootageInfo info = TestMedia::footageInfo(clip);
        if (info.truncated)
            QSKIP("the movie row covers the truncated clip");
        AssetMetadata* asset = describe(clip);
        QVERIFY(asset);
        SequenceItem* item = m_fixture.item(asset, RenderFixture::neutralGrade(), 20, 26);
        const QSize size(info.width & ~1, info.height & ~1);
        const RenderFixture::Result result = m_fixture.render(item, TiffSequence, m_out, size);
        QVERIFY2(result.initialized && result.ran, qPrintable(result.error));
        const QString base = QFileInfo(asset->filePath).completeBaseName();
        const QDir folder(m_out + QLatin1Char('/') + base);
        QStringList expected;
        for (int frame = 20; frame < 26; ++frame)
            expected << QStringLiteral("%1.%2.tiff").arg(base).arg(frame, 6, 10, QLatin1Char('0'));
        QCOMPARE(folder.entryList(QDir::Files, QDir::Name), expected);
        for (int frame = 20; frame < 26; ++frame) {
            const QImage image(folder.filePath(expected.at(frame - 20)));
            QCOMPARE(image.size(), size);
            QCOMPARE(TestMedia::frameIndexFromImage(image), expectedPicture(clip, frame, 25.0));
        }
    }
};

QTEST_MAIN(FootageTest)
#include "tst_footage.moc"
