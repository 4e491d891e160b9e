// emulsa-render: grades clips with a film look and writes them to disk from
// the command line, through the application's own off-screen renderer.

#include "HeadlessDisplay.h"
#include "Intermediates.h"
#include "PresetLook.h"
#include "ProgressLine.h"
#include "ProjectJob.h"
#include "RenderOptions.h"

#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/HeadlessGL.h"
#include "core/LookCube.h"
#include "core/OffscreenGLContext.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/render/ChunkPlan.h"
#include "media/render/OutputPaths.h"
#include "media/render/WinOffscreenRenderer.h"
#include "media/source/WinSourceReader.h"
#include "model/ProfileMaker.h"
#include "resources/Resources.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QUuid>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Emulsa;
using namespace Emulsa::RenderTool;

namespace {

volatile bool g_running = true;
// Stops a profile being made; set by the same signals.
std::atomic<bool> g_stopMaking { false };
bool g_verbose = false;
QString g_lastCritical;

void onInterrupt(int)
{
    // The first Ctrl+C stops the clip in progress; a second one ends at once.
    if (!g_running)
        std::_Exit(130);
    g_running = false;
    g_stopMaking = true;
}

void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    QString text = message;
    text.replace(QStringLiteral("<br />"), QStringLiteral(" "));
    if (type == QtCriticalMsg || type == QtFatalMsg)
        g_lastCritical = text.trimmed();
    if (g_verbose || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void print(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

void printError(const QString& text)
{
    std::fprintf(stderr, "emulsa-render: %s\n", qPrintable(text));
}

// A catalogue profile whose tables are installed nowhere is made on this
// machine first, into the per-user profiles folder. True when the profile is
// installed now, was installed already, or is null or unknown to the
// generator (resolveGrade and the renderer say so).
bool makeMissingProfile(const ProfileInfo* profile, bool quiet, QString* error)
{
    if (!profile || FilmLibrary::instance()->isProfileInstalled(profile) || !ProfileMaker::canMake(profile))
        return true;
    const QByteArray id(profile->id);
    if (!quiet)
        std::fprintf(stderr, "emulsa-render: making the camera profile %s (%s), not installed yet\n", id.constData(),
            profile->name);
    // Ctrl+C stops the make; the half-made tables are thrown away.
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    int shown = -1;
    const auto progress = [&](int percent) {
        if (quiet || percent == shown)
            return;
        shown = percent;
        std::fprintf(stderr, "\r  making %s: %3d %%", id.constData(), percent);
        std::fflush(stderr);
    };
    QElapsedTimer timer;
    timer.start();
    const bool made = ProfileMaker::make(*profile, error, &g_stopMaking, progress);
    if (!quiet && shown >= 0)
        std::fprintf(stderr, "\n");
    if (made && !quiet) {
        const QString folder = FilmLibrary::userProfileFolder(QString::fromUtf8(profile->tin));
        qint64 bytes = 0;
        for (const QFileInfo& table : QDir(folder).entryInfoList(QDir::Files))
            bytes += table.size();
        std::fprintf(stderr, "  made %s in %.1f s: %.1f MB in %s\n", id.constData(), timer.elapsed() / 1000.0,
            bytes / 1e6, qPrintable(QDir::toNativeSeparators(folder)));
    }
    if (!made && error->isEmpty())
        *error = QStringLiteral("making the camera profile %1 was interrupted").arg(QString::fromLatin1(id));
    return made;
}

// The same for the profile named by --profile (or the preset).
bool makeMissingProfile(const RenderOptions& options, QString* error)
{
    const QByteArray id = options.profileText.trimmed().toLatin1();
    CameraListHelper* catalogue = CameraListHelper::instance();
    if (id.size() != 4 || !catalogue->load())
        return true;
    return makeMissingProfile(catalogue->getProfile(ProfileInfo::packId(id.constData())), options.quiet, error);
}

// Without a display, OpenGL comes from Mesa's EGL with no window system at
// all where that works, else from a private Xvfb. False (and *error) when
// neither does; with --verbose it says which one was taken.
bool prepareHeadless(HeadlessDisplay* display, QString* error)
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return true;
    QString why;
    const QString renderer = HeadlessGL::probe(&why);
    if (!renderer.isEmpty() && HeadlessGL::selectPlatform(&why)) {
        if (g_verbose)
            std::fprintf(stderr, "emulsa-render: no display; OpenGL through headless EGL (%s), no X server\n",
                qPrintable(renderer));
        return true;
    }
    if (g_verbose)
        std::fprintf(stderr, "emulsa-render: no display and no headless EGL (%s); starting Xvfb\n", qPrintable(why));
    if (!display->start(error))
        return false;
    if (g_verbose)
        std::fprintf(
            stderr, "emulsa-render: OpenGL through the private X display %s\n", qPrintable(display->display()));
    return true;
}

enum class Outcome
{
    Rendered,
    Skipped,
    Failed
};

// One clip of the job, checked and ready to render: its media file described
// under the name its output takes, its grade and its in and out points.
struct Job
{
    // How messages name the clip.
    QString clip;
    std::unique_ptr<AssetMetadata> asset;
    // The grade options' or the project's; not owned.
    ClipSettings* grade = nullptr;
    quint32 in = 0;
    quint32 out = 0;
    QUuid uuid;
    bool fromProject = false;
};

// What went wrong, one line each, for the list printed at the end.
QStringList g_failures;

void reportFailure(const QString& text)
{
    printError(text);
    g_failures << text;
}

std::unique_ptr<Job> prepareClip(const QString& clip, RenderOptions& options)
{
    const QFileInfo info(clip);
    if (!info.isFile()) {
        reportFailure(QStringLiteral("%1: no such file").arg(clip));
        return nullptr;
    }
    auto job = std::make_unique<Job>();
    job->clip = clip;
    job->asset = std::make_unique<AssetMetadata>();
    AssetMetadata& asset = *job->asset;
    asset.filePath = info.absoluteFilePath();
    asset.name = info.fileName();
    {
        WinSourceReader reader(false);
        if (!reader.initializeFromMetadata(&asset) || !reader.fillMetadata()) {
            reportFailure(QStringLiteral("%1: not a clip that can be decoded").arg(clip));
            return nullptr;
        }
    }
    const quint32 in = options.in.set ? options.in.frame(asset.frameRateNum, asset.frameRateDen) : 0;
    quint32 out = options.out.set ? options.out.frame(asset.frameRateNum, asset.frameRateDen) : asset.frameCount;
    out = std::min(out, asset.frameCount);
    if (in >= out) {
        reportFailure(
            QStringLiteral("%1: the in point (%2) must come before the out point (%3); the clip has %4 frames")
                .arg(clip, QString::number(in), QString::number(out), QString::number(asset.frameCount)));
        return nullptr;
    }
    job->grade = &options.grade;
    job->in = in;
    job->out = out;
    // The same on every machine that renders the file.
    job->uuid = QUuid::createUuidV5(QUuid(), asset.filePath);
    return job;
}

// A clip of a saved project with its own grade and in and out points. A
// clip whose grade could not be read whole is refused unless the defaults
// are accepted in place of what was lost.
std::unique_ptr<Job> prepareProjectItem(const ProjectJob& project, SequenceItem* item, const RenderOptions& options)
{
    const QString clip = QDir::toNativeSeparators(item->asset->filePath);
    const QStringList unread = project.unreadFields(item);
    if (!unread.isEmpty()) {
        const QString problem = QStringLiteral("%1: clip %2 (%3): its grade could not be read whole (not readable: %4)")
                                    .arg(options.projectFile)
                                    .arg(project.items().indexOf(item) + 1)
                                    .arg(clip, unread.join(QStringLiteral(", ")));
        if (!options.acceptDefaults) {
            reportFailure(QStringLiteral("%1; not rendered. Give --accept-defaults to render it with default values "
                                         "where the grade could not be read.")
                              .arg(problem));
            return nullptr;
        }
        printError(QStringLiteral("%1; rendering with default values there (--accept-defaults)").arg(problem));
    }
    if (!ProjectJob::isDecodable(item)) {
        reportFailure(QStringLiteral("%1: not a clip that can be decoded").arg(clip));
        return nullptr;
    }
    // The file may have become shorter since the project was saved.
    const quint32 out = std::min(item->endFrame, item->asset->frameCount);
    if (item->startFrame >= out) {
        reportFailure(
            QStringLiteral("%1: the in point (%2) must come before the out point (%3); the clip has %4 frames")
                .arg(clip, QString::number(item->startFrame), QString::number(item->endFrame),
                    QString::number(item->asset->frameCount)));
        return nullptr;
    }
    auto job = std::make_unique<Job>();
    job->clip = clip;
    // A copy: two items of one file share the project's record, and each
    // may be renamed apart.
    job->asset = std::make_unique<AssetMetadata>(*item->asset);
    job->grade = item->settings;
    job->in = item->startFrame;
    job->out = out;
    job->uuid = item->uuid;
    job->fromProject = true;
    return job;
}

struct Output
{
    QString destination;
    EncoderSettings encoder;
    t_OutputSettings settings;
};

// The output settings for an asset (its size when the source size is kept).
void fillOutput(const RenderOptions& options, const AssetMetadata& asset, Output* output)
{
    output->destination = options.outputFolder;
    const QSize size = options.sourceSize ? QSize(int(asset.width), int(asset.height)) : options.size;
    OutputSettings::fill(&output->settings, options.format, &output->destination, &output->encoder, size, options.fit,
        !options.overwrite);
    OutputSettings::setTiffOptions(&output->settings, options.tiffDepth, options.tiffCompression, options.tiffAlpha);
}

// Two clips of the same file, or of files named alike, write apart: the
// later ones under "_2", "_3" as the render tab names them.
void nameOutputsApart(const RenderOptions& options, const std::vector<std::unique_ptr<Job>>& jobs)
{
    if (jobs.empty())
        return;
    Output output;
    fillOutput(options, *jobs.front()->asset, &output);
    QList<const AssetMetadata*> assets;
    for (const auto& job : jobs)
        assets << job->asset.get();
    const QStringList names = OutputPaths::distinctNames(&output.settings, assets);
    for (size_t i = 0; i < jobs.size(); ++i)
        jobs[i]->asset->name = names.at(int(i));
}

// The name of a job's output: the movie's file name or the image folder's.
QString outputName(const RenderOptions& options, const Job& job)
{
    Output output;
    fillOutput(options, *job.asset, &output);
    return QFileInfo(OutputPaths::existingOutputPath(&output.settings, job.asset.get())).fileName();
}

// What each part renders: the clips and frame ranges (images), or the
// movies, each part's on one line.
QList<ChunkPlan::Span> chunkSpans(
    const RenderOptions& options, const std::vector<std::unique_ptr<Job>>& jobs, const ChunkPlan::Chunk& chunk)
{
    QList<ChunkPlan::Span> spans;
    if (OutputSettings::isMovieFormat(options.format) && !options.intermediate) {
        for (int i : ChunkPlan::movieItems(int(jobs.size()), chunk))
            spans << ChunkPlan::Span { i, jobs[size_t(i)]->in, jobs[size_t(i)]->out };
        return spans;
    }
    QList<ChunkPlan::Span> items;
    for (size_t i = 0; i < jobs.size(); ++i)
        items << ChunkPlan::Span { int(i), jobs[i]->in, jobs[i]->out };
    return ChunkPlan::imageSpans(items, chunk);
}

void listChunks(const RenderOptions& options, const std::vector<std::unique_ptr<Job>>& jobs)
{
    const int count = options.listChunks;
    const bool movies = OutputSettings::isMovieFormat(options.format) && !options.intermediate;
    for (int k = 0; k < count; ++k) {
        QStringList parts;
        qint64 frames = 0;
        for (const ChunkPlan::Span& span : chunkSpans(options, jobs, { k, count })) {
            parts << QStringLiteral("%1 frames %2-%3")
                         .arg(outputName(options, *jobs[size_t(span.item)]))
                         .arg(span.first)
                         .arg(span.end - 1);
            frames += span.length();
        }
        print(QStringLiteral("chunk %1/%2: %3 %4%5")
                  .arg(k)
                  .arg(count)
                  .arg(frames)
                  .arg(movies                    ? QStringLiteral("frames in movies")
                          : options.intermediate ? QStringLiteral("frames in intermediate movies")
                                                 : QStringLiteral("images"))
                  .arg(parts.isEmpty() ? QString() : QStringLiteral(": ") + parts.join(QStringLiteral(", "))));
    }
}

Outcome renderItem(
    const Job& job, SequenceItem* itemToRender, const RenderOptions& options, bool inPlace, QOffscreenSurface* surface)
{
    g_lastCritical.clear();
    const QString& clip = job.clip;
    if (job.fromProject && job.grade) {
        CameraListHelper* catalogue = CameraListHelper::instance();
        QString error;
        if (catalogue->load()
            && !makeMissingProfile(catalogue->getProfile(job.grade->getSourceType()), options.quiet, &error)) {
            reportFailure(QStringLiteral("%1: %2").arg(clip, error));
            return Outcome::Failed;
        }
    }
    SequenceItem& item = *itemToRender;
    AssetMetadata& asset = *item.asset;
    Output output;
    fillOutput(options, asset, &output);
    t_OutputSettings& settings = output.settings;

    const QString target = OutputPaths::existingOutputPath(&settings, &asset);
    if (!inPlace && !options.overwrite && QFileInfo::exists(target)) {
        print(QStringLiteral("%1: skipped, %2 exists (use --overwrite to replace it)")
                  .arg(clip, QDir::toNativeSeparators(target)));
        return Outcome::Skipped;
    }
    if (!QDir().mkpath(output.destination)) {
        reportFailure(QStringLiteral("can't create the output folder %1").arg(output.destination));
        return Outcome::Failed;
    }

    ProgressLine progress(asset.name, int(item.lengthInFrames()), options.quiet);
    WinOffscreenRenderer renderer(&g_running, surface);
    renderer.setImagesInPlace(inPlace);
    QObject::connect(
        &renderer, &OffscreenRenderer::progressUpdated, [&](const QUuid*, int value) { progress.update(value); });
    bool ok = renderer.initialize(&item, &settings);
    if (ok)
        ok = OutputSettings::isMovieFormat(options.format) ? renderer.run() : renderer.runImageMode();
    progress.finish();
    const QString frames
        = inPlace ? QStringLiteral(" frames %1-%2").arg(item.startFrame).arg(item.endFrame - 1) : QString();
    if (!ok) {
        QString reason = renderer.lastError();
        if (reason.isEmpty())
            reason = g_lastCritical;
        reason.replace(QStringLiteral("<br />"), QStringLiteral(" "));
        reportFailure(QStringLiteral("%1%2: FAILED: %3")
                          .arg(clip, frames, reason.isEmpty() ? QStringLiteral("unknown error") : reason));
        return Outcome::Failed;
    }
    const QString written = OutputSettings::isMovieFormat(options.format)
        ? renderer.movieFilePath()
        : OutputPaths::imageFolderPath(&settings, &asset);
    if (inPlace && renderer.framesWritten() == 0) {
        print(QStringLiteral("%1%2: skipped, all %3 images exist in %4 (use --overwrite to replace them)")
                  .arg(clip, frames)
                  .arg(renderer.imagesKept())
                  .arg(QDir::toNativeSeparators(written)));
        return Outcome::Skipped;
    }
    const QString kept
        = inPlace && renderer.imagesKept() > 0 ? QStringLiteral(", %1 kept").arg(renderer.imagesKept()) : QString();
    print(QStringLiteral("%1%2 -> %3  (%4 frames%5 %6x%7, %8 fps, %9)")
              .arg(clip, frames, QDir::toNativeSeparators(written), QString::number(renderer.framesWritten()), kept,
                  QString::number(renderer.outputWidth()), QString::number(renderer.outputHeight()),
                  QString::number(progress.framesPerSecond(), 'f', 1),
                  ProgressLine::formatDuration(progress.elapsedSeconds())));
    return Outcome::Rendered;
}

// A part of a clip as an intermediate movie, beside the record of the
// clip's whole range.
Outcome renderIntermediate(
    const Job& job, const ChunkPlan::Span& span, const RenderOptions& options, QOffscreenSurface* surface)
{
    const QString base = OutputPaths::baseName(job.asset->name);
    RenderOptions partOptions = options;
    partOptions.outputFolder = Intermediates::folder(options.outputFolder, base);
    QString error;
    if (!QDir().mkpath(partOptions.outputFolder)
        || !Intermediates::recordRange(partOptions.outputFolder, base, job.in, job.out, &error)) {
        reportFailure(QStringLiteral("%1: can't prepare %2: %3").arg(job.clip, partOptions.outputFolder, error));
        return Outcome::Failed;
    }
    AssetMetadata part = *job.asset;
    part.name = Intermediates::partName(base, span.first, span.end);
    SequenceItem item(&part, job.grade, quint32(span.first), quint32(span.end), job.uuid);
    return renderItem(job, &item, partOptions, false, surface);
}

int assembleMovies(const RenderOptions& options)
{
    const Intermediates::Result result = Intermediates::assemble(options.assembleFolder, options.overwrite);
    for (const QString& line : result.joined + result.skipped)
        print(line);
    for (const QString& line : result.failed)
        reportFailure(line);
    print(QStringLiteral("%1 joined, %2 skipped, %3 failed")
              .arg(result.joined.size())
              .arg(result.skipped.size())
              .arg(result.failed.size()));
    return result.failed.isEmpty() ? 0 : 1;
}

// Writes the grade as a .cube LUT.
bool exportLook(const RenderOptions& options)
{
    const ClipSettings& grade = options.grade;
    QString title = options.presetName.isEmpty() ? options.preset : options.presetName;
    if (title.isEmpty())
        title = QStringLiteral("%1, camera %2")
                    .arg(FilmLibrary::instance()->displayNameForCode(grade.getStockName()), options.profileText);
    LookCube cube;
    QString error;
    if (!LookCube::bake(grade, options.cubeSize, title, &cube, &error) || !cube.write(options.exportCube, &error)) {
        printError(error);
        return false;
    }
    if (!options.quiet)
        print(QStringLiteral("Wrote %1 (%2-point LUT, \"%3\")").arg(options.exportCube).arg(cube.size).arg(title));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.contains(QStringLiteral("--version"))) {
        std::printf("emulsa-render %s\n", EMULSA_VERSION);
        return 0;
    }
    RenderOptions options;
    QString error;
    bool exitNow = false;
    if (!parseRenderOptions(arguments, &options, &error, &exitNow)) {
        if (exitNow) {
            std::printf("%s", qPrintable(error));
            return 0;
        }
        printError(error);
        return 2;
    }
    g_verbose = options.verbose;
    if (options.hwDecode)
        HardwareDecoding::setMode(*options.hwDecode);
    qInstallMessageHandler(messageHandler);
    av_log_set_level(options.verbose ? AV_LOG_INFO : AV_LOG_ERROR);
    if (!options.assembleFolder.isEmpty())
        return assembleMovies(options);

    const bool listing = options.clips.isEmpty() && options.projectFile.isEmpty();
    HeadlessDisplay display;
    // Lists, the parts of a job and a LUT need no display and no GL (the LUT
    // is baked on the CPU): a plain application without a platform plugin.
    const bool noGl = listing || options.listChunks > 0;
    if (!noGl && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !prepareHeadless(&display, &error)) {
        printError(error);
        return 1;
    }
    std::unique_ptr<QCoreApplication> app;
    if (noGl)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QGuiApplication>(argc, argv);
    QCoreApplication::setOrganizationDomain(QStringLiteral("QLM"));
    QCoreApplication::setApplicationName(QStringLiteral("Emulsa"));
    Emulsa::initResources();

    if (ApplicationPaths::computeDataRootPath().isEmpty()
        || !QFileInfo(ApplicationPaths::computeDataRootPath()).isDir()) {
        printError(QStringLiteral("the film data folder is missing (looked for %1)")
                       .arg(ApplicationPaths::computeDataRootPath()));
        return 1;
    }
    if (options.listStocks)
        print(stockLines().join(QLatin1Char('\n')));
    if (options.listProfiles)
        print(profileLines().join(QLatin1Char('\n')));
    if (options.listGauges)
        print(ClipSettings::grainScaleNames().join(QLatin1Char('\n')));
    if (listing && options.exportCube.isEmpty())
        return 0;

    ProjectJob project;
    if (!options.projectFile.isEmpty()) {
        if (!project.load(options.projectFile, &error)) {
            printError(error);
            return 1;
        }
        if (!project.problems().isEmpty())
            printError(QStringLiteral("%1: %2").arg(options.projectFile, project.problems()));
    } else {
        bool incomplete = false;
        bool made = true;
        if (!applyPresetLook(arguments, &options, &error, &incomplete) || !(made = makeMissingProfile(options, &error))
            || !resolveGrade(options.profileText, options.stockText, &options.grade, &error)) {
            printError(error);
            // A profile that could not be made is a failure, not a usage error.
            return incomplete || !made ? 1 : 2;
        }
        if (!options.exportCube.isEmpty() && !exportLook(options))
            return 1;
        if (listing)
            return 0;
    }

    std::vector<std::unique_ptr<Job>> jobs;
    int failed = 0;
    for (const QString& clip : qAsConst(options.clips)) {
        if (auto job = prepareClip(clip, options))
            jobs.push_back(std::move(job));
        else
            ++failed;
    }
    for (SequenceItem* item : project.items()) {
        if (auto job = prepareProjectItem(project, item, options))
            jobs.push_back(std::move(job));
        else
            ++failed;
    }
    nameOutputsApart(options, jobs);
    if (options.listChunks > 0) {
        listChunks(options, jobs);
        return failed > 0 ? 1 : 0;
    }

    QOffscreenSurface surface;
    OffscreenGLContext::requestCoreFormat(&surface);
    surface.create();
    if (!surface.isValid()) {
        printError(HeadlessGL::isActive()
                ? QStringLiteral("no OpenGL surface could be made on the headless EGL display")
                : QStringLiteral("no OpenGL surface could be made on display %1").arg(display.display()));
        return 1;
    }
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    // Each entry: a job and the frames of it to render.
    QList<ChunkPlan::Span> work;
    if (options.chunked) {
        work = chunkSpans(options, jobs, options.chunk);
        print(QStringLiteral("chunk %1/%2: %3 part(s) of %4 clip(s)")
                  .arg(options.chunk.index)
                  .arg(options.chunk.count)
                  .arg(work.size())
                  .arg(jobs.size()));
    } else {
        for (size_t i = 0; i < jobs.size(); ++i)
            work << ChunkPlan::Span { int(i), jobs[i]->in, jobs[i]->out };
    }
    // Images of a part are written in place, beside the other parts'.
    const bool inPlace = options.chunked && !OutputSettings::isMovieFormat(options.format);
    int rendered = 0;
    int skipped = 0;
    int started = 0;
    for (const ChunkPlan::Span& span : qAsConst(work)) {
        if (!g_running)
            break;
        ++started;
        const Job& job = *jobs[size_t(span.item)];
        Outcome outcome = Outcome::Failed;
        if (options.intermediate)
            outcome = renderIntermediate(job, span, options, &surface);
        else {
            SequenceItem item(job.asset.get(), job.grade, quint32(span.first), quint32(span.end), job.uuid);
            outcome = renderItem(job, &item, options, inPlace, &surface);
        }
        switch (outcome) {
        case Outcome::Rendered:
            ++rendered;
            break;
        case Outcome::Skipped:
            ++skipped;
            break;
        case Outcome::Failed:
            ++failed;
            break;
        }
    }
    const int notStarted = int(work.size()) - started;
    if (!g_running)
        printError(QStringLiteral("cancelled"));
    print(QStringLiteral("%1 rendered, %2 skipped, %3 failed%4")
              .arg(rendered)
              .arg(skipped)
              .arg(failed)
              .arg(notStarted > 0 ? QStringLiteral(", %1 not started").arg(notStarted) : QString()));
    if (!g_failures.isEmpty()) {
        std::fprintf(stderr, "Failed:\n");
        for (const QString& failure : qAsConst(g_failures))
            std::fprintf(stderr, "  %s\n", qPrintable(failure));
    }
    return (failed > 0 || notStarted > 0 || !g_running) ? 1 : 0;
}
