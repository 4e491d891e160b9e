#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class QLabel;
class QPushButton;

namespace Emulsa {

class ErrorLoggerTextView;

// Receives every Qt message of the process: appends one line per message to
// the log file of this run and shows critical and fatal messages in a modal
// dialog that queues further messages until each is acknowledged.
class ErrorLogger : public QDialog
{
    Q_OBJECT
public:
    // Creates the logger on first call and installs its message handler.
    static ErrorLogger* instance();
    // The logger if it exists; never creates it.
    static ErrorLogger* existingInstance();

    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    // False where no one can press OK: no widgets, or Qt's offscreen and
    // minimal platforms.
    static bool canShowDialogs();

    // "<user data>/logs"
    static QString logsFolderPath();
    // The log file of this run, fixed by the minute of the first call.
    static QString logFilePath();
    // The formatted log line for one message, without the line end.
    static QString formatLine(
        QtMsgType type, const QMessageLogContext& context, const QString& message, const QString& time);

    ~ErrorLogger() override;

    void done(int result) override;

    QString currentMessage() const { return m_currentMessage; }
    int pendingCount() const { return m_pending.size(); }

public slots:
    void showMessage(const QString& message);
    void showMessage(const QString& message, const QString& type);

protected:
    void changeEvent(QEvent* event) override;

private:
    ErrorLogger();

    void writeHostInformation();
    static void writeLogLine(const QString& line);
    bool nextPending();
    void retranslate();

    QPushButton* m_okButton = nullptr;
    ErrorLoggerTextView* m_messageView = nullptr;
    QLabel* m_icon = nullptr;
    QList<QPair<QString, QString>> m_pending;
    QString m_currentMessage;
    QString m_currentType;
    QtMessageHandler m_previousHandler = nullptr;
};

} // namespace Emulsa
