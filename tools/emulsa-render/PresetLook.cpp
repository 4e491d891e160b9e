#include "PresetLook.h"

#include "core/ApplicationPaths.h"
#include "model/PresetsFileReader.h"
#include "model/PresetsManager.h"

#include <QFile>

#include <cstdio>

namespace Emulsa::RenderTool {

namespace {

struct Candidate
{
    QString group;
    // The group's file in the presets folder.
    QString file;
    Preset preset;
};

QString choicesText(const QStringList& choices)
{
    return choices.isEmpty() ? QStringLiteral("(none)") : choices.join(QStringLiteral("\n  "));
}

// A look whose grade lost fields in its file is used only when the defaults
// are accepted in their place; false with *error otherwise.
bool checkWhole(
    const Preset& preset, const QString& source, const RenderOptions& options, QString* error, bool* incomplete)
{
    if (preset.unreadFields.isEmpty())
        return true;
    const QString problem = QStringLiteral("%1: the grade of preset \"%2\" could not be read whole (not readable: %3)")
                                .arg(source, preset.name, preset.unreadFields.join(QStringLiteral(", ")));
    if (options.acceptDefaults) {
        std::fprintf(stderr, "emulsa-render: %s; rendering with default values there (--accept-defaults)\n",
            qPrintable(problem));
        return true;
    }
    *incomplete = true;
    *error = QStringLiteral("%1; nothing is rendered with it. Give --accept-defaults to render it with default "
                            "values where the grade could not be read.")
                 .arg(problem);
    return false;
}

bool pickFromStore(const RenderOptions& options, ClipSettings* grade, QString* error, bool* incomplete)
{
    const QString& wanted = options.preset;
    const QString folder = ApplicationPaths::instance()->presetsPath();
    PresetsManager store(folder);
    QList<Candidate> all;
    const QHash<int, QString> files = store.groupFileNames();
    for (const PresetGroup& group : store.groups()) {
        for (const Preset& preset : group.orderedPresets())
            all.append({ group.name, folder + files.value(group.id), preset });
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
    const Candidate& chosen = found.constFirst();
    if (!checkWhole(chosen.preset, chosen.file, options, error, incomplete))
        return false;
    *grade = chosen.preset.settings;
    return true;
}

bool pickFromFile(const RenderOptions& options, ClipSettings* grade, QString* error, bool* incomplete)
{
    const QString& path = options.presetFile;
    const QString& wanted = options.presetName;
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
    if (!checkWhole(found.constFirst(), path, options, error, incomplete))
        return false;
    *grade = found.constFirst().settings;
    return true;
}

} // namespace

bool loadPresetLook(const RenderOptions& options, ClipSettings* grade, QString* error, bool* incomplete)
{
    *incomplete = false;
    if (!options.presetFile.isEmpty())
        return pickFromFile(options, grade, error, incomplete);
    return pickFromStore(options, grade, error, incomplete);
}

bool applyPresetLook(const QStringList& arguments, RenderOptions* options, QString* error, bool* incomplete)
{
    *incomplete = false;
    if (options->preset.isEmpty() && options->presetFile.isEmpty())
        return true;
    ClipSettings look;
    if (!loadPresetLook(*options, &look, error, incomplete))
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
