#include "app/MessageLog.h"

#include "core/ApplicationPaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace Emulsa {

namespace {

std::atomic<MessageLog*> s_instance { nullptr };
std::atomic<bool> s_fatalShown { false };
// Whether a viewer is set, for the handler on other threads.
std::atomic<bool> s_hasViewer { false };

// Serialises file output so that lines logged by several threads at once
// never mix, and guards the cached file path.
QMutex& logMutex()
{
    static QMutex mutex;
    return mutex;
}

QString& cachedLogFilePath()
{
    static QString path;
    return path;
}

const char* const kHostSeparator = "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

bool MessageLog::canShowDialogs()
{
    // Asked by class name: this layer links no widgets.
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || !app->inherits("QApplication"))
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

namespace {

void deleteLoggerAtExit()
{
    delete s_instance.load();
}

QString computeLogFilePath()
{
    const QString folder = MessageLog::logsFolderPath();
    if (!QDir().mkpath(folder))
        return folder; // a folder cannot be opened as a file: output stays off
    return folder + QStringLiteral("/emulsa_pro_standalone_")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd-hh.mm")) + QStringLiteral(".log");
}

} // namespace

MessageLog* MessageLog::instance()
{
    if (!s_instance.load()) {
        auto* logger = new MessageLog();
        s_instance.store(logger);
        qAddPostRoutine(deleteLoggerAtExit);
        logger->m_previousHandler = qInstallMessageHandler(&MessageLog::messageHandler);
    }
    return s_instance.load();
}

MessageLog* MessageLog::existingInstance()
{
    return s_instance.load();
}

MessageLog::MessageLog()
    : QObject(nullptr)
{
    writeHostInformation();
}

void MessageLog::setViewer(QObject* viewer)
{
    if (m_viewer)
        disconnect(m_viewer, &QObject::destroyed, this, nullptr);
    m_viewer = viewer;
    s_hasViewer.store(viewer != nullptr);
    if (viewer)
        connect(viewer, &QObject::destroyed, this, [] { s_hasViewer.store(false); });
}

MessageLog::~MessageLog()
{
    if (s_instance.load() == this) {
        s_instance.store(nullptr);
        const QtMessageHandler installed = qInstallMessageHandler(nullptr);
        if (installed != &MessageLog::messageHandler)
            qInstallMessageHandler(installed);
        else if (m_previousHandler)
            qInstallMessageHandler(m_previousHandler);
    }
}

QString MessageLog::logsFolderPath()
{
    return ApplicationPaths::userDataFolder() + QStringLiteral("/logs");
}

QString MessageLog::logFilePath()
{
    QMutexLocker lock(&logMutex());
    QString& path = cachedLogFilePath();
    if (path.isEmpty())
        path = computeLogFilePath();
    return path;
}

void MessageLog::writeHostInformation()
{
    const QString path = logFilePath();
    QMutexLocker lock(&logMutex());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << "Host current date and time:" << Qt::endl
        << QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd hh:mm:ss")) << Qt::endl
        << "Host System Informations:" << Qt::endl
        << "Qt version builded:" << Qt::endl
        << "  ABI string: " << QSysInfo::buildAbi() << Qt::endl
        << "Current system:" << Qt::endl
        << "  Kernel:     " << QSysInfo::kernelType() << Qt::endl
        << "  CPU Arch:   " << QSysInfo::currentCpuArchitecture() << Qt::endl
        << "  OS Name:    " << QSysInfo::productType() << Qt::endl
        << "  OS Version: " << QSysInfo::productVersion() << Qt::endl
        << "  App Version:" << QCoreApplication::applicationVersion() << Qt::endl
        << kHostSeparator << Qt::endl;
}

QString MessageLog::formatLine(
    QtMsgType type, const QMessageLogContext& context, const QString& message, const QString& time)
{
    const QString file = QString::fromUtf8(context.file ? context.file : "");
    const QString function = QString::fromUtf8(context.function ? context.function : "");
    const char* format = nullptr;
    switch (type) {
    case QtWarningMsg:
        format = "%1 [W]: (%2:%3, %4): %5";
        break;
    case QtCriticalMsg:
        format = "%1 [C]: (%2:%3, %4): %5";
        break;
    case QtFatalMsg:
        format = "%1 [F]: (%2:%3, %4): %5";
        break;
    default:
        return QStringLiteral("%1 [D]: (%2): %3").arg(time, function, message);
    }
    return QString::fromLatin1(format).arg(time, file, QString::number(context.line), function, message);
}

void MessageLog::writeLogLine(const QString& line)
{
    const QString path = logFilePath();
    QMutexLocker lock(&logMutex());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << line << Qt::endl;
}

void MessageLog::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    MessageLog* logger = s_instance.load();
    if (!logger)
        return;

    const QString time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    const QString text = QString::fromLocal8Bit(message.toLocal8Bit());
    writeLogLine(formatLine(type, context, text, time));

    if (type != QtCriticalMsg && type != QtFatalMsg)
        return;
    // An empty critical message is only logged: a viewer would show nothing
    // but its title. A fatal one still needs the user's OK before the end.
    if (type == QtCriticalMsg && text.trimmed().isEmpty())
        return;

    const bool mainThread = onMainThread();
    if (mainThread)
        QCoreApplication::processEvents();
    const QString title = type == QtFatalMsg ? tr("Fatal Error:") : tr("Critical Error:");
    const QString display = QStringLiteral("<p><b>%1</b></p>").arg(title) + text;

    // The flag is raised before the viewer shows the fatal message, because
    // showing it runs the event loop and the user's OK may come at once.
    const bool fatalAlreadyShown = type == QtFatalMsg ? s_fatalShown.exchange(true) : s_fatalShown.load();
    if (!fatalAlreadyShown) {
        if (mainThread)
            logger->showMessage(display);
        else
            QMetaObject::invokeMethod(logger, "showMessage", Qt::QueuedConnection, Q_ARG(QString, display));
    }
    if (type != QtFatalMsg)
        return;

    // Qt aborts as soon as the handler returns from a fatal message, so the
    // handler itself waits here until the user has acknowledged it;
    // acknowledge() then ends the process with exit code 1.
    if (!canShowDialogs() || !s_hasViewer.load() || fatalAlreadyShown) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (mainThread) {
        QEventLoop loop;
        QObject::connect(logger, &MessageLog::allAcknowledged, &loop, &QEventLoop::quit);
        if (logger->isShowing())
            loop.exec();
        std::fflush(nullptr);
        std::_Exit(1);
    }
    for (;;)
        QThread::sleep(1);
}

void MessageLog::showMessage(const QString& message)
{
    showMessage(message, QString());
}

void MessageLog::showMessage(const QString& message, const QString& type)
{
    m_pending.append(qMakePair(message, type));
    if (!isShowing() && nextPending())
        emit messageToShow();
}

bool MessageLog::nextPending()
{
    while (!m_pending.isEmpty()) {
        const QPair<QString, QString> entry = m_pending.takeFirst();
        if (entry.first.isEmpty())
            continue;
        m_currentMessage = entry.first;
        m_currentType = entry.second;
        return true;
    }
    return false;
}

bool MessageLog::acknowledge()
{
    m_currentMessage.clear();
    m_currentType.clear();
    if (nextPending())
        return true;
    emit allAcknowledged();
    if (s_instance.load() == this && s_fatalShown.load()) {
        // The process is in an undefined state after a fatal message: end it
        // without running static destructors, which may wait on other threads.
        std::fflush(nullptr);
        std::_Exit(1);
    }
    return false;
}

} // namespace Emulsa
