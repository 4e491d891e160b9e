#include "ui/shell/ErrorDialogTextView.h"

namespace Emulsa {

ErrorDialogTextView::ErrorDialogTextView(QWidget* parent)
    : QTextBrowser(parent)
{
}

QSize ErrorDialogTextView::sizeHint() const
{
    return QSize(250, 100);
}

QSize ErrorDialogTextView::minimumSizeHint() const
{
    return QSize(75, 75);
}

} // namespace Emulsa
