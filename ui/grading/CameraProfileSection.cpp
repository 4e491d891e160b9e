#include "ui/grading/CameraProfileSection.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "model/ProfileDownloader.h"
#include "model/ProfileMaker.h"
#include "ui/grading/CameraChooserWidget.h"

#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace Emulsa {

CameraProfileSection::CameraProfileSection(QWidget* parent)
    : QGroupBox(QStringLiteral("Camera"), parent)
    , m_cameraLabel(new QLabel(this))
    , m_changeCamera(new QPushButton(QStringLiteral("Change"), this))
    , m_resetCamera(new QPushButton(QStringLiteral("Reset"), this))
    , m_makeProfile(new QPushButton(QStringLiteral("Make profile"), this))
    , m_addCameraFromLut(new QPushButton(QStringLiteral("Add camera from LUT..."), this))
    , m_downloadProgress(new QProgressBar(this))
    , m_cancelDownload(new QPushButton(QStringLiteral("Cancel"), this))
    , m_downloadNote(new QLabel(this))
    , m_downloader(new ProfileDownloader(this))
    , m_maker(new ProfileMaker(this))
{
    setObjectName(QStringLiteral("cameraGroup"));
    auto* grid = new QGridLayout(this);
    m_cameraLabel->setObjectName(QStringLiteral("cameraLabel"));
    m_cameraLabel->setWordWrap(true);
    m_changeCamera->setObjectName(QStringLiteral("changeCameraButton"));
    m_resetCamera->setObjectName(QStringLiteral("resetCameraButton"));
    m_makeProfile->setObjectName(QStringLiteral("makeProfileButton"));
    m_makeProfile->setToolTip(QStringLiteral("This camera profile is not installed: make its tables on this machine"));
    m_makeProfile->hide();
    m_addCameraFromLut->setObjectName(QStringLiteral("addCameraFromLutButton"));
    m_addCameraFromLut->setToolTip(
        QStringLiteral("Add a camera from a .cube file that turns its log footage into Rec. 709 video"));
    m_downloadProgress->setObjectName(QStringLiteral("downloadProgressBar"));
    m_cancelDownload->setObjectName(QStringLiteral("cancelDownloadButton"));
    m_downloadNote->setObjectName(QStringLiteral("downloadNote"));
    m_downloadNote->setWordWrap(true);
    m_downloadProgress->hide();
    m_cancelDownload->hide();
    m_downloadNote->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_changeCamera);
    buttons->addWidget(m_resetCamera);
    buttons->addWidget(m_makeProfile);
    buttons->addWidget(m_addCameraFromLut);
    buttons->addWidget(m_downloadProgress, 1);
    buttons->addWidget(m_cancelDownload);
    grid->addWidget(m_cameraLabel, 0, 0, 1, 3);
    grid->addLayout(buttons, 1, 0, 1, 3);
    grid->addWidget(m_downloadNote, 2, 0, 1, 3);

    connect(m_resetCamera, &QPushButton::clicked, this, &CameraProfileSection::resetRequested);
    connect(m_makeProfile, &QPushButton::clicked, this, [this] {
        m_downloadPurpose = {};
        m_downloadPurpose.shownProfile = true;
        startProfileMake(m_sourceType);
    });
    connect(m_addCameraFromLut, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Add camera from LUT"), QString(), QStringLiteral("Cube LUTs (*.cube)"));
        if (path.isEmpty())
            return;
        bool ok = false;
        const QString name = QInputDialog::getText(this, QStringLiteral("Add camera from LUT"),
            QStringLiteral("Name of the camera:"), QLineEdit::Normal, QFileInfo(path).completeBaseName(), &ok);
        if (ok)
            addCameraFromLut(path, name);
    });
    connect(m_changeCamera, &QPushButton::clicked, this, &CameraProfileSection::showChooser);

    connect(m_downloader, &ProfileDownloader::downloalProgress, m_downloadProgress, &QProgressBar::setValue);
    connect(m_downloader, &ProfileDownloader::downloalProgressMax, m_downloadProgress, &QProgressBar::setMaximum);
    connect(m_downloader, &ProfileDownloader::downloadFinishedAndInstalled, this,
        [this](uint id) { profileInstalled(id, QStringLiteral("Profile %1 installed.").arg(profileTitle(id))); });
    connect(m_downloader, &ProfileDownloader::downloadFailed, this, [this](uint, const QString& message) {
        endDownload();
        showNote(message);
    });
    connect(m_maker, &ProfileMaker::progressChanged, m_downloadProgress, &QProgressBar::setValue);
    connect(m_maker, &ProfileMaker::made, this, [this](uint id) {
        profileInstalled(id, QStringLiteral("Profile %1 made on this machine and installed.").arg(profileTitle(id)));
    });
    connect(m_maker, &ProfileMaker::failed, this, [this](uint, const QString& message) {
        endDownload();
        showNote(message);
    });
    connect(m_maker, &ProfileMaker::cancelled, this, [this](uint id) {
        endDownload();
        showNote(QStringLiteral("Making the profile %1 was cancelled.").arg(profileTitle(id)));
    });
    connect(m_cancelDownload, &QPushButton::clicked, this, [this] {
        // A make ends once its worker stops (the cancelled signal).
        if (m_maker->isMaking()) {
            m_cancelDownload->setEnabled(false);
            m_maker->cancel();
            return;
        }
        m_downloader->cancelCurrentDownload();
        endDownload();
    });
}

