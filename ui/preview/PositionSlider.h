#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;

namespace Emulsa {

// The playback position of the current clip under the preview: a knob for
// the frame shown and two handles for the in point (start) and out point
// (end). A knob drag is bracketed by startScrolling() and stopScrolling() and
// emits the value on every move and again every 500 ms; a click on the track
// jumps the knob there. The owner writes the value, in and out points and the
// length with the setters, which emit nothing.
class PositionSlider : public QWidget
{
    Q_OBJECT

public:
    explicit PositionSlider(QWidget* parent = nullptr);

    int value() const { return m_value; }
    uint start() const { return m_start; }
    uint end() const { return m_end; }
    int length() const { return m_length; }

    // Value, points and length as the owner knows them; each re-lays out the
    // children and emits nothing. The value is kept as given.
    void setValue(int value);
    void setLength(int length);
    // Start 0, no end, value 0, length 0.
    void reset();

    // Left edges of the children, for tests and the owner.
    QPoint knobPosition() const;
    QPoint startHandlePosition() const;
    QPoint endHandlePosition() const;
    bool isScrolling() const { return m_draggingKnob; }

signals:
    void startingHandleMoved(uint start);
    void endingHandleMoved(uint end);
    void startScrolling();
    void stopScrolling();
    void valueChanged(int value);

public slots:
    void setStartPoint(uint start);
    void setEndPoint(uint end);
    void emitValueChangedSignal();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void moveKnobTo(int x);
    void moveStartHandleTo(int x);
    void moveEndHandleTo(int x);
    void layoutChildren();

    QLabel* m_knob = nullptr;
    QLabel* m_startHandle = nullptr;
    QLabel* m_endHandle = nullptr;
    int m_value = 0;
    uint m_start = 0;
    uint m_end = 0xFFFFFFFFu;
    int m_length = 0;
    bool m_draggingKnob = false;
    bool m_draggingStart = false;
    bool m_draggingEnd = false;
    QTimer m_repeatTimer;
};

} // namespace Emulsa
