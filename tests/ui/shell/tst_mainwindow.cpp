#include "app/Controller.h"
#include "app/FileManager.h"
#include "app/MessageLog.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"
#include "core/ApplicationPaths.h"
#include "core/ClipSettings.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "model/SettingsManager.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMSequenceWidget.h"
#include "ui/media/EMShotListWidget.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/EMPresetsWidget.h"
#include "ui/presets/PresetsListDialog.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/LoadingOverlay.h"
#include "ui/shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QUuid>
#include <QtTest/QtTest>

#include <functional>
#include <memory>

using namespace Emulsa;

Q_DECLARE_METATYPE(std::function<void(Emulsa::Controller*)>)

namespace {

// A project file with the clip twice, the first one current; the items get
// the ids given (fresh ones without) and the second item's Kelvin text is
// `secondKelvin`.
QByteArray projectWithClip(
    const QString& path, const QStringList& itemIds = {}, const QString& secondKelvin = QStringLiteral("6500.000000"))
{
    const QByteArray id = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5).toHex();
    const char* grade
        = "<ClipSettings><StockName>5207</StockName><ProfileID>825250895</ProfileID>"
          "<CameraModel>Other Generic</CameraModel><CameraID>GEN0</CameraID><StockAmount>0</StockAmount>"
          "<CurveAmount>0</CurveAmount><GrainAmount>0</GrainAmount><GrainScale>35 mm Full Frame</GrainScale>"
          "<Exposure>0.000000</Exposure><Kelvin>6500.000000</Kelvin><ColorWheels>"
          "<Low><Radius>0.000000</Radius><Theta>0.000000</Theta></Low>"
          "<Mid><Radius>0.000000</Radius><Theta>0.000000</Theta></Mid>"
          "<High><Radius>0.000000</Radius><Theta>0.000000</Theta></High></ColorWheels>"
          "<Lift>1.000000</Lift><Gamma>1.000000</Gamma><Gain>1.000000</Gain><Saturation>1.000000</Saturation>"
          "<Histogram><Black>0.000000</Black><Mid>0.500000</Mid><White>1.000000</White></Histogram>"
          "<Original>0</Original></ClipSettings>";
    QByteArray items;
    for (int i = 0; i < 2; ++i) {
        items
            += QStringLiteral("<SequenceItem position=\"%1\"><AssetUUID>%2</AssetUUID><AssetPath>%3</AssetPath>"
                              "<SequenceUUID>%4</SequenceUUID><StartFrame>0</StartFrame><EndFrame>10</EndFrame>"
                              "<Current>%5</Current><PresetUUID></PresetUUID>%6</SequenceItem>\n")
                   .arg(i)
                   .arg(QString::fromLatin1(id), path.toHtmlEscaped(), itemIds.value(i, QUuid::createUuid().toString()))
                   .arg(i == 0 ? 1 : 0)
                   .arg(QString::fromLatin1(grade).replace(QStringLiteral("<Kelvin>6500.000000</Kelvin>"),
                       QStringLiteral("<Kelvin>%1</Kelvin>").arg(i == 1 ? secondKelvin : "6500.000000")))
                   .toUtf8();
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Project><General><FileVersion>1.0</FileVersion>"
           "<StandaloneVersion>1.02.30</StandaloneVersion><HostOS>Linux</HostOS></General>"
           "<SequenceItems timeline=\"0\" total-items=\"2\">"
        + items + "</SequenceItems></Project>\n";
}

QAction* findAction(QMainWindow* window, const QString& text)
{
    for (QAction* menu : window->menuBar()->actions())
        for (QAction* action : menu->menu()->actions())
            if (action->text() == text)
                return action;
    return nullptr;
}

QMenu* menuNamed(QMainWindow* window, const QString& title)
{
    for (QAction* menu : window->menuBar()->actions())
        if (menu->text() == title)
            return menu->menu();
    return nullptr;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The unread grade fields a row of the sequence strip shows, once its
// tooltip says the same (the mark and the tooltip change together).
QStringList unreadFieldsShown(const EMSequenceWidget* strip, const QString& itemId)
{
    const QListWidgetItem* row = strip->rowForItem(itemId.toLatin1());
    if (!row)
        return { QStringLiteral("<no row>") };
    const QStringList fields = row->data(UnreadFieldsRole).toStringList();
    const bool warned = row->toolTip().contains(QStringLiteral("default values are used"));
    const bool named = fields.isEmpty() || row->toolTip().contains(fields.join(QStringLiteral(", ")));
    if (warned == fields.isEmpty() || !named)
        return { QStringLiteral("<tooltip: %1>").arg(row->toolTip()) };
    // The media tab's shot list marks the same clip the same way.
    const auto* shots = strip->window()->findChild<const EMShotListWidget*>();
    if (!shots)
        return { QStringLiteral("<no shot list>") };
    for (int i = 0; i < shots->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* shot = shots->topLevelItem(i);
        if (shot->data(0, ItemIdRole).toByteArray() != itemId.toLatin1())
            continue;
        if (shot->data(0, UnreadFieldsRole).toStringList() != fields
            || shot->toolTip(0).contains(QStringLiteral("default values are used")) == fields.isEmpty())
            return { QStringLiteral("<media tab: %1>").arg(shot->toolTip(0)) };
        return fields;
    }
    return { QStringLiteral("<no shot>") };
}

} // namespace

// The window with the real controller and model on their threads (the
// grading tab without its preview).
class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApplicationAssembly> m_app;
    QString m_folder;
    QString m_chosen;
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;
    int m_questions = 0;

