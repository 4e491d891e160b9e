#include "common/ProfileDownloadSupport.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"
#include "common/WidgetProbes.h"

#include "app/Controller.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "model/ProfileDownloader.h"
#include "model/ProfileMaker.h"
#include "model/SettingsManager.h"
#include "ui/grading/CameraChooserWidget.h"
#include "ui/grading/CameraProfileSection.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/shell/ApplicationAssembly.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>

using namespace Emulsa;
using Emulsa::Test::child;
using Emulsa::Test::SignalLog;

// The camera section of the grading panel getting a profile that is not
// installed: made on this machine, downloaded from a chosen mirror, or made
// from a .cube file, and applied as the chooser asked.
class TestCameraProfiles : public QObject
{
    Q_OBJECT

private:
    // A profile of the catalogue that the data folder lacks, and its
    // download archive (the tables of a generated profile under its name).
    static constexpr const char* kTin = "SNSL3T";
    QByteArray m_archive;

    static const ProfileInfo* downloadableProfile()
    {
        CameraListHelper* catalogue = CameraListHelper::instance();
        if (!catalogue->load())
            return nullptr;
        for (const auto& manufacturer : catalogue->manufacturers())
            for (const auto& model : manufacturer.models)
                for (const auto& entry : model.profiles)
                    if (qstrcmp(entry.info->tin, kTin) == 0 && !FilmLibrary::instance()->isProfileInstalled(entry.info))
                        return entry.info;
        return nullptr;
    }

    // Adds an indexed clip to the assembled application and waits until the
    // grading panel shows it; false when there is no clip or the panel stays
    // disabled.
    static bool loadClip(ApplicationAssembly& app)
    {
        const QString clip = Test::TestMedia::instance().path(Test::TestMedia::NoAudio);
        if (clip.isEmpty())
            return false;
        app.controller()->shotToBeAddedToShotList(clip, true);
        return QTest::qWaitFor([&app] { return app.gradingTab()->panel()->isEnabled(); }, 30000);
    }

private slots:
    void initTestCase()
    {
        registerClipSettingsMetaTypes();
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        m_archive = Test::profileArchive(
            FilmLibrary::instance()->dataRoot(), QStringLiteral("SNSL3CT"), QString::fromLatin1(kTin));
        QVERIFY(!m_archive.isEmpty());
    }

    void cleanup() { QDir(ApplicationPaths::instance()->userProfilesPath()).removeRecursively(); }

    // Without a download address a profile the generator knows is made on
    // this machine, with the progress bar and its Cancel; one it does not
    // know is explained.
    void withoutAnAddressTheProfileIsMadeHere()
    {
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        SettingsPanel panel;
        panel.show();
        auto* note = child<QLabel>(&panel, "downloadNote");
        auto* progress = child<QProgressBar>(&panel, "downloadProgressBar");
        panel.camera()->startProfileDownload(ProfileInfo::packId("ZZ99"));
        QVERIFY(note->isVisible());
        QVERIFY(note->text().contains(QStringLiteral("not configured")));
        QVERIFY(!progress->isVisible());

        // Cancelled from the panel: nothing is installed and the buttons
        // come back.
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        SignalLog log(&panel);
        panel.camera()->startProfileDownload(profile->profileId());
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->maximum(), 100);
        QVERIFY(panel.camera()->maker()->isMaking());
        child<QPushButton>(&panel, "cancelDownloadButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!panel.camera()->maker()->isMaking() && !progress->isVisible(), 60000);
        QVERIFY2(note->text().contains(QStringLiteral("cancelled")), qPrintable(note->text()));
        QVERIFY(child<QWidget>(&panel, "changeCameraButton")->isVisible());
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(profile));
        QVERIFY(QDir(ApplicationPaths::instance()->userProfilesPath())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
        QVERIFY(log.counts().isEmpty());

        // The chooser's mirror menu says downloads are not configured, and
        // offers nothing.
        child<QPushButton>(&panel, "changeCameraButton")->click();
        auto* mirrors = child<QComboBox>(panel.camera()->cameraChooser(), "mirrorComboBox");
        QVERIFY(!mirrors->isEnabled());
        QCOMPARE(mirrors->currentText(), QStringLiteral("Not configured"));
        QCOMPARE(panel.camera()->cameraChooser()->selectedMirror(), -1);
    }

