#include "ui/grading/CameraChooserWidget.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace Emulsa {

CameraChooserWidget::CameraChooserWidget(CameraListHelper* catalogue, const FilmLibrary* library, QWidget* parent)
    : QWidget(parent)
    , m_catalogue(catalogue ? catalogue : CameraListHelper::instance())
    , m_library(library ? library : FilmLibrary::instance())
    , m_manufacturers(new QComboBox(this))
    , m_models(new QComboBox(this))
    , m_profiles(new QComboBox(this))
    , m_mirrors(new QComboBox(this))
    , m_defaultCamera(new QCheckBox(QStringLiteral("Use as default camera"), this))
{
    m_manufacturers->setObjectName(QStringLiteral("manufacturerComboBox"));
    m_models->setObjectName(QStringLiteral("modelComboBox"));
    m_profiles->setObjectName(QStringLiteral("profileComboBox"));
    m_mirrors->setObjectName(QStringLiteral("mirrorComboBox"));
    m_defaultCamera->setObjectName(QStringLiteral("defaultCameraCheckBox"));
    auto* apply = new QPushButton(QStringLiteral("Apply"), this);
    apply->setObjectName(QStringLiteral("applyButton"));
    auto* applyAll = new QPushButton(QStringLiteral("Apply to All"), this);
    applyAll->setObjectName(QStringLiteral("applyToAllButton"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Manufacturer"), m_manufacturers);
    form->addRow(QStringLiteral("Model"), m_models);
    form->addRow(QStringLiteral("Profile"), m_profiles);
    form->addRow(QStringLiteral("Download from:"), m_mirrors);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(apply);
    buttons->addWidget(applyAll);
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_defaultCamera);
    layout->addLayout(buttons);

    connect(m_manufacturers, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { fillModels(); });
    connect(m_models, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { fillProfiles(); });
    connect(m_mirrors, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        if (m_mirrors->isEnabled() && index >= 0)
            emit mirrorChosen(index);
    });
    connect(apply, &QPushButton::clicked, this, &CameraChooserWidget::applyPressed);
    connect(applyAll, &QPushButton::clicked, this, &CameraChooserWidget::applyToAllPressed);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    setMirrorNames({}, 0);
    if (m_catalogue->load())
        fillManufacturers();
    else
        qWarning() << Q_FUNC_INFO << "Camera catalogue not available:" << m_catalogue->lastError();
}

void CameraChooserWidget::fillManufacturers()
{
    const QSignalBlocker blocker(m_manufacturers);
    m_manufacturers->clear();
    for (const auto& manufacturer : m_catalogue->manufacturers())
        m_manufacturers->addItem(manufacturer.name);
    fillModels();
}

void CameraChooserWidget::fillModels()
{
    const QSignalBlocker blocker(m_models);
    m_models->clear();
    const int m = m_manufacturers->currentIndex();
    const auto& manufacturers = m_catalogue->manufacturers();
    if (m >= 0 && m < manufacturers.size()) {
        for (const auto& model : manufacturers[m].models)
            m_models->addItem(model.name);
    }
    fillProfiles();
}

void CameraChooserWidget::fillProfiles()
{
    m_profiles->clear();
    const int m = m_manufacturers->currentIndex();
    const int n = m_models->currentIndex();
    const auto& manufacturers = m_catalogue->manufacturers();
    if (m < 0 || m >= manufacturers.size() || n < 0 || n >= manufacturers[m].models.size())
        return;
    for (const auto& profile : manufacturers[m].models[n].profiles) {
        const QString name = QString::fromUtf8(profile.info->name);
        const bool installed = m_library->isProfileInstalled(profile.info);
        m_profiles->addItem(installed ? name : name + QStringLiteral(" (download)"), profile.info->profileId());
    }
}

void CameraChooserWidget::setMirrorNames(const QStringList& names, int selected)
{
    const QSignalBlocker blocker(m_mirrors);
    m_mirrors->clear();
    if (names.isEmpty()) {
        m_mirrors->addItem(QStringLiteral("Not configured"));
        m_mirrors->setEnabled(false);
        return;
    }
    m_mirrors->addItems(names);
    m_mirrors->setCurrentIndex(selected >= 0 && selected < names.size() ? selected : 0);
    m_mirrors->setEnabled(true);
}

int CameraChooserWidget::selectedMirror() const
{
    return m_mirrors->isEnabled() ? m_mirrors->currentIndex() : -1;
}

void CameraChooserWidget::refreshInstalledState()
{
    const uint selected = selectedProfile();
    fillProfiles();
    const int index = m_profiles->findData(selected);
    if (index >= 0)
        m_profiles->setCurrentIndex(index);
}

uint CameraChooserWidget::selectedProfile() const
{
    return m_profiles->currentIndex() >= 0 ? m_profiles->currentData().toUInt() : 0;
}

void CameraChooserWidget::setCurrentProfile(uint profileId)
{
    m_current = profileId;
    const auto& manufacturers = m_catalogue->manufacturers();
    for (int m = 0; m < manufacturers.size(); ++m) {
        for (int n = 0; n < manufacturers[m].models.size(); ++n) {
            const auto& profiles = manufacturers[m].models[n].profiles;
            for (int p = 0; p < profiles.size(); ++p) {
                if (profiles[p].info->profileId() != profileId)
                    continue;
                m_manufacturers->setCurrentIndex(m);
                m_models->setCurrentIndex(n);
                m_profiles->setCurrentIndex(p);
                return;
            }
        }
    }
}

void CameraChooserWidget::setDefaultCameraChecked(bool checked)
{
    m_defaultCamera->setChecked(checked);
}

bool CameraChooserWidget::isDefaultCameraChecked() const
{
    return m_defaultCamera->isChecked();
}

bool CameraChooserWidget::acceptChoice(uint profileId)
{
    const ProfileInfo* profile = m_catalogue->getProfile(profileId);
    if (!profile) {
        qWarning() << Q_FUNC_INFO << "Error with index";
        return false;
    }
    if (profileId != m_current)
        qInfo() << "Check if profile installed now.";
    if (!m_library->isProfileInstalled(profile)) {
        emit newProfileToBeDownload(profileId);
        return false;
    }
    m_current = profileId;
    return true;
}

void CameraChooserWidget::applyPressed()
{
    const uint id = selectedProfile();
    m_downloadForAll = false;
    if (!acceptChoice(id))
        return;
    emit profileChanged(id);
    if (m_defaultCamera->isChecked())
        emit newDefaultProfileChosen(id);
}

void CameraChooserWidget::applyToAllPressed()
{
    const uint id = selectedProfile();
    m_downloadForAll = true;
    if (!acceptChoice(id))
        return;
    emit profileAppliedToAll(id);
    if (m_defaultCamera->isChecked())
        emit newDefaultProfileChosen(id);
}

void CameraChooserWidget::closeEvent(QCloseEvent* event)
{
    emit widgetGoingToClose();
    QWidget::closeEvent(event);
}

} // namespace Emulsa
