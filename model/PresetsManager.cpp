#include "model/PresetsManager.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/ApplicationPaths.h"
#include "core/ClipSettings.h"
#include "model/PresetsFileReader.h"
#include "model/PresetsFileWriter.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <memory>
#include <mutex>

namespace Emulsa {

namespace {

// The group name as a file name: lower-case letters and digits kept, "-"
// kept, everything else (spaces, dots, slashes) turned into "_", at most 64
// characters.
QString safeBaseName(const QString& name, int groupId)
{
    QString base;
    for (const QChar c : name.toLower()) {
        if (base.size() >= 64)
            break;
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || c == QLatin1Char('-'))
            base.append(c);
        else
            base.append(QLatin1Char('_'));
    }
    if (base.isEmpty())
        base = QStringLiteral("preset_group_%1").arg(groupId);
    return base;
}

QString withSlash(QString folder)
{
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!folder.endsWith(QLatin1Char('/')))
        folder.append(QLatin1Char('/'));
    return folder;
}

} // namespace

PresetsManager* PresetsManager::instance()
{
    static std::unique_ptr<PresetsManager> store;
    static std::once_flag once;
    std::call_once(once, [] { store.reset(new PresetsManager(ApplicationPaths::instance()->presetsPath())); });
    return store.get();
}

PresetsManager::PresetsManager(const QString& presetsFolder)
    : m_presetsFolder(withSlash(presetsFolder))
    , m_thumbnails(m_presetsFolder + QStringLiteral("thumbnails/"))
{
    loadPresets();
}

PresetsManager::~PresetsManager() = default;

QUuid PresetsManager::uuidFromId(const QByteArray& presetId)
{
    return presetId.isEmpty() ? QUuid() : QUuid(presetId);
}

bool PresetsManager::isInsideFolder(const QString& path, const QString& folder)
{
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty())
        return false;
    // Resolve what exists of the path, then the rest lexically.
    QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QString tail;
    while (!info.exists() && !info.fileName().isEmpty()) {
        tail = QLatin1Char('/') + info.fileName() + tail;
        info = QFileInfo(info.absolutePath());
    }
    const QString resolved = QDir::cleanPath(info.canonicalFilePath() + tail);
    return resolved.startsWith(root + QLatin1Char('/'));
}

void PresetsManager::loadPresets()
{
    qDebug() << "Loading templates from" << m_presetsFolder;
    {
        AnnotatedMutexLocker lock(&m_mutex);
        m_groups.clear();
        m_thumbnails.reset();
        m_ownFiles.clear();
    }
    const QStringList files = QDir(m_presetsFolder)
                                  .entryList({ QStringLiteral("*") + QLatin1String(presetFileSuffix) },
                                      QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
    qDebug() << "Presets file available:" << files;
    for (const QString& name : files) {
        const QString path = m_presetsFolder + name;
        if (readPresetsFile(path) < 0) {
            qWarning() << "Can't read presets file" << path;
            continue;
        }
        AnnotatedMutexLocker lock(&m_mutex);
        m_ownFiles.insert(name);
    }
}

int PresetsManager::readPresetsFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Something wen't wrong when trying to open presets file" << path;
        return -1;
    }
    if (file.size() > maxPresetFileBytes) {
        qWarning() << "Something wen't wrong when trying to read presets file" << path << "(too large)";
        return -1;
    }
    // Parsing needs no lock: the reader builds its own group.
    PresetsFileReader reader;
    if (!reader.read(&file)) {
        qWarning() << "Something wen't wrong when trying to read presets file" << path;
        return -1;
    }
    if (!reader.hasGroup()) {
        qWarning() << "Something wen't wrong when creating Presets from file";
        return -1;
    }
    const QHash<QByteArray, QImage> fileThumbnails = reader.thumbnails();

    AnnotatedMutexLocker lock(&m_mutex);
    PresetGroup group;
    group.id = freeGroupIdLocked(std::max(0, reader.groupId()));
    group.name = reader.groupName();
    // Thumbnails to store, by the uuid each preset ends up with.
    QList<QPair<QUuid, QImage>> thumbnails;
    for (const Preset& read : reader.presets()) {
        Preset preset = read;
        const QByteArray oldId = read.uuid.toByteArray();
        if (preset.uuid.isNull() || uuidTakenLocked(preset.uuid) || group.presets.contains(preset.uuid)) {
            // A null id would take the placeholder's thumbnail, a taken one
            // another preset's: draw a fresh id and carry the thumbnail over.
            preset.uuid = QUuid::createUuid();
            qDebug() << "PresetsManager: preset" << oldId << "gets the new id" << preset.id();
            if (!read.uuid.isNull() && !fileThumbnails.contains(oldId)) {
                const QString oldFile = m_thumbnails.path(read.uuid);
                if (QFile::exists(oldFile)) {
                    QDir().mkpath(QFileInfo(m_thumbnails.path(preset.uuid)).absolutePath());
                    QFile::copy(oldFile, m_thumbnails.path(preset.uuid));
                }
            }
        }
        if (fileThumbnails.contains(oldId) && !read.uuid.isNull())
            thumbnails.append({ preset.uuid, fileThumbnails.value(oldId) });
        group.presets.insert(preset.uuid, preset);
    }
    // Wide signed compare: an empty file reports -1.
    if (qint64(reader.highestPresetNumber()) > qint64(m_lastPresetNumber))
        m_lastPresetNumber = quint32(reader.highestPresetNumber());
    m_groups.insert(group.id, group);
    for (const auto& thumbnail : thumbnails)
        m_thumbnails.store(thumbnail.second, thumbnail.first);
    reloadGroupThumbnailsLocked(group);
    return group.id;
}

