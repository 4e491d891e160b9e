#pragma once

#include "model/PresetGroup.h"
#include "model/PresetThumbnails.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace Emulsa {

class ClipSettings;

// The store of every preset group, its presets and the presets' thumbnails.
// It reads every ".empreset" file of the presets folder when it is made and
// writes the groups back when asked (the model asks after each preset
// command). One file per group: the group's name and id live inside the file,
// the file name is only a safe, distinct rendering of the name.
//
// Every method may be called from any thread: one lock guards the store, and
// everything handed out is a copy (QImage copies are implicitly shared and
// safe to pass between threads).
class PresetsManager
{
public:
    static constexpr const char* presetFileSuffix = ".empreset";
    // Older exported files carry this suffix; both are read.
    static constexpr const char* exportedFileSuffix = ".empresets";
    // Largest preset file read; a real one is a few kilobytes, an exported
    // one with thumbnails a few hundred.
    static constexpr qint64 maxPresetFileBytes = 64LL * 1024 * 1024;

    // The process-wide store on the user presets folder, made and loaded on
    // first use. It never writes on destruction: changes are written as they
    // are made.
    static PresetsManager* instance();

    // A store on the given folder (tests use their own); loads it at once.
    explicit PresetsManager(const QString& presetsFolder);
    ~PresetsManager();
    PresetsManager(const PresetsManager&) = delete;
    PresetsManager& operator=(const PresetsManager&) = delete;

    QString presetsFolder() const { return m_presetsFolder; }

    // Drops everything in memory and reads every preset file of the folder.
    void loadPresets();
    // Parses one preset file and adds its group; the group's id, or -1.
    int readPresetsFile(const QString& path);
    // readPresetsFile for a file the user picked.
    int importPresetGroup(const QString& path);
    // Writes one group with its thumbnails to the path ("<path>.empreset"
    // when the path has neither preset suffix).
    bool exportPresetGroup(int groupId, const QString& path) const;
    // Writes every group to its file, each through a QSaveFile; group files
    // this store read or wrote that belong to no group any more are removed
    // only after every group was written. False when any write failed
    // (nothing is removed then).
    bool writePresetsToDisk();

    // New empty group with the smallest unused id; its copy.
    PresetGroup createNewGroup(const QString& name);
    // Takes the group out of the store and hands it over; none when unknown.
    std::optional<PresetGroup> takeGroup(int groupId);
    // Puts a group back; while its id is taken the id goes up by one. The id
    // it got.
    int reinsertGroup(PresetGroup group);
    bool renamePresetGroup(int groupId, const QString& name);

    std::optional<PresetGroup> group(int groupId) const;
    // Copies of every group, by id.
    QList<PresetGroup> groups() const;
    QList<int> groupIds() const;
    // The group's presets in creation order; empty for an unknown group
    // (*found tells the two empty cases apart).
    QVector<Preset> presetsOfGroup(int groupId, bool* found = nullptr) const;

    // Lookups by the braced id text; an empty or malformed id finds nothing.
    std::optional<Preset> findPreset(const QByteArray& presetId) const;
    // The id of the group holding the preset, or -1.
    int groupOfPreset(const QByteArray& presetId) const;
    bool renamePreset(const QByteArray& presetId, const QString& name);
    // Takes the preset out of its group; the record puts it back.
    std::optional<RemovedPreset> removePreset(const QByteArray& presetId);
    // Puts a copy (same uuid) into the record's group when that group exists
    // and the uuid is free; reloads its thumbnail.
    bool addPreset(const RemovedPreset& record);
    // A preset of the settings in an existing group: fresh uuid, empty name,
    // the next creation number.
    std::optional<Preset> createPreset(const ClipSettings& settings, int groupId);
    // A copy of the preset in the target group: fresh uuid, same name and
    // grade, the next creation number, the source's thumbnail.
    std::optional<Preset> copyPreset(const QByteArray& presetId, int toGroupId);
    // Gives the preset the grade and unread fields of `grade`, and its
    // thumbnail too unless `keepThumbnail` (a null one removes the stored
    // file, the placeholder stands in); the name, number, group and uuid
    // stay. What the preset had before; none for an unknown preset.
    std::optional<PresetGrade> replacePresetGrade(
        const QByteArray& presetId, const PresetGrade& grade, bool keepThumbnail);
    // Moves the presets of `fromGroupId` named by the ids to `toGroupId`,
    // keeping their uuids. An unknown group on either side, or the same group,
    // changes nothing. The ids actually moved.
    QVector<QByteArray> movePresets(int fromGroupId, int toGroupId, const QVector<QByteArray>& presetIds);

    quint32 lastPresetNumber() const;

    // The cached thumbnail, or the placeholder (a null image without one).
    QImage thumbnailForId(const QByteArray& presetId) const;
    // Stores a thumbnail file for an existing preset and caches it. The
    // image is deep-copied first, so the caller may go on using its own.
    // `mirror` flips it vertically (the preview grabs frames upside down).
    bool setNewThumbnailForId(const QImage& image, const QByteArray& presetId, bool mirror);
    // Gives the target the source's cached thumbnail.
    void copyThumbnail(const QByteArray& sourceId, const QByteArray& targetId);

    // DATA/presets/thumbnails/a/b/c/ABC...(36).emthumb for the uuid.
    QString thumbnailPath(const QUuid& uuid) const { return m_thumbnails.path(uuid); }
    // The file name each group is written to ("examples.empreset"), by
    // group id. Names are made of lower-case letters, digits, "_" and "-":
    // the group name with everything else turned into "_", or
    // "preset_group_<id>" for an empty name; a name already taken (letter
    // case ignored) gets "_<id>" added.
    QHash<int, QString> groupFileNames() const;
    // True when `path` names something inside `folder` (after resolving "..",
    // and symbolic links of the parts that exist).
    static bool isInsideFolder(const QString& path, const QString& folder);

private:
    PresetGroup* groupLocked(int groupId);
    Preset* findPresetLocked(const QUuid& uuid, int* groupId = nullptr);
    bool uuidTakenLocked(const QUuid& uuid) const;
    int freeGroupIdLocked(int from) const;
    void reloadGroupThumbnailsLocked(const PresetGroup& group);
    QHash<int, QString> groupFileNamesLocked() const;
    static QUuid uuidFromId(const QByteArray& presetId);

    const QString m_presetsFolder;
    mutable QMutex m_mutex;
    // Orders whole writes of the folder; taken before m_mutex, never inside it.
    QMutex m_writeMutex;
    QHash<int, PresetGroup> m_groups;
    PresetThumbnails m_thumbnails;
    // Names of the group files this store read or wrote in its folder.
    QSet<QString> m_ownFiles;
    quint32 m_lastPresetNumber = 0;
};

} // namespace Emulsa
