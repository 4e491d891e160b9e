#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "common/RenderProbe.h"
#include "common/TestMedia.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

using Emulsa::Test::RenderProbe;
using Emulsa::Test::TestMedia;

// The command-line renderer, run as a user would run it.
class TestEmulsaRender : public QObject
{
    Q_OBJECT

private:
    QString m_program;
    QString m_out;

    using Run = Emulsa::Test::RendererRun;

    Run run(const QStringList& arguments, bool withDisplay = true)
    {
        return Emulsa::Test::runRenderer(m_program, arguments, withDisplay);
    }

private slots:
    void initTestCase() { QVERIFY2(Emulsa::Test::findBuiltRenderer(&m_program), qPrintable(m_program)); }

    void init() { m_out = Emulsa::Test::makeTempFolder(QStringLiteral("cli")); }

    void helpIsWrittenForTheUser()
    {
        const Run result = run({ QStringLiteral("--help") });
        QCOMPARE(result.exitCode, 0);
        for (const char* word : { "--stock", "--profile", "--in", "--out", "--format", "--size", "--fit", "--overwrite",
                 "--grain", "--gauge", "--exposure", "--kelvin", "--levels", "Xvfb" })
            QVERIFY2(result.output.contains(QLatin1String(word)), word);
    }

    // A wrong stock or profile lists the valid ones; usage errors exit with 2.
    void wrongChoicesListTheValidOnes()
    {
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        Run result = run({ QStringLiteral("--stock"), QStringLiteral("Kodachrome"), clip });
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.output.contains(QLatin1String("KD 5207 Vis3")));
        QVERIFY(result.output.contains(QLatin1String("KodakTriX")));

