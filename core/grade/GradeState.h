#pragma once

#include "core/ClipSettings.h"
#include "core/GradeTables.h"
#include "core/StockTable.h"
#include "core/grade/FilmMotion.h"
#include "core/grade/Glow.h"
#include "core/grade/GlowPass.h"
#include "core/grade/GradeTextures.h"
#include "core/grade/GrainChoice.h"

#include <QMutex>
#include <QString>

#include <array>
#include <atomic>
#include <utility>

namespace Emulsa {

class Grain;
class GradingPrograms;

// The grade a processor draws with, under one mutex: the grade tables, the
// stock table and its grain, the amounts and film effects, the frame being
// drawn and the grade's textures, which are uploaded under the same lock.
//
// The grade setters and the readings may be called from any thread; the
// texture and frame methods run on the GL thread. Until a whole grade is
// applied the amounts are 0 (no stock, no curve, no grain): the neutral grade.
class GradeState
{
public:
    GradeState();

    GradeState(const GradeState&) = delete;
    GradeState& operator=(const GradeState&) = delete;

    // The clip's width and the output size (the blur weights, the glows' and
    // colour grain's sizes and the grain offsets depend on them).
    void setSizes(unsigned int sourceWidth, unsigned int outputWidth, unsigned int outputHeight);

    // ---- The grade (any thread) ----

    // Whether the stock table held is that of this stock and camera profile.
    bool holdsStock(const QString& stock, quint32 profile) const;
    // Takes a stock table (null: keep the one held, which is of this stock
    // and profile) and the grain scale (-1.0: keep the current one); chooses
    // the grain again when the stock, the scale or the output size differ
    // from those it was chosen for. `table` is left holding the table
    // replaced, for the caller to let go outside the lock.
    void setStock(const QString& stock, quint32 profile, StockTableData& table, double grainScale);
    // The amounts, tables, film effects and show-original flag of a whole
    // grade (its stock set first by setStock()).
    void applyAmounts(const ClipSettings& settings);
    // Records the outcome of a stock or grade request. Returns whether
    // applied() changed.
    bool recordOutcome(bool stockApplied, bool wholeGrade);
    // A whole grade has been applied and no stock request failed since.
    bool applied() const;

    void setExposureAndKelvin(float exposure, float kelvin);
    void setStockAmount(float amount);
    void setCurveAmount(float amount);
    void setGrainAmount(float amount);
    void setColorWheels(const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high);
    void setLiftGammaGain(float lift, float gamma, float gain);
    void setSaturation(float saturation);
    void setLevels(const HistogramSliderData& levels);
    // Show the ungraded picture; flags the tables so the next upload swaps them.
    void setBypass(bool bypass);
    // Chooses the grain of a stock at a scale for the output size (the
    // grain library's), flagging what changed for upload; false, keeping the
    // grain held, when the library has none.
    bool chooseGrain(const QString& stock, double scale);
    // The grade applied so far is the clip's own, not an edit.
    void forgetEdit();

    // ---- Readings (any thread) ----

    bool bypass() const;
    bool isBlackAndWhite() const;
    float blurAmount() const;
    std::array<float, 3> blurWeights() const;
    // Halation and bloom of the next grading passes (off while showing the
    // original), for the picture's width and the clip's gauge.
    GlowParams halation() const;
    GlowParams bloom() const;
    // Whether the grading pass needs the linear picture (the blur reads it).
    bool readsLinearPicture() const;
    // Whether the grading pass reads the picture between texels for the
    // gate weave (its owner must then filter the picture linearly).
    bool weaves() const;
    // No stock, grain, blur, glow, weave or flicker, not black and white, not
    // showing the original, and every table and matrix neutral.
    bool isNeutral() const;
    double grainScale() const;
    const Grain* grain() const;
    // How many times a grain was chosen (from the grain library) so far.
    int grainChoices() const;
    std::array<float, 2> grainOffset() const;
    void setGrainOffset(float x, float y);
    // The clip and frame the next grading passes draw. While one is set, the
    // grain's position is a function of the two (FrameSeed), so a frame
    // grades the same wherever and whenever it is drawn. A negative frame
    // clears it, and the grain moves at random per frame when animated.
    void setFrameIdentity(quint32 clipSeed, qint64 frame);
    // The clip seed and frame set (frame -1 when none).
    std::pair<quint32, qint64> frameIdentity() const;
    // The weave and flicker of the frame set (frame 0 while none is set).
    FilmMotion::Frame filmMotion() const;
    // Texture flags (GradeTextures::Upload) still waiting for an upload.
    unsigned pendingUploads() const;
    // How many times a texture was uploaded (one GradeTextures::Upload flag).
    unsigned uploadCount(GradeTextures::Upload texture) const;

