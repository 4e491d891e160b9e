#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "app/PreviewPlayer.h"
#include "core/ApplicationPaths.h"
#include "core/ClipSettings.h"
#include "core/ProfileInfo.h"
#include "core/ShaderProcessor.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "ui/preview/OpenGLPreview.h"
#include "ui/preview/PreviewArea.h"
#include "ui/preview/PreviewViewport.h"
#include "ui/preview/PreviewZoomBar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QWheelEvent>

#include <cmath>
#include <memory>
#include <vector>

using namespace Emulsa;
using Emulsa::Test::TestMedia;

namespace {

// Mean luma of an image, 0..255.
double meanLuma(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    double sum = 0.0;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            sum += qGray(line[x]);
    }
    return rgb.isNull() ? 0.0 : sum / (double(rgb.width()) * rgb.height());
}

// The part of a grabbed window the picture covers (the viewport counts rows
// from the bottom).
QImage pictureOf(const QImage& grabbed, const QRect& viewport)
{
    return grabbed.copy(
        viewport.x(), grabbed.height() - viewport.y() - viewport.height(), viewport.width(), viewport.height());
}

// The window's top-left corner of a viewport (which counts rows from the
// bottom), in rows from the top.
QPoint topLeftOf(const QRect& viewport, int windowHeight)
{
    return QPoint(viewport.x(), windowHeight - viewport.y() - viewport.height());
}

// Whether a grabbed pixel is the pattern's white (true) or black (false), to
// within a few steps; anything between is neither.
bool matches(QRgb pixel, bool white)
{
    const int expected = white ? 255 : 0;
    return qAbs(qRed(pixel) - expected) <= 6 && qAbs(qGreen(pixel) - expected) <= 6
        && qAbs(qBlue(pixel) - expected) <= 6;
}

QString describe(int x, int y, QRgb pixel, bool white)
{
    return QStringLiteral("window pixel %1, %2 is %3 where %4 was expected")
        .arg(x)
        .arg(y)
        .arg(QColor(pixel).name())
        .arg(white ? QStringLiteral("white") : QStringLiteral("black"));
}

// Compares a grabbed window with the pixel pattern enlarged `scale` times
// (each source pixel a scale x scale block) with its top-left corner at
// `topLeft` (window pixels, rows from the top), and black around it. Returns
// the first difference, empty when there is none.
QString blockMismatch(const QImage& grabbed, const QPoint& topLeft, int scale)
{
    const QImage rgb = grabbed.convertToFormat(QImage::Format_RGB32);
    const int width = TestMedia::pixelPatternWidth * scale;
    const int height = TestMedia::pixelPatternHeight * scale;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const int dx = x - topLeft.x();
            const int dy = y - topLeft.y();
            const bool inside = dx >= 0 && dy >= 0 && dx < width && dy < height;
            const bool white = inside && TestMedia::pixelPatternIsWhite(dx / scale, dy / scale);
            if (!matches(line[x], white))
                return describe(x, y, line[x], white);
        }
    }
    return QString();
}

// The same for any viewport: each window pixel shows the source pixel its
// centre falls in. Pixels whose centre lies within a hair of a source pixel's
// edge could show either and are left out; `checked` counts the others.
QString viewportMismatch(const QImage& grabbed, const QRect& viewport, int* checked)
{
    const QImage rgb = grabbed.convertToFormat(QImage::Format_RGB32);
    const QSize source(TestMedia::pixelPatternWidth, TestMedia::pixelPatternHeight);
    *checked = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QPointF at = PreviewViewport::sourceAt(viewport, rgb.size(), source, QPointF(x + 0.5, y + 0.5));
            const bool inside = at.x() >= 0 && at.y() >= 0 && at.x() < source.width() && at.y() < source.height();
            const double fx = at.x() - std::floor(at.x());
            const double fy = at.y() - std::floor(at.y());
            if (inside && (fx < 0.01 || fx > 0.99 || fy < 0.01 || fy > 0.99))
                continue;
            ++*checked;
            const bool white
                = inside && TestMedia::pixelPatternIsWhite(int(std::floor(at.x())), int(std::floor(at.y())));
            if (!matches(line[x], white))
                return describe(x, y, line[x], white);
        }
    }
    return QString();
}

