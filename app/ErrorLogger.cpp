#include "app/ErrorLogger.h"

#include "app/ErrorLoggerTextView.h"
#include "core/ApplicationPaths.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPushButton>
#include <QStyle>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace Emulsa {

namespace {

std::atomic<ErrorLogger*> s_instance { nullptr };
std::atomic<bool> s_fatalShown { false };

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

bool ErrorLogger::canShowDialogs()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
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
    const QString folder = ErrorLogger::logsFolderPath();
    if (!QDir().mkpath(folder))
        return folder; // a folder cannot be opened as a file: output stays off
    return folder + QStringLiteral("/emulsa_pro_standalone_")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd-hh.mm")) + QStringLiteral(".log");
}

} // namespace

ErrorLogger* ErrorLogger::instance()
{
    if (!s_instance.load()) {
        auto* logger = new ErrorLogger();
        s_instance.store(logger);
        qAddPostRoutine(deleteLoggerAtExit);
        logger->setWindowTitle(QCoreApplication::applicationName());
        logger->m_previousHandler = qInstallMessageHandler(&ErrorLogger::messageHandler);
    }
    return s_instance.load();
}

ErrorLogger* ErrorLogger::existingInstance()
{
    return s_instance.load();
}

ErrorLogger::ErrorLogger()
    : QDialog(nullptr)
{
    auto* layout = new QGridLayout(this);
    m_okButton = new QPushButton(this);
    m_messageView = new ErrorLoggerTextView(this);
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

    writeHostInformation();
    setModal(true);
}

ErrorLogger::~ErrorLogger()
{
    if (s_instance.load() == this) {
        s_instance.store(nullptr);
        const QtMessageHandler installed = qInstallMessageHandler(nullptr);
        if (installed != &ErrorLogger::messageHandler)
            qInstallMessageHandler(installed);
        else if (m_previousHandler)
            qInstallMessageHandler(m_previousHandler);
    }
}

QString ErrorLogger::logsFolderPath()
{
    return ApplicationPaths::userDataFolder() + QStringLiteral("/logs");
}

QString ErrorLogger::logFilePath()
{
    QMutexLocker lock(&logMutex());
    QString& path = cachedLogFilePath();
    if (path.isEmpty())
        path = computeLogFilePath();
    return path;
}

void ErrorLogger::writeHostInformation()
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

QString ErrorLogger::formatLine(
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

void ErrorLogger::writeLogLine(const QString& line)
{
    const QString path = logFilePath();
    QMutexLocker lock(&logMutex());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << line << Qt::endl;
}

void ErrorLogger::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    ErrorLogger* logger = s_instance.load();
    if (!logger)
        return;

    const QString time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    const QString text = QString::fromLocal8Bit(message.toLocal8Bit());
    writeLogLine(formatLine(type, context, text, time));

    if (type != QtCriticalMsg && type != QtFatalMsg)
        return;
    // An empty critical message is only logged: the dialog would show nothing
    // but its title. A fatal one still needs the user's OK before the end.
    if (type == QtCriticalMsg && text.trimmed().isEmpty())
        return;

    const bool mainThread = onMainThread();
    if (mainThread)
        QCoreApplication::processEvents();
    const QString title = type == QtFatalMsg ? tr("Fatal Error:") : tr("Critical Error:");
    const QString display = QStringLiteral("<p><b>%1</b></p>").arg(title) + text;

    // The flag is raised before the dialog shows the fatal message, because
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
    // handler itself waits here until the user has acknowledged it; the
    // dialog's done() then ends the process with exit code 1.
    if (!canShowDialogs() || fatalAlreadyShown) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (mainThread) {
        QEventLoop loop;
        QObject::connect(logger, &QDialog::finished, &loop, &QEventLoop::quit);
        if (logger->isVisible())
            loop.exec();
        std::fflush(nullptr);
        std::_Exit(1);
    }
    for (;;)
        QThread::sleep(1);
}

void ErrorLogger::showMessage(const QString& message)
{
    showMessage(message, QString());
}

void ErrorLogger::showMessage(const QString& message, const QString& type)
{
    m_pending.append(qMakePair(message, type));
    if (!isVisible() && nextPending()) {
        show();
        activateWindow();
        raise();
        QCoreApplication::processEvents();
    }
}

bool ErrorLogger::nextPending()
{
    while (!m_pending.isEmpty()) {
        const QPair<QString, QString> entry = m_pending.takeFirst();
        if (entry.first.isEmpty())
            continue;
        m_messageView->setHtml(entry.first);
        m_currentMessage = entry.first;
        m_currentType = entry.second;
        return true;
    }
    return false;
}

void ErrorLogger::done(int result)
{
    m_currentMessage.clear();
    m_currentType.clear();
    if (nextPending())
        return;
    QDialog::done(result);
    if (s_instance.load() == this && s_fatalShown.load()) {
        // The process is in an undefined state after a fatal message: end it
        // without running static destructors, which may wait on other threads.
        std::fflush(nullptr);
        std::_Exit(1);
    }
}

void ErrorLogger::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

void ErrorLogger::retranslate()
{
    m_okButton->setText(tr("&OK"));
}

} // namespace Emulsa
