#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;

namespace Emulsa {

class ErrorDialogTextView;
class MessageLog;

// Shows the message log's critical and fatal messages in a modal dialog, one
// at a time: OK acknowledges the current message and brings up the next
// queued one, and the dialog closes when none is left.
class ErrorDialog : public QDialog
{
    Q_OBJECT
public:
    // Becomes the log's viewer.
    explicit ErrorDialog(MessageLog* log, QWidget* parent = nullptr);
    void done(int result) override;

protected:
    void changeEvent(QEvent* event) override;

private:
    void showCurrentMessage();
    void retranslate();

    QPointer<MessageLog> m_log;
    QPushButton* m_okButton = nullptr;
    ErrorDialogTextView* m_messageView = nullptr;
    QLabel* m_icon = nullptr;
};

} // namespace Emulsa
