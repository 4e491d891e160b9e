// emulsa-render: grades clips with a film look and writes them to disk from
// the command line, through the application's own off-screen renderer.

#include "HeadlessDisplay.h"
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

#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

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

Outcome renderItem(const QString& clip, SequenceItem* item, const RenderOptions& options, QOffscreenSurface* surface);

Outcome renderClip(const QString& clip, const RenderOptions& options, QOffscreenSurface* surface)
{
    g_lastCritical.clear();
    const QFileInfo info(clip);
    if (!info.isFile()) {
        printError(QStringLiteral("%1: no such file").arg(clip));
        return Outcome::Failed;
    }
    AssetMetadata asset;
    asset.filePath = info.absoluteFilePath();
    asset.name = info.fileName();
    {
        WinSourceReader reader(false);
        if (!reader.initializeFromMetadata(&asset) || !reader.fillMetadata()) {
            printError(QStringLiteral("%1: not a clip that can be decoded").arg(clip));
            return Outcome::Failed;
        }
    }
    const quint32 in = options.in.set ? options.in.frame(asset.frameRateNum, asset.frameRateDen) : 0;
    quint32 out = options.out.set ? options.out.frame(asset.frameRateNum, asset.frameRateDen) : asset.frameCount;
    out = std::min(out, asset.frameCount);
    if (in >= out) {
        printError(QStringLiteral("%1: the in point (%2) must come before the out point (%3); the clip has %4 frames")
                       .arg(clip, QString::number(in), QString::number(out), QString::number(asset.frameCount)));
        return Outcome::Failed;
    }

    ClipSettings grade = options.grade;
    SequenceItem item(&asset, &grade, in, out);
    return renderItem(clip, &item, options, surface);
}

// Renders one clip of a saved project with its own grade and in and out
// points. A clip whose grade could not be read whole is refused unless the
// defaults are accepted in place of what was lost.
Outcome renderProjectItem(
    const ProjectJob& project, SequenceItem* item, const RenderOptions& options, QOffscreenSurface* surface)
{
    g_lastCritical.clear();
    const QString clip = QDir::toNativeSeparators(item->asset->filePath);
    const QStringList unread = project.unreadFields(item);
    if (!unread.isEmpty()) {
        const QString problem = QStringLiteral("%1: clip %2 (%3): its grade could not be read whole (not readable: %4)")
                                    .arg(options.projectFile)
                                    .arg(project.items().indexOf(item) + 1)
                                    .arg(clip, unread.join(QStringLiteral(", ")));
        if (!options.acceptDefaults) {
            printError(QStringLiteral("%1; not rendered. Give --accept-defaults to render it with default values "
                                      "where the grade could not be read.")
                           .arg(problem));
            return Outcome::Failed;
        }
        printError(QStringLiteral("%1; rendering with default values there (--accept-defaults)").arg(problem));
    }
    if (!ProjectJob::isDecodable(item)) {
        printError(QStringLiteral("%1: not a clip that can be decoded").arg(clip));
        return Outcome::Failed;
    }
    // The file may have become shorter since the project was saved.
    const quint32 out = std::min(item->endFrame, item->asset->frameCount);
    if (item->startFrame >= out) {
        printError(QStringLiteral("%1: the in point (%2) must come before the out point (%3); the clip has %4 frames")
                       .arg(clip, QString::number(item->startFrame), QString::number(item->endFrame),
                           QString::number(item->asset->frameCount)));
        return Outcome::Failed;
    }
    CameraListHelper* catalogue = CameraListHelper::instance();
    QString error;
    if (item->settings && catalogue->load()
        && !makeMissingProfile(catalogue->getProfile(item->settings->getSourceType()), options.quiet, &error)) {
        printError(QStringLiteral("%1: %2").arg(clip, error));
        return Outcome::Failed;
    }
    SequenceItem trimmed(item->asset, item->settings, item->startFrame, out, item->uuid);
    return renderItem(clip, &trimmed, options, surface);
}

