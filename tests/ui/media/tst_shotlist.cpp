#include "common/TestEnvironment.h"

#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMShotItemDelegate.h"
#include "ui/media/EMShotListWidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QPainter>
#include <QStandardItemModel>

#include <sys/stat.h>

using namespace Emulsa;
using Emulsa::Test::touch;

namespace {

QString folderOf(int files, const QString& name)
{
    const QString folder = Test::makeTempFolder(name);
    for (int i = 0; i < files; ++i)
        touch(folder + QStringLiteral("/sub%1/clip%2.mov").arg(i % 3).arg(i, 4, 10, QLatin1Char('0')));
    return folder;
}

QList<QUrl> urlsOf(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}

// The shot list's requests, in order, as text.
class RequestLog
{
public:
    explicit RequestLog(EMShotListWidget* list)
    {
        QObject::connect(list, &EMShotListWidget::notifyGroupOfCommands,
            [this](bool beginning) { entries.append(beginning ? QStringLiteral("begin") : QStringLiteral("end")); });
        QObject::connect(list, &EMShotListWidget::shotDropInsideShotList, [this](const QString& path, bool check) {
            entries.append((check ? QStringLiteral("add ") : QStringLiteral("add-nocheck ")) + path);
        });
        QObject::connect(list, &EMShotListWidget::shotSelectedForDeletion,
            [this](const QByteArray& id) { entries.append(QStringLiteral("delete ") + QString::fromLatin1(id)); });
    }
    int count(const QString& prefix) const
    {
        int n = 0;
        for (const QString& entry : entries)
            n += entry.startsWith(prefix) ? 1 : 0;
        return n;
    }
    QStringList entries;
};

bool drop(EMShotListWidget* list, QMimeData* data)
{
    return list->handleDrop(data);
}

} // namespace

class TestShotList : public QObject
{
    Q_OBJECT

private slots:
    void dropsSendAddsFramedByUrlCount_data();
    void dropsSendAddsFramedByUrlCount();
    void specialFilesAreNeverSent();
    void dropOfItemModelData();
    void unsupportedDataIsRefused();
    void largeDropAsksFirst_data();
    void largeDropAsksFirst();
    void deleteSendsTheSelectedIdsInAGroup();
    void rowsFollowTheModelsReports();
    void dragEnterAcceptsClipsOnly();
    void unreadableClipIsNamedInRedInListMode();
};

void TestShotList::dropsSendAddsFramedByUrlCount_data()
{
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<int>("adds");
    QTest::addColumn<bool>("grouped");

    const QString files = Test::makeTempFolder(QStringLiteral("three"));
    const QStringList three = { touch(files + QStringLiteral("/a.mov")), touch(files + QStringLiteral("/b.MP4")),
        touch(files + QStringLiteral("/c.txt")) };
    QTest::newRow("three files") << three << 3 << true;
    QTest::newRow("one file") << QStringList { three.first() } << 1 << false;
    QTest::newRow("folder of fifty") << QStringList { folderOf(50, QStringLiteral("fifty")) } << 50 << false;
    QTest::newRow("two empty folders") << QStringList { Test::makeTempFolder(QStringLiteral("e1")),
        Test::makeTempFolder(QStringLiteral("e2")) }
                                       << 0 << true;
    QTest::newRow("missing file") << QStringList { files + QStringLiteral("/gone.mov") } << 0 << false;
}

void TestShotList::dropsSendAddsFramedByUrlCount()
{
    QFETCH(QStringList, dropped);
    QFETCH(int, adds);
    QFETCH(bool, grouped);

    EMShotListWidget list;
    RequestLog log(&list);
    QMimeData data;
    data.setUrls(urlsOf(dropped));
    QVERIFY(drop(&list, &data));

    QCOMPARE(log.count(QStringLiteral("add ")), adds);
    QCOMPARE(log.count(QStringLiteral("add-nocheck")), 0);
    if (grouped) {
        QCOMPARE(log.entries.first(), QStringLiteral("begin"));
        QCOMPARE(log.entries.last(), QStringLiteral("end"));
        QCOMPARE(log.entries.size(), adds + 2);
    } else {
        QCOMPARE(log.entries.size(), adds);
    }
    if (adds == int(dropped.size()))
        QCOMPARE(log.entries.at(grouped ? 1 : 0), QStringLiteral("add ") + dropped.first());
}