int PresetsManager::importPresetGroup(const QString& path)
{
    qDebug() << "Importing Preset group from:" << path;
    return readPresetsFile(path);
}

bool PresetsManager::exportPresetGroup(int groupId, const QString& path) const
{
    PresetGroup group;
    QHash<QByteArray, QImage> thumbnails;
    {
        AnnotatedMutexLocker lock(&m_mutex);
        const auto it = m_groups.constFind(groupId);
        if (it == m_groups.constEnd()) {
            qWarning() << "Something wen't wrong when trying to get preset group to export.";
            return false;
        }
        group = it.value();
        for (const Preset& preset : group.presets)
            thumbnails.insert(preset.id(), m_thumbnails.image(preset.id()));
    }
    QString target = path;
    if (!target.endsWith(QLatin1String(presetFileSuffix), Qt::CaseInsensitive)
        && !target.endsWith(QLatin1String(exportedFileSuffix), Qt::CaseInsensitive))
        target += QLatin1String(presetFileSuffix);
    qWarning() << "export preset group" << group.name << "to" << target;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << "Can't open selected file for writing.";
        return false;
    }
    PresetsFileWriter writer;
    if (!writer.writeGroupToFile(&file, &group, &thumbnails) || !file.commit()) {
        qWarning() << "Something wen't wrong when trying to export preset group.";
        return false;
    }
    return true;
}

QHash<int, QString> PresetsManager::groupFileNames() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return groupFileNamesLocked();
}

QHash<int, QString> PresetsManager::groupFileNamesLocked() const
{
    QList<int> ids = m_groups.keys();
    std::sort(ids.begin(), ids.end());
    QHash<int, QString> names;
    QSet<QString> taken;
    for (int id : ids) {
        const QString base = safeBaseName(m_groups.value(id).name, id);
        QString name = base;
        for (int n = 0; taken.contains(name); ++n)
            name = n == 0 ? QStringLiteral("%1_%2").arg(base).arg(id)
                          : QStringLiteral("%1_%2_%3").arg(base).arg(id).arg(n);
        taken.insert(name);
        names.insert(id, name + QLatin1String(presetFileSuffix));
    }
    return names;
}

bool PresetsManager::writePresetsToDisk()
{
    AnnotatedMutexLocker writeLock(&m_writeMutex);
    qDebug() << "Saving Presets to" << m_presetsFolder;
    QList<PresetGroup> snapshot;
    QHash<int, QString> names;
    {
        AnnotatedMutexLocker lock(&m_mutex);
        snapshot = m_groups.values();
        names = groupFileNamesLocked();
    }
    if (!QDir().mkpath(m_presetsFolder)) {
        qWarning() << "Something wen't wrong when trying to save presets files." << m_presetsFolder;
        return false;
    }
    bool allWritten = true;
    QSet<QString> written;
    for (const PresetGroup& group : snapshot) {
        const QString path = m_presetsFolder + names.value(group.id);
        qDebug() << "Should save presets group to:" << path;
        if (!isInsideFolder(path, m_presetsFolder)) {
            qWarning() << "PresetsManager: refusing to write outside the presets folder:" << path;
            allWritten = false;
            continue;
        }
        QSaveFile file(path);
        PresetsFileWriter writer;
        if (!file.open(QIODevice::WriteOnly) || !writer.writeGroupToFile(&file, &group, nullptr) || !file.commit()) {
            qWarning() << "Something wen't wrong when trying to save presets files." << path;
            allWritten = false;
            continue;
        }
        written.insert(names.value(group.id));
    }
    AnnotatedMutexLocker lock(&m_mutex);
    m_ownFiles.unite(written);
    if (!allWritten)
        return false;
    // Only now that every group is safely on disk: drop the files of groups
    // that were renamed or removed. Files this store never read or wrote
    // (one that failed to parse, say) are left alone.
    QDir folder(m_presetsFolder);
    QSet<QString> stale = m_ownFiles;
    stale.subtract(written);
    for (const QString& name : qAsConst(stale)) {
        folder.remove(name);
        m_ownFiles.remove(name);
    }
    return true;
}

