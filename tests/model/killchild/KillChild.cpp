// The child of the kill tests: saves the same files through the program's own
// writers over and over, two versions in turn, until it is killed.
//
//   emulsa_killchild project FILE [SAVES]    a project, through the model's save
//   emulsa_killchild presets FOLDER [SAVES]  the presets store in FOLDER
//   emulsa_killchild cache ROOT CLIP [SAVES] the thumbnail cache record of CLIP
//
// After two saves it prints "ready <microseconds of the second save>" on
// its standard output; with SAVES it stops after that many saves (the
// parent makes its reference files so), otherwise it never stops.

#include "KillScenarios.h"
#include "common/TestEnvironment.h"

#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "media/metadata/ThumbnailCache.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "model/SequenceTasks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace Emulsa;
namespace Kill = Emulsa::Test::KillScenarios;

namespace {

// Calls save(version) for versions 0, 1, 0, ... `saves` times (for ever when
// negative), reporting once when two saves were made. False when a save fails.
bool saveInTurn(const std::function<bool(int)>& save, qint64 saves)
{
    QElapsedTimer clock;
    for (qint64 done = 0; saves < 0 || done < saves; ++done) {
        clock.start();
        if (!save(int(done % 2))) {
            std::fprintf(stderr, "save %lld failed\n", static_cast<long long>(done));
            return false;
        }
        if (done == 1) {
            std::printf("ready %lld\n", static_cast<long long>(clock.nsecsElapsed() / 1000));
            std::fflush(stdout);
        }
    }
    return true;
}

int saveProjects(const QString& path, qint64 saves)
{
    // The application's own catalogue and film library (the parent points
    // PROGRAMDATA at the build's film data).
    CameraListHelper* catalogue = CameraListHelper::instance();
    FilmLibrary library;
    std::vector<std::unique_ptr<AssetMetadata>> assets;
    std::unique_ptr<Model> models[2];
    bool saved = false;
    for (int version = 0; version < 2; ++version) {
        models[version] = std::make_unique<Model>(nullptr, catalogue, &library);
        Model* model = models[version].get();
        QObject::connect(model, &Model::projectSaved, [&saved](const QString&, bool ok) { saved = ok; });
        for (int i = 0; i < Kill::projectItems + version; ++i) {
            auto asset = std::make_unique<AssetMetadata>();
            asset->filePath = Kill::projectAssetPath(i);
            asset->id = MetadataManager::idForPath(asset->filePath);
            asset->frameCount = 500;
            asset->ready = true;
            auto* grade = new ClipSettings;
            grade->setGrainAmount(i % 50);
            grade->setExposure(0.25f * float(i % 8));
            model->runCommands(new SequenceItemTask(AddSequenceItem,
                new SequenceItem(asset.get(), grade, Kill::projectStartFrame(version), 400, Kill::projectItemUuid(i))));
            assets.push_back(std::move(asset));
        }
    }
    const bool ok = saveInTurn(
        [&](int version) {
            saved = false;
            models[version]->runCommands(new PathTask(SaveProject, path));
            return saved;
        },
        saves);
    return ok ? 0 : 1;
}

int savePresets(const QString& folder, qint64 saves)
{
    PresetsManager store(folder);
    if (store.groups().isEmpty()) {
        for (int g = 0; g < 2; ++g) {
            const PresetGroup group = store.createNewGroup(Kill::presetGroupName(g));
            for (int p = 0; p < Kill::presetsPerGroup; ++p) {
                ClipSettings grade;
                grade.setGrainAmount(p);
                grade.setKelvin(4000.0f + 50.0f * float(p));
                if (!store.createPreset(grade, group.id))
                    return 3;
            }
        }
    }
    QList<QByteArray> ids;
    for (const PresetGroup& group : store.groups())
        for (const Preset& preset : group.orderedPresets())
            ids << preset.id();
    const bool ok = saveInTurn(
        [&](int version) {
            for (int i = 0; i < ids.size(); ++i)
                store.renamePreset(ids.at(i), QStringLiteral("look %1").arg(i) + Kill::presetTag(version));
            return store.writePresetsToDisk();
        },
        saves);
    return ok ? 0 : 1;
}

int saveCacheRecords(const QString& root, const QString& clip, qint64 saves)
{
    const ThumbnailCache cache(root);
    QImage thumbnails[2];
    for (int version = 0; version < 2; ++version) {
        thumbnails[version] = QImage(Kill::cacheThumbnailWidth, Kill::cacheThumbnailHeight, QImage::Format_RGB32);
        thumbnails[version].fill(Kill::cacheColour(version));
    }
    QFile clipFile(clip);
    if (!clipFile.open(QIODevice::ReadWrite))
        return 3;
    const bool ok = saveInTurn(
        [&](int version) {
            // As when the clip changed on disk and was described again: the
            // file's time first, then the new description.
            if (!clipFile.setFileTime(Kill::cacheClipTime(version), QFileDevice::FileModificationTime))
                return false;
            AssetMetadata record;
            record.filePath = clip;
            record.id = MetadataManager::idForPath(clip);
            record.name = QStringLiteral("clip.mov");
            record.lastModified = ThumbnailCache::fileTimeText(Kill::cacheClipTime(version));
            record.width = 64;
            record.height = 36;
            record.frameCount = Kill::cacheFrameCount(version);
            record.thumbnail = new QImage(thumbnails[version]);
            return cache.save(&record);
        },
        saves);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    Emulsa::Test::isolateUserFolders();
    QCoreApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    const QStringList arguments = app.arguments();
    const QString mode = arguments.value(1);
    const int savesAt = mode == QLatin1String("cache") ? 4 : 3;
    bool counted = false;
    const qint64 saves = arguments.size() > savesAt ? arguments.at(savesAt).toLongLong(&counted) : -1;
    if (arguments.size() > savesAt && !counted) {
        std::fprintf(stderr, "not a number of saves: %s\n", qPrintable(arguments.at(savesAt)));
        return 2;
    }
    if (mode == QLatin1String("project") && arguments.size() > 2)
        return saveProjects(arguments.at(2), saves);
    if (mode == QLatin1String("presets") && arguments.size() > 2)
        return savePresets(arguments.at(2), saves);
    if (mode == QLatin1String("cache") && arguments.size() > 3)
        return saveCacheRecords(arguments.at(2), arguments.at(3), saves);
    std::fprintf(stderr, "usage: %s project FILE | presets FOLDER | cache ROOT CLIP [SAVES]\n", argv[0]);
    return 2;
}
