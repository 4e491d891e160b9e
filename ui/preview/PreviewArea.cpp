#include "ui/preview/PreviewArea.h"

#include "ui/preview/OpenGLPreview.h"

#include <QLabel>
#include <QVBoxLayout>

namespace Emulsa {

PreviewArea::PreviewArea(OpenGLPreview* preview, QWidget* parent)
    : QStackedWidget(parent)
    , m_preview(preview)
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_gradeWarning = new QLabel(tr("The grade could not be applied: the film data for this camera profile and stock "
                                   "is missing. The picture is shown without the film look."),
        page);
    m_gradeWarning->setWordWrap(true);
    m_gradeWarning->setStyleSheet(QStringLiteral("background:#6b4a12;color:white;padding:4px;"));
    m_gradeWarning->hide();
    layout->addWidget(m_gradeWarning);
    QWidget* container = QWidget::createWindowContainer(preview, page);
    container->setAcceptDrops(false);
    container->setMinimumSize(64, 36);
    layout->addWidget(container, 1);
    addWidget(page);
    m_message = new QLabel(this);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    addWidget(m_message);
    connect(preview, &OpenGLPreview::previewFailed, this, &PreviewArea::showFailure);
    connect(preview, &OpenGLPreview::gradeAppliedChanged, this, &PreviewArea::showGradeApplied);
}

bool PreviewArea::showsGradeWarning() const
{
    return !m_gradeWarning->isHidden();
}

void PreviewArea::showGradeApplied(bool applied)
{
    m_gradeWarning->setVisible(!applied);
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
