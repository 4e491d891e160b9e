#include "CommandRunner.h"

#include "core/AnnotatedMutexLocker.h"
#include "model/Model.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace Emulsa::Test {

namespace {

struct IdleMarker : BaseTask
{
    IdleMarker(QMutex* mutex, quint64* count)
        : BaseTask(CommandRunner::idleMarkerType)
        , mutex(mutex)
        , count(count)
    {
    }
    QMutex* mutex;
    quint64* count;
};

} // namespace

CommandRunner::CommandRunner(Model* model)
{
    model->commands().registerHandler(idleMarkerType, [](Model& m, BaseTask* command, char) -> BaseTask* {
        auto* marker = static_cast<IdleMarker*>(command);
        QMutex* mutex = marker->mutex;
        quint64* count = marker->count;
        m.disposeCommand(command);
        AnnotatedMutexLocker locker(mutex);
        ++*count;
        return nullptr;
    });
    m_manager = new TaskManager(model);
    m_manager->setQueue(&m_queue, &m_mutex, &m_condition);
    m_manager->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::started, m_manager, &TaskManager::run);
    m_thread.start();
}

CommandRunner::~CommandRunner()
{
    stop(60000);
    m_manager->discardQueued();
    delete m_manager;
}

void CommandRunner::post(BaseTask* command)
{
    m_manager->post(command);
}

bool CommandRunner::waitIdle(int timeoutMs, bool processEvents)
{
    const quint64 wanted = ++m_markerCount;
    post(new IdleMarker(&m_idleMutex, &m_idleCount));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        {
            AnnotatedMutexLocker locker(&m_idleMutex);
            if (m_idleCount >= wanted)
                break;
        }
        if (processEvents)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::msleep(2);
    }
    AnnotatedMutexLocker locker(&m_idleMutex);
    return m_idleCount >= wanted;
}

bool CommandRunner::stop(int timeoutMs)
{
    m_manager->stop();
    return m_thread.wait(timeoutMs);
}

SignalLog::SignalLog(Model* model)
{
    auto id = [](const SequenceItem* item) { return item ? item->uuid.toString() : QStringLiteral("none"); };
    const auto direct = Qt::DirectConnection;
    QObject::connect(
        model, &Model::shotListNeedRefresh, model,
        [this, id](SequenceItem* item, bool toDelete) {
            add(QStringLiteral("shotListNeedRefresh %1 %2").arg(id(item)).arg(toDelete));
        },
        direct);
    QObject::connect(
        model, &Model::shotRestored, model,
        [this, id](
            SequenceItem* item, int index) { add(QStringLiteral("shotRestored %1 %2").arg(id(item)).arg(index)); },
        direct);
    QObject::connect(
        model, &Model::currentClipChanged, model,
        [this, id](SequenceItem* item) { add(QStringLiteral("currentClipChanged %1").arg(id(item))); }, direct);
    QObject::connect(
        model, &Model::viewNeedRefresh, model,
        [this](const ClipSettings& settings) {
            add(QStringLiteral("viewNeedRefresh %1").arg(double(settings.getExposure())));
        },
        direct);
    QObject::connect(
        model, &Model::sequenceItemGotPreset, model,
        [this](const QByteArray& preset, const QByteArray& item) {
            add(QStringLiteral("sequenceItemGotPreset %1 %2")
                    .arg(QString::fromLatin1(preset), QString::fromLatin1(item)));
        },
        direct);
    QObject::connect(
        model, &Model::currentSettingsReset, model,
        [this](const ClipSettings& settings) {
            add(QStringLiteral("currentSettingsReset %1").arg(double(settings.getExposure())));
        },
        direct);
    QObject::connect(
        model, &Model::unsavedChangesNoticed, model, [this] { add(QStringLiteral("unsavedChangesNoticed")); }, direct);
    QObject::connect(
        model, &Model::resetListState, model, [this] { add(QStringLiteral("resetListState")); }, direct);
    QObject::connect(
        model, &Model::longOperationBegin, model, [this] { add(QStringLiteral("longOperationBegin")); }, direct);
    QObject::connect(
        model, &Model::longOperationEnded, model, [this] { add(QStringLiteral("longOperationEnded")); }, direct);
    QObject::connect(
        model, &Model::finishSaving, model, [this](bool ok) { add(QStringLiteral("finishSaving %1").arg(ok)); },
        direct);
    QObject::connect(
        model, &Model::positionChanged, model,
        [this](int frame) { add(QStringLiteral("positionChanged %1").arg(frame)); }, direct);
}

void SignalLog::add(const QString& entry)
{
    AnnotatedMutexLocker locker(&m_mutex);
    m_entries.append(entry);
}

QStringList SignalLog::take()
{
    AnnotatedMutexLocker locker(&m_mutex);
    QStringList taken;
    taken.swap(m_entries);
    return taken;
}

QStringList SignalLog::entries() const
{
    AnnotatedMutexLocker locker(&m_mutex);
    return m_entries;
}

int SignalLog::count(const QString& prefix) const
{
    AnnotatedMutexLocker locker(&m_mutex);
    int n = 0;
    for (const QString& entry : m_entries) {
        if (entry.startsWith(prefix))
            ++n;
    }
    return n;
}

} // namespace Emulsa::Test
