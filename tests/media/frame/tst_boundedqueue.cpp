#include "media/frame/BoundedQueue.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace Emulsa;

class TestBoundedQueue : public QObject
{
    Q_OBJECT

private slots:
    // A producer and a consumer on their own threads: every item arrives,
    // once, in order, and the queue never holds more than its capacity.
    void orderAndEveryItemAcrossThreads_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("items");
        QTest::newRow("capacity 1") << 1 << 2000;
        QTest::newRow("capacity 2") << 2 << 2000;
        QTest::newRow("more room than items") << 64 << 20;
        QTest::newRow("capacity 0 acts as 1") << 0 << 200;
    }
    void orderAndEveryItemAcrossThreads()
    {
        QFETCH(int, capacity);
        QFETCH(int, items);
        BoundedQueue<std::unique_ptr<int>> queue { size_t(capacity) };
        const size_t limit = queue.capacity();
        QCOMPARE(limit, size_t(std::max(capacity, 1)));
        std::atomic<size_t> largest { 0 };
        std::thread producer([&] {
            for (int i = 0; i < items; ++i) {
                auto item = std::make_unique<int>(i);
                if (!queue.push(item))
                    return;
                size_t now = queue.size();
                size_t seen = largest.load();
                while (now > seen && !largest.compare_exchange_weak(seen, now)) { }
            }
            queue.close();
        });
        std::vector<int> received;
        std::unique_ptr<int> item;
        while (queue.pop(item)) {
            QVERIFY(item);
            received.push_back(*item);
        }
        producer.join();
        QCOMPARE(int(received.size()), items);
        for (int i = 0; i < items; ++i)
            QCOMPARE(received[size_t(i)], i);
        QVERIFY(largest.load() <= limit);
    }

    // Closing ends pushes at once; what was queued is still delivered.
    void closeDrainsWhatIsQueued()
    {
        BoundedQueue<int> queue(3);
        QVERIFY(queue.push(1));
        QVERIFY(queue.push(2));
        queue.close();
        QVERIFY(queue.isClosed());
        QVERIFY(!queue.push(3));
        int item = 0;
        QVERIFY(queue.pop(item));
        QCOMPARE(item, 1);
        QVERIFY(queue.tryPop(item));
        QCOMPARE(item, 2);
        QVERIFY(!queue.pop(item));
        QVERIFY(!queue.tryPop(item));
    }

    // A producer waiting on a full queue and a consumer waiting on an empty
    // one are both released by close(); the refused item stays with its owner.
    void closeReleasesWaitingThreads()
    {
        BoundedQueue<std::unique_ptr<int>> full(1);
        QVERIFY(full.push(std::make_unique<int>(0)));
        std::atomic<bool> pushed { true };
        std::atomic<bool> keptItem { false };
        std::thread producer([&] {
            auto item = std::make_unique<int>(1);
            pushed = full.push(item);
            keptItem = item != nullptr;
        });
        BoundedQueue<int> empty(1);
        std::atomic<bool> popped { true };
        std::thread consumer([&] {
            int item = 0;
            popped = empty.pop(item);
        });
        // Whether or not the threads are already waiting, close() ends both.
        QTest::qWait(20);
        full.close();
        empty.close();
        producer.join();
        consumer.join();
        QVERIFY(!pushed);
        QVERIFY(keptItem);
        QVERIFY(!popped);
        // The item queued before the close is still there.
        std::unique_ptr<int> first;
        QVERIFY(full.pop(first));
        QCOMPARE(*first, 0);
    }

    // abandon() drops what is queued (a cancelled pipeline) and ends both sides.
    void abandonDropsItems()
    {
        auto counted = std::make_shared<int>(7);
        BoundedQueue<std::shared_ptr<int>> queue(2);
        std::shared_ptr<int> copy = counted;
        QVERIFY(queue.push(copy));
        QCOMPARE(counted.use_count(), 2L);
        queue.abandon();
        QCOMPARE(counted.use_count(), 1L);
        std::shared_ptr<int> item;
        QVERIFY(!queue.pop(item));
        copy = counted;
        QVERIFY(!queue.tryPush(copy));
        QVERIFY(copy);
    }

    // tryPush() never waits: refused when full, accepted once there is room.
    void tryPushRefusesWhenFull()
    {
        BoundedQueue<int> queue(2);
        int a = 1;
        int b = 2;
        int c = 3;
        QVERIFY(queue.tryPush(a));
        QVERIFY(queue.tryPush(b));
        QVERIFY(!queue.tryPush(c));
        QCOMPARE(queue.size(), size_t(2));
        int item = 0;
        QVERIFY(queue.pop(item));
        QCOMPARE(item, 1);
        QVERIFY(queue.tryPush(c));
        QVERIFY(queue.pop(item));
        QCOMPARE(item, 2);
        QVERIFY(queue.pop(item));
        QCOMPARE(item, 3);
    }
};

QTEST_GUILESS_MAIN(TestBoundedQueue)
#include "tst_boundedqueue.moc"
