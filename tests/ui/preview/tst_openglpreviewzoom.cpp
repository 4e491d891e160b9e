#include "OpenGLPreviewFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// The preview's zoom and pan: the pattern's pixels where the viewport puts
// them at each factor, the wheel about the cursor, drags, the double click
// that fits, and the zoom bar that follows the preview.
class OpenGLPreviewZoomTest : public OpenGLPreviewFixture
{
    Q_OBJECT

private slots:
    void zoomedPictureFollowsTheDrag()
    {
        ShownPreview shown;
        QVERIFY(showIn(shown, item(TestMedia::H264Limited1080p25)));
        OpenGLPreview& preview = shown.preview;
        QCOMPARE(preview.pictureViewport(), QRect(0, 0, 640, 360));
        // Without zoom a drag does nothing.
        QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
        QTest::mouseMove(&preview, QPoint(200, 150));
        QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
        QCOMPARE(preview.panOffset(), QPoint());

        // 100 % starts centred; the picture follows the mouse.
        preview.setZoom(true);
        QCOMPARE(preview.zoomFactor(), 1.0);
        const qreal ratio = preview.devicePixelRatio();
        const QRect centred(int(320 * ratio) - 960, int(180 * ratio) - 540, 1920, 1080);
        QCOMPARE(preview.pictureViewport(), centred);
        QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
        QTest::mouseMove(&preview, QPoint(200, 250));
        QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(200, 250));
        QCOMPARE(preview.panOffset(), QPoint(int(-100 * ratio), int(50 * ratio)));
        QCOMPARE(preview.pictureViewport().topLeft(), centred.topLeft() + QPoint(int(-100 * ratio), int(-50 * ratio)));
        QCOMPARE(preview.grabFramebuffer().isNull(), false);
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
        // A new clip starts unpanned, at the same zoom.
        QVERIFY(show(preview, item(TestMedia::H264Limited1080p25)));
        QCOMPARE(preview.panOffset(), QPoint());
        QCOMPARE(preview.zoomFactor(), 1.0);
        preview.setZoom(false);
        QCOMPARE(preview.zoomFactor(), 0.0);
        QCOMPARE(preview.pictureViewport(), QRect(QPoint(), preview.size() * ratio));
    }

    // Zoomed in, every window pixel shows exactly the source pixel under it:
    // at 100 % one to one, at 200 % and 400 % as flat blocks, wherever the
    // picture is dragged, and never beyond its edges.
    void pixelsAtZoomFactors_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<QPoint>("dragBy");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("100 %: one to one, centred") << 1.0 << QPoint(50, 20) << QPoint(160, 90);
        QTest::newRow("200 %: 2 x 2 window pixels per source pixel") << 2.0 << QPoint(-50, 20) << QPoint(0, 0);
        QTest::newRow("400 %, centred") << 4.0 << QPoint() << QPoint(-320, -180);
        QTest::newRow("400 %, dragged part way") << 4.0 << QPoint(100, -30) << QPoint(-220, -210);
        QTest::newRow("400 %, dragged past its top-left corner") << 4.0 << QPoint(2000, 900) << QPoint(0, 0);
        QTest::newRow("400 %, dragged past its bottom-right corner")
            << 4.0 << QPoint(-2000, -900) << QPoint(-640, -360);
    }

    void pixelsAtZoomFactors()
    {
        QFETCH(double, factor);
        QFETCH(QPoint, dragBy);
        QFETCH(QPoint, topLeft);
        ShownPreview shown;
        QVERIFY(showPattern(shown));
        OpenGLPreview& preview = shown.preview;
        QSignalSpy zoomed(&preview, &OpenGLPreview::zoomChanged);
        preview.setZoomFactor(factor);
        QCOMPARE(zoomed.count(), 1);
        QCOMPARE(zoomed.at(0).at(0).toDouble(), factor);
        if (!dragBy.isNull())
            drag(preview, QPoint(320, 180), dragBy);
        const QImage grabbed = preview.grabFramebuffer();
        QCOMPARE(grabbed.size(), QSize(640, 360));
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
        QCOMPARE(topLeftOf(preview.pictureViewport(), 360), topLeft);
        const QString mismatch = blockMismatch(grabbed, topLeft, int(factor));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void wheelZoomsAboutTheCursor()
    {
        ShownPreview shown;
        QVERIFY(showPattern(shown));
        OpenGLPreview& preview = shown.preview;
        const QSize window(640, 360);
        const QSize source(TestMedia::pixelPatternWidth, TestMedia::pixelPatternHeight);
        QSignalSpy zoomed(&preview, &OpenGLPreview::zoomChanged);
        // The cursor on the centre of window pixel (203, 117).
        const QPointF cursor(203.5, 117.5);
        const QPoint cursorPixel(203, 117);
        // Fitted, the 320 x 180 picture fills the window at 200 %.
        QCOMPARE(preview.pictureViewport(), QRect(0, 0, 640, 360));
        QPointF under = PreviewViewport::sourceAt(preview.pictureViewport(), window, source, cursor);
        const QPoint pixel(101, 58);
        QCOMPARE(QPoint(int(under.x()), int(under.y())), pixel);

        // Half a notch does nothing yet; the other half makes one notch up
        // from the fitted scale.
        turnWheel(preview, cursor, 60);
        QCOMPARE(zoomed.count(), 0);
        turnWheel(preview, cursor, 60);
        QCOMPARE(zoomed.count(), 1);
        const double oneUp = std::exp2(1.25);
        QCOMPARE(preview.zoomFactor(), oneUp);
        QCOMPARE(zoomed.last().at(0).toDouble(), oneUp);
        // Then three notches at once: 400 %. At each step the source point
        // under the cursor stays there (to within half a window pixel), and
        // the window shows the picture where the viewport says.
        for (const auto& [notches, factor] : { std::pair { 0, oneUp }, std::pair { 3, 4.0 } }) {
            turnWheel(preview, cursor, 120 * notches);
            QCOMPARE(preview.zoomFactor(), factor);
            const QRect viewport = preview.pictureViewport();
            QVERIFY(viewport.width() > 640 && viewport.height() > 360);
            const QPointF now = PreviewViewport::sourceAt(viewport, window, source, cursor);
            QVERIFY2(qAbs(now.x() - under.x()) <= 0.5 / factor && qAbs(now.y() - under.y()) <= 0.5 / factor,
                qPrintable(QStringLiteral("%1, %2 -> %3, %4").arg(under.x()).arg(under.y()).arg(now.x()).arg(now.y())));
            QCOMPARE(QPoint(int(now.x()), int(now.y())), pixel);
            under = now;
            const QImage grabbed = preview.grabFramebuffer();
            QVERIFY(matches(grabbed.pixel(cursorPixel), TestMedia::pixelPatternIsWhite(pixel.x(), pixel.y())));
            int checked = 0;
            const QString mismatch = viewportMismatch(grabbed, viewport, &checked);
            QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
            QVERIFY(checked > 640 * 360 * 9 / 10);
        }
        QCOMPARE(zoomed.count(), 2);

        // Eight notches down: 100 %, smaller than the window and centred.
        turnWheel(preview, cursor, -8 * 120);
        QCOMPARE(preview.zoomFactor(), 1.0);
        QCOMPARE(topLeftOf(preview.pictureViewport(), 360), QPoint(160, 90));
        const QString mismatch = blockMismatch(preview.grabFramebuffer(), QPoint(160, 90), 1);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void dragNeedsAPictureLargerThanTheWindow()
    {
        ShownPreview shown;
        QVERIFY(showPattern(shown));
        OpenGLPreview& preview = shown.preview;
        const QPoint centre(320, 180);
        // Fitted or smaller than the window: the arrow, and a drag does nothing.
        for (double factor : { 0.0, 1.0, 2.0 }) {
            preview.setZoomFactor(factor);
            QTest::mouseMove(&preview, centre);
            QCOMPARE(preview.cursor().shape(), Qt::ArrowCursor);
            drag(preview, centre, QPoint(40, 30));
            QCOMPARE(preview.panOffset(), QPoint());
            QCOMPARE(preview.cursor().shape(), Qt::ArrowCursor);
        }
        // Larger: the open hand, closed while dragging.
        preview.setZoomFactor(3.0);
        QCOMPARE(preview.cursor().shape(), Qt::OpenHandCursor);
        QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, centre);
        QCOMPARE(preview.cursor().shape(), Qt::ClosedHandCursor);
        QTest::mouseMove(&preview, centre + QPoint(-30, 15));
        QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, centre + QPoint(-30, 15));
        QCOMPARE(preview.panOffset(), QPoint(-30, 15));
        QCOMPARE(preview.cursor().shape(), Qt::OpenHandCursor);
        // A window grown past the picture: the arrow at the next move.
        preview.resize(1000, 600);
        QTRY_COMPARE(preview.size(), QSize(1000, 600));
        QTest::mouseMove(&preview, centre);
        QCOMPARE(preview.cursor().shape(), Qt::ArrowCursor);
    }

    void doubleClickFits()
    {
        ShownPreview shown;
        QVERIFY(showPattern(shown));
        OpenGLPreview& preview = shown.preview;
        const QRect fitted = preview.pictureViewport();
        preview.setZoomFactor(4.0);
        drag(preview, QPoint(320, 180), QPoint(70, 40));
        QVERIFY(preview.pictureViewport() != fitted);
        QSignalSpy zoomed(&preview, &OpenGLPreview::zoomChanged);
        doubleClick(preview, QPoint(100, 100));
        QCOMPARE(zoomed.count(), 1);
        QCOMPARE(zoomed.at(0).at(0).toDouble(), 0.0);
        QVERIFY(!preview.zoom());
        QCOMPARE(preview.panOffset(), QPoint());
        QCOMPARE(preview.pictureViewport(), fitted);
        QCOMPARE(preview.cursor().shape(), Qt::ArrowCursor);
        // Fit again changes nothing and says nothing.
        doubleClick(preview, QPoint(100, 100));
        preview.setZoom(false);
        QCOMPARE(zoomed.count(), 1);
        // Back at 400 %, the picture starts centred again.
        preview.setZoomFactor(4.0);
        QCOMPARE(topLeftOf(preview.pictureViewport(), 360), QPoint(-320, -180));
    }

    void zoomBarFollowsThePreview()
    {
        ShownPreview shown;
        QVERIFY(showPattern(shown));
        OpenGLPreview& preview = shown.preview;
        PreviewZoomBar bar;
        QVERIFY(!bar.isEnabled());
        bar.setPreview(&preview);
        QVERIFY(bar.isEnabled());
        const auto checked = [&bar] {
            QString names;
            for (PreviewZoomBar::Preset preset :
                { PreviewZoomBar::Fit, PreviewZoomBar::Actual, PreviewZoomBar::Double })
                if (bar.button(preset)->isChecked())
                    names += bar.button(preset)->text();
            return names;
        };
        QCOMPARE(bar.zoomText(), QStringLiteral("Fit"));
        QCOMPARE(checked(), QStringLiteral("Fit"));

        bar.button(PreviewZoomBar::Double)->click();
        QCOMPARE(preview.zoomFactor(), 2.0);
        QCOMPARE(bar.zoomText(), QStringLiteral("200 %"));
        QCOMPARE(checked(), QStringLiteral("200%"));
        bar.button(PreviewZoomBar::Actual)->click();
        QCOMPARE(preview.zoomFactor(), 1.0);
        QCOMPARE(bar.zoomText(), QStringLiteral("100 %"));
        QCOMPARE(checked(), QStringLiteral("100%"));
        // A click on the checked button keeps it checked.
        bar.button(PreviewZoomBar::Actual)->click();
        QCOMPARE(checked(), QStringLiteral("100%"));

        // The wheel: a factor of no button.
        turnWheel(preview, QPointF(320, 180), 120);
        QCOMPARE(bar.zoomText(), QStringLiteral("119 %"));
        QCOMPARE(checked(), QString());
        turnWheel(preview, QPointF(320, 180), 120);
        QCOMPARE(bar.zoomText(), QStringLiteral("141 %"));
        preview.setZoom(true);
        QCOMPARE(bar.zoomText(), QStringLiteral("100 %"));
        doubleClick(preview, QPointF(320, 180));
        QCOMPARE(bar.zoomText(), QStringLiteral("Fit"));
        QCOMPARE(checked(), QStringLiteral("Fit"));

        // Another preview: the bar shows its zoom and no longer the first's.
        ShownPreview other;
        QVERIFY(showPattern(other));
        other.preview.setZoomFactor(1.5);
        bar.setPreview(&other.preview);
        QCOMPARE(bar.zoomText(), QStringLiteral("150 %"));
        preview.setZoomFactor(2.0);
        QCOMPARE(bar.zoomText(), QStringLiteral("150 %"));
        bar.button(PreviewZoomBar::Fit)->click();
        QCOMPARE(other.preview.zoomFactor(), 0.0);
        QCOMPARE(preview.zoomFactor(), 2.0);
        bar.setPreview(nullptr);
        QVERIFY(!bar.isEnabled());
    }
};

EMULSA_TEST_MAIN(OpenGLPreviewZoomTest)
#include "tst_openglpreviewzoom.moc"
