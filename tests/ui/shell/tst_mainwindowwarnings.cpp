#include "MainWindowFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

Q_DECLARE_METATYPE(std::function<void(Emulsa::Controller*)>)

// The warnings for a grade that could not be read whole, in the window with
// the real controller and model on their threads: on the clips of a project
// and on presets, until a change or a save clears them.
class MainWindowWarningsTest : public MainWindowFixture
{
    Q_OBJECT

private slots:
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
            c->gradeFieldAboutToChangeFromUI(GradeField::Kelvin);
            c->gradeFieldChangedFromUI(GradeField::Kelvin, 4800.0f);
        }) << true;
        QTest::newRow("exposure without its about-to-change")
            << true << Change([](Controller* c) { c->gradeFieldChangedFromUI(GradeField::Exposure, 0.5f); }) << true;
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
        window()->project()->setAutosavePath(ApplicationPaths::instance()->autosaveFilePath());
        QVERIFY(QDir().mkpath(QFileInfo(window()->project()->autosavePath()).absolutePath()));
        QStringList ids;
        QVERIFY(openDamaged(damagedProject(&ids)));
        const QStringList kelvin { QStringLiteral("Kelvin") };
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);

        window()->changesNoticed();
        window()->autosaveTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
        const QByteArray autosaved = fileBytes(window()->project()->autosavePath());
        QCOMPARE(autosaved.count("<UnreadGradeFields>Kelvin</UnreadGradeFields>"), 1);
        QCOMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);

        // Opened again, in a new session as after a crash.
        QVERIFY(m_app->teardown().taskThreadFinished);
        startApp();
        window()->project()->setAutosavePath(ApplicationPaths::instance()->autosaveFilePath());
        QVERIFY(window()->readSelectedProjectFile(window()->project()->autosavePath()));
        QTRY_COMPARE(unreadFieldsShown(strip(), ids.at(1)), kelvin);
        QCOMPARE(unreadFieldsShown(strip(), ids.at(0)), QStringList());

        const QString saved = m_folder + "/saved.empf";
        m_chosen = saved;
        window()->saveAsTriggered();
        QTRY_VERIFY_WITH_TIMEOUT(window()->project()->savesInProgress().isEmpty(), 20000);
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
        m_app->controller()->gradeFieldChangedFromUI(GradeField::Saturation, 0.25f);
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
};

EMULSA_TEST_MAIN(MainWindowWarningsTest)
#include "tst_mainwindowwarnings.moc"
