#include "model/CommandHistory.h"

#include "model/TaskType.h"

namespace Emulsa {

void CommandHistory::record(BaseTask* entry, char mode)
{
    if (mode == Undoing)
        m_redo.prepend(entry);
    else
        m_undo.prepend(entry);
}

void CommandHistory::clearAll()
{
    clear(&m_undo);
    clear(&m_redo);
}

void CommandHistory::clear(QList<BaseTask*>* stack)
{
    // Taken out first: a command's items may be retired while the stack is
    // being emptied.
    const QList<BaseTask*> commands = *stack;
    stack->clear();
    for (BaseTask* command : commands)
        m_dispose(command);
}

} // namespace Emulsa
