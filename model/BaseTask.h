#pragma once

#include "model/TaskType.h"

#include <QList>

namespace Emulsa {

class SequenceItem;

// One command record: its type, and in the derived records the payload the
// type calls for. A command handed to Model::runCommands belongs to the model
// from then on; the handler deletes it, keeps it as its own inverse, or
// returns a new inverse. A record's payload objects are deleted with it.
//
// Records that hold sequence items (a removed item kept for undo) give them
// up through takeItems() before the model deletes the record, so that the
// model can retire the items instead of deleting them while signals that name
// them may still be on their way. A record deleted without that (one left in
// the controller's queue at exit) deletes its items with itself.
struct BaseTask
{
    explicit BaseTask(quint32 type)
        : type(type)
    {
    }
    virtual ~BaseTask() = default;
    BaseTask(const BaseTask&) = delete;
    BaseTask& operator=(const BaseTask&) = delete;

    // Moves the items this record owns into `items`; the record keeps none.
    virtual void takeItems(QList<SequenceItem*>* items) { Q_UNUSED(items) }

    quint32 type;
};

} // namespace Emulsa