    // A clip whose profile is installed nowhere (from a project or a
    // preset) offers "Make profile"; once made, the button goes and the
    // clip's profile is given again so its picture uses the new tables. An
    // installed or unknown profile offers nothing.
    void shownMissingProfileOffersToMakeIt()
    {
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        SettingsPanel panel;
        panel.show();
        auto* make = child<QPushButton>(&panel, "makeProfileButton");
        panel.setSourceType(ProfileInfo::packId("OT01"));
        QVERIFY(!make->isVisible());
        panel.setSourceType(ProfileInfo::packId("ZZ99"));
        QVERIFY(!make->isVisible());
        panel.setSourceType(profile->profileId());
        QVERIFY(make->isVisible());

        SignalLog log(&panel);
        make->click();
        QVERIFY(!make->isVisible());
        QVERIFY(child<QWidget>(&panel, "downloadProgressBar")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(FilmLibrary::instance()->isProfileInstalled(profile), 120000);
        QTRY_VERIFY(!log.counts().isEmpty());
        QCOMPARE(log.counts().keys(), QStringList { "sourceTypeComboValueChanged" });
        QCOMPARE(log.last("sourceTypeComboValueChanged").value(0).toUInt(), profile->profileId());
        QVERIFY(!make->isVisible());
        QVERIFY(!child<QWidget>(&panel, "downloadProgressBar")->isVisible());
        QVERIFY(child<QLabel>(&panel, "downloadNote")->text().contains(QStringLiteral("made on this machine")));
    }

    // In the assembled application, with a clip and no download address:
    // choosing a profile that is installed nowhere makes it on this machine
    // in the background and gives it to the clip.
    void chosenMissingProfileIsMadeAndApplied()
    {
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        const uint id = profile->profileId();
        ApplicationAssembly app(false);
        SettingsPanel* panel = app.gradingTab()->panel();
        QVERIFY(loadClip(app));
        QVERIFY(app.gradingTab()->shownSettings().getSourceType() != id);

        child<QPushButton>(panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel->camera()->cameraChooser();
        chooser->setCurrentProfile(id);
        auto* profiles = child<QComboBox>(chooser, "profileComboBox");
        QVERIFY(profiles->currentText().endsWith(QStringLiteral("(download)")));
        child<QPushButton>(chooser, "applyButton")->click();
        auto* progress = child<QProgressBar>(panel, "downloadProgressBar");
        QVERIFY(progress->isVisibleTo(panel));
        // The make runs on its worker: the window keeps handling events.
        QVERIFY(panel->camera()->maker()->isMaking());

        auto* note = child<QLabel>(panel, "downloadNote");
        QTRY_VERIFY_WITH_TIMEOUT(note->text().contains(QStringLiteral("made on this machine")), 120000);
        QVERIFY(!progress->isVisibleTo(panel));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile));
        QCOMPARE(profiles->itemText(profiles->findData(id)), QString::fromUtf8(profile->name));
        QTRY_COMPARE(app.gradingTab()->shownSettings().getSourceType(), id);
        QVERIFY(app.teardown().taskThreadFinished);
    }

