#include "core/ApplicationPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>

namespace Emulsa {

namespace {

// Folder of the running executable; works before a QCoreApplication exists.
QString executableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

} // namespace

ApplicationPaths* ApplicationPaths::instance()
{
    static ApplicationPaths paths;
    return &paths;
}

QString ApplicationPaths::computeDataRootPath()
{
    // An empty value counts as unset: it would make the root "/Quillmoor/".
    if (!qEnvironmentVariableIsEmpty("PROGRAMDATA")) {
        QString root = qEnvironmentVariable("PROGRAMDATA");
        root.replace(QLatin1Char('\\'), QLatin1Char('/'));
        return root + QStringLiteral("/Quillmoor/");
    }
    return QDir::cleanPath(executableFolder() + QStringLiteral("/../share/Quillmoor")) + QLatin1Char('/');
}

QString ApplicationPaths::userDataFolder()
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::DataLocation);
    QString folder = locations.isEmpty() ? QString() : locations.first();
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return folder;
}

QString ApplicationPaths::dataRootPath()
{
    QMutexLocker lock(&m_mutex);
    if (m_dataRootPath.isEmpty())
        m_dataRootPath = computeDataRootPath();
    return m_dataRootPath;
}

QString ApplicationPaths::resourcesPath()
{
    const QString root = dataRootPath();
    QMutexLocker lock(&m_mutex);
    if (m_resourcesPath.isEmpty())
        m_resourcesPath = root + QStringLiteral("Resources/");
    return m_resourcesPath;
}

QString ApplicationPaths::presetsPath()
{
    QMutexLocker lock(&m_mutex);
    if (m_presetsPath.isEmpty())
        m_presetsPath = userDataFolder() + QStringLiteral("/presets/");
    return m_presetsPath;
}

QString ApplicationPaths::userProfilesPath()
{
    QMutexLocker lock(&m_mutex);
    if (m_userProfilesPath.isEmpty())
        m_userProfilesPath = userDataFolder() + QStringLiteral("/Profiles/");
    return m_userProfilesPath;
}

QString ApplicationPaths::autosaveFilePath()
{
    QMutexLocker lock(&m_mutex);
    if (m_autosaveFilePath.isEmpty())
        m_autosaveFilePath = userDataFolder() + QStringLiteral("/autosave.empf");
    return m_autosaveFilePath;
}

void ApplicationPaths::clearCache()
{
    QMutexLocker lock(&m_mutex);
    m_dataRootPath.clear();
    m_resourcesPath.clear();
    m_presetsPath.clear();
    m_userProfilesPath.clear();
    m_autosaveFilePath.clear();
}

} // namespace Emulsa
