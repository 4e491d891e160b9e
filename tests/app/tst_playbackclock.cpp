#include "common/TestEnvironment.h"

#include "app/PlaybackClock.h"

#include <QRandomGenerator>

#include <cmath>

using namespace Emulsa;

namespace {

constexpr double ntsc = 30000.0 / 1001.0;

// A machine playing a clip: a system clock the test moves by hand, a sound
// card whose clock may run a little faster or slower than the system's and
// reports its position in 10 ms periods, a timer with whole milliseconds that
// fires up to 2 ms late, and the work each shown frame costs.
struct Machine
{
    qint64 now = 1000000000; // system nanoseconds
    bool sound = true;
    double soundSpeed = 1.0;
    qint64 soundBase = 0; // media time of the sound at soundStart
    qint64 soundStart = 0;
    qint64 workNs = 5000000;
    qint64 soundPeriodNs = 10000000;
    QRandomGenerator random { 17 };

    // What the card reports: the sound heard, counted in whole periods.
    qint64 soundPosition() const
    {
        if (!sound)
            return -1;
        const qint64 played = qint64(double(now - soundStart) * soundSpeed);
        return soundBase + played / soundPeriodNs * soundPeriodNs;
    }
    // What is being heard now.
    qint64 soundHeard() const { return soundBase + qint64(double(now - soundStart) * soundSpeed); }
    // The sound was restarted at a media time (a seek or a loop).
    void restartSound(qint64 media)
    {
        soundBase = media;
        soundStart = now;
    }
    // A single-shot timer for a wait: rounded up to whole milliseconds, late
    // by up to 2 ms.
    void sleep(qint64 waitNs)
    {
        const qint64 ms = (waitNs + 999999) / 1000000;
        now += ms * 1000000 + qint64(random.bounded(2000000));
    }
};

struct Run
{
    qint64 shown = 0;
    qint64 dropped = 0;
    qint64 lastFrame = -1;
    double worstDrift = 0.0; // frames between the frame shown and the sound
    double driftSum = 0.0; // the same, signed: positive when the picture leads
    bool increasing = true;
};

// Runs the clock for a number of timer ticks the way the preview does.
Run play(PlaybackClock& clock, Machine& machine, int ticks)
{
    Run run;
    for (int tick = 0; tick < ticks; ++tick) {
        const PlaybackClock::Step step = clock.step();
        if (!step.show) {
            machine.sleep(step.waitNs);
            continue;
        }
        // The media time the frame belongs to: the sound heard when there is
        // one.
        const qint64 media = machine.sound ? machine.soundHeard() : clock.position();
        const double drift = double(step.frame) - double(media) * clock.frameRate() / 1e9;
        run.worstDrift = std::max(run.worstDrift, std::abs(drift));
        run.driftSum += drift;
        run.increasing = run.increasing && step.frame > run.lastFrame;
        run.lastFrame = step.frame;
        run.dropped += step.dropped;
        ++run.shown;
        machine.now += machine.workNs;
        machine.sleep(clock.nanosecondsToNextFrame());
    }
    return run;
}

PlaybackClock makeClock(Machine& machine, double fps)
{
    PlaybackClock clock([&machine] { return machine.now; });
    clock.setFrameRate(fps);
    clock.setMaster([&machine] { return machine.soundPosition(); });
    clock.restart(0);
    machine.restartSound(0);
    clock.resume();
    return clock;
}

} // namespace

