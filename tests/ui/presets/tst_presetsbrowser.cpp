#include "app/Controller.h"
#include "common/TestEnvironment.h"

#include "core/ClipSettings.h"
#include "model/Preset.h"
#include "model/PresetGroup.h"
#include "model/PresetsManager.h"
#include "model/SettingsManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/presets/EMPresetItemDelegate.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/EMPresetsManagerItemDelegate.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/EMPresetsWidget.h"
#include "ui/presets/PresetThumbnailPainter.h"
#include "ui/presets/PresetsListDialog.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include <memory>

using namespace Emulsa;

namespace {

using Transfer = std::tuple<int, int, QVector<QByteArray>>;

Preset presetNumbered(int number, const QString& name = QString())
{
    Preset preset;
    preset.number = number;
    preset.name = name;
    return preset;
}

QList<PresetGroup> groupsWithIds(const QList<int>& ids)
{
    QList<PresetGroup> groups;
    for (int id : ids) {
        PresetGroup group;
        group.id = id;
        group.name = QStringLiteral("group %1").arg(id);
        groups.append(group);
    }
    return groups;
}

QStyleOptionViewItem cellOption(QAbstractItemView* view, const QSize& size)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.widget = view;
    option.rect = QRect(QPoint(0, 0), size);
    option.state = QStyle::State_Enabled;
    return option;
}

// One cell painted by the delegate on its own, as the view paints it.
QImage paintCell(QAbstractItemView* view, QAbstractItemDelegate* delegate, const QModelIndex& index, const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    delegate->paint(&painter, cellOption(view, size), index);
    return image;
}

QSet<int> checkedRows(EMPresetsManagerList& table)
{
    QSet<int> rows;
    for (int i = 0; i < table.topLevelItemCount(); ++i)
        if (table.topLevelItem(i)->checkState(EMPresetsManagerList::ThumbnailColumn) == Qt::Checked)
            rows.insert(i);
    return rows;
}

QSet<int> selectedRows(EMPresetsManagerList& table)
{
    QSet<int> rows;
    for (int i = 0; i < table.topLevelItemCount(); ++i)
        if (table.topLevelItem(i)->isSelected())
            rows.insert(i);
    return rows;
}

void storeSelectedGroup(const QVariant& id)
{
    auto store = SettingsManager::openStore();
    if (id.isValid())
        store->setValue(QLatin1String(EMPresetsWidget::selectedGroupKey), id);
    else
        store->remove(QLatin1String(EMPresetsWidget::selectedGroupKey));
}

} // namespace

class TestPresetsBrowser : public QObject
{
    Q_OBJECT

private slots:
    void presetsAreSortedByNumber();
    void groupFallback_data();
    void groupFallback();
    void clickAppliesThePreset();
    void listForAnotherGroupSelectsIt();
    void groupChangesFromTheModel();
    void executeSendsOnlyCheckedPresets_data();
    void executeSendsOnlyCheckedPresets();
    void importAndExportTakeBothSuffixes_data();
    void importAndExportTakeBothSuffixes();
    void groupNamesAreAskedFor();
    void presetTitleFallsBackToNumber();
    void managerTableEditsByKeyAndClick();
    void thumbnailsAreThePresetsPictures_data();
    void thumbnailsAreThePresetsPictures();
    void checkBoxPressTogglesSelectedRows_data();
    void checkBoxPressTogglesSelectedRows();
    void reopeningShowsTheLastGroup_data();
    void reopeningShowsTheLastGroup();
    void managerWorksThroughTheModel();
    void presetWithAnUnreadFieldSaysSo();
};

void TestPresetsBrowser::presetsAreSortedByNumber()
{
    EMPresetsWidget widget;
    widget.presetGroupsListsReady(groupsWithIds({ 1 }));
    // In hash order, not creation order; 10 after 9 (not as text).
    widget.presetsListReady(1, { presetNumbered(10), presetNumbered(2), presetNumbered(9), presetNumbered(1) });
    EMPresetsList* list = widget.presetsList();
    QCOMPARE(list->count(), 4);
    QList<int> numbers;
    for (int i = 0; i < list->count(); ++i)
        numbers.append(list->item(i)->data(PresetNumberRole).toInt());
    QCOMPARE(numbers, (QList<int> { 1, 2, 9, 10 }));

    PresetsListDialog dialog;
    dialog.presetGroupsListsReady(groupsWithIds({ 1, 2 }));
    dialog.presetsListReadyAndShow(1, { presetNumbered(10), presetNumbered(2), presetNumbered(9) });
    EMPresetsManagerList* table = dialog.managerList();
    QCOMPARE(table->topLevelItemCount(), 3);
    QCOMPARE(table->topLevelItem(0)->data(0, PresetNumberRole).toInt(), 2);
    QCOMPARE(table->topLevelItem(2)->data(0, PresetNumberRole).toInt(), 10);
}

