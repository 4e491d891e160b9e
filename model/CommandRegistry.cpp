#include "model/CommandRegistry.h"

#include "model/TaskType.h"

namespace Emulsa {

void CommandRegistry::registerHandler(quint32 type, Handler handler)
{
    m_handlers[taskCategory(type)].insert(taskNumber(type), std::move(handler));
}

void CommandRegistry::setCategoryHandler(quint16 category, Handler handler)
{
    m_categoryHandlers.insert(category, std::move(handler));
}

bool CommandRegistry::hasHandler(quint32 type) const
{
    return handler(type) != nullptr;
}

const CommandRegistry::Handler* CommandRegistry::handler(quint32 type) const
{
    const auto family = m_handlers.constFind(taskCategory(type));
    if (family == m_handlers.constEnd())
        return nullptr;
    const auto found = family->constFind(taskNumber(type));
    return found != family->constEnd() ? &*found : nullptr;
}

const CommandRegistry::Handler* CommandRegistry::categoryHandler(quint16 category) const
{
    const auto found = m_categoryHandlers.constFind(category);
    return found != m_categoryHandlers.constEnd() ? &*found : nullptr;
}

} // namespace Emulsa
