#include "EMRendererFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// What the render tab writes: the progress text, durations, the summary of a
// render and the totals and labels of its rows.
class EMRendererTextsTest : public EMRendererFixture
{
    Q_OBJECT

private slots:
    void progressText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("queued") << -1 << "Queued 20 frames";
        QTest::newRow("audio") << -2 << "Processing Audio and Timecode...";
        QTest::newRow("kept") << -3 << "File already exists. Not rendering";
        QTest::newRow("failed") << -4 << "An error occured. File not rendered";
        QTest::newRow("finalising") << -41 << "Finalizing movie...";
        QTest::newRow("done") << -42 << "20 of 20 frames completed";
        QTest::newRow("started") << 0 << "0 of 20 frames completed";
        QTest::newRow("running") << 7 << "7 of 20 frames completed";
        QTest::newRow("past the end") << 25 << "20 of 20 frames completed";
    }

    void progressText()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(EMRenderList::progressText(value, 20), text);
    }

    void durations_data()
    {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("fps");
        QTest::addColumn<QString>("elapsedText");
        QTest::addColumn<QString>("remainingText");
        QTest::newRow("start") << qint64(0) << 0 << 100 << 0 << "0 min"
                               << "0 min";
        QTest::newRow("one minute, half way") << qint64(90000) << 50 << 100 << 10 << "1 min"
                                              << "1 min";
        QTest::newRow("minutes") << qint64(5 * 60000) << 25 << 100 << 5 << "5 mins"
                                 << "15 mins";
        QTest::newRow("one hour") << qint64(3600000) << 50 << 100 << 1 << "1 hour"
                                  << "1 hour";
        QTest::newRow("hours, slow now") << qint64(3 * 3600000) << 10 << 1000000 << 10 << "3 hours"
                                         << "24+ hours";
        QTest::newRow("hours, stalled") << qint64(3 * 3600000) << 10 << 100 << 0 << "3 hours"
                                        << "24+ hours";
        QTest::newRow("fast now") << qint64(3 * 3600000) << 10 << 100 << 100 << "3 hours"
                                  << "? min";
        QTest::newRow("done") << qint64(120000) << 100 << 100 << 30 << "2 mins"
                              << "0 min";
    }

    void durations()
    {
        QFETCH(qint64, elapsed);
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(int, fps);
        QFETCH(QString, elapsedText);
        QFETCH(QString, remainingText);
        QCOMPARE(RenderProgress::durationText(elapsed), elapsedText);
        QCOMPARE(RenderProgress::remainingText(elapsed, done, total, fps), remainingText);
    }

    // A finished render's figures: the average over the whole render and its
    // time to the second; no figure rather than a made-up zero.
    void summaryTexts_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<QString>("time");
        const QString none = RenderProgress::noValueText();
        QTest::newRow("nothing rendered") << 0 << qint64(4000) << none << "4 s";
        QTest::newRow("no time") << 10 << qint64(0) << none << "0 s";
        QTest::newRow("24 fps") << 48 << qint64(2000) << "average 24 fps"
                                << "2 s";
        QTest::newRow("slow, one decimal") << 3 << qint64(4000) << "average 0.8 fps"
                                           << "4 s";
        QTest::newRow("just under 10") << 99 << qint64(10000) << "average 9.9 fps"
                                       << "10 s";
        QTest::newRow("rounds to 10") << 998 << qint64(100000) << "average 10 fps"
                                      << "1 min 40 s";
        QTest::newRow("an hour and more") << 90000 << qint64(3725000) << "average 24 fps"
                                          << "1 h 2 min";
    }

    void summaryTexts()
    {
        QFETCH(int, frames);
        QFETCH(qint64, elapsed);
        QFETCH(QString, speed);
        QFETCH(QString, time);
        QCOMPARE(RenderProgress::averageSpeedText(frames, elapsed), speed);
        QCOMPARE(RenderProgress::totalTimeText(elapsed), time);
    }

    // Three ticked clips of 30, 20 and 10 frames: "0 of 60" when the render
    // starts, every row done with its frames and its folder, every movie as
    // long as its clip, and the interface disabled for the time of the render.
    void totalsAndLabels()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("totals"));
        Tab tab(destination);
        const QString second = RenderQueueSupport::copyAs(m_clip, destination + "/src", "second.mp4");
        const QString third = RenderQueueSupport::copyAs(m_clip, destination + "/src", "third.mp4");
        SequenceItem* a = tab.add(m_asset, 0, 30);
        SequenceItem* b = tab.add(RenderQueueSupport::describe(second), 5, 25);
        SequenceItem* c = tab.add(RenderQueueSupport::describe(third), 20, 30);
        QCOMPARE(tab.progressText(b), QStringLiteral("Queued 20 frames"));
        for (const QLabel* label : { tab.renderer->progress()->speedLabel(), tab.renderer->progress()->elapsedLabel(),
                 tab.renderer->progress()->remainingLabel() })
            QCOMPARE(label->text(), RenderProgress::noValueText());

        tab.renderer->renderButtonPressed();
        QCOMPARE(tab.requests, 1);
        QVERIFY(tab.renderer->isRendering());
        QCOMPARE(tab.renderer->progress()->countLabel()->text(), QStringLiteral("0 of 60"));
        QCOMPARE(tab.renderer->progress()->bar()->maximum(), 60);
        QCOMPARE(tab.renderer->renderButton()->text(), QStringLiteral("Cancel"));
        QVERIFY(!tab.renderer->output()->formatBox()->isEnabled());
        QCOMPARE(tab.states, QList<bool> { true });

        QVERIFY(tab.waitUntilIdle());
        QCOMPARE(tab.states, (QList<bool> { true, false }));
        QVERIFY(tab.renderer->output()->formatBox()->isEnabled());
        QVERIFY(!tab.renderer->worker());
        QCOMPARE(tab.renderer->progress()->countLabel()->text(), QStringLiteral("60 of 60"));
        QCOMPARE(tab.renderer->renderButton()->text(), QStringLiteral("Render Clips"));
        QCOMPARE(tab.renderer->progress()->remainingLabel()->text(), RenderProgress::noValueText());
        QVERIFY(tab.renderer->statusLabel()->text().contains(QStringLiteral("60 frames")));
        const QList<QPair<SequenceItem*, int>> expected { { a, 30 }, { b, 20 }, { c, 10 } };
        for (const auto& [item, frames] : expected) {
            QCOMPARE(tab.progress(item), -42);
            QCOMPARE(tab.progressText(item), QStringLiteral("%1 of %1 frames completed").arg(frames));
            QCOMPARE(tab.row(item)->data(0, EMRenderList::OutputFolderRole).toString(), destination);
            const QString movie = tab.row(item)->data(0, EMRenderList::OutputPathRole).toString();
            QCOMPARE(RenderQueueSupport::movieFrameCount(movie), frames);
            QVERIFY(!tab.row(item)->icon(EMRenderList::ProgressColumn).isNull());
        }

        // The icon of a done row shows the movie in the file manager (here a
        // stand-in: a test must not start the real one).
        QStringList shown;
        setFileManagerHandler([&shown](const QString& path) {
            shown << path;
            return true;
        });
        EMRenderList* list = tab.renderer->renderList();
        emit list->itemClicked(tab.row(a), EMRenderList::NameColumn);
        QCOMPARE(shown.size(), 0);
        emit list->itemClicked(tab.row(a), EMRenderList::ProgressColumn);
        setFileManagerHandler(nullptr);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(QFileInfo(shown.first()).absolutePath(), destination);
        QVERIFY(shown.first().endsWith(QStringLiteral(".mov")) && QFile::exists(shown.first()));
    }
};

EMULSA_TEST_MAIN(EMRendererTextsTest)
#include "tst_emrenderertexts.moc"
