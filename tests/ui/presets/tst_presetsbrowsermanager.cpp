#include "PresetsBrowserSupport.h"
#include "app/Controller.h"
#include "common/TestEnvironment.h"

#include "core/ClipSettings.h"
#include "model/Preset.h"
#include "model/PresetsManager.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/EMPresetsWidget.h"
#include "ui/presets/PresetsListDialog.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using namespace Emulsa;
using namespace Emulsa::Test;

class TestPresetsBrowserManager : public QObject
{
    Q_OBJECT

private slots:
    void executeSendsOnlyCheckedPresets_data();
    void executeSendsOnlyCheckedPresets();
    void importAndExportTakeBothSuffixes_data();
    void importAndExportTakeBothSuffixes();
    void groupNamesAreAskedFor();
    void managerTableEditsByKeyAndClick();
    void checkBoxPressTogglesSelectedRows_data();
    void checkBoxPressTogglesSelectedRows();
    void reopeningShowsTheLastGroup_data();
    void reopeningShowsTheLastGroup();
    void managerWorksThroughTheModel();
};

void TestPresetsBrowserManager::executeSendsOnlyCheckedPresets_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QList<int>>("checkedRows");
    QTest::newRow("move, nothing checked") << int(PresetsListDialog::MoveChecked) << QList<int>();
    QTest::newRow("copy, nothing checked") << int(PresetsListDialog::CopyChecked) << QList<int>();
    QTest::newRow("move two") << int(PresetsListDialog::MoveChecked) << QList<int> { 0, 2 };
    QTest::newRow("copy one") << int(PresetsListDialog::CopyChecked) << QList<int> { 1 };
}

void TestPresetsBrowserManager::executeSendsOnlyCheckedPresets()
{
    QFETCH(int, operation);
    QFETCH(QList<int>, checkedRows);

    PresetsListDialog dialog;
    QList<int> groupsAsked;
    connect(&dialog, &PresetsListDialog::needPresetsListFromGroup, [&](int id) { groupsAsked.append(id); });
    dialog.presetGroupsListsReady(groupsWithIds({ 1, 2, 3 }));
    QCOMPARE(groupsAsked, QList<int> { 1 });
    // The targets are every group but the current one.
    QCOMPARE(dialog.targetCombo()->count(), 2);
    QCOMPARE(dialog.targetCombo()->itemData(0).toInt(), 2);

    const QVector<Preset> presets = { presetNumbered(1), presetNumbered(2), presetNumbered(3) };
    dialog.presetsListReady(1, presets);
    dialog.presetsListReady(2, {}); // another group's list is not shown
    QCOMPARE(dialog.managerList()->topLevelItemCount(), 3);

    QVector<QByteArray> expected;
    for (int row : checkedRows) {
        dialog.managerList()->topLevelItem(row)->setCheckState(EMPresetsManagerList::ThumbnailColumn, Qt::Checked);
        expected.append(presets.at(row).id());
    }
    dialog.operationCombo()->setCurrentIndex(operation);
    dialog.targetCombo()->setCurrentIndex(1);

    QList<Transfer> moved;
    QList<Transfer> copied;
    connect(&dialog, &PresetsListDialog::needToMovePresets, [&](const Transfer& t) { moved.append(t); });
    connect(&dialog, &PresetsListDialog::needToCopyPresets, [&](const Transfer& t) { copied.append(t); });
    dialog.executeOperation();

    if (checkedRows.isEmpty()) {
        QVERIFY(moved.isEmpty());
        QVERIFY(copied.isEmpty());
        // Checking all, then unchecking all, still sends nothing.
        dialog.checkAllBox()->setCheckState(Qt::Checked);
        QCOMPARE(dialog.managerList()->checkedPresetIds().size(), 3);
        dialog.checkAllBox()->setCheckState(Qt::Unchecked);
        dialog.executeOperation();
        QVERIFY(moved.isEmpty());
        QVERIFY(copied.isEmpty());
        return;
    }
    const QList<Transfer>& sent = operation == PresetsListDialog::MoveChecked ? moved : copied;
    const QList<Transfer>& other = operation == PresetsListDialog::MoveChecked ? copied : moved;
    QCOMPARE(sent.size(), 1);
    QVERIFY(other.isEmpty());
    QCOMPARE(std::get<0>(sent.first()), 1);
    QCOMPARE(std::get<1>(sent.first()), 3);
    QCOMPARE(std::get<2>(sent.first()), expected);
}

