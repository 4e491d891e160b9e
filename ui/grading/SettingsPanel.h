#pragma once

#include "core/ClipSettings.h"
#include "core/GradeFields.h"

#include <QWidget>

#include <deque>

class QAbstractSpinBox;
class QComboBox;
class QDoubleSpinBox;

namespace Emulsa {

class CameraProfileSection;
class CustomSlider;
class EMColorWheel;
class EMHistogramWidget;
class LevelsSection;
class SettingsPanelHeaderWidget;

// The grading panel: one control per value of the current clip's grade. Every
// user change leaves as a signal; every change that is not part of a drag
// (keyboard, spin box, wheel reset, reset camera) first sends its
// about-to-change signal, so each edit is one undo step and a press followed
// by a drag is one as well. Values from the model are shown with the panel's
// signals blocked, so showing never posts a command.
class SettingsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsPanel(QWidget* parent = nullptr);
    ~SettingsPanel() override;

    // Shows a whole grade (signals blocked).
    void updateSettings(const ClipSettings& settings);
    void setStockName(const QString& code);
    void setLevels(const HistogramSliderData& levels);
    void setSourceType(uint profileId);

    SettingsPanelHeaderWidget* header() const { return m_header; }
    EMHistogramWidget* histogramWidget() const;
    // The camera profile, its chooser, download and making.
    CameraProfileSection* camera() const { return m_camera; }
    // A control is being dragged with the mouse (a slider, a wheel, a levels
    // handle).
    bool isDragging() const;

public slots:
    void resetCamera();
    void histogramBeforeLevelChanged(bool before);

signals:
    void groupOfCommand(bool begin);
    void sourceTypeComboValueChanged(uint profileId);
    void sourceTypeComboValueChangedForAll(uint profileId);
    void defaultProfileChanged(uint profileId);
    void stockTypeComboValueChanged(const QString& code);
    void grainSizeComboValueChanged(const QString& name);
    void histogramPreLevel(bool before);
    // Any continuous field (GradeFields: each slider, each wheel, the levels):
    // about to change once as an edit begins (a press, a key, a typed
    // value), then each value it takes.
    void gradeValueChanged(Emulsa::GradeField field, const Emulsa::GradeValue& value);
    void gradeValueAboutToChange(Emulsa::GradeField field);

private:
    // One slider of a field with its display box.
    struct ValueControl
    {
        const GradeFieldInfo* field = nullptr;
        CustomSlider* slider = nullptr;
        QAbstractSpinBox* display = nullptr;
    };

    QWidget* buildStockSection();
    QWidget* buildFilmEffectsSection();
    QWidget* buildWheelsSection();
    ValueControl& addValueControl(QWidget* parent, GradeField field);
    ValueControl& control(GradeField field) { return *m_sliders[int(field)]; }
    void showSlider(ValueControl& control, int value);

    SettingsPanelHeaderWidget* m_header = nullptr;
    CameraProfileSection* m_camera = nullptr;
    std::deque<ValueControl> m_controls; // a deque: the pointers below stay valid
    ValueControl* m_sliders[GradeFieldCount] = {}; // by field; null for the wheels and the levels
    QComboBox* m_stocks = nullptr;
    QComboBox* m_grainSizes = nullptr;
    EMColorWheel* m_wheels[3] = {};
    LevelsSection* m_levels = nullptr;
};

} // namespace Emulsa
