#include "common/TestEnvironment.h"

#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "model/PresetsManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMSequenceItemDelegate.h"
#include "ui/media/EMSequenceWidget.h"

#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>

#include <memory>

using namespace Emulsa;

namespace {

const QRect rowRect(0, 0, 129, 83);

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

bool isBlack(QRgb pixel)
{
    return qRed(pixel) < 10 && qGreen(pixel) < 10 && qBlue(pixel) < 10;
}

} // namespace

class TestSequenceStrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void trimShadingIsDrawn();
    void selectionFramesTheThumbnail();
    void presetBadges_data();
    void presetBadges();
    void rowsFollowTheModel();
    void clickWithoutModifiersAsksForPlayback();

private:
    // The row painted into an image, with the given values.
    QImage paintRow(
        quint32 start, quint32 end, quint32 frames, const QByteArray& presetId = QByteArray(), bool selected = false);

    std::unique_ptr<MetadataManager> m_metadata;
    std::unique_ptr<PresetsManager> m_presets;
};

void TestSequenceStrip::initTestCase()
{
    m_metadata = std::make_unique<MetadataManager>(Test::makeTempFolder(QStringLiteral("cache")));
    m_presets = std::make_unique<PresetsManager>(Test::makeTempFolder(QStringLiteral("presets")) + QLatin1Char('/'));
}

void TestSequenceStrip::cleanupTestCase()
{
    m_metadata.reset();
    m_presets.reset();
}

QImage TestSequenceStrip::paintRow(
    quint32 start, quint32 end, quint32 frames, const QByteArray& presetId, bool selected)
{
    QStandardItemModel model;
    auto* item = new QStandardItem(QStringLiteral("clip.mov"));
    item->setData(QByteArray(16, 'q'), AssetIdRole);
    item->setData(start, StartFrameRole);
    item->setData(end, EndFrameRole);
    item->setData(frames, FrameCountRole);
    item->setData(presetId, PresetIdRole);
    model.appendRow(item);

    EMSequenceItemDelegate delegate(m_metadata.get(), m_presets.get());
    QImage image(rowRect.size(), QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = rowRect;
    option.palette.setColor(QPalette::Highlight, Qt::magenta);
    if (selected)
        option.state |= QStyle::State_Selected;
    delegate.paint(&painter, option, model.index(0, 0));
    painter.end();
    return image;
}

// The selected clips are those a preset goes to: their thumbnails stand in a
// frame of the highlight colour; others leave the strip's background.
void TestSequenceStrip::selectionFramesTheThumbnail()
{
    const QImage plain = paintRow(0, 100, 100);
    const QImage selected = paintRow(0, 100, 100, QByteArray(), true);
    const QRect box = EMSequenceItemDelegate::thumbnailBox(rowRect);
    const QPoint margins[] = { rowRect.topLeft() + QPoint(1, 1), QPoint(box.left() - 2, box.center().y()),
        QPoint(box.center().x(), box.bottom() + 2) };
    for (const QPoint& at : margins) {
        QCOMPARE(QColor(plain.pixel(at)), QColor(Qt::darkCyan));
        QCOMPARE(QColor(selected.pixel(at)), QColor(Qt::magenta));
    }
    // The picture itself is the same.
    QCOMPARE(selected.pixel(box.center()), plain.pixel(box.center()));
}

void TestSequenceStrip::trimShadingIsDrawn()
{
    // A clip of 100 frames trimmed to 25..75: the first and the last quarter
    // of the thumbnail are shaded, with red lines at 122 x 25 / 100 = 30 and
    // 122 x 75 / 100 = 91 pixels from the box's left edge.
    const QImage whole = paintRow(0, 100, 100);
    const QImage trimmed = paintRow(25, 75, 100);
    const QRect box = EMSequenceItemDelegate::thumbnailBox(rowRect);
    QCOMPARE(box.width(), 122);
    const int y = box.top() + 30;

    for (int x = box.left() + 31; x < box.left() + 91; ++x)
        QCOMPARE(trimmed.pixel(x, y), whole.pixel(x, y));
    for (int x : { box.left() + 2, box.left() + 15, box.left() + 29 })
        QVERIFY2(qGray(trimmed.pixel(x, y)) != qGray(whole.pixel(x, y)), qPrintable(QString::number(x)));
    for (int x : { box.left() + 92, box.left() + 110, box.left() + 120 })
        QVERIFY2(qGray(trimmed.pixel(x, y)) != qGray(whole.pixel(x, y)), qPrintable(QString::number(x)));
    QVERIFY(isRed(trimmed.pixel(box.left() + 30, y)));
    QVERIFY(isRed(trimmed.pixel(box.left() + 91, y)));
    QVERIFY(!isRed(whole.pixel(box.left() + 30, y)));

    // No frame count, no shading.
    QCOMPARE(paintRow(25, 75, 0), paintRow(0, 0, 0));
}

void TestSequenceStrip::presetBadges_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("presetNumber");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<bool>("named");
    QTest::newRow("no preset") << QString() << 0 << false << false;
    QTest::newRow("unnamed 7") << QString() << 7 << false << false;
    QTest::newRow("unnamed 123") << QString() << 123 << true << false;
    QTest::newRow("named") << QStringLiteral("Warm") << 200 << true << true;
}

