#include "RenderJobs.h"

#include "Console.h"
#include "ProjectJob.h"

#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/render/OutputPaths.h"
#include "media/source/WinSourceReader.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace Emulsa::RenderTool {

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

void fillOutput(const RenderOptions& options, const AssetMetadata& asset, Output* output)
{
    output->destination = options.outputFolder;
    const QSize size = options.sourceSize ? QSize(int(asset.width), int(asset.height)) : options.size;
    OutputSettings::fill(&output->settings, options.format, &output->destination, &output->encoder, size, options.fit,
        !options.overwrite);
    OutputSettings::setTiffOptions(&output->settings, options.tiffDepth, options.tiffCompression, options.tiffAlpha);
}

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

QString outputName(const RenderOptions& options, const Job& job)
{
    Output output;
    fillOutput(options, *job.asset, &output);
    return QFileInfo(OutputPaths::existingOutputPath(&output.settings, job.asset.get())).fileName();
}

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

} // namespace Emulsa::RenderTool
