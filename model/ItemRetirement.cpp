#include "model/ItemRetirement.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/ClipSettings.h"
#include "media/clip/SequenceItem.h"

#include <QCoreApplication>
#include <QMutex>

namespace Emulsa {

struct ItemRetirement::State
{
    QMutex lock;
    QList<SequenceItem*> items;

    // Deletes those of the given items that are still waiting.
    void release(const QList<SequenceItem*>& released)
    {
        QList<SequenceItem*> doomed;
        {
            AnnotatedMutexLocker locker(&lock);
            for (SequenceItem* item : released) {
                if (items.removeOne(item))
                    doomed.append(item);
            }
        }
        for (SequenceItem* item : doomed) {
            delete item->settings;
            delete item;
        }
    }
};

ItemRetirement::ItemRetirement()
    : m_state(std::make_shared<State>())
{
}

ItemRetirement::~ItemRetirement()
{
    QList<SequenceItem*> all;
    {
        AnnotatedMutexLocker locker(&m_state->lock);
        all = m_state->items;
    }
    m_state->release(all);
}

void ItemRetirement::retire(const QList<SequenceItem*>& items)
{
    if (items.isEmpty())
        return;
    {
        AnnotatedMutexLocker locker(&m_state->lock);
        m_state->items.append(items);
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // The release shares the state, so it is harmless when it runs after
    // this object is gone.
    std::shared_ptr<State> state = m_state;
    QMetaObject::invokeMethod(
        app, [state, items] { state->release(items); }, Qt::QueuedConnection);
}

int ItemRetirement::pendingCount() const
{
    AnnotatedMutexLocker locker(&m_state->lock);
    return m_state->items.size();
}

} // namespace Emulsa
