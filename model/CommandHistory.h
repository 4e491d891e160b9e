#pragma once

#include <QList>

#include <functional>

namespace Emulsa {

class BaseTask;

// The undo and redo stacks of a model, each with its latest entry first.
// The history owns its entries; the ones it lets go are handed to the
// disposer (the model's, which retires the clips a command still holds).
class CommandHistory
{
public:
    using Disposer = std::function<void(BaseTask*)>;

    explicit CommandHistory(Disposer dispose)
        : m_dispose(std::move(dispose))
    {
    }
    CommandHistory(const CommandHistory&) = delete;
    CommandHistory& operator=(const CommandHistory&) = delete;

    const QList<BaseTask*>& undoStack() const { return m_undo; }
    const QList<BaseTask*>& redoStack() const { return m_redo; }

    // The entry that reverses a command run in `mode` (NewCommand, Undoing or
    // Redoing): on the redo stack while undoing, otherwise on the undo stack.
    void record(BaseTask* entry, char mode);
    // Takes the latest entry of a stack (which must not be empty).
    BaseTask* takeUndo() { return m_undo.takeFirst(); }
    BaseTask* takeRedo() { return m_redo.takeFirst(); }
    // A new edit ends what could be redone.
    void clearRedo() { clear(&m_redo); }
    void clearAll();

private:
    void clear(QList<BaseTask*>* stack);

    Disposer m_dispose;
    QList<BaseTask*> m_undo;
    QList<BaseTask*> m_redo;
};

} // namespace Emulsa
