#include "common/TestEnvironment.h"

#include "OffscreenRendererFixture.h"
#include "common/FileSizeLimit.h"
#include "common/RenderProbe.h"
#include "common/TestMedia.h"
#include "core/FilmLibrary.h"
#include "core/GradeTables.h"
#include "core/ReferenceGrade.h"
#include "media/render/OutputPaths.h"
#include "media/render/WinOffscreenRenderer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Emulsa;
using Emulsa::Test::fileBytes;
using Emulsa::Test::OffscreenRendererFixture;
using Emulsa::Test::RenderFixture;
using Emulsa::Test::RenderProbe;
using Emulsa::Test::TestMedia;
using Emulsa::Test::writeFileBytes;

namespace {

// Frame indices shown by the pictures of a decoded movie (yuv420p planes).
QList<int> shownIndices(const QByteArray& planes, int width, int height)
{
    QList<int> indices;
    const int frameBytes = width * height * 3 / 2;
    for (int offset = 0; offset + frameBytes <= planes.size(); offset += frameBytes) {
        // The luma plane read as a YUY2 picture's luma: build a packed copy.
        std::vector<uchar> packed(size_t(width) * height * 2, 128);
        for (int i = 0; i < width * height; ++i)
            packed[2 * i] = uchar(planes.at(offset + i));
        indices << TestMedia::frameIndexFromYuy2(packed.data(), width, height, width * 2);
    }
    return indices;
}

// 0, the frame counts, -41 while a movie is finalised, the count up to the
// item's length, -42.
QList<int> expectedProgress(int frames, int length, bool movie = true)
{
    QList<int> values { 0 };
    for (int i = 1; i <= std::max(frames, length); ++i)
        values << i;
    if (movie)
        values.insert(frames + 1, -41);
    values << -42;
    return values;
}

} // namespace

class TestOffscreenRenderer : public OffscreenRendererFixture
{
    Q_OBJECT

private slots:
    // A graded movie is a real movie whose pictures are the CPU reference
    // grade of the source pictures, within what H.264 coding changes.
    void gradedMovieMatchesReference()
    {
        const QString source = media().path(TestMedia::PlanarFloatAudio);
        QVERIFY(!source.isEmpty());
        AssetMetadata* asset = m_fixture.describe(source);
        QVERIFY(asset);
        const int w = int(asset->width);
        const int h = int(asset->height);
        const ClipSettings grade = RenderFixture::stockGrade();
        SequenceItem* item = m_fixture.item(asset, grade, 0, asset->frameCount);
        const RenderFixture::Result result = m_fixture.render(item, H264HighQuality, m_out, QSize(w, h));
        QVERIFY2(result.initialized && result.ran, qPrintable(result.error));
        QCOMPARE(result.progress, expectedProgress(25, 25));

        const QString movie = m_out + QStringLiteral("/h264_aac.mov");
        const RenderProbe::Movie probe = RenderProbe::probe(movie);
        QVERIFY(probe.ok);
        QCOMPARE(probe.video.codec, QStringLiteral("h264"));
        QCOMPARE(probe.video.profile, QStringLiteral("High"));
        QCOMPARE(probe.video.width, w);
        QCOMPARE(probe.video.height, h);
        QCOMPARE(probe.video.frameRate, QStringLiteral("25/1"));
        QCOMPARE(probe.video.frames, 25);
        QCOMPARE(probe.audio.codec, QStringLiteral("aac"));
        QCOMPARE(probe.audio.startTime, 0.0);
        QVERIFY2(std::abs(probe.audio.duration - 1.0) < 0.025, qPrintable(QString::number(probe.audio.duration)));

        // The reference: source YUY2 -> RGB -> CPU grade -> YUY2.
        GradeTables tables;
        tables.applySettings(grade);
        ReferenceGradeInputs inputs = ReferenceGradeInputs::fromTables(tables, grade);
        StockTableData stock = FilmLibrary::instance()->loadStockTable(grade.getStockName(), grade.getSourceType());
        QVERIFY(stock.get());
        inputs.stockTable = stock.get();
        const QByteArray sourceFrames = RenderProbe::decode(source, QStringLiteral("yuyv422"));
        const QByteArray outputFrames = RenderProbe::decode(movie, QStringLiteral("yuv420p"));
        QCOMPARE(sourceFrames.size(), 25 * w * h * 2);
        QCOMPARE(outputFrames.size(), 25 * w * h * 3 / 2);
        std::vector<float> rgb(size_t(w) * h * 3);
        std::vector<uchar> reference(size_t(w) * h * 2);
        for (int frame : { 0, 12, 24 }) {
            const auto* yuy2 = reinterpret_cast<const uint8_t*>(sourceFrames.constData()) + size_t(frame) * w * h * 2;
            QVERIFY(ReferenceGrade::yuy2ToRgb(yuy2, w, h, false, rgb.data()));
            ReferenceGrade::gradeRgb(rgb.data(), rgb.data(), w, h, inputs);
            for (float& v : rgb)
                v = std::clamp(v, 0.f, 1.f);
            QVERIFY(ReferenceGrade::rgbToYuy2(rgb.data(), w, h, false, reference.data()));
            const auto* luma = reinterpret_cast<const uchar*>(outputFrames.constData()) + size_t(frame) * w * h * 3 / 2;
            double sum = 0;
            std::vector<int> errors(size_t(w) * h);
            for (int i = 0; i < w * h; ++i) {
                errors[i] = std::abs(int(luma[i]) - int(reference[2 * i]));
                sum += errors[i];
            }
            std::sort(errors.begin(), errors.end());
            const double mean = sum / (w * h);
            const int p99 = errors[size_t(errors.size() * 0.99)];
            QVERIFY2(mean < 1.5 && p99 <= 6,
                qPrintable(QStringLiteral("frame %1: mean %2, 99th percentile %3").arg(frame).arg(mean).arg(p99)));
        }
    }

