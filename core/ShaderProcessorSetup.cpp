// ShaderProcessor: building the GL side (initialize and its steps, each
// handed to the part it concerns).

#include "core/ShaderProcessor.h"

#include "core/GrainLibrary.h"
#include "core/grade/GLSupport.h"

#include <QDebug>
#include <QOpenGLContext>

namespace Emulsa {

bool ShaderProcessor::fail(const char* message)
{
    qWarning().noquote() << "ShaderProcessor:" << message;
    return false;
}

bool ShaderProcessor::initialize(unsigned int sourceWidth, unsigned int sourceHeight, const ClipSettings* settings,
    quint32** histogram, unsigned int width, unsigned int height, FitMethod fit)
{
    if (m_initialized || m_glResolved)
        return fail("initialize may be called only once");

    // 1. Sizes. The grain offset arithmetic divides by half the output size.
    m_sourceWidth = sourceWidth;
    m_sourceHeight = sourceHeight;
    if (width == 0 || height == 0) {
        width = sourceWidth;
        height = sourceHeight;
    }
    if (sourceWidth == 0 || sourceHeight == 0)
        return fail("The source size must not be empty");
    if (width < 2 || height < 2)
        return fail("The output must be at least 2x2 pixels");
    m_outputWidth = width;
    m_outputHeight = height;
    m_grade.setSizes(sourceWidth, width, height);

    // 2. OpenGL functions, on the processor's context.
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (!current || (m_context && current != m_context) || !initializeOpenGLFunctions())
        return fail("Could not initialize shader openGL functions helper");
    m_context = current;
    m_glResolved = true;
    m_programs.setFunctions(functions());
    m_conversion.setFunctions(functions());
    m_blur.setFunctions(functions());
    m_glow.setUp(functions(), m_targetFormats);
    m_histogram.setFunctions(functions());
    m_grade.setFunctions(functions());

    // 3. Programs.
    if (!initializeEMShaderPrograms())
        return fail("Failed to initialize EM shaders program");
    if (!initializeCCShaderPrograms())
        return fail("Failed to initialize CC shaders program");
    if (!initializeBlurShaderPrograms())
        return fail("Failed to initialize Blur shaders program");
    // 4. Variables.
    if (!resolveEMShaderLocations())
        return fail("Failed to resolve EM shader variables location");
    if (!resolveCCShaderLocations())
        return fail("Failed to resolve CC shader variables location");
    if (!resolveBlurShaderLocations())
        return fail("Failed to resolve Blur shader variables location");
    // 5. Vertex arrays.
    if (!initializeEMVAOandVBO(fit))
        return fail("Failed to initialize EM VAO and VBOs");
    if (!initializeCCVAOandVBO())
        return fail("Failed to initialize CC VAO and VBOs");
    if (!initializeBlurVAOandVBO())
        return fail("Failed to initialize Blur VAO and VBOs");
    // 6. Subroutines.
    if (!initializeEMSubroutines())
        return fail("Failed to initialize EM shader Subroutine");
    if (!initializeCCSubroutines())
        return fail("Failed to initialize CC shader Subroutine");
    if (!initializeBlurSubroutines())
        return fail("Failed to initialize Blur shader Subroutine");
    // 7. Grading textures, holding the clip's grain from the start when it
    // has one: a default grain prepared first would be a second grain
    // picture kept for nothing.
    if (settings && GrainLibrary::instance()->getGrainCurve(settings->getStockName()))
        m_grade.chooseGrain(settings->getStockName(), double(settings->getGrainScale()));
    if (!initializeTextures())
        return fail("Failed to initialize shader textures");
    // 8. Blur textures and framebuffer.
    if (!initializeBlurTextures())
        return fail("Failed to initialize Blur textures");
    if (!initializeBlurFBO())
        return fail("Failed to initialize Blur FBO");
    // 9. Histogram.
    if (!initializeHistogramTextureAndFBO())
        return fail("Failed to initialize histogram FBO");

    // 10. The clip's grade and the histogram target. A stock that cannot be
    // applied leaves the neutral grade; gradeApplied() tells the owner.
    if (settings && !applySettings(settings))
        qWarning().noquote() << "ShaderProcessor: The clip's grade could not be applied (stock"
                             << settings->getStockName() << "), grading neutrally";
    m_histogram.setTarget(histogram);
    // The clip's own grade is no edit: its first pass builds its program.
    m_grade.forgetEdit();

    // 11. Whatever the driver still reports.
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        qWarning().noquote() << "ShaderProcessor: Error during initialisation:" << error;
    m_initialized = true;
    return true;
}

bool ShaderProcessor::initializeEMShaderPrograms()
{
    return m_programs.build();
}

bool ShaderProcessor::initializeCCShaderPrograms()
{
    return m_conversion.build();
}

bool ShaderProcessor::initializeBlurShaderPrograms()
{
    return m_blur.build();
}

bool ShaderProcessor::resolveEMShaderLocations()
{
    return m_programs.resolveLocations();
}

bool ShaderProcessor::resolveCCShaderLocations()
{
    return m_conversion.resolveLocations();
}

bool ShaderProcessor::resolveBlurShaderLocations()
{
    return m_blur.resolveLocations();
}

bool ShaderProcessor::initializeEMVAOandVBO(FitMethod fit)
{
    return m_programs.buildVertexArray(
        GradingPrograms::fitTextureCoordinates(fit, m_sourceWidth, m_sourceHeight, m_outputWidth, m_outputHeight));
}

bool ShaderProcessor::initializeCCVAOandVBO()
{
    return m_conversion.buildVertexArray();
}

bool ShaderProcessor::initializeBlurVAOandVBO()
{
    return m_blur.buildVertexArray();
}

bool ShaderProcessor::initializeEMSubroutines()
{
    if (m_programs.built() <= 1)
        debugEMSubroutines();
    return m_programs.resolveSubroutines();
}

bool ShaderProcessor::initializeCCSubroutines()
{
    return m_conversion.resolveSubroutines();
}

bool ShaderProcessor::initializeBlurSubroutines()
{
    return m_blur.resolveSubroutines();
}

void ShaderProcessor::debugEMSubroutines()
{
    GLSupport::logGpuInfo(functions());
}

bool ShaderProcessor::initializeTextures()
{
    return m_grade.createTextures();
}

bool ShaderProcessor::initializeBlurTextures()
{
    return m_blur.createTextures(m_sourceWidth, m_sourceHeight);
}

bool ShaderProcessor::initializeBlurFBO()
{
    return m_blur.createFramebuffers(m_targetFormats);
}

bool ShaderProcessor::initializeHistogramTextureAndFBO()
{
    return m_histogram.create(m_targetFormats);
}

} // namespace Emulsa
