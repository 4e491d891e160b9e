#pragma once

#include <QByteArray>
#include <QString>

namespace Emulsa::Test {

// What a run of the test program as its own fatal child ended with: the
// program started again with EMULSA_FATAL_CHILD set (its main() then logs a
// fatal message) and its user data in a fresh folder.
struct FatalChildRun
{
    bool finished = false;
    bool normalExit = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    // The log files the child wrote, and the first one's contents.
    int logFiles = 0;
    QByteArray firstLog;
};

// Runs the child (at most 30 s), its data folder named after `folderName`.
FatalChildRun runFatalChild(const QString& folderName);

} // namespace Emulsa::Test

// Entry point of a test program that is also its own fatal child: with
// EMULSA_FATAL_CHILD set it runs `childMain` (the user folders come from the
// parent test), otherwise the tests under an `ApplicationClass` application
// with isolated user folders and the application identity.
#define EMULSA_FATAL_CHILD_TEST_MAIN(TestClass, ApplicationClass, childMain)                                           \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        if (qEnvironmentVariableIsSet("EMULSA_FATAL_CHILD"))                                                           \
            return childMain(argc, argv);                                                                              \
        Emulsa::Test::isolateUserFolders();                                                                            \
        ApplicationClass app(argc, argv);                                                                              \
        Emulsa::Test::setApplicationIdentity();                                                                        \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