void TestPresetsBrowserManager::importAndExportTakeBothSuffixes_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("preset file") << QStringLiteral("/data/looks.empreset");
    QTest::newRow("exported file") << QStringLiteral("/data/looks.empresets");
}

void TestPresetsBrowserManager::importAndExportTakeBothSuffixes()
{
    QFETCH(QString, path);
    const QString filter = PresetsListDialog::presetFileFilter();
    QVERIFY(filter.contains(QStringLiteral("*.empreset ")) || filter.contains(QStringLiteral("*.empreset)")));
    QVERIFY(filter.contains(QStringLiteral("*.empresets")));

    PresetsListDialog dialog;
    dialog.presetGroupsListsReady(groupsWithIds({ 6 }));
    dialog.setPathAsker([&](bool) { return path; });
    QSignalSpy imported(&dialog, &PresetsListDialog::importPresetGroup);
    QSignalSpy exported(&dialog, &PresetsListDialog::exportPresetGroup);
    dialog.importGroupPressed();
    dialog.exportGroupPressed();
    QCOMPARE(imported.count(), 1);
    QCOMPARE(imported.first().at(0).toString(), path);
    QCOMPARE(exported.count(), 1);
    QCOMPARE(exported.first().at(0).toInt(), 6);
    QCOMPARE(exported.first().at(1).toString(), path);

    // A cancelled file dialog sends nothing.
    dialog.setPathAsker([](bool) { return QString(); });
    dialog.importGroupPressed();
    dialog.exportGroupPressed();
    QCOMPARE(imported.count(), 1);
    QCOMPARE(exported.count(), 1);
}

void TestPresetsBrowserManager::groupNamesAreAskedFor()
{
    PresetsListDialog dialog;
    dialog.presetGroupsListsReady(groupsWithIds({ 1, 2 }));
    QStringList prefills;
    QString answer = QStringLiteral("Dusk");
    dialog.setNameAsker([&](const QString& prefill) {
        prefills.append(prefill);
        return answer;
    });
    QSignalSpy created(&dialog, &PresetsListDialog::groupCreated);
    QSignalSpy renamed(&dialog, &PresetsListDialog::groupRenamed);
    dialog.newGroupPressed();
    dialog.renameGroupPressed();
    QCOMPARE(prefills, (QStringList { QString(), QStringLiteral("group 1") }));
    QCOMPARE(created.count(), 1);
    QCOMPARE(created.first().at(0).toString(), answer);
    QCOMPARE(renamed.count(), 1);
    QCOMPARE(renamed.first().at(0).toInt(), 1);

    answer.clear();
    dialog.newGroupPressed();
    dialog.renameGroupPressed();
    QCOMPARE(created.count(), 1);
    QCOMPARE(renamed.count(), 1);
}

