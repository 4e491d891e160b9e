#pragma once

#include "core/ClipSettings.h"
#include "core/GradeFields.h"

#include <QWidget>

#include <deque>

class QAbstractButton;
class QAbstractSpinBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace Emulsa {

class CameraChooserWidget;
class CustomSlider;
class EMColorWheel;
class EMHistogramSlider;
class EMHistogramWidget;
class ProfileDownloader;
class ProfileMaker;
class SettingsPanelHeaderWidget;

// What a downloaded profile becomes once installed: the current clip's
// profile, or every clip's, and possibly the default camera.
struct ProfileDownloadPurpose
{
    bool forAll = false;
    bool asDefault = false;
    // Installed for the profile the shown clip already has ("Make profile"):
    // given again to the clip shown then only if it still has that profile,
    // so that its picture is graded through the new tables.
    bool shownProfile = false;
};

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
    EMHistogramWidget* histogramWidget() const { return m_histogram; }
    ProfileDownloader* downloader() const { return m_downloader; }
    ProfileMaker* maker() const { return m_maker; }
    CameraChooserWidget* cameraChooser();
    // A control is being dragged with the mouse (a slider, a wheel, a levels
    // handle).
    bool isDragging() const;

    // Starts downloading a profile from the mirror of that index (the one
    // last chosen when negative); shows the progress bar and its cancel
    // button. Without a configured mirror the profile is made on this
    // machine instead (in the background, the same bar and button showing
    // its progress), or, for a profile the generator does not know, the
    // panel explains that downloads are not configured. An installed
    // profile is confirmed in the camera section, offered by the chooser
    // and applied as the purpose says.
    void startProfileDownload(uint profileId, int mirrorIndex = -1, ProfileDownloadPurpose purpose = {});

    // What "Add camera from LUT..." does once the user picked a .cube and
    // named the camera: adds the camera as a profile of its own, then makes
    // its tables (the progress bar and Cancel showing) and gives it to the
    // clip. False, with the reason in the camera section, when the name or
    // the table cannot be used.
    bool addCameraFromLut(const QString& cubePath, const QString& name);

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

    QWidget* buildCameraSection();
    QWidget* buildStockSection();
    QWidget* buildFilmEffectsSection();
    QWidget* buildWheelsSection();
    QWidget* buildLevelsSection();
    ValueControl& addValueControl(QWidget* parent, GradeField field);
    ValueControl& control(GradeField field) { return *m_sliders[int(field)]; }
    void showSlider(ValueControl& control, int value);
    void showProfile(uint profileId);
    static QString profileTitle(uint profileId);
    void showLevelDisplays(const HistogramSliderData& levels);
    void levelDisplayEdited();
    void endDownload();
    void startProfileMake(uint profileId);
    void profileInstalled(uint profileId, const QString& note);

    SettingsPanelHeaderWidget* m_header = nullptr;
    std::deque<ValueControl> m_controls; // a deque: the pointers below stay valid
    ValueControl* m_sliders[GradeFieldCount] = {}; // by field; null for the wheels and the levels
    QComboBox* m_stocks = nullptr;
    QComboBox* m_grainSizes = nullptr;
    EMColorWheel* m_wheels[3] = {};
    EMHistogramSlider* m_levels = nullptr;
    EMHistogramWidget* m_histogram = nullptr;
    QSpinBox* m_levelDisplays[3] = {};
    QAbstractButton* m_beforeLevels = nullptr;
    QAbstractButton* m_afterLevels = nullptr;
    QLabel* m_cameraLabel = nullptr;
    QLabel* m_downloadNote = nullptr;
    QPushButton* m_changeCamera = nullptr;
    QPushButton* m_resetCamera = nullptr;
    // Shown while the clip's profile is installed nowhere and can be made.
    QPushButton* m_makeProfile = nullptr;
    QPushButton* m_addCameraFromLut = nullptr;
    QProgressBar* m_downloadProgress = nullptr;
    QPushButton* m_cancelDownload = nullptr;
    CameraChooserWidget* m_chooser = nullptr;
    ProfileDownloader* m_downloader = nullptr;
    ProfileMaker* m_maker = nullptr;
    uint m_sourceType = 0;
    ProfileDownloadPurpose m_downloadPurpose;
};

} // namespace Emulsa