void TestShotList::specialFilesAreNeverSent()
{
    // A FIFO would block whoever opens it to look for a clip.
    const QString folder = Test::makeTempFolder(QStringLiteral("special"));
    const QString clip = touch(folder + QStringLiteral("/clip.mov"));
    const QString fifo = folder + QStringLiteral("/pipe.mov");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    EMShotListWidget list;
    RequestLog log(&list);
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(folder), QUrl::fromLocalFile(fifo) });
    QVERIFY(drop(&list, &data));
    QCOMPARE(
        log.entries, (QStringList { QStringLiteral("begin"), QStringLiteral("add ") + clip, QStringLiteral("end") }));

    QCOMPARE(EMShotListWidget::filesForUrls({ QUrl(QStringLiteral("http://example.invalid/a.mov")) }), QStringList());
}

void TestShotList::dropOfItemModelData()
{
    const QString folder = Test::makeTempFolder(QStringLiteral("fromlist"));
    const QStringList paths
        = { touch(folder + QStringLiteral("/one.mov")), touch(folder + QStringLiteral("/two.mov")) };
    QStandardItemModel model;
    for (const QString& path : paths) {
        auto* item = new QStandardItem(QFileInfo(path).fileName());
        item->setData(path, FilePathRole);
        model.appendRow(item);
    }
    std::unique_ptr<QMimeData> data(model.mimeData({ model.index(0, 0), model.index(1, 0) }));
    QVERIFY(data->hasFormat(QStringLiteral("application/x-qabstractitemmodeldatalist")));

    EMShotListWidget list;
    RequestLog log(&list);
    QVERIFY(drop(&list, data.get()));
    QCOMPARE(log.entries,
        (QStringList { QStringLiteral("begin"), QStringLiteral("add ") + paths[0], QStringLiteral("add ") + paths[1],
            QStringLiteral("end") }));

    // A cut-off stream yields the entries before the cut and nothing invented.
    const QByteArray whole = data->data(QStringLiteral("application/x-qabstractitemmodeldatalist"));
    QCOMPARE(EMShotListWidget::urlsFromItemModelData(whole.left(whole.size() - 3)).size(), 1);
}

void TestShotList::unsupportedDataIsRefused()
{
    EMShotListWidget list;
    RequestLog log(&list);
    QMimeData data;
    data.setText(QStringLiteral("/tmp/clip.mov"));
    QVERIFY(!drop(&list, &data));
    QVERIFY(log.entries.isEmpty());

    // The old Windows-only drag format is not taken any more.
    QMimeData windows;
    windows.setData(QStringLiteral("application/x-em-windows"), QByteArray(8, '\x7f'));
    QVERIFY(!drop(&list, &windows));
    QVERIFY(log.entries.isEmpty());
}

void TestShotList::largeDropAsksFirst_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("declined") << false;
    QTest::newRow("accepted") << true;
}

void TestShotList::largeDropAsksFirst()
{
    QFETCH(bool, answer);
    static const QString folder = folderOf(EMShotListWidget::largeDropFileCount + 1, QStringLiteral("large"));

    EMShotListWidget list;
    RequestLog log(&list);
    QList<int> asked;
    list.setLargeDropConfirmation([&](int count) {
        asked.append(count);
        return answer;
    });
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(folder) });
    drop(&list, &data);
    QCOMPARE(asked, QList<int> { EMShotListWidget::largeDropFileCount + 1 });
    QCOMPARE(log.count(QStringLiteral("add ")), answer ? EMShotListWidget::largeDropFileCount + 1 : 0);

    // At the limit nobody is asked.
    asked.clear();
    const QString small = folderOf(EMShotListWidget::largeDropFileCount, QStringLiteral("limit"));
    data.setUrls({ QUrl::fromLocalFile(small) });
    drop(&list, &data);
    QVERIFY(asked.isEmpty());
}

void TestShotList::deleteSendsTheSelectedIdsInAGroup()
{
    EMShotListWidget list;
    AssetMetadata asset;
    asset.name = QStringLiteral("a.mov");
    asset.filePath = QStringLiteral("/clips/a.mov");
    SequenceItem first(&asset, nullptr, 0, 10);
    SequenceItem second(&asset, nullptr, 0, 10);
    SequenceItem third(&asset, nullptr, 0, 10);
    list.shotListChanged(&first, false);
    list.shotListChanged(&second, false);
    list.shotListChanged(&third, false);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    RequestLog log(&list);
    list.clearSelection();
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(log.entries, (QStringList { QStringLiteral("begin"), QStringLiteral("end") }));

    log.entries.clear();
    list.topLevelItem(2)->setSelected(true);
    list.topLevelItem(0)->setSelected(true);
    QTest::keyClick(&list, Qt::Key_Backspace);
    QCOMPARE(log.entries.size(), 4);
    QCOMPARE(log.entries.first(), QStringLiteral("begin"));
    QCOMPARE(log.entries.last(), QStringLiteral("end"));
    QVERIFY(log.entries.contains(QStringLiteral("delete ") + QString::fromLatin1(first.uuid.toByteArray())));
    QVERIFY(log.entries.contains(QStringLiteral("delete ") + QString::fromLatin1(third.uuid.toByteArray())));
    // Rows leave only when the model reports the removal.
    QCOMPARE(list.topLevelItemCount(), 3);
}