void CameraProfileSection::showChooser()
{
    CameraChooserWidget* chooser = cameraChooser();
    QStringList mirrors;
    for (const ProfileMirror& mirror : m_downloader->mirrors())
        mirrors.append(mirror.name);
    chooser->setMirrorNames(mirrors, ProfileMirrors::remembered());
    chooser->refreshInstalledState();
    chooser->setCurrentProfile(m_sourceType);
    chooser->show();
    chooser->raise();
}

void CameraProfileSection::showNote(const QString& text)
{
    m_downloadNote->setText(text);
    m_downloadNote->show();
}

void CameraProfileSection::setSourceType(uint profileId)
{
    m_sourceType = profileId;
    showProfile(profileId);
}

void CameraProfileSection::showProfile(uint profileId)
{
    CameraListHelper* catalogue = CameraListHelper::instance();
    const ProfileInfo* profile = catalogue->load() ? catalogue->getProfile(profileId) : nullptr;
    m_makeProfile->setVisible(profile && !m_maker->isMaking() && !FilmLibrary::instance()->isProfileInstalled(profile)
        && ProfileMaker::canMake(profile));
    if (!profile) {
        m_cameraLabel->setText(QStringLiteral("Unknown camera profile"));
        return;
    }
    qInfo() << "main: " << profile->manufacturer << " model:" << profile->model << " profile:" << profile->name;
    m_cameraLabel->setText(QStringLiteral("%1 %2\n%3")
                               .arg(QString::fromUtf8(profile->manufacturer), QString::fromUtf8(profile->model),
                                   QString::fromUtf8(profile->name)));
}

QString CameraProfileSection::profileTitle(uint profileId)
{
    CameraListHelper* catalogue = CameraListHelper::instance();
    const ProfileInfo* profile = catalogue->load() ? catalogue->getProfile(profileId) : nullptr;
    if (!profile)
        return QString::number(profileId);
    return QStringLiteral("%1 %2 %3")
        .arg(QString::fromUtf8(profile->manufacturer), QString::fromUtf8(profile->model),
            QString::fromUtf8(profile->name));
}

