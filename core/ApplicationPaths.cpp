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

// The path cached in `slot`, made by `make` under the lock when there is
// none yet.
template<typename Make> QString cached(QMutex& mutex, QString& slot, Make make)
{
    QMutexLocker lock(&mutex);
    if (slot.isEmpty())
        slot = make();
    return slot;
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
    return cached(m_mutex, m_dataRootPath, [] { return computeDataRootPath(); });
}

QString ApplicationPaths::resourcesPath()
{
    const QString root = dataRootPath();
    return cached(m_mutex, m_resourcesPath, [&root] { return root + QStringLiteral("Resources/"); });
}

QString ApplicationPaths::presetsPath()
{
    return cached(m_mutex, m_presetsPath, [] { return userDataFolder() + QStringLiteral("/presets/"); });
}

QString ApplicationPaths::userProfilesPath()
{
    return cached(m_mutex, m_userProfilesPath, [] { return userDataFolder() + QStringLiteral("/Profiles/"); });
}

QString ApplicationPaths::autosaveFilePath()
{
    return cached(m_mutex, m_autosaveFilePath, [] { return userDataFolder() + QStringLiteral("/autosave.empf"); });
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