class PlaybackClockTest : public QObject
{
    Q_OBJECT

private slots:
    void deadlinesAreAbsolute_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<qint64>("deadline");
        QTest::newRow("25 fps") << 25.0 << qint64(25) << qint64(1000000000);
        // 29.97: frame 30000 is due after exactly 1001 seconds, not 1000.
        QTest::newRow("29.97 fps") << ntsc << qint64(30000) << qint64(1001000000000LL);
        QTest::newRow("23.976 fps, a day of frames") << 24000.0 / 1001.0 << qint64(2073600) << qint64(86486400000000LL);
        QTest::newRow("no rate") << 0.0 << qint64(10) << qint64(0);
    }

    void deadlinesAreAbsolute()
    {
        QFETCH(double, fps);
        QFETCH(qint64, frame);
        QFETCH(qint64, deadline);
        PlaybackClock clock([] { return qint64(0); });
        clock.setFrameRate(fps);
        QCOMPARE(clock.deadline(frame), deadline);
    }

    // The sound's position comes in periods; periods longer than a frame
    // (a sound server's 50 ms) must not make frames look late.
    void followsTheSoundWithoutDrift_data()
    {
        QTest::addColumn<double>("soundSpeed");
        QTest::addColumn<qint64>("periodNs");
        QTest::newRow("sound clock as the system's") << 1.0 << qint64(10000000);
        QTest::newRow("sound clock 0.5% fast") << 1.005 << qint64(10000000);
        QTest::newRow("sound clock 0.5% slow") << 0.995 << qint64(10000000);
        QTest::newRow("50 ms periods") << 1.0 << qint64(50000000);
        QTest::newRow("50 ms periods, sound 0.5% slow") << 0.995 << qint64(50000000);
        QTest::newRow("50 ms periods, sound 0.5% fast") << 1.005 << qint64(50000000);
        QTest::newRow("60 ms periods") << 1.0 << qint64(60000000);
    }

    void followsTheSoundWithoutDrift()
    {
        QFETCH(double, soundSpeed);
        QFETCH(qint64, periodNs);
        Machine machine;
        machine.soundSpeed = soundSpeed;
        machine.soundPeriodNs = periodNs;
        PlaybackClock clock = makeClock(machine, ntsc);
        const Run run = play(clock, machine, 10000);
        QVERIFY(run.shown > 1500);
        QVERIFY(run.increasing);
        QVERIFY2(run.worstDrift < 1.0, qPrintable(QString::number(run.worstDrift)));
        // Nor on average behind it: readings grow stale between the
        // output's periods, and a clock pulled towards them lags by a good
        // part of a period (a quarter of a frame with 60 ms periods).
        const double meanDrift = run.driftSum / double(run.shown);
        QVERIFY2(std::abs(meanDrift) < 0.2, qPrintable(QString::number(meanDrift)));
        // A fast enough machine shows every frame.
        QCOMPARE(run.dropped, 0);
        QVERIFY(clock.followingMaster());
        // The last frame is the one the sound has reached.
        const double soundFrames = double(machine.soundPosition()) * ntsc / 1e9;
        QVERIFY(std::abs(double(run.lastFrame) - soundFrames) < 2.0);
    }

    void keepsTheRateWithoutSound()
    {
        // Whole-millisecond timers once made a 29.97 fps clip play at about
        // 30.3 fps: over ten thousand ticks the frames shown must match the
        // time passed.
        Machine machine;
        machine.sound = false;
        const qint64 started = machine.now;
        PlaybackClock clock = makeClock(machine, ntsc);
        const Run run = play(clock, machine, 10000);
        QVERIFY(run.increasing);
        QVERIFY(!clock.followingMaster());
        const double expected = double(machine.now - started) * ntsc / 1e9;
        QVERIFY2(std::abs(double(run.lastFrame + 1) - expected) < 1.5,
            qPrintable(QStringLiteral("%1 frames for %2").arg(run.lastFrame + 1).arg(expected)));
        QVERIFY2(run.worstDrift < 1.0, qPrintable(QString::number(run.worstDrift)));
    }

    void lateMachineDropsFramesAndStaysInSync_data()
    {
        QTest::addColumn<qint64>("workNs");
        QTest::addColumn<bool>("sound");
        QTest::newRow("50 ms per frame, with sound") << qint64(50000000) << true;
        QTest::newRow("120 ms per frame, with sound") << qint64(120000000) << true;
        QTest::newRow("50 ms per frame, silent") << qint64(50000000) << false;
    }

    void lateMachineDropsFramesAndStaysInSync()
    {
        QFETCH(qint64, workNs);
        QFETCH(bool, sound);
        Machine machine;
        machine.workNs = workNs;
        machine.sound = sound;
        const qint64 started = machine.now;
        PlaybackClock clock = makeClock(machine, ntsc);
        const Run run = play(clock, machine, 2000);
        QVERIFY(run.dropped > 0);
        QCOMPARE(clock.droppedCount(), run.dropped);
        QVERIFY(run.increasing);
        // Within a frame of the sound heard, and the period by which the
        // card's report lags it.
        const double lag = sound ? double(machine.soundPeriodNs) * ntsc / 1e9 : 0.0;
        QVERIFY2(run.worstDrift < 1.0 + lag, qPrintable(QString::number(run.worstDrift)));
        // Frames shown and dropped together cover the time played: the
        // picture did not slow down.
        const double elapsedFrames = double(machine.now - started) * ntsc / 1e9;
        QVERIFY(double(run.lastFrame) > elapsedFrames - 1.5 - double(workNs) * ntsc / 1e9);
        QCOMPARE(run.lastFrame + 1, run.shown + run.dropped);
    }

    void seekAndLoopRestartBothClocks()
    {
        Machine machine;
        PlaybackClock clock = makeClock(machine, 25.0);
        Run run = play(clock, machine, 300);
        QVERIFY(run.lastFrame > 50);

        // A seek back to frame 10: shown at once, nothing dropped, however far
        // the clocks had run.
        clock.restart(10);
        machine.restartSound(clock.deadline(10));
        QCOMPARE(clock.position(), clock.deadline(10));
        PlaybackClock::Step step = clock.step();
        QVERIFY(step.show);
        QCOMPARE(step.frame, qint64(10));
        QCOMPARE(step.dropped, qint64(0));
        QCOMPARE(clock.nextFrame(), qint64(11));

        // A loop from the out point to the in point at 5 goes on from there.
        run = play(clock, machine, 100);
        clock.restart(5);
        machine.restartSound(clock.deadline(5));
        run = play(clock, machine, 200);
        QVERIFY(run.increasing);
        QVERIFY(run.lastFrame >= 5 && run.lastFrame < 5 + 200);
        QVERIFY2(run.worstDrift < 1.0, qPrintable(QString::number(run.worstDrift)));
        QCOMPARE(run.dropped, 0);
    }

    void pauseFreezesTheMediaTime()
    {
        Machine machine;
        machine.sound = false;
        PlaybackClock clock = makeClock(machine, 25.0);
        machine.now += 400000000;
        const qint64 before = clock.position();
        QCOMPARE(before, qint64(400000000));
        clock.pause();
        machine.now += 5000000000LL;
        QCOMPARE(clock.position(), before);
        const PlaybackClock::Step first = clock.step();
        QVERIFY(first.show);
        QCOMPARE(first.frame, qint64(10));
        QCOMPARE(first.dropped, qint64(10));
        QVERIFY(!clock.step().show);
        clock.resume();
        machine.now += 40000000;
        QCOMPARE(clock.position(), before + 40000000);
    }

    void soundLossContinuesWithoutAJump()
    {
        Machine machine;
        PlaybackClock clock = makeClock(machine, 25.0);
        machine.now += 1000000000;
        const qint64 withSound = clock.position();
        QCOMPARE(withSound, qint64(1000000000));
        QVERIFY(clock.followingMaster());
        machine.sound = false; // the sound ended
        machine.now += 100000000;
        QCOMPARE(clock.position(), withSound + 100000000);
        QVERIFY(!clock.followingMaster());
    }

    void noRateShowsNothing()
    {
        qint64 now = 0;
        PlaybackClock clock([&now] { return now; });
        clock.setFrameRate(0, 0);
        clock.restart(0);
        clock.resume();
        now += 1000000000;
        QVERIFY(!clock.step().show);
        QCOMPARE(clock.nanosecondsToNextFrame(), qint64(0));
        clock.setFrameRate(-3.0);
        QVERIFY(!clock.step().show);
        clock.setFrameRate(qQNaN());
        QVERIFY(!clock.step().show);
    }
};

EMULSA_TEST_MAIN(PlaybackClockTest)
#include "tst_playbackclock.moc"
