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

#include <QCryptographicHash>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QThread>

#include <functional>

using namespace Emulsa;
using Emulsa::Test::EndlessHttpServer;
using Emulsa::Test::fileBytes;
using Emulsa::Test::LocalHttpServer;
using Emulsa::Test::makeZip;
using Mirror = ProfileMirror;

namespace {

// The profile the tests download: in the catalogue, not in the shared data.
const char kTin[] = "SNSL3T";
const char kSharedTin[] = "SNSL3CT";

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
    bool download(LocalHttpServer& server, QString* failure = nullptr, QList<Mirror> mirrors = {}, uint mirror = 0,
        const std::function<void(ProfileDownloader&)>& setUp = {})
    {
        ProfileDownloader downloader;
        downloader.setMirrors(mirrors.isEmpty() ? QList<Mirror> { { "Local", server.base() } } : mirrors);
        downloader.setMaxArchiveBytes(64 * 1024 * 1024);
        if (setUp)
            setUp(downloader);
        QSignalSpy installed(&downloader, &ProfileDownloader::downloadFinishedAndInstalled);
        QSignalSpy failed(&downloader, &ProfileDownloader::downloadFailed);
        downloader.downloadNewProfileFromProxy(profileId(), mirror);
        if (!QTest::qWaitFor([&] { return installed.count() + failed.count() > 0; }, 20000))
            return false;
        if (failure && !failed.isEmpty())
            *failure = failed.first().at(1).toString();
        return installed.count() == 1 && installed.first().first().toUInt() == profileId();
    }

    QString archivePath(const QString& prefix = QStringLiteral("/Profile/")) const
    {
        return prefix + kTin + QStringLiteral(".zip");
    }

