#include "common/TestEnvironment.h"

#include "common/RenderProbe.h"

#include "media/encode/ImageWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <vector>

using namespace Emulsa;
using Emulsa::Test::RenderProbe;

namespace {

constexpr int width = 96;
constexpr int height = 16;

// Smooth ramps in red and green, steps in blue, opaque: 16-bit samples
// whose low bits matter, and a picture that compresses well.
std::vector<quint16> picture16()
{
    std::vector<quint16> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            quint16* p = &rgba[(size_t(y) * width + x) * 4];
            p[0] = quint16(x * 683 + y);
            p[1] = quint16(65535 - x * 500);
            p[2] = quint16((y / 4) * 16384);
            p[3] = 65535;
        }
    return rgba;
}

} // namespace

// TIFF images as the TIFF menus ask for them, read back by another tool.
class TestImageWriter : public QObject
{
    Q_OBJECT

private slots:
    void menusBecomeOptions()
    {
        QCOMPARE(TiffOptions::depthNames().size(), 2);
        QCOMPARE(TiffOptions::compressionNames().size(), 3);
        QCOMPARE(TiffOptions::alphaNames().size(), 2);
        // Index 0 everywhere is how sequences were always written.
        const TiffOptions first = TiffOptions::fromMenus(0, 0, 0);
        QVERIFY(!first.sixteenBits && first.compression == TiffOptions::NoCompression && first.alpha);
        const TiffOptions last = TiffOptions::fromMenus(1, 2, 1);
        QVERIFY(last.sixteenBits && last.compression == TiffOptions::Deflate && !last.alpha);
        const TiffOptions wild = TiffOptions::fromMenus(7, -1, 9);
        QVERIFY(!wild.sixteenBits && wild.compression == TiffOptions::NoCompression && wild.alpha);
    }

