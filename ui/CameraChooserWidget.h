#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;

namespace Emulsa {

class CameraListHelper;
class FilmLibrary;

// Picks a camera profile from the catalogue through three linked menus
// (manufacturer, model, profile). "Apply" and "Apply to All" either make the
// choice current or, when its tables are not installed, ask for a download.
class CameraChooserWidget : public QWidget
{
    Q_OBJECT

public:
    // The process-wide catalogue and film library when null.
    explicit CameraChooserWidget(
        CameraListHelper* catalogue = nullptr, const FilmLibrary* library = nullptr, QWidget* parent = nullptr);

    // Selects the profile in the menus (nothing when the id is unknown).
    void setCurrentProfile(uint profileId);
    uint currentProfile() const { return m_current; }
    // The profile the menus show now (0 when none).
    uint selectedProfile() const;

    void setDefaultCameraChecked(bool checked);

public slots:
    void applyPressed();
    void applyToAllPressed();

signals:
    void profileChanged(uint profileId);
    void profileAppliedToAll(uint profileId);
    void newDefaultProfileChosen(uint profileId);
    void newProfileToBeDownload(uint profileId);
    void widgetGoingToClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fillManufacturers();
    void fillModels();
    void fillProfiles();
    // False when the choice must be downloaded first (the request is sent).
    bool acceptChoice(uint profileId);

    CameraListHelper* m_catalogue;
    const FilmLibrary* m_library;
    QComboBox* m_manufacturers;
    QComboBox* m_models;
    QComboBox* m_profiles;
    QCheckBox* m_defaultCamera;
    uint m_current = 0;
};

} // namespace Emulsa
