#include "core/grade/ConversionPass.h"

#include <QMatrix4x4>
#include <QOpenGLShaderProgram>

namespace Emulsa {

namespace {

// The converter keeps texture row 0 at the bottom (no flip).
const float kTextureCoordinates[12] = { 0.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f };

const char* const kConversionNames[4] = { "convertLimitedYUY2toComputerRGB", "convertComputerRGBToLimitedYUY2",
    "convertFullYUY2toComputerRGB", "convertComputerRGBToFullYUY2" };

} // namespace

bool ConversionPass::build()
{
    return m_pass.build("CC", QStringLiteral(":/quad.v.glsl"), QStringLiteral(":/colorConverter.f.glsl"));
}

bool ConversionPass::resolveLocations()
{
    return m_pass.resolveLocations();
}

bool ConversionPass::buildVertexArray()
{
    return m_pass.buildVertexArray(m_gl, kTextureCoordinates, false);
}

bool ConversionPass::resolveSubroutines()
{
    return GLSupport::resolveSubroutines(
        m_gl, m_pass.program()->programId(), kConversionNames, 4, "convertColour", m_indices, &m_subroutineCount);
}

void ConversionPass::prepare(Conversion conversion, const QMatrix4x4& matrix)
{
    m_pass.bind(matrix);
    GLSupport::useSubroutine(m_gl, m_indices[conversion], m_subroutineCount);
}

void ConversionPass::finish()
{
    m_pass.release();
}

void ConversionPass::destroy()
{
    m_pass.destroy();
}

} // namespace Emulsa