void turnWheel(OpenGLPreview& preview, const QPointF& at, int angle)
{
    QWheelEvent event(at, preview.mapToGlobal(at.toPoint()), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&preview, &event);
}

void doubleClick(OpenGLPreview& preview, const QPointF& at)
{
    QMouseEvent event(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&preview, &event);
}

void drag(OpenGLPreview& preview, const QPoint& from, const QPoint& by)
{
    QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&preview, from + by);
    QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, from + by);
}

} // namespace

class OpenGLPreviewTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MetadataManager> m_manager;
    ClipSettings m_settings;
    std::vector<std::unique_ptr<SequenceItem>> m_items;

    // The record of a file as the application gets it, once it is read.
    AssetMetadata* record(const QString& path)
    {
        AssetMetadata* asset = m_manager->getMetadata(QFileInfo(path));
        if (asset && !QTest::qWaitFor([asset] { return asset->ready.load(); }, 60000))
            return nullptr;
        return asset;
    }

    SequenceItem* item(TestMedia::Clip clip)
    {
        const QString path = TestMedia::instance().path(clip);
        AssetMetadata* asset = path.isEmpty() ? nullptr : record(path);
        if (!asset)
            return nullptr;
        m_items.push_back(std::make_unique<SequenceItem>(asset, &m_settings, 0, asset->frameCount));
        return m_items.back().get();
    }

    // The clip of the pixel pattern (TestMedia::pixelPatternPath()).
    SequenceItem* patternItem()
    {
        const QString path = TestMedia::instance().pixelPatternPath();
        AssetMetadata* asset = path.isEmpty() ? nullptr : record(path);
        if (!asset)
            return nullptr;
        m_items.push_back(std::make_unique<SequenceItem>(asset, &m_settings, 0, asset->frameCount));
        return m_items.back().get();
    }

    SequenceItem* brokenItem()
    {
        AssetMetadata* asset = record(TestMedia::instance().makeRandomBytesFile(QStringLiteral("broken.mp4"), 65536));
        if (!asset)
            return nullptr;
        m_items.push_back(std::make_unique<SequenceItem>(asset, &m_settings, 0, 0));
        return m_items.back().get();
    }

    // Shows a clip the way the grading tab does: the player first; waits
    // until its first frame is drawn (when the window is exposed).
    static bool show(OpenGLPreview& preview, const SequenceItem* clip)
    {
        preview.player()->open(clip);
        preview.currentItemChanged(clip);
        return shownSettled(preview);
    }

    static bool shownSettled(OpenGLPreview& preview)
    {
        PreviewPlayer* player = preview.player();
        return QTest::qWaitFor(
            [&preview, player] {
                return player->seekSettled()
                    && (!player->hasClip() || !preview.isExposed() || !preview.failure().isEmpty()
                        || preview.shownFrameIndex() == player->currentIndex());
            },
            20000);
    }

    // Moves the player and waits for the frame drawn.
    static bool seek(OpenGLPreview& preview, int frame)
    {
        preview.player()->seek(frame);
        return shownSettled(preview);
    }

    static bool exposed(OpenGLPreview& preview, int width, int height)
    {
        preview.resize(width, height);
        preview.show();
        return QTest::qWaitForWindowExposed(&preview);
    }

    // A 640 x 360 preview with its own player.
    struct ShownPreview
    {
        PreviewPlayer player;
        OpenGLPreview preview { &player };
    };

    // Exposes the preview and shows `clip` in it, paused on its first frame.
    static bool showIn(ShownPreview& shown, const SequenceItem* clip)
    {
        if (!clip || !exposed(shown.preview, 640, 360))
            return false;
        return show(shown.preview, clip);
    }

    // The pattern shown as it is (the grade bypassed) in a 640 x 360 preview.
    bool showPattern(ShownPreview& shown)
    {
        if (!showIn(shown, patternItem()) || !shown.preview.processor())
            return false;
        shown.preview.setShowOriginal(true);
        return shown.preview.devicePixelRatio() == 1.0;
    }

