#include "common/TestEnvironment.h"

#include "TestFiles.h"
#include "core/ApplicationPaths.h"
#include "core/FilmLibrary.h"
#include "core/GrainLibrary.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>
#include <vector>

using Emulsa::ApplicationPaths;
using Emulsa::FilmLibrary;
using Emulsa::Grain;
using Emulsa::GrainCurve;
using Emulsa::GrainImage;
using Emulsa::GrainLibrary;

namespace {

using Emulsa::Test::appendFloat;
using Emulsa::Test::writeFile;

QByteArray noisePixels(int width, int height, int bytesPerPixel, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray pixels(width * height * bytesPerPixel, '\0');
    for (char& byte : pixels)
        byte = char(64 + random.bounded(128));
    return pixels;
}

QByteArray curveBytes(float base)
{
    QByteArray data;
    for (int i = 0; i < GrainCurve::kEntries * 3; ++i) {
        appendFloat(data, base + float(i));
    }
    return data;
}

// The scaling written out the long way: each channel on its own, the border
// made by OpenCV's own wrapping, the centre cut where the sizes say.
std::vector<std::uint8_t> referenceScale(
    const GrainImage& raw, int cropX, int cropY, int cw, int ch, int outW, int outH)
{
    auto target = [](int out, int crop) {
        int size = int((double(out) / crop) * (crop + 20));
        if ((size - out) % 2 != 0)
            size = out + 2 * ((size - out) / 2 + 1);
        return size;
    };
    const int dw = target(outW, cw);
    const int dh = target(outH, ch);
    std::vector<std::uint8_t> result(std::size_t(outW) * outH * 4, 255);
    for (int c = 0; c < 3; ++c) {
        cv::Mat channel(ch, cw, CV_8UC1);
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                channel.at<std::uint8_t>(y, x)
                    = raw.pixels()[(std::size_t(cropY + y) * raw.width() + std::size_t(cropX + x)) * raw.bytesPerPixel()
                        + std::size_t(c)];
        cv::Mat padded, resized;
        cv::copyMakeBorder(channel, padded, 10, 10, 10, 10, cv::BORDER_WRAP);
        cv::resize(padded, resized, cv::Size(dw, dh), 0, 0, cv::INTER_LANCZOS4);
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x)
                result[(std::size_t(y) * outW + std::size_t(x)) * 4 + std::size_t(c)]
                    = resized.at<std::uint8_t>(y + (dh - outH) / 2, x + (dw - outW) / 2);
    }
    return result;
}

} // namespace

class GrainLibraryTest : public QObject
{
    Q_OBJECT

    QString m_resources;

private slots:
    void initTestCase()
    {
        const QString programData = Emulsa::Test::makeTempFolder(QStringLiteral("grain"));
        qputenv("PROGRAMDATA", QFile::encodeName(programData));
        ApplicationPaths::instance()->clearCache();
        m_resources = programData + QStringLiteral("/Quillmoor/Resources");
        QVERIFY(QDir().mkpath(m_resources));
        // CP35 is a wide BGR image, CP16 a small RGBA one (smaller than any
        // target, so it is magnified).
        QVERIFY(GrainImage::writeQlif(
            m_resources + QStringLiteral("/CP35.bin"), GrainImage::BGR, 300, 200, noisePixels(300, 200, 3, 1)));
        QVERIFY(GrainImage::writeQlif(
            m_resources + QStringLiteral("/CP16.bin"), GrainImage::RGBA, 64, 48, noisePixels(64, 48, 4, 2)));
        writeFile(m_resources + QStringLiteral("/5207.emoGrain"), curveBytes(0.0f));
        writeFile(m_resources + QStringLiteral("/5213.emoGrain"), curveBytes(1000.0f));
        writeFile(m_resources + QStringLiteral("/8543.emoGrain"), curveBytes(0.0f).left(3071));
    }

    void cleanupTestCase()
    {
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }

