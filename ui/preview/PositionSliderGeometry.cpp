#include "ui/preview/PositionSliderGeometry.h"

#include <algorithm>

namespace Emulsa {

namespace {

// Position of frame f on a track, single precision and truncated like every
// other placement of the slider.
int placeOnTrack(qint64 track, qint64 frame, qint64 length)
{
    if (track <= 0 || length <= 0)
        return 0;
    return int(float(track) * (float(frame) / float(length)));
}

// The edge test from u to v for point p.
qint64 edge(const QPoint& u, const QPoint& v, const QPoint& p)
{
    return qint64(v.x() - u.x()) * (p.y() - u.y()) - qint64(v.y() - u.y()) * (p.x() - u.x());
}

} // namespace

qint64 PositionSliderGeometry::trackWidth(int widgetWidth)
{
    return std::max<qint64>(0, qint64(widgetWidth) - 2 * Margin);
}

int PositionSliderGeometry::knobLeft(int widgetWidth, qint64 value, qint64 length)
{
    return placeOnTrack(trackWidth(widgetWidth), value, length) + KnobOffset;
}

int PositionSliderGeometry::startHandleLeft(int widgetWidth, quint32 start, qint64 length)
{
    return placeOnTrack(trackWidth(widgetWidth), start, length) + Margin;
}

int PositionSliderGeometry::endHandleLeft(int widgetWidth, quint32 end, qint64 length)
{
    if (end == NoEnd)
        return int(std::max<qint64>(0, qint64(widgetWidth) - Margin));
    return placeOnTrack(trackWidth(widgetWidth), end, length);
}

qint64 PositionSliderGeometry::frameAt(qint64 xFromTrackStart, int widgetWidth, qint64 length)
{
    const qint64 track = trackWidth(widgetWidth);
    if (track <= 0 || length <= 0)
        return 0;
    return xFromTrackStart * length / track;
}

qint64 PositionSliderGeometry::effectiveEnd(quint32 end, qint64 length)
{
    const qint64 clipEnd = std::max<qint64>(0, length);
    return end == NoEnd ? clipEnd : std::min<qint64>(end, clipEnd);
}

qint64 PositionSliderGeometry::clampValue(qint64 frame, quint32 start, quint32 end, qint64 length)
{
    const qint64 last = std::max<qint64>(0, effectiveEnd(end, length) - 1);
    const qint64 first = std::min<qint64>(start, last);
    return std::clamp(frame, first, last);
}

quint32 PositionSliderGeometry::clampStart(qint64 frame, quint32 end, qint64 length)
{
    const qint64 last = std::max<qint64>(0, effectiveEnd(end, length) - 1);
    return quint32(std::clamp<qint64>(frame, 0, last));
}

quint32 PositionSliderGeometry::clampEnd(qint64 frame, quint32 start, qint64 length)
{
    const qint64 clipEnd = std::max<qint64>(0, length);
    const qint64 first = std::min<qint64>(qint64(start) + 1, clipEnd);
    return quint32(std::clamp<qint64>(frame, first, clipEnd));
}

bool PositionSliderGeometry::insideTriangle(const QPoint& p, const QPoint& t1, const QPoint& t2, const QPoint& t3)
{
    const bool first = edge(t1, t2, p) > 0;
    const bool second = edge(t1, t3, p) >= 1;
    const bool third = edge(t2, t3, p) >= 1;
    return first != second && third == first;
}

bool PositionSliderGeometry::onKnob(const QPoint& point, const QPoint& knobTopLeft)
{
    const int dx = point.x() - knobTopLeft.x();
    const int dy = point.y() - knobTopLeft.y();
    if (dx < 0 || dy < 0 || dx >= KnobSize || dy >= KnobSize)
        return false;
    const int cx = dx - KnobSize / 2;
    const int cy = dy - KnobSize / 2;
    return cx * cx + cy * cy < 145;
}

bool PositionSliderGeometry::onStartHandle(const QPoint& point, int x)
{
    return insideTriangle(point, QPoint(x, 0), QPoint(x, HandleHeight), QPoint(x + HandleWidth, HandleHeight));
}

bool PositionSliderGeometry::onEndHandle(const QPoint& point, int x)
{
    return insideTriangle(
        point, QPoint(x + HandleWidth, 0), QPoint(x + HandleWidth, HandleHeight), QPoint(x, HandleHeight));
}

} // namespace Emulsa
