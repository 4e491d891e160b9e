#include "common/FfmpegTool.h"
#include "common/RenderProbe.h"
#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "core/StockTable.h"
#include "core/filmdata/FilmStock.h"
#include "model/ProfileMaker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

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
        const Test::RendererRun run = Test::runRenderer(
            m_program, { "--profile", profile, "-o", folder, "--format", "Tiff Sequence", "--grain", "0", m_chart });
        *output = run.output;
        return run.exitCode;
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
        m_program = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + QStringLiteral("/bin/emulsa-render");
        QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program));
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
};

EMULSA_TEST_MAIN(TestProfileMaker)
#include "tst_profilemaker.moc"
