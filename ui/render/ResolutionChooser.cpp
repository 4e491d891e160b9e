#include "ui/render/ResolutionChooser.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace Emulsa {

ResolutionChooser::ResolutionChooser(QWidget* parent)
    : QDialog(parent)
{
    setModal(true);
    setWindowTitle(QStringLiteral("Custom Size"));
    resize(400, 200);

    auto* heading = new QLabel(QStringLiteral("CUSTOM RESOLUTION"), this);
    heading->setObjectName(QStringLiteral("heading"));

    m_width = new QSpinBox(this);
    m_width->setObjectName(QStringLiteral("width"));
    m_width->setRange(0, 9999);
    m_width->setValue(1920);
    m_height = new QSpinBox(this);
    m_height->setObjectName(QStringLiteral("height"));
    m_height->setRange(0, 9999);
    m_height->setValue(1080);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("WIDTH:"), m_width);
    form->addRow(QStringLiteral("HEIGHT:"), m_height);

    auto* apply = new QPushButton(QStringLiteral("Apply"), this);
    apply->setObjectName(QStringLiteral("apply"));
    apply->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(apply);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

QSize ResolutionChooser::resolution() const
{
    return QSize(m_width->value(), m_height->value());
}

void ResolutionChooser::setResolution(const QSize& size)
{
    m_width->setValue(size.width());
    m_height->setValue(size.height());
}

} // namespace Emulsa
