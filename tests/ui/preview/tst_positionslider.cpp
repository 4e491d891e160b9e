#include "common/TestEnvironment.h"

#include "ui/preview/ElapsedTimeWidget.h"
#include "ui/preview/PositionSlider.h"
#include "ui/preview/PositionSliderGeometry.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>

using namespace Emulsa;
using Geometry = PositionSliderGeometry;

class PositionSliderTest : public QObject
{
    Q_OBJECT

private:
    // A shown slider of the given width over a clip.
    static void prepare(PositionSlider& slider, int width, int length, uint start, uint end, int value)
    {
        slider.resize(width, Geometry::Height);
        slider.setLength(length);
        slider.setStartPoint(start);
        slider.setEndPoint(end);
        slider.setValue(value);
    }

    // A drag step with the left button held (QTest's own move only moves the
    // cursor).
    static void move(PositionSlider& slider, const QPoint& pos)
    {
        QMouseEvent event(
            QEvent::MouseMove, pos, slider.mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&slider, &event);
    }

    // The centre of the knob.
    static QPoint knobCentre(const PositionSlider& slider)
    {
        return slider.knobPosition() + QPoint(Geometry::KnobSize / 2, Geometry::KnobSize / 2);
    }

private slots:
    void timecode_data()
    {
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<double>("fps");
        QTest::addColumn<QString>("expected");

        QTest::newRow("29.97 at frame 100") << qint64(100) << 30000.0 / 1001.0 << "00:00:03:13";
        QTest::newRow("25 at frame 0") << qint64(0) << 25.0 << "00:00:00:00";
        QTest::newRow("25 one hour") << qint64(90000) << 25.0 << "01:00:00:00";
        QTest::newRow("25 hours wrap at 24") << qint64(25LL * 3600 * 25 + 26) << 25.0 << "01:00:01:01";
        QTest::newRow("120 fps three digits") << qint64(119) << 120.0 << "00:00:00:119";
        QTest::newRow("100 fps three digits") << qint64(250) << 100.0 << "00:00:02:050";
        QTest::newRow("slow rate 0.5") << qint64(3) << 0.5 << "00:00:06:00";
        QTest::newRow("slow rate 0.001") << qint64(7) << 0.001 << "01:56:40:00";
        QTest::newRow("rate 1") << qint64(61) << 1.0 << "00:01:01:00";
        // A frame index past 32 bits needs 64-bit milliseconds.
        QTest::newRow("large index") << qint64(5000000000LL) << 25.0 << "19:33:20:00";
        QTest::newRow("negative frame reads as 0") << qint64(-5) << 25.0 << "00:00:00:00";
        QTest::newRow("no rate") << qint64(10) << 0.0 << QString();
        QTest::newRow("negative rate") << qint64(10) << -25.0 << QString();
        QTest::newRow("NaN rate") << qint64(10) << qQNaN() << QString();
    }

    void timecode()
    {
        QFETCH(qint64, frame);
        QFETCH(double, fps);
        QFETCH(QString, expected);
        QCOMPARE(ElapsedTimeWidget::timecode(frame, fps), expected);
    }

    void elapsedWidgetFallsBackToNoTime()
    {
        ElapsedTimeWidget widget;
        QCOMPARE(widget.text(), QStringLiteral("00:00:00:00"));
        widget.setPosition(100, 30000.0 / 1001.0);
        QCOMPARE(widget.text(), QStringLiteral("00:00:03:13"));
        widget.setPosition(100, 0.0);
        QCOMPARE(widget.text(), QStringLiteral("00:00:00:00"));
        QVERIFY(widget.minimumSize().width() >= 126);
        // Painting a rate below 1 must not divide by zero.
        widget.setPosition(5, 0.25);
        widget.resize(126, 24);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QCOMPARE(widget.text(), QStringLiteral("00:00:20:00"));
    }

    void placement_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<int>("knob");
        QTest::addColumn<int>("startHandle");
        QTest::addColumn<int>("endHandle");

