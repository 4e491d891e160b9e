#pragma once

#include "core/grade/GLSupport.h"

class QMatrix4x4;

namespace Emulsa {

// The colour-converter ("CC") program: packed YUY2 frames to RGB and back,
// in the limited and the full range, with its vertex array (texture row 0 at
// the bottom: no flip). GL thread only.
class ConversionPass
{
public:
    // The conversions, in the order of the processor's pass modes 2 to 5.
    enum Conversion
    {
        LimitedYuy2ToRgb = 0,
        RgbToLimitedYuy2 = 1,
        FullYuy2ToRgb = 2,
        RgbToFullYuy2 = 3
    };

    ConversionPass() = default;
    ConversionPass(const ConversionPass&) = delete;
    ConversionPass& operator=(const ConversionPass&) = delete;

    void setFunctions(QOpenGLFunctions_4_0_Core* gl) { m_gl = gl; }

    // The set-up steps.
    bool build();
    bool resolveLocations();
    bool buildVertexArray();
    bool resolveSubroutines();

    // Binds the program and its array with the projection and conversion set;
    // the owner draws, then calls finish().
    void prepare(Conversion conversion, const QMatrix4x4& matrix);
    void finish();

    void destroy();

private:
    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    GLSupport::PassProgram m_pass { { "inVertexPos", "inTextCoordinate", "uniMatrix" } };
    GLuint m_indices[4] = { 0, 0, 0, 0 };
    GLint m_subroutineCount = 0;
};

} // namespace Emulsa
