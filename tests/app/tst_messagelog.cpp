#include "common/FatalChild.h"
#include "common/TestEnvironment.h"

#include "app/MessageLog.h"
#include "app/StartupChecks.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <memory>

using Emulsa::MessageLog;

namespace {

QStringList logLines()
{
    QFile file(MessageLog::logFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

// The log without any widgets: this program runs a QCoreApplication.
class MessageLogTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { MessageLog::instance(); }

    void fileNameAndHostBlock()
    {
        const QString path = MessageLog::logFilePath();
        const QString minute = QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd-hh.mm"));
        // The minute of the run's start; the test may have crossed into the next.
        QVERIFY2(QRegularExpression(
                     QStringLiteral("/logs/emulsa_pro_standalone_\\d{4}\\.\\d\\d\\.\\d\\d-\\d\\d\\.\\d\\d\\.log$"))
                     .match(path)
                     .hasMatch(),
            qPrintable(path));
        QVERIFY(path.startsWith(MessageLog::logsFolderPath()));
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

    void lineFormats_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("debug") << int(QtDebugMsg) << "hello"
                               << "10:05:07 [D]: (void Foo::bar(int)): hello";
        QTest::newRow("info") << int(QtInfoMsg) << "info"
                              << "10:05:07 [D]: (void Foo::bar(int)): info";
        QTest::newRow("warning") << int(QtWarningMsg) << "w"
                                 << "10:05:07 [W]: (some/file.cpp:42, void Foo::bar(int)): w";
        QTest::newRow("critical") << int(QtCriticalMsg) << "c"
                                  << "10:05:07 [C]: (some/file.cpp:42, void Foo::bar(int)): c";
        QTest::newRow("fatal") << int(QtFatalMsg) << "f"
                               << "10:05:07 [F]: (some/file.cpp:42, void Foo::bar(int)): f";
    }

    void lineFormats()
    {
        QFETCH(int, type);
        QFETCH(QString, message);
        QFETCH(QString, expected);
        QMessageLogContext context("some/file.cpp", 42, "void Foo::bar(int)", "default");
        QCOMPARE(MessageLog::formatLine(QtMsgType(type), context, message, QStringLiteral("10:05:07")), expected);
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
        QVERIFY2(!debugLine.contains(QLatin1String("tst_messagelog.cpp")), "debug lines carry only the function");
        QVERIFY2(warningLine.contains(QLatin1String(" [W]: ("))
                && warningLine.contains(QLatin1String("tst_messagelog.cpp:"))
                && warningLine.endsWith(QLatin1String("warning-marker-2")),
            qPrintable(warningLine));
    }

    void criticalMessagesQueueUntilAcknowledged()
    {
        MessageLog* log = MessageLog::instance();
        QSignalSpy toShow(log, &MessageLog::messageToShow);
        QSignalSpy drained(log, &MessageLog::allAcknowledged);
        QVERIFY(!log->isShowing());
        qCritical() << "first";
        qCritical() << "second";
        qCritical() << "third";
        // One request to show: the later messages wait behind the first.
        QCOMPARE(toShow.count(), 1);
        QVERIFY(log->currentMessage().contains(QLatin1String("<p><b>Critical Error:</b></p>first")));
        QCOMPARE(log->pendingCount(), 2);

        const QStringList next { QStringLiteral("second"), QStringLiteral("third") };
        for (const QString& expected : next) {
            QVERIFY(log->acknowledge());
            QVERIFY2(log->currentMessage().endsWith(expected), qPrintable(log->currentMessage()));
            QCOMPARE(drained.count(), 0);
        }
        QVERIFY(!log->acknowledge());
        QVERIFY(!log->isShowing());
        QCOMPARE(log->pendingCount(), 0);
        QCOMPARE(drained.count(), 1);
        QCOMPARE(toShow.count(), 1);

        // The next message starts a new round.
        log->showMessage(QStringLiteral("again"), QStringLiteral("kind"));
        QCOMPARE(toShow.count(), 2);
        QCOMPARE(log->currentType(), QStringLiteral("kind"));
        QVERIFY(!log->acknowledge());
        QVERIFY(log->currentType().isEmpty());
    }

    void emptyMessageIsLoggedButNeverQueued()
    {
        MessageLog* log = MessageLog::instance();
        QSignalSpy toShow(log, &MessageLog::messageToShow);
        qCritical("%s", "");
        const QString line = logLines().last();
        QVERIFY2(line.contains(QLatin1String(" [C]: (")) && line.contains(QLatin1String("emptyMessageIsLogged")),
            qPrintable(line));
        QCoreApplication::processEvents();
        QVERIFY(!log->isShowing());
        QCOMPARE(log->pendingCount(), 0);

        log->showMessage(QString());
        QVERIFY(!log->isShowing());
        QCOMPARE(log->pendingCount(), 0);
        QCOMPARE(toShow.count(), 0);

        // An empty message queued behind a real one is skipped.
        log->showMessage(QStringLiteral("real"));
        log->showMessage(QString());
        QVERIFY(log->isShowing());
        QCOMPARE(log->pendingCount(), 1);
        QVERIFY(!log->acknowledge());
        QCOMPARE(log->pendingCount(), 0);
    }

    void criticalFromWorkerThread()
    {
        MessageLog* log = MessageLog::instance();
        QThread* worker = QThread::create([] { qCritical() << "from-worker"; });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;

        // Written to the file by the worker itself, queued for the main thread.
        QVERIFY(logLines().last().endsWith(QLatin1String("from-worker")));
        QVERIFY(logLines().last().contains(QLatin1String(" [C]: (")));
        QVERIFY(!log->isShowing());
        QTRY_VERIFY(log->isShowing());
        QVERIFY(log->currentMessage().endsWith(QLatin1String("from-worker")));
        QVERIFY(!log->acknowledge());
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

    void viewerFollowsItsLifetime()
    {
        MessageLog* log = MessageLog::instance();
        QVERIFY(!MessageLog::canShowDialogs()); // no widgets in this process
        QVERIFY(!log->hasViewer());
        auto viewer = std::make_unique<QObject>();
        log->setViewer(viewer.get());
        QVERIFY(log->hasViewer());
        viewer.reset();
        QVERIFY(!log->hasViewer());

        QObject replaced;
        log->setViewer(&replaced);
        log->setViewer(nullptr);
        QVERIFY(!log->hasViewer());
    }

    void startupFailureWithoutViewerReturnsAtOnce()
    {
        MessageLog* log = MessageLog::instance();
        QCOMPARE(Emulsa::startupFailureExit(QStringLiteral("startup-failure-marker")), -1);
        QVERIFY(logLines().last().endsWith(QLatin1String("startup-failure-marker")));
        // Still queued for a viewer, but nobody waited for it.
        QVERIFY(log->currentMessage().endsWith(QLatin1String("startup-failure-marker")));
        QVERIFY(!log->acknowledge());
    }

    void fatalWithoutViewerEndsAtOnce()
    {
        // The child logs into a data folder of its own.
        const Emulsa::Test::FatalChildRun run = Emulsa::Test::runFatalChild(QStringLiteral("fatal-child"));
        QVERIFY(run.finished);
        QVERIFY(run.normalExit);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.standardError.contains("fatal-marker"));
        QCOMPARE(run.logFiles, 1);
        QVERIFY(run.firstLog.contains("[F]: ("));
    }
};

// The child process of the fatal test: no one can acknowledge the message,
// so it goes to standard error and the process ends with exit code 1.
static int fatalChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    MessageLog::instance();
    QTimer::singleShot(0, [] { qFatal("fatal-marker"); });
    app.exec();
    return 0; // not reached
}

EMULSA_FATAL_CHILD_TEST_MAIN(MessageLogTest, QCoreApplication, fatalChild)

#include "tst_messagelog.moc"
