#include "common/FfmpegTool.h"
#include "common/RenderProbe.h"
#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "core/StockTable.h"
#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmStock.h"
#include "model/ProfileMaker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <unistd.h>

using namespace Emulsa;
using Emulsa::Test::FfmpegTool;
using Emulsa::Test::RenderProbe;

namespace {

const ProfileInfo* catalogueProfile(const QString& id)
{
    CameraListHelper* catalogue = CameraListHelper::instance();
    return catalogue->load() ? catalogue->getProfile(ProfileInfo::packId(id.toLatin1().constData())) : nullptr;
}

QString profilesRoot()
{
    return ApplicationPaths::instance()->userProfilesPath();
}

// Everything in the per-user profiles folder, hidden entries included.
QStringList profilesFolderEntries()
{
    return QDir(profilesRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

// File name -> SHA-256 of every table in a folder.
std::map<QString, QByteArray> tableDigests(const QString& folder)
{
    std::map<QString, QByteArray> digests;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files)) {
        digests[file.fileName()]
            = QCryptographicHash::hash(Test::fileBytes(file.filePath()), QCryptographicHash::Sha256);
    }
    return digests;
}

// A .cube of `size` points a side that turns S-Log3 S-Gamut3.Cine code
// values into Rec. 709 video: S-Log3 decoding, the primaries of S-Gamut3.Cine
// to those of Rec. 709, then the BT.709 camera transfer. Values outside 0..1
// are kept.
QByteArray slog3ToVideoCube(int size)
{
    using namespace FilmData;
    const Mat3 toRec709 = CameraEncoding::toRec709(Gamut::SGamut3Cine);
    QByteArray text = "TITLE \"S-Log3 to Rec. 709\"\nLUT_3D_SIZE " + QByteArray::number(size) + "\n";
    for (int b = 0; b < size; ++b)
        for (int g = 0; g < size; ++g)
            for (int r = 0; r < size; ++r) {
                const double s = size - 1;
                const Vec3 linear { CameraEncoding::decode(Transfer::SLog3, r / s),
                    CameraEncoding::decode(Transfer::SLog3, g / s), CameraEncoding::decode(Transfer::SLog3, b / s) };
                const Vec3 video = CameraEncoding::multiply(toRec709, linear);
                for (int c = 0; c < 3; ++c)
                    text += QByteArray::number(CameraEncoding::bt709Encode(video[c]), 'g', 9) + (c < 2 ? ' ' : '\n');
            }
    return text;
}

// A chart recorded in S-Log3 S-Gamut3.Cine, as 16-bit RGB (320 x 180): a
// row of grey patches from 7 stops under mid-grey to 5 over, and rows of
// colour patches (twelve hues at three exposures) of moderate saturation.
QByteArray slog3ChartPixels()
{
    using namespace FilmData;
    const Mat3 fromRec709 = CameraEncoding::inverse(CameraEncoding::toRec709(Gamut::SGamut3Cine));
    std::vector<Vec3> patches;
    for (int i = 0; i < 12; ++i) {
        const double grey = 0.18 * std::pow(2.0, -7.0 + i * 12.0 / 11.0);
        patches.push_back({ grey, grey, grey });
    }
    for (const double stops : { -2.0, 0.0, 1.5 })
        for (int h = 0; h < 12; ++h) {
            const double angle = h * std::acos(-1.0) / 6.0;
            const double level = 0.18 * std::pow(2.0, stops);
            patches.push_back({ level * (1.0 + 0.5 * std::cos(angle)), level * (1.0 + 0.5 * std::cos(angle - 2.094)),
                level * (1.0 + 0.5 * std::cos(angle + 2.094)) });
        }
    QByteArray pixels(320 * 180 * 6, '\0');
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 320; ++x) {
            // 12 patches of 26 pixels a row, 4 rows of 45.
            const int column = std::min(x / 26, 11);
            const Vec3 sceneLight = patches[std::size_t(y / 45 * 12 + column)];
            const Vec3 camera = CameraEncoding::multiply(fromRec709, sceneLight);
            for (int c = 0; c < 3; ++c) {
                const double code = std::clamp(CameraEncoding::encode(Transfer::SLog3, camera[c]), 0.0, 1.0);
                const quint16 value = quint16(std::lround(code * 65535.0));
                const int at = (y * 320 + x) * 6 + c * 2;
                pixels[at] = char(value & 0xff);
                pixels[at + 1] = char(value >> 8);
            }
        }
    return pixels;
}

