#pragma once

#include <QString>
#include <QtTest/QtTest>

namespace Emulsa::Test {

// Points HOME and the XDG user folders at a fresh temporary folder, so that
// no test ever reads or writes the real user's data, settings or cache.
// Call before the application object exists. Returns the temporary root.
QString isolateUserFolders();

// Sets the application identity the program itself uses.
void setApplicationIdentity();

// Points PROGRAMDATA at the build tree's film data (stocks, grain, camera
// catalogue, example presets) and forgets the paths read before; false, with
// the reason in `why`, when the folder is missing (a test run outside CTest).
bool useBuildFilmData(QString* why);

// A fresh empty temporary folder that lives until the process ends.
QString makeTempFolder(const QString& name);

} // namespace Emulsa::Test

// Test entry point: isolated user folders, a QApplication (widgets and OpenGL
// work under a display), the application identity and the resources.
#define EMULSA_TEST_MAIN(TestClass)                                                                                    \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        Emulsa::Test::isolateUserFolders();                                                                            \
        QApplication app(argc, argv);                                                                                  \
        Emulsa::Test::setApplicationIdentity();                                                                        \
        TestClass test;                                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
