#include "common/ProfileDownloadSupport.h"
#include "common/TestEnvironment.h"

#include "ProfileArchive.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "core/StockTable.h"
#include "model/ProfileDownloader.h"
#include "model/SettingsManager.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>

using namespace Emulsa;
using Emulsa::Test::LocalHttpServer;
using Emulsa::Test::makeZip;
using Mirror = ProfileDownloader::Mirror;

namespace {

// The profile the tests download: in the catalogue, not in the shared data.
const char kTin[] = "SNSL3T";
const char kSharedTin[] = "SNSL3CT";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestProfileDownloader : public QObject
{
    Q_OBJECT

private:
    QString m_userRoot;
    QByteArray m_goodArchive;
    QByteArray m_table;

    const ProfileInfo* profile() const { return CameraListHelper::instance()->getProfile(profileId()); }
    static uint profileId()
    {
        CameraListHelper* catalogue = CameraListHelper::instance();
        catalogue->load();
        for (const auto& manufacturer : catalogue->manufacturers())
            for (const auto& model : manufacturer.models)
                for (const auto& entry : model.profiles)
                    if (qstrcmp(entry.info->tin, kTin) == 0)
                        return entry.info->profileId();
        return 0;
    }
    QString installedFolder() const { return ApplicationPaths::instance()->userProfilesPath() + kTin; }

    // Writes the mirrors to the settings store as the user would.
    static void storeMirrors(const QList<QPair<QString, QString>>& mirrors)
    {
        std::unique_ptr<QSettings> store = SettingsManager::openStore();
        store->remove(QStringLiteral("ProfileDownloads"));
        store->beginGroup(QStringLiteral("ProfileDownloads"));
        store->beginWriteArray(QStringLiteral("DownloadMirrors"), mirrors.size());
        for (int i = 0; i < mirrors.size(); ++i) {
            store->setArrayIndex(i);
            store->setValue(QStringLiteral("Name"), mirrors[i].first);
            store->setValue(QStringLiteral("Url"), mirrors[i].second);
        }
        store->endArray();
        store->endGroup();
    }

    // Downloads the profile from the server (or the given mirrors) and waits
    // for the outcome.
    bool download(LocalHttpServer& server, QString* failure = nullptr, QList<Mirror> mirrors = {}, uint mirror = 0)
    {
        ProfileDownloader downloader;
        downloader.setMirrors(mirrors.isEmpty() ? QList<Mirror> { { "Local", server.base() } } : mirrors);
        downloader.setMaxArchiveBytes(64 * 1024 * 1024);
        QSignalSpy installed(&downloader, &ProfileDownloader::downloadFinishedAndInstalled);
        QSignalSpy failed(&downloader, &ProfileDownloader::downloadFailed);
        downloader.downloadNewProfileFromProxy(profileId(), mirror);
        if (!QTest::qWaitFor([&] { return installed.count() + failed.count() > 0; }, 20000))
            return false;
        if (failure && !failed.isEmpty())
            *failure = failed.first().at(1).toString();
        return installed.count() == 1 && installed.first().first().toUInt() == profileId();
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        QVERIFY2(profileId() != 0, "the generated catalogue lacks the test profile");
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(profile()));

        // Real tables of a generated profile, packed under the downloaded
        // profile's name by the film-data generator's packer.
        const QString shared = FilmLibrary::instance()->dataRoot() + "/Profiles/" + kSharedTin + "/";
        const QString folder = Test::makeTempFolder(QStringLiteral("tables"));
        for (const char* stock : { "5207", "5213" }) {
            QVERIFY(QFile::copy(QStringLiteral("%1%2_%3.tin").arg(shared, kSharedTin, stock),
                QStringLiteral("%1/%2_%3.tin").arg(folder, kTin, stock)));
        }
        m_table = readFile(QStringLiteral("%1/%2_5207.tin").arg(folder, kTin));
        QCOMPARE(m_table.size(), int(StockTable::kBytes));
        const QString zipPath = Test::makeTempFolder(QStringLiteral("good")) + "/good.zip";
        QVERIFY(FilmData::ProfileArchive::pack(folder, kTin, zipPath));
        m_goodArchive = readFile(zipPath);
        QVERIFY(!m_goodArchive.isEmpty());
    }

    void cleanup() { QDir(ApplicationPaths::instance()->userProfilesPath()).removeRecursively(); }

