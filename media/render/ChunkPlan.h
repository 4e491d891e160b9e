#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>

namespace Emulsa::ChunkPlan {

// How a job's work is shared among the tasks of a render farm: task `index`
// of `count`, counted from 0. Every task plans the same split from the same
// items, so that the tasks together render each frame once.
struct Chunk
{
    int index = 0;
    int count = 1;
};

// "K/N": part K (0 <= K < N) of N. False with *error set to what is wrong.
bool parse(const QString& text, Chunk* chunk, QString* error);

// The part a scheduler gave this task, from its environment:
// - a Slurm job array: SLURM_ARRAY_TASK_ID, counted from
//   SLURM_ARRAY_TASK_MIN (0 when unset), of SLURM_ARRAY_TASK_COUNT tasks or
//   else SLURM_ARRAY_TASK_MAX - SLURM_ARRAY_TASK_MIN + 1;
// - a Kubernetes Indexed Job: JOB_COMPLETION_INDEX, of `chunks` parts.
// `chunks` (0 when not given) overrides the count a Slurm array implies.
// False with *error set when no scheduler's variables are there or they do
// not name a part.
bool fromScheduler(const QProcessEnvironment& environment, int chunks, Chunk* chunk, QString* error);

// Frames first .. end - 1 (the clip's own frame numbers) of item `item`.
struct Span
{
    int item = 0;
    qint64 first = 0;
    qint64 end = 0;

    qint64 length() const { return end - first; }
    bool operator==(const Span& other) const { return item == other.item && first == other.first && end == other.end; }
};

// An image sequence job: the items' frames (each item's in .. out - 1)
// laid end to end and cut into `chunk.count` contiguous runs whose lengths
// differ by one at most; the part of run `chunk.index` in each item, in item
// order. Empty when the run holds no frame (more parts than frames).
QList<Span> imageSpans(const QList<Span>& items, const Chunk& chunk);

// A movie job: each movie is rendered whole by one task. The items (by
// index) of task `chunk.index`: a contiguous run of them, the runs' lengths
// differing by one at most.
QList<int> movieItems(int itemCount, const Chunk& chunk);

} // namespace Emulsa::ChunkPlan
