#pragma once

#include <QByteArray>
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

// The bytes of a file, or `unreadable` when it cannot be read (by default
// "<missing>", so that a comparison with any expected content fails).
QByteArray fileBytes(const QString& path, const QByteArray& unreadable = QByteArray("<missing>"));

// Writes `bytes` as the whole file; whether all were written.
bool writeFileBytes(const QString& path, const QByteArray& bytes);

// Makes an empty file (and its folder); its absolute path.
QString touch(const QString& path);

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
