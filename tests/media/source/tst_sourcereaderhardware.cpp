#include "SourceReaderFixture.h"
#include "common/HardwareDecodingScope.h"
#include "common/TestEnvironment.h"
#include "common/WarningCounter.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// The decoding interface the source reader picks: what it asks of FFmpeg,
// the hardware mode the environment sets, and software decoding where no
// device is there.
class SourceReaderHardwareTest : public SourceReaderFixture
{
    Q_OBJECT

private slots:
    void apiTableSendsEverythingToFFmpegWithoutPlatformFramework()
    {
        WinSourceReader reader;
        QCOMPARE(WinSourceReader::fourcc("avc1"), 0x31637661u);
        for (const char* code : { "avc1", "HDMV", "HDPR", "apch", "apcn", "apcs", "apco", "ap4h", "xyzw" })
            QCOMPARE(reader.apiForFourcc(WinSourceReader::fourcc(code)), LibAV);
        QCOMPARE(reader.currentApi(), NoDecodingApi);

        auto metadata = describe(TestMedia::ProResMov);
        QVERIFY(metadata);
        WinSourceReader prores;
        QVERIFY(prores.initializeFromMetadata(metadata.get()));
        QCOMPARE(prores.currentApi(), LibAV);
    }

    // EMULSA_HW_DECODE takes the five mode names in any case, spaces
    // around them ignored; anything else is refused with a warning that
    // quotes it and lists the names, and gives auto.
    void hardwareModeFromEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("refused");
        const int automatic = int(HardwareDecodingMode::Auto);
        QTest::newRow("unset") << QByteArray() << automatic << false;
        QTest::newRow("empty") << QByteArray("") << automatic << false;
        QTest::newRow("off") << QByteArray("off") << int(HardwareDecodingMode::Off) << false;
        QTest::newRow("auto") << QByteArray("auto") << automatic << false;
        QTest::newRow("vaapi") << QByteArray("vaapi") << int(HardwareDecodingMode::Vaapi) << false;
        QTest::newRow(" CUDA ") << QByteArray(" CUDA ") << int(HardwareDecodingMode::Cuda) << false;
        QTest::newRow("Vdpau") << QByteArray("Vdpau") << int(HardwareDecodingMode::Vdpau) << false;
        QTest::newRow("on") << QByteArray("on") << automatic << true;
        QTest::newRow("nvdec") << QByteArray("nvdec") << automatic << true;
        QTest::newRow("two names") << QByteArray("vaapi,cuda") << automatic << true;
        QTest::newRow("1") << QByteArray("1") << automatic << true;
    }

    void hardwareModeFromEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, mode);
        QFETCH(bool, refused);
        const bool wasSet = qEnvironmentVariableIsSet("EMULSA_HW_DECODE");
        const QByteArray previous = qgetenv("EMULSA_HW_DECODE");
        if (value.isNull())
            qunsetenv("EMULSA_HW_DECODE");
        else
            qputenv("EMULSA_HW_DECODE", value);
        HardwareDecodingMode read = HardwareDecodingMode::Off;
        QStringList warnings;
        {
            WarningCounter counter;
            read = HardwareDecoding::modeFromEnvironment();
            warnings = counter.all();
        }
        if (wasSet)
            qputenv("EMULSA_HW_DECODE", previous);
        else
            qunsetenv("EMULSA_HW_DECODE");
        QCOMPARE(int(read), mode);
        QCOMPARE(warnings.size(), refused ? 1 : 0);
        if (refused) {
            QVERIFY2(warnings.first().contains(QString::fromLatin1(value)), qPrintable(warnings.first()));
            QVERIFY2(
                warnings.first().contains(QLatin1String("off|auto|vaapi|cuda|vdpau")), qPrintable(warnings.first()));
        }
        // Every name reads back as its mode.
        if (!refused && !value.trimmed().isEmpty())
            QCOMPARE(HardwareDecoding::modeName(read), QString::fromLatin1(value.trimmed().toLower()));
    }

    // The kinds of device each mode tries: a named one alone, auto those
    // FFmpeg was built with in the order VA-API, CUDA, VDPAU.
    void hardwareCandidates()
    {
        QVERIFY(HardwareDecoding::candidateTypes(HardwareDecodingMode::Off).isEmpty());
        QCOMPARE(HardwareDecoding::candidateTypes(HardwareDecodingMode::Vaapi),
            QVector<AVHWDeviceType> { AV_HWDEVICE_TYPE_VAAPI });
        QCOMPARE(HardwareDecoding::candidateTypes(HardwareDecodingMode::Cuda),
            QVector<AVHWDeviceType> { AV_HWDEVICE_TYPE_CUDA });
        QCOMPARE(HardwareDecoding::candidateTypes(HardwareDecodingMode::Vdpau),
            QVector<AVHWDeviceType> { AV_HWDEVICE_TYPE_VDPAU });
        QSet<int> built;
        for (AVHWDeviceType type = av_hwdevice_iterate_types(AV_HWDEVICE_TYPE_NONE); type != AV_HWDEVICE_TYPE_NONE;
             type = av_hwdevice_iterate_types(type))
            built << int(type);
        QVector<AVHWDeviceType> expected;
        for (AVHWDeviceType type : { AV_HWDEVICE_TYPE_VAAPI, AV_HWDEVICE_TYPE_CUDA, AV_HWDEVICE_TYPE_VDPAU }) {
            if (built.contains(int(type)))
                expected << type;
        }
        QCOMPARE(HardwareDecoding::candidateTypes(HardwareDecodingMode::Auto), expected);
    }

    // Without a device (a machine without a GPU): off and auto decode in
    // software without a word, a named kind of device warns once for the
    // clip, naming it, however many readers open it; the pictures are the
    // software ones, also after a seek.
    void noDeviceDecodesInSoftware_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expectedWarnings");
        QTest::newRow("off") << int(HardwareDecodingMode::Off) << 0;
        QTest::newRow("auto") << int(HardwareDecodingMode::Auto) << 0;
        QTest::newRow("vaapi") << int(HardwareDecodingMode::Vaapi) << 1;
        QTest::newRow("cuda") << int(HardwareDecodingMode::Cuda) << 1;
        QTest::newRow("vdpau") << int(HardwareDecodingMode::Vdpau) << 1;
    }

    void noDeviceDecodesInSoftware()
    {
        QFETCH(int, mode);
        QFETCH(int, expectedWarnings);
        auto m = describe(TestMedia::NoAudio);
        QVERIFY(m);
        HardwareDecodingScope scope { HardwareDecodingMode(mode) };
        if (HardwareDecoding::device())
            QSKIP("a device decodes on this machine");
        QVERIFY(!WinSourceReader::hostHasAdvancedVideoProcessing());
        WarningCounter warnings;
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(m.get()));
        QVERIFY(!reader.decodesWithHardware());
        int expected = 0;
        while (std::unique_ptr<Frame> frame { reader.getNextFrame(false) }) {
            QCOMPARE(shownIndex(frame.get()), expected);
            QCOMPARE(frame->index, expected);
            ++expected;
        }
        QCOMPARE(expected, int(m->frameCount));
        QVERIFY(reader.seekToFrame(17, true));
        std::unique_ptr<Frame> sought(reader.getNextFrame(false));
        QCOMPARE(shownIndex(sought.get()), 17);
        // Another reader of the same clip (the thumbnails', the renderer's)
        // adds no warning.
        WinSourceReader again;
        QVERIFY(again.initializeFromMetadata(m.get()));
        std::unique_ptr<Frame> first(again.getNextFrame(false));
        QCOMPARE(shownIndex(first.get()), 0);
        const QStringList all = warnings.all();
        QCOMPARE(all.size(), expectedWarnings);
        if (expectedWarnings > 0) {
            QVERIFY2(all.first().contains(QFileInfo(m->filePath).fileName()), qPrintable(all.first()));
            QVERIFY2(
                all.first().contains(HardwareDecoding::modeName(HardwareDecodingMode(mode))), qPrintable(all.first()));
            QVERIFY2(all.first().contains(QLatin1String("software")), qPrintable(all.first()));
        }
    }
};

EMULSA_TEST_MAIN(SourceReaderHardwareTest)
#include "tst_sourcereaderhardware.moc"
