#include "SourceReaderFixture.h"
#include "common/FfmpegTool.h"
#include "common/TestEnvironment.h"
#include "common/WarningCounter.h"

#include <QtEndian>

#include <set>

using namespace Emulsa;
using namespace Emulsa::Test;

// The source reader on the test clips: the pictures and metadata it gives,
// frames in order and after seeks, and input it refuses or stops at.
class SourceReaderTest : public SourceReaderFixture
{
    Q_OBJECT

private slots:
    // RGB-coded pictures become YUV with the Rec. 709 matrix the pipeline
    // decodes with (pure red, limited range: Y 62, U 102; the BT.601 matrix
    // gives 81, 90).
    void rgbSourcesUseRec709_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("pixelFormat");
        QTest::newRow("QuickTime RLE") << QStringLiteral("qtrle") << QStringLiteral("rgb24");
        QTest::newRow("PNG") << QStringLiteral("png") << QStringLiteral("rgb24");
    }

    void rgbSourcesUseRec709()
    {
        QFETCH(QString, codec);
        QFETCH(QString, pixelFormat);
        AssetMetadata metadata;
        metadata.filePath = TestMedia::instance().generate(QStringLiteral("red_%1.mov").arg(codec),
            { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("color=c=red:s=64x48:r=25:d=0.2"), QStringLiteral("-c:v"), codec,
                QStringLiteral("-pix_fmt"), pixelFormat });
        QVERIFY(!metadata.filePath.isEmpty());
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(&metadata));
        QVERIFY(reader.fillMetadata());
        std::unique_ptr<Frame> frame(reader.getNextFrame(false));
        QVERIFY(frame);
        // Red decodes as (253, 0, 0); the YUV values at the clip's range
        // (PNG states full range, RLE states none).
        const bool full = metadata.colorRange == 2;
        const int y = full ? 54 : 62;
        const int u = full ? 99 : 102;
        const int v = full ? 254 : 239;
        const uchar* pixel = frame->data + frame->effectiveStride() * 20 + 40;
        QVERIFY2(std::abs(int(pixel[0]) - y) <= 2, qPrintable(QString::number(pixel[0])));
        QVERIFY2(std::abs(int(pixel[1]) - u) <= 2, qPrintable(QString::number(pixel[1])));
        QVERIFY2(std::abs(int(pixel[3]) - v) <= 2, qPrintable(QString::number(pixel[3])));
    }

    // A 10-bit ramp (luma 8 .. 1008 over 1024 columns, chroma rising by one
    // code every 8) read in deep frames keeps every code of the source,
    // decoded here by the ffmpeg tool, at full 16-bit scale; 8-bit frames
    // cannot hold more than 256 levels. The renderer turns deep frames on
    // after opening, between two frames.
    void deepFramesKeepTheSourceCodes_data()
    {
        QTest::addColumn<QString>("deep");
        QTest::addColumn<int>("bits");
        QTest::newRow("deep before opening") << QStringLiteral("before") << 16;
        QTest::newRow("deep after the first frame") << QStringLiteral("after") << 16;
        QTest::newRow("8-bit") << QString() << 8;
    }

    void deepFramesKeepTheSourceCodes()
    {
        QFETCH(QString, deep);
        QFETCH(int, bits);
        constexpr int width = 1024;
        constexpr int height = 64;
        AssetMetadata metadata;
        metadata.filePath = TestMedia::instance().tenBitRamp(
            QStringLiteral("ramp10.mov"), width, height, QStringLiteral("8+X*1000/1023"), QStringLiteral("512+X/8"));
        QVERIFY(!metadata.filePath.isEmpty());
        // The source's codes, frame 1: planar 4:2:2, little-endian 16-bit words.
        const FfmpegTool::Result decoded = FfmpegTool::ffmpeg(
            { QStringLiteral("-i"), metadata.filePath, QStringLiteral("-vf"), QStringLiteral("select=eq(n\\,1)"),
                QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
                QStringLiteral("-pix_fmt"), QStringLiteral("yuv422p10le"), QStringLiteral("-") });
        QVERIFY2(decoded.ok, qPrintable(decoded.errors));
        QCOMPARE(decoded.output.size(), width * height * 2 * 2);
        const auto* lumaCodes = reinterpret_cast<const quint16*>(decoded.output.constData());
        const quint16* uCodes = lumaCodes + width * height;

        WinSourceReader reader;
        if (deep == QLatin1String("before"))
            QVERIFY(reader.setDeepPictures(true));
        QVERIFY(reader.initializeFromMetadata(&metadata));
        QVERIFY(reader.fillMetadata());
        QCOMPARE(metadata.bitsPerComponent, 10u);
        // The record describes the 8-bit frames whatever this reader reads.
        QCOMPARE(metadata.stride, quint32(width * 2));
        std::unique_ptr<Frame> first(reader.getNextFrame(false));
        QVERIFY(first);
        if (deep == QLatin1String("after")) {
            QCOMPARE(first->bitsPerSample, 8);
            QVERIFY(reader.setDeepPictures(true));
        }
        std::unique_ptr<Frame> frame(reader.getNextFrame(false));
        QVERIFY(frame);
        QCOMPARE(frame->index, 1);
        QCOMPARE(frame->bitsPerSample, bits);
        const int sampleBytes = bits / 8;
        QVERIFY(frame->effectiveStride() >= quint32(width * 2 * sampleBytes));

        for (const int row : { 0, 31, 63 }) {
            const uchar* line = frame->data + size_t(row) * frame->effectiveStride();
            // A sample on the 10-bit scale of video levels (235 of 8 bits
            // and 940 of 10 at the same place).
            auto code = [&](int index) {
                if (sampleBytes == 1)
                    return double(line[index]) * 4.0;
                return double(qFromLittleEndian<quint16>(line + 2 * index)) * 1020.0 / 65535.0;
            };
            std::set<int> levels;
            double worstLuma = 0.0;
            double worstChroma = 0.0;
            for (int x = 0; x < width; ++x) {
                levels.insert(sampleBytes == 1 ? line[2 * x] : qFromLittleEndian<quint16>(line + 4 * x));
                worstLuma = std::max(worstLuma, std::abs(code(2 * x) - lumaCodes[row * width + x]));
                if (x % 2 == 0)
                    worstChroma = std::max(worstChroma, std::abs(code(2 * x + 1) - uCodes[row * width / 2 + x / 2]));
            }
            const QString where = QStringLiteral("row %1: %2 levels, luma off by %3, chroma by %4")
                                      .arg(row)
                                      .arg(levels.size())
                                      .arg(worstLuma)
                                      .arg(worstChroma);
            if (bits == 16) {
                QVERIFY2(levels.size() >= 700, qPrintable(where));
                QVERIFY2(worstLuma <= 1.0 && worstChroma <= 1.0, qPrintable(where));
            } else {
                QVERIFY2(levels.size() <= 256, qPrintable(where));
                // Still the same picture, to an 8-bit step (4 codes) and a
                // rounding.
                QVERIFY2(worstLuma <= 5.0 && worstChroma <= 5.0, qPrintable(where));
            }
        }
    }

    void thumbnailSizes()
    {
        QCOMPARE(WinSourceReader::thumbnailSize(1920, 1080), QSize(444, 250));
        QCOMPARE(WinSourceReader::thumbnailSize(1080, 1920), QSize(250, 444));
        QCOMPARE(WinSourceReader::thumbnailSize(500, 500), QSize(250, 250));
        QCOMPARE(WinSourceReader::thumbnailSize(0, 500), QSize());
        // Never longer than the thumbnail cache stores; the proportion kept.
        QCOMPARE(WinSourceReader::thumbnailSize(2048, 2), QSize(8192, 8));
        QCOMPARE(WinSourceReader::thumbnailSize(1, 4000), QSize(2, 8192));
    }

    void fillMetadata_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("thumbnail");
        QTest::addColumn<int>("thumbnailIndex");
        QTest::addColumn<uint>("colorRange");
        QTest::addColumn<bool>("hasAudio");
        QTest::addColumn<uint>("durationMs");
        // Bits of each picture component as coded.
        QTest::addColumn<uint>("bits");

        QTest::newRow("1080p25") << int(TestMedia::H264Limited1080p25) << QSize(1920, 1080) << QSize(444, 250) << 25
                                 << 1u << true << 2001u << 8u;
        QTest::newRow("1088 rows") << int(TestMedia::H264Height1088) << QSize(1920, 1080) << QSize(444, 250) << 5 << 1u
                                   << false << 401u << 8u;
        QTest::newRow("full range") << int(TestMedia::H264FullRange) << QSize(640, 360) << QSize(444, 250) << 25 << 2u
                                    << false << 1201u << 8u;
        QTest::newRow("portrait") << int(TestMedia::Portrait) << QSize(1080, 1920) << QSize(250, 444) << 5 << 1u
                                  << false << 401u << 8u;
        QTest::newRow("prores") << int(TestMedia::ProResMov) << QSize(640, 360) << QSize(444, 250) << 25 << 1u << true
                                << 1201u << 10u;
        QTest::newRow("29.97") << int(TestMedia::H264Fps2997) << QSize(640, 360) << QSize(444, 250) << 25 << 1u << true
                               << 2003u << 8u;
    }

    void fillMetadata()
    {
        QFETCH(int, clip);
        QFETCH(QSize, size);
        QFETCH(QSize, thumbnail);
        QFETCH(int, thumbnailIndex);
        QFETCH(uint, colorRange);
        QFETCH(bool, hasAudio);
        QFETCH(uint, durationMs);
        QFETCH(uint, bits);
        const TestMedia::ClipInfo info = TestMedia::info(TestMedia::Clip(clip));

        std::unique_ptr<Frame> thumbnailFrame;
        auto m = describe(TestMedia::Clip(clip), &thumbnailFrame);
        QVERIFY(m);
        QCOMPARE(QSize(int(m->width), int(m->height)), size);
        QCOMPARE(m->frameCount, uint(info.frameCount));
        QCOMPARE(m->frameRateNum, uint(info.frameRateNum));
        QCOMPARE(m->frameRateDen, uint(info.frameRateDen));
        QCOMPARE(m->colorRange, colorRange);
        QCOMPARE(m->hasAudio, hasAudio);
        QCOMPARE(m->durationMs, durationMs);
        QCOMPARE(m->bitsPerComponent, bits);
        QVERIFY(m->stride >= 2 * m->width);
        QCOMPARE(m->frameBytes, m->stride * m->height);
        QVERIFY(m->bitRate > 0);
        if (hasAudio) {
            QCOMPARE(m->channels, 2u);
            QCOMPARE(m->sampleRate, 48000u);
            QCOMPARE(m->bitsPerSample, 16u);
        }

        QVERIFY(thumbnailFrame);
        QCOMPARE(QSize(int(thumbnailFrame->metadata->width), int(thumbnailFrame->metadata->height)), thumbnail);
        QCOMPARE(thumbnailFrame->metadata->stride, uint(4 * thumbnail.width()));
        QVERIFY(thumbnailFrame->metadata != m.get());
        std::unique_ptr<QImage> image(thumbnailFrame->toImage());
        QVERIFY(image);
        QCOMPARE(image->size(), thumbnail);
        QCOMPARE(TestMedia::frameIndexFromImage(*image), thumbnailIndex);
        QCOMPARE(thumbnailFrame->index, thumbnailIndex);
    }

    void sequentialDecodingDeliversEveryFrameInOrder_data()
    {
        QTest::addColumn<int>("clip");
        QTest::newRow("1080p25") << int(TestMedia::H264Limited1080p25);
        QTest::newRow("29.97") << int(TestMedia::H264Fps2997);
        QTest::newRow("prores") << int(TestMedia::ProResMov);
        QTest::newRow("1088 rows") << int(TestMedia::H264Height1088);
    }

    void sequentialDecodingDeliversEveryFrameInOrder()
    {
        QFETCH(int, clip);
        auto m = describe(TestMedia::Clip(clip));
        QVERIFY(m);
        WinSourceReader reader;
        QSignalSpy slider(&reader, &WinSourceReader::updateSlider);
        QSignalSpy ended(&reader, &SourceReader::endOfVideoStreamReach);
        QVERIFY(reader.initializeFromMetadata(m.get()));
        int expected = 0;
        while (std::unique_ptr<Frame> frame { reader.getNextFrame(false) }) {
            QCOMPARE(shownIndex(frame.get()), expected);
            QCOMPARE(frame->index, expected);
            QCOMPARE(frame->stride, m->stride);
            QVERIFY(frame->timestamp >= 0);
            QVERIFY(frame->duration > 0);
            ++expected;
        }
        QCOMPARE(expected, int(m->frameCount));
        QCOMPARE(slider.count(), expected);
        QCOMPARE(slider.last().first().toInt(), expected - 1);
        QCOMPARE(ended.count(), 1);
        // Without looping the end stays the end.
        QVERIFY(!reader.getNextFrame(false));
    }

    void preciseSeekGivesThatFrame()
    {
        auto m = describe(TestMedia::H264Limited1080p25);
        QVERIFY(m);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(m.get()));
        // Key frames are every 12 frames: land on them, just after, and between.
        for (quint32 n : { 30u, 0u, 1u, 11u, 12u, 13u, 24u, 49u, 5u }) {
            QVERIFY(reader.seekToFrame(n, true));
            std::unique_ptr<Frame> frame(reader.getNextFrame(true));
            QVERIFY2(frame, qPrintable(QString::number(n)));
            QCOMPARE(shownIndex(frame.get()), int(n));
            QCOMPARE(frame->index, int(n));
            std::unique_ptr<Frame> next(reader.getNextFrame(true));
            if (n == 49) {
                // The end of the clip: null once, then the loop starts at frame 0.
                QVERIFY(!next);
                next.reset(reader.getNextFrame(true));
                QCOMPARE(shownIndex(next.get()), 0);
            } else {
                QCOMPARE(shownIndex(next.get()), int(n + 1));
            }
        }
        reader.setCurrentPositionFromSlider(37, true);
        std::unique_ptr<Frame> frame(reader.getNextFrame(true));
        QVERIFY(frame);
        QCOMPARE(shownIndex(frame.get()), 37);
    }

    void fastSeekStartsAtKeyFrameBefore()
    {
        auto m = describe(TestMedia::H264Limited1080p25);
        QVERIFY(m);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(m.get()));
        reader.setCurrentPositionFromSlider(30);
        std::unique_ptr<Frame> frame(reader.getNextFrame(true));
        QVERIFY(frame);
        QCOMPARE(shownIndex(frame.get()), 24);
    }

    void sequenceItemInPointLeavesReaderOneFrameFurther()
    {
        auto m = describe(TestMedia::H264Limited1080p25);
        QVERIFY(m);
        SequenceItem item(m.get(), nullptr, 20, 30);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromSequenceItem(&item));
        std::unique_ptr<Frame> first(reader.getNextFrame(true));
        QVERIFY(first);
        QCOMPARE(shownIndex(first.get()), 21);

        // The out point is the last frame delivered; looping restarts at the in point.
        int last = shownIndex(first.get());
        for (;;) {
            std::unique_ptr<Frame> frame(reader.getNextFrame(true));
            if (!frame)
                break;
            QCOMPARE(shownIndex(frame.get()), last + 1);
            last = shownIndex(frame.get());
            QVERIFY(last <= 30);
        }
        QCOMPARE(last, 30);
        std::unique_ptr<Frame> wrapped(reader.getNextFrame(true));
        QVERIFY(wrapped);
        QCOMPARE(shownIndex(wrapped.get()), 20);
    }

    void sequenceItemWithoutInPointStartsAtZero()
    {
        auto m = describe(TestMedia::NoAudio);
        QVERIFY(m);
        SequenceItem item(m.get(), nullptr, 0, m->frameCount);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromSequenceItem(&item));
        std::unique_ptr<Frame> frame(reader.getNextFrame(true));
        QCOMPARE(shownIndex(frame.get()), 0);

        // Looping at the end of a whole clip starts again at frame 0.
        for (int i = 1; i < int(m->frameCount); ++i)
            delete reader.getNextFrame(true);
        QVERIFY(!reader.getNextFrame(true));
        frame.reset(reader.getNextFrame(true));
        QCOMPARE(shownIndex(frame.get()), 0);

        // No item, or an invalid asset: nothing to open, and no failure.
        QVERIFY(reader.initializeFromSequenceItem(nullptr));
        QVERIFY(!reader.getNextFrame(true));
        AssetMetadata invalid;
        invalid.valid = false;
        SequenceItem invalidItem(&invalid, nullptr, 0, 0);
        QVERIFY(reader.initializeFromSequenceItem(&invalidItem));
    }

    void badInputIsRefused_data()
    {
        QTest::addColumn<QString>("path");
        TestMedia& media = TestMedia::instance();
        QTest::newRow("missing") << media.folder() + QStringLiteral("/missing.mp4");
        QTest::newRow("zero bytes") << media.makeZeroByteFile(QStringLiteral("empty.mp4"));
        QTest::newRow("random bytes") << media.makeRandomBytesFile(QStringLiteral("noise.mp4"), 200000);
        QTest::newRow("truncated") << media.makeTruncatedCopy(
            TestMedia::H264Limited1080p25, QStringLiteral("truncated.mp4"), 0.5);
        QTest::newRow("audio only") << media.path(TestMedia::AudioOnly);
        // Text files that would make the demuxer open another clip of the
        // folder and play that one instead.
        const QString listed = QFileInfo(media.footagePath(TestMedia::FootageTsGop12)).fileName();
        QTest::newRow("HLS playlist") << media.makeHlsPlaylistFile(QStringLiteral("playlist.mp4"), listed);
        QTest::newRow("concat list") << media.makeConcatListFile(QStringLiteral("list.mov"), listed);

        // Tests run as root, so permission bits would not stop a read: use a
        // folder named like a clip and a FIFO (which would block an open).
        const QString folder = media.folder() + QStringLiteral("/folder.mp4");
        QDir().mkpath(folder);
        QTest::newRow("directory") << folder;
        const QString fifo = media.folder() + QStringLiteral("/pipe.mp4");
        ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
        QTest::newRow("fifo") << fifo;
    }

    void badInputIsRefused()
    {
        QFETCH(QString, path);
        QVERIFY(!path.isEmpty());
        expectMediaNotHandled(path);
    }

    void truncatedFileWithIndexFirstEndsTheStream()
    {
        // The index at the front survives; the pictures run out half way.
        TestMedia& media = TestMedia::instance();
        const QString whole = media.generate(QStringLiteral("faststart.mp4"),
            { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                TestMedia::indexedVideoSource(640, 360, QStringLiteral("25"), 2.0) + QStringLiteral(",format=yuv420p"),
                QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-g"), QStringLiteral("12"),
                QStringLiteral("-movflags"), QStringLiteral("+faststart") });
        QVERIFY(!whole.isEmpty());
        QFile source(whole);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        const QString cutPath = media.folder() + QStringLiteral("/faststart_cut.mp4");
        QFile cut(cutPath);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(bytes.size() * 6 / 10));
        cut.close();

        // Describing it fails cleanly (its frame 25 is damaged or missing);
        // play it with the description of the whole file.
        AssetMetadata m;
        m.filePath = whole;
        WinSourceReader describer(true);
        QVERIFY(describer.initializeFromMetadata(&m));
        QVERIFY(describer.fillMetadata());
        QCOMPARE(m.frameCount, 50u);
        m.filePath = cutPath;
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(&m));
        int delivered = 0;
        while (std::unique_ptr<Frame> frame { reader.getNextFrame(false) }) {
            QCOMPARE(shownIndex(frame.get()), delivered);
            ++delivered;
        }
        QVERIFY2(delivered > 0 && delivered < 50, qPrintable(QString::number(delivered)));
        QVERIFY(reader.seekToFrame(0, true));
        std::unique_ptr<Frame> again(reader.getNextFrame(false));
        QCOMPARE(shownIndex(again.get()), 0);
    }

    void decodeErrorEndsTheStreamAndSeekingStillWorks()
    {
        const QString damaged = TestMedia::instance().makeProResWithDamagedFrame(10, QStringLiteral("damaged.mov"));
        QVERIFY(!damaged.isEmpty());
        AssetMetadata m;
        m.filePath = damaged;
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(&m));
        QVERIFY(reader.fillMetadata());
        int delivered = 0;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Decode Error, code: -?\\d+$"));
        while (std::unique_ptr<Frame> frame { reader.getNextFrame(true) }) {
            QCOMPARE(shownIndex(frame.get()), delivered);
            ++delivered;
        }
        QCOMPARE(delivered, 10);
        QVERIFY(reader.seekToFrame(3, true));
        std::unique_ptr<Frame> frame(reader.getNextFrame(true));
        QCOMPARE(shownIndex(frame.get()), 3);
        QVERIFY(reader.seekToFrame(20, true));
        frame.reset(reader.getNextFrame(true));
        QCOMPARE(shownIndex(frame.get()), 20);
    }

    void reinitialisationOnTheSameReader()
    {
        auto a = describe(TestMedia::NoAudio);
        auto b = describe(TestMedia::Portrait);
        QVERIFY(a && b);
        WinSourceReader reader;
        for (int round = 0; round < 3; ++round) {
            QVERIFY(reader.initializeFromMetadata(a.get()));
            std::unique_ptr<Frame> frame(reader.getNextFrame(false));
            QCOMPARE(frame->metadata, a.get());
            QVERIFY(reader.initializeFromMetadata(b.get()));
            frame.reset(reader.getNextFrame(false));
            QCOMPARE(frame->metadata, b.get());
            QCOMPARE(shownIndex(frame.get()), 0);
        }
        reader.releaseAll();
        QVERIFY(!reader.getNextFrame(false));
    }
};

EMULSA_TEST_MAIN(SourceReaderTest)
#include "tst_sourcereader.moc"
