#include "common/TestEnvironment.h"
#include "common/WidgetProbes.h"

#include "ui/grading/CustomSlider.h"
#include "ui/grading/EMColorWheel.h"
#include "ui/grading/EMHistogramSlider.h"
#include "ui/grading/EMHistogramWidget.h"
#include "ui/grading/SettingsPanel.h"

#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QSpinBox>

#include <cmath>

using namespace Emulsa;
using Emulsa::Test::child;
using Emulsa::Test::SignalLog;

namespace {

// The log of one edit of a field: its about-to-change and `values` values.
QMap<QString, int> oneEdit(int values = 1)
{
    return { { "gradeValueAboutToChange", 1 }, { "gradeValueChanged", values } };
}

// The last value the panel sent, which must be of `field`.
GradeValue lastValue(const SignalLog& log, GradeField field)
{
    const QList<QVariant> sent = log.last(QStringLiteral("gradeValueChanged"));
    if (sent.size() != 2 || sent.at(0).value<GradeField>() != field)
        return GradeValue();
    return sent.at(1).value<GradeValue>();
}

} // namespace

class TestGradingControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerClipSettingsMetaTypes();
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
    }

    void sliderJumpsToThePointer_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<int>("expected");
        // Range 0..100, handle 20 px on a 220 px slider: travel 199 px from 10.5.
        QTest::newRow("left of the travel clamps") << 0 << false << 0;
        QTest::newRow("start of the travel") << 11 << false << 0;
        QTest::newRow("middle") << 110 << false << 50;
        QTest::newRow("right end clamps") << 400 << false << 100;
        QTest::newRow("inverted middle") << 110 << true << 50;
        QTest::newRow("inverted start") << 11 << true << 100;
    }
    void sliderJumpsToThePointer()
    {
        QFETCH(int, position);
        QFETCH(bool, inverted);
        QFETCH(int, expected);
        QCOMPARE(CustomSlider::valueForPosition(0, 100, position, 20, 220, inverted), expected);
    }

    void sliderGuardsDegenerateGeometry()
    {
        // A slider shorter than its handle, or an empty range, selects the minimum.
        QCOMPARE(CustomSlider::valueForPosition(5, 100, 3, 20, 10, false), 5);
        QCOMPARE(CustomSlider::valueForPosition(7, 7, 50, 20, 200, false), 7);
    }

    void wheelStopsOnItsOuterCircle()
    {
        EMColorWheel wheel;
        QSignalSpy moved(&wheel, &EMColorWheel::knobHasMoved);
        QSignalSpy pressed(&wheel, &EMColorWheel::knobWasPressed);
        QTest::mousePress(&wheel, Qt::LeftButton, {}, QPoint(58, 58));
        QCOMPARE(pressed.count(), 1);
        QMouseEvent move(QEvent::MouseMove, QPointF(116, 58), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&wheel, &move);
        QCOMPARE(moved.count(), 1);
        const auto value = moved.last().first().value<ColorWheelData>();
        QVERIFY2(value.radius > 1.0 && value.radius <= 49.0 / 48.0 + 0.02, qPrintable(QString::number(value.radius)));
        QVERIFY(std::abs(value.theta) < 0.05);
        QCOMPARE(wheel.knobPosition().x(), 107); // trunc(49 + 58.4)
        // Showing a value never emits.
        wheel.setValue({ 0.5, M_PI / 2 });
        QCOMPARE(moved.count(), 1);
        QCOMPARE(wheel.knobPosition(), QPoint(58, 34)); // 24 px straight up
    }

    void wheelResetIsAnEditOfItsOwn()
    {
        EMColorWheel wheel;
        wheel.setValue({ 0.8, 1.0 });
        QSignalSpy reset(&wheel, &EMColorWheel::resetValue);
        QSignalSpy moved(&wheel, &EMColorWheel::knobHasMoved);
        QTest::mousePress(&wheel, Qt::LeftButton, {}, QPoint(10, wheel.height() - 10));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.last().first().value<ColorWheelData>().radius, 0.0);
        QCOMPARE(wheel.knobPosition(), QPoint(58, 58));
    }

    void levelsKeepTheirOrder_data()
    {
        QTest::addColumn<int>("arrow");
        QTest::addColumn<double>("to");
        QTest::addColumn<float>("black");
        QTest::addColumn<float>("mid");
        QTest::addColumn<float>("white");
        // Start: black 0.2, mid 0.5, white 0.8 (mid half-way).
        QTest::newRow("black pushed past mid stops short") << 0 << 0.9 << 0.49f << 0.645f << 0.8f;
        QTest::newRow("black below zero") << 0 << -0.3 << 0.0f << 0.4f << 0.8f;
        QTest::newRow("white pulled past mid stops short") << 2 << 0.1 << 0.2f << 0.355f << 0.51f;
        QTest::newRow("white above one") << 2 << 1.7 << 0.2f << 0.6f << 1.0f;
        QTest::newRow("mid stops below white") << 1 << 0.95 << 0.2f << 0.79f << 0.8f;
        QTest::newRow("mid stops above black") << 1 << 0.0 << 0.2f << 0.21f << 0.8f;
    }
    void levelsKeepTheirOrder()
    {
        QFETCH(int, arrow);
        QFETCH(double, to);
        QFETCH(float, black);
        QFETCH(float, mid);
        QFETCH(float, white);
        const HistogramSliderData result = EMHistogramSlider::dragged({ 0.2f, 0.5f, 0.8f }, arrow, to);
        QVERIFY(std::abs(result.black - black) < 1e-4f);
        QVERIFY2(std::abs(result.mid - mid) < 1e-4f, qPrintable(QString::number(result.mid)));
        QVERIFY(std::abs(result.white - white) < 1e-4f);
    }

    void levelsArrowHitTest()
    {
        // Upward triangle: apex (x + 15, 0), base (x, 19) .. (x + 30, 19).
        QVERIFY(EMHistogramSlider::arrowContains(100, 19, QPoint(115, 1)));
        QVERIFY(EMHistogramSlider::arrowContains(100, 19, QPoint(101, 18)));
        QVERIFY(!EMHistogramSlider::arrowContains(100, 19, QPoint(101, 2)));
        QVERIFY(!EMHistogramSlider::arrowContains(100, 19, QPoint(131, 18)));
    }

    void clippedBlackDrawsAFullHeightBar()
    {
        EMHistogramWidget widget;
        std::vector<quint32> all(512, 0);
        all[0] = 1920 * 1080;
        widget.setCounts(all.data(), all.data(), all.data(), 512);
        QCOMPARE(EMHistogramWidget::clipBarHeight(all[0]), 118);
        const QImage image = widget.grab().toImage();
        const int h = widget.height();
        // The red bar (x = 2..4) reaches 118 pixels up from the bottom, not further.
        QCOMPARE(QColor(image.pixel(3, h - 1)).red(), 255);
        QCOMPARE(QColor(image.pixel(3, h - 118)).red(), 255);
        QVERIFY(QColor(image.pixel(3, h - 119)).red() < 100);
        // Nothing clipped at white: no bar on the right.
        QVERIFY(QColor(image.pixel(widget.width() - 14, h - 1)).red() < 100);
    }

    void panelSignalsForEachKindOfEdit()
    {
        SettingsPanel panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        SignalLog log(&panel);
        auto* exposure = child<CustomSlider>(&panel, "expAmount");
        auto* exposureBox = child<QDoubleSpinBox>(&panel, "expDisplay");

        // Slider set (as the keyboard does): one edit with its about-to-change.
        exposure->setValue(2500);
        QCOMPARE(log.counts(), oneEdit());
        QCOMPARE(lastValue(log, GradeField::Exposure), GradeValue(0.25f));
        QCOMPARE(exposureBox->value(), 0.25);

        // Typing in the display box moves the slider and is an edit too.
        log.clear();
        exposureBox->setValue(-0.5);
        QCOMPARE(exposure->value(), -5000);
        QCOMPARE(log.counts(), oneEdit());
        QCOMPARE(lastValue(log, GradeField::Exposure), GradeValue(-0.5f));

        // A press on the groove and a drag: one about-to-change, several values.
        log.clear();
        auto* saturation = child<CustomSlider>(&panel, "saturationAmount");
        const int y = saturation->height() / 2;
        QTest::mousePress(saturation, Qt::LeftButton, {}, QPoint(saturation->width() / 4, y));
        for (int x : { saturation->width() / 3, saturation->width() / 2 }) {
            QMouseEvent move(QEvent::MouseMove, QPointF(x, y), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(saturation, &move);
        }
        QTest::mouseRelease(saturation, Qt::LeftButton, {}, QPoint(saturation->width() / 2, y));
        QCOMPARE(log.counts(), oneEdit(3));
        QVERIFY(std::holds_alternative<float>(lastValue(log, GradeField::Saturation)));

        // Keyboard on a focused slider.
        log.clear();
        auto* grain = child<CustomSlider>(&panel, "grainAmount");
        grain->setFocus();
        QTest::keyClick(grain, Qt::Key_Right);
        QCOMPARE(log.counts(), oneEdit());
        QCOMPARE(lastValue(log, GradeField::GrainAmount), GradeValue(101));
    }

    // Every continuous control sends one about-to-change and its value, of
    // its field's kind and never the default, through the signal pair for
    // any field.
    void everyFieldSendsItsFieldAndValue()
    {
        SettingsPanel panel;
        SignalLog log(&panel);
        const struct
        {
            GradeField field;
            const char* control;
        } rows[] = {
            { GradeField::Exposure, "expAmount" },
            { GradeField::Kelvin, "kelvinAmount" },
            { GradeField::StockAmount, "lutAmount" },
            { GradeField::CurveAmount, "curveAmount" },
            { GradeField::GrainAmount, "grainAmount" },
            { GradeField::LowWheel, "lowWheel" },
            { GradeField::MidWheel, "midWheel" },
            { GradeField::HighWheel, "highWheel" },
            { GradeField::Lift, "liftAmount" },
            { GradeField::Gamma, "gammaAmount" },
            { GradeField::Gain, "gainAmount" },
            { GradeField::Saturation, "saturationAmount" },
            { GradeField::Levels, "levelsSlider" },
            { GradeField::HalationAmount, "halationAmount" },
            { GradeField::BloomAmount, "bloomAmount" },
            { GradeField::WeaveAmount, "weaveAmount" },
            { GradeField::FlickerAmount, "flickerAmount" },
            { GradeField::ColourGrainAmount, "colourGrainAmount" },
        };
        QCOMPARE(int(std::size(rows)), GradeFieldCount);
        for (const auto& row : rows) {
            log.clear();
            const GradeFieldInfo& info = gradeField(row.field);
            if (auto* slider = panel.findChild<CustomSlider*>(row.control)) {
                // A third of the way along: never the default position.
                const int target = slider->minimum() + (slider->maximum() - slider->minimum()) / 3;
                slider->setValue(target);
                QCOMPARE(info.position(info.fromPosition(target)), target);
            } else if (auto* wheel = panel.findChild<EMColorWheel*>(row.control)) {
                emit wheel->knobWasPressed();
                emit wheel->knobHasMoved(ColorWheelData { 0.3, -1.0 });
            } else {
                child<QSpinBox>(&panel, "midDisplay")->setValue(40);
            }
            QVERIFY2(log.counts() == oneEdit(), info.name);
            QCOMPARE(log.last("gradeValueAboutToChange").value(0).value<GradeField>(), row.field);
            QCOMPARE(log.last("gradeValueChanged").value(0).value<GradeField>(), row.field);
            const GradeValue value = lastValue(log, row.field);
            QCOMPARE(value.index(), info.defaultValue.index());
            QVERIFY2(value != info.defaultValue, info.name);
            if (const auto* wheel = std::get_if<ColorWheelData>(&value))
                QCOMPARE(wheel->theta, -1.0);
            if (const auto* levels = std::get_if<HistogramSliderData>(&value))
                QCOMPARE(levels->mid, 0.4f);
        }
    }

    void resetCameraIsOneGroupOrNothing()
    {
        SettingsPanel panel;
        SignalLog log(&panel);
        panel.resetCamera();
        QVERIFY(log.counts().isEmpty());

        ClipSettings settings;
        settings.setExposure(0.3f);
        settings.setKelvin(3200.0f);
        panel.updateSettings(settings);
        QVERIFY(log.counts().isEmpty());
        panel.resetCamera();
        QCOMPARE(log.counts(),
            (QMap<QString, int> {
                { "groupOfCommand", 2 }, { "gradeValueAboutToChange", 2 }, { "gradeValueChanged", 2 } }));
        QCOMPARE(lastValue(log, GradeField::Kelvin), GradeValue(5600.0f));
        QCOMPARE(log.last("groupOfCommand").first().toBool(), false);
    }

    void showingAGradeEmitsNothing()
    {
        SettingsPanel panel;
        SignalLog log(&panel);
        ClipSettings settings;
        settings.setExposure(-1.2f);
        settings.setSaturation(0.37f);
        settings.setStockName(QStringLiteral("5213"));
        settings.setGrainScaleName(QStringLiteral("Super 8"));
        settings.setMid({ 0.4, 2.0 });
        settings.setHistogramSliderData({ 0.1f, 0.4f, 0.9f });
        panel.updateSettings(settings);
        QVERIFY2(log.counts().isEmpty(), qPrintable(QStringList(log.counts().keys()).join(',')));
        QCOMPARE(child<CustomSlider>(&panel, "expAmount")->value(), -12000);
        QCOMPARE(child<QDoubleSpinBox>(&panel, "expDisplay")->value(), -1.2);
        QCOMPARE(child<CustomSlider>(&panel, "saturationAmount")->value(), 37);
        QCOMPARE(child<QSpinBox>(&panel, "whiteDisplay")->value(), 90);
        QCOMPARE(child<EMColorWheel>(&panel, "midWheel")->value().theta, 2.0);
    }

    void levelDisplaysAreEditsToo()
    {
        SettingsPanel panel;
        SignalLog log(&panel);
        child<QSpinBox>(&panel, "blackDisplay")->setValue(10);
        QCOMPARE(log.counts(), oneEdit());
        QCOMPARE(std::get<HistogramSliderData>(lastValue(log, GradeField::Levels)).black, 0.1f);
        // Out of order: refused and shown back as it was.
        log.clear();
        child<QSpinBox>(&panel, "whiteDisplay")->setValue(5);
        QVERIFY(log.counts().isEmpty());
        QCOMPARE(child<QSpinBox>(&panel, "whiteDisplay")->value(), 100);
    }
};

EMULSA_TEST_MAIN(TestGradingControls)
#include "tst_gradingcontrols.moc"
