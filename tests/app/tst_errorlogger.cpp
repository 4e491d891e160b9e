#include "common/TestEnvironment.h"

#include "app/ErrorLogger.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

using Emulsa::ErrorLogger;

namespace {

QStringList logLines()
{
    QFile file(ErrorLogger::logFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void pressOk(ErrorLogger* logger)
{
    auto* ok = logger->findChild<QPushButton*>();
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
}

} // namespace

class ErrorLoggerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ErrorLogger::instance(); }

    void fileNameAndHostBlock()
    {
        const QString path = ErrorLogger::logFilePath();
        const QString minute = QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd-hh.mm"));
        // The minute of the run's start; the test may have crossed into the next.
        QVERIFY2(QRegularExpression(
                     QStringLiteral("/logs/emulsa_pro_standalone_\\d{4}\\.\\d\\d\\.\\d\\d-\\d\\d\\.\\d\\d\\.log$"))
                     .match(path)
                     .hasMatch(),
            qPrintable(path));
        QVERIFY(path.startsWith(ErrorLogger::logsFolderPath()));
        QVERIFY(path.contains(minute) || path.contains(minute.left(13)));

        const QStringList lines = logLines();
        QVERIFY(lines.size() >= 12);
        QCOMPARE(lines[0], QStringLiteral("Host current date and time:"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(lines[1])
                    .hasMatch());
        QCOMPARE(lines[2], QStringLiteral("Host System Informations:"));
        QCOMPARE(lines[3], QStringLiteral("Qt version builded:"));
        QCOMPARE(lines[4], QStringLiteral("  ABI string: ") + QSysInfo::buildAbi());
        QCOMPARE(lines[5], QStringLiteral("Current system:"));
        QCOMPARE(lines[6], QStringLiteral("  Kernel:     ") + QSysInfo::kernelType());
        QCOMPARE(lines[7], QStringLiteral("  CPU Arch:   ") + QSysInfo::currentCpuArchitecture());
        QCOMPARE(lines[10], QStringLiteral("  App Version:1.02.30"));
        QCOMPARE(lines[11], QStringLiteral("-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-"));
        QCOMPARE(lines[11].size(), 35);
    }

    void lineFormats()
    {
        const char* file = "some/file.cpp";
        QMessageLogContext context(file, 42, "void Foo::bar(int)", "default");
        const QString time = QStringLiteral("10:05:07");
        QCOMPARE(ErrorLogger::formatLine(QtDebugMsg, context, QStringLiteral("hello"), time),
            QStringLiteral("10:05:07 [D]: (void Foo::bar(int)): hello"));
        QCOMPARE(ErrorLogger::formatLine(QtInfoMsg, context, QStringLiteral("info"), time),
            QStringLiteral("10:05:07 [D]: (void Foo::bar(int)): info"));
        QCOMPARE(ErrorLogger::formatLine(QtWarningMsg, context, QStringLiteral("w"), time),
            QStringLiteral("10:05:07 [W]: (some/file.cpp:42, void Foo::bar(int)): w"));
        QCOMPARE(ErrorLogger::formatLine(QtCriticalMsg, context, QStringLiteral("c"), time),
            QStringLiteral("10:05:07 [C]: (some/file.cpp:42, void Foo::bar(int)): c"));
        QCOMPARE(ErrorLogger::formatLine(QtFatalMsg, context, QStringLiteral("f"), time),
            QStringLiteral("10:05:07 [F]: (some/file.cpp:42, void Foo::bar(int)): f"));
    }

    void handlerWritesEachMessage()
    {
        qDebug() << "debug-marker-1";
        qWarning() << "warning-marker-2";
        const QStringList lines = logLines();
        QVERIFY(lines.size() >= 2);
        const QString debugLine = lines[lines.size() - 2];
        const QString warningLine = lines.last();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\[D\\]: \\(.*handlerWritesEachMessage.*\\): "
                                                   "debug-marker-1$"))
                     .match(debugLine)
                     .hasMatch(),
            qPrintable(debugLine));
        QVERIFY2(!debugLine.contains(QLatin1String("tst_errorlogger.cpp")), "debug lines carry only the function");
        QVERIFY2(warningLine.contains(QLatin1String(" [W]: ("))
                && warningLine.contains(QLatin1String("tst_errorlogger.cpp:"))
                && warningLine.endsWith(QLatin1String("warning-marker-2")),
            qPrintable(warningLine));
    }

    void criticalMessagesQueueInOneDialog()
    {
        ErrorLogger* logger = ErrorLogger::instance();
        QVERIFY(!logger->isVisible());
        qCritical() << "first";
        qCritical() << "second";
        qCritical() << "third";
        QVERIFY(logger->isVisible());
        QVERIFY(logger->currentMessage().contains(QLatin1String("<p><b>Critical Error:</b></p>first")));
        QCOMPARE(logger->pendingCount(), 2);

        pressOk(logger);
        QVERIFY(logger->isVisible());
        QVERIFY(logger->currentMessage().endsWith(QLatin1String("second")));
        pressOk(logger);
        QVERIFY(logger->currentMessage().endsWith(QLatin1String("third")));
        QVERIFY(logger->isVisible());
        pressOk(logger);
        QVERIFY(!logger->isVisible());
        QCOMPARE(logger->pendingCount(), 0);
    }

    void emptyMessageIsLoggedButNeverShown()
    {
        ErrorLogger* logger = ErrorLogger::instance();
        qCritical("%s", "");
        const QString line = logLines().last();
        QVERIFY2(line.contains(QLatin1String(" [C]: (")) && line.contains(QLatin1String("emptyMessageIsLogged")),
            qPrintable(line));
        QCoreApplication::processEvents();
        QVERIFY(!logger->isVisible());
        QCOMPARE(logger->pendingCount(), 0);

        logger->showMessage(QString());
        QVERIFY(!logger->isVisible());
        QCOMPARE(logger->pendingCount(), 0);

        // An empty message queued behind a real one is skipped on OK.
        logger->showMessage(QStringLiteral("real"));
        logger->showMessage(QString());
        QVERIFY(logger->isVisible());
        pressOk(logger);
        QVERIFY(!logger->isVisible());
    }

    void criticalFromWorkerThread()
    {
        ErrorLogger* logger = ErrorLogger::instance();
        QThread* worker = QThread::create([] { qCritical() << "from-worker"; });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;

        // Written to the file by the worker itself, before the main thread ran.
        QVERIFY(logLines().last().endsWith(QLatin1String("from-worker")));
        QVERIFY(logLines().last().contains(QLatin1String(" [C]: (")));
        QVERIFY(!logger->isVisible());
        QTRY_VERIFY(logger->isVisible());
        QVERIFY(logger->currentMessage().endsWith(QLatin1String("from-worker")));
        pressOk(logger);
        QVERIFY(!logger->isVisible());
    }

    void concurrentLinesNeverMix()
    {
        const int threads = 4;
        const int perThread = 200;
        QList<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers.append(QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    qDebug().noquote() << QStringLiteral("mix-%1-%2-").arg(t).arg(i) + QString(80, QLatin1Char('x'));
            }));
            workers.last()->start();
        }
        for (QThread* w : workers) {
            QVERIFY(w->wait(20000));
            delete w;
        }
        int seen = 0;
        const QRegularExpression whole(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\[D\\]: \\(.*concurrentLinesNeverMix.*\\): mix-\\d-\\d+-x{80}$"));
        for (const QString& line : logLines()) {
            if (!line.contains(QLatin1String("mix-")))
                continue;
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
            ++seen;
        }
        QCOMPARE(seen, threads * perThread);
    }

    void fatalEndsWithExitCodeOneAfterOk()
    {
        // The child logs into a data folder of its own.
        const QString childData = Emulsa::Test::makeTempFolder(QStringLiteral("fatal-child"));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("EMULSA_FATAL_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), childData);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(child.readAllStandardOutput().contains("dialog-was-shown"), "the fatal message reached the dialog");
        const QStringList logs
            = QDir(childData + QStringLiteral("/Emulsa/logs")).entryList({ QStringLiteral("*.log") });
        QCOMPARE(logs.size(), 1);
        QFile log(childData + QStringLiteral("/Emulsa/logs/") + logs.first());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("[F]: ("));
    }
};

// The child process of the fatal test: logs a fatal message, presses OK once
// the dialog shows it, and must end with exit code 1.
static int fatalChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    ErrorLogger* logger = ErrorLogger::instance();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [logger] {
        if (logger->isVisible() && logger->currentMessage().contains(QLatin1String("Fatal Error:"))) {
            std::printf("dialog-was-shown\n");
            std::fflush(stdout);
            logger->findChild<QPushButton*>()->click();
        }
    });
    poll.start(50);
    QTimer::singleShot(0, [] { qFatal("fatal-marker"); });
    app.exec();
    return 0; // not reached: acknowledging a fatal message ends the process
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("EMULSA_FATAL_CHILD"))
        return fatalChild(argc, argv); // user folders come from the parent test
    Emulsa::Test::isolateUserFolders();
    QApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    ErrorLoggerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorlogger.moc"
