#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;

namespace Emulsa {

class CameraListHelper;
class FilmLibrary;

// Picks a camera profile from the catalogue through three linked menus
// (manufacturer, model, profile). "Apply" and "Apply to All" either make the
// choice current or, when its tables are not installed, ask for a download
// from the mirror chosen in "Download from:" (disabled, reading "Not
// configured", when there is none). Profiles not installed are marked
// "(download)" until refreshInstalledState() finds them installed.
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
    bool isDefaultCameraChecked() const;
    // Whether the last download asked for came from "Apply to All".
    bool downloadAppliesToAll() const { return m_downloadForAll; }

    // The download mirrors by name, with the one to select.
    void setMirrorNames(const QStringList& names, int selected);
    // The index of the mirror chosen, -1 when there is none.
    int selectedMirror() const;

    // Reads the film library's installed state of the listed profiles again,
    // keeping the selection.
    void refreshInstalledState();

public slots:
    void applyPressed();
    void applyToAllPressed();

signals:
    void profileChanged(uint profileId);
    void profileAppliedToAll(uint profileId);
    void newDefaultProfileChosen(uint profileId);
    void newProfileToBeDownload(uint profileId);
    // The user chose another download mirror.
    void mirrorChosen(int index);
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
    QComboBox* m_mirrors;
    QCheckBox* m_defaultCamera;
    uint m_current = 0;
    bool m_downloadForAll = false;
};

} // namespace Emulsa
