#pragma once

#include <QTextBrowser>

namespace Emulsa {

// The message area of the error dialog.
class ErrorDialogTextView : public QTextBrowser
{
    Q_OBJECT
public:
    explicit ErrorDialogTextView(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

} // namespace Emulsa
