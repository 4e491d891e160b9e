#pragma once

#include <QString>
#include <QStringList>

namespace Emulsa::MovieJoin {

// Joins movies made one after another from the same clip, with the same
// streams and codecs (intra-frame pictures and PCM sound, as the
// intermediate movies of a farm render are), into one ".mov" movie by
// copying their packets in order: nothing is decoded or encoded again. Each
// stream of a part starts where the same stream of the part before ended, so
// that a part whose sound is exactly as long as its pictures keeps them in
// step from the first part to the last. The movie is written under a hidden
// working name beside `target` and renamed into place when complete
// (PartFile); the working files a stopped join left there are removed
// first. False with *error set when a part cannot be read, its streams
// differ from the first part's, or the movie cannot be written; nothing is
// then left at `target` that was not there before.
bool join(const QStringList& parts, const QString& target, QString* error);

} // namespace Emulsa::MovieJoin
