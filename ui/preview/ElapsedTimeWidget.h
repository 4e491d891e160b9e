#pragma once

#include <QString>
#include <QWidget>

namespace Emulsa {

// The playback position as HH:MM:SS:FF under the preview, right-aligned.
// Without a frame rate it shows 00:00:00:00.
class ElapsedTimeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ElapsedTimeWidget(QWidget* parent = nullptr);

    // The timecode of a frame at a frame rate: hours (modulo 24), minutes and
    // seconds of the frame's start time, then the frame within its second
    // (three digits from 100 fps up). Empty when the rate is not above 0.
    // Rates below 1 count every frame as frame 0 of its second.
    static QString timecode(qint64 frame, double fps);
    static QString noTimeText() { return QStringLiteral("00:00:00:00"); }

    QString text() const { return m_noTime ? noTimeText() : m_timecode; }
    QSize sizeHint() const override;

public slots:
    // fps 0 (or any rate that is not above 0) shows the no-time text.
    void setPosition(qint64 frame, double fps);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_noTime = true;
    QString m_timecode;
};

} // namespace Emulsa
