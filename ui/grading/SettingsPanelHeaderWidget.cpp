#include "ui/grading/SettingsPanelHeaderWidget.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace Emulsa {

SettingsPanelHeaderWidget::SettingsPanelHeaderWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* save = new QPushButton(QStringLiteral("SAVE AS PRESET"), this);
    save->setObjectName(QStringLiteral("savePresetButton"));
    auto* reset = new QPushButton(QStringLiteral("RESET ALL"), this);
    reset->setObjectName(QStringLiteral("resetAllButton"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(save);
    layout->addStretch();
    layout->addWidget(reset);
    connect(save, &QPushButton::clicked, this, &SettingsPanelHeaderWidget::saveCurrentSettings);
    connect(reset, &QPushButton::clicked, this, &SettingsPanelHeaderWidget::resetAllSettings);
}

} // namespace Emulsa
