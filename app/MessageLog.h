#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>

namespace Emulsa {

// Receives every Qt message of the process: appends one line per message to
// the log file of this run and queues critical and fatal messages for the
// user to acknowledge one at a time. A viewer (the error dialog) shows the
// current message when messageToShow() is emitted and calls acknowledge()
// when the user has read it.
class MessageLog : public QObject
{
    Q_OBJECT
public:
    // Creates the log on first call, writes the host block to the log file
    // and installs the message handler.
    static MessageLog* instance();
    // The log if it exists; never creates it.
    static MessageLog* existingInstance();

    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    // False where no one can press OK: a process without widgets, or Qt's
    // offscreen and minimal platforms.
    static bool canShowDialogs();

    // "<user data>/logs"
    static QString logsFolderPath();
    // The log file of this run, fixed by the minute of the first call.
    static QString logFilePath();
    // The formatted log line for one message, without the line end.
    static QString formatLine(
        QtMsgType type, const QMessageLogContext& context, const QString& message, const QString& time);

    ~MessageLog() override;

    // The object that shows the queued messages; a message waits for the
    // user only while it exists and dialogs can be shown.
    void setViewer(QObject* viewer);
    bool hasViewer() const { return !m_viewer.isNull(); }

    // The message the user is reading now, empty when none.
    QString currentMessage() const { return m_currentMessage; }
    QString currentType() const { return m_currentType; }
    bool isShowing() const { return !m_currentMessage.isEmpty(); }
    int pendingCount() const { return m_pending.size(); }

    // The user has read the current message. Makes the next queued one
    // current and returns true, or, with the queue empty, emits
    // allAcknowledged() and returns false; after a fatal message the process
    // then ends with exit code 1.
    bool acknowledge();

public slots:
    // Queues a message (HTML) for the user; empty messages are dropped.
    void showMessage(const QString& message);
    void showMessage(const QString& message, const QString& type);

signals:
    // A message became current while none was: the viewer should show it.
    void messageToShow();
    // The user has acknowledged every queued message.
    void allAcknowledged();

private:
    MessageLog();

    void writeHostInformation();
    static void writeLogLine(const QString& line);
    bool nextPending();

    QList<QPair<QString, QString>> m_pending;
    QString m_currentMessage;
    QString m_currentType;
    QPointer<QObject> m_viewer;
    QtMessageHandler m_previousHandler = nullptr;
};

} // namespace Emulsa
