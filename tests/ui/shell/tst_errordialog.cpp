#include "common/FatalChild.h"
#include "common/TestEnvironment.h"

#include "app/MessageLog.h"
#include "app/StartupChecks.h"
#include "ui/shell/ErrorDialog.h"
#include "ui/shell/ErrorDialogTextView.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <memory>

using Emulsa::ErrorDialog;
using Emulsa::MessageLog;

namespace {

void pressOk(ErrorDialog* dialog)
{
    auto* ok = dialog->findChild<QPushButton*>();
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
}

QString shownText(ErrorDialog* dialog)
{
    auto* view = dialog->findChild<Emulsa::ErrorDialogTextView*>();
    return view ? view->toPlainText() : QString();
}

} // namespace

class ErrorDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Replaces the test library's message handler with the log's.
        MessageLog::instance();
        QVERIFY(MessageLog::canShowDialogs());
    }

    void messageQueuedBeforeTheDialogShowsOnCreation()
    {
        qCritical() << "early";
        QVERIFY(MessageLog::instance()->isShowing());
        m_dialog = std::make_unique<ErrorDialog>(MessageLog::instance());
        QVERIFY(MessageLog::instance()->hasViewer());
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_dialog->windowTitle(), QCoreApplication::applicationName());
        QCOMPARE(shownText(m_dialog.get()), QStringLiteral("Critical Error:\nearly"));
        pressOk(m_dialog.get());
        QVERIFY(!m_dialog->isVisible());
    }

    void criticalMessagesQueueInOneDialog()
    {
        MessageLog* log = MessageLog::instance();
        QVERIFY(!m_dialog->isVisible());
        qCritical() << "first";
        qCritical() << "second";
        qCritical() << "third";
        QVERIFY(m_dialog->isVisible());
        QVERIFY(shownText(m_dialog.get()).endsWith(QLatin1String("first")));
        QCOMPARE(log->pendingCount(), 2);

        for (const char* next : { "second", "third" }) {
            pressOk(m_dialog.get());
            QVERIFY(m_dialog->isVisible());
            QVERIFY2(shownText(m_dialog.get()).endsWith(QLatin1String(next)), qPrintable(shownText(m_dialog.get())));
        }
        pressOk(m_dialog.get());
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(!log->isShowing());
        QCOMPARE(log->pendingCount(), 0);
    }

    void emptyMessageNeverShowsTheDialog()
    {
        MessageLog* log = MessageLog::instance();
        qCritical("%s", "");
        QCoreApplication::processEvents();
        QVERIFY(!m_dialog->isVisible());

        // An empty message queued behind a real one is skipped on OK.
        log->showMessage(QStringLiteral("real"));
        log->showMessage(QString());
        QVERIFY(m_dialog->isVisible());
        pressOk(m_dialog.get());
        QVERIFY(!m_dialog->isVisible());
    }

    void escapeAcknowledgesLikeOk()
    {
        MessageLog* log = MessageLog::instance();
        log->showMessage(QStringLiteral("one"));
        log->showMessage(QStringLiteral("two"));
        m_dialog->reject();
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(shownText(m_dialog.get()), QStringLiteral("two"));
        m_dialog->reject();
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(!log->isShowing());
    }

    void criticalFromWorkerThread()
    {
        QThread* worker = QThread::create([] { qCritical() << "from-worker"; });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;

        QVERIFY(!m_dialog->isVisible());
        QTRY_VERIFY(m_dialog->isVisible());
        QVERIFY(shownText(m_dialog.get()).endsWith(QLatin1String("from-worker")));
        pressOk(m_dialog.get());
        QVERIFY(!m_dialog->isVisible());
    }

    void startupFailureWaitsForOk()
    {
        QStringList seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (m_dialog->isVisible()) {
                seen << shownText(m_dialog.get());
                pressOk(m_dialog.get());
            }
        });
        poll.start(20);
        QCOMPARE(Emulsa::startupFailureExit(QString::fromLatin1(Emulsa::kRequirementsMessage)), -1);
        poll.stop();
        // The call came back only after the one message was acknowledged.
        QCOMPARE(seen,
            QStringList { QStringLiteral("Critical Error:\n") + QString::fromLatin1(Emulsa::kRequirementsMessage) });
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(!MessageLog::instance()->isShowing());
    }

    void fatalEndsWithExitCodeOneAfterOk()
    {
        // The child logs into a data folder of its own.
        const Emulsa::Test::FatalChildRun run = Emulsa::Test::runFatalChild(QStringLiteral("fatal-child"));
        QVERIFY(run.finished);
        QVERIFY(run.normalExit);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.standardOutput.contains("dialog-was-shown"), "the fatal message reached the dialog");
        QCOMPARE(run.logFiles, 1);
        QVERIFY(run.firstLog.contains("[F]: ("));
    }

    void cleanupTestCase()
    {
        m_dialog.reset();
        QVERIFY(!MessageLog::instance()->hasViewer());
    }

private:
    std::unique_ptr<ErrorDialog> m_dialog;
};

// The child process of the fatal test: logs a fatal message, presses OK once
// the dialog shows it, and must end with exit code 1.
static int fatalChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    ErrorDialog dialog(MessageLog::instance());
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&dialog] {
        if (dialog.isVisible() && shownText(&dialog).contains(QLatin1String("Fatal Error:"))) {
            std::printf("dialog-was-shown\n");
            std::fflush(stdout);
            dialog.findChild<QPushButton*>()->click();
        }
    });
    poll.start(50);
    QTimer::singleShot(0, [] { qFatal("fatal-marker"); });
    app.exec();
    return 0; // not reached: acknowledging a fatal message ends the process
}

EMULSA_FATAL_CHILD_TEST_MAIN(ErrorDialogTest, QApplication, fatalChild)

#include "tst_errordialog.moc"