// The manager's table: F2 opens the name for editing and a changed name is
// sent once (an unchanged one never, nor an untouched unnamed one); the row
// shows the model's answer, not the edit; no other column is editable; a
// click in the "DELETE" column sends the row's preset only when pressed and
// released on that same row; the undo and redo keys are passed on.
void TestPresetsBrowserManager::managerTableEditsByKeyAndClick()
{
    EMPresetsManagerList table;
    Preset first = presetNumbered(1, QStringLiteral("Warm"));
    Preset second = presetNumbered(2, QStringLiteral("Cold"));
    table.showPresets({ first, second, presetNumbered(3) });
    table.resize(900, 300);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QSignalSpy renamed(&table, &EMPresetsManagerList::presetNameEdited);
    QSignalSpy deleted(&table, &EMPresetsManagerList::presetSelectedForDeletion);
    QSignalSpy undo(&table, &EMPresetsManagerList::undoTriggered);
    QSignalSpy redo(&table, &EMPresetsManagerList::redoTriggered);

    // The editor opens on the name whichever column is current.
    const auto rename = [&](QTreeWidgetItem* row, const QString& text, const QString& shown) {
        table.setCurrentItem(row, EMPresetsManagerList::FilmColumn);
        QTest::keyClick(&table, Qt::Key_F2);
        const QModelIndex name = table.currentIndex().siblingAtColumn(EMPresetsManagerList::NameColumn);
        auto* editor = qobject_cast<QLineEdit*>(table.indexWidget(name));
        QVERIFY(editor);
        QCOMPARE(editor->text(), shown);
        if (!text.isNull())
            editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits on the next turn of the event loop.
        QTRY_VERIFY(!table.indexWidget(name));
    };
    rename(table.topLevelItem(1), QStringLiteral("  Blue hour "), QStringLiteral("Cold"));
    QCOMPARE(renamed.count(), 1);
    QCOMPARE(renamed.at(0).at(0).toByteArray(), second.id());
    QCOMPARE(renamed.at(0).at(1).toString(), QStringLiteral("Blue hour"));
    QCOMPARE(table.topLevelItem(1)->text(EMPresetsManagerList::NameColumn), QStringLiteral("Cold"));
    table.presetRenamedFromModel(second.id(), QStringLiteral("Blue hour"));
    QCOMPARE(table.topLevelItem(1)->text(EMPresetsManagerList::NameColumn), QStringLiteral("Blue hour"));
    rename(table.topLevelItem(1), QStringLiteral("Blue hour"), QStringLiteral("Blue hour"));
    QCOMPARE(renamed.count(), 1);
    // An unnamed preset's editor starts empty, its title only a hint.
    rename(table.topLevelItem(2), QString(), QString());
    QCOMPARE(renamed.count(), 1);

    const auto cell = [&](int row, int column) {
        return table.visualItemRect(table.topLevelItem(row)).topLeft()
            + QPoint(table.header()->sectionViewportPosition(column) + 5, 5);
    };
    // A double click edits the name and nothing else.
    for (int column : { EMPresetsManagerList::NameColumn, EMPresetsManagerList::FilmColumn,
             EMPresetsManagerList::ColorColumn, EMPresetsManagerList::LevelsColumn }) {
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell(0, column));
        QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell(0, column));
        const QModelIndex index = table.model()->index(0, column);
        QCOMPARE(table.indexWidget(index) != nullptr, column == EMPresetsManagerList::NameColumn);
        if (QWidget* editor = table.indexWidget(index)) {
            QTest::keyClick(editor, Qt::Key_Escape);
            QTRY_VERIFY(!table.indexWidget(index));
        }
    }
    QTest::mousePress(table.viewport(), Qt::LeftButton, {}, cell(0, EMPresetsManagerList::DeleteColumn));
    QTest::mouseRelease(table.viewport(), Qt::LeftButton, {}, cell(1, EMPresetsManagerList::DeleteColumn));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell(0, EMPresetsManagerList::NameColumn));
    QCOMPARE(deleted.count(), 0);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell(0, EMPresetsManagerList::DeleteColumn));
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).toByteArray(), first.id());
    table.presetRemovedFromModel(first.id());
    QCOMPARE(table.topLevelItemCount(), 2);

    QTest::keyClick(&table, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&table, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(undo.count(), 1);
    QCOMPARE(redo.count(), 1);
}

void TestPresetsBrowserManager::checkBoxPressTogglesSelectedRows_data()
{
    QTest::addColumn<QList<int>>("checkedBefore");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("pressed");
    QTest::addColumn<QList<int>>("checkedAfterFirst");
    QTest::addColumn<QList<int>>("checkedAfterSecond");
    QTest::newRow("three selected, one pressed")
        << QList<int>() << QList<int> { 0, 2, 3 } << 2 << QList<int> { 0, 2, 3 } << QList<int>();
    QTest::newRow("pressed row is not selected")
        << QList<int>() << QList<int> { 0, 2, 3 } << 4 << QList<int> { 4 } << QList<int>();
    QTest::newRow("nothing selected") << QList<int> { 1 } << QList<int>() << 3 << QList<int> { 1, 3 }
                                      << QList<int> { 1 };
    // The pressed row's new state goes to every selected row.
    QTest::newRow("pressed unchecked among mixed")
        << QList<int> { 0, 4 } << QList<int> { 0, 1, 2 } << 1 << QList<int> { 0, 1, 2, 4 } << QList<int> { 4 };
    QTest::newRow("pressed checked among mixed")
        << QList<int> { 0, 4 } << QList<int> { 0, 1, 2 } << 0 << QList<int> { 4 } << QList<int> { 0, 1, 2, 4 };
}

