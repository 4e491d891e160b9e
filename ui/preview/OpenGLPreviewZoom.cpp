#include "ui/preview/OpenGLPreview.h"

#include "ui/preview/PreviewViewport.h"

#include <QMouseEvent>
#include <QWheelEvent>

// The preview's zoom and pan: the zoom buttons' factors, the wheel in whole
// notches about the pointer, a drag of the enlarged picture, and a double
// click back to fit.
namespace Emulsa {

void OpenGLPreview::setZoom(bool enabled)
{
    setZoomFactor(enabled ? 1.0 : 0.0);
}

void OpenGLPreview::setZoomFactor(double factor)
{
    const QSize window = windowPixels();
    zoomAbout(factor, QPointF(window.width() / 2.0, window.height() / 2.0));
}

void OpenGLPreview::zoomAbout(double factor, const QPointF& point)
{
    const QSize window = windowPixels();
    const QSize picture = pictureSize();
    const double target = factor > 0.0 ? PreviewViewport::clampZoom(factor, picture) : 0.0;
    if (target == m_zoomFactor)
        return;
    m_pan = PreviewViewport::panAbout(window, picture, m_zoomFactor, m_pan, target, point);
    m_zoomFactor = target;
    updateCursor();
    redrawWhenPaused();
    emit zoomChanged(target);
}

void OpenGLPreview::updateCursor()
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (m_panning)
        shape = Qt::ClosedHandCursor;
    else if (PreviewViewport::canPan(windowPixels(), pictureSize(), m_zoomFactor))
        shape = Qt::OpenHandCursor;
    if (shape == m_cursorShape)
        return;
    m_cursorShape = shape;
    setCursor(shape);
}

void OpenGLPreview::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && PreviewViewport::canPan(windowPixels(), pictureSize(), m_zoomFactor)) {
        m_panning = true;
        m_lastMouse = event->pos();
        updateCursor();
    }
}

void OpenGLPreview::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_panning && event->button() == Qt::LeftButton) {
        m_panning = false;
        updateCursor();
    }
}

void OpenGLPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_panning) {
        // The window may have been resized since the zoom last changed.
        updateCursor();
        return;
    }
    if (!clipUsable())
        return;
    const QPoint delta = (event->pos() - m_lastMouse) * devicePixelRatio();
    m_lastMouse = event->pos();
    const QPoint pan = PreviewViewport::movePan(m_pan, delta, windowPixels(), pictureSize(), m_zoomFactor);
    if (pan == m_pan)
        return;
    m_pan = pan;
    redrawWhenPaused();
}

void OpenGLPreview::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_panning = false;
    setZoomFactor(0.0);
    updateCursor();
}

void OpenGLPreview::wheelEvent(QWheelEvent* event)
{
    // Whole notches of 15 degrees; finer wheels and touchpads add up to one.
    m_wheelAngle += event->angleDelta().y();
    const int notches = m_wheelAngle / 120;
    m_wheelAngle -= notches * 120;
    event->accept();
    if (notches == 0)
        return;
    const QSize picture = pictureSize();
    const double from = PreviewViewport::shownScale(windowPixels(), picture, m_zoomFactor);
    zoomAbout(PreviewViewport::stepZoom(from, notches, picture), event->position() * devicePixelRatio());
}

} // namespace Emulsa