    void selectionByWidthAndGauge_data()
    {
        QTest::addColumn<unsigned>("outputWidth");
        QTest::addColumn<unsigned>("outputHeight");
        QTest::addColumn<float>("factor");
        QTest::addColumn<QString>("type");
        QTest::addColumn<unsigned>("width");
        QTest::addColumn<unsigned>("height");
        QTest::newRow("8 mm at 1920") << 1920u << 1080u << 5.53f << "CP8" << 2654u << 1493u;
        QTest::newRow("35 mm at 1920") << 1920u << 1080u << 1.0f << "CP35" << 1920u << 1080u;
        QTest::newRow("35 mm at 3840") << 3840u << 2160u << 1.0f << "CP16" << 1920u << 1080u;
        QTest::newRow("16 mm at 1920") << 1920u << 1080u << 2.43f << "CP16" << 2332u << 1312u;
        QTest::newRow("full frame at 1920") << 1920u << 1080u << 0.69f << "CP35" << 1324u << 745u;
        QTest::newRow("2800 stays 35") << 2800u << 1000u << 1.0f << "CP35" << 2800u << 1000u;
        QTest::newRow("2801 is 16") << 2801u << 1001u << 1.0f << "CP16" << 1400u << 500u;
        QTest::newRow("5500 is 16") << 5500u << 1000u << 1.0f << "CP16" << 2750u << 500u;
        QTest::newRow("5501 is 8") << 5501u << 1003u << 1.0f << "CP8" << 1375u << 250u;
    }
    void selectionByWidthAndGauge()
    {
        QFETCH(unsigned, outputWidth);
        QFETCH(unsigned, outputHeight);
        QFETCH(float, factor);
        QFETCH(QString, type);
        QFETCH(unsigned, width);
        QFETCH(unsigned, height);
        // The factor arrives as the single-precision constant widened.
        const GrainLibrary::Selection selection = GrainLibrary::chooseGrain(outputWidth, outputHeight, double(factor));
        QCOMPARE(selection.type, type);
        QCOMPARE(selection.width, width);
        QCOMPARE(selection.height, height);
    }

