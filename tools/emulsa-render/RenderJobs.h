#pragma once

#include "RenderOptions.h"

#include "media/clip/AssetMetadata.h"
#include "media/render/ChunkPlan.h"
#include "media/render/OutputSettings.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <vector>

namespace Emulsa {
class SequenceItem;
}

namespace Emulsa::RenderTool {

class ProjectJob;

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

// A clip named on the command line, with the grade of the options and the
// in and out points they give. Null, with the failure reported, when the
// file is missing, cannot be decoded or the points leave no frame.
std::unique_ptr<Job> prepareClip(const QString& clip, RenderOptions& options);

// A clip of a saved project with its own grade and in and out points. A
// clip whose grade could not be read whole is refused unless the defaults
// are accepted in place of what was lost.
std::unique_ptr<Job> prepareProjectItem(const ProjectJob& project, SequenceItem* item, const RenderOptions& options);

// Where and how a clip's output is written.
struct Output
{
    QString destination;
    EncoderSettings encoder;
    t_OutputSettings settings;
};

// The output settings for an asset (its size when the source size is kept).
void fillOutput(const RenderOptions& options, const AssetMetadata& asset, Output* output);

// Two clips of the same file, or of files named alike, write apart: the
// later ones under "_2", "_3" as the render tab names them.
void nameOutputsApart(const RenderOptions& options, const std::vector<std::unique_ptr<Job>>& jobs);

// The name of a job's output: the movie's file name or the image folder's.
QString outputName(const RenderOptions& options, const Job& job);

// What each part renders: the clips and frame ranges (images), or the
// movies, each part's on one line.
QList<ChunkPlan::Span> chunkSpans(
    const RenderOptions& options, const std::vector<std::unique_ptr<Job>>& jobs, const ChunkPlan::Chunk& chunk);

// Prints the parts of the job (--list-chunks), one line each.
void listChunks(const RenderOptions& options, const std::vector<std::unique_ptr<Job>>& jobs);

} // namespace Emulsa::RenderTool
