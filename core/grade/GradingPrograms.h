#pragma once

#include "core/FitMethod.h"
#include "core/grade/GLSupport.h"

#include <QOpenGLFunctions_4_0_Core>

#include <array>
#include <memory>
#include <unordered_map>

class QOpenGLShaderProgram;

namespace Emulsa {

// The grading ("EM") programs: one per set of stages, source and output (its
// key), built on first use from the one program source with defines; the
// current one with its variable locations, colour-order subroutines and
// whether it was drawn with into each kind of target; the others parked. Also
// the grading vertex array, whose texture coordinates place the picture.
// GL thread only.
class GradingPrograms
{
public:
    // Stage bits of a key; the source sits above them, the output above that.
    // A program leaves out each stage the grade at hand does not need
    // (GradeState::stages() says which). FinishStage: the saturation matrix
    // and the levels after the tone table; left out when the saturation is
    // neutral and no histogram passes run (the levels are then folded into
    // the tone table, or skipped when showing the original). StockMixStage:
    // the stock's two amounts (its colour mixed with the exposed one, the
    // exposed lightness kept); left out when both are full. MonoStage: the
    // black-and-white matrix, for the black-and-white stocks only. ToneStage:
    // the tone table; left out when what it composes is neutral
    // (GradeTables::isToneNeutral()). WeaveStage and FlickerStage: the gate
    // weave and the flicker, left out when their amounts are 0 or showing the
    // original. DyeGrainStage: the colour grain, left out when it or the
    // grain is off. HalationStage and BloomStage: the glows' light taken and
    // their blurred levels added, left out when their amounts are 0.
    enum Stage : unsigned
    {
        StockStage = 1,
        GrainStage = 2,
        FinishStage = 4,
        StockMixStage = 8,
        MonoStage = 16,
        ToneStage = 32,
        WeaveStage = 64,
        FlickerStage = 128,
        DyeGrainStage = 256,
        HalationStage = 512,
        BloomStage = 1024,
        AllStages = 2047,
    };

    // Kinds of target a program is drawn into.
    enum Target
    {
        OwnerTarget = 0,
        HistogramTarget = 1
    };

    struct Locations
    {
        int vertexPos = -1;
        int textCoordinate = -1;
        int matrix = -1;
        int frameTexture = -1;
        int exposure = -1;
        int balls = -1;
        int grainMap = -1;
        int grainCurve = -1;
        int stockLUT = -1;
        int grainAmount = -1;
        int grainColorfulness = -1;
        int grainOffset = -1;
        int grainSize = -1;
        int stockLUTAmount = -1;
        int stockCurveAmount = -1;
        int saturation = -1;
        int blackAndWhite = -1;
        int histogram = -1;
        int histogramNeeded = -1;
        int outputMapping = -1;
        int outputSize = -1;
        int weaveOffset = -1;
        int flickerGain = -1;
        int dyeGrainMix = -1;
        int dyeGrainScale = -1;
        int dyeGrainCell = -1;
        int dyeGrainSeed = -1;
        // Halation, then bloom: the blurred level, threshold, strength, scale.
        int glowLevel[2] = { -1, -1 };
        int glowThreshold[2] = { -1, -1 };
        int glowStrength[2] = { -1, -1 };
        int glowScale[2] = { -1, -1 };
    };
    // The units of the halation's and the bloom's blurred levels.
    static constexpr int kGlowUnits[2] = { 6, 7 };

    GradingPrograms() = default;
    GradingPrograms(const GradingPrograms&) = delete;
    GradingPrograms& operator=(const GradingPrograms&) = delete;

    void setFunctions(QOpenGLFunctions_4_0_Core* gl) { m_gl = gl; }

    // The set-up steps for the current program (the whole one at first).
    bool build(unsigned key = AllStages);
    bool resolveLocations(unsigned key = AllStages);
    bool resolveSubroutines();
    bool buildVertexArray(const std::array<float, 12>& textureCoordinates);

    // Makes the program for `key` the current one, building it on first use;
    // false, the current one kept, when it can't be built.
    bool use(unsigned key);
    // Whether the program of `key` exists (current or parked).
    bool holds(unsigned key) const;
    // Whether the program of `key` was drawn with into that kind of target.
    bool drawn(unsigned key, Target target) const;
    void markDrawn(Target target) { m_current.drawn[target] = true; }
    void countWarmUp() { ++m_warmUps; }

    unsigned key() const { return m_key; }
    // The stages of the current program (its key without source and output).
    unsigned stages() const { return m_key & AllStages; }
    QOpenGLShaderProgram* program() const { return m_current.program.get(); }
    const Locations& locations() const { return m_current.locations; }
    // Binds the current program and the vertex array, or releases both.
    void bind();
    void release();
    // Selects the colour order (0 RGBA, 1 ARGB, 2 BGRA) of the bound program.
    void selectOrder(unsigned order);

    // How many programs were compiled, and how many clipped warm-up draws made.
    int built() const { return m_built; }
    int warmUps() const { return m_warmUps; }
    const std::array<float, 12>& textureCoordinates() const { return m_textureCoordinates; }

    // Deletes the programs and the vertex array (context current).
    void destroy();

    // The texture coordinates of a fit (12 floats in vertex order).
    static std::array<float, 12> fitTextureCoordinates(FitMethod fit, unsigned int sourceWidth,
        unsigned int sourceHeight, unsigned int outputWidth, unsigned int outputHeight);

private:
    // One program with what is drawn with it.
    struct Variant
    {
        std::unique_ptr<QOpenGLShaderProgram> program;
        Locations locations;
        // Subroutine indices by colour order (RGBA, ARGB, BGRA).
        GLuint orderIndices[3] = { 0, 0, 0 };
        GLint subroutineCount = 0;
        // Parked only: it could not be built, and is not tried again.
        bool failed = false;
        bool drawn[2] = { false, false };
    };

    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    Variant m_current;
    unsigned m_key = AllStages;
    std::unordered_map<unsigned, Variant> m_parked;
    int m_built = 0;
    int m_warmUps = 0;
    GLSupport::Quad m_quad;
    std::array<float, 12> m_textureCoordinates {};
};

// A grading program's key: its stages (GradingPrograms::Stage bits), the
// source it reads above them (ShaderProcessor::GradeSource), the output it
// writes above that (ShaderProcessor::GradeOutput).
namespace ProgramKey {

constexpr unsigned SourceShift = 11;
constexpr unsigned OutputShift = 14;
constexpr unsigned MaxSource = 4;
static_assert(GradingPrograms::AllStages < (1u << SourceShift), "stage bits overlap");
static_assert((MaxSource << SourceShift) < (1u << OutputShift), "source bits overlap");

// The key of the program with every stage for a source and output.
constexpr unsigned whole(unsigned source, unsigned output)
{
    return GradingPrograms::AllStages | (source << SourceShift) | (output << OutputShift);
}
constexpr unsigned source(unsigned key)
{
    return (key >> SourceShift) & 7;
}
constexpr unsigned output(unsigned key)
{
    return key >> OutputShift;
}

} // namespace ProgramKey

} // namespace Emulsa