Outcome renderItem(
    const QString& clip, SequenceItem* itemToRender, const RenderOptions& options, QOffscreenSurface* surface)
{
    SequenceItem& item = *itemToRender;
    AssetMetadata& asset = *item.asset;
    QString destination = options.outputFolder;
    EncoderSettings encoder;
    t_OutputSettings settings;
    const QSize size = options.sourceSize ? QSize(int(asset.width), int(asset.height)) : options.size;
    OutputSettings::fill(&settings, options.format, &destination, &encoder, size, options.fit, !options.overwrite);
    OutputSettings::setTiffOptions(&settings, options.tiffDepth, options.tiffCompression, options.tiffAlpha);

    const QString target = OutputPaths::existingOutputPath(&settings, &asset);
    if (!options.overwrite && QFileInfo::exists(target)) {
        print(QStringLiteral("%1: skipped, %2 exists (use --overwrite to replace it)")
                  .arg(clip, QDir::toNativeSeparators(target)));
        return Outcome::Skipped;
    }
    if (!QDir().mkpath(destination)) {
        printError(QStringLiteral("can't create the output folder %1").arg(destination));
        return Outcome::Failed;
    }

    ProgressLine progress(asset.name, int(item.lengthInFrames()), options.quiet);
    WinOffscreenRenderer renderer(&g_running, surface);
    QObject::connect(
        &renderer, &OffscreenRenderer::progressUpdated, [&](const QUuid*, int value) { progress.update(value); });
    bool ok = renderer.initialize(&item, &settings);
    if (ok)
        ok = OutputSettings::isMovieFormat(options.format) ? renderer.run() : renderer.runImageMode();
    progress.finish();
    if (!ok) {
        QString reason = renderer.lastError();
        if (reason.isEmpty())
            reason = g_lastCritical;
        reason.replace(QStringLiteral("<br />"), QStringLiteral(" "));
        printError(
            QStringLiteral("%1: FAILED: %2").arg(clip, reason.isEmpty() ? QStringLiteral("unknown error") : reason));
        return Outcome::Failed;
    }
    const QString written = OutputSettings::isMovieFormat(options.format)
        ? renderer.movieFilePath()
        : OutputPaths::imageFolderPath(&settings, &asset);
    print(QStringLiteral("%1 -> %2  (%3 frames %4x%5, %6 fps, %7)")
              .arg(clip, QDir::toNativeSeparators(written), QString::number(renderer.framesWritten()),
                  QString::number(renderer.outputWidth()), QString::number(renderer.outputHeight()),
                  QString::number(progress.framesPerSecond(), 'f', 1),
                  ProgressLine::formatDuration(progress.elapsedSeconds())));
    return Outcome::Rendered;
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

    const bool listing = options.clips.isEmpty() && options.projectFile.isEmpty();
    HeadlessDisplay display;
    // Lists and a LUT need no display and no GL (the LUT is baked on the
    // CPU): a plain application without a platform plugin.
    if (!listing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !prepareHeadless(&display, &error)) {
        printError(error);
        return 1;
    }
    std::unique_ptr<QCoreApplication> app;
    if (listing)
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

    int rendered = 0;
    int skipped = 0;
    int failed = 0;
    QList<std::function<Outcome()>> jobs;
    for (const QString& clip : qAsConst(options.clips))
        jobs << [&, clip] { return renderClip(clip, options, &surface); };
    for (SequenceItem* item : project.items())
        jobs << [&, item] { return renderProjectItem(project, item, options, &surface); };
    for (const auto& job : qAsConst(jobs)) {
        if (!g_running)
            break;
        switch (job()) {
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
    const int notStarted = jobs.size() - rendered - skipped - failed;
    if (!g_running)
        printError(QStringLiteral("cancelled"));
    print(QStringLiteral("%1 rendered, %2 skipped, %3 failed%4")
              .arg(rendered)
              .arg(skipped)
              .arg(failed)
              .arg(notStarted > 0 ? QStringLiteral(", %1 not started").arg(notStarted) : QString()));
    return (failed > 0 || notStarted > 0 || !g_running) ? 1 : 0;
}