void TestShotList::rowsFollowTheModelsReports()
{
    EMShotListWidget list;
    AssetMetadata asset;
    asset.id = QByteArray(16, 'x');
    asset.name = QStringLiteral("b.mov");
    asset.filePath = QStringLiteral("/clips/b.mov");
    asset.lastModified = QStringLiteral("2026-01-02 03:04:05");
    SequenceItem first(&asset, nullptr, 0, 10);
    SequenceItem second(&asset, nullptr, 0, 10);

    list.shotListChanged(&first, false);
    list.shotListChanged(&second, false);
    QTreeWidgetItem* row = list.topLevelItem(0);
    QCOMPARE(row->text(0), asset.name);
    QCOMPARE(row->toolTip(0), asset.filePath);
    QCOMPARE(row->data(0, FilePathRole).toString(), asset.filePath);
    QCOMPARE(row->data(0, AssetIdRole).toByteArray(), asset.id);
    QCOMPARE(row->data(0, ModifiedRole).toString(), asset.lastModified);
    QCOMPARE(row->data(0, ItemIdRole).toByteArray(), first.uuid.toByteArray());

    list.shotListChanged(&first, true);
    QCOMPARE(list.topLevelItemCount(), 1);
    list.shotRestored(&first, 0);
    QCOMPARE(list.topLevelItem(0)->data(0, ItemIdRole).toByteArray(), first.uuid.toByteArray());
    list.fullReset();
    QCOMPARE(list.topLevelItemCount(), 0);
}

void TestShotList::dragEnterAcceptsClipsOnly()
{
    EMShotListWidget list;
    QMimeData urls;
    urls.setUrls({ QUrl::fromLocalFile(QStringLiteral("/clips/a.mov")) });
    QMimeData rows;
    rows.setData(QStringLiteral("application/x-qabstractitemmodeldatalist"), QByteArray());
    QMimeData text;
    text.setText(QStringLiteral("a.mov"));
    const QList<QPair<QMimeData*, bool>> cases = { { &urls, true }, { &rows, true }, { &text, false } };
    for (const auto& entry : cases) {
        QDragEnterEvent event(QPoint(5, 5), Qt::CopyAction, entry.first, Qt::LeftButton, Qt::NoModifier);
        event.setAccepted(false);
        QApplication::sendEvent(list.viewport(), &event);
        QCOMPARE(event.isAccepted(), entry.second);
    }
}

void TestShotList::unreadableClipIsNamedInRedInListMode()
{
    MetadataManager metadata(Test::makeTempFolder(QStringLiteral("shot-cache")));
    const QString bad = touch(Test::makeTempFolder(QStringLiteral("bad")) + QStringLiteral("/broken.mov"));
    AssetMetadata* record = metadata.getMetadata(QFileInfo(bad));
    QTRY_VERIFY_WITH_TIMEOUT(metadata.isReady(record), 20000);
    QVERIFY(!record->valid);

    QStandardItemModel model;
    auto* item = new QStandardItem(QStringLiteral("WWWWWWWWWWWW broken.mov"));
    item->setData(bad, FilePathRole);
    item->setData(record->id, AssetIdRole);
    model.appendRow(item);
    // A row whose record is not known yet is painted in white.
    auto* unknown = new QStandardItem(item->text());
    unknown->setData(QByteArray(16, 'u'), AssetIdRole);
    model.appendRow(unknown);

    auto reds = [&](int row) {
        EMShotItemDelegate delegate(&metadata);
        delegate.setListMode(true);
        QImage image(200, 18, QImage::Format_ARGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        delegate.paint(&painter, option, model.index(row, 0));
        painter.end();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += qRed(image.pixel(x, y)) > 150 && qGreen(image.pixel(x, y)) < 80 ? 1 : 0;
        return count;
    };
    QVERIFY(reds(0) > 0);
    QCOMPARE(reds(1), 0);
}

EMULSA_TEST_MAIN(TestShotList)
#include "tst_shotlist.moc"