        // Track 546 pixels: frame 50 of 100 at 273.
        QTest::newRow("middle") << 600 << qint64(100) << qint64(50) << 10u << 90u << 273 + 15 << 54 + 27 << 491;
        QTest::newRow("no end") << 600 << qint64(100) << qint64(0) << 0u << Geometry::NoEnd << 15 << 27 << 573;
        QTest::newRow("empty clip") << 600 << qint64(0) << qint64(0) << 0u << 0u << 15 << 27 << 0;
        QTest::newRow("too narrow") << 40 << qint64(100) << qint64(50) << 10u << 90u << 15 << 27 << 0;
        QTest::newRow("exactly the margins") << 54 << qint64(100) << qint64(99) << 0u << 100u << 15 << 27 << 0;
        QTest::newRow("narrow no end") << 10 << qint64(100) << qint64(0) << 0u << Geometry::NoEnd << 15 << 27 << 0;
        QTest::newRow("long clip") << 1054 << qint64(3000000000LL) << qint64(1500000000LL) << 0u << 3000000000u << 515
                                   << 27 << 1000;
    }

    void placement()
    {
        QFETCH(int, width);
        QFETCH(qint64, length);
        QFETCH(qint64, value);
        QFETCH(uint, start);
        QFETCH(uint, end);
        QFETCH(int, knob);
        QFETCH(int, startHandle);
        QFETCH(int, endHandle);
        QCOMPARE(Geometry::knobLeft(width, value, length), knob);
        QCOMPARE(Geometry::startHandleLeft(width, start, length), startHandle);
        QCOMPARE(Geometry::endHandleLeft(width, end, length), endHandle);
    }

    void frameAtAndClamps_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("x");
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<uint>("newStart");
        QTest::addColumn<uint>("newEnd");

        QTest::newRow("inside") << 154 << qint64(100) << qint64(40) << 10u << 90u << qint64(40) << qint64(40) << 40u
                                << 40u;
        QTest::newRow("before the in point")
            << 154 << qint64(100) << qint64(5) << 10u << 90u << qint64(5) << qint64(10) << 5u << 11u;
        QTest::newRow("past the out point")
            << 154 << qint64(100) << qint64(95) << 10u << 90u << qint64(95) << qint64(89) << 89u << 95u;
        QTest::newRow("left of the track")
            << 154 << qint64(100) << qint64(-20) << 0u << Geometry::NoEnd << qint64(-20) << qint64(0) << 0u << 1u;
        QTest::newRow("right of the track, no end")
            << 154 << qint64(100) << qint64(130) << 0u << Geometry::NoEnd << qint64(130) << qint64(99) << 99u << 100u;
        QTest::newRow("empty clip") << 154 << qint64(0) << qint64(40) << 0u << Geometry::NoEnd << qint64(0) << qint64(0)
                                    << 0u << 0u;
        QTest::newRow("narrow widget") << 30 << qint64(100) << qint64(40) << 0u << Geometry::NoEnd << qint64(0)
                                       << qint64(0) << 0u << 1u;
        QTest::newRow("end at the in point's frame")
            << 154 << qint64(100) << qint64(50) << 50u << 51u << qint64(50) << qint64(50) << 50u << 51u;
        // (x * length) overflows 32 bits here.
        QTest::newRow("64-bit") << 1054 << qint64(2000000000) << qint64(700) << 0u << Geometry::NoEnd
                                << qint64(1400000000) << qint64(1400000000) << 1400000000u << 1400000000u;
    }

    void frameAtAndClamps()
    {
        QFETCH(int, width);
        QFETCH(qint64, length);
        QFETCH(qint64, x);
        QFETCH(uint, start);
        QFETCH(uint, end);
        QFETCH(qint64, frame);
        QFETCH(qint64, value);
        QFETCH(uint, newStart);
        QFETCH(uint, newEnd);
        const qint64 f = Geometry::frameAt(x, width, length);
        QCOMPARE(f, frame);
        QCOMPARE(Geometry::clampValue(f, start, end, length), value);
        QCOMPARE(Geometry::clampStart(f, end, length), newStart);
        QCOMPARE(Geometry::clampEnd(f, start, length), newEnd);
    }

    void hitTests_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<bool>("knob");
        QTest::addColumn<bool>("startHandle");
        QTest::addColumn<bool>("endHandle");

        // Knob box at (100, 0); start handle at x = 200; end handle at x = 300.
        QTest::newRow("knob centre") << QPoint(112, 12) << true << false << false;
        QTest::newRow("knob box corner is outside the disc") << QPoint(100, 0) << false << false << false;
        QTest::newRow("knob rim") << QPoint(112, 1) << true << false << false;
        QTest::newRow("past the knob box") << QPoint(124, 12) << false << false << false;
        QTest::newRow("start handle foot") << QPoint(203, 20) << false << true << false;
        QTest::newRow("start handle above its slope") << QPoint(220, 2) << false << false << false;
        QTest::newRow("start handle left of it") << QPoint(199, 20) << false << false << false;
        QTest::newRow("end handle foot") << QPoint(324, 20) << false << false << true;
        QTest::newRow("end handle above its slope") << QPoint(305, 2) << false << false << false;
        QTest::newRow("end handle below it") << QPoint(324, 30) << false << false << false;
    }

    void hitTests()
    {
        QFETCH(QPoint, point);
        QFETCH(bool, knob);
        QFETCH(bool, startHandle);
        QFETCH(bool, endHandle);
        QCOMPARE(Geometry::onKnob(point, QPoint(100, 0)), knob);
        QCOMPARE(Geometry::onStartHandle(point, 200), startHandle);
        QCOMPARE(Geometry::onEndHandle(point, 300), endHandle);
    }

    void clickOnTrackJumpsWithoutScrolling()
    {
        PositionSlider slider;
        prepare(slider, 154, 100, 10, 90, 50);
        QSignalSpy values(&slider, &PositionSlider::valueChanged);
        QSignalSpy starts(&slider, &PositionSlider::startScrolling);
        QSignalSpy stops(&slider, &PositionSlider::stopScrolling);
        // Frame 95 lies past the out point: clamped to 89.
        QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(27 + 95, 12));
        QCOMPARE(values.count(), 1);
        QCOMPARE(values.at(0).at(0).toInt(), 89);
        QCOMPARE(slider.value(), 89);
        QCOMPARE(starts.count(), 0);
        QCOMPARE(stops.count(), 0);
        QCOMPARE(slider.knobPosition().x(), Geometry::knobLeft(154, 89, 100));
    }

    void knobDragIsBracketedAndRepeats()
    {
        PositionSlider slider;
        prepare(slider, 154, 100, 0, Geometry::NoEnd, 20);
        QSignalSpy values(&slider, &PositionSlider::valueChanged);
        QSignalSpy starts(&slider, &PositionSlider::startScrolling);
        QSignalSpy stops(&slider, &PositionSlider::stopScrolling);
        const QPoint knob = knobCentre(slider);
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, knob);
        QCOMPARE(starts.count(), 1);
        QVERIFY(slider.isScrolling());
        move(slider, QPoint(27 + 60, 12));
        QCOMPARE(slider.value(), 60);
        const int afterMove = values.count();
        QVERIFY(afterMove >= 1);
        // The repeat timer sends the value again while the knob is held.
        QTRY_VERIFY_WITH_TIMEOUT(values.count() > afterMove, 2000);
        QCOMPARE(values.last().at(0).toInt(), 60);
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(27 + 60, 12));
        QCOMPARE(stops.count(), 1);
        QVERIFY(!slider.isScrolling());
        const int afterRelease = values.count();
        QTest::qWait(700);
        QCOMPARE(values.count(), afterRelease);
    }

    void startHandleDragsTheKnobAlong()
    {
        PositionSlider slider;
        prepare(slider, 154, 100, 0, 90, 20);
        QSignalSpy starts(&slider, &PositionSlider::startingHandleMoved);
        QSignalSpy values(&slider, &PositionSlider::valueChanged);
        // Inside the start handle's triangle (left edge 27).
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(29, 21));
        move(slider, QPoint(27 + 40, 12));
        QCOMPARE(starts.count(), 1);
        QCOMPARE(starts.at(0).at(0).toUInt(), 40u);
        QCOMPARE(slider.start(), 40u);
        QVERIFY(slider.value() >= 40);
        QVERIFY(values.count() >= 1);
        // It cannot reach the out point.
        move(slider, QPoint(27 + 120, 12));
        QCOMPARE(slider.start(), 89u);
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(27 + 120, 12));
    }

    void endHandleStaysBetweenStartAndLength()
    {
        PositionSlider slider;
        prepare(slider, 154, 100, 30, 80, 60);
        QSignalSpy ends(&slider, &PositionSlider::endingHandleMoved);
        const int left = slider.endHandlePosition().x();
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(left + 25, 21));
        move(slider, QPoint(5, 12));
        QCOMPARE(slider.end(), 31u);
        QVERIFY(slider.value() <= 30);
        move(slider, QPoint(400, 12));
        QCOMPARE(slider.end(), 100u);
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(400, 12));
        QCOMPARE(ends.count(), 2);
        QCOMPARE(ends.last().at(0).toUInt(), 100u);
    }

    void narrowAndEmptySlidersTakeClicks_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("length");
        QTest::newRow("narrower than the margins") << 30 << 100;
        QTest::newRow("exactly the margins") << 54 << 100;
        QTest::newRow("empty clip") << 300 << 0;
        QTest::newRow("narrow and empty") << 10 << 0;
    }

    void narrowAndEmptySlidersTakeClicks()
    {
        QFETCH(int, width);
        QFETCH(int, length);
        PositionSlider slider;
        prepare(slider, width, length, 0, Geometry::NoEnd, 0);
        QSignalSpy values(&slider, &PositionSlider::valueChanged);
        for (int x : { 0, width / 2, width - 1, width + 50 }) {
            QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, 20));
            move(slider, QPoint(x + 7, 20));
            QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(x + 7, 20));
        }
        QVERIFY(values.count() >= 1);
        for (const QList<QVariant>& args : values) {
            QVERIFY(args.at(0).toInt() >= 0);
            QVERIFY(args.at(0).toInt() <= qMax(0, length - 1));
        }
        slider.resize(width / 2, Geometry::Height);
        QVERIFY(slider.knobPosition().x() >= 0);
    }

    void resetLaysOutTheEmptySlider()
    {
        PositionSlider slider;
        prepare(slider, 300, 100, 10, 50, 20);
        slider.reset();
        QCOMPARE(slider.length(), 0);
        QCOMPARE(slider.end(), Geometry::NoEnd);
        QCOMPARE(slider.knobPosition(), QPoint(15, 0));
        QCOMPARE(slider.startHandlePosition(), QPoint(27, 1));
        QCOMPARE(slider.endHandlePosition(), QPoint(300 - 1 - 53, 1));
    }
};

EMULSA_TEST_MAIN(PositionSliderTest)
#include "tst_positionslider.moc"