// The shipped catalogue alone, without the cameras the user added.
const ProfileInfo* shippedProfile(unsigned int id)
{
    static CameraListHelper shipped;
    static const bool loaded = shipped.loadFromData(Test::fileBytes(shipped.xmlPath()));
    return loaded ? shipped.getProfile(id) : nullptr;
}

} // namespace

// Catalogue profiles whose tables are installed nowhere are made on this
// machine, installed into the per-user profiles folder and used at once.
class TestProfileMaker : public QObject
{
    Q_OBJECT

private:
    QString m_program;
    QString m_chart;
    QByteArray m_standardRender;

    int render(const QString& profile, const QString& folder, QString* output)
    {
        return Test::rendererExitCode(m_program,
            { "--profile", profile, "-o", folder, "--format", "Tiff Sequence", "--grain", "0", m_chart }, output);
    }

    static void verifyNothingInstalled(const ProfileInfo* profile)
    {
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(profile));
        const QStringList left = profilesFolderEntries();
        QVERIFY2(left.isEmpty(), qPrintable(left.join(',')));
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        QVERIFY2(Emulsa::Test::findBuiltRenderer(&m_program), qPrintable(m_program));
        m_chart = Test::makeTempFolder(QStringLiteral("chart")) + QStringLiteral("/chart.mkv");
        const FfmpegTool::Result made = FfmpegTool::ffmpeg({ "-f", "lavfi", "-i", "smptehdbars=size=320x180:rate=25",
            "-frames:v", "1", "-c:v", "libx264", "-qp", "0", "-pix_fmt", "yuv422p", m_chart });
        QVERIFY2(made.ok, qPrintable(made.errors));
        // The chart through the standard profile, the picture every made
        // profile's render must differ from.
        const QString folder = Test::makeTempFolder(QStringLiteral("standard"));
        QString output;
        QVERIFY2(render(QStringLiteral("OT01"), folder, &output) == 0, qPrintable(output));
        QVERIFY2(!output.contains(QLatin1String("making")), qPrintable(output));
        m_standardRender = RenderProbe::decode(folder + QStringLiteral("/chart/chart.000000.tiff"), "rgb24");
        QCOMPARE(m_standardRender.size(), 320 * 180 * 3);
    }

    void cleanup()
    {
        QFile(QDir::cleanPath(profilesRoot())).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(QDir::cleanPath(profilesRoot()));
        QDir(profilesRoot()).removeRecursively();
        FilmLibrary::instance()->clearStockTableCache();
    }

    // Every catalogue profile the build's data folder lacks: the renderer
    // makes it when asked for it, then grades the chart through its tables.
    void missingProfileIsMadeAndRenders_data()
    {
        QTest::addColumn<QString>("id");
        CameraListHelper* catalogue = CameraListHelper::instance();
        QVERIFY(catalogue->load());
        int missing = 0;
        for (const auto& manufacturer : catalogue->manufacturers())
            for (const auto& model : manufacturer.models)
                for (const auto& entry : model.profiles)
                    if (!FilmLibrary::instance()->isProfileInstalled(entry.info)) {
                        const QString id = QString::fromLatin1(entry.info->id);
                        QTest::newRow(qPrintable(id)) << id;
                        ++missing;
                    }
        QVERIFY2(missing > 0, "every catalogue profile is installed already: nothing would be tested");
    }

    void missingProfileIsMadeAndRenders()
    {
        QFETCH(QString, id);
        const ProfileInfo* profile = catalogueProfile(id);
        QVERIFY(profile);
        QVERIFY(ProfileMaker::canMake(profile));
        const QString folder = Test::makeTempFolder(QStringLiteral("render-") + id);
        QString output;
        QVERIFY2(render(id, folder, &output) == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("making the camera profile %1").arg(id)), qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("100 %")), qPrintable(output));

        // Installed under its own name only, one whole table per stock.
        const QString tin = QString::fromLatin1(profile->tin);
        QCOMPARE(profilesFolderEntries(), QStringList { tin });
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile));
        const QFileInfoList tables = QDir(FilmLibrary::userProfileFolder(tin)).entryInfoList(QDir::Files);
        QCOMPARE(tables.size(), int(FilmData::FilmStocks::all().size()));
        for (const QFileInfo& table : tables)
            QCOMPARE(table.size(), qint64(StockTable::kBytes));
        QVERIFY(FilmLibrary::instance()->loadProfileStockTable(QStringLiteral("5207"), profile) != nullptr);

        // The render went through the profile's own decoding.
        const QByteArray rendered = RenderProbe::decode(folder + QStringLiteral("/chart/chart.000000.tiff"), "rgb24");
        QCOMPARE(rendered.size(), m_standardRender.size());
        long total = 0;
        for (int i = 0; i < rendered.size(); ++i)
            total += std::abs(int(uchar(rendered[i])) - int(uchar(m_standardRender[i])));
        const double mean = double(total) / rendered.size();
        QVERIFY2(mean > 2.0, qPrintable(QStringLiteral("mean difference from OT01: %1").arg(mean)));

        // Asked again, the installed profile is used as it is.
        QVERIFY2(render(id, Test::makeTempFolder(QStringLiteral("again-") + id), &output) == 0, qPrintable(output));
        QVERIFY2(!output.contains(QLatin1String("making")), qPrintable(output));
    }

    // The tables depend on the profile only: a make on one thread and one on
    // the worker with two threads write the same bytes, and the progress
    // climbs to 100.
    void makesAreRepeatable_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("log camera") << QStringLiteral("CN01");
        QTest::newRow("shipped profile made again") << QStringLiteral("SN01");
    }

    void makesAreRepeatable()
    {
        QFETCH(QString, id);
        const ProfileInfo* profile = catalogueProfile(id);
        QVERIFY(profile);
        const QString tin = QString::fromLatin1(profile->tin);
        QString error;
        QVERIFY2(ProfileMaker::make(*profile, &error, nullptr, {}, 1), qPrintable(error));
        const std::map<QString, QByteArray> first = tableDigests(FilmLibrary::userProfileFolder(tin));
        QCOMPARE(int(first.size()), int(FilmData::FilmStocks::all().size()));
        QVERIFY(QDir(FilmLibrary::userProfileFolder(tin)).removeRecursively());

        ProfileMaker maker;
        maker.setThreads(2);
        QSignalSpy made(&maker, &ProfileMaker::made);
        QSignalSpy progress(&maker, &ProfileMaker::progressChanged);
        maker.start(profile->profileId());
        QVERIFY(maker.isMaking());
        QVERIFY(made.wait(120000));
        QCOMPARE(made.first().first().toUInt(), profile->profileId());
        QVERIFY(tableDigests(FilmLibrary::userProfileFolder(tin)) == first);
        QCOMPARE(profilesFolderEntries(), QStringList { tin });

        QVERIFY(!progress.isEmpty());
        int last = -1;
        for (const QList<QVariant>& step : progress) {
            QVERIFY(step.first().toInt() >= last);
            last = step.first().toInt();
        }
        QCOMPARE(last, 100);

        // A profile shipped in the data folder is the same as the one made.
        const QString shared = FilmLibrary::instance()->dataRoot() + QStringLiteral("/Profiles/") + tin;
        if (QFileInfo(shared).isDir())
            QVERIFY(tableDigests(shared) == first);
    }

    // A make that is cancelled, or that cannot write, installs nothing and
    // leaves no staging folder behind.
    void unfinishedMakesLeaveNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancelled at once") << QStringLiteral("cancel at 0");
        QTest::newRow("cancelled midway") << QStringLiteral("cancel at 30");
        QTest::newRow("profiles folder is a file") << QStringLiteral("file");
        // The owner of a read-only folder cannot write into it unless it is
        // the superuser, whom permissions do not stop.
        if (geteuid() != 0)
            QTest::newRow("read-only profiles folder") << QStringLiteral("read-only");
    }

    void unfinishedMakesLeaveNothing()
    {
        QFETCH(QString, how);
        const ProfileInfo* profile = catalogueProfile(QStringLiteral("BM01"));
        QVERIFY(profile);
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(profile));
        const QString root = QDir::cleanPath(profilesRoot());
        if (how == QLatin1String("file")) {
            QVERIFY(QDir().mkpath(QFileInfo(root).absolutePath()));
            QVERIFY(Test::writeFileBytes(root, "not a folder"));
        } else if (how == QLatin1String("read-only")) {
            QVERIFY(QDir().mkpath(root));
            QVERIFY(QFile(root).setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        }

        ProfileMaker maker;
        maker.setThreads(2);
        QSignalSpy made(&maker, &ProfileMaker::made);
        QSignalSpy failed(&maker, &ProfileMaker::failed);
        QSignalSpy cancelled(&maker, &ProfileMaker::cancelled);
        if (how.startsWith(QLatin1String("cancel at "))) {
            const int at = how.mid(10).toInt();
            // Straight from the worker, so the make stops while it runs.
            connect(
                &maker, &ProfileMaker::progressChanged, &maker,
                [&maker, at](int percent) {
                    if (percent >= at)
                        maker.cancel();
                },
                Qt::DirectConnection);
        }
        maker.start(profile->profileId());
        QVERIFY(QTest::qWaitFor([&] { return made.count() + failed.count() + cancelled.count() > 0; }, 120000));
        QCOMPARE(made.count(), 0);
        if (how.startsWith(QLatin1String("cancel"))) {
            QCOMPARE(cancelled.count(), 1);
            QCOMPARE(failed.count(), 0);
            verifyNothingInstalled(profile);
        } else {
            QCOMPARE(failed.count(), 1);
            QVERIFY2(failed.first().at(1).toString().startsWith(QLatin1String("Can't make the")),
                qPrintable(failed.first().at(1).toString()));
            QVERIFY(!FilmLibrary::instance()->isProfileInstalled(profile));
            if (how == QLatin1String("file"))
                QCOMPARE(Test::fileBytes(root), QByteArray("not a folder"));
            else
                verifyNothingInstalled(profile);
        }
    }

    // The renderer ends with a failure, rendering nothing, when the profile
    // it needs cannot be made.
    void rendererStopsWhenTheMakeFails()
    {
        const QString root = QDir::cleanPath(profilesRoot());
        QVERIFY(QDir().mkpath(QFileInfo(root).absolutePath()));
        QVERIFY(Test::writeFileBytes(root, "not a folder"));
        const QString folder = Test::makeTempFolder(QStringLiteral("failed"));
        QString output;
        QCOMPARE(render(QStringLiteral("CN01"), folder, &output), 1);
        QVERIFY2(output.contains(QLatin1String("Can't make the")), qPrintable(output));
        QVERIFY(QDir(folder).isEmpty());
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(catalogueProfile(QStringLiteral("CN01"))));
    }

    // A profile the generator does not know is refused before anything is
    // written.
    void unknownEncodingIsRefused()
    {
        ProfileInfo unknown;
        QVERIFY(ProfileInfo::setField(unknown.id, sizeof unknown.id, "ZZ99"));
        QVERIFY(ProfileInfo::setField(unknown.tin, sizeof unknown.tin, "ZZTEST"));
        QVERIFY(ProfileInfo::setField(unknown.name, sizeof unknown.name, "Unknown camera"));
        QVERIFY(!ProfileMaker::canMake(&unknown));
        QVERIFY(!ProfileMaker::canMake(nullptr));
        QString error;
        QVERIFY(!ProfileMaker::make(unknown, &error));
        QVERIFY2(error.contains(QLatin1String("Unknown camera")), qPrintable(error));
        verifyNothingInstalled(&unknown);
    }

    // A camera added from a .cube of the S-Log3 formula grades an S-Log3
    // chart like the catalogue's S-Log3 profile, made through its table by
    // the renderer when first asked for; the catalogue read afresh (a
    // restart) still has it.
    void cameraAddedFromLutGradesLikeItsCamera()
    {
        const QString cube = Test::makeTempFolder(QStringLiteral("lut")) + QStringLiteral("/slog3.cube");
        QVERIFY(Test::writeFileBytes(cube, slog3ToVideoCube(65)));
        unsigned int id = 0;
        QString error;
        QVERIFY2(
            ProfileMaker::addCameraFromLut(cube, QStringLiteral("My S-Log3 camera"), &id, &error), qPrintable(error));
        const ProfileInfo* added = CameraListHelper::instance()->getProfile(id);
        QVERIFY(added);
        const QString code = QString::fromLatin1(added->id);
        QCOMPARE(QByteArray(added->name), QByteArray("My S-Log3 camera"));
        QVERIFY(!shippedProfile(id));
        QVERIFY(ProfileMaker::canMake(added));
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(added));

        // A fresh catalogue reads the added camera back, under the added
        // cameras' own manufacturer.
        {
            CameraListHelper restarted;
            QVERIFY(restarted.load());
            const ProfileInfo* again = restarted.getProfile(id);
            QVERIFY(again);
            QCOMPARE(QByteArray(again->name), QByteArray("My S-Log3 camera"));
            QVERIFY(CameraListHelper::isAddedProfile(again));
            QCOMPARE(restarted.manufacturers().last().name, QString::fromLatin1(CameraListHelper::kAddedManufacturer));
            QCOMPARE(restarted.manufacturers().last().models.size(), 1);
            QVERIFY(!CameraListHelper::isAddedProfile(restarted.getProfile(ProfileInfo::packId("SN01"))));
        }

        // The S-Log3 chart through the catalogue's profile and through the
        // added camera (made on the way).
        const QString folder = Test::makeTempFolder(QStringLiteral("slog3"));
        QVERIFY(Test::writeFileBytes(folder + QStringLiteral("/chart.rgb48"), slog3ChartPixels()));
        const QString chart = folder + QStringLiteral("/chart.mkv");
        const FfmpegTool::Result made = FfmpegTool::ffmpeg(
            { "-f", "rawvideo", "-pix_fmt", "rgb48le", "-s", "320x180", "-i", folder + QStringLiteral("/chart.rgb48"),
                "-frames:v", "1", "-c:v", "libx264", "-qp", "0", "-pix_fmt", "yuv444p", chart });
        QVERIFY2(made.ok, qPrintable(made.errors));
        const auto renderChart = [&](const QString& profile, const QString& out, QString* output) {
            const Test::RendererRun run = Test::runRenderer(
                m_program, { "--profile", profile, "-o", out, "--format", "Tiff Sequence", "--grain", "0", chart });
            *output = run.output;
            return run.exitCode;
        };
        QString output;
        const QString viaCatalogue = Test::makeTempFolder(QStringLiteral("sn01"));
        QVERIFY2(renderChart(QStringLiteral("SN01"), viaCatalogue, &output) == 0, qPrintable(output));
        const QString viaLut = Test::makeTempFolder(QStringLiteral("lut-render"));
        QVERIFY2(renderChart(code, viaLut, &output) == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("making the camera profile %1").arg(code)), qPrintable(output));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(added));
        const QByteArray expected
            = RenderProbe::decode(viaCatalogue + QStringLiteral("/chart/chart.000000.tiff"), "rgb24");
        const QByteArray got = RenderProbe::decode(viaLut + QStringLiteral("/chart/chart.000000.tiff"), "rgb24");
        QCOMPARE(got.size(), 320 * 180 * 3);
        QCOMPARE(expected.size(), got.size());
        long total = 0;
        int worst = 0;
        for (int i = 0; i < got.size(); ++i) {
            const int d = std::abs(int(uchar(got[i])) - int(uchar(expected[i])));
            total += d;
            worst = std::max(worst, d);
        }
        const double mean = double(total) / got.size();
        qInfo("added camera against SN01: mean difference %.3f, max %d (of 255)", mean, worst);
        QVERIFY2(worst <= 3, qPrintable(QStringLiteral("max difference %1, mean %2").arg(worst).arg(mean)));
        // The standard profile grades the same chart far from both, so the
        // comparison can tell profiles apart.
        const QString viaStandard = Test::makeTempFolder(QStringLiteral("standard-slog3"));
        QVERIFY2(renderChart(QStringLiteral("OT01"), viaStandard, &output) == 0, qPrintable(output));
        const QByteArray standard
            = RenderProbe::decode(viaStandard + QStringLiteral("/chart/chart.000000.tiff"), "rgb24");
        QCOMPARE(standard.size(), got.size());
        long fromStandard = 0;
        for (int i = 0; i < got.size(); ++i)
            fromStandard += std::abs(int(uchar(got[i])) - int(uchar(standard[i])));
        QVERIFY2(
            double(fromStandard) / got.size() > 10.0, qPrintable(QString::number(double(fromStandard) / got.size())));

        // A machine without the added camera (no added-cameras file) knows
        // nothing of its id.
        QDir(profilesRoot()).removeRecursively();
        CameraListHelper elsewhere;
        QVERIFY(elsewhere.load());
        QVERIFY(elsewhere.getProfile(ProfileInfo::packId("SN01")));
        QVERIFY(!elsewhere.getProfile(id));
        QVERIFY(render(code, Test::makeTempFolder(QStringLiteral("elsewhere")), &output) != 0);
        QVERIFY2(output.contains(QStringLiteral("uninstalled camera profile \"%1\"").arg(code)), qPrintable(output));
    }

    // Ids handed out are distinct and never those of the shipped catalogue;
    // names and tables that cannot be used are refused, adding nothing.
    void addedCamerasGetFreshIdsAndRefuseBadInput()
    {
        const QString folder = Test::makeTempFolder(QStringLiteral("luts"));
        const QString tiny = folder + QStringLiteral("/tiny.cube");
        QVERIFY(Test::writeFileBytes(tiny, slog3ToVideoCube(2)));
        QSet<unsigned int> ids;
        for (int i = 0; i < 40; ++i) {
            unsigned int id = 0;
            QString error;
            QVERIFY2(ProfileMaker::addCameraFromLut(tiny, QStringLiteral("Camera %1").arg(i), &id, &error),
                qPrintable(error));
            QVERIFY(!shippedProfile(id));
            QVERIFY(!ids.contains(id));
            ids.insert(id);
        }
        CameraListHelper restarted;
        QVERIFY(restarted.load());
        for (const unsigned int id : ids)
            QVERIFY(CameraListHelper::isAddedProfile(restarted.getProfile(id)));

        const QString broken = folder + QStringLiteral("/broken.cube");
        QVERIFY(Test::writeFileBytes(broken, "LUT_3D_SIZE 2\n0 0 0\n1 0 nan\n"));
        const QByteArray catalogueBefore = Test::fileBytes(CameraListHelper::addedCataloguePath());
        const struct
        {
            QString file;
            QString name;
            QString reason;
        } refusals[] = {
            { broken, QStringLiteral("Broken"), QStringLiteral("Line 3:") },
            { folder + QStringLiteral("/missing.cube"), QStringLiteral("Missing"), QStringLiteral("missing.cube") },
            { tiny, QStringLiteral("  "), QStringLiteral("1 to 63 characters") },
            { tiny, QString(64, QLatin1Char('x')), QStringLiteral("1 to 63 characters") },
            { tiny, QStringLiteral("Say \"cheese\""), QStringLiteral("character \"") },
            { tiny, QStringLiteral("A</model>"), QStringLiteral("character <") },
        };
        for (const auto& refusal : refusals) {
            unsigned int id = 0;
            QString error;
            QVERIFY2(
                !ProfileMaker::addCameraFromLut(refusal.file, refusal.name, &id, &error), qPrintable(refusal.name));
            QVERIFY2(error.contains(refusal.reason), qPrintable(error));
        }
        QCOMPARE(Test::fileBytes(CameraListHelper::addedCataloguePath()), catalogueBefore);
    }
};

EMULSA_TEST_MAIN(TestProfileMaker)
#include "tst_profilemaker.moc"
