#include "PresetLook.h"

#include "core/ApplicationPaths.h"
#include "model/PresetsFileReader.h"
#include "model/PresetsManager.h"

#include <QFile>

namespace Emulsa::RenderTool {

namespace {

struct Candidate
{
    QString group;
    Preset preset;
};

QString choicesText(const QStringList& choices)
{
    return choices.isEmpty() ? QStringLiteral("(none)") : choices.join(QStringLiteral("\n  "));
}

bool pickFromStore(const QString& wanted, ClipSettings* grade, QString* error)
{
    const QString folder = ApplicationPaths::instance()->presetsPath();
    PresetsManager store(folder);
    QList<Candidate> all;
    for (const PresetGroup& group : store.groups()) {
        for (const Preset& preset : group.orderedPresets())
            all.append({ group.name, preset });
    }
    QList<Candidate> found;
    for (const Candidate& c : all) {
        if (c.preset.name == wanted)
            found.append(c);
    }
    if (found.isEmpty()) {
        for (const Candidate& c : all) {
            if (c.group + QLatin1Char('/') + c.preset.name == wanted)
                found.append(c);
        }
    }
    QStringList choices;
    for (const Candidate& c : (found.size() > 1 ? found : all))
        choices << c.group + QLatin1Char('/') + c.preset.name;
    if (found.size() != 1) {
        *error = QStringLiteral("%1 preset \"%2\" in %3. Choose one of (GROUP/NAME):\n  %4")
                     .arg(found.isEmpty() ? QStringLiteral("No") : QStringLiteral("More than one"), wanted, folder,
                         choicesText(choices));
        return false;
    }
    *grade = found.constFirst().preset.settings;
    return true;
}

bool pickFromFile(const QString& path, const QString& wanted, ClipSettings* grade, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > PresetsManager::maxPresetFileBytes) {
        *error = QStringLiteral("Cannot open the preset file %1.").arg(path);
        return false;
    }
    PresetsFileReader reader;
    if (!reader.read(&file) || !reader.hasGroup()) {
        *error = QStringLiteral("%1 is no readable preset file.").arg(path);
        return false;
    }
    QList<Preset> found;
    QStringList choices;
    for (const Preset& preset : reader.presets()) {
        choices << preset.name;
        if (preset.name == wanted || (wanted.isEmpty() && reader.presets().size() == 1))
            found.append(preset);
    }
    if (found.size() != 1) {
        *error = QStringLiteral("%1 preset named \"%2\" in %3. Give --preset-name with one of:\n  %4")
                     .arg(found.isEmpty() ? QStringLiteral("No") : QStringLiteral("More than one"), wanted, path,
                         choicesText(choices));
        return false;
    }
    *grade = found.constFirst().settings;
    return true;
}

} // namespace

bool loadPresetLook(const RenderOptions& options, ClipSettings* grade, QString* error)
{
    if (!options.presetFile.isEmpty())
        return pickFromFile(options.presetFile, options.presetName, grade, error);
    return pickFromStore(options.preset, grade, error);
}

bool applyPresetLook(const QStringList& arguments, RenderOptions* options, QString* error)
{
    if (options->preset.isEmpty() && options->presetFile.isEmpty())
        return true;
    ClipSettings look;
    if (!loadPresetLook(*options, &look, error))
        return false;
    RenderOptions adjusted;
    adjusted.grade = look;
    adjusted.grade.setSourceType(ClipSettings::DefaultSourceType);
    adjusted.stockText = look.getStockName();
    bool exitNow = false;
    if (!parseRenderOptions(arguments, &adjusted, error, &exitNow))
        return false;
    *options = adjusted;
    return true;
}

} // namespace Emulsa::RenderTool
