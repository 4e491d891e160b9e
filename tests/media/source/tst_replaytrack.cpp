// Which pictures a decoder that starts over after a hardware failure drops
// so that each picture goes out once.
#include "media/source/ReplayTrack.h"

#include <QtTest>

using namespace Emulsa;

class ReplayTrackTest : public QObject
{
    Q_OBJECT

    // "d20" delivers a picture of time 20 ("dn": without a time), "T" skips
    // through the last time delivered, "C" skips the count delivered, "j30"
    // judges a picture of time 30 ("jn": without a time) and records its
    // verdict: "+" deliver, "-" drop, "R" replay from the anchor.
    static QString run(ReplayTrack& track, const QString& script)
    {
        QString verdicts;
        for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString arg = step.mid(1);
            const int64_t pts = arg == QLatin1String("n") ? AV_NOPTS_VALUE : arg.toLongLong();
            switch (step.at(0).toLatin1()) {
            case 'd':
                track.delivered(pts);
                break;
            case 'T':
                track.skipThroughLast();
                break;
            case 'C':
                track.skipDelivered();
                break;
            case 'j':
                switch (track.judge(pts)) {
                case ReplayTrack::Verdict::Deliver:
                    verdicts += QLatin1Char('+');
                    break;
                case ReplayTrack::Verdict::Drop:
                    verdicts += QLatin1Char('-');
                    break;
                case ReplayTrack::Verdict::Replay:
                    verdicts += QLatin1Char('R');
                    break;
                }
                break;
            default:
                qFatal("unknown step");
            }
        }
        return verdicts;
    }

private slots:
    void verdicts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("verdicts");
        QTest::addColumn<bool>("skippingAfter");
        QTest::newRow("nothing to skip") << "d0 d10 j20 j30"
                                         << "++" << false;
        QTest::newRow("through the last time, from the key frame before") << "d0 d10 d20 T j0 j10 j20 j30 j40"
                                                                          << "---++" << false;
        QTest::newRow("through the last time, landing on it") << "d0 d10 d20 T j20 j30"
                                                              << "-+" << false;
        QTest::newRow("landing after the last time delivered") << "d0 d10 d20 T j30"
                                                               << "R" << true;
        QTest::newRow("only the first picture is checked for a late landing") << "d0 d10 d20 T j10 j30"
                                                                              << "-+" << false;
        QTest::newRow("a picture without a time while skipping") << "d0 d10 T j0 jn"
                                                                 << "-R" << true;
        QTest::newRow("the count delivered") << "d0 d10 d20 C j5 j15 j25 j35"
                                             << "---+" << false;
        QTest::newRow("the count, pictures without times") << "dn dn C jn jn jn"
                                                           << "--+" << false;
        QTest::newRow("counting after a late landing") << "d0 d10 T j30 C j0 j10 j20"
                                                       << "R--+" << false;
        QTest::newRow("nothing delivered: nothing to count") << "C j0"
                                                             << "+" << false;
    }
    void verdicts()
    {
        QFETCH(QString, script);
        QFETCH(QString, verdicts);
        QFETCH(bool, skippingAfter);
        ReplayTrack track;
        track.setAnchor(false, 1000);
        QCOMPARE(run(track, script), verdicts);
        QCOMPARE(track.skipping(), skippingAfter);
    }

    // The last time delivered is where a fallback seeks; a new anchor
    // forgets it and whatever was being skipped.
    void anchors()
    {
        ReplayTrack track;
        QCOMPARE(track.lastDelivered(), int64_t(AV_NOPTS_VALUE));
        run(track, "d0 d40");
        QCOMPARE(track.lastDelivered(), int64_t(40));
        run(track, "dn");
        QCOMPARE(track.lastDelivered(), int64_t(AV_NOPTS_VALUE));

        run(track, "d50 T");
        QVERIFY(track.skippingThroughTime());
        track.setAnchor(false, 7200);
        QVERIFY(!track.skipping());
        QVERIFY(!track.anchorAtStart());
        QCOMPARE(track.anchor(), int64_t(7200));
        QCOMPARE(track.lastDelivered(), int64_t(AV_NOPTS_VALUE));
        QCOMPARE(run(track, "C j0"), QStringLiteral("+"));
    }
};

QTEST_APPLESS_MAIN(ReplayTrackTest)
#include "tst_replaytrack.moc"
