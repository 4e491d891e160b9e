#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace Emulsa {

struct BaseTask;

// The project open in the window: its file, whether it has unsaved changes,
// the saves on their way and the autosave.
//
// Saves run on the task thread in the order they were asked for; each save
// keeps its own path until its outcome arrives, so an autosave finishing
// between a "Save As" and its outcome never becomes the project's path. Each
// save also remembers which project it was asked for: one that belongs to the
// project open before the current one (saving first when opening another)
// leaves the current one's state alone. While a project loads nothing is
// opened or saved.
class ProjectSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int minimumAutosaveIntervalMs = 60000;

    // What a finished save was, for a close that waits on it.
    enum class FinishedSave
    {
        NotAsked, // no save of this path is in progress
        Autosave,
        Saved,
        Failed,
    };

    // The autosave goes to the per-user autosave project every
    // storedAutosaveInterval() while there are unsaved changes.
    explicit ProjectSession(QObject* parent = nullptr);

    // The autosave interval of the settings store ("DefaultSettings/
    // AutoSaveTimer", milliseconds), at least minimumAutosaveIntervalMs.
    static int storedAutosaveInterval();
    void setAutosaveInterval(int ms) { m_autosaveTimer.setInterval(ms); }
    int autosaveInterval() const { return m_autosaveTimer.interval(); }
    void setAutosavePath(const QString& path) { m_autosavePath = path; }
    QString autosavePath() const { return m_autosavePath; }
    bool isAutosavePath(const QString& path) const;

    bool hasUnsavedChanges() const { return m_unsaved; }
    // Empty until a project other than the autosave one is opened or saved.
    QString currentPath() const { return m_currentPath; }
    QStringList savesInProgress() const { return m_savesInProgress; }
    // How many projects have been opened or started.
    int generation() const { return m_generation; }
    bool isLoading() const { return m_loading; }

    // Reads a project, handing its commands to `post`; false when a load is
    // running already or the file could not be opened.
    bool open(const QString& path, const std::function<void(BaseTask*)>& post);
    // An empty project, not yet saved anywhere.
    void startNew();
    // Asks for a save to `path` (saveRequested); false when the file cannot
    // be written or a load is running.
    bool save(const QString& path);
    FinishedSave finishSave(const QString& path, bool success);
    void markChanged();
    // Saves to the autosave project when there is something to save and no
    // autosave is on its way.
    void autosave();

signals:
    void saveRequested(const QString& path);
    // The current path or the unsaved mark changed.
    void stateChanged();

private:
    QTimer m_autosaveTimer;
    QString m_autosavePath;
    QString m_currentPath;
    QStringList m_savesInProgress;
    // The generation of each save in progress, in the same order.
    QList<int> m_saveGenerations;
    int m_generation = 0;
    bool m_unsaved = false;
    bool m_loading = false;
};

} // namespace Emulsa