    void qlifFormatsAreReordered()
    {
        const QByteArray bgr("\x01\x02\x03\x04\x05\x06", 6);
        QString error;
        auto image = GrainImage::fromQlif(GrainImage::encodeQlif(GrainImage::BGR, 2, 1, bgr), &error);
        QVERIFY(image);
        QCOMPARE(image->format(), quint32(GrainImage::RGB));
        QCOMPARE(
            QByteArray(reinterpret_cast<const char*>(image->pixels()), 6), QByteArray("\x03\x02\x01\x06\x05\x04", 6));

        const QByteArray bgra("\x01\x02\x03\x04", 4);
        for (quint32 format : { quint32(GrainImage::BGRA), quint32(GrainImage::BGRA2) }) {
            image = GrainImage::fromQlif(GrainImage::encodeQlif(format, 1, 1, bgra), &error);
            QVERIFY(image);
            QCOMPARE(image->format(), quint32(GrainImage::RGBA));
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(image->pixels()), 4), QByteArray("\x03\x02\x01\x04", 4));
        }
        for (quint32 format : { quint32(GrainImage::RGBA), quint32(GrainImage::RGBA2) }) {
            image = GrainImage::fromQlif(GrainImage::encodeQlif(format, 1, 1, bgra), &error);
            QVERIFY(image);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(image->pixels()), 4), bgra);
        }
        const QByteArray encoded = GrainImage::encodeQlif(GrainImage::RGB, 2, 1, bgr);
        QCOMPARE(encoded.size(), 1024 + 6);
        QCOMPARE(encoded.left(4), QByteArray("QLIF"));
        QCOMPARE(qFromLittleEndian<quint32>(encoded.constData() + 8), 2u);
        // The writer refuses pixels that do not match the size.
        QVERIFY(GrainImage::encodeQlif(GrainImage::RGB, 2, 2, bgr).isEmpty());
        QVERIFY(GrainImage::encodeQlif(6, 2, 1, bgr).isEmpty());
    }

    void brokenQlifFiles_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("message");
        const QByteArray good = GrainImage::encodeQlif(GrainImage::RGB, 4, 4, QByteArray(48, 'x'));
        QByteArray badMagic = good;
        badMagic[0] = 'X';
        QByteArray badFormat = good;
        qToLittleEndian<quint32>(6, badFormat.data() + 4);
        QByteArray zeroWidth = good;
        qToLittleEndian<quint32>(0, zeroWidth.data() + 8);
        QByteArray huge = good;
        qToLittleEndian<quint32>(0xFFFFFFFFu, huge.data() + 8);
        qToLittleEndian<quint32>(0xFFFFFFFFu, huge.data() + 12);
        QTest::newRow("empty") << QByteArray() << "Invalid header!";
        QTest::newRow("magic only") << QByteArray("QLIF") << "Invalid header!";
        QTest::newRow("wrong magic") << badMagic << "Invalid header!";
        QTest::newRow("format 6") << badFormat << "Invalid pixel format!";
        QTest::newRow("zero width") << zeroWidth << "Invalid dimensions in grain map!";
        QTest::newRow("pixels cut short") << good.left(good.size() - 1) << "Failed to convert to RGB!";
        QTest::newRow("header cut short") << good.left(600) << "Failed to convert to RGB!";
        QTest::newRow("sizes beyond the file") << huge << "Failed to convert to RGB!";
    }
    void brokenQlifFiles()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, message);
        QString error;
        QVERIFY(!GrainImage::fromQlif(data, &error));
        QCOMPARE(error, message);
    }

    void scalingMatchesPerChannelReference_data()
    {
        QTest::addColumn<int>("targetWidth");
        QTest::addColumn<int>("targetHeight");
        QTest::addColumn<int>("outWidth");
        QTest::addColumn<int>("outHeight");
        QTest::newRow("shrink") << 120 << 80 << 120 << 80;
        QTest::newRow("grow one side") << 450 << 150 << 450 << 150;
        QTest::newRow("odd sizes") << 211 << 97 << 211 << 97;
        // Larger in both directions: a 150 x 100 crop magnified by 2.
        QTest::newRow("magnify") << 600 << 400 << 300 << 200;
    }
    void scalingMatchesPerChannelReference()
    {
        QFETCH(int, targetWidth);
        QFETCH(int, targetHeight);
        QFETCH(int, outWidth);
        QFETCH(int, outHeight);
        QString error;
        auto raw = GrainImage::fromQlif(
            GrainImage::encodeQlif(GrainImage::RGB, 300, 200, noisePixels(300, 200, 3, 7)), &error);
        QVERIFY(raw);
        auto scaled = GrainImage::scaleForGrain(*raw, quint32(targetWidth), quint32(targetHeight), &error);
        QVERIFY2(scaled, qPrintable(error));
        QCOMPARE(int(scaled->width()), outWidth);
        QCOMPARE(int(scaled->height()), outHeight);
        QCOMPARE(scaled->bytesPerPixel(), 4);

        const bool magnified = outWidth != targetWidth;
        const int cw = magnified ? 150 : 300;
        const int ch = magnified ? 100 : 200;
        const std::vector<std::uint8_t> expected
            = referenceScale(*raw, (300 - cw) / 2, (200 - ch) / 2, cw, ch, outWidth, outHeight);
        QVERIFY(std::memcmp(expected.data(), scaled->pixels(), expected.size()) == 0);
    }

    void scalingRefusesWhatWouldBlowUp_data()
    {
        QTest::addColumn<int>("rawWidth");
        QTest::addColumn<int>("rawHeight");
        QTest::addColumn<int>("targetWidth");
        QTest::addColumn<int>("targetHeight");
        QTest::addColumn<QString>("error");
        const QString tooSmall = QString::fromLatin1(GrainImage::kInvalidDimensions);
        const QString tooLarge = QString::fromLatin1(GrainImage::kBufferAllocFailed);
        // Magnified until the crop is a pixel or none: gigabytes before.
        QTest::newRow("2 x 2 at 1920") << 2 << 2 << 1920 << 1080 << tooSmall;
        QTest::newRow("1 x 1 at 1920") << 1 << 1 << 1920 << 1080 << tooSmall;
        QTest::newRow("crop of 7 rows") << 64 << 48 << 200 << 300 << tooSmall;
        QTest::newRow("raw below the window") << 6 << 6 << 3 << 3 << tooSmall;
        // Not magnified (one side shrinks), but far too wide.
        QTest::newRow("padded side over the cap") << 300 << 200 << 20000 << 150 << tooLarge;
        QTest::newRow("padded area over the cap") << 300 << 12000 << 12000 << 12000 << tooLarge;
        QTest::newRow("crop of 8 rows") << 64 << 48 << 200 << 288 << QString();
    }
    void scalingRefusesWhatWouldBlowUp()
    {
        QFETCH(int, rawWidth);
        QFETCH(int, rawHeight);
        QFETCH(int, targetWidth);
        QFETCH(int, targetHeight);
        QFETCH(QString, error);
        QString parseError;
        auto raw = GrainImage::fromQlif(GrainImage::encodeQlif(GrainImage::RGB, quint32(rawWidth), quint32(rawHeight),
                                            noisePixels(rawWidth, rawHeight, 3, 5)),
            &parseError);
        QVERIFY(raw);
        QString scaleError;
        if (!error.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^GrainImage: ")));
        const auto scaled = GrainImage::scaleForGrain(*raw, quint32(targetWidth), quint32(targetHeight), &scaleError);
        QCOMPARE(scaled == nullptr, !error.isEmpty());
        QCOMPARE(scaleError, error);
    }

    void largeScratchIsFreedSmallIsKept()
    {
        QString error;
        auto small = GrainImage::fromQlif(
            GrainImage::encodeQlif(GrainImage::RGB, 300, 200, noisePixels(300, 200, 3, 3)), &error);
        QVERIFY(small);
        QVERIFY(GrainImage::scaleForGrain(*small, 250, 167, &error));
        const std::size_t kept = GrainImage::scratchBytes();
        QVERIFY(kept > 0 && kept <= GrainImage::kKeptScratchBytes);

        // 2400 x 2400: the padded and resized pictures hold about 35 MB.
        auto large = GrainImage::fromQlif(
            GrainImage::encodeQlif(GrainImage::RGB, 2400, 2400, noisePixels(2400, 2400, 3, 4)), &error);
        QVERIFY(large);
        QVERIFY(GrainImage::scaleForGrain(*large, 2400, 2400, &error));
        QCOMPARE(GrainImage::scratchBytes(), std::size_t(0));
        // Each thread has its own.
        std::size_t other = 1;
        std::thread([&other] { other = GrainImage::scratchBytes(); }).join();
        QCOMPARE(other, std::size_t(0));
    }

    void smallRawImageMagnifies()
    {
        GrainLibrary library(FilmLibrary::instance());
        // CP16 is 64 x 48; a 200-wide map: scale 3.125, crop 20 x 15, map 62 x 46.
        Grain* grain = library.getGrain(QStringLiteral("CP16"), QStringLiteral("5207"), 200, 150);
        QVERIFY2(grain, qPrintable(library.lastError()));
        QCOMPARE(grain->width(), 62u);
        QCOMPARE(grain->height(), 46u);
        QCOMPARE(grain->raw(), library.getRawGrain(QStringLiteral("CP16")));
    }

    void heightFollowsRawAspect()
    {
        GrainLibrary library(FilmLibrary::instance());
        // CP35 is 300 x 200: width 250 gives ceil(250 / 1.5) = 167 rows,
        // whatever height the key names.
        Grain* grain = library.getGrain(QStringLiteral("CP35"), QStringLiteral("5207"), 250, 999);
        QVERIFY(grain);
        QCOMPARE(grain->width(), 250u);
        QCOMPARE(grain->height(), 167u);
        QVERIFY(library.getGrain(QStringLiteral("CP35"), QStringLiteral("5207"), 250, 998) != grain);
        QCOMPARE(library.getGrain(QStringLiteral("CP35"), QStringLiteral("5207"), 250, 999), grain);
    }

    void cachedGrainTakesEachStocksCurve()
    {
        GrainLibrary library(FilmLibrary::instance());
        Grain* first = library.getGrain(QStringLiteral("CP35"), QStringLiteral("5207"), 180, 100);
        QVERIFY(first);
        QVERIFY(first->curve());
        QCOMPARE(first->curve()->values[1], 1.0f);
        Grain* second = library.getGrain(QStringLiteral("CP35"), QStringLiteral("5213"), 180, 100);
        QCOMPARE(second, first);
        QCOMPARE(second->curve()->values[1], 1001.0f);
        QCOMPARE(second->curve(), library.getGrainCurve(QStringLiteral("5213")));
        QCOMPARE(
            library.getGrain(QStringLiteral("CP35"), QStringLiteral("5207"), 180, 100)->curve()->values[767], 767.0f);
    }

    void missingOrShortCurveGivesNothingButKeepsTheMap()
    {
        GrainLibrary library(FilmLibrary::instance());
        QVERIFY(!library.getGrainCurve(QStringLiteral("8543"))); // 3,071 bytes
        QVERIFY(!library.getGrainCurve(QStringLiteral("FujiNeopan"))); // no file
        QVERIFY(!library.getGrain(QStringLiteral("CP16"), QStringLiteral("8543"), 32, 24));
        // The map was built and cached: it comes back even with its raw file gone.
        QVERIFY(QFile::rename(m_resources + QStringLiteral("/CP16.bin"), m_resources + QStringLiteral("/CP16.away")));
        Grain* grain = library.getGrain(QStringLiteral("CP16"), QStringLiteral("5207"), 32, 24);
        QVERIFY(QFile::rename(m_resources + QStringLiteral("/CP16.away"), m_resources + QStringLiteral("/CP16.bin")));
        QVERIFY(grain);
        QCOMPARE(grain->width(), 32u);
    }

    void failedRawImageIsNotCached()
    {
        GrainLibrary library(FilmLibrary::instance());
        QVERIFY(!library.getGrain(QStringLiteral("CP8"), QStringLiteral("5207"), 100, 50)); // no file
        QVERIFY(library.lastError().isEmpty());

        writeFile(m_resources + QStringLiteral("/CP8.bin"), QByteArray("not an image at all"));
        QVERIFY(!library.getGrain(QStringLiteral("CP8"), QStringLiteral("5207"), 100, 50));
        QCOMPARE(library.lastError(), QStringLiteral("Invalid header!"));

        QVERIFY(GrainImage::writeQlif(
            m_resources + QStringLiteral("/CP8.bin"), GrainImage::RGB, 40, 40, noisePixels(40, 40, 3, 3)));
        Grain* grain = library.getGrain(QStringLiteral("CP8"), QStringLiteral("5207"), 100, 50);
        QVERIFY(grain);
        QVERIFY(QFile::remove(m_resources + QStringLiteral("/CP8.bin")));
        QVERIFY(!library.getGrain(QStringLiteral("CP8"), QStringLiteral("5207"), 0, 0));
        QCOMPARE(library.lastError(), QStringLiteral("Invalid dimensions in grain map!"));
    }

    void normaliseUsesAFixedScale_data()
    {
        // The first pixel's byte sets no range any more: whatever comes first,
        // the same byte gives the same value.
        QTest::addColumn<int>("first");
        QTest::newRow("first pixel dark") << 20;
        QTest::newRow("first pixel neutral") << 128;
        QTest::newRow("first pixel bright") << 240;
    }

    void normaliseUsesAFixedScale()
    {
        QFETCH(int, first);
        std::vector<std::uint8_t> map(4 * 300, 100);
        map[0] = std::uint8_t(first);
        map[4 * 10 + 1] = 128;
        map[4 * 249 + 2] = 156;
        map[4 * 299 + 1] = 255;
        map[3] = 0; // alpha is not looked at
        std::vector<float> out(3 * 300);
        Grain::normalise(map.data(), 300, out.data());
        QCOMPARE(out[0], 0.5f + (first - 128) / 112.0f);
        // 128 is no grain; 28 levels (the stored maps' deviation) are 0.25.
        QCOMPARE(out[3 * 10 + 1], 0.5f);
        QCOMPARE(out[3 * 249 + 2], 0.75f);
        QCOMPARE(out[3 * 5], 0.25f);
        QCOMPARE(out[3 * 299 + 1], 0.5f + 127.0f / 112.0f);
    }

    void normalisedMapIsTheScaledBytesOnTheFixedScale()
    {
        GrainLibrary library(FilmLibrary::instance());
        Grain* grain = library.getGrain(QStringLiteral("CP35"), QStringLiteral("5207"), 160, 90);
        QVERIFY(grain && grain->isValid());
        QCOMPARE(grain->textureBytes(), grain->scaled()->pixels());
        const std::vector<float> values = grain->normalised();
        const std::size_t pixels = std::size_t(grain->width()) * grain->height();
        QCOMPARE(values.size(), pixels * 3);
        const std::uint8_t* bytes = grain->textureBytes();
        for (std::size_t i : { std::size_t(0), pixels / 2, pixels - 1 })
            for (int c = 0; c < 3; ++c)
                QCOMPARE(values[3 * i + c], 0.5f + (float(bytes[4 * i + c]) - 128.0f) / 112.0f);
    }

    void concurrentRequestsShareOneGrain()
    {
        GrainLibrary library(FilmLibrary::instance());
        std::vector<Grain*> results(8, nullptr);
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < results.size(); ++i) {
            threads.emplace_back([&library, &results, i] {
                Grain* grain = library.getGrain(
                    QStringLiteral("CP35"), i % 2 ? QStringLiteral("5213") : QStringLiteral("5207"), 140, 80);
                if (grain && grain->isValid())
                    results[i] = grain;
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        for (Grain* grain : results)
            QCOMPARE(grain, results[0]);
        QVERIFY(results[0] && results[0]->textureBytes());
    }
};

EMULSA_TEST_MAIN(GrainLibraryTest)
#include "tst_grainlibrary.moc"