int PresetsManager::freeGroupIdLocked(int from) const
{
    int id = from;
    while (m_groups.contains(id))
        ++id;
    return id;
}

PresetGroup PresetsManager::createNewGroup(const QString& name)
{
    AnnotatedMutexLocker lock(&m_mutex);
    PresetGroup group;
    group.id = freeGroupIdLocked(0);
    group.name = name;
    qDebug() << "New group" << name << "created with ID" << group.id;
    m_groups.insert(group.id, group);
    return group;
}

std::optional<PresetGroup> PresetsManager::takeGroup(int groupId)
{
    AnnotatedMutexLocker lock(&m_mutex);
    const auto it = m_groups.find(groupId);
    if (it == m_groups.end())
        return std::nullopt;
    PresetGroup group = it.value();
    m_groups.erase(it);
    for (const Preset& preset : group.presets)
        m_thumbnails.forget(preset.id());
    return group;
}

int PresetsManager::reinsertGroup(PresetGroup group)
{
    AnnotatedMutexLocker lock(&m_mutex);
    group.id = freeGroupIdLocked(std::max(0, group.id));
    // Presets whose ids meanwhile reappeared elsewhere keep out of the way.
    QHash<QUuid, Preset> presets;
    for (Preset preset : group.presets) {
        if (uuidTakenLocked(preset.uuid))
            preset.uuid = QUuid::createUuid();
        presets.insert(preset.uuid, preset);
    }
    group.presets = presets;
    m_groups.insert(group.id, group);
    reloadGroupThumbnailsLocked(group);
    return group.id;
}

bool PresetsManager::renamePresetGroup(int groupId, const QString& name)
{
    AnnotatedMutexLocker lock(&m_mutex);
    PresetGroup* group = groupLocked(groupId);
    if (!group)
        return false;
    qDebug() << group->name << "should be remove";
    group->name = name;
    return true;
}

PresetGroup* PresetsManager::groupLocked(int groupId)
{
    const auto it = m_groups.find(groupId);
    return it == m_groups.end() ? nullptr : &it.value();
}

namespace {

// A group for a caller on another thread: its preset table is a table of its
// own, not one sharing storage with the store's. The store changes its tables
// in place once it holds the only reference, and Qt checks that count without
// ordering it against the other thread's last read.
PresetGroup detachedCopy(const PresetGroup& group)
{
    PresetGroup copy;
    copy.id = group.id;
    copy.name = group.name;
    copy.presets.reserve(group.presets.size());
    for (auto it = group.presets.constBegin(); it != group.presets.constEnd(); ++it)
        copy.presets.insert(it.key(), it.value());
    return copy;
}

} // namespace

std::optional<PresetGroup> PresetsManager::group(int groupId) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    const auto it = m_groups.constFind(groupId);
    if (it == m_groups.constEnd())
        return std::nullopt;
    return detachedCopy(it.value());
}

QList<int> PresetsManager::groupIds() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    QList<int> ids = m_groups.keys();
    std::sort(ids.begin(), ids.end());
    return ids;
}

QList<PresetGroup> PresetsManager::groups() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    QList<int> ids = m_groups.keys();
    std::sort(ids.begin(), ids.end());
    QList<PresetGroup> list;
    for (int id : ids)
        list.append(detachedCopy(m_groups.value(id)));
    return list;
}

QVector<Preset> PresetsManager::presetsOfGroup(int groupId, bool* found) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    const auto it = m_groups.constFind(groupId);
    if (found)
        *found = it != m_groups.constEnd();
    return it == m_groups.constEnd() ? QVector<Preset>() : it->orderedPresets();
}

Preset* PresetsManager::findPresetLocked(const QUuid& uuid, int* groupId)
{
    if (uuid.isNull())
        return nullptr;
    for (auto it = m_groups.begin(); it != m_groups.end(); ++it) {
        const auto found = it->presets.find(uuid);
        if (found != it->presets.end()) {
            if (groupId)
                *groupId = it.key();
            return &found.value();
        }
    }
    return nullptr;
}

bool PresetsManager::uuidTakenLocked(const QUuid& uuid) const
{
    for (const PresetGroup& group : m_groups) {
        if (group.presets.contains(uuid))
            return true;
    }
    return false;
}

std::optional<Preset> PresetsManager::findPreset(const QByteArray& presetId) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    const Preset* preset = const_cast<PresetsManager*>(this)->findPresetLocked(uuidFromId(presetId));
    if (!preset)
        return std::nullopt;
    return *preset;
}

int PresetsManager::groupOfPreset(const QByteArray& presetId) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    int groupId = -1;
    const_cast<PresetsManager*>(this)->findPresetLocked(uuidFromId(presetId), &groupId);
    return groupId;
}

