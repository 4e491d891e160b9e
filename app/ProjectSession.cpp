#include "app/ProjectSession.h"

#include "core/ApplicationPaths.h"
#include "model/ProjectLoader.h"
#include "model/SettingsManager.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <limits>

namespace Emulsa {

namespace {

const QString autosaveIntervalKey = QStringLiteral("DefaultSettings/AutoSaveTimer");

} // namespace

ProjectSession::ProjectSession(QObject* parent)
    : QObject(parent)
    , m_autosavePath(ApplicationPaths::instance()->autosaveFilePath())
{
    m_autosaveTimer.setSingleShot(false);
    m_autosaveTimer.setInterval(storedAutosaveInterval());
    connect(&m_autosaveTimer, &QTimer::timeout, this, &ProjectSession::autosave);
    m_autosaveTimer.start();
}

int ProjectSession::storedAutosaveInterval()
{
    bool valid = false;
    const qlonglong stored = SettingsManager::openStore()->value(autosaveIntervalKey).toLongLong(&valid);
    if (!valid)
        return minimumAutosaveIntervalMs;
    return static_cast<int>(qBound<qlonglong>(minimumAutosaveIntervalMs, stored, std::numeric_limits<int>::max()));
}

bool ProjectSession::isAutosavePath(const QString& path) const
{
    return QFileInfo(path).absoluteFilePath() == QFileInfo(m_autosavePath).absoluteFilePath();
}

bool ProjectSession::open(const QString& path, const std::function<void(BaseTask*)>& post)
{
    if (m_loading) {
        qDebug() << Q_FUNC_INFO << "A project is loading already; not opening" << path;
        return false;
    }
    m_loading = true;
    ++m_generation;
    ProjectLoader loader(post);
    const ProjectLoader::Outcome outcome = loader.load(path);
    m_loading = false;
    if (outcome == ProjectLoader::Outcome::NotOpened)
        return false;
    m_unsaved = false;
    if (!isAutosavePath(path))
        m_currentPath = path;
    emit stateChanged();
    return true;
}

void ProjectSession::startNew()
{
    ++m_generation;
    m_currentPath.clear();
    m_unsaved = false;
    emit stateChanged();
}

bool ProjectSession::save(const QString& path)
{
    if (m_loading) {
        qDebug() << Q_FUNC_INFO << "Not saving while a project loads";
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        if (isAutosavePath(path))
            qDebug() << "Can't save current project to selected file." << path;
        else
            qCritical() << "Can't save current project to selected file.";
        return false;
    }
    file.close();
    m_savesInProgress.append(path);
    m_saveGenerations.append(m_generation);
    emit saveRequested(path);
    return true;
}

ProjectSession::FinishedSave ProjectSession::finishSave(const QString& path, bool success)
{
    const int index = m_savesInProgress.indexOf(path);
    if (index < 0)
        return FinishedSave::NotAsked;
    m_savesInProgress.removeAt(index);
    const int generation = m_saveGenerations.takeAt(index);
    if (isAutosavePath(path))
        return FinishedSave::Autosave;
    if (!success)
        return FinishedSave::Failed;
    if (generation == m_generation) {
        m_unsaved = false;
        m_currentPath = path;
        emit stateChanged();
    }
    return FinishedSave::Saved;
}

void ProjectSession::markChanged()
{
    m_unsaved = true;
    emit stateChanged();
}

void ProjectSession::autosave()
{
    if (m_loading || !m_unsaved || m_savesInProgress.contains(m_autosavePath))
        return;
    save(m_autosavePath);
}

} // namespace Emulsa