    void goodArchiveInstallsAndIsUsed()
    {
        LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, m_goodArchive });
        QVERIFY(download(server));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile()));
        QCOMPARE(readFile(installedFolder() + "/" + kTin + "_5207.tin"), m_table);
        const StockTableData table = FilmLibrary::instance()->loadProfileStockTable("5207", profile());
        QVERIFY(table != nullptr);
        // Nothing but the installed folder is left in the profiles folder.
        QCOMPARE(QDir(ApplicationPaths::instance()->userProfilesPath())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { kTin });
    }

    void leftoverPartialFolderIsReplaced()
    {
        QVERIFY(QDir().mkpath(installedFolder()));
        QFile partial(installedFolder() + "/partial.tin");
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write("short");
        partial.close();
        LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, m_goodArchive });
        QVERIFY(download(server));
        QVERIFY(!QFile::exists(installedFolder() + "/partial.tin"));
        QVERIFY(QFile::exists(installedFolder() + "/" + kTin + "_5213.tin"));
    }

    // A profile folder that is a symbolic link is replaced as a link: the
    // link goes, and whatever it pointed to is left as it was.
    void linkedProfileFolderIsReplacedNotFollowed_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("link to a folder") << false;
        QTest::newRow("link to nothing") << true;
    }

    void linkedProfileFolderIsReplacedNotFollowed()
    {
        QFETCH(bool, dangling);
        const QString elsewhere = Test::makeTempFolder(QStringLiteral("elsewhere")) + QStringLiteral("/tables");
        const QString kept = elsewhere + QStringLiteral("/keep.tin");
        if (!dangling) {
            QVERIFY(QDir().mkpath(elsewhere));
            QFile file(kept);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not the downloader's");
        }
        QVERIFY(QDir().mkpath(ApplicationPaths::instance()->userProfilesPath()));
        QVERIFY(QFile::link(elsewhere, installedFolder()));

        LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, m_goodArchive });
        QVERIFY(download(server));
        const QFileInfo installed(installedFolder());
        QVERIFY(!installed.isSymLink());
        QVERIFY(installed.isDir());
        QCOMPARE(readFile(installedFolder() + "/" + kTin + "_5207.tin"), m_table);
        if (dangling)
            QVERIFY(!QFileInfo::exists(elsewhere));
        else
            QCOMPARE(readFile(kept), QByteArray("not the downloader's"));
        QCOMPARE(QDir(ApplicationPaths::instance()->userProfilesPath())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            QStringList { kTin });
    }

    void failuresLeaveNoFolder_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("declared");
        QTest::addColumn<QString>("message");
        const QString download = QStringLiteral("Can't download selected profile.");
        const QString open = QStringLiteral("Can't open downloaded profile.");
        const QString install = QStringLiteral("Can't install downloaded profile.");
        QTest::newRow("404") << 404 << QByteArray("gone") << qint64(-1) << download;
        QTest::newRow("truncated") << 200 << m_goodArchive.left(m_goodArchive.size() / 2)
                                   << qint64(m_goodArchive.size()) << download;
        QTest::newRow("not a zip") << 200 << QByteArray(4096, 'x') << qint64(-1) << open;
        QTest::newRow("oversized") << 200 << QByteArray(65 * 1024 * 1024, 'z') << qint64(-1) << download;
        QByteArray damaged = m_goodArchive;
        damaged[damaged.size() / 3] = char(damaged[damaged.size() / 3] ^ 0x5a);
        QTest::newRow("damaged entry") << 200 << damaged << qint64(-1) << install;
        QTest::newRow("short table") << 200 << makeZip({ { QStringLiteral("%1/%1_5207.tin").arg(kTin), "tiny" } })
                                     << qint64(-1) << install;
        QTest::newRow("no tables") << 200 << makeZip({ { QStringLiteral("%1/readme.txt").arg(kTin), "hi" } })
                                   << qint64(-1) << install;
    }

    void failuresLeaveNoFolder()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(qint64, declared);
        QFETCH(QString, message);
        LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { status, body, declared, false });
        QString failure;
        QVERIFY(!download(server, &failure));
        QVERIFY2(failure.startsWith(message), qPrintable(failure));
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(profile()));
        const QStringList left = QDir(ApplicationPaths::instance()->userProfilesPath())
                                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(',')));
        QVERIFY(QDir(QDir::tempPath()).entryList({ "emulsa-profile-*" }).isEmpty());
    }

    void unsafeEntriesWriteNothingOutside()
    {
        const QByteArray table = m_table;
        const QByteArray zip = makeZip({
            { QStringLiteral("%1/../../escaped.tin").arg(kTin), table },
            { QStringLiteral("/tmp/absolute.tin"), table },
            { QStringLiteral("%1/link.tin").arg(kTin), QByteArray("/etc/passwd"), 0120777 },
            { QStringLiteral("%1\\..\\back.tin").arg(kTin), table },
            { QStringLiteral("%1/%1_5207.tin").arg(kTin), table },
            { QStringLiteral("%1/%1_5207.TIN").arg(kTin), table },
        });
        LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, zip });
        QVERIFY(download(server));
        QCOMPARE(QDir(installedFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList { QStringLiteral("%1_5207.tin").arg(kTin) });
        QVERIFY(!QFile::exists("/tmp/absolute.tin"));
        // Every user folder of the test lies below the isolated root.
        QDirIterator it(QDir::homePath() + "/..", { "escaped.tin", "back.tin", "link.tin" }, QDir::Files | QDir::System,
            QDirIterator::Subdirectories);
        QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
    }

    void cancelMidDownloadIsClean()
    {
        LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, m_goodArchive, -1, true });
        ProfileDownloader downloader;
        downloader.setMirrors({ { "Local", server.base() } });
        QSignalSpy progress(&downloader, &ProfileDownloader::downloalProgress);
        QSignalSpy installed(&downloader, &ProfileDownloader::downloadFinishedAndInstalled);
        QSignalSpy failed(&downloader, &ProfileDownloader::downloadFailed);
        // Cancel from inside the reply's own progress signal.
        connect(&downloader, &ProfileDownloader::downloalProgress, &downloader,
            &ProfileDownloader::cancelCurrentDownload, Qt::DirectConnection);
        downloader.downloadNewProfileFromProxy(profileId());
        QVERIFY(downloader.isDownloading());
        QVERIFY(QTest::qWaitFor([&] { return !progress.isEmpty(); }, 20000));
        QTest::qWait(200);
        QVERIFY(!downloader.isDownloading());
        QCOMPARE(downloader.currentProfileId(), 0u);
        QCOMPARE(installed.count() + failed.count(), 0);
        QVERIFY(!QFileInfo::exists(installedFolder()));
    }

    void requestsNothingWhenNotPossible()
    {
        LocalHttpServer server;
        ProfileDownloader downloader;
        QSignalSpy failed(&downloader, &ProfileDownloader::downloadFailed);
        downloader.setMirrors({ { "Local", server.base() } });
        downloader.downloadNewProfileFromProxy(0xDEADBEEF);
        QVERIFY(!downloader.isDownloading());

        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        storeMirrors({});
        downloader.setMirrors({});
        QVERIFY(!downloader.isConfigured());
        downloader.downloadNewProfileFromProxy(profileId());
        QVERIFY(!downloader.isDownloading());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(1).toString(), ProfileDownloader::notConfiguredMessage());
        QTest::qWait(50);
        QCOMPARE(server.requests(), 0);
    }

    // The mirrors of the store, in order: an entry without an address is
    // left out, one without a name is named after its host, every address
    // ends with "/"; the environment variable replaces the list.
    void mirrorsComeFromTheStore()
    {
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        storeMirrors({});
        QVERIFY(ProfileDownloader::configuredMirrors().isEmpty());

        storeMirrors({ { "USA", "https://us.example.invalid/Profile/" }, { "Nowhere", "  " },
            { "", "https://eu.example.invalid/Profile" }, { " Asia / Pacific ", "https://ap.example.invalid/P/" } });
        const QList<Mirror> expected { { "USA", "https://us.example.invalid/Profile/" },
            { "eu.example.invalid", "https://eu.example.invalid/Profile/" },
            { "Asia / Pacific", "https://ap.example.invalid/P/" } };
        QCOMPARE(ProfileDownloader::configuredMirrors(), expected);
        QCOMPARE(ProfileDownloader().mirrors(), expected);

        qputenv("EMULSA_PROFILE_DOWNLOAD_URL", "http://local.invalid/x");
        QCOMPARE(
            ProfileDownloader::configuredMirrors(), (QList<Mirror> { { "local.invalid", "http://local.invalid/x/" } }));
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        storeMirrors({});

        QCOMPARE(ProfileDownloader::rememberedMirror(), 0);
        ProfileDownloader::rememberMirror(2);
        QCOMPARE(ProfileDownloader::rememberedMirror(), 2);
        ProfileDownloader::rememberMirror(0);
    }

    // The archive is asked for at the chosen mirror only; an index past the
    // list falls back to the first mirror.
    void downloadsFromTheChosenMirror_data()
    {
        QTest::addColumn<uint>("index");
        QTest::addColumn<QString>("expectedPrefix");
        QTest::newRow("first") << 0u << "/us/Profile/";
        QTest::newRow("second") << 1u << "/eu/Profile/";
        QTest::newRow("third") << 2u << "/ap/Profile/";
        QTest::newRow("past the list") << 7u << "/us/Profile/";
    }
    void downloadsFromTheChosenMirror()
    {
        QFETCH(uint, index);
        QFETCH(QString, expectedPrefix);
        LocalHttpServer server;
        QList<Mirror> mirrors;
        for (const char* prefix : { "/us/Profile/", "/eu/Profile/", "/ap/Profile/" }) {
            mirrors.append({ prefix, server.base(prefix) });
            server.route(prefix + QStringLiteral("%1.zip").arg(kTin), { 200, m_goodArchive });
        }
        if (index >= uint(mirrors.size()))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No download mirror 7 of 3"));
        QVERIFY(download(server, nullptr, mirrors, index));
        QCOMPARE(server.requestedPaths(), QStringList { expectedPrefix + kTin + ".zip" });
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile()));
    }
};

EMULSA_TEST_MAIN(TestProfileDownloader)
#include "tst_profiledownloader.moc"
