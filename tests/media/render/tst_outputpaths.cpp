#include "common/TestEnvironment.h"

#include "media/clip/AssetMetadata.h"
#include "media/render/OutputPaths.h"
#include "media/render/OutputSettings.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QSet>
#include <QtTest>

#include <unistd.h>

using namespace Emulsa;
using Emulsa::Test::fileBytes;

namespace {

void touch(const QString& path, const QByteArray& bytes = QByteArray("x"))
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestOutputPaths : public QObject
{
    Q_OBJECT

private:
    QString m_root;
    QString m_destination;
    EncoderSettings m_encoder;
    t_OutputSettings m_settings;
    AssetMetadata m_asset;

    void useFormat(int format, const QString& destination, bool keep = false, QSize size = QSize(1920, 1080))
    {
        m_destination = destination;
        OutputSettings::fill(&m_settings, format, &m_destination, &m_encoder, size, FitWidth, keep);
    }

private slots:
    void init()
    {
        m_root = Emulsa::Test::makeTempFolder(QStringLiteral("paths"));
        m_asset = AssetMetadata();
        m_asset.name = QStringLiteral("A001.MP4");
        m_asset.filePath = m_root + QStringLiteral("/source/A001.MP4");
        QDir().mkpath(m_root + QStringLiteral("/source"));
        touch(m_asset.filePath, "source bytes");
    }

    void movieAndImageNames()
    {
        useFormat(H264Medium, m_root + QStringLiteral("/out"));
        QCOMPARE(OutputPaths::outputFilePath(&m_settings, &m_asset), m_root + QStringLiteral("/out/A001.MP4"));
        QCOMPARE(OutputPaths::movieFilePath(&m_settings, &m_asset), m_root + QStringLiteral("/out/A001.mov"));
        useFormat(H264HighQuality, m_root + QStringLiteral("/out/"));
        QCOMPARE(OutputPaths::movieFilePath(&m_settings, &m_asset), m_root + QStringLiteral("/out/A001.mov"));
        // A name without a "." gets the extension appended, even when the
        // destination's own folder names have dots.
        useFormat(H264Preview, m_root + QStringLiteral("/my.renders"));
        m_asset.name = QStringLiteral("CLIP");
        QCOMPARE(OutputPaths::movieFilePath(&m_settings, &m_asset), m_root + QStringLiteral("/my.renders/CLIP.mov"));
        m_asset.name = QStringLiteral("take.2.mxf");
        QCOMPARE(OutputPaths::movieFilePath(&m_settings, &m_asset), m_root + QStringLiteral("/my.renders/take.2.mov"));

        m_asset.name = QStringLiteral("A001.MP4");
        useFormat(TiffSequence, m_root + QStringLiteral("/out"));
        QCOMPARE(OutputPaths::outputFilePath(&m_settings, &m_asset), m_root + QStringLiteral("/out/"));
        QCOMPARE(OutputPaths::imageFolderPath(&m_settings, &m_asset), m_root + QStringLiteral("/out/A001"));
        const QString pattern = OutputPaths::imageFilePattern(&m_settings, &m_asset);
        QCOMPARE(pattern, m_root + QStringLiteral("/out/A001/A001.%1.tiff"));
        QCOMPARE(OutputPaths::imageFileName(pattern, 0), m_root + QStringLiteral("/out/A001/A001.000000.tiff"));
        QCOMPARE(OutputPaths::imageFileName(pattern, 123), m_root + QStringLiteral("/out/A001/A001.000123.tiff"));
        QCOMPARE(OutputPaths::existingOutputPath(&m_settings, &m_asset), m_root + QStringLiteral("/out/A001"));
    }

    // "%" sequences in a clip's name or the destination stay as they are in
    // the image names; only the frame number is filled in.
    void percentSequencesAreNotFilledIn_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("%1") << "/out"
                            << "a%1b.mp4"
                            << "/out/a%1b/a%1b.000007.tiff";
        QTest::newRow("%L1") << "/out"
                             << "a%L1b.mp4"
                             << "/out/a%L1b/a%L1b.000007.tiff";
        QTest::newRow("%2") << "/out"
                            << "a%2b.mp4"
                            << "/out/a%2b/a%2b.000007.tiff";
        QTest::newRow("%0 and %99") << "/out"
                                    << "%0%99.mov"
                                    << "/out/%0%99/%0%99.000007.tiff";
        QTest::newRow("%1 in the destination") << "/o%1t"
                                               << "A001.MP4"
                                               << "/o%1t/A001/A001.000007.tiff";
    }

