#include "common/TestEnvironment.h"

#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"

#include <QSet>

using namespace Emulsa;

class SequenceItemTest : public QObject
{
    Q_OBJECT

private:
    static AssetMetadata asset(int frames, const QByteArray& id)
    {
        AssetMetadata m;
        m.frameCount = quint32(frames);
        m.id = id;
        return m;
    }

private slots:
    void nullUuidIsReplacedByAFreshOne()
    {
        QSet<QUuid> seen;
        for (int i = 0; i < 100; ++i) {
            SequenceItem item(nullptr, nullptr, 0, 0);
            QVERIFY(!item.uuid.isNull());
            QVERIFY(!seen.contains(item.uuid));
            seen.insert(item.uuid);
        }
        const QUuid given = QUuid::createUuid();
        SequenceItem item(nullptr, nullptr, 0, 0, given);
        QCOMPARE(item.uuid, given);
        QVERIFY(item.presetUuid().isEmpty());
        const QByteArray preset = QUuid::createUuid().toByteArray();
        item.setPresetUuid(preset);
        QCOMPARE(item.presetUuid(), preset);
    }

    void lengthInFrames_data()
    {
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        QTest::addColumn<qint64>("length");
        QTest::newRow("whole clip") << 0 << 100 << qint64(100);
        QTest::newRow("in point, out at the end") << 10 << 100 << qint64(90);
        QTest::newRow("in and out points") << 10 << 50 << qint64(40);
        QTest::newRow("out point past the end") << 10 << 150 << qint64(90);
        QTest::newRow("in point 0, out point 30") << 0 << 30 << qint64(30);
        QTest::newRow("in point 0, out point past the end") << 0 << 150 << qint64(100);
        QTest::newRow("in point after the out point") << 60 << 50 << qint64(0);
    }

    void lengthInFrames()
    {
        QFETCH(int, in);
        QFETCH(int, out);
        QFETCH(qint64, length);
        AssetMetadata m = asset(100, QByteArray(16, 'a'));
        SequenceItem item(&m, nullptr, quint32(in), quint32(out));
        QCOMPARE(item.lengthInFrames(), length);
    }

    void coversWholeAsset()
    {
        AssetMetadata m = asset(100, QByteArray(16, 'a'));
        AssetMetadata sameFile = asset(100, QByteArray(16, 'a'));
        AssetMetadata otherFile = asset(100, QByteArray(16, 'b'));
        QVERIFY(SequenceItem(&m, nullptr, 0, 100).coversWholeAsset(&sameFile));
        QVERIFY(!SequenceItem(&m, nullptr, 0, 100).coversWholeAsset(&otherFile));
        QVERIFY(!SequenceItem(&m, nullptr, 1, 100).coversWholeAsset(&sameFile));
        QVERIFY(!SequenceItem(&m, nullptr, 0, 99).coversWholeAsset(&sameFile));
        QVERIFY(!SequenceItem(&m, nullptr, 0, 100).coversWholeAsset(nullptr));
        QVERIFY(!SequenceItem(nullptr, nullptr, 0, 100).coversWholeAsset(&sameFile));
    }

    void pointerTravelsInQueuedSignals()
    {
        SequenceItem::registerMetaType();
        QVERIFY(QMetaType::type("SequenceItem*") != QMetaType::UnknownType);
        QCOMPARE(QMetaType::type("Emulsa::SequenceItem*"), QMetaType::type("SequenceItem*"));
        SequenceItem item(nullptr, nullptr, 3, 7);
        const QVariant v = QVariant::fromValue(&item);
        QCOMPARE(v.value<SequenceItem*>(), &item);
    }
};

EMULSA_TEST_MAIN(SequenceItemTest)
#include "tst_sequenceitem.moc"
