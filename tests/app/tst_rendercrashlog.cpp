#include "common/TestEnvironment.h"

#include "app/RenderCrashLog.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

using namespace Emulsa;

namespace {

const char* const childFlag = "--crash-child";

// A real invalid write, at an address the compiler cannot know. The
// sanitizers would stop the program at the write with their own report; the
// test is about the signal that follows it.
__attribute__((noinline, no_sanitize("address", "undefined"))) void writeThrough(volatile int* pointer)
{
    *pointer = 1;
}

// The child: installs the handler, then dies the way it was told to.
int crashChild(int argc, char** argv)
{
    const QByteArray how = argv[2];
    const QString log = QFile::decodeName(argv[3]);
    struct rlimit noCore = { 0, 0 };
    setrlimit(RLIMIT_CORE, &noCore);
    // Start from the defaults whatever the test runner ignores, so that the
    // interrupt and terminate rows show what the handler leaves alone.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (!RenderCrashLog::install(log) || !RenderCrashLog::install(log))
        return 3;
    if (how == "fault") {
        writeThrough(reinterpret_cast<volatile int*>(std::uintptr_t(argc - 4)));
    } else if (how == "abort") {
        std::abort();
    } else {
        std::raise(std::atoi(how.constData()));
    }
    return 4;
}

} // namespace

// The render worker's crash log, in a child process that crashes on purpose:
// the prepared line reaches the log and the child still dies of its signal.
class RenderCrashLogTest : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("line");
        const QString prefix = QStringLiteral("Render Manager Handler: Caught signal: ");
        QTest::newRow("SIGSEGV") << int(SIGSEGV) << prefix + "SIGSEGV";
        QTest::newRow("SIGBUS") << int(SIGBUS) << prefix + "SIGBUS";
        QTest::newRow("SIGFPE") << int(SIGFPE) << prefix + "SIGFPE";
        QTest::newRow("SIGILL") << int(SIGILL) << prefix + "SIGILL";
        QTest::newRow("SIGABRT") << int(SIGABRT) << prefix + "SIGABRT";
        QTest::newRow("SIGINT") << int(SIGINT) << QString();
        QTest::newRow("SIGTERM") << int(SIGTERM) << QString();
    }

    void lines()
    {
        QFETCH(int, signal);
        QFETCH(QString, line);
        QCOMPARE(RenderCrashLog::lineFor(signal), line);
    }

    void childDiesOfItsSignal_data()
    {
        QTest::addColumn<QByteArray>("how");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("logged");
        QTest::newRow("invalid write") << QByteArray("fault") << int(SIGSEGV) << true;
        QTest::newRow("SIGSEGV raised") << QByteArray::number(SIGSEGV) << int(SIGSEGV) << true;
        QTest::newRow("SIGBUS") << QByteArray::number(SIGBUS) << int(SIGBUS) << true;
        QTest::newRow("SIGFPE") << QByteArray::number(SIGFPE) << int(SIGFPE) << true;
        QTest::newRow("SIGILL") << QByteArray::number(SIGILL) << int(SIGILL) << true;
        QTest::newRow("abort") << QByteArray("abort") << int(SIGABRT) << true;
        QTest::newRow("SIGTERM left alone") << QByteArray::number(SIGTERM) << int(SIGTERM) << false;
        QTest::newRow("SIGINT left alone") << QByteArray::number(SIGINT) << int(SIGINT) << false;
    }

    void childDiesOfItsSignal()
    {
        QFETCH(QByteArray, how);
        QFETCH(int, signal);
        QFETCH(bool, logged);
        const QString folder = Test::makeTempFolder(QStringLiteral("crash-") + QString::fromLatin1(how));
        const QString log = folder + "/logs/render-crash.log";
        // Something already in the log stays: the handler appends.
        QVERIFY(QDir().mkpath(folder + "/logs"));
        QFile before(log);
        QVERIFY(before.open(QIODevice::WriteOnly));
        before.write("earlier line\n");
        before.close();

        const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
        const QByteArray logArg = QFile::encodeName(log);
        char* args[] = { const_cast<char*>(program.constData()), const_cast<char*>(childFlag),
            const_cast<char*>(how.constData()), const_cast<char*>(logArg.constData()), nullptr };
        pid_t pid = 0;
        QCOMPARE(posix_spawn(&pid, program.constData(), nullptr, nullptr, args, environ), 0);
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY2(WIFSIGNALED(status), qPrintable(QStringLiteral("exit status %1").arg(WEXITSTATUS(status))));
        QCOMPARE(WTERMSIG(status), signal);

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(file.readAll());
        const QString line = RenderCrashLog::lineFor(signal);
        QCOMPARE(text, logged ? QStringLiteral("earlier line\n") + line + "\n" : QStringLiteral("earlier line\n"));
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], childFlag) == 0)
        return crashChild(argc, argv);
    Emulsa::Test::isolateUserFolders();
    QApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    RenderCrashLogTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rendercrashlog.moc"
