#include "model/SequenceTasks.h"

#include "core/ClipSettings.h"
#include "media/clip/SequenceItem.h"

namespace Emulsa {

SequenceItemTask::~SequenceItemTask()
{
    if (item) {
        delete item->settings;
        delete item;
    }
}

void SequenceItemTask::takeItems(QList<SequenceItem*>* items)
{
    if (item)
        items->append(takeItem());
}

SequenceItem* SequenceItemTask::takeItem()
{
    SequenceItem* taken = item;
    item = nullptr;
    return taken;
}

} // namespace Emulsa
