#pragma once

#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmStock.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <vector>

namespace Emulsa {

struct CubeLut;

namespace FilmData {

// Writes a camera profile's stock tables: one "<tin>_<stock>.tin" file per
// stock (see TableBuilder::profileTable), the layout the film library reads
// from Profiles/<tin>/. The bytes depend on the profile and stock only, never
// on the number of threads.
class ProfileTables
{
public:
    // "<tin>_<stock>.tin".
    static QString fileName(const CameraProfile& profile, const FilmStock& stock);
    // The table file of one stock; with a `lut`, for a camera decoded
    // through it (see FilmModel).
    static QByteArray tableBytes(const CameraProfile& profile, const FilmStock& stock, const CubeLut* lut = nullptr);

    // Called after each table with the tables written so far and the total;
    // from any of the worker threads, one call at a time.
    using Progress = std::function<void(int done, int total)>;

    // Writes every stock's table into folder (created when missing) on
    // `threads` threads. Stops early, returning false, when a file cannot be
    // written or *cancel becomes true; the tables written until then stay
    // (the caller writes into a folder it can throw away).
    static bool write(const CameraProfile& profile, const QString& folder, int threads,
        const std::atomic<bool>* cancel = nullptr, const Progress& progress = Progress(), const CubeLut* lut = nullptr);

    // Writes a file through a temporary one renamed into place, creating its
    // folder; false (with a warning) on any failure.
    static bool writeFile(const QString& path, const QByteArray& bytes);
    // Runs the jobs on `threads` threads; true when every job succeeded.
    static bool runJobs(const std::vector<std::function<bool()>>& jobs, int threads);
};

} // namespace FilmData
} // namespace Emulsa