// A click on a row's check box sets the check state of all selected rows to
// the pressed row's new one, leaving the selection as it was; a second click
// turns them back.
void TestPresetsBrowserManager::checkBoxPressTogglesSelectedRows()
{
    QFETCH(QList<int>, checkedBefore);
    QFETCH(QList<int>, selected);
    QFETCH(int, pressed);
    QFETCH(QList<int>, checkedAfterFirst);
    QFETCH(QList<int>, checkedAfterSecond);

    EMPresetsManagerList table;
    table.showPresets(
        { presetNumbered(1), presetNumbered(2), presetNumbered(3), presetNumbered(4), presetNumbered(5) });
    table.resize(900, 420);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    for (int row : checkedBefore)
        table.topLevelItem(row)->setCheckState(EMPresetsManagerList::ThumbnailColumn, Qt::Checked);
    for (int row : selected)
        table.topLevelItem(row)->setSelected(true);
    const QSet<int> selection = selectedRows(table);

    const QPoint box = table.checkBoxRect(table.topLevelItem(pressed)).center();
    QVERIFY(table.viewport()->rect().contains(box));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(checkedRows(table), QSet<int>(checkedAfterFirst.begin(), checkedAfterFirst.end()));
    QCOMPARE(selectedRows(table), selection);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(checkedRows(table), QSet<int>(checkedAfterSecond.begin(), checkedAfterSecond.end()));
    QCOMPARE(selectedRows(table), selection);
}

void TestPresetsBrowserManager::reopeningShowsTheLastGroup_data()
{
    QTest::addColumn<QList<int>>("groupsOnReopen");
    QTest::addColumn<int>("shown");
    QTest::newRow("group still there") << QList<int> { 1, 2, 3 } << 3;
    QTest::newRow("group gone") << QList<int> { 1, 2 } << 1;
}

// Opened again, the manager shows the group it showed last, or the first one
// when that group is gone. Every list shown comes with its rows and the
// check-all box unchecked.
void TestPresetsBrowserManager::reopeningShowsTheLastGroup()
{
    QFETCH(QList<int>, groupsOnReopen);
    QFETCH(int, shown);

    PresetsListDialog dialog;
    dialog.openManager();
    dialog.presetGroupsListsReady(groupsWithIds({ 1, 2, 3 }));
    dialog.groupCombo()->setCurrentIndex(dialog.groupCombo()->findData(3));
    dialog.presetsListReady(3, { presetNumbered(1), presetNumbered(2) });
    dialog.checkAllBox()->setCheckState(Qt::Checked);
    QCOMPARE(dialog.managerList()->checkedPresetIds().size(), 2);
    // The same group listed again (after a move or an undo).
    dialog.presetsListReady(3, { presetNumbered(1) });
    QCOMPARE(dialog.checkAllBox()->checkState(), Qt::Unchecked);
    QVERIFY(dialog.managerList()->checkedPresetIds().isEmpty());
    dialog.checkAllBox()->setCheckState(Qt::Checked);
    QCOMPARE(dialog.managerList()->checkedPresetIds().size(), 1);
    dialog.reject();

    QList<int> asked;
    connect(&dialog, &PresetsListDialog::needPresetsListFromGroup, [&](int id) { asked.append(id); });
    dialog.openManager();
    QCOMPARE(dialog.groupCombo()->count(), 0);
    QCOMPARE(dialog.managerList()->topLevelItemCount(), 0);
    QCOMPARE(dialog.checkAllBox()->checkState(), Qt::Unchecked);
    dialog.presetGroupsListsReady(groupsWithIds(groupsOnReopen));
    QCOMPARE(dialog.currentGroupId(), shown);
    QCOMPARE(asked, QList<int> { shown });
    dialog.reject();
}