    MainWindow* window() { return m_app->window(); }

    // A new application whose window asks the test for files and answers.
    void startApp()
    {
        m_app = std::make_unique<ApplicationAssembly>(false);
        window()->setAutosavePath(m_folder + "/autosave.empf");
        window()->setFileChooser([this](bool) { return m_chosen; });
        window()->setUnsavedChangesQuestion([this] {
            ++m_questions;
            return m_answer;
        });
    }
    EMSequenceWidget* strip() { return window()->findChild<EMSequenceWidget*>(); }

    // Writes a project whose second item's Kelvin cannot be read; the ids of
    // its two items in *ids.
    QString damagedProject(QStringList* ids)
    {
        *ids = QStringList { QUuid::createUuid().toString(), QUuid::createUuid().toString() };
        const QString path = m_folder + "/damaged.empf";
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(projectWithClip(Test::TestMedia::instance().path(Test::TestMedia::NoAudio), *ids, "x300"));
        return path;
    }

    // Opens a project whose loading reports the damaged grade.
    bool openDamaged(const QString& path)
    {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Part of the project .* Kelvin")));
        return window()->readSelectedProjectFile(path);
    }

    // A group of one preset whose Kelvin cannot be read back (the whole
    // grade loads with defaults), written to disk and loaded; its id (empty on failure) and file.
    // The application must be down.
    QByteArray writeDamagedPreset(const QString& groupName, QString* file)
    {
        PresetsManager* store = PresetsManager::instance();
        const int group = store->createNewGroup(groupName).id;
        ClipSettings grade;
        grade.setSaturation(0.5f);
        const QByteArray id = store->createPreset(grade, group)->id();
        if (!store->writePresetsToDisk())
            return QByteArray();
        *file = store->presetsFolder() + store->groupFileNames().value(group);
        QByteArray text = fileBytes(*file);
        const QByteArray kelvinElement
            = QStringLiteral("<Kelvin>%1</Kelvin>").arg(grade.getKelvin(), 0, 'f', 6).toUtf8();
        if (text.count(kelvinElement) != 1)
            return QByteArray();
        text.replace(kelvinElement, "<Kelvin>x300.000000</Kelvin>");
        QFile out(*file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size())
            return QByteArray();
        out.close();
        store->loadPresets();
        return store->findPreset(id) ? id : QByteArray();
    }