    // In and out points give exactly those frames, and the sound of that
    // stretch, starting at 0, led by silence rather than earlier sound.
    void inAndOutPoints()
    {
        const QString source = media().path(TestMedia::H264Fps2997);
        SequenceItem* item = m_fixture.neutralItem(source, 15, 45);
        QVERIFY(item);
        QCOMPARE(item->lengthInFrames(), qint64(30));
        const RenderFixture::Result result = m_fixture.render(item, H264Medium, m_out, QSize(640, 360));
        QVERIFY2(result.initialized && result.ran, qPrintable(result.error));
        QCOMPARE(result.progress, expectedProgress(30, 30));
        const QString movie = m_out + QStringLiteral("/h264_2997.mov");
        const RenderProbe::Movie probe = RenderProbe::probe(movie);
        QCOMPARE(probe.video.frames, 30);
        QCOMPARE(probe.video.frameRate, QStringLiteral("30000/1001"));
        QCOMPARE(probe.audio.startTime, 0.0);
        QVERIFY2(std::abs(probe.audio.duration - 1.001) < 0.025, qPrintable(QString::number(probe.audio.duration)));
        QList<int> expected;
        for (int i = 15; i < 45; ++i)
            expected << i;
        QCOMPARE(shownIndices(RenderProbe::decode(movie, QStringLiteral("yuv420p")), 640, 360), expected);

        // The sound is cut at the in point itself, sample for sample: the
        // tone is there from the first moment.
        const QByteArray sound = RenderProbe::decodeAudio(movie, probe.audio.sampleRate);
        const auto* samples = reinterpret_cast<const qint16*>(sound.constData());
        const int rate = probe.audio.sampleRate;
        QVERIFY(sound.size() / 4 > rate / 2);
        int leading = 0;
        int later = 0;
        for (int i = 0; i < rate / 400; ++i)
            leading = std::max(leading, std::abs(int(samples[2 * i])));
        for (int i = rate / 10; i < rate / 5; ++i)
            later = std::max(later, std::abs(int(samples[2 * i])));
        QVERIFY2(leading > TestMedia::tonePeak16 / 2, qPrintable(QString::number(leading)));
        QVERIFY2(later > TestMedia::tonePeak16 / 2, qPrintable(QString::number(later)));
    }

