#pragma once

// What every fuzz target shares: one application object for Qt's text codecs
// and image plug-ins, log lines kept quiet (a hostile file makes the readers
// warn on every run), and user folders in a private temporary home.

#include <QByteArray>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace Emulsa::Fuzz {

inline void quiet(QtMsgType, const QMessageLogContext&, const QString&)
{
}

// Call first in each input: makes the application once.
inline void start()
{
    static std::unique_ptr<QTemporaryDir> home;
    // Never deleted: at exit Qt's own statics may already be gone.
    static QCoreApplication* app = nullptr;
    if (app)
        return;
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", home->path().toUtf8());
    qputenv("XDG_DATA_HOME", (home->path() + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (home->path() + "/cache").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home->path() + "/config").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "emulsa-fuzz";
    static char* argv[] = { name, nullptr };
    app = new QCoreApplication(argc, argv);
    if (qEnvironmentVariableIsEmpty("EMULSA_FUZZ_VERBOSE"))
        qInstallMessageHandler(quiet);
}

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), int(size));
}

} // namespace Emulsa::Fuzz
