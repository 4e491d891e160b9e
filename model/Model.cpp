#include "model/Model.h"

#include "core/ApplicationPaths.h"
#include "core/ThreadHandOff.h"
#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "model/ControlCommands.h"
#include "model/GradeCommands.h"
#include "model/PresetCommands.h"
#include "model/ProjectFileWriter.h"
#include "model/SequenceCommands.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <utility>

namespace Emulsa {

Model::Model(MetadataManager* metadata, CameraListHelper* catalogue, const FilmLibrary* library, QObject* parent)
    : QObject(parent)
    , m_history([this](BaseTask* command) { disposeCommand(command); })
    , m_settingsManager(catalogue, library)
    , m_metadata(metadata)
{
    registerMetaTypes();
    registerControlCommands(*this);
    registerSequenceCommands(*this);
    registerGradeCommands(*this);
    registerPresetCommands(*this);
    m_projectWriter = [catalogue](QIODevice* file, const QList<SequenceItem*>& sequence, const SequenceItem* current,
                          bool timelineMode) {
        return ProjectFileWriter(&sequence, current, timelineMode, catalogue).writeToXML(file);
    };
}

Model::~Model()
{
    m_history.clearAll();
    // The sequence's settings are registered in the settings manager, which
    // deletes them after this body.
    qDeleteAll(m_sequence);
    m_sequence.clear();
    m_current = nullptr;
}

void Model::registerMetaTypes()
{
    registerClipSettingsMetaTypes();
    registerPresetMetaTypes();
    SequenceItem::registerMetaType();
    qRegisterMetaType<BaseTask*>("BaseTask*");
    qRegisterMetaType<BaseTask*>("Emulsa::BaseTask*");
    qRegisterMetaType<QList<const SequenceItem*>*>("QList<const SequenceItem*>*");
    qRegisterMetaType<QList<const SequenceItem*>*>("QList<const Emulsa::SequenceItem*>*");
    qRegisterMetaType<QUuid>("QUuid");
}

BaseTask* Model::runHandler(BaseTask* command, char mode)
{
    if (const CommandHandler* handler = m_commands.handler(command->type))
        return (*handler)(*this, command, mode);
    qWarning().noquote() << Q_FUNC_INFO << "No handler for command type" << QByteArray::number(command->type, 16)
                         << "- the command is dropped";
    disposeCommand(command);
    return nullptr;
}

void Model::runCommands(BaseTask* command, char mode)
{
    if (!command)
        return;
    const CommandHandler* family = m_commands.categoryHandler(taskCategory(command->type));
    BaseTask* inverse = family ? (*family)(*this, command, mode) : runHandler(command, mode);
    if (!inverse)
        return;
    noticeChange();
    m_history.record(inverse, mode);
    if (mode == NewCommand)
        m_history.clearRedo();
}

MetadataManager* Model::metadataManager()
{
    if (!m_metadata)
        m_metadata = MetadataManager::instance();
    return m_metadata;
}

SequenceItem* Model::findItem(const QByteArray& itemId) const
{
    const int index = indexOfItem(itemId);
    return index < 0 ? nullptr : m_sequence.at(index);
}

int Model::indexOfItem(const QByteArray& itemId) const
{
    const QUuid uuid(itemId);
    if (uuid.isNull())
        return -1;
    for (int i = 0; i < m_sequence.size(); ++i) {
        if (m_sequence.at(i)->uuid == uuid)
            return i;
    }
    return -1;
}

QByteArray Model::itemId(const SequenceItem* item)
{
    return item ? item->uuid.toByteArray() : QByteArray();
}

void Model::setCurrent(SequenceItem* item)
{
    m_current = item;
    handOver(item);
    emit currentClipChanged(item);
    if (item && item->settings)
        emit viewNeedRefresh(*item->settings);
}

void Model::insertItem(int index, SequenceItem* item)
{
    if (index < 0 || index > m_sequence.size())
        index = m_sequence.size();
    m_sequence.insert(index, item);
}

void Model::ensureUniqueUuid(SequenceItem* item)
{
    auto used = [this, item](const QUuid& uuid) {
        if (uuid.isNull() || m_settingsManager.hasSettingsForID(uuid))
            return true;
        for (const SequenceItem* other : qAsConst(m_sequence)) {
            if (other != item && other->uuid == uuid)
                return true;
        }
        return false;
    };
    if (!used(item->uuid))
        return;
    const QUuid previous = item->uuid;
    do {
        item->uuid = QUuid::createUuid();
    } while (used(item->uuid));
    qWarning() << Q_FUNC_INFO << "Sequence item id" << previous << "is already in use, the item gets" << item->uuid;
}

void Model::disposeCommand(BaseTask* command)
{
    if (!command)
        return;
    QList<SequenceItem*> items;
    command->takeItems(&items);
    m_retirement.retire(items);
    delete command;
}

void Model::clearSequence()
{
    m_history.clearAll();
    QList<SequenceItem*> items;
    while (!m_sequence.isEmpty()) {
        SequenceItem* item = m_sequence.takeFirst();
        // The settings go with the item; an entry that is not the item's own
        // object stays with the settings manager.
        if (m_settingsManager.isRegistered(item->uuid, item->settings))
            m_settingsManager.removeSettingsForID(item->uuid);
        items.append(item);
    }
    m_retirement.retire(items);
}

void Model::setUnsavedChanges(bool unsaved)
{
    m_unsavedChanges = unsaved;
}

void Model::noticeChange()
{
    if (m_unsavedChanges)
        return;
    m_unsavedChanges = true;
    emit unsavedChangesNoticed();
}

void Model::yieldToEventLoop()
{
    QCoreApplication::processEvents();
}

bool Model::waitForMetadata(const AssetMetadata* asset)
{
    MetadataManager* metadata = metadataManager();
    QElapsedTimer waited;
    waited.start();
    while (!metadata->isReady(asset)) {
        if (QThread::currentThread()->isInterruptionRequested()) {
            qDebug() << Q_FUNC_INFO << "Stopping: no longer waiting for the description of" << asset->filePath;
            return false;
        }
        if (waited.elapsed() >= m_metadataWaitMs) {
            qCritical().noquote() << "The clip" << asset->filePath << "could not be read in"
                                  << m_metadataWaitMs / 1000.0 << "seconds and was not added.";
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }
    return true;
}

void Model::saveProjectToXMLFile(const QString& path)
{
    const bool autosave = path == ApplicationPaths::instance()->autosaveFilePath();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCritical() << "Can't open selected file";
        emit projectSaved(path, false);
        return;
    }
    // The file the user saves holds the grades as they are now: no field of
    // them is marked unread there (a failed save puts the marks back).
    QHash<SequenceItem*, QStringList> unread;
    if (!autosave) {
        for (SequenceItem* item : qAsConst(m_sequence)) {
            if (!item->unreadGradeFields.isEmpty())
                unread.insert(item, std::exchange(item->unreadGradeFields, QStringList()));
        }
    }
    bool written = m_projectWriter && m_projectWriter(&file, m_sequence, m_current, m_timelineMode);
    QString reason = written ? QString() : QStringLiteral("the project could not be written");
    // The file on disk still holds what could not be read when it was
    // loaded: keep it before replacing it for the first time.
    const bool overLossyFile = !m_lossyProjectPath.isEmpty()
        && QFileInfo(path).absoluteFilePath() == QFileInfo(m_lossyProjectPath).absoluteFilePath();
    if (written && overLossyFile && !ProjectFileWriter::keepBackup(path, &reason)) {
        reason = QStringLiteral("no copy of the damaged file could be kept (%1)").arg(reason);
        written = false;
    }
    if (!written)
        file.cancelWriting();
    if (!written || !file.commit()) {
        for (auto it = unread.cbegin(); it != unread.cend(); ++it)
            it.key()->unreadGradeFields = it.value();
        if (reason.isEmpty())
            reason = file.errorString();
        qDebug() << Q_FUNC_INFO << "Project file badly written" << path << reason;
        const QString message
            = QStringLiteral("The project could not be saved to %1 (%2). The file there was left as it was.")
                  .arg(QDir::toNativeSeparators(path), reason);
        if (autosave)
            qWarning().noquote() << message;
        else
            qCritical().noquote() << message;
        emit finishSaving(false);
        emit projectSaved(path, false);
        return;
    }
    if (overLossyFile)
        m_lossyProjectPath.clear();
    for (auto it = unread.cbegin(); it != unread.cend(); ++it)
        emit unreadGradeFieldsChanged(itemId(it.key()), QStringList());
    // A successful autosave leaves the flag as it was and tells nobody.
    if (!autosave) {
        m_unsavedChanges = false;
        emit finishSaving(true);
    }
    emit projectSaved(path, true);
}

void Model::setUnreadGradeFields(SequenceItem* item, const QStringList& fields)
{
    if (!item || item->unreadGradeFields == fields)
        return;
    item->unreadGradeFields = fields;
    emit unreadGradeFieldsChanged(itemId(item), fields);
}

void Model::noteProjectLoaded(const QString& path, bool loadedCleanly)
{
    m_lossyProjectPath = loadedCleanly ? QString() : path;
}

} // namespace Emulsa
