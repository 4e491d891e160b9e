#include "resources/Resources.h"

#include <QtCore/QtGlobal>

static void initEmulsaResources()
{
    Q_INIT_RESOURCE(shaders);
    Q_INIT_RESOURCE(images);
}

namespace Emulsa {

void initResources()
{
    static const bool done = (initEmulsaResources(), true);
    Q_UNUSED(done);
}

} // namespace Emulsa
