#pragma once

#include <QMutex>
#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

namespace Emulsa::Test {

// Collects the warnings raised while it lives (from any thread); every other
// message goes on to the handler that was installed before. One at a time.
class WarningCounter
{
public:
    WarningCounter()
    {
        QMutexLocker locker(&mutex());
        warnings().clear();
        previous() = qInstallMessageHandler(handle);
    }
    ~WarningCounter() { qInstallMessageHandler(previous()); }
    WarningCounter(const WarningCounter&) = delete;
    WarningCounter& operator=(const WarningCounter&) = delete;

    QStringList all() const
    {
        QMutexLocker locker(&mutex());
        return warnings();
    }
    // The warnings that match the pattern.
    int count(const QRegularExpression& pattern) const { return all().filter(pattern).size(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg) {
            QMutexLocker locker(&mutex());
            warnings() << message;
            return;
        }
        if (previous())
            previous()(type, context, message);
    }
    static QMutex& mutex()
    {
        static QMutex instance;
        return instance;
    }
    static QStringList& warnings()
    {
        static QStringList instance;
        return instance;
    }
    static QtMessageHandler& previous()
    {
        static QtMessageHandler instance = nullptr;
        return instance;
    }
};

} // namespace Emulsa::Test
