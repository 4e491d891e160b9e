#include "common/TestEnvironment.h"

#include "ui/preview/PreviewViewport.h"

#include <QApplication>
#include <QTest>

#include <cmath>
#include <tuple>

using namespace Emulsa;

class PreviewViewportTest : public QObject
{
    Q_OBJECT

private slots:
    void fitViewport_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("same aspect") << QSize(640, 360) << QSize(1920, 1080) << QRect(0, 0, 640, 360);
        QTest::newRow("wide window") << QSize(800, 360) << QSize(1920, 1080) << QRect(80, 0, 640, 360);
        QTest::newRow("tall window") << QSize(640, 600) << QSize(1920, 1080) << QRect(0, 120, 640, 360);
        QTest::newRow("portrait in landscape") << QSize(640, 360) << QSize(1080, 1920) << QRect(219, 0, 202, 360);
        QTest::newRow("no clip: 16/9") << QSize(640, 480) << QSize() << QRect(0, 60, 640, 360);
        QTest::newRow("empty window") << QSize(0, 0) << QSize(640, 360) << QRect(0, 0, 0, 0);
    }

    void fitViewport()
    {
        QFETCH(QSize, window);
        QFETCH(QSize, picture);
        QFETCH(QRect, expected);
        QCOMPARE(PreviewViewport::fit(window, picture), expected);
        // Fit is the viewport at factor 0, whatever the pan.
        QCOMPARE(PreviewViewport::viewport(window, picture, 0.0, QPoint(57, -31)), expected);
    }

    // Viewports count rows from the bottom; the pan moves the picture right
    // and down.
    void zoomedViewport_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("factor");
        QTest::addColumn<QPoint>("pan");
        QTest::addColumn<QRect>("expected");
        const QSize window(640, 360);
        const QSize hd(1920, 1080);
        const QSize small(320, 180);
        QTest::newRow("100 %: a smaller picture is centred and cannot move")
            << window << small << 1.0 << QPoint(30, -20) << QRect(160, 90, 320, 180);
        QTest::newRow("100 %: a larger picture starts centred")
            << window << hd << 1.0 << QPoint() << QRect(-640, -360, 1920, 1080);
        QTest::newRow("panned right and up")
            << window << hd << 1.0 << QPoint(100, -50) << QRect(-540, -310, 1920, 1080);
        QTest::newRow("pan right stops at the picture's left edge")
            << window << hd << 1.0 << QPoint(5000, 0) << QRect(0, -360, 1920, 1080);
        QTest::newRow("pan left stops at its right edge")
            << window << hd << 1.0 << QPoint(-5000, 0) << QRect(-1280, -360, 1920, 1080);
        QTest::newRow("pan down stops at its top edge")
            << window << hd << 1.0 << QPoint(0, 5000) << QRect(-640, -720, 1920, 1080);
        QTest::newRow("pan up stops at its bottom edge")
            << window << hd << 1.0 << QPoint(0, -5000) << QRect(-640, 0, 1920, 1080);
        QTest::newRow("200 %: exactly the window") << window << small << 2.0 << QPoint(9, 9) << QRect(0, 0, 640, 360);
        QTest::newRow("larger on one axis only")
            << QSize(800, 200) << small << 2.0 << QPoint(999, 30) << QRect(80, -110, 640, 360);
        QTest::newRow("a window one pixel larger")
            << QSize(641, 361) << small << 2.0 << QPoint() << QRect(0, 0, 640, 360);
        QTest::newRow("150 % rounds to whole pixels") << window << small << 1.5 << QPoint() << QRect(80, 45, 480, 270);
        QTest::newRow("no clip: 1920 x 1080 at 50 %")
            << window << QSize() << 0.5 << QPoint() << QRect(-160, -90, 960, 540);
        QTest::newRow("below 1/8 is 1/8") << window << hd << 0.01 << QPoint() << QRect(200, 112, 240, 135);
        QTest::newRow("a large picture stops at the largest viewport")
            << window << QSize(3840, 2160) << 8.0 << QPoint() << QRect(-7872, -4428, 16384, 9216);
    }

    void zoomedViewport()
    {
        QFETCH(QSize, window);
        QFETCH(QSize, picture);
        QFETCH(double, factor);
        QFETCH(QPoint, pan);
        QFETCH(QRect, expected);
        QCOMPARE(PreviewViewport::viewport(window, picture, factor, pan), expected);
    }

    void canPan_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("factor");
        QTest::addColumn<bool>("expected");
        QTest::newRow("fit") << QSize(640, 360) << QSize(1920, 1080) << 0.0 << false;
        QTest::newRow("smaller picture") << QSize(640, 360) << QSize(320, 180) << 1.0 << false;
        QTest::newRow("the window's size") << QSize(640, 360) << QSize(320, 180) << 2.0 << false;
        QTest::newRow("a row more than the window") << QSize(640, 359) << QSize(320, 180) << 2.0 << true;
        QTest::newRow("larger picture") << QSize(640, 360) << QSize(1920, 1080) << 1.0 << true;
    }

    void canPan()
    {
        QFETCH(QSize, window);
        QFETCH(QSize, picture);
        QFETCH(double, factor);
        QFETCH(bool, expected);
        QCOMPARE(PreviewViewport::canPan(window, picture, factor), expected);
    }

    void dragMovesThePicture_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("factor");
        QTest::addColumn<QPoint>("pan");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QPoint>("expected");
        const QSize window(640, 360);
        const QSize hd(1920, 1080);
        QTest::newRow("fit does not move") << window << hd << 0.0 << QPoint() << QPoint(40, 40) << QPoint();
        QTest::newRow("with the mouse") << window << hd << 1.0 << QPoint(10, 10) << QPoint(100, -50)
                                        << QPoint(110, -40);
        QTest::newRow("stops at the left edge")
            << window << hd << 1.0 << QPoint(600, 0) << QPoint(100, 0) << QPoint(640, 0);
        QTest::newRow("stops at the bottom edge")
            << window << hd << 1.0 << QPoint(0, -300) << QPoint(0, -100) << QPoint(0, -360);
        QTest::newRow("a smaller axis stays centred")
            << QSize(800, 200) << QSize(320, 180) << 2.0 << QPoint() << QPoint(50, 50) << QPoint(0, 50);
    }

    void dragMovesThePicture()
    {
        QFETCH(QSize, window);
        QFETCH(QSize, picture);
        QFETCH(double, factor);
        QFETCH(QPoint, pan);
        QFETCH(QPoint, delta);
        QFETCH(QPoint, expected);
        QCOMPARE(PreviewViewport::movePan(pan, delta, window, picture, factor), expected);
    }

    void sourceAt_data()
    {
        QTest::addColumn<QRect>("viewport");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<QPointF>("expected");
        // A 320 x 180 picture in a 640 x 360 window.
        QTest::newRow("100 %: the top-left pixel's centre")
            << QRect(160, 90, 320, 180) << QPointF(160.5, 90.5) << QPointF(0.5, 0.5);
        QTest::newRow("100 %: the bottom-right pixel's centre")
            << QRect(160, 90, 320, 180) << QPointF(479.5, 269.5) << QPointF(319.5, 179.5);
        QTest::newRow("200 %") << QRect(0, 0, 640, 360) << QPointF(3, 5) << QPointF(1.5, 2.5);
        QTest::newRow("200 %, moved left") << QRect(-10, 0, 640, 360) << QPointF(0, 0) << QPointF(5, 0);
        QTest::newRow("200 %, the top rows out of the window")
            << QRect(0, 20, 640, 360) << QPointF(0, 0) << QPointF(0, 10);
        QTest::newRow("off the picture") << QRect(160, 90, 320, 180) << QPointF(0, 0) << QPointF(-160, -90);
    }

    void sourceAt()
    {
        QFETCH(QRect, viewport);
        QFETCH(QPointF, point);
        QFETCH(QPointF, expected);
        QCOMPARE(PreviewViewport::sourceAt(viewport, QSize(640, 360), QSize(320, 180), point), expected);
    }

    // The source point under the cursor stays under it when the factor
    // changes, unless the picture would then leave part of the window empty
    // (clamped) or be smaller than it (centred).
    void zoomAboutAPoint_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("from");
        QTest::addColumn<QPoint>("pan");
        QTest::addColumn<double>("to");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<bool>("kept");
        const QSize window(640, 360);
        const QSize hd(1920, 1080);
        QTest::newRow("fit to 200 % about a point near a corner")
            << window << hd << 0.0 << QPoint() << 2.0 << QPointF(100, 50) << true;
        QTest::newRow("100 % panned to 400 % off centre")
            << window << hd << 1.0 << QPoint(200, -100) << 4.0 << QPointF(600, 20) << true;
        QTest::newRow("a wheel step from a fitted small picture")
            << window << QSize(320, 180) << 0.0 << QPoint() << std::exp2(1.25) << QPointF(123.5, 77.25) << true;
        QTest::newRow("out to 100 % near the picture's corner is clamped")
            << window << hd << 2.0 << QPoint(1600, 900) << 1.0 << QPointF(10, 10) << false;
        QTest::newRow("out to a picture smaller than the window: centred")
            << window << hd << 2.0 << QPoint(300, 100) << 0.25 << QPointF(500, 300) << false;
        QTest::newRow("to Fit") << window << hd << 3.0 << QPoint(-700, 200) << 0.0 << QPointF(500, 300) << false;
        QTest::newRow("an empty window keeps the picture centred")
            << QSize(0, 0) << hd << 0.0 << QPoint() << 2.0 << QPointF(0, 0) << false;
    }

    void zoomAboutAPoint()
    {
        QFETCH(QSize, window);
        QFETCH(QSize, picture);
        QFETCH(double, from);
        QFETCH(QPoint, pan);
        QFETCH(double, to);
        QFETCH(QPointF, point);
        QFETCH(bool, kept);
        const QPointF before
            = PreviewViewport::sourceAt(PreviewViewport::viewport(window, picture, from, pan), window, picture, point);
        const QPoint newPan = PreviewViewport::panAbout(window, picture, from, pan, to, point);
        const QRect after = PreviewViewport::viewport(window, picture, to, newPan);
        QCOMPARE(PreviewViewport::clampPan(newPan, window, after.size()), newPan);
        if (kept) {
            // Within half a device pixel: the viewport's place is whole pixels.
            const QPointF moved = PreviewViewport::sourceAt(after, window, picture, point) - before;
            const double tolerance = 0.5 / PreviewViewport::shownScale(window, picture, to) + 1e-9;
            QVERIFY2(std::abs(moved.x()) <= tolerance && std::abs(moved.y()) <= tolerance,
                qPrintable(QStringLiteral("moved by %1, %2").arg(moved.x()).arg(moved.y())));
        } else if (to > 0.0 && !window.isEmpty()) {
            // Where the picture is larger it covers the window, and where it
            // is smaller it is centred.
            const QRect centred = PreviewViewport::viewport(window, picture, to, QPoint());
            for (const auto& [start, length, size, centredStart] :
                { std::tuple { after.x(), after.width(), window.width(), centred.x() },
                    std::tuple { after.y(), after.height(), window.height(), centred.y() } }) {
                if (length > size)
                    QVERIFY(start <= 0 && start + length >= size);
                else
                    QCOMPARE(start, centredStart);
            }
        } else {
            QCOMPARE(newPan, QPoint());
        }
    }

    void wheelSteps_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("notches");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("expected");
        const QSize hd(1920, 1080);
        QTest::newRow("a notch up from 100 %") << 1.0 << 1 << hd << std::exp2(0.25);
        QTest::newRow("four notches double") << 1.0 << 4 << hd << 2.0;
        QTest::newRow("four notches halve") << 1.0 << -4 << hd << 0.5;
        QTest::newRow("from between steps, up to the next") << 1.0 / 3.0 << 1 << hd << std::exp2(-1.5);
        QTest::newRow("from between steps, down to the next") << 1.0 / 3.0 << -1 << hd << std::exp2(-1.75);
        QTest::newRow("just below 100 %, up to it") << 0.99 << 1 << hd << 1.0;
        QTest::newRow("a step within rounding counts as on it") << std::exp2(0.25) * (1.0 + 1e-12) << -1 << hd << 1.0;
        QTest::newRow("never beyond 8x") << 7.0 << 3 << hd << 8.0;
        QTest::newRow("never below 1/8") << 0.125 << -1 << hd << 0.125;
        QTest::newRow("a large picture stops sooner") << 4.0 << 4 << QSize(3840, 2160) << 16384.0 / 3840.0;
    }

    void wheelSteps()
    {
        QFETCH(double, scale);
        QFETCH(int, notches);
        QFETCH(QSize, picture);
        QFETCH(double, expected);
        QCOMPARE(PreviewViewport::stepZoom(scale, notches, picture), expected);
    }
};

EMULSA_TEST_MAIN(PreviewViewportTest)
#include "tst_previewviewport.moc"