    // Shows the group in the presets strip and the manager and waits until
    // both list the preset (fails the test otherwise).
    void showGroup(const QString& groupName, const QByteArray& presetId)
    {
        auto* presets = window()->findChild<EMPresetsWidget*>();
        QVERIFY(presets);
        PresetsListDialog* dialog = presets->presetsDialog();
        m_app->controller()->presetGroupsNeededByDialog();
        QTRY_VERIFY_WITH_TIMEOUT(presets->groupCombo()->findText(groupName) >= 0, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->groupCombo()->findText(groupName) >= 0, 5000);
        presets->groupCombo()->setCurrentIndex(presets->groupCombo()->findText(groupName));
        dialog->groupCombo()->setCurrentIndex(dialog->groupCombo()->findText(groupName));
        QTRY_VERIFY_WITH_TIMEOUT(presets->presetsList()->rowForPreset(presetId), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->managerList()->rowForPreset(presetId), 5000);
    }

    // The unread fields the preset's rows in the strip and in the manager
    // show, when their marks and tooltips agree.
    QStringList presetWarningShown(const QByteArray& presetId)
    {
        auto* presets = window()->findChild<EMPresetsWidget*>();
        const QListWidgetItem* row = presets->presetsList()->rowForPreset(presetId);
        const QTreeWidgetItem* line = presets->presetsDialog()->managerList()->rowForPreset(presetId);
        if (!row || !line)
            return { QStringLiteral("<no row>") };
        const QStringList fields = row->data(UnreadFieldsRole).toStringList();
        const QString named = fields.isEmpty() ? QString() : QStringLiteral("(%1)").arg(fields.join(", "));
        if (line->data(EMPresetsManagerList::NameColumn, UnreadFieldsRole).toStringList() != fields
            || line->icon(EMPresetsManagerList::NameColumn).isNull() != fields.isEmpty()
            || row->toolTip().isEmpty() != fields.isEmpty() || !row->toolTip().contains(named)
            || !line->toolTip(EMPresetsManagerList::NameColumn).contains(named))
            return { QStringLiteral("<marks disagree: %1>").arg(row->toolTip()) };
        return fields;
    }

private slots:
    void init()
    {
        m_folder = Test::makeTempFolder(QStringLiteral("mainwindow"));
        startApp();
        m_chosen.clear();
        m_answer = QMessageBox::Yes;
        m_questions = 0;
    }

    void cleanup()
    {
        const ApplicationAssembly::Teardown down = m_app->teardown();
        QVERIFY(down.taskThreadFinished);
        QVERIFY(down.modelThreadFinished);
        m_app.reset();
        setFileManagerHandler({});
    }

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
        QCOMPARE(window()->autosaveInterval(), MainWindow::minimumAutosaveIntervalMs);
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
        QCOMPARE(window()->autosaveInterval(), interval);
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
        window()->setUrlOpener([&](const QUrl& url) {
            opened.append(url);
            return opens;
        });
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
        QTRY_VERIFY(window()->hasUnsavedChanges());
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
        QCOMPARE(window()->currentPath(), file);
        QVERIFY(!window()->hasUnsavedChanges());
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
        QCOMPARE(window()->savesInProgress(), (QStringList { chosen, window()->autosavePath() }));
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        QCOMPARE(window()->currentPath(), chosen);
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - chosen.empf"));
        QVERIFY(QFile::exists(window()->autosavePath()));

