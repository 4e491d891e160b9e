#pragma once

#include <QWidget>

namespace Emulsa {

// The bar above the grading panel: save the grade as a preset, reset it all.
class SettingsPanelHeaderWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsPanelHeaderWidget(QWidget* parent = nullptr);

signals:
    void saveCurrentSettings();
    void resetAllSettings();
};

} // namespace Emulsa
