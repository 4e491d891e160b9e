#pragma once

#include "core/ClipSettings.h"
#include "core/GradingPipeline.h"
#include "core/OffscreenGLContext.h"
#include "core/ReferenceGrade.h"
#include "core/ShaderProcessor.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace Emulsa::Test {

// A picture covering the colour cube (16 levels per channel) in its left
// 64 x 64 block and smooth grey, red, green and blue ramps to its right:
// width x height RGBA floats, row 0 at the top, every value a multiple of 1/255.
std::vector<float> colourCubePicture(int width, int height);

// Quantised like an RGBA8 target: round(clamp(v, 0, 1) * 255).
int toByte(float value);

// Largest difference in 8-bit steps over the RGB channels of two RGBA float
// pictures, after quantising both; *where receives the pixel index.
int maxByteDifference(const std::vector<float>& a, const std::vector<float>& b, int* where = nullptr);

// How the change the GPU made to `base` follows the change the reference made
// to it, over the RGB channels: the least-squares slope of the GPU's change on
// the reference's, their correlation, and the sum of the reference change's
// squares (near 0 when the reference changed nothing). A faint effect that
// stays under the byte tolerance still shows a wrong strength or pattern here.
struct ChangeAgreement
{
    double slope = 0.0;
    double correlation = 0.0;
    double referenceChange = 0.0;

    QString text() const;
};
ChangeAgreement changeAgreement(
    const std::vector<float>& gpu, const std::vector<float>& reference, const std::vector<float>& base);

// Settings with every stage neutral: no stock, no grain, defaults elsewhere.
ClipSettings neutralSettings();

// The set-up of the tests that grade on the GPU: the fixture's film data and
// an off-screen GL context, made once, and the colour cube picture most of
// them grade.
class GpuGradeTest : public QObject
{
    Q_OBJECT

protected:
    static constexpr int W = 128;
    static constexpr int H = 64;
    // The clip identity frames are graded as (it seeds weave, flicker and grain).
    static constexpr quint32 kClipSeed = 0x5eedf11u;
    OffscreenGLContext m_gl;
    // colourCubePicture(W, H).
    std::vector<float> m_picture;

private slots:
    void initTestCase();
};

// One processor with its frame textures on the current context.
struct GpuGrader
{
    std::unique_ptr<ShaderProcessor> processor;
    std::unique_ptr<GradingPipeline> pipeline;
    // Render target formats for the processor; empty keeps its own list.
    std::vector<GLenum> targetFormats;

    // Builds both; false when either fails. Output size 0 means the source size.
    bool create(OffscreenGLContext& gl, const ClipSettings& settings, int sourceWidth, int sourceHeight,
        int outputWidth = 0, int outputHeight = 0, FitMethod fit = StretchToFit, quint32** histogram = nullptr);
    // Uploads an RGB picture, grades it and reads the graded floats back.
    std::vector<float> grade(const std::vector<float>& rgba, unsigned colourOrder = 0xFFFFFFFF);
};

// The CPU reference of a grade with the fixture's film data: the tables built
// from `settings`, the stock table from the film library, and, when the
// processor has grain, its map, the stock's curve and the processor's offset;
// the weave and flicker of the processor's current frame.
std::vector<float> referenceGrade(const ShaderProcessor& processor, const ClipSettings& settings,
    const std::vector<float>& rgba, int width, int height, unsigned colourOrder = 0);

// The stages a grading program needs for a grade: the stock's mixing only
// when an amount is not full, the black-and-white matrix only for those
// stocks, the tone table only when lift/gamma/gain, the wheels or the levels
// folded into it are not neutral, the saturation and levels after the tone
// table only when the saturation is not neutral or histogram passes need the
// levels apart; the weave, the flicker, the halation and the bloom when
// their amounts are not 0.
unsigned stagesOf(const ClipSettings& settings, bool histogram = false);

} // namespace Emulsa::Test
