#pragma once

#include <QString>

namespace Emulsa {

// How a picture is placed in an output frame of another aspect ratio.
enum FitMethod
{
    FitWidth = 0, // widths match; crop or pad top and bottom
    FitHeight = 1, // heights match; crop or pad left and right
    StretchToFit = 2 // the whole picture, distorted to the output
};

// The label the render settings show, in value order: "Fit width",
// "Fit height", "Stretch to fit". An unknown value gives an empty string.
inline QString fitMethodLabel(int fit)
{
    switch (fit) {
    case FitWidth:
        return QStringLiteral("Fit width");
    case FitHeight:
        return QStringLiteral("Fit height");
    case StretchToFit:
        return QStringLiteral("Stretch to fit");
    default:
        return QString();
    }
}

} // namespace Emulsa
