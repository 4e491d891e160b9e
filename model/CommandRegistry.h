#pragma once

#include <QHash>
#include <QtGlobal>

#include <functional>

namespace Emulsa {

struct BaseTask;
class Model;

// Which handler runs each command type. Types come in families (a type's
// category, TaskType.h): each type has its handler, and a family may have a
// handler of its own that every command of the family goes through first,
// with rules of the family's (it runs the type's handler through
// Model::runHandler()).
class CommandRegistry
{
public:
    // Takes the command (and ownership of it) and the run mode, returns the
    // inverse for the stacks or null.
    using Handler = std::function<BaseTask*(Model& model, BaseTask* command, char mode)>;

    // The handler of a command type; replaces an earlier one.
    void registerHandler(quint32 type, Handler handler);
    void setCategoryHandler(quint16 category, Handler handler);
    bool hasHandler(quint32 type) const;
    // Null when there is none.
    const Handler* handler(quint32 type) const;
    const Handler* categoryHandler(quint16 category) const;

private:
    QHash<quint16, QHash<quint16, Handler>> m_handlers;
    QHash<quint16, Handler> m_categoryHandlers;
};

} // namespace Emulsa
