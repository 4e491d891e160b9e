#pragma once

#include <QString>
#include <QtGlobal>

namespace Emulsa::FrameSeed {

// The randomness of a graded frame (where its grain sits, and any other
// per-frame variation) depends only on the clip and the frame number: a frame
// grades the same in the preview, in every render, in any order, on any
// machine and with any number of threads.

// The seed of a clip, from its file name (without folder, so that the same
// footage on another machine or mount grades the same).
quint32 forClip(const QString& fileName);

// A well-mixed 32-bit value for one frame of a clip; `stream` tells apart the
// independent values a frame needs (grain x, grain y, ...).
quint32 hash(quint32 clipSeed, qint64 frame, quint32 stream);

// hash() as a number in [0, 1).
float unit(quint32 clipSeed, qint64 frame, quint32 stream);

} // namespace Emulsa::FrameSeed
