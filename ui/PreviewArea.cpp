#include "ui/PreviewArea.h"

#include "ui/OpenGLPreview.h"

#include <QLabel>

namespace Emulsa {

PreviewArea::PreviewArea(OpenGLPreview* preview, QWidget* parent)
    : QStackedWidget(parent)
    , m_preview(preview)
{
    QWidget* container = QWidget::createWindowContainer(preview, this);
    container->setAcceptDrops(false);
    container->setMinimumSize(64, 36);
    addWidget(container);
    m_message = new QLabel(this);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    addWidget(m_message);
    connect(preview, &OpenGLPreview::previewFailed, this, &PreviewArea::showFailure);
}

QString PreviewArea::failureText() const
{
    return m_message->text();
}

void PreviewArea::showFailure(const QString& message)
{
    m_message->setText(tr("The preview cannot be shown on this computer:\n%1").arg(message));
    setCurrentIndex(1);
}

} // namespace Emulsa