    void percentSequencesAreNotFilledIn()
    {
        QFETCH(QString, destination);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        useFormat(TiffSequence, m_root + destination);
        m_asset.name = name;
        const QString pattern = OutputPaths::imageFilePattern(&m_settings, &m_asset);
        QCOMPARE(OutputPaths::imageFileName(pattern, 7), m_root + expected);
    }

    void formatsAndSizes()
    {
        QCOMPARE(OutputSettings::formatNames().size(), int(OutputFormatCount));
        QCOMPARE(OutputSettings::formatForName(QStringLiteral("h.264 - medium")), int(H264Medium));
        QCOMPARE(OutputSettings::formatForName(QStringLiteral("Tiff Sequence")), int(TiffSequence));
        QCOMPARE(OutputSettings::formatForName(QStringLiteral("prores 422 hq")), int(ProRes422HQ));
        QCOMPARE(OutputSettings::formatForName(QStringLiteral("ProRes")), -1);
        // Every format is a movie or a sequence of images with an extension
        // of its own, and only H.264 is 8-bit.
        QSet<QString> extensions;
        for (int format = 0; format < OutputFormatCount; ++format) {
            const bool movie = OutputSettings::isMovieFormat(format);
            QCOMPARE(OutputSettings::imageExtension(format).isEmpty(), movie);
            if (!movie)
                extensions << OutputSettings::imageExtension(format);
            QCOMPARE(OutputSettings::isDeepFormat(format), format > TiffSequence);
        }
        QCOMPARE(extensions.size(), 3);
        useFormat(Dpx10Sequence, m_root);
        m_asset.name = QStringLiteral("A001.MOV");
        QCOMPARE(OutputPaths::imageFileName(OutputPaths::imageFilePattern(&m_settings, &m_asset), 3),
            m_root + QStringLiteral("/A001/A001.000003.dpx"));
        QVERIFY(!OutputSettings::formatSizeProblem(254, 120, DNxHRHQX).isEmpty());
        QVERIFY(!OutputSettings::formatSizeProblem(256, 118, DNxHRHQX).isEmpty());
        QVERIFY(OutputSettings::formatSizeProblem(256, 120, DNxHRHQX).isEmpty());
        QVERIFY(OutputSettings::formatSizeProblem(254, 120, ProRes422HQ).isEmpty());
        useFormat(H264Preview, m_root);
        QCOMPARE(m_settings.isVideo, 1);
        QCOMPARE(m_settings.encoder, &m_encoder);
        QCOMPARE(m_encoder.quality, 50);
        QCOMPARE(m_encoder.flag, 0);
        QCOMPARE(m_encoder.level, 51);
        useFormat(H264HighQuality, m_root);
        QCOMPARE(m_encoder.quality, 100);
        QCOMPARE(m_encoder.flag, 1);
        useFormat(TiffSequence, m_root);
        QCOMPARE(m_settings.isVideo, 0);
        QVERIFY(!m_settings.encoder);

        // Every size on this platform, largest first, 1920 x 1080 selected at first.
        const QVector<QSize> sizes = OutputSettings::outputSizes();
        QCOMPARE(sizes.size(), 11);
        QCOMPARE(sizes.first(), QSize(4096, 2160));
        QCOMPARE(sizes.last(), QSize(640, 480));
        QCOMPARE(sizes.at(OutputSettings::defaultSizeIndex()), QSize(1920, 1080));
        QCOMPARE(OutputSettings::sizeLabel(sizes.at(2)), QStringLiteral("2704 x 1440"));
    }

