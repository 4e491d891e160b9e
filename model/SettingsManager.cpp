#include "model/SettingsManager.h"

#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"

#include <QDebug>
#include <QSettings>

namespace Emulsa {

namespace {

const QString defaultProfileKey = QStringLiteral("DefaultSettings/DefaultProfile");

} // namespace

std::unique_ptr<QSettings> SettingsManager::openStore()
{
    return std::make_unique<QSettings>(
        QSettings::IniFormat, QSettings::UserScope, QStringLiteral("QLM"), QStringLiteral("Emulsa"));
}

SettingsManager::SettingsManager(CameraListHelper* catalogue, const FilmLibrary* library)
{
    if (!catalogue)
        catalogue = CameraListHelper::instance();
    if (!library)
        library = FilmLibrary::instance();

    bool ok = false;
    const quint32 stored = openStore()->value(defaultProfileKey, originalDefaultProfile).toUInt(&ok);
    m_defaultProfile = ok ? stored : originalDefaultProfile;
    if (!ok) {
        // Not a profile code at all: no catalogue will ever know it.
        qWarning() << Q_FUNC_INFO << "Default Profile do not even exist, settings the original default one";
        setDefaultProfile(originalDefaultProfile);
    }

    if (!catalogue->load()) {
        // Without a catalogue nothing can be checked; keep the stored choice
        // for a later run and grade new clips with the original default.
        qWarning() << Q_FUNC_INFO << "Camera catalogue not available, using the original default profile";
        m_defaultProfile = originalDefaultProfile;
        return;
    }
    const ProfileInfo* profile = catalogue->getProfile(m_defaultProfile);
    if (profile) {
        qDebug() << Q_FUNC_INFO << "Check if profile installed now.";
        if (!library->isProfileInstalled(profile)) {
            qWarning() << Q_FUNC_INFO << "Default Profile not installed, settings the original default one";
            m_defaultProfile = originalDefaultProfile;
        }
        return;
    }
    qWarning() << Q_FUNC_INFO << "Default Profile do not even exist, settings the original default one";
    setDefaultProfile(originalDefaultProfile);
}

SettingsManager::~SettingsManager()
{
    qDeleteAll(m_settings);
}

void SettingsManager::setDefaultProfile(quint32 profile)
{
    m_defaultProfile = profile;
    openStore()->setValue(defaultProfileKey, profile);
}

ClipSettings* SettingsManager::settingsForID(const QUuid& id)
{
    ClipSettings*& settings = m_settings[id];
    if (!settings) {
        settings = new ClipSettings;
        settings->setSourceType(m_defaultProfile);
    }
    return settings;
}

bool SettingsManager::addSettingsForID(const QUuid& id, ClipSettings* settings)
{
    if (!settings) {
        qDebug() << Q_FUNC_INFO << "No settings given for" << id;
        return false;
    }
    ClipSettings* previous = m_settings.value(id, nullptr);
    if (previous && previous != settings) {
        // The item of this id still points to the registered object.
        qWarning() << Q_FUNC_INFO << "Settings are already registered for" << id;
        return false;
    }
    m_settings.insert(id, settings);
    return true;
}

void SettingsManager::resetSettingsForID(const QUuid& id)
{
    ClipSettings* settings = m_settings.value(id, nullptr);
    if (!settings)
        return;
    const ClipSettings defaults;
    settings->copyFrom(&defaults);
}

ClipSettings* SettingsManager::removeSettingsForID(const QUuid& id)
{
    return m_settings.take(id);
}

} // namespace Emulsa
