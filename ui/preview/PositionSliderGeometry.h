#pragma once

#include <QPoint>
#include <QtGlobal>

namespace Emulsa {

// The arithmetic of the position slider, apart from the widget so that it can
// be checked without painting. The track runs from x = 27 to x = width - 27;
// frame f of a clip of `length` frames lies at 27 + (width - 54) x f / length.
// Every function accepts any width and length: a widget narrower than the two
// margins has a track of width 0, and an empty clip (length 0) puts every
// frame at the start of the track. Frame arithmetic is 64-bit.
class PositionSliderGeometry
{
public:
    static constexpr int Margin = 27;
    static constexpr int KnobSize = 24;
    static constexpr int KnobOffset = 15; // the knob's left edge for frame 0
    static constexpr int HandleWidth = 27;
    static constexpr int HandleHeight = 23;
    static constexpr int Height = 24;
    // The out point when the clip has none.
    static constexpr quint32 NoEnd = 0xFFFFFFFFu;

    // Width of the track, never negative.
    static qint64 trackWidth(int widgetWidth);

    // Left edges of the knob and the two handles.
    static int knobLeft(int widgetWidth, qint64 value, qint64 length);
    static int startHandleLeft(int widgetWidth, quint32 start, qint64 length);
    static int endHandleLeft(int widgetWidth, quint32 end, qint64 length);

    // The frame under x measured from the track start (x - 27 for the knob and
    // the start handle, x itself for the end handle, whose left edge lies 27
    // pixels before its frame). 0 on an empty track or clip.
    static qint64 frameAt(qint64 xFromTrackStart, int widgetWidth, qint64 length);

    // The out point in effect: `end`, or the length when there is none.
    static qint64 effectiveEnd(quint32 end, qint64 length);
    // The knob's value for frame f: between the in point and the frame before
    // the out point, and inside the clip.
    static qint64 clampValue(qint64 frame, quint32 start, quint32 end, qint64 length);
    // In point for frame f: from 0 to the frame before the out point.
    static quint32 clampStart(qint64 frame, quint32 end, qint64 length);
    // Out point for frame f: from the frame after the in point to the length.
    static quint32 clampEnd(qint64 frame, quint32 start, qint64 length);

    // Hit tests, in widget coordinates. The knob is a disc in its 24 x 24
    // box; the handles are right triangles hanging from the track.
    static bool onKnob(const QPoint& point, const QPoint& knobTopLeft);
    static bool onStartHandle(const QPoint& point, int handleLeft);
    static bool onEndHandle(const QPoint& point, int handleLeft);
    // Whether a point is inside the triangle t1, t2, t3 (corners in the order
    // the handles list them).
    static bool insideTriangle(const QPoint& point, const QPoint& t1, const QPoint& t2, const QPoint& t3);
};

} // namespace Emulsa