void TestPresetsBrowser::groupFallback_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QList<int>>("groups");
    QTest::addColumn<int>("shown");
    QTest::newRow("nothing stored, no group 1") << QVariant() << QList<int> { 3, 5 } << 3;
    QTest::newRow("nothing stored, group 1") << QVariant() << QList<int> { 0, 1 } << 1;
    QTest::newRow("stored and present") << QVariant(5) << QList<int> { 3, 5, 8 } << 5;
    QTest::newRow("stored and gone") << QVariant(9) << QList<int> { 3, 5 } << 3;
    QTest::newRow("stored garbage") << QVariant(QStringLiteral("x")) << QList<int> { 4 } << 4;
}

void TestPresetsBrowser::groupFallback()
{
    QFETCH(QVariant, stored);
    QFETCH(QList<int>, groups);
    QFETCH(int, shown);

    storeSelectedGroup(stored);
    {
        EMPresetsWidget widget;
        QSignalSpy asked(&widget, &EMPresetsWidget::needPresetsListFromGroup);
        widget.presetGroupsListsReady(groupsWithIds(groups));
        QCOMPARE(widget.currentGroupId(), shown);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.first().at(0).toInt(), shown);

        // Later fills keep the group shown.
        const int other = groups.last() == shown ? groups.first() : groups.last();
        widget.groupCombo()->setCurrentIndex(widget.groupCombo()->findData(other));
        widget.presetGroupsListsReady(groupsWithIds(groups));
        QCOMPARE(widget.currentGroupId(), other);
    }
    // The group shown last is remembered.
    QCOMPARE(SettingsManager::openStore()->value(QLatin1String(EMPresetsWidget::selectedGroupKey)).toInt(),
        groups.last() == shown ? groups.first() : groups.last());
}

void TestPresetsBrowser::clickAppliesThePreset()
{
    EMPresetsWidget widget;
    widget.resize(300, 400);
    widget.presetGroupsListsReady(groupsWithIds({ 1 }));
    const Preset preset = presetNumbered(4, QStringLiteral("Warm"));
    widget.presetsListReady(1, { preset, presetNumbered(5) });
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));

    QSignalSpy applied(&widget, &EMPresetsWidget::newPresetToBeApplied);
    EMPresetsList* list = widget.presetsList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(0)).center());
    QCOMPARE(applied.count(), 1);
    QCOMPARE(applied.first().at(0).toByteArray(), preset.id());

    QSignalSpy deleted(&widget, &EMPresetsWidget::presetSelectedForDeletion);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.first().at(0).toByteArray(), preset.id());
    // The row stays until the model reports the removal.
    QCOMPARE(list->count(), 2);
    widget.presetRemovedFromModel(preset.id());
    QCOMPARE(list->count(), 1);
}

void TestPresetsBrowser::listForAnotherGroupSelectsIt()
{
    EMPresetsWidget widget;
    widget.presetGroupsListsReady(groupsWithIds({ 1, 2 }));
    widget.presetsListReady(1, { presetNumbered(1) });
    QSignalSpy asked(&widget, &EMPresetsWidget::needPresetsListFromGroup);
    // A preset saved into group 2 shows group 2, without asking again.
    widget.presetsListReady(2, { presetNumbered(2), presetNumbered(3) });
    QCOMPARE(widget.currentGroupId(), 2);
    QCOMPARE(widget.presetsList()->count(), 2);
    QCOMPARE(asked.count(), 0);
    // A list for an unknown group changes nothing.
    widget.presetsListReady(7, {});
    QCOMPARE(widget.presetsList()->count(), 2);
}

void TestPresetsBrowser::groupChangesFromTheModel()
{
    EMPresetsWidget widget;
    widget.presetGroupsListsReady(groupsWithIds({ 1, 4 }));
    PresetGroup created = groupsWithIds({ 2 }).first();
    widget.presetGroupCreatedFromModel(created);
    QCOMPARE(widget.groupCombo()->count(), 3);
    QCOMPARE(widget.groupCombo()->itemData(1).toInt(), 2);
    widget.presetGroupRenamedFromModel(2, QStringLiteral("Night"));
    QCOMPARE(widget.groupCombo()->itemText(1), QStringLiteral("Night"));

    widget.groupCombo()->setCurrentIndex(1);
    QSignalSpy asked(&widget, &EMPresetsWidget::needPresetsListFromGroup);
    widget.presetGroupRemovedFromModel(2);
    QCOMPARE(widget.groupCombo()->count(), 2);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(widget.currentGroupId(), 1);

    QSignalSpy forWidget(&widget, &EMPresetsWidget::needPresetsListFromGroupForWidget);
    widget.updateCurrentGroup();
    QCOMPARE(forWidget.count(), 1);
    QCOMPARE(forWidget.first().at(0).toInt(), 1);
}

