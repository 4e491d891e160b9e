#include "model/PresetGroup.h"

#include <algorithm>

namespace Emulsa {

QVector<Preset> PresetGroup::orderedPresets() const
{
    QVector<Preset> list;
    list.reserve(presets.size());
    for (const Preset& preset : presets)
        list.append(preset);
    std::sort(list.begin(), list.end(), [](const Preset& a, const Preset& b) {
        if (a.number != b.number)
            return a.number < b.number;
        return a.uuid.toString() < b.uuid.toString();
    });
    return list;
}

void registerPresetMetaTypes()
{
    qRegisterMetaType<Preset>("Emulsa::Preset");
    qRegisterMetaType<PresetGroup>("Emulsa::PresetGroup");
    qRegisterMetaType<QVector<Preset>>("QVector<Emulsa::Preset>");
    qRegisterMetaType<QList<PresetGroup>>("QList<Emulsa::PresetGroup>");
}

} // namespace Emulsa
