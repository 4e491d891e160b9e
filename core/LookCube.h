#pragma once

#include "core/ClipSettings.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <vector>

namespace Emulsa {

// A grade baked into a 3D table over the source picture's RGB (the colour
// the grading pass reads, 0..1): everything the grade does to one pixel,
// which is all of it but grain and blur. Written as a .cube file that other
// tools apply: red index fastest, then green, then blue.
struct LookCube
{
    int size = 0;
    QString title;
    std::vector<float> rgb; // size^3 x (R, G, B), 0..1

    // The cube sizes offered.
    static bool isSupportedSize(int size) { return size == 17 || size == 33 || size == 65; }

    // Bakes `grade`. Fails (false, *error set) when the grade's stock table
    // cannot be read for its camera profile, or when `cancel` becomes true.
    // `progress` (may be null) hears the fraction done, from the calling
    // thread.
    static bool bake(const ClipSettings& grade, int size, const QString& title, LookCube* cube, QString* error,
        const std::atomic_bool* cancel = nullptr, const std::function<void(double)>& progress = {});

    // The .cube text: a TITLE line, LUT_3D_SIZE, the domain, then one line
    // of three numbers per entry.
    QByteArray text() const;
    // Writes text() to `path` in one step (a file that was there is replaced
    // only once the new one is complete).
    bool write(const QString& path, QString* error) const;
};

} // namespace Emulsa
