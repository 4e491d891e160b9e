#include "PresetsBrowserSupport.h"
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
#include <QSignalSpy>

#include <memory>

using namespace Emulsa;
using namespace Emulsa::Test;

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
    void presetTitleFallsBackToNumber();
    void thumbnailsAreThePresetsPictures_data();
    void thumbnailsAreThePresetsPictures();
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

void TestPresetsBrowser::presetTitleFallsBackToNumber()
{
    QCOMPARE(EMPresetItemDelegate::titleFor(QString(), 12), QStringLiteral("Preset #12"));
    QCOMPARE(EMPresetItemDelegate::titleFor(QStringLiteral("Warm"), 12), QStringLiteral("Warm"));
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

// A preset imported from a file in which a field of its grade could not be
// read carries a warning naming the field, in the strip and in the manager.
void TestPresetsBrowser::presetWithAnUnreadFieldSaysSo()
{
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
    QTRY_VERIFY(list->rowForPreset(id));
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