CameraChooserWidget* CameraProfileSection::cameraChooser()
{
    if (m_chooser)
        return m_chooser;
    m_chooser = new CameraChooserWidget(nullptr, nullptr, this);
    m_chooser->setWindowFlags(Qt::Dialog);
    m_chooser->setWindowTitle(QStringLiteral("Camera profile"));
    connect(m_chooser, &CameraChooserWidget::profileChanged, this, [this](uint id) {
        setSourceType(id);
        emit profileChosen(id);
        m_chooser->close();
    });
    connect(m_chooser, &CameraChooserWidget::profileAppliedToAll, this, [this](uint id) {
        setSourceType(id);
        emit profileChosenForAll(id);
        m_chooser->close();
    });
    connect(
        m_chooser, &CameraChooserWidget::newDefaultProfileChosen, this, &CameraProfileSection::defaultProfileChosen);
    connect(m_chooser, &CameraChooserWidget::mirrorChosen, this, &ProfileMirrors::remember);
    connect(m_chooser, &CameraChooserWidget::newProfileToBeDownload, this, [this](uint id) {
        const int mirror = m_chooser->selectedMirror();
        const ProfileDownloadPurpose purpose { m_chooser->downloadAppliesToAll(), m_chooser->isDefaultCameraChecked() };
        m_chooser->close();
        startProfileDownload(id, mirror, purpose);
    });
    return m_chooser;
}

void CameraProfileSection::startProfileDownload(uint profileId, int mirrorIndex, ProfileDownloadPurpose purpose)
{
    m_downloadPurpose = purpose;
    if (!m_downloader->isConfigured()) {
        CameraListHelper* catalogue = CameraListHelper::instance();
        if (catalogue->load() && ProfileMaker::canMake(catalogue->getProfile(profileId))) {
            startProfileMake(profileId);
            return;
        }
        showNote(ProfileMirrors::notConfiguredMessage());
        return;
    }
    m_downloadNote->hide();
    m_changeCamera->hide();
    m_resetCamera->hide();
    m_downloadProgress->setRange(0, 0);
    m_downloadProgress->show();
    m_cancelDownload->show();
    m_downloader->downloadNewProfileFromProxy(
        profileId, static_cast<unsigned int>(mirrorIndex >= 0 ? mirrorIndex : ProfileMirrors::remembered()));
}

bool CameraProfileSection::addCameraFromLut(const QString& cubePath, const QString& name)
{
    if (m_maker->isMaking()) {
        showNote(QStringLiteral("Wait until the profile being made is ready."));
        return false;
    }
    unsigned int id = 0;
    QString error;
    if (!ProfileMaker::addCameraFromLut(cubePath, name, &id, &error)) {
        showNote(error);
        return false;
    }
    // The chooser lists the catalogue as it was when it was built.
    if (m_chooser) {
        m_chooser->close();
        m_chooser->deleteLater();
        m_chooser = nullptr;
    }
    m_downloadPurpose = {};
    startProfileMake(id);
    return true;
}

void CameraProfileSection::profileInstalled(uint id, const QString& note)
{
    endDownload();
    showNote(note);
    if (m_chooser)
        m_chooser->refreshInstalledState();
    if (m_downloadPurpose.shownProfile) {
        if (m_sourceType == id)
            emit profileChosen(id);
        return;
    }
    setSourceType(id);
    if (m_downloadPurpose.forAll)
        emit profileChosenForAll(id);
    else
        emit profileChosen(id);
    if (m_downloadPurpose.asDefault)
        emit defaultProfileChosen(id);
}

void CameraProfileSection::startProfileMake(uint profileId)
{
    if (m_maker->isMaking())
        return;
    showNote(QStringLiteral("Making the profile %1 on this machine...").arg(profileTitle(profileId)));
    m_changeCamera->hide();
    m_resetCamera->hide();
    m_makeProfile->hide();
    m_downloadProgress->setRange(0, 100);
    m_downloadProgress->setValue(0);
    m_downloadProgress->show();
    m_cancelDownload->show();
    m_maker->start(profileId);
}

void CameraProfileSection::endDownload()
{
    m_downloadProgress->hide();
    m_cancelDownload->hide();
    m_cancelDownload->setEnabled(true);
    m_changeCamera->show();
    m_resetCamera->show();
    showProfile(m_sourceType);
}

} // namespace Emulsa