    void imagesReadBackWhole_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("alpha");
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<int>("tag");
        const char* const formats[2][2] = { { "rgba", "rgb24" }, { "rgba64le", "rgb48le" } };
        const int tags[] = { 1, 5, 32946 };
        for (int depth = 0; depth < 2; ++depth)
            for (int compression = 0; compression < 3; ++compression)
                for (int alpha = 0; alpha < 2; ++alpha)
                    QTest::addRow("%s, %s, %s", qPrintable(TiffOptions::depthNames()[depth]),
                        qPrintable(TiffOptions::compressionNames()[compression]),
                        qPrintable(TiffOptions::alphaNames()[alpha]))
                        << depth << compression << alpha << QString::fromLatin1(formats[depth][alpha])
                        << tags[compression];
    }

    // Every combination: the tool sees the pixel format and compression
    // asked for, and the very samples written (alpha left out when asked).
    void imagesReadBackWhole()
    {
        QFETCH(int, depth);
        QFETCH(int, compression);
        QFETCH(int, alpha);
        QFETCH(QString, pixelFormat);
        QFETCH(int, tag);
        const TiffOptions options = TiffOptions::fromMenus(depth, compression, alpha);
        const std::vector<quint16> wide = picture16();
        std::vector<quint8> narrow(wide.size());
        for (size_t i = 0; i < wide.size(); ++i)
            narrow[i] = quint8(wide[i] >> 8);

        const QString path = Test::makeTempFolder(QStringLiteral("tiff")) + QStringLiteral("/image.tiff");
        ImageWriter writer(width, height, ImageWriter::Tiff, options);
        QVERIFY2(writer.isReady(), qPrintable(writer.lastError()));
        QVERIFY2(writer.write(path, options.sixteenBits ? static_cast<const void*>(wide.data()) : narrow.data()),
            qPrintable(writer.lastError()));
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden), QStringList { "image.tiff" });

        const RenderProbe::Movie probed = RenderProbe::probe(path);
        QCOMPARE(probed.video.pixelFormat, pixelFormat);
        QCOMPARE(probed.video.width, width);
        QCOMPARE(RenderProbe::tiffCompression(path), tag);

        // What was written, without its alpha when that is left out.
        QByteArray expected;
        const int channels = options.alpha ? 4 : 3;
        for (size_t pixel = 0; pixel < size_t(width) * height; ++pixel)
            for (int c = 0; c < channels; ++c) {
                if (options.sixteenBits) {
                    const quint16 v = wide[pixel * 4 + size_t(c)];
                    expected.append(char(v & 0xFF)).append(char(v >> 8));
                } else {
                    expected.append(char(narrow[pixel * 4 + size_t(c)]));
                }
            }
        QCOMPARE(RenderProbe::decode(path, pixelFormat), expected);
        if (compression != TiffOptions::NoCompression)
            QVERIFY(QFileInfo(path).size() < expected.size());
    }

    void sequenceFormatsReadBack_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<QString>("transfer");
        QTest::newRow("DPX 10-bit") << int(ImageWriter::Dpx10) << "dpx"
                                    << "gbrp10le"
                                    << "bt709";
        QTest::newRow("OpenEXR half") << int(ImageWriter::ExrHalf) << "exr"
                                      << "gbrpf32le" << QString();
    }

    // DPX keeps each sample rounded to 10 bits, OpenEXR each float to half
    // precision, in the right planes (the picture's channels all differ).
    void sequenceFormatsReadBack()
    {
        QFETCH(int, kind);
        QFETCH(QString, codec);
        QFETCH(QString, pixelFormat);
        QFETCH(QString, transfer);
        const std::vector<quint16> wide = picture16();
        std::vector<float> floats(wide.size());
        for (size_t i = 0; i < wide.size(); ++i)
            floats[i] = wide[i] / 65535.0f;
        ImageWriter writer(width, height, ImageWriter::Kind(kind));
        QVERIFY2(writer.isReady(), qPrintable(writer.lastError()));
        const bool exr = kind == ImageWriter::ExrHalf;
        QCOMPARE(writer.input(), exr ? ImageWriter::RgbaFloat : ImageWriter::Rgba16);
        const QString path = Test::makeTempFolder(QStringLiteral("images")) + QStringLiteral("/image.") + codec;
        QVERIFY2(writer.write(path, exr ? static_cast<const void*>(floats.data()) : wide.data()),
            qPrintable(writer.lastError()));

        const RenderProbe::Movie probed = RenderProbe::probe(path);
        QCOMPARE(probed.video.codec, codec);
        QCOMPARE(probed.video.pixelFormat, pixelFormat);
        QCOMPARE(probed.video.height, height);
        QCOMPARE(probed.video.colorTransfer, transfer);
        const QByteArray planes = RenderProbe::decode(path, QString());
        const size_t pixels = size_t(width) * height;
        QCOMPARE(size_t(planes.size()), pixels * 3 * (exr ? 4 : 2));
        // Planes G, B, R.
        const int channelOfPlane[3] = { 1, 2, 0 };
        for (int plane = 0; plane < 3; ++plane)
            for (size_t i = 0; i < pixels; ++i) {
                const quint16 sample = wide[i * 4 + size_t(channelOfPlane[plane])];
                if (exr) {
                    const float got = reinterpret_cast<const float*>(planes.constData())[plane * pixels + i];
                    QVERIFY2(std::abs(got - floats[i * 4 + size_t(channelOfPlane[plane])]) <= 0.0005f,
                        qPrintable(QStringLiteral("plane %1 pixel %2: %3").arg(plane).arg(i).arg(got)));
                } else {
                    const quint16 got = reinterpret_cast<const quint16*>(planes.constData())[plane * pixels + i];
                    QCOMPARE(got, quint16(std::lround(sample * 1023.0 / 65535.0)));
                }
            }
    }

    void aMissingFolderFails()
    {
        const QString folder = Test::makeTempFolder(QStringLiteral("tiff"));
        ImageWriter writer(width, height, ImageWriter::Tiff);
        const std::vector<quint8> picture(size_t(width) * height * 4, 128);
        QVERIFY(!writer.write(folder + QStringLiteral("/none/image.tiff"), picture.data()));
        QVERIFY(writer.lastError().contains(QLatin1String("image.tiff")));
        QVERIFY(!ImageWriter(0, 4, ImageWriter::Dpx10).isReady());
    }
};

EMULSA_TEST_MAIN(TestImageWriter)
#include "tst_imagewriter.moc"
