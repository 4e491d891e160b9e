#include "app/ErrorLoggerTextView.h"

namespace Emulsa {

ErrorLoggerTextView::ErrorLoggerTextView(QWidget* parent)
    : QTextBrowser(parent)
{
}

QSize ErrorLoggerTextView::sizeHint() const
{
    return QSize(250, 100);
}

QSize ErrorLoggerTextView::minimumSizeHint() const
{
    return QSize(75, 75);
}

} // namespace Emulsa
