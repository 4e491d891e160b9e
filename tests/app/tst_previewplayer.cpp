#include "common/RecordingSoundOutput.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "app/PreviewPlayer.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/metadata/MetadataManager.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

using namespace Emulsa;
using Emulsa::Test::RecordingSoundOutput;
using Emulsa::Test::TestMedia;

namespace {

using Recording = RecordingSoundOutput::Recording;

// Counts the player's warnings (messages come from every thread; the
// handler is installed before any of the test's threads start).
std::atomic<int> g_warnings { 0 };
QtMessageHandler g_previousHandler = nullptr;
void countWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("PreviewPlayer:")))
        ++g_warnings;
    g_previousHandler(type, context, message);
}

QByteArray heard(const Recording& recording)
{
    std::lock_guard<std::mutex> lock(recording.mutex);
    return recording.heard;
}

// Runs the event loop for `ms` milliseconds.
void play(int ms)
{
    QTest::qWait(ms);
}

} // namespace

// The player of the grading tab with a recorder for a sound device: what is
// heard, from where, and in step with which frame.
class PreviewPlayerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MetadataManager> m_manager;
    std::vector<std::unique_ptr<SequenceItem>> m_items;
    std::shared_ptr<Recording> m_recording;

    SequenceItem* item(const QString& path, quint32 in = 0, quint32 out = 0xFFFFFFFFu)
    {
        if (path.isEmpty())
            return nullptr;
        AssetMetadata* asset = m_manager->getMetadata(QFileInfo(path));
        if (!asset || !QTest::qWaitFor([asset] { return asset->ready.load(); }, 60000) || !asset->valid)
            return nullptr;
        m_items.push_back(std::make_unique<SequenceItem>(asset, nullptr, in, std::min(out, asset->frameCount)));
        return m_items.back().get();
    }

    static bool settled(PreviewPlayer& player)
    {
        return QTest::qWaitFor([&] { return player.seekSettled(); }, 20000);
    }

    // Sample of the time line at which frame `frame` starts.
    static qint64 sampleOf(qint64 frame, const AssetMetadata* asset, int rate)
    {
        return std::llround(double(frame) * asset->frameRateDen / asset->frameRateNum * rate);
    }

