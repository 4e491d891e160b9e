#pragma once

#include "common/TestEnvironment.h"

#include "app/PreviewPlayer.h"
#include "common/TestMedia.h"
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

namespace Emulsa::Test {

// Mean luma of an image, 0..255.
inline double meanLuma(const QImage& image)
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
inline QImage pictureOf(const QImage& grabbed, const QRect& viewport)
{
    return grabbed.copy(
        viewport.x(), grabbed.height() - viewport.y() - viewport.height(), viewport.width(), viewport.height());
}

// The window's top-left corner of a viewport (which counts rows from the
// bottom), in rows from the top.
inline QPoint topLeftOf(const QRect& viewport, int windowHeight)
{
    return QPoint(viewport.x(), windowHeight - viewport.y() - viewport.height());
}

// Whether a grabbed pixel is the pattern's white (true) or black (false), to
// within a few steps; anything between is neither.
inline bool matches(QRgb pixel, bool white)
{
    const int expected = white ? 255 : 0;
    return qAbs(qRed(pixel) - expected) <= 6 && qAbs(qGreen(pixel) - expected) <= 6
        && qAbs(qBlue(pixel) - expected) <= 6;
}

inline QString describe(int x, int y, QRgb pixel, bool white)
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
inline QString blockMismatch(const QImage& grabbed, const QPoint& topLeft, int scale)
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
inline QString viewportMismatch(const QImage& grabbed, const QRect& viewport, int* checked)
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

inline void turnWheel(OpenGLPreview& preview, const QPointF& at, int angle)
{
    QWheelEvent event(at, preview.mapToGlobal(at.toPoint()), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&preview, &event);
}

inline void doubleClick(OpenGLPreview& preview, const QPointF& at)
{
    QMouseEvent event(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&preview, &event);
}

inline void drag(OpenGLPreview& preview, const QPoint& from, const QPoint& by)
{
    QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&preview, from + by);
    QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, from + by);
}

// The test clips' records and sequence items for the preview tests, and
// previews shown, paused and moved to a frame the way the grading tab does;
// helpers compare what a preview drew with the pixel pattern.
class OpenGLPreviewFixture : public QObject
{
    Q_OBJECT

protected:
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
};

} // namespace Emulsa::Test
