#pragma once

#include "core/ClipSettings.h"
#include "core/FitMethod.h"
#include "media/render/ChunkPlan.h"
#include "media/source/HardwareDecoding.h"

#include <QSize>
#include <QString>
#include <QStringList>

class QCoreApplication;

namespace Emulsa::RenderTool {

// A frame position given on the command line: a frame number, or seconds
// ("2.5s"), resolved against a clip's frame rate.
struct Position
{
    bool set = false;
    bool seconds = false;
    double value = 0.0;

    // The frame index at the given rate (num / den).
    quint32 frame(quint32 rateNum, quint32 rateDen) const;
    static bool parse(const QString& text, Position* position);
};

// Everything the command line asks for.
struct RenderOptions
{
    QStringList clips;
    // A saved project whose clips are rendered, each with its own grade and
    // in and out points, instead of the clips and grade options.
    QString projectFile;
    QString outputFolder;
    int format = 0;
    bool sourceSize = true;
    QSize size;
    FitMethod fit = FitWidth;
    bool overwrite = false;
    // The TIFF menus' indices (TiffOptions).
    int tiffDepth = 0;
    int tiffCompression = 0;
    int tiffAlpha = 0;
    Position in;
    Position out;
    ClipSettings grade;
    // As typed: resolved against the film data by resolveGrade().
    QString profileText = QStringLiteral("OT01");
    QString stockText = QStringLiteral("5207");
    bool quiet = false;
    bool verbose = false;
    // --hw-decode: how clips are decoded; unset leaves EMULSA_HW_DECODE's
    // choice.
    std::optional<HardwareDecodingMode> hwDecode;
    // A saved look to start from: a preset of the user's store
    // ("GROUP/NAME" or a NAME found in one group only), or a preset of a file.
    QString preset;
    QString presetFile;
    QString presetName;
    // Render a preset or a project's clip whose grade could not be read
    // whole, with default values where it was lost, instead of refusing it.
    bool acceptDefaults = false;

    // Write the grade as a .cube LUT of this many points a side to this
    // file (before any clip is rendered).
    QString exportCube;
    int cubeSize = 33;

    // The part of the job this task renders (--chunk K/N or auto): image
    // sequences by frame range over all the clips, written in place; movies
    // by clip.
    bool chunked = false;
    ChunkPlan::Chunk chunk;
    // Print what each of this many parts would render, and render nothing.
    int listChunks = 0;
    // Movies by frame range too: each part renders its frames of a clip as
    // an intra-frame movie, for --assemble to join (Intermediates).
    bool intermediate = false;
    // Join the intermediate movies in this output folder, and render nothing.
    QString assembleFolder;

    // What to print instead of rendering.
    bool listStocks = false;
    bool listProfiles = false;
    bool listGauges = false;
};

// Parses the arguments. On failure returns false with the message to print
// in *error; on --help or --version returns false with *exitNow set and the
// text in *error. "--chunk auto" reads the scheduler's variables from
// `environment`.
bool parseRenderOptions(const QStringList& arguments, RenderOptions* options, QString* error, bool* exitNow,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// The long --help text.
QString renderHelpText();

// Checks the grade against the installed film data: the camera profile must
// be in the catalogue and installed, the stock known (by code or display
// name; the code is stored). On failure *error lists the valid choices.
bool resolveGrade(const QString& profileText, const QString& stockText, ClipSettings* grade, QString* error);

// The valid stocks ("code  display name" lines) and camera profiles
// ("id  manufacturer  model  name" lines, installed ones only unless `all`).
QStringList stockLines();
QStringList profileLines(bool all = false);

} // namespace Emulsa::RenderTool