    static void verifyNothingInstalled()
    {
        const QStringList left = QDir(ApplicationPaths::instance()->userProfilesPath())
                                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(',')));
        QVERIFY(QDir(QDir::tempPath()).entryList({ "emulsa-profile-*" }).isEmpty());
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
        m_table = fileBytes(QStringLiteral("%1/%2_5207.tin").arg(folder, kTin), QByteArray());
        QCOMPARE(m_table.size(), int(StockTable::kBytes));
        const QString zipPath = Test::makeTempFolder(QStringLiteral("good")) + "/good.zip";
        QVERIFY(FilmData::ProfileArchive::pack(folder, kTin, zipPath));
        m_goodArchive = fileBytes(zipPath, QByteArray());
        QVERIFY(!m_goodArchive.isEmpty());
    }

    void cleanup() { QDir(ApplicationPaths::instance()->userProfilesPath()).removeRecursively(); }

    void goodArchiveInstallsAndIsUsed()
    {
        LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, m_goodArchive });
        QVERIFY(download(server));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile()));
        QCOMPARE(fileBytes(installedFolder() + "/" + kTin + "_5207.tin", QByteArray()), m_table);
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
        QCOMPARE(fileBytes(installedFolder() + "/" + kTin + "_5207.tin", QByteArray()), m_table);
        if (dangling)
            QVERIFY(!QFileInfo::exists(elsewhere));
        else
            QCOMPARE(fileBytes(kept, QByteArray()), QByteArray("not the downloader's"));
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
        verifyNothingInstalled();
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

    // Plain http is for the loopback address only (the tests' server); any
    // other address that is not https is refused before anything is asked.
    void onlySecureAddressesAreAsked_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("http, remote address") << "http://198.51.100.7/Profile/" << false;
        QTest::newRow("http, remote name") << "http://profiles.example.invalid/Profile/" << false;
        QTest::newRow("http, loopback-looking name") << "http://127.0.0.1.example.invalid/Profile/" << false;
        QTest::newRow("ftp, loopback") << "ftp://127.0.0.1/Profile/" << false;
        QTest::newRow("file") << "file:///tmp/Profile/" << false;
        QTest::newRow("no scheme") << "profiles.example.invalid/Profile/" << false;
        QTest::newRow("https, remote name") << "https://profiles.example.invalid/Profile/" << true;
        QTest::newRow("http, loopback") << "http://127.0.0.1:9/Profile/" << true;
        QTest::newRow("http, IPv6 loopback") << "http://[::1]:9/Profile/" << true;
        QTest::newRow("http, localhost") << "http://localhost:9/Profile/" << true;
    }

    void onlySecureAddressesAreAsked()
    {
        QFETCH(QString, base);
        QFETCH(bool, allowed);
        ProfileDownloader downloader;
        downloader.setMirrors({ { "Mirror", base } });
        QSignalSpy failed(&downloader, &ProfileDownloader::downloadFailed);
        downloader.downloadNewProfileFromProxy(profileId());
        QCOMPARE(downloader.isDownloading(), allowed);
        QCOMPARE(failed.count(), allowed ? 0 : 1);
        if (!allowed) {
            const QString message = failed.first().at(1).toString();
            QVERIFY2(message.startsWith("Can't download selected profile") && message.contains("https"),
                qPrintable(message));
        }
        downloader.cancelCurrentDownload();
        QVERIFY(!downloader.isDownloading());
    }

    // A redirect is followed only to the same scheme, host and port; the
    // other server is never asked.
    void redirectsStayOnTheirOrigin_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("installs");
        QTest::newRow("same origin") << "same" << true;
        QTest::newRow("other port") << "other" << false;
        QTest::newRow("other host name") << "localhost" << false;
    }

    void redirectsStayOnTheirOrigin()
    {
        QFETCH(QString, target);
        QFETCH(bool, installs);
        LocalHttpServer server;
        LocalHttpServer other;
        const QString moved = archivePath(QStringLiteral("/moved/"));
        server.route(moved, { 200, m_goodArchive });
        other.route(moved, { 200, m_goodArchive });
        QString location = server.base(QStringLiteral("/moved/")) + kTin + ".zip";
        if (target == "other")
            location = other.base(QStringLiteral("/moved/")) + kTin + ".zip";
        else if (target == "localhost")
            location.replace("127.0.0.1", "localhost");
        LocalHttpServer::Route redirect { 302, QByteArray() };
        redirect.location = location.toLatin1();
        server.route(archivePath(), redirect);

        QString failure;
        QCOMPARE(download(server, &failure), installs);
        QCOMPARE(other.requests(), 0);
        if (installs) {
            QCOMPARE(server.requestedPaths().mid(0, 2), (QStringList { archivePath(), moved }));
            QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile()));
        } else {
            QCOMPARE(server.requestedPaths(), QStringList { archivePath() });
            QVERIFY2(failure.startsWith("Can't download selected profile") && failure.contains(location),
                qPrintable(failure));
            verifyNothingInstalled();
        }
    }

    // A server that stops sending, before its answer or in the middle of the
    // archive, ends the download with a message once the transfer timeout
    // passes without a byte.
    void stalledServerTimesOut_data()
    {
        QTest::addColumn<bool>("midway");
        QTest::newRow("before answering") << false;
        QTest::newRow("in the archive") << true;
    }

    void stalledServerTimesOut()
    {
        QFETCH(bool, midway);
        LocalHttpServer server;
        LocalHttpServer::Route route { 200, m_goodArchive, -1, midway };
        route.silent = !midway;
        server.route(archivePath(), route);
        QString failure;
        QVERIFY(!download(server, &failure, {}, 0, [](ProfileDownloader& d) { d.setTransferTimeout(400); }));
        QVERIFY2(failure.startsWith("Can't download selected profile") && failure.contains("sent nothing for 0.4 s"),
            qPrintable(failure));
        QCOMPARE(server.requests(), 1);
        verifyNothingInstalled();
    }

    // A reply without end is dropped as soon as it passes the size limit:
    // the reply is read through a small buffer, so even while the program is
    // busy elsewhere (the progress handler sleeps once) the server cannot get
    // much more than the limit into it.
    void endlessReplyStopsNearTheLimit()
    {
        EndlessHttpServer server;
        QVERIFY(server.isListening());
        const qint64 limit = 4 * 1024 * 1024;
        ProfileDownloader downloader;
        downloader.setMirrors({ { "Endless", server.base() } });
        downloader.setMaxArchiveBytes(limit);
        QSignalSpy failed(&downloader, &ProfileDownloader::downloadFailed);
        bool slept = false;
        connect(&downloader, &ProfileDownloader::downloalProgress, &downloader, [&slept] {
            if (!slept)
                QThread::msleep(500);
            slept = true;
        });
        downloader.downloadNewProfileFromProxy(profileId());
        QVERIFY(QTest::qWaitFor([&] { return !failed.isEmpty(); }, 20000));
        QVERIFY2(failed.first().at(1).toString().startsWith("Can't download selected profile"),
            qPrintable(failed.first().at(1).toString()));
        QVERIFY(QTest::qWaitFor([&] { return server.clientGone(); }, 5000));
        // The limit, the read buffer and what the two sockets hold.
        QVERIFY2(server.bytesSent() < limit + 24 * 1024 * 1024, qPrintable(QString::number(server.bytesSent())));
        verifyNothingInstalled();
    }

    // An archive with a published SHA-256 beside it ("<archive>.sha256", in
    // the form sha256sum writes) is installed only when it matches; without
    // one it is installed as it is.
    void publishedChecksumIsChecked_data()
    {
        QTest::addColumn<QByteArray>("published");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("installs");
        const QByteArray good = QCryptographicHash::hash(m_goodArchive, QCryptographicHash::Sha256).toHex();
        const QByteArray other = QCryptographicHash::hash("other", QCryptographicHash::Sha256).toHex();
        QTest::newRow("matching") << good + "  " + kTin + ".zip\n" << 200 << true;
        QTest::newRow("matching, upper case, bare") << good.toUpper() << 200 << true;
        QTest::newRow("none published") << QByteArray("not here") << 404 << true;
        QTest::newRow("mismatch") << other + "  " + kTin + ".zip\n" << 200 << false;
        QTest::newRow("malformed") << QByteArray("sha256 pending") << 200 << false;
        QTest::newRow("server error") << QByteArray("oops") << 500 << false;
    }

    void publishedChecksumIsChecked()
    {
        QFETCH(QByteArray, published);
        QFETCH(int, status);
        QFETCH(bool, installs);
        LocalHttpServer server;
        server.route(archivePath(), { 200, m_goodArchive });
        server.route(archivePath() + ".sha256", { status, published });
        QString failure;
        QCOMPARE(download(server, &failure), installs);
        QCOMPARE(server.requestedPaths(), (QStringList { archivePath(), archivePath() + ".sha256" }));
        QCOMPARE(FilmLibrary::instance()->isProfileInstalled(profile()), installs);
        if (!installs) {
            QVERIFY2(failure.startsWith("Can't download selected profile") && failure.contains("checksum"),
                qPrintable(failure));
            verifyNothingInstalled();
        }
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
        QCOMPARE(failed.first().at(1).toString(), ProfileMirrors::notConfiguredMessage());
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
        QVERIFY(ProfileMirrors::configured().isEmpty());

        storeMirrors({ { "USA", "https://us.example.invalid/Profile/" }, { "Nowhere", "  " },
            { "", "https://eu.example.invalid/Profile" }, { " Asia / Pacific ", "https://ap.example.invalid/P/" } });
        const QList<Mirror> expected { { "USA", "https://us.example.invalid/Profile/" },
            { "eu.example.invalid", "https://eu.example.invalid/Profile/" },
            { "Asia / Pacific", "https://ap.example.invalid/P/" } };
        QCOMPARE(ProfileMirrors::configured(), expected);
        QCOMPARE(ProfileDownloader().mirrors(), expected);

        qputenv("EMULSA_PROFILE_DOWNLOAD_URL", "http://local.invalid/x");
        QCOMPARE(ProfileMirrors::configured(), (QList<Mirror> { { "local.invalid", "http://local.invalid/x/" } }));
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        storeMirrors({});

        QCOMPARE(ProfileMirrors::remembered(), 0);
        ProfileMirrors::remember(2);
        QCOMPARE(ProfileMirrors::remembered(), 2);
        ProfileMirrors::remember(0);
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
        QCOMPARE(server.requestedPaths(),
            (QStringList { expectedPrefix + kTin + ".zip", expectedPrefix + kTin + ".zip.sha256" }));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile()));
    }
};

EMULSA_TEST_MAIN(TestProfileDownloader)
#include "tst_profiledownloader.moc"
