#include "model/Preset.h"

#include <QCoreApplication>

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

QString Preset::unreadFieldsWarning() const
{
    if (unreadFields.isEmpty())
        return QString();
    return QCoreApplication::translate("Preset",
        "Part of this preset's grade could not be read from its file (%1): default values stand in there. Save "
        "the look as a new preset to keep it as it is now.")
        .arg(unreadFields.join(QStringLiteral(", ")));
}

Preset Preset::copy(bool keepUuid) const
{
    Preset preset(keepUuid ? uuid : QUuid::createUuid(), name, number, settings);
    preset.unreadFields = unreadFields;
    return preset;
}

} // namespace Emulsa