void TestPresetsBrowser::executeSendsOnlyCheckedPresets_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QList<int>>("checkedRows");
    QTest::newRow("move, nothing checked") << int(PresetsListDialog::MoveChecked) << QList<int>();
    QTest::newRow("copy, nothing checked") << int(PresetsListDialog::CopyChecked) << QList<int>();
    QTest::newRow("move two") << int(PresetsListDialog::MoveChecked) << QList<int> { 0, 2 };
    QTest::newRow("copy one") << int(PresetsListDialog::CopyChecked) << QList<int> { 1 };
}

void TestPresetsBrowser::executeSendsOnlyCheckedPresets()
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

void TestPresetsBrowser::importAndExportTakeBothSuffixes_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("preset file") << QStringLiteral("/data/looks.empreset");
    QTest::newRow("exported file") << QStringLiteral("/data/looks.empresets");
}

void TestPresetsBrowser::importAndExportTakeBothSuffixes()
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

void TestPresetsBrowser::groupNamesAreAskedFor()
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

void TestPresetsBrowser::presetTitleFallsBackToNumber()
{
    QCOMPARE(EMPresetItemDelegate::titleFor(QString(), 12), QStringLiteral("Preset #12"));
    QCOMPARE(EMPresetItemDelegate::titleFor(QStringLiteral("Warm"), 12), QStringLiteral("Warm"));
}

// The manager's table: F2 opens the name for editing and a changed name is
// sent once (an unchanged one never, nor an untouched unnamed one); the row
// shows the model's answer, not the edit; no other column is editable; a
// click in the "DELETE" column sends the row's preset only when pressed and
// released on that same row; the undo and redo keys are passed on.
void TestPresetsBrowser::managerTableEditsByKeyAndClick()
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

void TestPresetsBrowser::thumbnailsAreThePresetsPictures_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("wider than the box") << QSize(200, 50) << QColor(Qt::red);
    QTest::newRow("taller than the box") << QSize(30, 120) << QColor(Qt::blue);
    QTest::newRow("no thumbnail") << QSize() << QColor();
}

// Both preset lists paint the store's thumbnail scaled into their box with
// its aspect kept: it spans the box one way and leaves the box's edges free
// the other way. A preset without one gets the placeholder, and the number
// the thumbnail cell holds for sorting is never painted.
void TestPresetsBrowser::thumbnailsAreThePresetsPictures()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QColor, colour);

    PresetsManager store(Test::makeTempFolder(QStringLiteral("thumbnails/")));
    const int group = store.createNewGroup(QStringLiteral("Looks")).id;
    const std::optional<Preset> pictured = store.createPreset(ClipSettings(), group);
    QVERIFY(pictured);
    QVERIFY(store.createPreset(ClipSettings(), group));
    if (pictureSize.isValid()) {
        QImage picture(pictureSize, QImage::Format_RGB32);
        picture.fill(colour);
        QVERIFY(store.setNewThumbnailForId(picture, pictured->id(), false));
    }

    EMPresetsManagerList table(nullptr, &store);
    table.showPresets(store.presetsOfGroup(group));
    EMPresetsManagerItemDelegate* managerDelegate = table.managerDelegate();
    const QModelIndex cell = table.model()->index(0, EMPresetsManagerList::ThumbnailColumn);
    QCOMPARE(cell.data(PresetIdRole).toByteArray(), pictured->id());
    QCOMPARE(cell.data(Qt::DisplayRole).toInt(), pictured->number);
    const QSize cellSize(
        EMPresetsManagerItemDelegate::thumbnailColumnWidth(&table), EMPresetsManagerItemDelegate::rowHeight);
    const QImage managerCell = paintCell(&table, managerDelegate, cell, cellSize);
    const QRect managerBox = managerDelegate->thumbnailRect(cellOption(&table, cellSize), cell);

    EMPresetsList list;
    list.showPresets(store.presetsOfGroup(group));
    EMPresetItemDelegate stripDelegate(&store);
    const QModelIndex item = list.model()->index(0, 0);
    const QSize itemSize = stripDelegate.sizeHint(cellOption(&list, QSize()), item);
    const QImage stripItem = paintCell(&list, &stripDelegate, item, itemSize);
    const QRect stripBox = EMPresetItemDelegate::thumbnailRect(QRect(QPoint(0, 0), itemSize));

    const std::pair<QImage, QRect> painted[] = { { managerCell, managerBox }, { stripItem, stripBox } };
    for (const auto& [image, box] : painted) {
        QVERIFY(box.width() >= 40 && box.height() >= 40);
        QVERIFY(QRect(QPoint(0, 0), image.size()).contains(box));
        const QPoint centre = box.center();
        if (!pictureSize.isValid()) {
            QCOMPARE(QColor(image.pixel(centre)), PresetThumbnailPainter::placeholderFill);
            continue;
        }
        QCOMPARE(QColor(image.pixel(centre)), colour);
        const bool wide = pictureSize.width() * box.height() > box.width() * pictureSize.height();
        const QPoint spanned[] = { wide ? QPoint(box.left() + 1, centre.y()) : QPoint(centre.x(), box.top() + 1),
            wide ? QPoint(box.right() - 1, centre.y()) : QPoint(centre.x(), box.bottom() - 1) };
        const QPoint free[] = { wide ? QPoint(centre.x(), box.top() + 1) : QPoint(box.left() + 1, centre.y()),
            wide ? QPoint(centre.x(), box.bottom() - 1) : QPoint(box.right() - 1, centre.y()) };
        for (const QPoint& p : spanned)
            QCOMPARE(QColor(image.pixel(p)), colour);
        for (const QPoint& p : free)
            QVERIFY2(QColor(image.pixel(p)) != colour, "stretched to the box");
    }
    if (!pictureSize.isValid()) {
        // Another preset without a thumbnail, another number: the same cell.
        const QModelIndex other = table.model()->index(1, EMPresetsManagerList::ThumbnailColumn);
        QVERIFY(other.data(Qt::DisplayRole).toInt() != pictured->number);
        QCOMPARE(paintCell(&table, managerDelegate, other, cellSize), managerCell);
    }
}