        result = run({ QStringLiteral("--profile"), QStringLiteral("ZZ99"), clip });
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.output.contains(QLatin1String("OT01")));

        result = run({ QStringLiteral("--hw-decode"), QStringLiteral("gpu"), clip });
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.output.contains(QLatin1String("off|auto|vaapi|cuda|vdpau, not \"gpu\"")));
        QCOMPARE(run({ QStringLiteral("--grain"), QStringLiteral("300"), clip }).exitCode, 2);
        QCOMPARE(run({ QStringLiteral("--bloom"), QStringLiteral("101"), clip }).exitCode, 2);
        QCOMPARE(run({ QStringLiteral("--format"), QStringLiteral("Cinepak"), clip }).exitCode, 2);
        QCOMPARE(run({ QStringLiteral("--size"), QStringLiteral("321x180"), clip }).exitCode, 2);
        QCOMPARE(run({}).exitCode, 2);
        QVERIFY(!QFileInfo::exists(QDir::currentPath() + QStringLiteral("/h264_noaudio.mov")));
    }

    // A named device renders the clip whether it opens or not: without it
    // the clip is decoded in software, which the log says.
    void hardwareDecodingChoiceRendersEitherWay()
    {
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        const Run result = run({ QStringLiteral("--hw-decode"), QStringLiteral("vaapi"), QStringLiteral("-v"),
            QStringLiteral("-o"), m_out, QStringLiteral("-s"), QStringLiteral("64x36"), clip });
        QCOMPARE(result.exitCode, 0);
        QVERIFY(QFileInfo::exists(m_out + QStringLiteral("/h264_noaudio.mov")));
        QVERIFY2(result.output.contains(QLatin1String("Hardware decoding with the vaapi device"))
                != result.output.contains(QLatin1String("no vaapi device could be opened; decoding in software")),
            qPrintable(result.output.right(2000)));
    }

    // Each film effect option changes the rendered pictures; 0 is the look
    // without it, byte for byte.
    void filmEffectOptionsReachThePictures()
    {
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        auto render = [&](const QStringList& effect) {
            const QString folder = m_out + QStringLiteral("/")
                + (effect.isEmpty() ? QStringLiteral("none") : effect.join(QLatin1Char('_')));
            const Run result
                = run(QStringList { QStringLiteral("--out"), QStringLiteral("3"), QStringLiteral("-f"),
                          QStringLiteral("tiff"), QStringLiteral("-s"), QStringLiteral("320x180"),
                          QStringLiteral("--gauge"), QStringLiteral("16 mm"), QStringLiteral("-o"), folder }
                    + effect + QStringList { clip });
            QByteArray bytes;
            if (result.exitCode != 0)
                return bytes;
            for (int i = 0; i < 3; ++i) {
                QFile image(
                    folder + QStringLiteral("/h264_noaudio/h264_noaudio.%1.tiff").arg(i, 6, 10, QLatin1Char('0')));
                if (image.open(QIODevice::ReadOnly))
                    bytes += image.readAll();
            }
            return bytes;
        };
        const QByteArray plain = render({});
        QVERIFY(!plain.isEmpty());
        for (const char* option : { "--halation", "--bloom", "--gate-weave", "--flicker", "--colour-grain" }) {
            const QByteArray on = render({ QLatin1String(option), QStringLiteral("100") });
            QVERIFY2(!on.isEmpty() && on != plain, option);
            QCOMPARE(render({ QLatin1String(option), QStringLiteral("0") }), plain);
        }
    }

    void anyFailureExitsNonZero()
    {
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        const Run result = run({ QStringLiteral("-o"), m_out, QStringLiteral("-s"), QStringLiteral("64x36"),
            m_out + QStringLiteral("/missing.mp4"), clip });
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.output.contains(QLatin1String("1 rendered, 0 skipped, 1 failed")));
        QVERIFY(QFileInfo::exists(m_out + QStringLiteral("/h264_noaudio.mov")));
    }

    // A source whose pictures end before its stated length is a failure
    // that says how far the render came, not "rendered".
    void sourceEndingEarlyFails()
    {
        const QString clip = TestMedia::instance().footagePath(TestMedia::FootageTruncated);
        QVERIFY(!clip.isEmpty());
        const Run result = run({ QStringLiteral("-f"), QStringLiteral("preview"), QStringLiteral("-o"), m_out, clip });
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.output.contains(QRegularExpression(QStringLiteral("FAILED: .* \\d+ of 50 frames written"))),
            qPrintable(result.output));
        QVERIFY(result.output.contains(QLatin1String("0 rendered, 0 skipped, 1 failed")));
    }

    // In and out points, image naming, and existing output kept by default.
    void imageSequenceWithInAndOut()
    {
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        const QStringList arguments { QStringLiteral("--in"), QStringLiteral("3"), QStringLiteral("--out"),
            QStringLiteral("9"), QStringLiteral("-f"), QStringLiteral("tiff"), QStringLiteral("-s"),
            QStringLiteral("320x180"), QStringLiteral("--stock"), QStringLiteral("KD TrX 400"), QStringLiteral("-o"),
            m_out, clip };
        Run result = run(arguments);
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));
        QStringList expected;
        for (int i = 3; i < 9; ++i)
            expected << QStringLiteral("h264_noaudio.%1.tiff").arg(i, 6, 10, QLatin1Char('0'));
        QCOMPARE(QDir(m_out + QStringLiteral("/h264_noaudio")).entryList(QDir::Files, QDir::Name), expected);

        result = run(arguments);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.output.contains(QLatin1String("skipped")));
    }

    // Text files named like clips that list other clips are refused:
    // nothing of the listed clip is rendered.
    void listFilesAreNotClips_data()
    {
        QTest::addColumn<QString>("path");
        TestMedia& media = TestMedia::instance();
        const QString listed = QFileInfo(media.footagePath(TestMedia::FootageTsGop12)).fileName();
        QTest::newRow("HLS playlist") << media.makeHlsPlaylistFile(QStringLiteral("clip.mp4"), listed);
        QTest::newRow("concat list") << media.makeConcatListFile(QStringLiteral("clip.mov"), listed);
    }

    void listFilesAreNotClips()
    {
        QFETCH(QString, path);
        QVERIFY(!path.isEmpty());
        const Run result = run({ QStringLiteral("-f"), QStringLiteral("preview"), QStringLiteral("-s"),
            QStringLiteral("64x36"), QStringLiteral("-o"), m_out, path });
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.output.contains(QLatin1String("0 rendered, 0 skipped, 1 failed")), qPrintable(result.output));
        QCOMPARE(QDir(m_out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // Placeholder-like text in a clip's name or the destination is part of
    // the image names, never filled in: each clip keeps its own images.
    void placeholdersInNamesAreKept_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("%1 beside its own expansion")
            << QString() << QStringList { QStringLiteral("a000000b.mp4"), QStringLiteral("a%1b.mp4") };
        QTest::newRow("%L1 beside its own expansion")
            << QString() << QStringList { QStringLiteral("c000000d.mp4"), QStringLiteral("c%L1d.mp4") };
        QTest::newRow("%2 and %1%2") << QString()
                                     << QStringList { QStringLiteral("e%2f.mp4"), QStringLiteral("%1%2.mp4") };
        QTest::newRow("%1 in the destination")
            << QStringLiteral("out%1") << QStringList { QStringLiteral("plain.mp4") };
    }

    void placeholdersInNamesAreKept()
    {
        QFETCH(QString, destination);
        QFETCH(QStringList, names);
        const QString sources = Emulsa::Test::makeTempFolder(QStringLiteral("names"));
        const QString out = destination.isEmpty() ? m_out : m_out + QLatin1Char('/') + destination;
        QStringList arguments { QStringLiteral("--in"), QStringLiteral("0"), QStringLiteral("--out"),
            QStringLiteral("2"), QStringLiteral("-f"), QStringLiteral("tiff"), QStringLiteral("-s"),
            QStringLiteral("64x36"), QStringLiteral("-o"), out };
        QStringList bases;
        for (const QString& name : qAsConst(names)) {
            const QString source = sources + QLatin1Char('/') + name;
            QVERIFY(QFile::copy(TestMedia::instance().path(TestMedia::NoAudio), source));
            arguments << source;
            bases << name.left(name.lastIndexOf(QLatin1Char('.')));
        }
        const Run result = run(arguments);
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));
        // The report names each clip and its folder as they are.
        for (int i = 0; i < names.size(); ++i) {
            const QString line
                = QStringLiteral("%1/%2 -> %3/%4  (2 frames 64x36").arg(sources, names.at(i), out, bases.at(i));
            QVERIFY2(result.output.contains(line), qPrintable(result.output));
        }
        bases.sort();
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), bases);
        for (const QString& base : qAsConst(bases)) {
            const QStringList expected { base + QStringLiteral(".000000.tiff"), base + QStringLiteral(".000001.tiff") };
            QCOMPARE(QDir(out + QLatin1Char('/') + base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
                expected);
        }
    }

    // --overwrite over a symbolic link replaces the link by the movie; the
    // file it pointed to is left as it was.
    void overwriteReplacesALinkNotItsTarget()
    {
        const QString other = Emulsa::Test::makeTempFolder(QStringLiteral("other")) + QStringLiteral("/keep.txt");
        {
            QFile file(other);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("someone else's file");
        }
        const QString output = m_out + QStringLiteral("/h264_noaudio.mov");
        QVERIFY(QFile::link(other, output));
        const Run result = run({ QStringLiteral("--overwrite"), QStringLiteral("--out"), QStringLiteral("5"),
            QStringLiteral("-f"), QStringLiteral("preview"), QStringLiteral("-s"), QStringLiteral("64x36"),
            QStringLiteral("-o"), m_out, TestMedia::instance().path(TestMedia::NoAudio) });
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));
        const QFileInfo info(output);
        QVERIFY(!info.isSymLink());
        QVERIFY(info.isFile());
        QCOMPARE(RenderProbe::probe(output).video.frames, 5);
        QFile file(other);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("someone else's file"));
        // Nothing but the movie is left in the folder.
        QCOMPARE(QDir(m_out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { QStringLiteral("h264_noaudio.mov") });
    }

    // What a killed render left beside its output is never taken for the
    // output: the clip renders without --overwrite, and the leftovers of
    // this output (its working folder, its movie's part files) are removed.
    // Links of those names and other outputs' part names stay, with what
    // they point to.
    void leftoversOfAKilledRender_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removed");
        QTest::newRow("tiff working folder with some images") << "tiff"
                                                              << ".h264_noaudio.k3j9.part"
                                                              << "folder" << true;
        QTest::newRow("tiff: link named like a working folder") << "tiff"
                                                                << ".h264_noaudio.k3j9.part"
                                                                << "link" << false;
        QTest::newRow("movie part file") << "preview"
                                         << ".h264_noaudio.mov.k3j9.part"
                                         << "file" << true;
        QTest::newRow("movie: link named like a part file") << "preview"
                                                            << ".h264_noaudio.mov.k3j9.part"
                                                            << "link" << false;
        QTest::newRow("movie: another output's part file") << "preview"
                                                           << ".h264_noaudio2.mov.k3j9.part"
                                                           << "file" << false;
    }
    void leftoversOfAKilledRender()
    {
        QFETCH(QString, format);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        const QString other = Emulsa::Test::makeTempFolder(QStringLiteral("other")) + QStringLiteral("/keep.txt");
        {
            QFile file(other);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("someone else's file");
        }
        const QString leftover = m_out + QLatin1Char('/') + name;
        if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(format == QLatin1String("tiff") ? QFileInfo(other).absolutePath() : other, leftover));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(leftover));
            for (int i = 0; i < 2; ++i) {
                QFile image(leftover + QStringLiteral("/h264_noaudio.%1.tiff").arg(i, 6, 10, QLatin1Char('0')));
                QVERIFY(image.open(QIODevice::WriteOnly));
            }
        } else {
            QFile file(leftover);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("half a movie");
        }
        const Run result
            = run({ QStringLiteral("--out"), QStringLiteral("5"), QStringLiteral("-f"), format, QStringLiteral("-s"),
                QStringLiteral("64x36"), QStringLiteral("-o"), m_out, TestMedia::instance().path(TestMedia::NoAudio) });
        QVERIFY2(result.exitCode == 0 && result.output.contains(QLatin1String("1 rendered, 0 skipped")),
            qPrintable(result.output));
        if (format == QLatin1String("tiff"))
            QCOMPARE(QDir(m_out + QStringLiteral("/h264_noaudio")).entryList(QDir::Files | QDir::Hidden).size(), 5);
        else
            QCOMPARE(RenderProbe::probe(m_out + QStringLiteral("/h264_noaudio.mov")).video.frames, 5);
        QCOMPARE(QFileInfo::exists(leftover) || QFileInfo(leftover).isSymLink(), !removed);
        QFile file(other);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("someone else's file"));
        // Nothing else hidden is left in the destination.
        const QStringList hidden = QDir(m_out)
                                       .entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
                                       .filter(QRegularExpression(QStringLiteral("^\\.")));
        QCOMPARE(hidden, removed ? QStringList() : QStringList { name });
    }

    // A movie with sound renders with no display at all.
    void rendersWithoutADisplay()
    {
        const QString clip = TestMedia::instance().path(TestMedia::PlanarFloatAudio);
        const Run result
            = run({ QStringLiteral("--in"), QStringLiteral("0.4s"), QStringLiteral("-f"), QStringLiteral("preview"),
                      QStringLiteral("-s"), QStringLiteral("320x240"), QStringLiteral("--fit"),
                      QStringLiteral("height"), QStringLiteral("-o"), m_out, clip },
                false);
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));
        const RenderProbe::Movie movie = RenderProbe::probe(m_out + QStringLiteral("/h264_aac.mov"));
        QCOMPARE(movie.video.width, 320);
        QCOMPARE(movie.video.height, 240);
        QCOMPARE(movie.video.frames, 15);
        QCOMPARE(movie.audio.codec, QStringLiteral("aac"));
    }

    // Without a display the renderer needs no X server: OpenGL comes from
    // headless EGL, or from a private Xvfb where EGL offers no headless
    // platform. Either way the images are those rendered under a display.
    void headlessImagesEqualDisplayed_data()
    {
        QTest::addColumn<bool>("eglUsable");
        QTest::addColumn<QString>("pathTaken");
        QTest::newRow("headless EGL, no Xvfb on the path") << true << QStringLiteral("through headless EGL");
        QTest::newRow("Xvfb when EGL has no driver") << false << QStringLiteral("through the private X display");
    }

    void headlessImagesEqualDisplayed()
    {
        QFETCH(bool, eglUsable);
        QFETCH(QString, pathTaken);
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        // Grain is left out: it is drawn anew on every run.
        const QStringList grade { QStringLiteral("--out"), QStringLiteral("6"), QStringLiteral("--stock"),
            QStringLiteral("KD 5207 Vis3"), QStringLiteral("--grain"), QStringLiteral("0"),
            QStringLiteral("--exposure"), QStringLiteral("0.2"), QStringLiteral("--saturation"), QStringLiteral("1.3"),
            QStringLiteral("-f"), QStringLiteral("tiff"), QStringLiteral("-s"), QStringLiteral("320x180") };
        const QString displayed = m_out + QStringLiteral("/displayed");
        Run result = run(grade + QStringList { QStringLiteral("-o"), displayed, clip });
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));

        QProcessEnvironment environment = Emulsa::Test::rendererEnvironment(false);
        if (eglUsable)
            environment.insert(QStringLiteral("PATH"), Emulsa::Test::makeTempFolder(QStringLiteral("no-programs")));
        else
            environment.insert(QStringLiteral("__EGL_VENDOR_LIBRARY_FILENAMES"), m_out + QStringLiteral("/none.json"));
        const QString headless = m_out + QStringLiteral("/headless");
        result = Emulsa::Test::runRenderer(m_program,
            grade + QStringList { QStringLiteral("--verbose"), QStringLiteral("-o"), headless, clip }, environment);
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));
        QVERIFY2(result.output.contains(pathTaken), qPrintable(result.output));

        const QDir expected(displayed + QStringLiteral("/h264_noaudio"));
        const QDir actual(headless + QStringLiteral("/h264_noaudio"));
        const QStringList frames = expected.entryList(QDir::Files, QDir::Name);
        QCOMPARE(frames.size(), 6);
        QCOMPARE(actual.entryList(QDir::Files, QDir::Name), frames);
        for (const QString& frame : frames) {
            QFile one(expected.filePath(frame));
            QFile other(actual.filePath(frame));
            QVERIFY(one.open(QIODevice::ReadOnly) && other.open(QIODevice::ReadOnly));
            QVERIFY2(one.readAll() == other.readAll(), qPrintable(frame));
        }
    }
};

EMULSA_TEST_MAIN(TestEmulsaRender)
#include "tst_emulsarender.moc"
