#pragma once

#include <QMutex>
#include <QString>

namespace Emulsa {

// The folders and files every subsystem finds its data in. Each path is
// computed on first request and cached; all use forward slashes and the
// folder paths end with a slash.
class ApplicationPaths
{
public:
    static ApplicationPaths* instance();

    // Shared, read-only data folder: "$PROGRAMDATA/Quillmoor/" when the
    // variable is set and not empty, otherwise "<bindir>/../share/Quillmoor/".
    QString dataRootPath();
    QString resourcesPath();
    // Per-user folders.
    QString presetsPath();
    // Camera profiles downloaded by the user; the film library looks here
    // before the shared data folder (which may be read-only).
    QString userProfilesPath();
    QString autosaveFilePath();

    // The data-root rule itself, uncached. The film library and the paths
    // singleton both go through it.
    static QString computeDataRootPath();
    // First per-user application data folder, forward slashes, no trailing slash.
    static QString userDataFolder();

    // Forgets every cached path, so the next request computes it anew
    // (tests change PROGRAMDATA and the user folders between cases).
    void clearCache();

private:
    ApplicationPaths() = default;

    QMutex m_mutex;
    QString m_dataRootPath;
    QString m_resourcesPath;
    QString m_presetsPath;
    QString m_userProfilesPath;
    QString m_autosaveFilePath;
};

} // namespace Emulsa
