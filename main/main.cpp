#include "app/MessageLog.h"
#include "app/StartupChecks.h"
#include "resources/Resources.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/ErrorDialog.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// --help and --version are answered before the application object exists:
// they need no display (the manual page is made from them at build time).
bool answeredFromCommandLine(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("emulsa %s\n", EMULSA_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: emulsa [options] [PROJECT.empf]\n"
                        "\n"
                        "Film-emulation colour grading of video clips. Browse camera footage,\n"
                        "gather clips into a sequence, grade each with a film stock's look, play\n"
                        "the graded clip with its sound and render it to a movie or a TIFF\n"
                        "sequence.\n"
                        "\n"
                        "With PROJECT.empf the project is opened; without it the last session\n"
                        "(the autosaved project) comes back.\n"
                        "\n"
                        "Options:\n"
                        "  -h, --help     Print this text and exit.\n"
                        "      --version  Print the version and exit.\n"
                        "\n"
                        "Film data comes from the data folder next to the program\n"
                        "(<bindir>/../share/Quillmoor), or from $PROGRAMDATA/Quillmoor when\n"
                        "PROGRAMDATA is set. Projects are autosaved; presets and the log live in\n"
                        "the user's data folder. Clips are rendered from the command line with\n"
                        "emulsa-render(1).\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (answeredFromCommandLine(argc, argv))
        return 0;
    QApplication app(argc, argv);

    QApplication::setOrganizationDomain(QStringLiteral("QLM"));
    QApplication::setApplicationName(QStringLiteral("Emulsa"));
    QApplication::setApplicationVersion(QStringLiteral(EMULSA_VERSION));

    Emulsa::MessageLog* log = Emulsa::MessageLog::instance();
    // Lives as long as the application object: messages logged while the
    // application winds down still reach the log file, only no longer a dialog.
    Emulsa::ErrorDialog errorDialog(log);
    Emulsa::initResources();

    const QString failure = Emulsa::runStartupChecks();
    if (!failure.isEmpty())
        return Emulsa::startupFailureExit(failure);

    // FFmpeg needs no registration since 4.0; the media framework is FFmpeg
    // on this platform, so there is nothing to start or stop around the loop.
    int code = 0;
    {
        Emulsa::ApplicationAssembly assembly;
        assembly.start();
        code = app.exec();
        assembly.teardown();
    }
    return code;
}