    // In the assembled application, with a clip: with two mirrors in the
    // settings store, choosing the second in the camera chooser downloads
    // from it, remembers it, confirms the install, offers the profile as
    // installed and gives it to the clip.
    void downloadFromTheChosenMirror()
    {
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        const uint id = profile->profileId();
        Test::LocalHttpServer server;
        QVERIFY(server.isListening());
        server.route(QStringLiteral("/eu/Profile/%1.zip").arg(kTin), { 200, m_archive });
        {
            std::unique_ptr<QSettings> store = SettingsManager::openStore();
            store->beginGroup(QStringLiteral("ProfileDownloads"));
            store->beginWriteArray(QStringLiteral("DownloadMirrors"), 2);
            const QStringList names { QStringLiteral("USA"), QStringLiteral("Europe") };
            const QStringList bases { server.base("/us/Profile/"), server.base("/eu/Profile/") };
            for (int i = 0; i < 2; ++i) {
                store->setArrayIndex(i);
                store->setValue(QStringLiteral("Name"), names[i]);
                store->setValue(QStringLiteral("Url"), bases[i]);
            }
            store->endArray();
            store->endGroup();
        }

        ApplicationAssembly app(false);
        SettingsPanel* panel = app.gradingTab()->panel();
        QVERIFY(loadClip(app));
        QVERIFY(app.gradingTab()->shownSettings().getSourceType() != id);
        child<QPushButton>(panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel->camera()->cameraChooser();
        QVERIFY(chooser->isVisible());
        auto* mirrors = child<QComboBox>(chooser, "mirrorComboBox");
        QVERIFY(mirrors->isEnabled());
        QCOMPARE(mirrors->count(), 2);
        QCOMPARE(mirrors->itemText(0), QStringLiteral("USA"));
        QCOMPARE(mirrors->itemText(1), QStringLiteral("Europe"));
        QCOMPARE(mirrors->currentIndex(), 0);
        mirrors->setCurrentIndex(1);
        QCOMPARE(ProfileMirrors::remembered(), 1);

        auto* manufacturers = child<QComboBox>(chooser, "manufacturerComboBox");
        auto* models = child<QComboBox>(chooser, "modelComboBox");
        auto* profiles = child<QComboBox>(chooser, "profileComboBox");
        manufacturers->setCurrentIndex(manufacturers->findText(QString::fromUtf8(profile->manufacturer)));
        models->setCurrentIndex(models->findText(QString::fromUtf8(profile->model)));
        const int row = profiles->findData(id);
        QVERIFY(row >= 0);
        profiles->setCurrentIndex(row);
        QVERIFY(profiles->currentText().endsWith(QStringLiteral("(download)")));
        child<QPushButton>(chooser, "applyButton")->click();
        QVERIFY(child<QWidget>(panel, "downloadProgressBar")->isVisibleTo(panel));

        auto* note = child<QLabel>(panel, "downloadNote");
        QTRY_VERIFY_WITH_TIMEOUT(note->isVisibleTo(panel), 20000);
        QCOMPARE(note->text(),
            QStringLiteral("Profile %1 %2 %3 installed.")
                .arg(QString::fromUtf8(profile->manufacturer), QString::fromUtf8(profile->model),
                    QString::fromUtf8(profile->name)));
        // The archive, then the checksum the mirror may publish beside it.
        QCOMPARE(server.requestedPaths(),
            (QStringList { QStringLiteral("/eu/Profile/%1.zip").arg(kTin),
                QStringLiteral("/eu/Profile/%1.zip.sha256").arg(kTin) }));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile));
        QVERIFY(!child<QWidget>(panel, "downloadProgressBar")->isVisibleTo(panel));
        QCOMPARE(profiles->itemText(profiles->findData(id)), QString::fromUtf8(profile->name));
        QTRY_COMPARE(app.gradingTab()->shownSettings().getSourceType(), id);

        // Opened again, the chooser keeps the mirror chosen.
        child<QPushButton>(panel, "changeCameraButton")->click();
        QCOMPARE(mirrors->currentIndex(), 1);