void TestPresetsBrowser::checkBoxPressTogglesSelectedRows_data()
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
void TestPresetsBrowser::checkBoxPressTogglesSelectedRows()
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

void TestPresetsBrowser::reopeningShowsTheLastGroup_data()
{
    QTest::addColumn<QList<int>>("groupsOnReopen");
    QTest::addColumn<int>("shown");
    QTest::newRow("group still there") << QList<int> { 1, 2, 3 } << 3;
    QTest::newRow("group gone") << QList<int> { 1, 2 } << 1;
}

// Opened again, the manager shows the group it showed last, or the first one
// when that group is gone. Every list shown comes with its rows and the
// check-all box unchecked.
void TestPresetsBrowser::reopeningShowsTheLastGroup()
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
void TestPresetsBrowser::managerWorksThroughTheModel()
{
    // Round trips through the task and model threads; generous for a loaded
    // machine.
    constexpr int modelTimeoutMs = 20000;
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
    QTRY_VERIFY_WITH_TIMEOUT(dialog->groupCombo()->findData(to) >= 0, modelTimeoutMs);
    dialog->groupCombo()->setCurrentIndex(dialog->groupCombo()->findData(from));
    EMPresetsManagerList* table = dialog->managerList();
    QTRY_COMPARE_WITH_TIMEOUT(table->topLevelItemCount(), 3, modelTimeoutMs);

    // Every request sent so far is answered once this one is (one queue).
    const auto settled = [&] {
        QSignalSpy answered(app.controller(), &Controller::presetsGroupShouldRefreshForDialog);
        app.controller()->presetGroupsNeededByDialog();
        QTRY_VERIFY_WITH_TIMEOUT(!answered.isEmpty(), modelTimeoutMs);
    };
    const auto rename = [&](const QString& name) {
        table->setFocus();
        table->setCurrentItem(table->rowForPreset(ids[0]), EMPresetsManagerList::NameColumn);
        QTest::keyClick(table, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(table->indexWidget(table->currentIndex()));
        QVERIFY(editor);
        editor->setText(name);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(store->findPreset(ids[0])->name, name, modelTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(
            table->rowForPreset(ids[0])->text(EMPresetsManagerList::NameColumn), name, modelTimeoutMs);
    };
    rename(QStringLiteral("Dawn"));
    rename(QStringLiteral("Dusk"));
    // Ctrl+Z with the table focused undoes one step, not two.
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(store->findPreset(ids[0])->name, QStringLiteral("Dawn"), modelTimeoutMs);
    settled();
    QCOMPARE(store->findPreset(ids[0])->name, QStringLiteral("Dawn"));
    QTRY_COMPARE_WITH_TIMEOUT(
        table->rowForPreset(ids[0])->text(EMPresetsManagerList::NameColumn), QStringLiteral("Dawn"), modelTimeoutMs);

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
    QTRY_COMPARE_WITH_TIMEOUT(store->groupOfPreset(ids[2]), to, modelTimeoutMs);
    QCOMPARE(store->groupOfPreset(ids[1]), to);
    QTRY_COMPARE_WITH_TIMEOUT(table->topLevelItemCount(), 1, modelTimeoutMs);

    // The dialog's own shortcuts, whatever has the focus. Window shortcuts
    // need the dialog to be the active window, which another test's window
    // on the same display may take for a moment: the key is pressed again
    // once the dialog is active again.
    execute->setFocus();
    const auto pressUntil = [&](Qt::Key key, int wantedGroup) {
        const auto done = [&] { return store->groupOfPreset(ids[1]) == wantedGroup; };
        for (int attempt = 0; attempt < 3 && !done(); ++attempt) {
            dialog->activateWindow();
            if (!QTest::qWaitForWindowActive(dialog))
                continue;
            QTest::keyClick(execute, key, Qt::ControlModifier);
            if (QTest::qWaitFor(done, modelTimeoutMs / 3))
                break;
        }
        return done();
    };
    QVERIFY(pressUntil(Qt::Key_Z, from));
    QTRY_COMPARE_WITH_TIMEOUT(table->topLevelItemCount(), 3, modelTimeoutMs);
    QCOMPARE(store->findPreset(ids[0])->name, QStringLiteral("Dawn"));
    QVERIFY(pressUntil(Qt::Key_Y, to));
    QTRY_COMPARE_WITH_TIMEOUT(table->topLevelItemCount(), 1, modelTimeoutMs);

    dialog->accept();
    const ApplicationAssembly::Teardown down = app.teardown();
    QVERIFY(down.taskThreadFinished);
    QVERIFY(down.modelThreadFinished);
}

// A preset imported from a file in which a field of its grade could not be
// read carries a warning naming the field, in the strip and in the manager.
void TestPresetsBrowser::presetWithAnUnreadFieldSaysSo()
{
    constexpr int modelTimeoutMs = 20000;
    PresetsManager source(Test::makeTempFolder(QStringLiteral("damaged-source/")));
    const int sourceGroup = source.createNewGroup(QStringLiteral("Damaged")).id;
    const QByteArray id = source.createPreset(ClipSettings(), sourceGroup)->id();
    const QString file = Test::makeTempFolder(QStringLiteral("damaged")) + QStringLiteral("/damaged.empreset");
    QVERIFY(source.exportPresetGroup(sourceGroup, file));
    QFile exported(file);
    QVERIFY(exported.open(QIODevice::ReadWrite));
    QByteArray text = exported.readAll();
    QVERIFY(text.contains("<Kelvin>5600"));
    text.replace("<Kelvin>5600", "<Kelvin>x5600");
    QVERIFY(exported.resize(0) && exported.write(text) == text.size());
    exported.close();

    PresetsManager* store = PresetsManager::instance();
    const int group = store->importPresetGroup(file);
    QVERIFY(group >= 0);
    QVERIFY(store->writePresetsToDisk());
    storeSelectedGroup(group);
    ApplicationAssembly app(false);
    auto* strip = app.window()->findChild<EMPresetsWidget*>();
    QVERIFY(strip);
    EMPresetsList* list = strip->presetsList();
    QTRY_VERIFY_WITH_TIMEOUT(list->rowForPreset(id), modelTimeoutMs);
    const QString tip = list->rowForPreset(id)->toolTip();
    QVERIFY2(tip.contains(QLatin1String("Kelvin")), qPrintable(tip));

    EMPresetsManagerList* table = strip->presetsDialog()->managerList();
    table->showPresets(store->presetsOfGroup(group));
    QTreeWidgetItem* row = table->rowForPreset(id);
    QVERIFY(row);
    QCOMPARE(row->toolTip(EMPresetsManagerList::NameColumn), tip);
    // A preset read whole has no such warning.
    const QByteArray whole = store->createPreset(ClipSettings(), group)->id();
    table->showPresets(store->presetsOfGroup(group));
    QVERIFY(table->rowForPreset(whole));
    QVERIFY(table->rowForPreset(whole)->toolTip(EMPresetsManagerList::NameColumn).isEmpty());
}

EMULSA_TEST_MAIN(TestPresetsBrowser)
#include "tst_presetsbrowser.moc"
