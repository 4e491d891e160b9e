#include "model/Preset.h"

namespace Emulsa {

Preset::Preset()
    : uuid(QUuid::createUuid())
{
}

Preset::Preset(const QUuid& uuid, const QString& name, qint32 number, const ClipSettings& settings)
    : uuid(uuid)
    , name(name)
    , number(number)
    , settings(settings)
{
}

Preset Preset::copy(bool keepUuid) const
{
    return Preset(keepUuid ? uuid : QUuid::createUuid(), name, number, settings);
}

} // namespace Emulsa
