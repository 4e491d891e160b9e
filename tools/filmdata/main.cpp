// emulsa-filmdata: writes the film data folder (camera catalogue, stock
// tables, grain, exposure conversion, placeholders, example presets), extra
// camera profiles and their download archives, ".cube" exports and a contact
// sheet of every stock.

#include "Artwork.h"
#include "DataWriter.h"
#include "core/filmdata/CameraEncoding.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <cstdio>

using namespace Emulsa::FilmData;

int main(int argc, char** argv)
{
    // Text is drawn into images only; no window system is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName("emulsa-filmdata");
    QGuiApplication::setApplicationVersion(EMULSA_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Generates Emulsa's film data folder.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption out("out", "Data folder to write (the data root).", "folder");
    const QCommandLineOption profile("profile",
        "Write the stock tables of this camera profile id (repeatable), or \"all\" for every profile; "
        "without --default only these are written.",
        "id");
    const QCommandLineOption defaults("default", "Write the default data set (the default without --profile).");
    const QCommandLineOption zip("zip", "Also pack each --profile as <tin>.zip in this folder.", "folder");
    const QCommandLineOption cube("cube", "Export one profile-and-stock table as a .cube file to this path.", "file");
    const QCommandLineOption cubeProfile(
        "cube-profile", "Profile id of the --cube export (default OT01).", "id", "OT01");
    const QCommandLineOption cubeStock("cube-stock", "Stock code of the --cube export (default 5207).", "code", "5207");
    const QCommandLineOption sheet("contact-sheet", "Write a contact sheet of every stock to this image file.", "file");
    const QCommandLineOption sheetProfile(
        "sheet-profile", "Profile id of the contact sheet (default OT01).", "id", "OT01");
    const QCommandLineOption threads("threads", "Worker threads (default: the processor count).", "n");
    const QCommandLineOption listProfiles("list-profiles", "Print the catalogue's profile ids and exit.");
    parser.addOptions(
        { out, profile, defaults, zip, cube, cubeProfile, cubeStock, sheet, sheetProfile, threads, listProfiles });
    parser.process(app);

    if (parser.isSet(listProfiles)) {
        for (const CameraProfile& p : CameraEncoding::profiles())
            std::printf("%s  %s  %s %s\n", p.id, p.tin, p.manufacturer, p.name);
        return 0;
    }
    const int threadCount = parser.isSet(threads) ? parser.value(threads).toInt() : QThread::idealThreadCount();
    QElapsedTimer timer;
    timer.start();
    bool ok = true;
    bool didSomething = false;

    if (parser.isSet(cube)) {
        didSomething = true;
        ok = DataWriter::writeCube(parser.value(cubeProfile), parser.value(cubeStock), parser.value(cube)) && ok;
    }
    if (parser.isSet(sheet)) {
        didSomething = true;
        const CameraProfile* p = CameraEncoding::find(parser.value(sheetProfile).toLatin1().constData());
        if (!p) {
            std::fprintf(stderr, "emulsa-filmdata: unknown profile %s\n", qPrintable(parser.value(sheetProfile)));
            ok = false;
        } else {
            ok = Artwork::contactSheet(*p, 384, threadCount).save(parser.value(sheet)) && ok;
        }
    }
    if ((parser.isSet(profile) || parser.isSet(zip) || parser.isSet(defaults)) && !parser.isSet(out)) {
        std::fprintf(stderr, "emulsa-filmdata: --profile, --zip and --default need --out\n");
        return 1;
    }
    if (parser.isSet(out)) {
        DataWriter writer(parser.value(out), threadCount);
        QStringList ids = parser.values(profile);
        if (ids.contains("all")) {
            ids.clear();
            for (const CameraProfile& p : CameraEncoding::profiles())
                ids << p.id;
        }
        if (ids.isEmpty() || parser.isSet(defaults)) {
            didSomething = true;
            ok = writer.writeDefaultSet() && ok;
        }
        for (const QString& id : ids) {
            didSomething = true;
            ok = writer.writeProfile(id, parser.isSet(zip), parser.value(zip)) && ok;
        }
    }
    if (!didSomething) {
        parser.showHelp(1);
    }
    std::printf(
        "emulsa-filmdata: %s in %.1f s (%d threads)\n", ok ? "done" : "FAILED", timer.elapsed() / 1000.0, threadCount);
    return ok ? 0 : 1;
}