        QVERIFY(app.teardown().taskThreadFinished);
        SettingsManager::openStore()->remove(QStringLiteral("ProfileDownloads"));
    }

    // A download asked for by "Apply" or "Apply to All", with or without the
    // default-camera box, ends as that button would have.
    void downloadEndsAsTheButtonAsked_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("asDefault");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("apply") << "applyButton" << false << QStringList { "sourceTypeComboValueChanged" };
        QTest::newRow("apply as default")
            << "applyButton" << true << QStringList { "defaultProfileChanged", "sourceTypeComboValueChanged" };
        QTest::newRow("apply to all") << "applyToAllButton" << false
                                      << QStringList { "sourceTypeComboValueChangedForAll" };
        QTest::newRow("apply to all as default")
            << "applyToAllButton" << true
            << QStringList { "defaultProfileChanged", "sourceTypeComboValueChangedForAll" };
    }
    void downloadEndsAsTheButtonAsked()
    {
        QFETCH(QString, button);
        QFETCH(bool, asDefault);
        QFETCH(QStringList, expected);
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        Test::LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, m_archive });
        SettingsPanel panel;
        panel.camera()->downloader()->setMirrors({ { QStringLiteral("Local"), server.base() } });
        child<QPushButton>(&panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel.camera()->cameraChooser();
        chooser->setCurrentProfile(profile->profileId());
        chooser->setDefaultCameraChecked(asDefault);
        SignalLog log(&panel);
        child<QPushButton>(chooser, qPrintable(button))->click();
        QTRY_VERIFY_WITH_TIMEOUT(FilmLibrary::instance()->isProfileInstalled(profile), 20000);
        QTRY_VERIFY(!log.counts().isEmpty());
        QCOMPARE(log.counts().keys(), expected);
        for (const QString& name : expected) {
            QCOMPARE(log.counts().value(name), 1);
            QCOMPARE(log.last(name).value(0).toUInt(), profile->profileId());
        }
    }

    // In the assembled application, with a clip: a camera added from a .cube
    // (what the button does once its dialogs are answered) is made in the
    // background, given to the clip and offered by the chooser under its
    // name; a table that cannot be used is refused with its line, adding
    // nothing.
    void cameraAddedFromLutIsMadeAndApplied()
    {
        ApplicationAssembly app(false);
        SettingsPanel* panel = app.gradingTab()->panel();
        QVERIFY(loadClip(app));
        QVERIFY(child<QPushButton>(panel, "addCameraFromLutButton")->isVisibleTo(panel));
        auto* note = child<QLabel>(panel, "downloadNote");

        const QString folder = Test::makeTempFolder(QStringLiteral("luts"));
        const QString broken = folder + QStringLiteral("/broken.cube");
        QVERIFY(Test::writeFileBytes(broken, "LUT_3D_SIZE 300\n"));
        QVERIFY(!panel->camera()->addCameraFromLut(broken, QStringLiteral("Broken")));
        QVERIFY2(note->text().contains(QStringLiteral("Line 1:")), qPrintable(note->text()));
        QVERIFY(!panel->camera()->maker()->isMaking());
        QVERIFY(!QFileInfo::exists(CameraListHelper::addedCataloguePath()));

        // A camera that records Rec. 709 video already: the identity table.
        const QString identity = folder + QStringLiteral("/identity.cube");
        QVERIFY(
            Test::writeFileBytes(identity, "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n"));
        QVERIFY(panel->camera()->addCameraFromLut(identity, QStringLiteral("Studio camera")));
        QVERIFY(panel->camera()->maker()->isMaking());
        QVERIFY(child<QProgressBar>(panel, "downloadProgressBar")->isVisibleTo(panel));
        const uint id = panel->camera()->maker()->currentProfileId();
        const ProfileInfo* added = CameraListHelper::instance()->getProfile(id);
        QVERIFY(CameraListHelper::isAddedProfile(added));
        QTRY_VERIFY_WITH_TIMEOUT(note->text().contains(QStringLiteral("made on this machine")), 120000);
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(added));
        QTRY_COMPARE(app.gradingTab()->shownSettings().getSourceType(), id);

        child<QPushButton>(panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel->camera()->cameraChooser();
        chooser->setCurrentProfile(id);
        QCOMPARE(child<QComboBox>(chooser, "profileComboBox")->currentText(), QStringLiteral("Studio camera"));
        chooser->close();
        QVERIFY(app.teardown().taskThreadFinished);
    }
};

EMULSA_TEST_MAIN(TestCameraProfiles)
#include "tst_cameraprofiles.moc"