    // An output that resolves to the source is refused, through a symbolic
    // link to the folder, to the file, or a hard link; the source is untouched.
    void outputOntoSourceIsRefused()
    {
        const QString sourceFolder = m_root + QStringLiteral("/source");
        m_asset.name = QStringLiteral("A001.mov");
        m_asset.filePath = sourceFolder + QStringLiteral("/A001.mov");
        touch(m_asset.filePath, "the camera original");

        useFormat(H264HighQuality, sourceFolder);
        QVERIFY(OutputPaths::movieTargetProblem(&m_settings, &m_asset).contains(QLatin1String("source")));

        QVERIFY(QFile::link(sourceFolder, m_root + QStringLiteral("/linked")));
        useFormat(H264HighQuality, m_root + QStringLiteral("/linked"));
        QVERIFY(!OutputPaths::movieTargetProblem(&m_settings, &m_asset).isEmpty());

        QDir().mkpath(m_root + QStringLiteral("/out"));
        QVERIFY(QFile::link(m_asset.filePath, m_root + QStringLiteral("/out/A001.mov")));
        useFormat(H264Medium, m_root + QStringLiteral("/out"));
        QVERIFY(!OutputPaths::movieTargetProblem(&m_settings, &m_asset).isEmpty());

        QDir().mkpath(m_root + QStringLiteral("/hard"));
        QCOMPARE(::link(QFile::encodeName(m_asset.filePath).constData(),
                     QFile::encodeName(m_root + QStringLiteral("/hard/A001.mov")).constData()),
            0);
        useFormat(H264Medium, m_root + QStringLiteral("/hard"));
        QVERIFY(!OutputPaths::movieTargetProblem(&m_settings, &m_asset).isEmpty());

        // A source with another extension in the same folder is a different file.
        m_asset.name = QStringLiteral("A001.MP4");
        m_asset.filePath = sourceFolder + QStringLiteral("/A001.MP4");
        useFormat(H264HighQuality, sourceFolder);
        QCOMPARE(OutputPaths::movieTargetProblem(&m_settings, &m_asset), QString());

        QCOMPARE(
            fileBytes(sourceFolder + QStringLiteral("/A001.mov"), QByteArray()), QByteArray("the camera original"));
    }

    void movieTargetChecks()
    {
        QDir().mkpath(m_root + QStringLiteral("/out"));
        useFormat(H264Medium, m_root + QStringLiteral("/out"), false, QSize(1921, 1080));
        QVERIFY(OutputPaths::movieTargetProblem(&m_settings, &m_asset).contains(QLatin1String("even")));
        useFormat(H264Medium, m_root + QStringLiteral("/out"), false, QSize(0, 1080));
        QVERIFY(!OutputPaths::movieTargetProblem(&m_settings, &m_asset).isEmpty());
        useFormat(H264Medium, QString());
        QVERIFY(!OutputPaths::movieTargetProblem(&m_settings, &m_asset).isEmpty());

        touch(m_root + QStringLiteral("/out/A001.mov"));
        useFormat(H264Medium, m_root + QStringLiteral("/out"), true);
        QVERIFY(!OutputPaths::movieTargetProblem(&m_settings, &m_asset).isEmpty());
        useFormat(H264Medium, m_root + QStringLiteral("/out"), false);
        QCOMPARE(OutputPaths::movieTargetProblem(&m_settings, &m_asset), QString());
    }

