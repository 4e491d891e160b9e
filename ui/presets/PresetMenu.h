#pragma once

#include <QByteArray>

#include <functional>

class QMenu;
class QWidget;

namespace Emulsa {

// The context menu the presets strip and the preset manager show on a preset.
namespace PresetMenu {

// The action that gives the preset the current clip's grade.
QString updateText();

// The menu for one preset, parented to `parent` and deleted once it closes.
// "Update with Current Grade" is enabled only with a current clip and calls
// `update` with the preset id.
QMenu* make(QWidget* parent, const QByteArray& presetId, bool clipAvailable,
    const std::function<void(const QByteArray&)>& update);

} // namespace PresetMenu

} // namespace Emulsa
