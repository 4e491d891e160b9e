#pragma once

#include "core/filmdata/FilmModel.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace Emulsa {
namespace FilmData {

// Samples the film model into the tables the grade uses.
//
// Profile tables (".tin") are 64 x 64 x 64 RGB floats, red index fastest.
// The grading shader looks a 64-entry axis up at texel centres, so entry i
// holds the rendering of the input (i + 0.5) / 64.
//
// Generic tables (".bin") keep their own identity grid, i * 1024 / 65535, and
// store the rendering minus that grid, red index slowest, blue fastest.
class TableBuilder
{
public:
    static constexpr int kSize = 64;
    static constexpr int kEntries = kSize * kSize * kSize;

    static double profileTableInput(int index) { return (index + 0.5) / kSize; }
    static double genericTableInput(int index) { return index * 1024.0 / 65535.0; }

    static std::vector<float> profileTable(const FilmModel& model);
    static std::vector<float> genericTable(const FilmModel& model);
    // A ".cube" file (LUT_3D_SIZE 64, red fastest) whose lattice point i is
    // the input i / 63, as cube readers expect.
    static QByteArray cubeFile(const FilmModel& model, const QString& title);

    static QByteArray toBytes(const std::vector<float>& values);
};

} // namespace FilmData
} // namespace Emulsa