private slots:
    void initTestCase()
    {
        g_previousHandler = qInstallMessageHandler(countWarnings);
        m_manager = std::make_unique<MetadataManager>(Emulsa::Test::makeTempFolder(QStringLiteral("cache")));
        m_recording = RecordingSoundOutput::installRecording();
    }

    void cleanupTestCase()
    {
        RecordingSoundOutput::uninstall();
        m_items.clear();
        m_manager.reset();
        qInstallMessageHandler(g_previousHandler);
    }

    void init()
    {
        std::lock_guard<std::mutex> lock(m_recording->mutex);
        m_recording->heard.clear();
        m_recording->refuseToOpen = false;
    }

    // Played from an in point, the sound starts at that frame's sample and
    // each frame is shown while the sound of that frame is heard.
    void soundFollowsThePictureFromTheInPoint_data()
    {
        QTest::addColumn<int>("footage");
        QTest::addColumn<quint32>("in");
        QTest::newRow("mp4, in 0") << int(TestMedia::FootageMp4) << 0u;
        QTest::newRow("mp4, in 12") << int(TestMedia::FootageMp4) << 12u;
        QTest::newRow("mov pcm, in 8") << int(TestMedia::FootageMov) << 8u;
        QTest::newRow("mpeg-ts, in 12") << int(TestMedia::FootageTsGop12) << 12u;
        QTest::newRow("mkv, in 3") << int(TestMedia::FootageMkv) << 3u;
    }
    void soundFollowsThePictureFromTheInPoint()
    {
        QFETCH(int, footage);
        QFETCH(quint32, in);
        SequenceItem* clip = item(TestMedia::instance().markedSoundPath(TestMedia::Footage(footage)), in);
        QVERIFY(clip);
        const AssetMetadata* asset = clip->asset;
        PreviewPlayer player;
        player.open(clip);
        QVERIFY(settled(player));
        QCOMPARE(player.currentIndex(), qint32(in));
        QVERIFY(player.hasSound());

        const int rate = m_recording->sampleRate;
        const int frameBytes = 2 * m_recording->channels;
        QCOMPARE(m_recording->channels, 2);
        // At each frame shown: how much had been heard.
        QList<QPair<int, qint64>> shown;
        connect(&player, &PreviewPlayer::frameChanged, this, [&](int frame) {
            shown.append({ frame, heard(*m_recording).size() / frameBytes });
        });
        player.setPlaying(true);
        play(1300);
        player.setPlaying(false);

        const QByteArray sound = heard(*m_recording);
        QVERIFY2(sound.size() > rate * frameBytes / 2, "less than half a second was heard in 1.3 s of play");
        // The marks come where their frames are, counted from the in point.
        const QList<qint64> marks = RecordingSoundOutput::markOffsets(sound, 2, rate);
        QVERIFY(!marks.isEmpty());
        qint64 firstMarked = TestMedia::markFirstFrame;
        while (firstMarked < in)
            firstMarked += TestMedia::markEvery;
        for (int i = 0; i < marks.size(); ++i) {
            const qint64 expected
                = sampleOf(firstMarked + i * TestMedia::markEvery, asset, rate) - sampleOf(in, asset, rate);
            QVERIFY2(std::abs(marks[i] - expected) <= rate / 500,
                qPrintable(
                    QStringLiteral("mark %1 heard at sample %2, expected %3").arg(i).arg(marks[i]).arg(expected)));
        }
        // Each frame was shown while the sound of that frame played, to
        // within one frame.
        QVERIFY(shown.size() >= 10);
        int checked = 0;
        for (const auto& [frame, samples] : shown) {
            if (samples == 0)
                continue;
            const double heardFrame = double(in) + double(samples) / rate * asset->frameRateNum / asset->frameRateDen;
            QVERIFY2(std::abs(heardFrame - frame) <= 1.0,
                qPrintable(QStringLiteral("frame %1 shown while frame %2 was heard").arg(frame).arg(heardFrame)));
            ++checked;
        }
        QVERIFY(checked >= 10);
    }

    // A view that takes most of a frame to draw (the software rasteriser
    // grading 1080p) still puts each frame on screen when its sound is
    // heard: the player takes frames that much early, rather than showing
    // every one a drawing late.
    void slowViewStillShowsFramesOnTime()
    {
        SequenceItem* clip = item(TestMedia::instance().markedSoundPath(TestMedia::FootageMov));
        QVERIFY(clip);
        const AssetMetadata* asset = clip->asset;
        PreviewPlayer player;
        const double fps = double(asset->frameRateNum) / asset->frameRateDen;
        // The frame on screen once drawn, and the sound heard by then (in
        // nanoseconds since the in point).
        QList<QPair<int, qint64>> onScreen;
        connect(&player, &PreviewPlayer::frameChanged, this, [&](int frame) {
            QThread::msleep(25);
            onScreen.append({ frame, player.soundPlayTime() });
        });
        player.open(clip);
        QVERIFY(settled(player));
        player.setPlaying(true);
        play(1500);
        player.setPlaying(false);

        double lateSum = 0.0;
        int counted = 0;
        for (const auto& [frame, heardNs] : onScreen) {
            // The lead is learnt over the first frames.
            if (heardNs < 500000000)
                continue;
            lateSum += double(heardNs) / 1e9 * fps - frame;
            ++counted;
        }
        QVERIFY2(counted >= 10, qPrintable(QString::number(counted)));
        // Frames a drawing late would be 0.6 of a frame behind their sound.
        const double meanLate = lateSum / counted;
        QVERIFY2(meanLate > -0.3 && meanLate < 0.3,
            qPrintable(QStringLiteral("frames reached the screen %1 frames after their sound").arg(meanLate)));
        QVERIFY(player.presentationLeadNs() > 15000000);
    }

    void pauseStopsTheSoundAndSeekMovesBoth()
    {
        SequenceItem* clip = item(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4));
        QVERIFY(clip);
        PreviewPlayer player;
        player.open(clip);
        QVERIFY(settled(player));
        player.setPlaying(true);
        play(400);
        player.setPlaying(false);
        const int atPause = heard(*m_recording).size();
        const qint32 frameAtPause = player.currentIndex();
        QVERIFY(atPause > 0);
        play(400);
        // The output's queue (100 ms) stays queued while paused.
        QCOMPARE(heard(*m_recording).size(), atPause);
        QCOMPARE(player.currentIndex(), frameAtPause);

        // A seek while playing: the picture shows frame 30 first and the
        // sound goes on from frame 30 (its next mark at 35).
        player.setPlaying(true);
        play(200);
        const int beforeSeek = heard(*m_recording).size();
        QSignalSpy frames(&player, &PreviewPlayer::frameChanged);
        player.seek(30);
        QVERIFY(settled(player));
        QCOMPARE(frames.first().first().toInt(), 30);
        play(600);
        player.setPlaying(false);
        const int rate = m_recording->sampleRate;
        const QByteArray afterSeek = heard(*m_recording).mid(beforeSeek);
        const QList<qint64> marks = RecordingSoundOutput::markOffsets(afterSeek, 2, rate);
        QVERIFY(!marks.isEmpty());
        const qint64 expected = sampleOf(35 - 30, clip->asset, rate);
        // What the output had queued before the seek may still have been
        // heard first (at most its 100 ms), never more.
        const qint64 late = marks.first() - expected;
        QVERIFY2(late >= -rate / 500 && late <= rate / 10 + rate / 500,
            qPrintable(
                QStringLiteral("the mark after the seek came at %1, expected %2").arg(marks.first()).arg(expected)));
        QVERIFY(m_recording->flushes > 0);
    }

    void loopsBetweenInAndOutPoints()
    {
        SequenceItem* clip = item(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4), 5, 15);
        QVERIFY(clip);
        PreviewPlayer player;
        player.open(clip);
        QVERIFY(settled(player));
        QList<int> frames;
        connect(&player, &PreviewPlayer::frameChanged, this, [&](int frame) { frames.append(frame); });
        player.setPlaying(true);
        QVERIFY(QTest::qWaitFor([&] { return frames.count(14) >= 2; }, 10000));
        player.setPlaying(false);
        for (int frame : frames)
            QVERIFY2(frame >= 5 && frame < 15, qPrintable(QStringLiteral("frame %1 shown").arg(frame)));
        QVERIFY(frames.contains(5));
        // Every loop plays the mark at the in point again, ten frames apart.
        const int rate = m_recording->sampleRate;
        const QList<qint64> marks = RecordingSoundOutput::markOffsets(heard(*m_recording), 2, rate);
        QVERIFY(marks.size() >= 2);
        const qint64 loop = sampleOf(10, clip->asset, rate);
        for (int i = 1; i < marks.size(); ++i)
            QVERIFY(std::abs(marks[i] - marks[i - 1] - loop) <= rate / 500);
    }

    void clipChangesSwitchTheSound()
    {
        SequenceItem* first = item(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4));
        SequenceItem* second = item(TestMedia::instance().markedSoundPath(TestMedia::FootageMkv), 20);
        QVERIFY(first && second);
        PreviewPlayer player;
        player.open(first);
        QVERIFY(settled(player));
        player.setPlaying(true);
        play(300);
        QSignalSpy playing(&player, &PreviewPlayer::playingChanged);
        player.open(second);
        // A new clip starts paused on its in point.
        QCOMPARE(playing.count(), 1);
        QVERIFY(!player.isPlaying());
        QVERIFY(settled(player));
        QCOMPARE(player.currentIndex(), 20);
        const int before = heard(*m_recording).size();
        player.setPlaying(true);
        play(500);
        player.setPlaying(false);
        const int rate = m_recording->sampleRate;
        const QList<qint64> marks = RecordingSoundOutput::markOffsets(heard(*m_recording).mid(before), 2, rate);
        QVERIFY(!marks.isEmpty());
        QVERIFY(std::abs(marks.first() - sampleOf(25 - 20, second->asset, rate)) <= rate / 500);
    }

    // Without sound in the clip, or without a device, the picture plays on
    // the system clock; a missing device is said once.
    void playsSilently_data()
    {
        QTest::addColumn<bool>("clipHasSound");
        QTest::newRow("clip without sound") << false;
        QTest::newRow("no sound device") << true;
    }
    void playsSilently()
    {
        QFETCH(bool, clipHasSound);
        m_recording->refuseToOpen = clipHasSound;
        const QString path = clipHasSound ? TestMedia::instance().markedSoundPath(TestMedia::FootageMp4)
                                          : TestMedia::instance().path(TestMedia::NoAudio);
        SequenceItem* clip = item(path);
        SequenceItem* again = item(path, 3);
        QVERIFY(clip && again);
        const int opened = m_recording->opened;
        const int warnings = g_warnings;
        PreviewPlayer player;
        for (SequenceItem* each : { clip, again }) {
            player.open(each);
            QVERIFY(settled(player));
            QVERIFY(!player.hasSound());
            QCOMPARE(player.isSilent(), clipHasSound);
            const qint64 shown = player.shownCount();
            player.setPlaying(true);
            play(400);
            player.setPlaying(false);
            QVERIFY2(player.shownCount() - shown >= 5, "the picture did not play");
        }
        QCOMPARE(m_recording->opened, opened);
        QVERIFY(heard(*m_recording).isEmpty());
        QCOMPARE(g_warnings - warnings, clipHasSound ? 1 : 0);
    }

    void stepsAndSeeksStayBetweenInAndOut()
    {
        SequenceItem* clip = item(TestMedia::instance().path(TestMedia::NoAudio), 4, 20);
        QVERIFY(clip);
        PreviewPlayer player;
        player.open(clip);
        QVERIFY(settled(player));
        struct Move
        {
            enum
            {
                Step,
                Seek
            } kind;
            int amount;
            qint32 expected;
        };
        const Move moves[] = {
            { Move::Step, 1, 5 },
            { Move::Step, 1, 6 },
            { Move::Step, -1, 5 },
            { Move::Step, 25, 19 },
            { Move::Step, -25, 4 },
            { Move::Seek, 12, 12 },
            { Move::Seek, 40, 19 },
            { Move::Seek, 0, 4 },
        };
        for (const Move& move : moves) {
            if (move.kind == Move::Step)
                player.step(move.amount);
            else
                player.seek(move.amount);
            QVERIFY(settled(player));
            QCOMPARE(player.currentIndex(), move.expected);
            QVERIFY(player.currentFrame());
            QCOMPARE(TestMedia::frameIndexFromYuy2(player.currentFrame()->data, int(clip->asset->width),
                         int(clip->asset->height), int(player.currentFrame()->effectiveStride())),
                move.expected);
        }
        // Stepping while playing pauses.
        player.setPlaying(true);
        player.step(1);
        QVERIFY(!player.isPlaying());
    }

    void noClipShowsNothing()
    {
        PreviewPlayer player;
        QSignalSpy frames(&player, &PreviewPlayer::frameChanged);
        player.open(nullptr);
        QCOMPARE(frames.count(), 1);
        QCOMPARE(frames.first().first().toInt(), -1);
        player.setPlaying(true);
        QVERIFY(!player.isPlaying());
        player.seek(3);
        player.step(1);
        QVERIFY(!player.currentFrame());
    }
};

EMULSA_TEST_MAIN(PreviewPlayerTest)
#include "tst_previewplayer.moc"
