#include "core/grade/ConversionPass.h"

#include "core/grade/GLSupport.h"

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
    return GLSupport::buildProgram(m_program, "CC", QStringLiteral(":/colorConverter.v.glsl"),
        QStringLiteral(":/colorConverter.f.glsl"), "inCCVertexPos", "inCCTextCoordinate");
}

bool ConversionPass::resolveLocations()
{
    QOpenGLShaderProgram* p = m_program.get();
    return GLSupport::resolveAttribute(p, "inCCVertexPos", &m_vertexPos)
        && GLSupport::resolveAttribute(p, "inCCTextCoordinate", &m_textCoordinate)
        && GLSupport::resolveUniform(p, "uniCCMatrix", &m_matrix);
}

bool ConversionPass::buildVertexArray()
{
    return GLSupport::buildVertexArray(m_gl, m_vao, m_vertexBuffer, m_textureBuffer, kTextureCoordinates, false);
}

bool ConversionPass::resolveSubroutines()
{
    return GLSupport::resolveSubroutines(
        m_gl, m_program->programId(), kConversionNames, 4, "convertColour", m_indices, &m_subroutineCount);
}

void ConversionPass::prepare(Conversion conversion, const QMatrix4x4& matrix)
{
    m_program->bind();
    m_vao.bind();
    m_program->setUniformValue(m_matrix, matrix);
    GLSupport::useSubroutine(m_gl, m_indices[conversion], m_subroutineCount);
}

void ConversionPass::finish()
{
    m_vao.release();
    m_program->release();
}

void ConversionPass::destroy()
{
    m_vao.destroy();
    m_vertexBuffer.destroy();
    m_textureBuffer.destroy();
    m_program.reset();
}

} // namespace Emulsa
