#include "model/Preset.h"

#include "model/GradeBlockReader.h"

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
    const QString fields = unreadFields.join(QStringLiteral(", "));
    if (GradeBlockReader::wholeGradeLost(unreadFields))
        return QCoreApplication::translate("Preset",
            "This preset's grade could not be read from its file (%1): default values stand in for all of it. "
            "Update the preset with a grade to clear this warning.")
            .arg(fields);
    return QCoreApplication::translate("Preset",
        "Part of this preset's grade could not be read from its file (%1): default values stand in there. Update "
        "the preset with a grade to clear this warning.")
        .arg(fields);
}

Preset Preset::copy(bool keepUuid) const
{
    Preset preset(keepUuid ? uuid : QUuid::createUuid(), name, number, settings);
    preset.unreadFields = unreadFields;
    return preset;
}

} // namespace Emulsa
