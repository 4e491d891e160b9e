#include "ui/presets/PresetMenu.h"

#include <QAction>
#include <QMenu>

namespace Emulsa {

namespace PresetMenu {

QString updateText()
{
    return QMenu::tr("Update with Current Grade");
}

QMenu* make(QWidget* parent, const QByteArray& presetId, bool clipAvailable,
    const std::function<void(const QByteArray&)>& update)
{
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* action = menu->addAction(updateText());
    action->setEnabled(clipAvailable && !presetId.isEmpty());
    action->setToolTip(QMenu::tr("Replace this preset's grade and thumbnail with the current clip's"));
    QObject::connect(action, &QAction::triggered, menu, [update, presetId] { update(presetId); });
    return menu;
}

} // namespace PresetMenu

} // namespace Emulsa
