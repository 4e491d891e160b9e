#pragma once

#include <QGroupBox>

class QLabel;
class QProgressBar;
class QPushButton;

namespace Emulsa {

class CameraChooserWidget;
class ProfileDownloader;
class ProfileMaker;

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

// The camera section of the grading panel ("Camera"): the camera profile of
// the clip shown, the buttons to change and reset it, and getting a profile
// that is not installed (downloaded, or made on this machine, also from a
// .cube file) with its progress and cancel button. Its grid layout takes the
// panel's exposure and white balance rows below the buttons.
class CameraProfileSection : public QGroupBox
{
    Q_OBJECT

public:
    explicit CameraProfileSection(QWidget* parent = nullptr);

    // Shows the profile of the clip shown (no signal).
    void setSourceType(uint profileId);
    uint sourceType() const { return m_sourceType; }

    ProfileDownloader* downloader() const { return m_downloader; }
    ProfileMaker* maker() const { return m_maker; }
    // The camera chooser, made on first use.
    CameraChooserWidget* cameraChooser();

    // Starts downloading a profile from the mirror of that index (the one
    // last chosen when negative); shows the progress bar and its cancel
    // button. Without a configured mirror the profile is made on this
    // machine instead (in the background, the same bar and button showing
    // its progress), or, for a profile the generator does not know, the
    // section explains that downloads are not configured. An installed
    // profile is confirmed in the section, offered by the chooser and
    // applied as the purpose says.
    void startProfileDownload(uint profileId, int mirrorIndex = -1, ProfileDownloadPurpose purpose = {});
    // What "Add camera from LUT..." does once the user picked a .cube and
    // named the camera: adds the camera as a profile of its own, then makes
    // its tables (the progress bar and Cancel showing) and gives it to the
    // clip. False, with the reason in the section, when the name or the
    // table cannot be used.
    bool addCameraFromLut(const QString& cubePath, const QString& name);

signals:
    // The user gave the clip shown, or every clip, a profile (chosen, or
    // installed for that purpose).
    void profileChosen(uint profileId);
    void profileChosenForAll(uint profileId);
    void defaultProfileChosen(uint profileId);
    // "Reset" was pressed: the exposure and white balance go back to their
    // defaults.
    void resetRequested();

private:
    void showProfile(uint profileId);
    static QString profileTitle(uint profileId);
    void showNote(const QString& text);
    void startProfileMake(uint profileId);
    void profileInstalled(uint profileId, const QString& note);
    void endDownload();
    void showChooser();

    QLabel* m_cameraLabel;
    QPushButton* m_changeCamera;
    QPushButton* m_resetCamera;
    QPushButton* m_makeProfile;
    QPushButton* m_addCameraFromLut;
    QProgressBar* m_downloadProgress;
    QPushButton* m_cancelDownload;
    QLabel* m_downloadNote;
    CameraChooserWidget* m_chooser = nullptr;
    ProfileDownloader* m_downloader;
    ProfileMaker* m_maker;
    uint m_sourceType = 0;
    ProfileDownloadPurpose m_downloadPurpose;
};

} // namespace Emulsa