// The manager opened with "MANAGE" in the assembled application: a name
// edited in its table, a move of the checked presets, and the undo and redo
// keys inside the dialog all reach the model, and the table redraws from its
// answers.
void TestPresetsBrowserManager::managerWorksThroughTheModel()
{
    PresetsManager* store = PresetsManager::instance();
    const int from = store->createNewGroup(QStringLiteral("Day")).id;
    const int to = store->createNewGroup(QStringLiteral("Night")).id;
    QVector<QByteArray> ids;
    for (int i = 0; i < 3; ++i)
        ids.append(store->createPreset(ClipSettings(), from)->id());
    QVERIFY(store->writePresetsToDisk());

    ApplicationAssembly app(false);
    auto* strip = app.window()->findChild<EMPresetsWidget*>();
    QVERIFY(strip);
    PresetsListDialog* dialog = strip->presetsDialog();
    auto* manage = strip->findChild<QPushButton*>();
    QVERIFY(manage);
    QCOMPARE(manage->text(), QStringLiteral("MANAGE"));
    QTest::mouseClick(manage, Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTRY_VERIFY(dialog->groupCombo()->findData(to) >= 0);
    dialog->groupCombo()->setCurrentIndex(dialog->groupCombo()->findData(from));
    EMPresetsManagerList* table = dialog->managerList();
    QTRY_COMPARE(table->topLevelItemCount(), 3);

    // Every request sent so far is answered once this one is (one queue).
    const auto settled = [&] {
        QSignalSpy answered(app.controller(), &Controller::presetsGroupShouldRefreshForDialog);
        app.controller()->presetGroupsNeededByDialog();
        QTRY_VERIFY(!answered.isEmpty());
    };
    const auto rename = [&](const QString& name) {
        table->setFocus();
        table->setCurrentItem(table->rowForPreset(ids[0]), EMPresetsManagerList::NameColumn);
        QTest::keyClick(table, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(table->indexWidget(table->currentIndex()));
        QVERIFY(editor);
        editor->setText(name);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(store->findPreset(ids[0])->name, name);
        QTRY_COMPARE(table->rowForPreset(ids[0])->text(EMPresetsManagerList::NameColumn), name);
    };
    rename(QStringLiteral("Dawn"));
    rename(QStringLiteral("Dusk"));
    // Ctrl+Z with the table focused undoes one step, not two.
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(store->findPreset(ids[0])->name, QStringLiteral("Dawn"));
    settled();
    QCOMPARE(store->findPreset(ids[0])->name, QStringLiteral("Dawn"));
    QTRY_COMPARE(table->rowForPreset(ids[0])->text(EMPresetsManagerList::NameColumn), QStringLiteral("Dawn"));

    // The check boxes of the second and third rows, then EXECUTE.
    table->clearSelection();
    for (const QByteArray& id : { ids[1], ids[2] })
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->checkBoxRect(table->rowForPreset(id)).center());
    QCOMPARE(table->checkedPresetIds(), (QVector<QByteArray> { ids[1], ids[2] }));
    dialog->operationCombo()->setCurrentIndex(PresetsListDialog::MoveChecked);
    dialog->targetCombo()->setCurrentIndex(dialog->targetCombo()->findData(to));
    QPushButton* execute = nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("EXECUTE"))
            execute = button;
    QVERIFY(execute);
    QTest::mouseClick(execute, Qt::LeftButton);
    QTRY_COMPARE(store->groupOfPreset(ids[2]), to);
    QCOMPARE(store->groupOfPreset(ids[1]), to);
    QTRY_COMPARE(table->topLevelItemCount(), 1);

    // The dialog's own shortcuts, whatever has the focus (a window shortcut
    // reaches only the active window).
    execute->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTest::keyClick(execute, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(store->groupOfPreset(ids[1]), from);
    QTRY_COMPARE(table->topLevelItemCount(), 3);
    QCOMPARE(store->findPreset(ids[0])->name, QStringLiteral("Dawn"));
    QTest::keyClick(execute, Qt::Key_Y, Qt::ControlModifier);
    QTRY_COMPARE(store->groupOfPreset(ids[1]), to);
    QTRY_COMPARE(table->topLevelItemCount(), 1);

    dialog->accept();
    const ApplicationAssembly::Teardown down = app.teardown();
    QVERIFY(down.taskThreadFinished);
    QVERIFY(down.modelThreadFinished);
}

EMULSA_TEST_MAIN(TestPresetsBrowserManager)
#include "tst_presetsbrowsermanager.moc"
