#include "core/grade/GradingPrograms.h"

#include "core/grade/GLSupport.h"

#include <QDebug>
#include <QOpenGLShaderProgram>

#include <algorithm>

namespace Emulsa {

namespace {

const char* const kOrderNames[3] = { "toRGBA", "toARGB", "toBGRA" };

} // namespace

bool GradingPrograms::build(unsigned key)
{
    const unsigned stages = key & AllStages;
    const QByteArray defines = key == AllStages
        ? QByteArray()
        : QByteArrayLiteral("#define EM_STOCK ") + ((stages & StockStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_GRAIN ") + ((stages & GrainStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_FINISH ") + ((stages & FinishStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_STOCK_MIX ") + ((stages & StockMixStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_MONO ") + ((stages & MonoStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_TONE ") + ((stages & ToneStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_WEAVE ") + ((stages & WeaveStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_FLICKER ") + ((stages & FlickerStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_DYE_GRAIN ") + ((stages & DyeGrainStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_HALATION ") + ((stages & HalationStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_BLOOM ") + ((stages & BloomStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_SOURCE ") + QByteArray::number(ProgramKey::source(key))
            + QByteArrayLiteral("\n#define EM_OUTPUT ") + QByteArray::number(ProgramKey::output(key)) + "\n";
    if (!GLSupport::buildProgram(m_current.program, "EM", QStringLiteral(":/quad.v.glsl"),
            QStringLiteral(":/em.f.glsl"), "inVertexPos", "inTextCoordinate", defines))
        return false;
    ++m_built;
    if (key != AllStages)
        return true;
    qDebug().noquote() << "ShaderProcessor: glGetAttribLocation inVertexPos:"
                       << m_current.program->attributeLocation("inVertexPos");
    qDebug().noquote() << "ShaderProcessor: glGetAttribLocation inTextCoordinate:"
                       << m_current.program->attributeLocation("inTextCoordinate");
    qDebug().noquote() << "ShaderProcessor: Main Shader compile and link successfully.";
    return true;
}

bool GradingPrograms::resolveLocations(unsigned key)
{
    using GLSupport::resolveAttribute;
    using GLSupport::resolveUniform;
    QOpenGLShaderProgram* p = m_current.program.get();
    Locations& at = m_current.locations;
    const bool stock = key & StockStage;
    const bool grain = key & GrainStage;
    const bool finish = key & FinishStage;
    const bool stockMix = key & StockMixStage;
    const bool mono = key & MonoStage;
    const bool tone = key & ToneStage;
    // A program writing the packed frame places its pixels itself.
    const bool packedOutput = ProgramKey::output(key) != 0;
    if (packedOutput)
        at.textCoordinate = p->attributeLocation("inTextCoordinate");
    const bool resolved = resolveAttribute(p, "inVertexPos", &at.vertexPos)
        && (packedOutput || resolveAttribute(p, "inTextCoordinate", &at.textCoordinate))
        && resolveUniform(p, "uniMatrix", &at.matrix) && resolveUniform(p, "uniFrameTextureArray", &at.frameTexture)
        && resolveUniform(p, "uniExposureArray", &at.exposure) && resolveUniform(p, "uniBallsArray", &at.balls, tone)
        && resolveUniform(p, "uniGrainMapArray", &at.grainMap, grain)
        && resolveUniform(p, "uniGrainCurveArray", &at.grainCurve, grain)
        && resolveUniform(p, "uniStockLUTArray", &at.stockLUT, stock)
        && resolveUniform(p, "uniGrainAmount", &at.grainAmount, grain)
        && resolveUniform(p, "uniGrainColorfulness", &at.grainColorfulness, grain)
        && resolveUniform(p, "uniGrainOffset", &at.grainOffset, grain)
        && resolveUniform(p, "uniGrainSize", &at.grainSize, grain)
        // The stock's amount: needed by its mixing; otherwise read only for a
        // picture's alpha, which a packed frame does not have.
        && resolveUniform(p, "uniStockLUTAmount", &at.stockLUTAmount, stockMix)
        && resolveUniform(p, "uniStockCurveAmount", &at.stockCurveAmount, stockMix)
        && resolveUniform(p, "uniSaturation", &at.saturation, finish)
        && resolveUniform(p, "uniBlackAndWhite", &at.blackAndWhite, mono)
        && resolveUniform(p, "uniHistogramArray", &at.histogram, finish)
        && resolveUniform(p, "uniHistogramNeeded", &at.histogramNeeded, finish)
        // Not read one to one without grain: the source pixels are the output's.
        && resolveUniform(p, "uniOutputMapping", &at.outputMapping, false)
        && resolveUniform(p, "uniOutputSize", &at.outputSize, packedOutput)
        && resolveUniform(p, "uniWeaveOffset", &at.weaveOffset, key & WeaveStage)
        && resolveUniform(p, "uniFlickerGain", &at.flickerGain, key & FlickerStage)
        && resolveUniform(p, "uniDyeGrainMix", &at.dyeGrainMix, key & DyeGrainStage)
        && resolveUniform(p, "uniDyeGrainScale", &at.dyeGrainScale, key & DyeGrainStage)
        && resolveUniform(p, "uniDyeGrainCell", &at.dyeGrainCell, key & DyeGrainStage)
        && resolveUniform(p, "uniDyeGrainSeed", &at.dyeGrainSeed, key & DyeGrainStage);
    if (!resolved)
        return false;
    const char* const glows[2] = { "uniHalation", "uniBloom" };
    const unsigned glowStages[2] = { HalationStage, BloomStage };
    for (int e = 0; e < 2; ++e) {
        const bool on = key & glowStages[e];
        const QByteArray name(glows[e]);
        if (!resolveUniform(p, name + "Level", &at.glowLevel[e], on)
            || !resolveUniform(p, name + ".threshold", &at.glowThreshold[e], on)
            || !resolveUniform(p, name + ".strength", &at.glowStrength[e], on)
            || !resolveUniform(p, name + ".scale", &at.glowScale[e], on))
            return false;
    }

    // Sampler units, once.
    p->bind();
    p->setUniformValue(at.frameTexture, 0);
    p->setUniformValue(at.grainMap, 1);
    p->setUniformValue(at.grainCurve, 2);
    p->setUniformValue(at.stockLUT, 3);
    p->setUniformValue(at.histogram, 4);
    p->setUniformValue(at.exposure, 5);
    p->setUniformValue(at.balls, 8);
    for (int e = 0; e < 2; ++e)
        p->setUniformValue(at.glowLevel[e], kGlowUnits[e]);
    p->release();
    return true;
}

bool GradingPrograms::resolveSubroutines()
{
    return GLSupport::resolveSubroutines(m_gl, m_current.program->programId(), kOrderNames, 3, "colorSelection",
        m_current.orderIndices, &m_current.subroutineCount);
}

bool GradingPrograms::buildVertexArray(const std::array<float, 12>& textureCoordinates)
{
    m_textureCoordinates = textureCoordinates;
    if (!m_quad.build(m_gl, m_textureCoordinates.data(), false))
        return false;
    qDebug().noquote() << "ShaderProcessor: EM VAO id:" << m_quad.arrayId();
    qDebug().noquote() << "ShaderProcessor: EM Vertice VBO id:" << m_quad.verticesId();
    qDebug().noquote() << "ShaderProcessor: EM Texture VBO id:" << m_quad.coordinatesId();
    return true;
}

bool GradingPrograms::use(unsigned key)
{
    if (key == m_key)
        return true;
    // Map entries keep their addresses as the map grows.
    Variant& wanted = m_parked[key];
    if (!wanted.program && wanted.failed)
        return false;
    // Park the current program, then take the wanted one or build it.
    const unsigned previous = m_key;
    m_parked[previous] = std::move(m_current);
    m_current = Variant();
    if (!wanted.program) {
        if (build(key) && resolveLocations(key) && resolveSubroutines()) {
            m_key = key;
            return true;
        }
        qWarning().noquote() << "ShaderProcessor: grading program" << key << "could not be built";
        wanted.failed = true;
        key = previous;
    }
    m_current = std::move(m_parked[key]);
    m_key = key;
    return key != previous;
}

bool GradingPrograms::holds(unsigned key) const
{
    if (key == m_key)
        return m_current.program != nullptr;
    const auto found = m_parked.find(key);
    return found != m_parked.end() && found->second.program;
}

bool GradingPrograms::drawn(unsigned key, Target target) const
{
    if (key == m_key)
        return m_current.drawn[target];
    const auto found = m_parked.find(key);
    return found != m_parked.end() && found->second.program && found->second.drawn[target];
}

void GradingPrograms::bind()
{
    m_current.program->bind();
    m_quad.bind();
}

void GradingPrograms::release()
{
    m_quad.release();
    m_current.program->release();
}

void GradingPrograms::selectOrder(unsigned order)
{
    GLSupport::useSubroutine(m_gl, m_current.orderIndices[order], m_current.subroutineCount);
}

void GradingPrograms::destroy()
{
    m_quad.destroy();
    if (m_current.program)
        m_current.program->release();
    m_current = Variant();
    m_parked.clear();
}

std::array<float, 12> GradingPrograms::fitTextureCoordinates(FitMethod fit, unsigned int sourceWidth,
    unsigned int sourceHeight, unsigned int outputWidth, unsigned int outputHeight)
{
    if (fit != FitWidth && fit != FitHeight)
        return { { 0.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 1.f, 1.f } };
    const float aspect = float(sourceWidth) / float(sourceHeight);
    const float ow = float(outputWidth);
    const float oh = float(outputHeight);
    float fw;
    float fh;
    if (fit == FitWidth) {
        fw = ow;
        fh = ow / aspect;
    } else {
        fh = oh;
        fw = oh * aspect;
    }
    const float t = (fh - oh) * 0.5f / fh;
    const float s = (fw - ow) * 0.5f / fw;
    return { { s, 1.f - t, s, t, 1.f - s, t, s, 1.f - t, 1.f - s, t, 1.f - s, 1.f - t } };
}

} // namespace Emulsa