private slots:
    void initTestCase()
    {
        // The built data folder: placeholders, stocks and grain.
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        QVERIFY(QFileInfo::exists(ApplicationPaths::instance()->resourcesPath() + "placeholderEM.bin"));
        m_manager = std::make_unique<MetadataManager>(Emulsa::Test::makeTempFolder(QStringLiteral("cache")));
    }

    void cleanupTestCase()
    {
        m_items.clear();
        m_manager.reset();
    }

    void placeholders()
    {
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        QVERIFY(exposed(preview, 640, 360));
        QVERIFY(show(preview, nullptr));
        const QImage none = preview.grabFramebuffer();
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::NoClipPicture);
        QVERIFY(!none.isNull());
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));

        SequenceItem* broken = brokenItem();
        QVERIFY(broken);
        QVERIFY(!broken->asset->valid);
        QVERIFY(show(preview, broken));
        const QImage invalid = preview.grabFramebuffer();
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::InvalidClipPicture);
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
        QVERIFY(preview.failure().isEmpty());
        // The two pictures are the installed images, scaled into the window.
        const QString resources = ApplicationPaths::instance()->resourcesPath();
        for (auto [grabbed, file] :
            { std::pair { none, "placeholderEM.bin" }, std::pair { invalid, "placeholderIF.bin" } }) {
            const QImage expected = QImage(resources + file, "TIFF").scaled(grabbed.size());
            QVERIFY(!expected.isNull());
            QVERIFY2(qAbs(meanLuma(grabbed) - meanLuma(expected)) < 4.0, file);
        }
        QVERIFY(none != invalid);
    }

    void seekWhilePausedShowsThatFrame_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<QList<int>>("frames");
        QTest::newRow("h264, key frame every 12") << int(TestMedia::NoAudio) << QList<int> { 7, 13, 0, 24, 29, 12, 11 };
        QTest::newRow("prores") << int(TestMedia::ProResMov) << QList<int> { 20, 3, 29 };
        QTest::newRow("29.97") << int(TestMedia::H264Fps2997) << QList<int> { 40, 59, 1 };
    }

    void seekWhilePausedShowsThatFrame()
    {
        QFETCH(int, clip);
        QFETCH(QList<int>, frames);
        ShownPreview shown;
        QVERIFY(showIn(shown, item(TestMedia::Clip(clip))));
        OpenGLPreview& preview = shown.preview;
        QVERIFY(preview.processor());
        preview.setShowOriginal(true);
        QCOMPARE(TestMedia::frameIndexFromImage(preview.grabFramebuffer()), 0);
        QSignalSpy positions(&shown.player, &PreviewPlayer::frameChanged);
        for (int frame : frames) {
            QVERIFY(seek(preview, frame));
            const QImage grabbed = preview.grabFramebuffer();
            QCOMPARE(preview.shownFrameIndex(), frame);
            QCOMPARE(TestMedia::frameIndexFromImage(grabbed), frame);
            QCOMPARE(positions.last().at(0).toInt(), frame);
            QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
        }
    }

    void twentyClipSwitches()
    {
        const QList<TestMedia::Clip> clips = { TestMedia::NoAudio, TestMedia::Portrait, TestMedia::H264FullRange,
            TestMedia::H264Height1088, TestMedia::ProResMov, TestMedia::H264Limited1080p25 };
        std::vector<SequenceItem*> items;
        for (TestMedia::Clip clip : clips) {
            items.push_back(item(clip));
            QVERIFY(items.back());
        }
        items.push_back(brokenItem());
        items.push_back(nullptr);
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        QVERIFY(exposed(preview, 640, 360));
        for (int i = 0; i < 20; ++i) {
            const SequenceItem* current = items[size_t(i * 5) % items.size()];
            QVERIFY(show(preview, current));
            preview.setShowOriginal(true);
            const QImage grabbed = preview.grabFramebuffer();
            QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
            if (current && current->asset->valid) {
                QCOMPARE(preview.shown(), OpenGLPreview::Shown::Frame);
                const QRect viewport = preview.pictureViewport();
                if (current->asset->height > current->asset->width)
                    QVERIFY(viewport.height() == 360 && viewport.width() < 640);
                QCOMPARE(TestMedia::frameIndexFromImage(pictureOf(grabbed, viewport)), 0);
            } else {
                QVERIFY(preview.shown() != OpenGLPreview::Shown::Frame);
            }
        }
    }

    void waitsForTheRecordAndSeeksBeforeShown()
    {
        SequenceItem* current = item(TestMedia::H264FullRange);
        QVERIFY(current);
        AssetMetadata pending(*current->asset);
        pending.ready = false;
        SequenceItem pendingItem(&pending, &m_settings, 0, pending.frameCount);
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        // A seek before the window is shown: the frame waits for it.
        QVERIFY(show(preview, current));
        QVERIFY(seek(preview, 9));
        QVERIFY(exposed(preview, 640, 360));
        preview.setShowOriginal(true);
        QCOMPARE(TestMedia::frameIndexFromImage(preview.grabFramebuffer()), 9);

        // A record still being read shows the no-clip picture until it is
        // ready (the grading tab then opens it in the player).
        QVERIFY(show(preview, &pendingItem));
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::NoClipPicture);
        QVERIFY(!preview.processor());
        pending.ready = true;
        QTRY_VERIFY(preview.processor());
        player.open(&pendingItem);
        QVERIFY(shownSettled(preview));
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::Frame);
        QCOMPARE(preview.shownFrameIndex(), 0);
    }

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

    void histogramArrives()
    {
        SequenceItem* current = item(TestMedia::H264FullRange);
        QVERIFY(current);
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        QVERIFY(exposed(preview, 640, 360));
        QSignalSpy ready(&preview, &OpenGLPreview::histogramDataReady);
        QVERIFY(show(preview, current));
        preview.render();
        QTRY_VERIFY(ready.count() > 0);
        for (int channel = 0; channel < 3; ++channel) {
            quint64 total = 0;
            for (int bin = 0; bin < 512; ++bin)
                total += preview.histogram(channel)[bin];
            QVERIFY2(total > 0, qPrintable(QString::number(channel)));
        }
    }

    // The preview grades from the packed frame; a small gauge's blur needs the
    // converted float picture, which a paused redraw must then make for the
    // frame already shown (not show an empty or stale one).
    void blurringGaugeConvertsTheShownFrame()
    {
        ShownPreview shown;
        QVERIFY(showIn(shown, item(TestMedia::NoAudio)));
        OpenGLPreview& preview = shown.preview;
        ShaderProcessor* processor = preview.processor();
        QVERIFY(processor);
        QCOMPARE(processor->blurAmount(), 0.f);
        QVERIFY(seek(preview, 9));
        const QImage sharp = preview.grabFramebuffer();
        QCOMPARE(TestMedia::frameIndexFromImage(sharp), 9);

        preview.setStock(m_settings.getStockName(), m_settings.getSourceType(), double(5.53f)); // 8 mm
        QCOMPARE(processor->blurAmount(), 1.f);
        const QImage soft = preview.grabFramebuffer();
        QVERIFY(processor->blurStorageAllocated());
        // The frames are flat: blurred, the same picture.
        QCOMPARE(TestMedia::frameIndexFromImage(soft), 9);
        QVERIFY2(qAbs(meanLuma(soft) - meanLuma(sharp)) < 2.0,
            qPrintable(QStringLiteral("%1 -> %2").arg(meanLuma(sharp)).arg(meanLuma(soft))));

        // Back to a gauge without blur: the packed frame again, the same picture.
        preview.setStock(m_settings.getStockName(), m_settings.getSourceType(), double(m_settings.getGrainScale()));
        QCOMPARE(processor->blurAmount(), 0.f);
        QCOMPARE(preview.grabFramebuffer(), sharp);
    }

    void gradeEditsReachTheProcessor()
    {
        ShownPreview shown;
        QVERIFY(showIn(shown, item(TestMedia::NoAudio)));
        OpenGLPreview& preview = shown.preview;
        ShaderProcessor* processor = preview.processor();
        QVERIFY(processor);
        const double before = meanLuma(preview.grabFramebuffer());
        const unsigned uploads = processor->uploadCount(ShaderProcessor::ExposureUpload);

        // One edit, one upload on the next (paused) redraw, and a brighter picture.
        ClipSettings edited = m_settings;
        edited.setExposure(2.0f);
        preview.applySettings(&edited);
        QCOMPARE(processor->uploadCount(ShaderProcessor::ExposureUpload), uploads + 1);
        const double brighter = meanLuma(preview.grabFramebuffer());
        QVERIFY2(brighter > before + 5.0, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(brighter)));

        edited.setSaturation(0.0f);
        preview.applySettings(&edited);
        QCOMPARE(processor->uploadCount(ShaderProcessor::ExposureUpload), uploads + 1);
        preview.setShowOriginal(true);
        QVERIFY(processor->bypass());
        QCOMPARE(TestMedia::frameIndexFromImage(preview.grabFramebuffer()), 0);
        preview.setShowOriginal(false);
        QVERIFY(!processor->bypass());

        QSignalSpy thumbnails(&preview, &OpenGLPreview::frameForThumbnail);
        preview.currentFrameNeededForThumbnail(QByteArrayLiteral("{preset}"));
        QCOMPARE(thumbnails.count(), 1);
        QVERIFY(!thumbnails.at(0).at(1).value<QImage>().isNull());
    }

    void uploadNeverOverrunsThePixelBuffer()
    {
        // A record claiming fewer bytes than the frames carry (a 1088-row
        // frame against a 1080-row record): the copy is cut to the buffer.
        SequenceItem* current = item(TestMedia::NoAudio);
        QVERIFY(current);
        AssetMetadata shortRecord(*current->asset);
        shortRecord.frameBytes = current->asset->frameBytes / 2;
        shortRecord.ready = true;
        SequenceItem shortItem(&shortRecord, &m_settings, 0, shortRecord.frameCount);
        ShownPreview shown;
        QVERIFY(showIn(shown, &shortItem));
        OpenGLPreview& preview = shown.preview;
        QVERIFY(seek(preview, 5));
        preview.grabFramebuffer();
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::Frame);
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
    }

    void contextFailureIsShownNotFatal()
    {
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        preview.setRequiredVersion(9, 9);
        QSignalSpy failed(&preview, &OpenGLPreview::previewFailed);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("OpenGL 9.9 core is not available"));
        QVERIFY(exposed(preview, 320, 180));
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::Failure);
        QVERIFY(!preview.failure().isEmpty());
        // Later calls do nothing and report nothing new.
        QVERIFY(show(preview, item(TestMedia::NoAudio)));
        player.setPlaying(true);
        QVERIFY(seek(preview, 3));
        player.setPlaying(false);
        preview.render();
        QCOMPARE(failed.count(), 1);
        QVERIFY(preview.grabFramebuffer().isNull());
    }

    void previewAreaShowsTheFailure()
    {
        PreviewPlayer player;
        auto* preview = new OpenGLPreview(&player);
        preview->setRequiredVersion(9, 9);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("OpenGL 9.9 core is not available"));
        PreviewArea area(preview);
        QVERIFY(!area.showsFailure());
        area.resize(320, 200);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QTRY_VERIFY(area.showsFailure());
        QVERIFY(area.failureText().contains(QStringLiteral("OpenGL 9.9")));
    }

    void previewAreaWarnsWhileTheGradeCannotBeApplied()
    {
        PreviewPlayer player;
        auto* preview = new OpenGLPreview(&player);
        PreviewArea area(preview);
        area.resize(320, 220);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        // A profile of the catalogue whose tables are not installed.
        ClipSettings missing;
        missing.setSourceType(ProfileInfo::packId("SN02"));
        SequenceItem* clip = item(TestMedia::NoAudio);
        QVERIFY(clip);
        SequenceItem ungraded(clip->asset, &missing, 0, clip->asset->frameCount);
        QVERIFY(show(*preview, &ungraded));
        QVERIFY(seek(*preview, 2));
        QTRY_VERIFY(area.showsGradeWarning());
        QVERIFY(show(*preview, clip));
        QVERIFY(seek(*preview, 2));
        QTRY_VERIFY(!area.showsGradeWarning());
    }
};

EMULSA_TEST_MAIN(OpenGLPreviewTest)
#include "tst_openglpreview.moc"
