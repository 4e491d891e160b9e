#pragma once

#include "core/ClipSettings.h"

#include <QGroupBox>

class QAbstractButton;
class QSpinBox;

namespace Emulsa {

class EMHistogramSlider;
class EMHistogramWidget;

// The levels section of the grading panel ("Levels"): the histogram of the
// graded picture, the black, mid and white handles with a box each for
// typing them (in percent), and whether the histogram is measured before or
// after the levels.
class LevelsSection : public QGroupBox
{
    Q_OBJECT

public:
    // `sliderName`: the object name of the handles' slider.
    LevelsSection(const QString& sliderName, QWidget* parent = nullptr);

    EMHistogramWidget* histogram() const { return m_histogram; }
    // Shows levels (no signal).
    void setLevels(const HistogramSliderData& levels);
    // Checks the before or after button (no signal) and repaints the
    // histogram.
    void showBeforeLevels(bool before);
    // A handle is being dragged with the mouse.
    bool isDragging() const;

signals:
    // An edit of the levels begins (a press on a handle, a typed value);
    // then each value they take.
    void aboutToChange();
    void changed(const HistogramSliderData& levels);
    // The before or after button was pressed.
    void beforeLevelsChosen(bool before);

private:
    void showDisplays(const HistogramSliderData& levels);
    void displayEdited();

    EMHistogramWidget* m_histogram;
    EMHistogramSlider* m_levels;
    QSpinBox* m_displays[3] = {};
    QAbstractButton* m_before = nullptr;
    QAbstractButton* m_after = nullptr;
};

} // namespace Emulsa