    // The images go to a hidden working folder beside the image folder,
    // which takes the image folder's name only when it is finished.
    void imageFolderIsMadeWithParents()
    {
        useFormat(TiffSequence, m_root + QStringLiteral("/new/deep"), false, QSize(640, 361));
        QString error;
        const QString working = OutputPaths::prepareImageFolder(&m_settings, &m_asset, &error);
        QVERIFY2(!working.isEmpty(), qPrintable(error));
        QCOMPARE(QFileInfo(working).absolutePath(), m_root + QStringLiteral("/new/deep"));
        QVERIFY(QFileInfo(working).fileName().startsWith(QLatin1String(".A001.")));
        QVERIFY(QFileInfo(working).isDir());
        QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("/new/deep/A001")));
        touch(OutputPaths::imageFileName(OutputPaths::imageFilePatternIn(working, &m_settings, &m_asset), 0));
        QVERIFY2(OutputPaths::finishImageFolder(&m_settings, &m_asset, working, &error), qPrintable(error));
        QCOMPARE(QDir(m_root + QStringLiteral("/new/deep/A001")).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("A001.000000.tiff") });
        QVERIFY(!QFileInfo::exists(working));
        useFormat(TiffSequence, m_root + QStringLiteral("/new/deep"), false, QSize(1, 361));
        QVERIFY(OutputPaths::prepareImageFolder(&m_settings, &m_asset, &error).isEmpty());
    }

    // A finished sequence replaces the earlier one whole: its images, with
    // the unfinished image files a stopped render left there, are gone and
    // only the new ones are left. When existing output is kept, the earlier
    // folder stays as it was.
    void finishedSequenceReplacesTheEarlierOne_data()
    {
        QTest::addColumn<QString>("leftover");
        QTest::addColumn<bool>("keep");
        QTest::newRow("images only") << QString() << false;
        QTest::newRow("unfinished image") << QStringLiteral(".A001.000003.tiff.1x2y3z.part") << false;
        QTest::newRow("kept") << QString() << true;
    }
    void finishedSequenceReplacesTheEarlierOne()
    {
        QFETCH(QString, leftover);
        QFETCH(bool, keep);
        const QString folder = m_root + QStringLiteral("/out/A001");
        QDir().mkpath(folder);
        for (int i = 0; i < 3; ++i)
            touch(folder + QStringLiteral("/A001.%1.tiff").arg(i, 6, 10, QLatin1Char('0')), "earlier");
        if (!leftover.isEmpty())
            touch(folder + QLatin1Char('/') + leftover);
        const int before = QDir(folder).entryList(QDir::Files | QDir::Hidden).size();
        useFormat(TiffSequence, m_root + QStringLiteral("/out"), true);
        QString error;
        QVERIFY(OutputPaths::prepareImageFolder(&m_settings, &m_asset, &error).isEmpty());

        useFormat(TiffSequence, m_root + QStringLiteral("/out"), false);
        const QString working = OutputPaths::prepareImageFolder(&m_settings, &m_asset, &error);
        QVERIFY2(!working.isEmpty(), qPrintable(error));
        // Until the new sequence is finished the earlier one is whole.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), before);
        for (int i = 5; i < 7; ++i)
            touch(
                OutputPaths::imageFileName(OutputPaths::imageFilePatternIn(working, &m_settings, &m_asset), i), "new");
        useFormat(TiffSequence, m_root + QStringLiteral("/out"), keep);
        QCOMPARE(OutputPaths::finishImageFolder(&m_settings, &m_asset, working, &error), !keep);
        const QStringList expected = keep
            ? QStringList { QStringLiteral("A001.000000.tiff"), QStringLiteral("A001.000001.tiff"),
                  QStringLiteral("A001.000002.tiff") }
            : QStringList { QStringLiteral("A001.000005.tiff"), QStringLiteral("A001.000006.tiff") };
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name), expected);
        QCOMPARE(fileBytes(folder + QLatin1Char('/') + expected.first(), QByteArray()),
            QByteArray(keep ? "earlier" : "new"));
        // Nothing else is left in the destination, working folder included.
        QCOMPARE(
            QDir(m_root + QStringLiteral("/out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { QStringLiteral("A001") });
    }

    // The working folders a killed render left are removed by the next
    // render of the clip: folders of this clip's part name holding only its
    // images. A link of that name, a folder holding anything else, and the
    // part names of other outputs stay, with what they point to.
    void leftoverWorkingFolders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removed");
        QTest::newRow("working folder with images") << ".A001.k3j9.part"
                                                    << "images" << true;
        QTest::newRow("working folder with an unfinished image") << ".A001.0.part"
                                                                 << "unfinished" << true;
        QTest::newRow("empty working folder") << ".A001.zz.part"
                                              << "empty" << true;
        QTest::newRow("working folder holding another file") << ".A001.k3j9.part"
                                                             << "foreign" << false;
        QTest::newRow("link named like a working folder") << ".A001.k3j9.part"
                                                          << "link" << false;
        QTest::newRow("file named like a working folder") << ".A001.k3j9.part"
                                                          << "file" << false;
        QTest::newRow("another clip's working folder") << ".A001x.k3j9.part"
                                                       << "images" << false;
        QTest::newRow("a movie's part name") << ".A001.mov.k3j9.part"
                                             << "images" << false;
        QTest::newRow("upper-case random part") << ".A001.K3J9.part"
                                                << "images" << false;
    }
    void leftoverWorkingFolders()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        const QString destination = m_root + QStringLiteral("/out");
        const QString path = destination + QLatin1Char('/') + name;
        const QString elsewhere = m_root + QStringLiteral("/elsewhere");
        QDir().mkpath(elsewhere);
        touch(elsewhere + QStringLiteral("/A001.000000.tiff"), "not ours");
        QDir().mkpath(destination);
        if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(elsewhere, path));
        } else if (kind == QLatin1String("file")) {
            touch(path);
        } else {
            QDir().mkpath(path);
            if (kind != QLatin1String("empty"))
                touch(path + QStringLiteral("/A001.000000.tiff"));
            if (kind == QLatin1String("unfinished"))
                touch(path + QStringLiteral("/.A001.000001.tiff.1x2y3z.part"));
            if (kind == QLatin1String("foreign"))
                touch(path + QStringLiteral("/notes.txt"));
        }
        useFormat(TiffSequence, destination, false);
        QString error;
        const QString working = OutputPaths::prepareImageFolder(&m_settings, &m_asset, &error);
        QVERIFY2(!working.isEmpty(), qPrintable(error));
        QVERIFY(working != path);
        QCOMPARE(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !removed);
        QCOMPARE(fileBytes(elsewhere + QStringLiteral("/A001.000000.tiff"), QByteArray()), QByteArray("not ours"));
        if (kind == QLatin1String("foreign"))
            QCOMPARE(fileBytes(path + QStringLiteral("/notes.txt"), QByteArray()), QByteArray("x"));
    }

    // A folder holding anything else is refused and nothing is deleted.
    void foreignFilesAreNeverDeleted_data()
    {
        QTest::addColumn<QString>("stranger");
        QTest::addColumn<bool>("isFolder");
        QTest::newRow("another clip's image") << QStringLiteral("B001.000000.tiff") << false;
        QTest::newRow("notes") << QStringLiteral("notes.txt") << false;
        QTest::newRow("hidden file") << QStringLiteral(".keep") << false;
        QTest::newRow("another clip's unfinished image") << QStringLiteral(".B001.000000.tiff.1x2y3z.part") << false;
        QTest::newRow("hidden image name") << QStringLiteral(".A001.000002.tiff") << false;
        QTest::newRow("short number") << QStringLiteral("A001.12.tiff") << false;
        QTest::newRow("sub-folder") << QStringLiteral("A001.000009.tiff") << true;
    }
    void foreignFilesAreNeverDeleted()
    {
        QFETCH(QString, stranger);
        QFETCH(bool, isFolder);
        const QString folder = m_root + QStringLiteral("/out/A001");
        QDir().mkpath(folder);
        touch(folder + QStringLiteral("/A001.000000.tiff"));
        touch(folder + QStringLiteral("/A001.000001.tiff"));
        if (isFolder)
            QDir().mkpath(folder + QLatin1Char('/') + stranger);
        else
            touch(folder + QLatin1Char('/') + stranger, "keep me");
        useFormat(TiffSequence, m_root + QStringLiteral("/out"), false);
        QString error;
        QVERIFY(OutputPaths::prepareImageFolder(&m_settings, &m_asset, &error).isEmpty());
        QVERIFY(error.contains(stranger));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 3);
    }

    // The source file itself where the image folder would go is refused.
    void imageFolderOntoAFileIsRefused()
    {
        m_asset.name = QStringLiteral("RAWCLIP");
        m_asset.filePath = m_root + QStringLiteral("/source/RAWCLIP");
        touch(m_asset.filePath, "source bytes");
        useFormat(TiffSequence, m_root + QStringLiteral("/source"), false);
        QString error;
        QVERIFY(OutputPaths::prepareImageFolder(&m_settings, &m_asset, &error).isEmpty());
        QCOMPARE(fileBytes(m_asset.filePath, QByteArray()), QByteArray("source bytes"));
    }
    void suffixedName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("extension") << "A001.MP4" << 2 << "A001_2.MP4";
        QTest::newRow("two dots") << "a.b.mov" << 3 << "a.b_3.mov";
        QTest::newRow("no extension") << "clip" << 2 << "clip_2";
        QTest::newRow("leading dot") << ".hidden" << 2 << ".hidden_2";
    }

    void suffixedName()
    {
        QFETCH(QString, name);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(OutputPaths::suffixedName(name, n), expected);
    }

    // Two clips of the same name, one clip twice, and names that differ only
    // in the extension a movie replaces: every output differs, the first of
    // each keeps its name. Images need only the base names apart.
    void distinctNames_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        const QStringList names { "A001.MP4", "A001.MP4", "A001.mov", "B002.MP4", "A001.MP4", "A001_2.MP4" };
        QTest::newRow("movies") << int(H264Preview) << names
                                << QStringList { "A001.MP4", "A001_2.MP4", "A001_3.mov", "B002.MP4", "A001_4.MP4",
                                       "A001_2_2.MP4" };
        QTest::newRow("images") << int(TiffSequence) << names
                                << QStringList { "A001.MP4", "A001_2.MP4", "A001_3.mov", "B002.MP4", "A001_4.MP4",
                                       "A001_2_2.MP4" };
        QTest::newRow("all different") << int(TiffSequence) << QStringList { "A.MP4", "B.MP4", "C" }
                                       << QStringList { "A.MP4", "B.MP4", "C" };
    }
    void distinctNames()
    {
        QFETCH(int, format);
        QFETCH(QStringList, names);
        QFETCH(QStringList, expected);
        useFormat(format, m_root + QStringLiteral("/out"));
        std::vector<AssetMetadata> assets(size_t(names.size()));
        QList<const AssetMetadata*> pointers;
        for (int i = 0; i < names.size(); ++i) {
            assets[size_t(i)].name = names[i];
            pointers << &assets[size_t(i)];
        }
        QCOMPARE(OutputPaths::distinctNames(&m_settings, pointers), expected);
        // The records themselves keep their names.
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(assets[size_t(i)].name, names[i]);
    }

    // A stopped task's unfinished images of its own frames are removed; the
    // finished images, other frames' working files (another task may be
    // writing them), other clips' and links stay.
    void leftoverImagePartsOfAFrameRange()
    {
        const QString folder = m_root + QStringLiteral("/out/A001");
        QDir().mkpath(folder);
        const struct
        {
            const char* name;
            bool removed;
        } entries[] = {
            { "A001.000010.tiff", false },
            { ".A001.000010.tiff.k3j9.part", true },
            { ".A001.000019.tiff.1a.part", true },
            { ".A001.000009.tiff.1a.part", false },
            { ".A001.000020.tiff.1a.part", false },
            { ".A001.000012.dpx.zz.part", true },
            { ".B001.000012.tiff.zz.part", false },
            { ".A001.000012.tiff.part", false },
            { "notes.txt", false },
        };
        for (const auto& entry : entries)
            touch(folder + QLatin1Char('/') + QLatin1String(entry.name));
        QVERIFY(
            QFile::link(folder + QStringLiteral("/notes.txt"), folder + QStringLiteral("/.A001.000011.tiff.q.part")));
        QCOMPARE(OutputPaths::removeLeftoverImageParts(folder, QStringLiteral("A001"), 10, 20), 3);
        for (const auto& entry : entries)
            QVERIFY2(
                QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(entry.name)) != entry.removed, entry.name);
        QVERIFY(QFileInfo(folder + QStringLiteral("/.A001.000011.tiff.q.part")).isSymLink());
    }
};

EMULSA_TEST_MAIN(TestOutputPaths)
#include "tst_outputpaths.moc"
