#pragma once

#include "model/Preset.h"

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QUuid>
#include <QVector>

namespace Emulsa {

// A numbered, named group of presets. A value type like Preset.
struct PresetGroup
{
    qint32 id = 0;
    QString name;
    QHash<QUuid, Preset> presets;

    // The presets in creation order (number, then uuid), the order files and
    // views use: the hash's own order changes from run to run.
    QVector<Preset> orderedPresets() const;
};

// Registers Preset, PresetGroup and the lists of them that the model's
// signals carry, under these names. Safe to call more than once.
void registerPresetMetaTypes();

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::PresetGroup)
