#include "ui/grading/SettingsPanelHeaderWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace Emulsa {

SettingsPanelHeaderWidget::SettingsPanelHeaderWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* save = new QPushButton(QStringLiteral("SAVE AS PRESET"), this);
    save->setObjectName(QStringLiteral("savePresetButton"));
    auto* look = new QPushButton(QStringLiteral("EXPORT LUT"), this);
    look->setObjectName(QStringLiteral("exportLutButton"));
    look->setToolTip(QStringLiteral("Write the grade, without grain, as a .cube LUT that other tools apply"));
    auto* sizes = new QMenu(look);
    for (int size : { 33, 65 }) {
        QAction* action = sizes->addAction(QStringLiteral("%1-point LUT…").arg(size));
        connect(action, &QAction::triggered, this, [this, size] { emit exportLook(size); });
    }
    look->setMenu(sizes);
    auto* reset = new QPushButton(QStringLiteral("RESET ALL"), this);
    reset->setObjectName(QStringLiteral("resetAllButton"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(save);
    layout->addWidget(look);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("headerNote"));

    layout->addWidget(m_note, 1);
    layout->addWidget(reset);
    connect(save, &QPushButton::clicked, this, &SettingsPanelHeaderWidget::saveCurrentSettings);
    connect(reset, &QPushButton::clicked, this, &SettingsPanelHeaderWidget::resetAllSettings);
}

void SettingsPanelHeaderWidget::showNote(const QString& text, const QString& details)
{
    m_note->setText(text);
    m_note->setToolTip(details.isEmpty() ? text : details);
    // The bar is placed by its right edge: it grows to the left.
    const int right = geometry().right();
    adjustSize();
    move(right - width() + 1, y());
}

} // namespace Emulsa