    // TIFF images are numbered from the frame index with six digits.
    void tiffSequence()
    {
        const QString source = media().path(TestMedia::NoAudio);
        SequenceItem* item = m_fixture.neutralItem(source, 5, 12);
        QVERIFY(item);
        const RenderFixture::Result result = m_fixture.render(item, TiffSequence, m_out, QSize(640, 360));
        QVERIFY2(result.initialized && result.ran, qPrintable(result.error));
        QCOMPARE(result.progress, expectedProgress(7, 7, false));
        const QString folder = m_out + QStringLiteral("/h264_noaudio");
        QStringList expected;
        for (int i = 5; i < 12; ++i)
            expected << QStringLiteral("h264_noaudio.%1.tiff").arg(i, 6, 10, QLatin1Char('0'));
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), expected);
        for (int i = 5; i < 12; ++i) {
            const QImage image(folder + QLatin1Char('/') + expected.at(i - 5));
            QCOMPARE(image.size(), QSize(640, 360));
            QCOMPARE(TestMedia::frameIndexFromImage(image), i);
        }
    }

    void masterFormats_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<QString>("sound");
        QTest::newRow("ProRes 422 HQ") << int(ProRes422HQ) << "prores"
                                       << "HQ"
                                       << "yuv422p10le"
                                       << "pcm_s24le";
        QTest::newRow("ProRes 4444") << int(ProRes4444) << "prores"
                                     << "4444"
                                     << "yuv444p12le"
                                     << "pcm_s24le";
        QTest::newRow("DNxHR HQX") << int(DNxHRHQX) << "dnxhd"
                                   << "DNXHR HQX"
                                   << "yuv422p10le"
                                   << "pcm_s24le";
        QTest::newRow("H.265 Main 10") << int(H265Main10) << "hevc"
                                       << "Main 10"
                                       << "yuv420p10le"
                                       << "aac";
        QTest::newRow("DPX") << int(Dpx10Sequence) << "dpx"
                             << ""
                             << "gbrp10le"
                             << "";
        QTest::newRow("OpenEXR") << int(ExrHalfSequence) << "exr"
                                 << ""
                                 << "gbrpf32le"
                                 << "";
    }

    // Each master format holds exactly frames 5 .. 14 of the clip in the
    // codec and layout it promises, movies with BT.709 tags and the sound of
    // the same stretch, sequences as numbered images.
    void masterFormats()
    {
        QFETCH(int, format);
        QFETCH(QString, codec);
        QFETCH(QString, profile);
        QFETCH(QString, pixelFormat);
        QFETCH(QString, sound);
        AssetMetadata* asset = m_fixture.describe(media().path(TestMedia::ProResMov));
        QVERIFY(asset);
        SequenceItem* item = m_fixture.item(asset, RenderFixture::neutralGrade(), 5, 15);
        const QSize size(640, 360);
        const RenderFixture::Result result = m_fixture.render(item, format, m_out, size);
        QVERIFY2(result.initialized && result.ran, qPrintable(result.error));
        const bool movie = OutputSettings::isMovieFormat(format);
        QCOMPARE(result.progress, expectedProgress(10, 10, movie));
        QList<int> expected;
        for (int i = 5; i < 15; ++i)
            expected << i;
        const QString base = QFileInfo(asset->filePath).completeBaseName();
        if (movie) {
            const QString path = m_out + QLatin1Char('/') + base + QStringLiteral(".mov");
            const RenderProbe::Movie probe = RenderProbe::probe(path);
            QCOMPARE(probe.video.codec, codec);
            QCOMPARE(probe.video.profile, profile);
            QCOMPARE(probe.video.pixelFormat, pixelFormat);
            QCOMPARE(QStringList({ probe.video.colorRange, probe.video.colorSpace, probe.video.colorTransfer,
                         probe.video.colorPrimaries }),
                QStringList({ "tv", "bt709", "bt709", "bt709" }));
            QCOMPARE(probe.video.frames, 10);
            QVERIFY(std::abs(probe.video.duration - 0.4) < 0.001);
            QCOMPARE(probe.audio.codec, sound);
            QVERIFY2(std::abs(probe.audio.duration - 0.4) < 0.025, qPrintable(QString::number(probe.audio.duration)));
            QCOMPARE(RenderProbe::shownIndices(path, size.width(), size.height()), expected);
            return;
        }
        const QDir folder(m_out + QLatin1Char('/') + base);
        const QStringList images = folder.entryList(QDir::Files, QDir::Name);
        QCOMPARE(images.size(), 10);
        for (int i = 0; i < images.size(); ++i) {
            QCOMPARE(images.at(i), QStringLiteral("%1.%2.%3").arg(base).arg(i + 5, 6, 10, QLatin1Char('0')).arg(codec));
            const QString path = folder.filePath(images.at(i));
            const RenderProbe::Movie probe = RenderProbe::probe(path);
            QCOMPARE(probe.video.codec, codec);
            QCOMPARE(probe.video.pixelFormat, pixelFormat);
            QCOMPARE(RenderProbe::shownIndices(path, size.width(), size.height()), QList<int> { expected.at(i) });
        }
    }

    void tenBitSourceKeepsItsSteps_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("layout");
        QTest::newRow("ProRes 422 HQ") << int(ProRes422HQ) << "yuv422p10le";
        QTest::newRow("DNxHR HQX") << int(DNxHRHQX) << "yuv422p10le";
        QTest::newRow("H.265 Main 10") << int(H265Main10) << "yuv420p10le";
        QTest::newRow("DPX") << int(Dpx10Sequence) << "gbrp10le";
        QTest::newRow("TIFF 16-bit") << int(TiffSequence) << "rgba64le";
    }

    // A 10-bit ramp (877 luma codes across 1024 columns) rendered with a
    // neutral grade keeps at least 700 distinct codes, where an 8-bit step
    // anywhere would leave at most 256, and each within 2 codes of the
    // source (on the 10-bit scale; RGB outputs at full range).
    void tenBitSourceKeepsItsSteps()
    {
        QFETCH(int, format);
        QFETCH(QString, layout);
        constexpr int width = 1024;
        constexpr int height = 128;
        const QString source = media().tenBitRamp(
            QStringLiteral("ramp10_render.mov"), width, height, QStringLiteral("64+X*876/1023"), QStringLiteral("512"));
        QVERIFY(!source.isEmpty());
        const QByteArray sourcePlanes = RenderProbe::decode(source, QString());
        QVERIFY(sourcePlanes.size() >= width * height * 2);
        const auto* sourceLuma = reinterpret_cast<const quint16*>(sourcePlanes.constData());

        SequenceItem* item = m_fixture.neutralItem(source, 0, 3);
        QVERIFY(item);
        m_fixture.tiffMenus[0] = 1;
        const RenderFixture::Result result = m_fixture.render(item, format, m_out, QSize(width, height));
        m_fixture.tiffMenus[0] = 0;
        QVERIFY2(result.initialized && result.ran, qPrintable(result.error));

        QString output = m_out + QStringLiteral("/ramp10_render");
        if (OutputSettings::isMovieFormat(format))
            output += QStringLiteral(".mov");
        else
            output += QStringLiteral("/ramp10_render.000001.") + OutputSettings::imageExtension(format);
        QCOMPARE(RenderProbe::probe(output).video.pixelFormat, layout);
        const QByteArray planes = RenderProbe::decode(output, QString());
        QVERIFY(planes.size() >= width * height * 2);
        const auto* samples = reinterpret_cast<const quint16*>(planes.constData());
        const int row = height / 2;
        QSet<int> codes;
        double worst = 0.0;
        for (int x = 0; x < width; ++x) {
            const double expected = sourceLuma[row * width + x];
            double got = 0.0;
            if (layout.startsWith(QLatin1String("yuv"))) {
                got = samples[row * width + x];
            } else {
                // Green (planes G, B, R or samples R, G, B, A), made
                // limited-range 10-bit to compare with the source's luma.
                const bool tiff = layout == QLatin1String("rgba64le");
                const quint16 green = tiff ? samples[(row * width + x) * 4 + 1] : samples[row * width + x];
                got = (tiff ? green / 65535.0 : green / 1023.0) * 876.0 + 64.0;
                codes.insert(green);
            }
            if (layout.startsWith(QLatin1String("yuv")))
                codes.insert(int(got));
            worst = std::max(worst, std::abs(got - expected));
        }
        qInfo().noquote() << QStringLiteral("measured %1: %2 distinct codes, worst %3 codes off")
                                 .arg(QString::fromLatin1(QTest::currentDataTag()))
                                 .arg(codes.size())
                                 .arg(worst, 0, 'f', 2);
        QVERIFY2(codes.size() >= 700, qPrintable(QString::number(codes.size())));
        QVERIFY2(worst <= 2.0, qPrintable(QString::number(worst)));
    }

    // Full-range and limited-range clips keep their levels through a neutral grade.
    void levelsAreKept_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("range");
        QTest::newRow("limited") << int(TestMedia::NoAudio) << int(H264HighQuality) << QStringLiteral("tv");
        QTest::newRow("full") << int(TestMedia::H264FullRange) << int(H264HighQuality) << QStringLiteral("pc");
        // Masters are limited range whatever the clip: full-range levels are
        // squeezed into it.
        QTest::newRow("full into ProRes") << int(TestMedia::H264FullRange) << int(ProRes422HQ) << QStringLiteral("tv");
    }
    void levelsAreKept()
    {
        QFETCH(int, clip);
        QFETCH(int, format);
        QFETCH(QString, range);
        const QString source = media().path(TestMedia::Clip(clip));
        AssetMetadata* asset = m_fixture.describe(source);
        QVERIFY(asset);
        SequenceItem* item = m_fixture.item(asset, RenderFixture::neutralGrade(), 0, 5);
        const RenderFixture::Result result = m_fixture.render(item, format, m_out, QSize(640, 360));
        QVERIFY2(result.ran, qPrintable(result.error));
        const QString movie = m_out + QLatin1Char('/') + OutputPaths::baseName(asset->name) + QStringLiteral(".mov");
        QCOMPARE(RenderProbe::probe(movie).video.colorRange, range);
        const bool deep = format != H264HighQuality;
        const QByteArray in = RenderProbe::decode(source, QStringLiteral("yuv420p"));
        const QByteArray out = RenderProbe::decode(movie, deep ? QString() : QStringLiteral("yuv420p"));
        QCOMPARE(out.size(), 5 * 640 * 360 * (deep ? 8 : 3) / 2);
        // Darkest and brightest luma of the first picture, in and out (10-bit
        // codes read on the 8-bit scale).
        int levels[2][2] = { { 255, 0 }, { 255, 0 } };
        for (int i = 0; i < 640 * 360; ++i) {
            const int before = uchar(in.at(i));
            const int after
                = deep ? (reinterpret_cast<const quint16*>(out.constData())[i] + 2) / 4 : int(uchar(out.at(i)));
            levels[0][0] = std::min(levels[0][0], before);
            levels[0][1] = std::max(levels[0][1], before);
            levels[1][0] = std::min(levels[1][0], after);
            levels[1][1] = std::max(levels[1][1], after);
        }
        const bool fullIn = clip == TestMedia::H264FullRange;
        const bool squeezed = fullIn && range == QLatin1String("tv");
        auto expected = [squeezed](int level) { return squeezed ? 16 + level * 219 / 255 : level; };
        QVERIFY2(std::abs(levels[1][0] - expected(levels[0][0])) <= 3
                && std::abs(levels[1][1] - expected(levels[0][1])) <= 3,
            qPrintable(QStringLiteral("in %1..%2, out %3..%4")
                           .arg(levels[0][0])
                           .arg(levels[0][1])
                           .arg(levels[1][0])
                           .arg(levels[1][1])));
        // A full-range movie reaches outside the limited range, a limited
        // one stays inside it.
        QCOMPARE(levels[1][0] < 14 || levels[1][1] > 237, range == QLatin1String("pc"));
    }
};

EMULSA_TEST_MAIN(TestOffscreenRenderer)
#include "tst_offscreenrenderer.moc"