bool PresetsManager::renamePreset(const QByteArray& presetId, const QString& name)
{
    AnnotatedMutexLocker lock(&m_mutex);
    Preset* preset = findPresetLocked(uuidFromId(presetId));
    if (!preset)
        return false;
    preset->name = name;
    return true;
}

std::optional<RemovedPreset> PresetsManager::removePreset(const QByteArray& presetId)
{
    AnnotatedMutexLocker lock(&m_mutex);
    int groupId = -1;
    const QUuid uuid = uuidFromId(presetId);
    if (!findPresetLocked(uuid, &groupId))
        return std::nullopt;
    RemovedPreset record;
    record.groupId = groupId;
    record.preset = m_groups[groupId].presets.take(uuid);
    m_thumbnails.forget(record.preset.id());
    return record;
}

bool PresetsManager::addPreset(const RemovedPreset& record)
{
    AnnotatedMutexLocker lock(&m_mutex);
    PresetGroup* group = groupLocked(record.groupId);
    if (!group || record.preset.uuid.isNull() || uuidTakenLocked(record.preset.uuid))
        return false;
    group->presets.insert(record.preset.uuid, record.preset.copy(true));
    m_thumbnails.reload(record.preset.uuid);
    return true;
}

std::optional<Preset> PresetsManager::createPreset(const ClipSettings& settings, int groupId)
{
    AnnotatedMutexLocker lock(&m_mutex);
    PresetGroup* group = groupLocked(groupId);
    if (!group)
        return std::nullopt;
    Preset preset;
    preset.settings = settings;
    preset.number = qint32(std::min<quint32>(++m_lastPresetNumber, quint32(INT_MAX)));
    group->presets.insert(preset.uuid, preset);
    m_thumbnails.reload(preset.uuid);
    return preset;
}

std::optional<Preset> PresetsManager::copyPreset(const QByteArray& presetId, int toGroupId)
{
    AnnotatedMutexLocker lock(&m_mutex);
    const Preset* source = findPresetLocked(uuidFromId(presetId));
    PresetGroup* target = groupLocked(toGroupId);
    if (!source || !target)
        return std::nullopt;
    Preset preset = source->copy(false);
    preset.number = qint32(std::min<quint32>(++m_lastPresetNumber, quint32(INT_MAX)));
    target->presets.insert(preset.uuid, preset);
    // A stored thumbnail is read back by store(); without one the
    // placeholder stands in.
    const QImage cached = m_thumbnails.cached(source->id());
    const bool stored
        = QFile::exists(m_thumbnails.path(source->uuid)) && !cached.isNull() && m_thumbnails.store(cached, preset.uuid);
    if (!stored)
        m_thumbnails.reload(preset.uuid);
    return preset;
}

std::optional<PresetGrade> PresetsManager::replacePresetGrade(
    const QByteArray& presetId, const PresetGrade& grade, bool keepThumbnail)
{
    AnnotatedMutexLocker lock(&m_mutex);
    const QUuid uuid = uuidFromId(presetId);
    Preset* preset = findPresetLocked(uuid);
    if (!preset)
        return std::nullopt;
    PresetGrade old;
    old.settings = preset->settings;
    old.unreadFields = preset->unreadFields;
    // Only a thumbnail of its own: the placeholder is no preset's.
    if (QFile::exists(m_thumbnails.path(uuid)))
        old.thumbnail = m_thumbnails.cached(uuid.toByteArray());
    preset->settings = grade.settings;
    preset->unreadFields = grade.unreadFields;
    if (!keepThumbnail) {
        if (grade.thumbnail.isNull() || !m_thumbnails.store(grade.thumbnail, uuid)) {
            QFile::remove(m_thumbnails.path(uuid));
            m_thumbnails.reload(uuid);
        }
    }
    return old;
}

QVector<QByteArray> PresetsManager::movePresets(int fromGroupId, int toGroupId, const QVector<QByteArray>& presetIds)
{
    AnnotatedMutexLocker lock(&m_mutex);
    QVector<QByteArray> moved;
    PresetGroup* from = groupLocked(fromGroupId);
    PresetGroup* to = groupLocked(toGroupId);
    if (!from || !to || fromGroupId == toGroupId)
        return moved;
    for (const QByteArray& id : presetIds) {
        const QUuid uuid = uuidFromId(id);
        if (uuid.isNull() || !from->presets.contains(uuid))
            continue;
        qDebug() << "Move" << id << "from group" << fromGroupId << "to group" << toGroupId;
        to->presets.insert(uuid, from->presets.take(uuid));
        moved.append(id);
    }
    return moved;
}

quint32 PresetsManager::lastPresetNumber() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_lastPresetNumber;
}

} // namespace Emulsa
