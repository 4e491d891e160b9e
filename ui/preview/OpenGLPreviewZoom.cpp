#include "ui/preview/OpenGLPreview.h"

#include <QMouseEvent>
#include <QWheelEvent>

// The preview window's side of zoom and pan (PreviewZoom keeps the state):
// the zoom buttons, the wheel, a drag of the enlarged picture, a double click
// back to fit, and the cursor that says a drag is possible.
namespace Emulsa {

void OpenGLPreview::setZoom(bool enabled)
{
    setZoomFactor(enabled ? 1.0 : 0.0);
}

void OpenGLPreview::setZoomFactor(double factor)
{
    const QSize window = windowPixels();
    if (m_zoom.zoomAbout(factor, QPointF(window.width() / 2.0, window.height() / 2.0), window, pictureSize()))
        zoomApplied();
}

void OpenGLPreview::zoomApplied()
{
    updateCursor();
    redrawWhenPaused();
    emit zoomChanged(m_zoom.factor());
}

void OpenGLPreview::updateCursor()
{
    const Qt::CursorShape shape = m_zoom.cursor(windowPixels(), pictureSize());
    if (shape == m_cursorShape)
        return;
    m_cursorShape = shape;
    setCursor(shape);
}

void OpenGLPreview::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_zoom.press(event->pos(), windowPixels(), pictureSize());
    updateCursor();
}

void OpenGLPreview::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_zoom.release())
        updateCursor();
}

void OpenGLPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_zoom.isPanning()) {
        // The window may have been resized since the zoom last changed.
        updateCursor();
        return;
    }
    if (clipUsable() && m_zoom.drag(event->pos(), devicePixelRatio(), windowPixels(), pictureSize()))
        redrawWhenPaused();
}

void OpenGLPreview::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_zoom.release();
    setZoomFactor(0.0);
    updateCursor();
}

void OpenGLPreview::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (m_zoom.turnWheel(
            event->angleDelta().y(), event->position() * devicePixelRatio(), windowPixels(), pictureSize()))
        zoomApplied();
}

} // namespace Emulsa