void TestSequenceStrip::presetBadges()
{
    QFETCH(QString, name);
    QFETCH(int, presetNumber);
    QFETCH(bool, wide);
    QFETCH(bool, named);

    QByteArray presetId;
    if (presetNumber > 0) {
        const int group = m_presets->createNewGroup(QStringLiteral("badges")).id;
        // Presets take the next creation number: make them until the wanted one.
        std::optional<Preset> preset;
        do
            preset = m_presets->createPreset(ClipSettings(), group);
        while (preset && preset->number < presetNumber);
        QVERIFY(preset && preset->number == presetNumber);
        presetId = preset->id();
        if (!name.isEmpty())
            QVERIFY(m_presets->renamePreset(presetId, name));
    }

    const QImage image = paintRow(0, 100, 100, presetId);
    // The "*" badge covers only the small box: outside it, it is the plain
    // thumbnail to compare with.
    const QImage plain = paintRow(0, 100, 100);
    const QRect box = EMSequenceItemDelegate::thumbnailBox(rowRect);
    const QPoint small(box.left() + 6, box.top() + 72);
    const QPoint past(box.left() + 32, box.top() + 62);
    const QPoint far(box.left() + 100, box.top() + 72);
    if (!named)
        QVERIFY(isBlack(image.pixel(small)));
    QCOMPARE(image.pixel(past) != plain.pixel(past), wide);
    if (wide && !named)
        QVERIFY(isBlack(image.pixel(past)));
    QCOMPARE(image.pixel(far) != plain.pixel(far), named);
}

void TestSequenceStrip::rowsFollowTheModel()
{
    EMSequenceWidget strip(nullptr, m_metadata.get(), m_presets.get());
    AssetMetadata asset;
    asset.id = QByteArray(16, 'r');
    asset.name = QStringLiteral("r.mov");
    asset.filePath = QStringLiteral("/clips/r.mov");
    asset.frameCount = 240;
    SequenceItem first(&asset, nullptr, 0, 240);
    SequenceItem second(&asset, nullptr, 10, 200);
    second.setPresetUuid(QByteArrayLiteral("{00000000-0000-0000-0000-000000000001}"));
    strip.shotListChanged(&first, false);
    strip.shotListChanged(&second, false);

    QListWidgetItem* row = strip.item(1);
    QCOMPARE(row->toolTip(), asset.name);
    QCOMPARE(row->data(StartFrameRole).toUInt(), 10u);
    QCOMPARE(row->data(EndFrameRole).toUInt(), 200u);
    QCOMPARE(row->data(FrameCountRole).toUInt(), 240u);
    QCOMPARE(row->data(PresetIdRole).toByteArray(), second.presetUuid());

    // Points and presets go to the row of the item named, selected or not.
    strip.currentItemChangedFromModel(&first);
    QCOMPARE(strip.getSelectionList(), QList<QByteArray> { first.uuid.toByteArray() });
    strip.changeCurrentStartingPoint(second.uuid, 30);
    strip.changeCurrentEndingPoint(second.uuid, 90);
    strip.sequenceItemNeedPresetRefresh(QByteArrayLiteral("{p}"), second.uuid.toByteArray());
    QCOMPARE(strip.item(1)->data(StartFrameRole).toUInt(), 30u);
    QCOMPARE(strip.item(1)->data(EndFrameRole).toUInt(), 90u);
    QCOMPARE(strip.item(1)->data(PresetIdRole).toByteArray(), QByteArrayLiteral("{p}"));
    QCOMPARE(strip.item(0)->data(StartFrameRole).toUInt(), 0u);

    strip.shotListChanged(&first, true);
    QCOMPARE(strip.count(), 1);
    strip.shotRestored(&first, 0);
    QCOMPARE(strip.item(0)->data(ItemIdRole).toByteArray(), first.uuid.toByteArray());
    strip.fullReset();
    QCOMPARE(strip.count(), 0);
}

void TestSequenceStrip::clickWithoutModifiersAsksForPlayback()
{
    EMSequenceWidget strip(nullptr, m_metadata.get(), m_presets.get());
    AssetMetadata asset;
    asset.name = QStringLiteral("s.mov");
    SequenceItem first(&asset, nullptr, 0, 10);
    SequenceItem second(&asset, nullptr, 0, 10);
    strip.shotListChanged(&first, false);
    strip.shotListChanged(&second, false);
    strip.resize(400, 120);
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));

    QSignalSpy played(&strip, &EMSequenceWidget::shotSelectedForPlayback);
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, Qt::NoModifier, strip.visualItemRect(strip.item(1)).center());
    QCOMPARE(played.count(), 1);
    QCOMPARE(played.takeFirst().at(0).toByteArray(), second.uuid.toByteArray());

    // With Shift held the click only extends the selection.
    QTest::keyPress(&strip, Qt::Key_Shift);
    strip.newItemSelected(strip.item(0));
    QCOMPARE(played.count(), 0);
    QTest::keyRelease(&strip, Qt::Key_Shift);
    strip.newItemSelected(strip.item(0));
    QCOMPARE(played.count(), 1);
}

EMULSA_TEST_MAIN(TestSequenceStrip)
#include "tst_sequencestrip.moc"
