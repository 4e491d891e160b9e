#include "ui/preview/PreviewZoom.h"

#include "ui/preview/PreviewViewport.h"

namespace Emulsa {

bool PreviewZoom::zoomAbout(double factor, const QPointF& point, const QSize& window, const QSize& picture)
{
    const double target = factor > 0.0 ? PreviewViewport::clampZoom(factor, picture) : 0.0;
    if (target == m_factor)
        return false;
    m_pan = PreviewViewport::panAbout(window, picture, m_factor, m_pan, target, point);
    m_factor = target;
    return true;
}

bool PreviewZoom::turnWheel(int angleDelta, const QPointF& point, const QSize& window, const QSize& picture)
{
    m_wheelAngle += angleDelta;
    const int notches = m_wheelAngle / 120;
    m_wheelAngle -= notches * 120;
    if (notches == 0)
        return false;
    const double from = PreviewViewport::shownScale(window, picture, m_factor);
    return zoomAbout(PreviewViewport::stepZoom(from, notches, picture), point, window, picture);
}

void PreviewZoom::press(const QPoint& position, const QSize& window, const QSize& picture)
{
    if (!PreviewViewport::canPan(window, picture, m_factor))
        return;
    m_panning = true;
    m_lastMouse = position;
}

bool PreviewZoom::release()
{
    const bool was = m_panning;
    m_panning = false;
    return was;
}

bool PreviewZoom::drag(const QPoint& position, qreal ratio, const QSize& window, const QSize& picture)
{
    const QPoint delta = (position - m_lastMouse) * ratio;
    m_lastMouse = position;
    const QPoint pan = PreviewViewport::movePan(m_pan, delta, window, picture, m_factor);
    if (pan == m_pan)
        return false;
    m_pan = pan;
    return true;
}

Qt::CursorShape PreviewZoom::cursor(const QSize& window, const QSize& picture) const
{
    if (m_panning)
        return Qt::ClosedHandCursor;
    return PreviewViewport::canPan(window, picture, m_factor) ? Qt::OpenHandCursor : Qt::ArrowCursor;
}

} // namespace Emulsa
