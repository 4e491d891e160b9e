#include "ui/shell/LoadingOverlay.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace Emulsa {

LoadingOverlay::LoadingOverlay(QWidget* parent)
    : QWidget(parent)
    , m_label(new QLabel(tr("Working…"), this))
{
    setObjectName(QStringLiteral("loadingOverlay"));
    setAttribute(Qt::WA_NoSystemBackground);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setStyleSheet(QStringLiteral("color: white; font-size: 18px;"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

void LoadingOverlay::setText(const QString& text)
{
    m_label->setText(text);
}

bool LoadingOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void LoadingOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 150));
}

} // namespace Emulsa
