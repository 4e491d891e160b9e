#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace Emulsa {
namespace FilmData {

// Writes the film data folder (the data root's layout):
//   Resources/cameraList_v001.xml, the exposure conversion files, the grain
//   images CP35.bin, CP16.bin, CP8.bin and one <stock>.emoGrain per stock,
//   the placeholders and the example presets;
//   Profiles/<tin>/<tin>_<stock>.tin for the profiles with installed tables;
//   LUTS_V1/<bin>_<stock>.bin for the generic fallback profile.
// Every file is a pure function of the generator's code: the same bytes on
// every run, whatever the number of threads.
class DataWriter
{
public:
    // Profiles whose ".tin" tables belong to the default set, and the one
    // profile installed through generic ".bin" tables.
    static const QStringList& defaultProfileIds();
    static const char* genericProfileId();

    explicit DataWriter(const QString& root, int threads);

    bool writeDefaultSet();
    // The ".tin" tables of one profile into Profiles/<tin>/; with `zip`, also
    // the archive the profile downloader fetches, <tin>.zip in `zipFolder`,
    // holding the tables inside a top-level folder <tin>/.
    bool writeProfile(const QString& id, bool zip, const QString& zipFolder);
    // One profile-and-stock table as a ".cube" file.
    static bool writeCube(const QString& profileId, const QString& stockCode, const QString& path);

    static bool writeFile(const QString& path, const QByteArray& bytes);
    // Runs the jobs on `threads` threads; true when every job succeeded.
    static bool runJobs(const std::vector<std::function<bool()>>& jobs, int threads);

    QString root() const { return m_root; }

private:
    bool writeResources(std::vector<std::function<bool()>>& jobs);
    void addProfileJobs(const QString& id, std::vector<std::function<bool()>>& jobs);
    void addGenericJobs(const QString& id, std::vector<std::function<bool()>>& jobs);

    QString m_root;
    int m_threads;
};

} // namespace FilmData
} // namespace Emulsa
