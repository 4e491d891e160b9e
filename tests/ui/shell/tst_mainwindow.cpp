#include "MainWindowFixture.h"
#include "common/HardwareDecodingScope.h"
#include "common/TestEnvironment.h"
#include "common/WarningCounter.h"
#include "model/HardwareDecodingSetting.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// The window with the real controller and model on their threads (the
// grading tab without its preview).
class MainWindowTest : public MainWindowFixture
{
    Q_OBJECT

private slots:
    void tabsAndShortcuts()
    {
        QTabWidget* tabs = window()->tabs();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Media"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Grading"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Render"));
        QVERIFY(window()->tabContent(MainWindow::GradingTab));
        auto* media = new QWidget;
        window()->setTabContent(MainWindow::MediaTab, media);
        QCOMPARE(window()->tabContent(MainWindow::MediaTab), media);

        QCOMPARE(findAction(window(), "Quit")->shortcut(), QKeySequence(QKeySequence::Quit));
        const QList<QKeySequence> redo = findAction(window(), "Redo")->shortcuts();
        QVERIFY(redo.contains(QKeySequence("Ctrl+Y")));
        for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Redo))
            QVERIFY(redo.contains(key));
        QCOMPARE(findAction(window(), "Undo")->shortcut(), QKeySequence(QKeySequence::Undo));
        for (const char* name : { "New", "Open", "Save", "Save As", "Open Log Files Folder", "About" })
            QVERIFY2(findAction(window(), name), name);
        QCOMPARE(window()->project()->autosaveInterval(), ProjectSession::minimumAutosaveIntervalMs);
    }

    // The preset manager opened from the presets strip talks to the model
    // through the controller: a new group, a rename and a deletion made in
    // it reach the store, and the dialog redraws from the answers.
    void presetsManagerReachesTheModel()
    {
        // A store with a group before the window is made.
        PresetsManager* store = PresetsManager::instance();
        QVERIFY(m_app->teardown().taskThreadFinished);
        m_app.reset();
        store->createNewGroup(QStringLiteral("Looks"));
        m_app = std::make_unique<ApplicationAssembly>(false);

        auto* strip = window()->findChild<EMPresetsWidget*>();
        QVERIFY(strip);
        PresetsListDialog* dialog = strip->presetsDialog();
        const auto groupNamed = [store](const QString& name) {
            for (const PresetGroup& g : store->groups())
                if (g.name == name)
                    return g.id;
            return -1;
        };
        // The strip shows the store's groups from the start.
        QTRY_COMPARE(strip->groupCombo()->count(), store->groups().size());

        QVERIFY(groupNamed("Dailies") < 0);
        emit dialog->groupCreated(QStringLiteral("Dailies"));
        QTRY_VERIFY(groupNamed("Dailies") >= 0);
        QTRY_VERIFY(dialog->groupCombo()->findText(QStringLiteral("Dailies")) >= 0);

        const int id = groupNamed("Dailies");
        emit dialog->groupRenamed(id, QStringLiteral("Dailies B"));
        QTRY_COMPARE(store->group(id)->name, QStringLiteral("Dailies B"));
        QTRY_VERIFY(dialog->groupCombo()->findText(QStringLiteral("Dailies B")) >= 0);

        const std::optional<Preset> preset = store->createPreset(ClipSettings(), id);
        QVERIFY(preset);
        emit dialog->managerList()->presetSelectedForDeletion(preset->id());
        QTRY_VERIFY(!store->findPreset(preset->id()));
    }

    // The interval is the store's "AutoSaveTimer", never below a minute.
    void autosaveIntervalComesFromTheStore_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("interval");
        QTest::newRow("five minutes") << QVariant(300000) << 300000;
        QTest::newRow("a second is raised to a minute") << QVariant(1000) << 60000;
        QTest::newRow("not set") << QVariant() << 60000;
        QTest::newRow("not a number") << QVariant(QStringLiteral("soon")) << 60000;
        QTest::newRow("beyond a timer's range") << QVariant(4294967295u) << std::numeric_limits<int>::max();
    }

    void autosaveIntervalComesFromTheStore()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, interval);
        QVERIFY(m_app->teardown().taskThreadFinished);
        m_app.reset();
        const QString key = QStringLiteral("DefaultSettings/AutoSaveTimer");
        if (stored.isValid())
            SettingsManager::openStore()->setValue(key, stored);
        m_app = std::make_unique<ApplicationAssembly>(false);
        SettingsManager::openStore()->remove(key);
        QCOMPARE(window()->project()->autosaveInterval(), interval);
    }

    // The hardware decoding mode the assembled application starts with:
    // EMULSA_HW_DECODE when it names a mode, else the store's
    // "Playback/HardwareDecoding", else auto; a value of either that names
    // no mode is refused with a warning quoting it.
    void hardwareDecodingComesFromTheStore_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("refused");
        QTest::newRow("nothing") << QString() << QString() << int(HardwareDecodingMode::Auto) << QString();
        QTest::newRow("stored off") << QString() << QStringLiteral("off") << int(HardwareDecodingMode::Off)
                                    << QString();
        QTest::newRow("stored CUDA") << QString() << QStringLiteral("CUDA") << int(HardwareDecodingMode::Cuda)
                                     << QString();
        QTest::newRow("stored nonsense") << QString() << QStringLiteral("turbo") << int(HardwareDecodingMode::Auto)
                                         << QStringLiteral("turbo");
        QTest::newRow("environment over the store")
            << QStringLiteral("vdpau") << QStringLiteral("off") << int(HardwareDecodingMode::Vdpau) << QString();
        QTest::newRow("refused environment leaves the store")
            << QStringLiteral("gpu") << QStringLiteral("vaapi") << int(HardwareDecodingMode::Vaapi)
            << QStringLiteral("gpu");
    }

    void hardwareDecodingComesFromTheStore()
    {
        QFETCH(QString, environment);
        QFETCH(QString, stored);
        QFETCH(int, mode);
        QFETCH(QString, refused);
        QVERIFY(m_app->teardown().taskThreadFinished);
        m_app.reset();
        HardwareDecodingScope scope { HardwareDecodingMode::Off };
        if (!stored.isEmpty())
            SettingsManager::openStore()->setValue(HardwareDecodingSetting::key(), stored);
        if (!environment.isEmpty())
            qputenv("EMULSA_HW_DECODE", environment.toUtf8());
        QStringList warnings;
        {
            WarningCounter counter;
            m_app = std::make_unique<ApplicationAssembly>(false);
            warnings = counter.all();
        }
        qunsetenv("EMULSA_HW_DECODE");
        SettingsManager::openStore()->remove(HardwareDecodingSetting::key());
        QCOMPARE(int(HardwareDecoding::mode()), mode);
        const QStringList quoting = warnings.filter(QStringLiteral("\"%1\"").arg(refused));
        QCOMPARE(quoting.size(), refused.isEmpty() ? 0 : 1);
    }

    // Help > Submit Feedback shows only with an address in the store and
    // opens that address; a failure to open it is logged.
    void submitFeedbackOpensTheStoredAddress()
    {
        QMenu* help = menuNamed(window(), "&Help");
        QVERIFY(help);
        QAction* feedback = findAction(window(), "Submit Feedback");
        QVERIFY(feedback);
        QList<QUrl> opened;
        bool opens = true;
        window()->prompts().openUrl = [&](const QUrl& url) {
            opened.append(url);
            return opens;
        };
        emit help->aboutToShow();
        QVERIFY(!feedback->isVisible());

        const QString key = QStringLiteral("DefaultSettings/FeedbackUrl");
        SettingsManager::openStore()->setValue(key, QStringLiteral("https://feedback.example.invalid/form?v=1"));
        emit help->aboutToShow();
        QVERIFY(feedback->isVisible());
        feedback->trigger();
        QCOMPARE(opened, QList<QUrl> { QUrl(QStringLiteral("https://feedback.example.invalid/form?v=1")) });

        opens = false;
        QTest::ignoreMessage(QtWarningMsg, "Something went wrong when trying to open beta form feedback");
        feedback->trigger();
        QCOMPARE(opened.size(), 2);

        SettingsManager::openStore()->remove(key);
        emit help->aboutToShow();
        QVERIFY(!feedback->isVisible());
    }

    void logsFolderGoesThroughTheFileManager()
    {
        QStringList shown;
        setFileManagerHandler([&](const QString& path) {
            shown.append(path);
            return true;
        });
        findAction(window(), "Open Log Files Folder")->trigger();
        QCOMPARE(shown, QStringList { MessageLog::logsFolderPath() });
    }

    void titleMarksUnsavedChanges()
    {
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa"));
        emit m_app->model()->unsavedChangesNoticed();
        QTRY_VERIFY(window()->project()->hasUnsavedChanges());
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa*"));
    }

    // Closing with "Yes" keeps the window until the save has finished, then
    // closes it; the file is there.
    void closeWithYesWritesTheProject()
    {
        const QString file = m_folder + "/closing.empf";
        m_chosen = file;
        window()->show();
        window()->changesNoticed();
        QVERIFY(!window()->close());
        QCOMPARE(m_questions, 1);
        QVERIFY(window()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window()->isVisible(), 20000);
        QVERIFY(QFile::exists(file));
        QCOMPARE(window()->project()->currentPath(), file);
        QVERIFY(!window()->project()->hasUnsavedChanges());
    }

    // The program may end right after the answer: the save still queued is
    // written during teardown.
    void closeWithYesThenTeardownWritesTheProject()
    {
        const QString file = m_folder + "/teardown.empf";
        m_chosen = file;
        window()->show();
        window()->changesNoticed();
        window()->close();
        const ApplicationAssembly::Teardown down = m_app->teardown();
        QVERIFY(down.taskThreadFinished);
        QVERIFY(down.modelThreadFinished);
        QVERIFY(QFile::exists(file));
    }

    void closeWithCancelOrFailedSaveKeepsTheWindow()
    {
        window()->show();
        window()->changesNoticed();
        m_answer = QMessageBox::Cancel;
        QVERIFY(!window()->close());
        QVERIFY(window()->isVisible());
        // "Yes" without choosing a file keeps it too.
        m_answer = QMessageBox::Yes;
        m_chosen.clear();
        QVERIFY(!window()->close());
        QVERIFY(window()->isVisible());
        m_answer = QMessageBox::No;
        QVERIFY(window()->close());
    }

    void saveAsThenAutosaveKeepsTheChosenPath()
    {
        const QString chosen = m_folder + "/chosen.empf";
        m_chosen = chosen;
        window()->changesNoticed();
        window()->saveAsTriggered();
        window()->autosaveTriggered();
        QCOMPARE(window()->project()->savesInProgress(), (QStringList { chosen, window()->project()->autosavePath() }));
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        QCOMPARE(window()->project()->currentPath(), chosen);
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - chosen.empf"));
        QVERIFY(QFile::exists(window()->project()->autosavePath()));

        // An autosave alone, later, leaves the path and the mark as they are.
        window()->changesNoticed();
        window()->autosaveTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        QCOMPARE(window()->project()->currentPath(), chosen);
        QVERIFY(window()->project()->hasUnsavedChanges());
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - chosen.empf*"));
    }

    void autosaveOnlyWithUnsavedChanges()
    {
        const QString autosave = window()->project()->autosavePath();
        window()->autosaveTriggered();
        QVERIFY(window()->project()->savesInProgress().isEmpty());
        QVERIFY(!QFile::exists(autosave));

        // Driven by the timer.
        window()->project()->setAutosaveInterval(50);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(autosave));
        window()->changesNoticed();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(autosave), 20000);
        QTRY_VERIFY(window()->project()->savesInProgress().isEmpty());
        QCOMPARE(window()->project()->currentPath(), QString());

        // Once the project is saved there is nothing to autosave.
        window()->project()->setAutosaveInterval(60000);
        m_chosen = m_folder + "/project.empf";
        window()->saveTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        QVERIFY(!window()->project()->hasUnsavedChanges());
        QFile::remove(autosave);
        window()->project()->setAutosaveInterval(50);
        QTest::qWait(300);
        QVERIFY2(!QFile::exists(autosave), "autosaved without unsaved changes");
        window()->autosaveTriggered();
        QVERIFY(window()->project()->savesInProgress().isEmpty());
    }

    // The overlay never shows before 400 ms; a longer operation shows it
    // until the operation ends.
    void longOperationOverlay()
    {
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        LoadingOverlay* overlay = window()->overlay();
        QElapsedTimer clock;
        clock.start();
        window()->longOperationStart();
        QTest::qWait(300);
        if (overlay->isVisible())
            QVERIFY2(clock.elapsed() >= MainWindow::longOperationDelayMs, "overlay shown before 400 ms");
        window()->longOperationStop();
        QVERIFY(!overlay->isVisible());
        QTest::qWait(300);
        QVERIFY(!overlay->isVisible());

        clock.restart();
        window()->longOperationStart();
        QTRY_VERIFY(overlay->isVisible());
        QVERIFY(clock.elapsed() >= MainWindow::longOperationDelayMs);
        window()->longOperationStop();
        QVERIFY(!overlay->isVisible());
    }

    // Opening through the model's queue: a file that cannot be parsed ends
    // loaded, empty, without becoming the autosave; the autosave keeps the
    // title and path; a missing file changes nothing.
    void openingProjects()
    {
        const QString missing = m_folder + "/missing.empf";
        QTest::ignoreMessage(QtCriticalMsg, "Can't open selected file");
        QVERIFY(!window()->readSelectedProjectFile(missing));
        QVERIFY(window()->project()->currentPath().isEmpty());

        const QString saved = m_folder + "/saved.empf";
        m_chosen = saved;
        window()->saveAsTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        QVERIFY(QFile::copy(saved, window()->project()->autosavePath()));

        QVERIFY(window()->readSelectedProjectFile(window()->project()->autosavePath()));
        QCOMPARE(window()->project()->currentPath(), saved);
        QVERIFY(window()->readSelectedProjectFile(saved));
        QCOMPARE(window()->project()->currentPath(), saved);
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - saved.empf"));
        QVERIFY(!window()->project()->isLoading());
    }

    // Opening another project with "Yes" saves the open one first; that
    // save's outcome does not rename the project opened after it.
    void openWithYesSavesFirst()
    {
        const QString first = m_folder + "/first.empf";
        const QString second = m_folder + "/second.empf";
        m_chosen = second;
        window()->saveAsTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        window()->changesNoticed();
        m_chosen = first; // asked for the save, then for the file to open
        int asked = 0;
        window()->prompts().projectFile = [&](bool forSaving) {
            ++asked;
            return forSaving ? first : second;
        };
        window()->prompts().unsavedChanges = [] { return QMessageBox::Yes; };
        // With a current path "Yes" saves there without asking.
        window()->openTriggered();
        QCOMPARE(asked, 1);
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        QCOMPARE(window()->project()->currentPath(), second);
        QVERIFY(!window()->project()->hasUnsavedChanges());

        // Without a current path the save goes to a chosen file.
        window()->newTriggered();
        QVERIFY(window()->project()->currentPath().isEmpty());
        window()->changesNoticed();
        asked = 0;
        window()->openTriggered();
        QCOMPARE(asked, 2);
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        QVERIFY(QFile::exists(first));
        QCOMPARE(window()->project()->currentPath(), second);
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - second.empf"));
    }

    // The loader lets the event loop run between items: a second open, a
    // save or an autosave arriving then is refused, and closing waits.
    void noReentryWhileLoading()
    {
        const QString project = m_folder + "/two.empf";
        QFile file(project);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(projectWithClip(Test::TestMedia::instance().path(Test::TestMedia::NoAudio)));
        file.close();
        window()->show();
        window()->changesNoticed();
        bool ran = false;
        bool loading = false;
        bool reopened = true;
        bool saved = true;
        bool closed = true;
        QTimer::singleShot(0, window(), [&] {
            ran = true;
            loading = window()->project()->isLoading();
            reopened = window()->readSelectedProjectFile(project);
            saved = window()->saveToFile(m_folder + "/during.empf");
            window()->autosaveTriggered();
            m_answer = QMessageBox::No;
            closed = window()->close();
        });
        QVERIFY(window()->readSelectedProjectFile(project));
        QVERIFY(ran);
        QVERIFY(loading);
        QVERIFY(!reopened);
        QVERIFY(!saved);
        QVERIFY(!closed);
        QVERIFY(window()->project()->savesInProgress().isEmpty());
        QCOMPARE(window()->project()->currentPath(), project);
        QVERIFY(!window()->project()->isLoading());
    }
};

EMULSA_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
