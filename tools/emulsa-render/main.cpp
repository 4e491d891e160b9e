// emulsa-render: grades clips with a film look and writes them to disk from
// the command line, through the application's own off-screen renderer.

#include "Console.h"
#include "HeadlessDisplay.h"
#include "Intermediates.h"
#include "Interruption.h"
#include "MissingProfile.h"
#include "PresetLook.h"
#include "ProgressLine.h"
#include "ProjectJob.h"
#include "RenderJobs.h"
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
#include "resources/Resources.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QUuid>

#include <cstdio>
#include <memory>
#include <vector>

using namespace Emulsa;
using namespace Emulsa::RenderTool;

namespace {

bool g_verbose = false;
QString g_lastCritical;

void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    QString text = message;
    text.replace(QStringLiteral("<br />"), QStringLiteral(" "));
    if (type == QtCriticalMsg || type == QtFatalMsg)
        g_lastCritical = text.trimmed();
    if (g_verbose || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
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
    WinOffscreenRenderer renderer(Interruption::running(), surface);
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
    Interruption::catchSignals();

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
        if (!*Interruption::running())
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
    if (!*Interruption::running())
        printError(QStringLiteral("cancelled"));
    print(QStringLiteral("%1 rendered, %2 skipped, %3 failed%4")
              .arg(rendered)
              .arg(skipped)
              .arg(failed)
              .arg(notStarted > 0 ? QStringLiteral(", %1 not started").arg(notStarted) : QString()));
    if (!failures().isEmpty()) {
        std::fprintf(stderr, "Failed:\n");
        for (const QString& failure : failures())
            std::fprintf(stderr, "  %s\n", qPrintable(failure));
    }
    return (failed > 0 || notStarted > 0 || !*Interruption::running()) ? 1 : 0;
}
