#include "common/TestEnvironment.h"

#include "app/RenderCrashLog.h"
#include "app/RenderManager.h"
#include "core/ClipSettings.h"
#include "media/clip/SequenceItem.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

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

// Recurses until the stack runs out (the limit is never reached; it only
// keeps the compiler from seeing an endless recursion).
__attribute__((noinline, no_sanitize("address", "undefined"))) int overflow(int depth, int limit)
{
    volatile char frame[4096];
    frame[0] = char(depth);
    frame[1] = 0;
    if (depth < limit)
        frame[1] = char(overflow(depth + 1, limit));
    return frame[0] + frame[1];
}

// A handler of the child's own, there before any render: it writes its own
// line to the log and ends the process with the signal.
int earlierLog = -1;
const char earlierLine[] = "earlier handler\n";
void earlierHandler(int signal)
{
    if (::write(earlierLog, earlierLine, sizeof earlierLine - 1) < 0) {
        // Nothing to do about it in a handler.
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void crash(const QByteArray& how, int argc)
{
    if (how.endsWith("fault")) {
        writeThrough(reinterpret_cast<volatile int*>(std::uintptr_t(argc - 4)));
    } else if (how.endsWith("overflow")) {
        overflow(0, INT_MAX - argc);
    } else if (how == "abort") {
        std::abort();
    } else {
        std::raise(std::atoi(how.constData()));
    }
}

// A render of one clip without a media file on a render thread, as the render
// queue runs it; `during` is called on that thread while the clip is failed.
template<typename Call> void renderOnThread(Call during)
{
    auto* items = new QList<const SequenceItem*>;
    ClipSettings settings;
    const SequenceItem item(nullptr, &settings, 0, 10);
    items->append(item.snapshot());
    QString destination = QDir::tempPath();
    t_OutputSettings output;
    output.destination = &destination;
    RenderManager manager(items, output, nullptr);
    QThread thread;
    manager.moveToThread(&thread);
    QObject::connect(&manager, &RenderManager::singleItemFailed, &manager, during, Qt::DirectConnection);
    QObject::connect(&thread, &QThread::started, &manager, &RenderManager::run);
    QObject::connect(&manager, &RenderManager::finishedAll, &thread, &QThread::quit, Qt::DirectConnection);
    thread.start();
    thread.wait();
}

// The child: installs the handler, then dies the way it was told to. "render
// ..." crashes inside a render on the render thread, "after ..." once the
// render or the handler's scope has ended, with a handler of its own there
// from before.
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
    QCoreApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    if (RenderCrashLog::defaultLogPath() != log)
        return 5;

    if (how.startsWith("render ")) {
        renderOnThread([&] { crash(how, argc); });
        return 4;
    }
    if (how.startsWith("after ")) {
        earlierLog = ::open(argv[3], O_WRONLY | O_APPEND | O_CLOEXEC);
        for (const int signal : { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT })
            std::signal(signal, earlierHandler);
        if (how.startsWith("after render ")) {
            renderOnThread([] {});
        } else {
            const RenderCrashLog::Scope scope(log);
            if (!scope.isActive() || !RenderCrashLog::isInstalled())
                return 3;
        }
        crash(how, argc);
        return 4;
    }

    // Scopes nest: the handler stays until the outer one ends.
    const RenderCrashLog::Scope scope(log);
    {
        const RenderCrashLog::Scope inner(log);
        if (!scope.isActive() || !inner.isActive())
            return 3;
    }
    if (!RenderCrashLog::isInstalled())
        return 3;
    crash(how, argc);
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
        QTest::addColumn<QString>("logged");
        const QString render = RenderCrashLog::lineFor(SIGSEGV);
        const QString earlier = QStringLiteral("earlier handler");
        QTest::newRow("invalid write") << QByteArray("fault") << int(SIGSEGV) << render;
        QTest::newRow("stack overflow") << QByteArray("overflow") << int(SIGSEGV) << render;
        QTest::newRow("render thread: invalid write") << QByteArray("render fault") << int(SIGSEGV) << render;
        QTest::newRow("render thread: stack overflow") << QByteArray("render overflow") << int(SIGSEGV) << render;
        QTest::newRow("after a render: invalid write") << QByteArray("after render fault") << int(SIGSEGV) << earlier;
        QTest::newRow("after the handler's scope") << QByteArray("after scope fault") << int(SIGSEGV) << earlier;
        QTest::newRow("SIGSEGV raised") << QByteArray::number(SIGSEGV) << int(SIGSEGV)
                                        << RenderCrashLog::lineFor(SIGSEGV);
        QTest::newRow("SIGBUS") << QByteArray::number(SIGBUS) << int(SIGBUS) << RenderCrashLog::lineFor(SIGBUS);
        QTest::newRow("SIGFPE") << QByteArray::number(SIGFPE) << int(SIGFPE) << RenderCrashLog::lineFor(SIGFPE);
        QTest::newRow("SIGILL") << QByteArray::number(SIGILL) << int(SIGILL) << RenderCrashLog::lineFor(SIGILL);
        QTest::newRow("abort") << QByteArray("abort") << int(SIGABRT) << RenderCrashLog::lineFor(SIGABRT);
        QTest::newRow("SIGTERM left alone") << QByteArray::number(SIGTERM) << int(SIGTERM) << QString();
        QTest::newRow("SIGINT left alone") << QByteArray::number(SIGINT) << int(SIGINT) << QString();
    }

    void childDiesOfItsSignal()
    {
        QFETCH(QByteArray, how);
        QFETCH(int, signal);
        QFETCH(QString, logged);
        // The child's user data folder, where its render log goes.
        const QString folder
            = Test::makeTempFolder(QStringLiteral("crash-") + QString::fromLatin1(how).replace(' ', '-'));
        const QString log = folder + "/Emulsa/logs/render-crash.log";
        // Something already in the log stays: the handler appends.
        QVERIFY(QDir().mkpath(folder + "/Emulsa/logs"));
        QFile before(log);
        QVERIFY(before.open(QIODevice::WriteOnly));
        before.write("earlier line\n");
        before.close();

        const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
        const QByteArray logArg = QFile::encodeName(log);
        char* args[] = { const_cast<char*>(program.constData()), const_cast<char*>(childFlag),
            const_cast<char*>(how.constData()), const_cast<char*>(logArg.constData()), nullptr };
        QList<QByteArray> environment { "XDG_DATA_HOME=" + QFile::encodeName(folder) };
        for (char** variable = environ; *variable; ++variable) {
            if (std::strncmp(*variable, "XDG_DATA_HOME=", 14) != 0)
                environment.append(*variable);
        }
        std::vector<char*> envp;
        for (QByteArray& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        pid_t pid = 0;
        QCOMPARE(posix_spawn(&pid, program.constData(), nullptr, nullptr, args, envp.data()), 0);
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY2(WIFSIGNALED(status), qPrintable(QStringLiteral("exit status %1").arg(WEXITSTATUS(status))));
        QCOMPARE(WTERMSIG(status), signal);

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(file.readAll());
        QCOMPARE(text, QStringLiteral("earlier line\n") + (logged.isEmpty() ? QString() : logged + "\n"));
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