    // The grain position of a frame of a clip, for an output size.
    static std::array<float, 2> seededGrainOffset(
        quint32 clipSeed, qint64 frame, unsigned int width, unsigned int height);
    // Moves a grain offset to a random place a quarter to three quarters of
    // the frame away (modulo the frame), `random` supplying the randomness.
    static std::array<float, 2> movedGrainOffset(
        const std::array<float, 2>& offset, unsigned int width, unsigned int height, quint32 randomX, quint32 randomY);

    // ---- Frames (GL thread) ----

    // What a grading pass needs, read once per frame.
    struct Frame
    {
        // The grade was edited since the last frame (or since set-up).
        bool edited = false;
        bool bypass = false;
        float blurAmount = 0.f;
        std::array<float, 3> blurWeights { { 1.f, 0.f, 0.f } };
        GlowParams glow[GlowPass::EffectCount];
    };
    // Starts a frame: moves the grain (seeded by the frame identity, else at
    // random when `animate` or `reset`; `reset` is cleared when used).
    Frame beginFrame(bool animate, std::atomic<bool>& reset);
    // The grading program's stages for a pass of the grade at hand
    // (GradingPrograms' stage flags), and whether the levels are folded into
    // the tone table. `levelsApart`: histogram passes, which need the picture
    // before the levels, run.
    std::pair<unsigned, bool> stages(bool bypass, bool levelsApart) const;
    // Sets the bound grading program's grade uniforms and uploads the stale
    // textures.
    void applyToProgram(QOpenGLFunctions_4_0_Core* gl, const GradingPrograms& programs, bool bypass,
        int histogramNeeded, bool foldLevels);

    void setFunctions(QOpenGLFunctions_4_0_Core* gl);
    // Creates and fills the textures, choosing the default grain first when
    // none is chosen (the grain textures would hold no data).
    bool createTextures();
    // Binds the textures on their units, leaving unit 0 active.
    void bindTextures();
    void destroyTextures();

private:
    bool chooseGrainLocked(const QString& stock, double scale);
    GradeTextures::Film filmLocked() const;
    FilmMotion::Frame motionLocked() const;
    GlowParams glowLocked(GlowPass::Effect effect) const;
    // Every grade setter: the next frame follows an edit.
    template<typename Edit> void edit(Edit change);

    mutable QMutex m_mutex;
    GradeTables m_tables;
    GradeTextures m_textures;
    GrainChoice m_grainChoice;
    StockTableData m_stockTable;
    // The stock and camera profile m_stockTable is of.
    QString m_stockName;
    quint32 m_stockProfile = 0;

    unsigned int m_sourceWidth = 0;
    unsigned int m_outputWidth = 0;
    unsigned int m_outputHeight = 0;

    // The amounts, 0..1 (neutral until a whole grade is applied).
    struct Amounts
    {
        float stock = 0.f;
        float curve = 0.f;
        float grain = 0.f;
        float colourGrain = 0.f;
        float halation = 0.f;
        float bloom = 0.f;
        float weave = 0.f;
        float flicker = 0.f;
    } m_amounts;
    QString m_gauge;
    double m_grainScale = 1.0;
    float m_blurAmount = 0.f;
    std::array<float, 3> m_blurWeights { { 1.f, 0.f, 0.f } };
    bool m_bypass = false;
    bool m_isBlackAndWhite = false;

    bool m_edited = false;
    bool m_hasGrade = false;
    bool m_stockFailed = false;

    std::array<float, 2> m_grainOffset { { 0.f, 0.f } };
    quint32 m_clipSeed = 0;
    qint64 m_frame = -1;
    // The grain map whose RMS was measured, for the colour grain's strength.
    const Grain* m_dyeRmsGrain = nullptr;
    float m_dyeMapRms = 0.f;
};

} // namespace Emulsa
