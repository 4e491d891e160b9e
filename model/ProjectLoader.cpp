#include "model/ProjectLoader.h"

#include "core/ApplicationPaths.h"
#include "media/clip/SequenceItem.h"
#include "model/SequenceTasks.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>

namespace Emulsa {

ProjectLoader::ProjectLoader(
    std::function<void(BaseTask*)> post, const FilmLibrary* library, CameraListHelper* catalogue)
    : m_post(std::move(post))
    , m_library(library)
    , m_catalogue(catalogue)
{
}

ProjectLoader::Outcome ProjectLoader::load(const QString& path)
{
    m_problems.clear();
    const bool autosave = path == ApplicationPaths::instance()->autosaveFilePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (autosave)
            qDebug() << Q_FUNC_INFO << "No autosave project to open:" << file.errorString();
        else
            qCritical() << "Can't open selected file";
        return Outcome::NotOpened;
    }

    QList<SequenceItem*> items;
    ProjectFileReader reader(&items, m_library, m_catalogue);
    if (m_resolveAsset)
        reader.setAssetResolver(m_resolveAsset);
    m_post(new PathTask(NewFileToLoad, path));
    const bool read = reader.read(&file);
    for (SequenceItem* item : qAsConst(items)) {
        m_post(new SequenceItemTask(AddSequenceItem, item));
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
    const bool clean = reader.loadedCleanly();
    m_post(new ProjectLoadedTask(path, clean));
    m_problems = reader.problemSummary();

    if (!read && items.isEmpty()) {
        if (autosave)
            qDebug() << Q_FUNC_INFO << "The autosave project could not be read:" << m_problems;
        else
            qCritical() << "Can't load selected file.";
        return Outcome::NotRead;
    }
    if (clean)
        return Outcome::Loaded;
    const QString message
        = QStringLiteral("Part of the project %1 could not be loaded: %2.<br /><br />A copy of the "
                         "file as it is now will be kept as %3 when the project is saved over it.")
              .arg(QDir::toNativeSeparators(path), m_problems, QDir::toNativeSeparators(path + QStringLiteral(".bak")));
    if (autosave)
        qWarning().noquote() << message;
    else
        qCritical().noquote() << message;
    return Outcome::LoadedWithLosses;
}

} // namespace Emulsa
