#include "common/TestEnvironment.h"

#include "media/render/ChunkPlan.h"

#include <QProcessEnvironment>
#include <QSet>
#include <QtTest>

using namespace Emulsa;

// How a render is split into parts run by separate processes: the part asked
// for on the command line or by a scheduler, and the frames each part takes.
class TestChunkPlan : public QObject
{
    Q_OBJECT

private slots:
    void chunkFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("message");
        QTest::newRow("first of four") << "0/4" << 0 << 4 << QString();
        QTest::newRow("last of seven") << "6/7" << 6 << 7 << QString();
        QTest::newRow("whole job") << "0/1" << 0 << 1 << QString();
        QTest::newRow("past the end") << "3/2" << -1 << -1 << "part 3 does not exist; the 2 parts are numbered 0 to 1";
        QTest::newRow("equal to the count") << "4/4" << -1 << -1 << "numbered 0 to 3";
        QTest::newRow("negative") << "-1/4" << -1 << -1 << "part -1 does not exist";
        QTest::newRow("letters") << "a/b" << -1 << -1 << "as K/N";
        QTest::newRow("no count") << "3" << -1 << -1 << "as K/N";
        QTest::newRow("empty count") << "3/" << -1 << -1 << "as K/N";
        QTest::newRow("three numbers") << "1/2/3" << -1 << -1 << "as K/N";
        QTest::newRow("no parts") << "0/0" << -1 << -1 << "at least 1";
        QTest::newRow("fraction") << "1.5/4" << -1 << -1 << "as K/N";
    }
    void chunkFromText()
    {
        QFETCH(QString, text);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(QString, message);
        ChunkPlan::Chunk chunk { 99, 99 };
        QString error;
        QCOMPARE(ChunkPlan::parse(text, &chunk, &error), message.isEmpty());
        if (message.isEmpty()) {
            QCOMPARE(chunk.index, index);
            QCOMPARE(chunk.count, count);
        } else {
            QVERIFY2(error.contains(message) && error.contains(text), qPrintable(error));
        }
    }

    // Each scheduler's variables as it sets them for its tasks.
    void chunkFromScheduler_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<int>("chunks");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("message");
        QTest::newRow("slurm count") << QStringList { "SLURM_ARRAY_TASK_ID=2", "SLURM_ARRAY_TASK_COUNT=4" } << 0 << 2
                                     << 4 << QString();
        QTest::newRow("slurm min and max")
            << QStringList { "SLURM_ARRAY_TASK_ID=0", "SLURM_ARRAY_TASK_MIN=0", "SLURM_ARRAY_TASK_MAX=6" } << 0 << 0
            << 7 << QString();
        QTest::newRow("slurm array from 1") << QStringList { "SLURM_ARRAY_TASK_ID=4", "SLURM_ARRAY_TASK_MIN=1",
            "SLURM_ARRAY_TASK_MAX=4", "SLURM_ARRAY_TASK_COUNT=4" }
                                            << 0 << 3 << 4 << QString();
        QTest::newRow("slurm with --chunks") << QStringList { "SLURM_ARRAY_TASK_ID=5" } << 8 << 5 << 8 << QString();
        QTest::newRow("slurm without a count")
            << QStringList { "SLURM_ARRAY_TASK_ID=1" } << 0 << -1 << -1 << "number of tasks is unknown";
        QTest::newRow("slurm id past the count") << QStringList { "SLURM_ARRAY_TASK_ID=4", "SLURM_ARRAY_TASK_COUNT=4" }
                                                 << 0 << -1 << -1 << "part 4 does not exist";
        QTest::newRow("slurm id not a number") << QStringList { "SLURM_ARRAY_TASK_ID=x", "SLURM_ARRAY_TASK_COUNT=4" }
                                               << 0 << -1 << -1 << "SLURM_ARRAY_TASK_ID is \"x\"";
        QTest::newRow("kubernetes") << QStringList { "JOB_COMPLETION_INDEX=3" } << 4 << 3 << 4 << QString();
        QTest::newRow("kubernetes without --chunks")
            << QStringList { "JOB_COMPLETION_INDEX=3" } << 0 << -1 << -1 << "--chunks N";
        QTest::newRow("kubernetes index past the count")
            << QStringList { "JOB_COMPLETION_INDEX=4" } << 4 << -1 << -1 << "part 4 does not exist";
        QTest::newRow("no scheduler") << QStringList { "HOME=/tmp" } << 4 << -1 << -1 << "no scheduler";
        QTest::newRow("empty id") << QStringList { "SLURM_ARRAY_TASK_ID=" } << 4 << -1 << -1 << "no scheduler";
    }
    void chunkFromScheduler()
    {
        QFETCH(QStringList, variables);
        QFETCH(int, chunks);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(QString, message);
        QProcessEnvironment environment;
        for (const QString& variable : qAsConst(variables))
            environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        ChunkPlan::Chunk chunk { 99, 99 };
        QString error;
        QCOMPARE(ChunkPlan::fromScheduler(environment, chunks, &chunk, &error), message.isEmpty());
        if (message.isEmpty()) {
            QCOMPARE(chunk.index, index);
            QCOMPARE(chunk.count, count);
        } else {
            QVERIFY2(error.contains(message), qPrintable(error));
        }
    }

    // Two clips trimmed to 3..13 and 5..20 (25 frames) in three parts of 8,
    // 8 and 9 frames; the second part spans the cut.
    void imageChunksOfTwoClips()
    {
        const QList<ChunkPlan::Span> items { { 0, 3, 13 }, { 1, 5, 20 } };
        using Spans = QList<ChunkPlan::Span>;
        QCOMPARE(ChunkPlan::imageSpans(items, { 0, 3 }), (Spans { { 0, 3, 11 } }));
        QCOMPARE(ChunkPlan::imageSpans(items, { 1, 3 }), (Spans { { 0, 11, 13 }, { 1, 5, 11 } }));
        QCOMPARE(ChunkPlan::imageSpans(items, { 2, 3 }), (Spans { { 1, 11, 20 } }));
    }

    // Any split covers every frame once, in order, in parts that differ by
    // one frame at most; movies are shared out whole the same way.
    void chunksCoverEveryFrameOnce_data()
    {
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<int>("count");
        for (int count : { 1, 2, 3, 7, 40 }) {
            QTest::addRow("two clips, %d parts", count) << QList<int> { 10, 15 } << count;
            QTest::addRow("an empty clip between, %d parts", count) << QList<int> { 4, 0, 9, 1 } << count;
        }
        QTest::newRow("more parts than frames") << QList<int> { 2, 1 } << 5;
    }
    void chunksCoverEveryFrameOnce()
    {
        QFETCH(QList<int>, lengths);
        QFETCH(int, count);
        QList<ChunkPlan::Span> items;
        qint64 total = 0;
        for (int i = 0; i < lengths.size(); ++i) {
            // In points that differ per clip, so that a mix-up shows.
            items << ChunkPlan::Span { i, 100 * i + i, 100 * i + i + lengths[i] };
            total += lengths[i];
        }
        QList<ChunkPlan::Span> frames;
        qint64 shortest = total;
        qint64 longest = 0;
        for (int k = 0; k < count; ++k) {
            qint64 length = 0;
            for (const ChunkPlan::Span& span : ChunkPlan::imageSpans(items, { k, count })) {
                QVERIFY(span.length() > 0);
                for (qint64 f = span.first; f < span.end; ++f)
                    frames << ChunkPlan::Span { span.item, f, f + 1 };
                length += span.length();
            }
            shortest = std::min(shortest, length);
            longest = std::max(longest, length);
        }
        QVERIFY(longest - shortest <= 1);
        QList<ChunkPlan::Span> expected;
        for (const ChunkPlan::Span& item : qAsConst(items)) {
            for (qint64 f = item.first; f < item.end; ++f)
                expected << ChunkPlan::Span { item.item, f, f + 1 };
        }
        QCOMPARE(frames, expected);

        QList<int> movies;
        int fewest = lengths.size();
        int most = 0;
        for (int k = 0; k < count; ++k) {
            const QList<int> part = ChunkPlan::movieItems(lengths.size(), { k, count });
            movies << part;
            fewest = std::min(fewest, int(part.size()));
            most = std::max(most, int(part.size()));
        }
        QVERIFY(most - fewest <= 1);
        QList<int> everyItem;
        for (int i = 0; i < lengths.size(); ++i)
            everyItem << i;
        QCOMPARE(movies, everyItem);
    }
};

EMULSA_TEST_MAIN(TestChunkPlan)
#include "tst_chunkplan.moc"
