#pragma once

#include "model/BaseTask.h"
#include "model/ProjectFileReader.h"

#include <QString>

#include <functional>

namespace Emulsa {

class CameraListHelper;
class FilmLibrary;

// NewFileLoaded as the project loader sends it: which file was read and
// whether it loaded cleanly (nothing skipped, no grade or stock replaced).
struct ProjectLoadedTask : BaseTask
{
    ProjectLoadedTask(const QString& path, bool loadedCleanly)
        : BaseTask(NewFileLoaded)
        , path(path)
        , loadedCleanly(loadedCleanly)
    {
    }
    QString path;
    bool loadedCleanly;
};

// Opens a project file and hands it to the model as commands: NewFileToLoad,
// one AddSequenceItem per item read (in file order, yielding to the event
// loop after each), and NewFileLoaded. Items read before a damaged part of
// the file are loaded; what was lost is reported, and the model keeps a copy
// of the file before it is first saved over.
//
// The autosave project is quieter: a file that cannot be opened or read is
// only logged, since there is none on a first start.
class ProjectLoader
{
public:
    enum class Outcome
    {
        Loaded, // every item, grade and stock as stored
        LoadedWithLosses, // something was skipped or replaced (see problems())
        NotOpened, // nothing sent; the model's project is unchanged
        NotRead, // nothing could be read; the model's project is now empty
    };

    // Every command goes to `post`, which takes ownership (the controller's
    // queue, or the model directly).
    explicit ProjectLoader(std::function<void(BaseTask*)> post, const FilmLibrary* library = nullptr,
        CameraListHelper* catalogue = nullptr);

    // By default assets come from the process-wide metadata manager.
    void setAssetResolver(ProjectFileReader::AssetResolver resolver) { m_resolveAsset = std::move(resolver); }

    Outcome load(const QString& path);
    // What was lost in the last load; empty when nothing was.
    QString problems() const { return m_problems; }

private:
    std::function<void(BaseTask*)> m_post;
    const FilmLibrary* m_library;
    CameraListHelper* m_catalogue;
    ProjectFileReader::AssetResolver m_resolveAsset;
    QString m_problems;
};

} // namespace Emulsa
