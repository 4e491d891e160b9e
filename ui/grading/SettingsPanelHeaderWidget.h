#pragma once

#include <QWidget>

class QLabel;

namespace Emulsa {

// The bar above the grading panel: save the grade as a preset, export it as
// a LUT, reset it all.
class SettingsPanelHeaderWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsPanelHeaderWidget(QWidget* parent = nullptr);

    // A short note beside the buttons (what the last export wrote), with
    // more in its tooltip.
    void showNote(const QString& text, const QString& details = QString());
    QLabel* note() const { return m_note; }

signals:
    void saveCurrentSettings();
    // The grade as a .cube table of that many points a side.
    void exportLook(int size);
    void resetAllSettings();

private:
    QLabel* m_note = nullptr;
};

} // namespace Emulsa
