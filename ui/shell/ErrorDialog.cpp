#include "ui/shell/ErrorDialog.h"

#include "app/MessageLog.h"
#include "ui/shell/ErrorDialogTextView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace Emulsa {

ErrorDialog::ErrorDialog(MessageLog* log, QWidget* parent)
    : QDialog(parent)
    , m_log(log)
{
    auto* layout = new QGridLayout(this);
    m_okButton = new QPushButton(this);
    m_messageView = new ErrorDialogTextView(this);
    m_icon = new QLabel(this);

    const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxCritical);
    m_icon->setPixmap(icon.pixmap(style()->pixelMetric(QStyle::PM_MessageBoxIconSize)));
    m_icon->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    layout->addWidget(m_icon, 0, 0, Qt::AlignTop);
    layout->addWidget(m_messageView, 0, 1);
    layout->addWidget(m_okButton, 2, 0, 1, 2, Qt::AlignCenter);
    layout->setColumnStretch(1, 42);
    layout->setRowStretch(0, 42);

    m_messageView->setAcceptRichText(true);
    m_messageView->setReadOnly(true);
    m_messageView->setOpenExternalLinks(true);

    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    m_okButton->setFocus();
    retranslate();

    setWindowTitle(QCoreApplication::applicationName());
    setModal(true);

    log->setViewer(this);
    connect(log, &MessageLog::messageToShow, this, &ErrorDialog::showCurrentMessage);
    // Messages queued before the dialog existed.
    if (log->isShowing())
        showCurrentMessage();
}

void ErrorDialog::showCurrentMessage()
{
    if (!m_log)
        return;
    m_messageView->setHtml(m_log->currentMessage());
    if (isVisible())
        return;
    show();
    activateWindow();
    raise();
    QCoreApplication::processEvents();
}

void ErrorDialog::done(int result)
{
    if (m_log && m_log->acknowledge()) {
        showCurrentMessage();
        return;
    }
    QDialog::done(result);
}

void ErrorDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

void ErrorDialog::retranslate()
{
    m_okButton->setText(tr("&OK"));
}

} // namespace Emulsa
