#pragma once

#include <QString>
#include <QtGlobal>

namespace Emulsa::Test {

// A small film-data folder built for grading tests, so they need no
// generated data: a camera catalogue with the profile "OT01", profile stock
// tables for "5207" and "KodakTriX", the three raw grain images and grain
// curves for both stocks, plus a pair of exposure conversion files.
//
// install() writes it under a fresh temporary folder, points PROGRAMDATA at
// it and clears the cached paths. Call it before anything asks the film,
// grain or exposure libraries for data (they cache what they read).
class FilmDataFixture
{
public:
    static QString install();

    // Profile id of "OT01" (ClipSettings' default source type).
    static quint32 profileId();

    // The colour transform the fixture's stock tables hold, sampled at the
    // 64^3 grid: a smooth change of hue, saturation and lightness.
    static void stockTransform(float r, float g, float b, float out[3]);
    // Grain response of the fixture curves at entry i (0..255), channel c.
    static float grainResponse(int i, int c);
};

} // namespace Emulsa::Test