        // An autosave alone, later, leaves the path and the mark as they are.
        window()->changesNoticed();
        window()->autosaveTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        QCOMPARE(window()->currentPath(), chosen);
        QVERIFY(window()->hasUnsavedChanges());
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - chosen.empf*"));
    }

    void autosaveOnlyWithUnsavedChanges()
    {
        const QString autosave = window()->autosavePath();
        window()->autosaveTriggered();
        QVERIFY(window()->savesInProgress().isEmpty());
        QVERIFY(!QFile::exists(autosave));

        // Driven by the timer.
        window()->setAutosaveInterval(50);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(autosave));
        window()->changesNoticed();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(autosave), 20000);
        QTRY_VERIFY(window()->savesInProgress().isEmpty());
        QCOMPARE(window()->currentPath(), QString());

        // Once the project is saved there is nothing to autosave.
        window()->setAutosaveInterval(60000);
        m_chosen = m_folder + "/project.empf";
        window()->saveTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        QVERIFY(!window()->hasUnsavedChanges());
        QFile::remove(autosave);
        window()->setAutosaveInterval(50);
        QTest::qWait(300);
        QVERIFY2(!QFile::exists(autosave), "autosaved without unsaved changes");
        window()->autosaveTriggered();
        QVERIFY(window()->savesInProgress().isEmpty());
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
        QVERIFY(window()->currentPath().isEmpty());

        const QString saved = m_folder + "/saved.empf";
        m_chosen = saved;
        window()->saveAsTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        QVERIFY(QFile::copy(saved, window()->autosavePath()));

        QVERIFY(window()->readSelectedProjectFile(window()->autosavePath()));
        QCOMPARE(window()->currentPath(), saved);
        QVERIFY(window()->readSelectedProjectFile(saved));
        QCOMPARE(window()->currentPath(), saved);
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - saved.empf"));
        QVERIFY(!window()->isLoading());
    }

    // Opening another project with "Yes" saves the open one first; that
    // save's outcome does not rename the project opened after it.
    void openWithYesSavesFirst()
    {
        const QString first = m_folder + "/first.empf";
        const QString second = m_folder + "/second.empf";
        m_chosen = second;
        window()->saveAsTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        window()->changesNoticed();
        m_chosen = first; // asked for the save, then for the file to open
        int asked = 0;
        window()->setFileChooser([&](bool forSaving) {
            ++asked;
            return forSaving ? first : second;
        });
        window()->setUnsavedChangesQuestion([] { return QMessageBox::Yes; });
        // With a current path "Yes" saves there without asking.
        window()->openTriggered();
        QCOMPARE(asked, 1);
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        QCOMPARE(window()->currentPath(), second);
        QVERIFY(!window()->hasUnsavedChanges());

        // Without a current path the save goes to a chosen file.
        window()->newTriggered();
        QVERIFY(window()->currentPath().isEmpty());
        window()->changesNoticed();
        asked = 0;
        window()->openTriggered();
        QCOMPARE(asked, 2);
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        QVERIFY(QFile::exists(first));
        QCOMPARE(window()->currentPath(), second);
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - second.empf"));
    }

    // A clip whose grade lost a field in its file carries the warning in the
    // sequence strip until a command changes its grade; undoing that brings
    // the warning back, redoing takes it away again. Showing the original
    // changes no grade and keeps it.
    void gradeChangeClearsTheUnreadWarning_data()
    {
        QTest::addColumn<bool>("selectFirst");
        QTest::addColumn<std::function<void(Controller*)>>("change");
        QTest::addColumn<bool>("clears");
        using Change = std::function<void(Controller*)>;
        QTest::newRow("kelvin drag") << true << Change([](Controller* c) {
            c->kelvinAmountAboutToChangeFromUI();
            c->kelvinAmountChangedFromUI(4800.0f);
        }) << true;
        QTest::newRow("exposure without its about-to-change")
            << true << Change([](Controller* c) { c->exposureAmountChangedFromUI(0.5f); }) << true;
        QTest::newRow("stock choice") << true << Change([](Controller* c) { c->stockTypeChangedFromUI("5219"); })
                                      << true;
        QTest::newRow("reset") << true << Change([](Controller* c) { c->resetAllSettingsFromUI(); }) << true;
        QTest::newRow("whole preset applied") << true << Change([](Controller* c) {
            PresetsManager* store = PresetsManager::instance();
            const int group = store->createNewGroup(QStringLiteral("Applied")).id;
            c->newPresetAppliedFromUI(store->createPreset(ClipSettings(), group)->id(), {});
        }) << true;
        // The clip is not the current one: its profile changes through the
        // command for other clips.
        QTest::newRow("profile for every clip")
            << false << Change([](Controller* c) { c->sourceTypeChangedForAllFromUI(825250895u); }) << true;
        QTest::newRow("show original") << true << Change([](Controller* c) { c->showOriginalStateChangedFromUI(true); })
                                       << false;
    }
    void gradeChangeClearsTheUnreadWarning()
    {
        QFETCH(bool, selectFirst);
        QFETCH(std::function<void(Controller*)>, change);
        QFETCH(bool, clears);
        QStringList ids;
        const QString project = damagedProject(&ids);
        QVERIFY(openDamaged(project));
        const QStringList kelvin { QStringLiteral("Kelvin") };
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);
        QCOMPARE(unreadFieldsShown(strip(), ids.at(0)), QStringList());
        // The grading tab names the fields while that clip is current.
        QLabel* tabLine = m_app->gradingTab()->unreadFieldsLabel();
        const auto tabShows = [this, tabLine](const QStringList& fields) {
            return tabLine->isVisibleTo(m_app->gradingTab()) == !fields.isEmpty()
                && (fields.isEmpty() || tabLine->text().contains(fields.join(QStringLiteral(", "))));
        };
        QVERIFY(tabShows({}));
        Controller* c = m_app->controller();
        if (selectFirst) {
            c->shotToBeSelectedForPlayback(ids.at(1).toLatin1());
            QTRY_VERIFY(strip()->rowForItem(ids.at(1).toLatin1())->isSelected());
            QTRY_VERIFY(tabShows(kelvin));
            // A damaged Kelvin ends the grade: all of it holds defaults.
            QVERIFY2(tabLine->text().contains(QStringLiteral("whole grade")), qPrintable(tabLine->text()));
        }

        QSignalSpy shown(c, &Controller::showOriginalShouldRefresh);
        change(c);
        if (!clears) {
            QTRY_COMPARE(shown.count(), 1);
            QCOMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);
            QVERIFY(tabShows(kelvin));
            return;
        }
        const QStringList inTab = selectFirst ? kelvin : QStringList();
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), QStringList());
        QVERIFY(tabShows({}));
        c->undoTriggered();
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);
        QVERIFY(tabShows(inTab));
        c->redoTriggered();
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), QStringList());
        QVERIFY(tabShows({}));
        QCOMPARE(unreadFieldsShown(strip(), ids.at(0)), QStringList());
    }

    // An autosave keeps the warning in its file, and opening that file
    // shows it again; a save the user asks for writes the values in use and
    // takes the warning away, and that file opens without it.
    void autosaveKeepsTheUnreadWarningAndSavingClearsIt()
    {
        window()->setAutosavePath(ApplicationPaths::instance()->autosaveFilePath());
        QVERIFY(QDir().mkpath(QFileInfo(window()->autosavePath()).absolutePath()));
        QStringList ids;
        QVERIFY(openDamaged(damagedProject(&ids)));
        const QStringList kelvin { QStringLiteral("Kelvin") };
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);

        window()->changesNoticed();
        window()->autosaveTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        const QByteArray autosaved = fileBytes(window()->autosavePath());
        QCOMPARE(autosaved.count("<UnreadGradeFields>Kelvin</UnreadGradeFields>"), 1);
        QCOMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);

        // Opened again, in a new session as after a crash.
        QVERIFY(m_app->teardown().taskThreadFinished);
        startApp();
        window()->setAutosavePath(ApplicationPaths::instance()->autosaveFilePath());
        QVERIFY(window()->readSelectedProjectFile(window()->autosavePath()));
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);
        QCOMPARE(unreadFieldsShown(strip(), ids.at(0)), QStringList());

        const QString saved = m_folder + "/saved.empf";
        m_chosen = saved;
        window()->saveAsTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->savesInProgress().isEmpty(), 20000);
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), QStringList());
        const QByteArray written = fileBytes(saved);
        QVERIFY(!written.contains("UnreadGradeFields"));
        // The values in use: the file's for the first clip, the default for
        // the second.
        QCOMPARE(written.count("<Kelvin>6500.000000</Kelvin>"), 1);
        QCOMPARE(
            written.count(QStringLiteral("<Kelvin>%1</Kelvin>").arg(ClipSettings().getKelvin(), 0, 'f', 6).toUtf8()),
            1);

        QVERIFY(m_app->teardown().taskThreadFinished);
        startApp();
        QVERIFY(window()->readSelectedProjectFile(saved));
        QTRY_COMPARE(strip()->count(), 2);
        QCOMPARE(unreadFieldsShown(strip(), ids.at(0)), QStringList());
        QCOMPARE(unreadFieldsShown(strip(), ids.at(1)), QStringList());
    }

    // A preset whose grade lost a field shows the mark and names the field
    // in the strip and in the manager, also after the store wrote its files
    // again and the application started anew.
    void damagedPresetKeepsItsWarningAcrossRestarts()
    {
        PresetsManager* store = PresetsManager::instance();
        QVERIFY(m_app->teardown().taskThreadFinished);
        m_app.reset();
        QString file;
        const QByteArray id = writeDamagedPreset(QStringLiteral("Damaged looks"), &file);
        QVERIFY(!id.isEmpty());

        const QStringList kelvin { QStringLiteral("Kelvin") };
        for (int start = 0; start < 2; ++start) {
            startApp();
            auto* presets = window()->findChild<EMPresetsWidget*>();
            QVERIFY(presets);
            QTRY_VERIFY(presets->groupCombo()->findText(QStringLiteral("Damaged looks")) >= 0);
            presets->groupCombo()->setCurrentIndex(presets->groupCombo()->findText(QStringLiteral("Damaged looks")));
            QTRY_VERIFY(presets->presetsList()->rowForPreset(id));
            const QListWidgetItem* row = presets->presetsList()->rowForPreset(id);
            QCOMPARE(row->data(UnreadFieldsRole).toStringList(), kelvin);
            QVERIFY2(row->toolTip().contains(QStringLiteral("(Kelvin)")), qPrintable(row->toolTip()));

            PresetsListDialog* dialog = presets->presetsDialog();
            m_app->controller()->presetGroupsNeededByDialog();
            QTRY_VERIFY(dialog->groupCombo()->findText(QStringLiteral("Damaged looks")) >= 0);
            dialog->groupCombo()->setCurrentIndex(dialog->groupCombo()->findText(QStringLiteral("Damaged looks")));
            QTRY_VERIFY(dialog->managerList()->rowForPreset(id));
            const QTreeWidgetItem* line = dialog->managerList()->rowForPreset(id);
            QVERIFY(!line->icon(EMPresetsManagerList::NameColumn).isNull());
            QVERIFY(line->toolTip(EMPresetsManagerList::NameColumn).contains(QStringLiteral("(Kelvin)")));

            // A rename makes the store write the group with the defaults.
            m_app->controller()->presetNameEditedFromUI(id, QStringLiteral("Night %1").arg(start));
            QTRY_COMPARE(store->findPreset(id)->name, QStringLiteral("Night %1").arg(start));
            QVERIFY(m_app->teardown().taskThreadFinished);
            m_app.reset();
            QVERIFY(!fileBytes(file).contains("x300"));
            store->loadPresets();
        }
        startApp();

        // Applied to a clip, the preset's defaults become the clip's.
        m_app->controller()->shotToBeAddedToShotList(Test::TestMedia::instance().path(Test::TestMedia::NoAudio), true);
        QTRY_COMPARE_WITH_TIMEOUT(strip()->count(), 1, 30000);
        const QString clip = strip()->item(0)->data(ItemIdRole).toString();
        QCOMPARE(unreadFieldsShown(strip(), clip), QStringList());
        m_app->controller()->newPresetAppliedFromUI(id, { clip.toLatin1() });
        QTRY_COMPARE(unreadFieldsShown(strip(), clip), kelvin);
    }

    // "Update with Current Grade" from the strip's menu, the manager's menu
    // or its button: the damaged preset takes the clip's grade and loses its
    // warning, on disk too; the manager's undo brings the old grade and the
    // warning back, redo the new ones; a restart keeps the update. Without a
    // current clip the entries are disabled.
    void updatingADamagedPresetClearsItsWarning_data()
    {
        QTest::addColumn<QString>("from");
        QTest::newRow("strip menu") << "strip menu";
        QTest::newRow("manager menu") << "manager menu";
        QTest::newRow("manager button") << "manager button";
    }
    void updatingADamagedPresetClearsItsWarning()
    {
        QFETCH(QString, from);
        PresetsManager* store = PresetsManager::instance();
        QVERIFY(m_app->teardown().taskThreadFinished);
        m_app.reset();
        const QString groupName = QStringLiteral("Update from ") + from;
        QString file;
        const QByteArray id = writeDamagedPreset(groupName, &file);
        QVERIFY(!id.isEmpty());
        const QString name = store->findPreset(id)->name;
        const int number = store->findPreset(id)->number;
        const int group = store->groupOfPreset(id);
        const float damagedSaturation = store->findPreset(id)->settings.getSaturation();
        QVERIFY(damagedSaturation != 0.25f);
        startApp();
        showGroup(groupName, id);
        if (QTest::currentTestFailed())
            return;
        const QStringList kelvin { QStringLiteral("Kelvin") };
        QCOMPARE(presetWarningShown(id), kelvin);

        auto* presets = window()->findChild<EMPresetsWidget*>();
        EMPresetsList* list = presets->presetsList();
        PresetsListDialog* dialog = presets->presetsDialog();
        EMPresetsManagerList* table = dialog->managerList();
        table->setCurrentItem(table->rowForPreset(id));
        auto update = [&]() -> QAction* {
            if (from == QLatin1String("manager button"))
                return nullptr;
            QMenu* menu = from == QLatin1String("strip menu") ? list->menuForPreset(id) : table->menuForPreset(id);
            const QList<QAction*> actions = menu->actions();
            return actions.size() == 1 && actions.first()->text() == QStringLiteral("Update with Current Grade")
                ? actions.first()
                : nullptr;
        };
        auto updateEnabled = [&] {
            return from == QLatin1String("manager button") ? dialog->updateButton()->isEnabled()
                                                           : update() && update()->isEnabled();
        };
        QVERIFY(!updateEnabled());

        m_app->controller()->shotToBeAddedToShotList(Test::TestMedia::instance().path(Test::TestMedia::NoAudio), true);
        QTRY_COMPARE_WITH_TIMEOUT(strip()->count(), 1, 30000);
        QTRY_VERIFY(updateEnabled());
        m_app->controller()->saturationAmountChangedFromUI(0.25f);
        if (from == QLatin1String("manager button"))
            dialog->updateButton()->click();
        else
            update()->trigger();
        QTRY_COMPARE(presetWarningShown(id), QStringList());
        QCOMPARE(store->findPreset(id)->settings.getSaturation(), 0.25f);
        QVERIFY(store->findPreset(id)->unreadFields.isEmpty());
        QVERIFY(!fileBytes(file).contains("UnreadGradeFields"));
        // The manager's current row survives the redraw: another update needs
        // no new choice.
        QVERIFY(updateEnabled());
        QCOMPARE(store->findPreset(id)->name, name);
        QCOMPARE(store->findPreset(id)->number, number);
        QCOMPARE(store->groupOfPreset(id), group);

        QAction* undo = nullptr;
        QAction* redo = nullptr;
        for (QAction* action : dialog->actions()) {
            if (action->text() == QStringLiteral("Undo"))
                undo = action;
            else if (action->text() == QStringLiteral("Redo"))
                redo = action;
        }
        QVERIFY(undo && redo);
        undo->trigger();
        QTRY_COMPARE(presetWarningShown(id), kelvin);
        QCOMPARE(store->findPreset(id)->settings.getSaturation(), damagedSaturation);
        QVERIFY(fileBytes(file).contains("UnreadGradeFields"));
        redo->trigger();
        QTRY_COMPARE(presetWarningShown(id), QStringList());
        QCOMPARE(store->findPreset(id)->settings.getSaturation(), 0.25f);

        QVERIFY(m_app->teardown().taskThreadFinished);
        m_app.reset();
        store->loadPresets();
        startApp();
        showGroup(groupName, id);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(presetWarningShown(id), QStringList());
        QCOMPARE(store->findPreset(id)->settings.getSaturation(), 0.25f);
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
            loading = window()->isLoading();
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
        QVERIFY(window()->savesInProgress().isEmpty());
        QCOMPARE(window()->currentPath(), project);
        QVERIFY(!window()->isLoading());
    }
};

EMULSA_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
