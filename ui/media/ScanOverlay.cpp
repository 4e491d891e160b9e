#include "ui/media/ScanOverlay.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace Emulsa {

ScanOverlay::ScanOverlay(QWidget* parent)
    : QWidget(parent)
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(50, 0, 50, 0);
    layout->addStretch(1000);
    auto* label = new QLabel(QStringLiteral("Scanning..."), this);
    label->setStyleSheet(QStringLiteral("color: white; font-size: 15pt;"));
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    m_cancel->setFixedSize(150, 27);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    layout->addStretch(1000);
    connect(m_cancel, &QPushButton::clicked, this, &ScanOverlay::cancelPressed);
}

void ScanOverlay::cancelPressed()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    emit cancelled();
}

void ScanOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(33, 33, 33, 150));
}

} // namespace Emulsa
