#pragma once

#include "core/ClipSettings.h"
#include "core/FitMethod.h"
#include "core/GradeTables.h"
#include "core/StockTable.h"
#include "core/grade/BlurPass.h"
#include "core/grade/ConversionPass.h"
#include "core/grade/FilmMotion.h"
#include "core/grade/GlowPass.h"
#include "core/grade/GradeTextures.h"
#include "core/grade/GradingPrograms.h"
#include "core/grade/GrainChoice.h"
#include "core/grade/HistogramPass.h"

#include <QImage>
#include <QMatrix4x4>
#include <QMutex>
#include <QObject>
#include <QOpenGLFunctions_4_0_Core>

#include <array>
#include <atomic>
#include <vector>

class QOpenGLContext;

namespace Emulsa {

class Grain;

// Grades frames on the GPU: owns the grading ("EM"), colour-converter ("CC")
// and blur programs, their vertex arrays, every lookup table of the grade and
// its texture, the current stock table and grain, the blur framebuffer and a
// small framebuffer for the levels histogram.
//
// The work is done by parts with one job each (core/grade/): the grading
// programs, the colour converter, the blur pass, the glow pass (halation and
// bloom), the histogram pass, the grade's textures and the grain choice. The
// processor keeps the grade (the tables, the stock table, the amounts) under
// its data mutex and runs the frame passes in order.
//
// The owner keeps the context, the frame textures and the target framebuffer.
// Per frame it binds its target, calls prepareFrame() for a pass, sets the
// viewport, binds the input on texture unit 0, draws six vertices and calls
// finishFrame(). GradingPipeline shows the whole calling order.
//
// Until a whole grade has been applied the processor grades neutrally (no
// stock, no curve, no grain). When the grade asked for cannot be applied (no
// stock table for the clip's stock and camera profile) the picture keeps the
// previous grade, or the neutral one, and gradeApplied() is false: the preview
// tells the user, and a render refuses to start (it would write a movie
// without the grade). gradeAppliedChanged() reports each change.
//
// Construction needs no context. initialize(), prepareFrame(), finishFrame()
// and destruction run on the thread where the context is current; the grade
// setters may be called from any thread: they rebuild tables under the data
// mutex and the next grading pass uploads what changed.
//
// The object is large (every table inline plus two 512 KiB read-back buffers)
// so that nothing is allocated per frame: create it on the heap.
class ShaderProcessor : public QObject, private QOpenGLFunctions_4_0_Core
{
    Q_OBJECT

public:
    // First argument of prepareFrame().
    enum PassMode : unsigned
    {
        NoPass = 0,
        GradePass = 1,
        LimitedYuy2ToRgbPass = 2,
        RgbToLimitedYuy2Pass = 3,
        FullYuy2ToRgbPass = 4,
        RgbToFullYuy2Pass = 5
    };
    // Second argument of prepareFrame() for the grading pass.
    enum ColourOrder : unsigned
    {
        OrderRGBA = 0,
        OrderARGB = 1,
        OrderBGRA = 2,
        NoOrderPreference = 0xFFFFFFFF
    };
    // Upload flags: the four grade tables (GradeTables' flags) and the film data.
    enum Upload : unsigned
    {
        ExposureUpload = GradeTextures::ExposureUpload,
        LiftGammaGainUpload = GradeTextures::LiftGammaGainUpload,
        WheelsUpload = GradeTextures::WheelsUpload,
        LevelsUpload = GradeTextures::LevelsUpload,
        GrainMapUpload = GradeTextures::GrainMapUpload,
        GrainCurveUpload = GradeTextures::GrainCurveUpload,
        StockTableUpload = GradeTextures::StockTableUpload,
        AllUploads = GradeTextures::AllUploads
    };

    // The context the processor will be used with; it need not be current.
    explicit ShaderProcessor(QOpenGLContext* context, QObject* parent = nullptr);
    // The context must be current (GL objects are deleted on it).
    ~ShaderProcessor() override;

    ShaderProcessor(const ShaderProcessor&) = delete;
    ShaderProcessor& operator=(const ShaderProcessor&) = delete;

    // Builds the GL side, once, with the context current. The owner passes the
    // clip's native size and its grade (null: stay neutral); `histogram` is
    // null or three arrays of 512 counts the processor fills after each
    // grading pass; width and height are the output size, 0 meaning the
    // source size. Refuses outputs smaller than 2 x 2 pixels. Logs
    // "ShaderProcessor: <reason>" and returns false on failure. A grade that
    // cannot be applied does not fail initialisation: check gradeApplied().
    bool initialize(unsigned int sourceWidth, unsigned int sourceHeight, const ClipSettings* settings,
        quint32** histogram, unsigned int width, unsigned int height, FitMethod fit);

    // Applies a whole grade, doing only the work its changes need: the grading
    // panel applies the whole grade after every edit. Returns false, changing
    // nothing else, when the stock cannot be applied; gradeApplied() is then
    // false.
    bool applySettings(const ClipSettings* settings);
    // Takes the stock table of the camera profile (profile table, else the
    // generic one) and sets the black-and-white flag, unless the processor
    // holds that stock's table for that profile already; chooses the grain
    // again when the stock, the scale or the output size differ from those it
    // was chosen for. A grain scale of -1.0 keeps the current one. Returns
    // false, keeping the previous stock, grain and blur, when there is no
    // table for the stock; gradeApplied() is then false until a stock or
    // grade is applied.
    bool setStock(const QString& stock, quint32 sourceType, double grainScale);

    // True when the picture shows the grade last asked for: a whole grade
    // has been applied and no stock request failed since. False after
    // construction, and after initialize() when the clip's grade could not
    // be applied. Any thread.
    bool gradeApplied() const;
    // True when a grading pass would change nothing: no stock, no grain, no
    // blur, no halation or bloom, not black and white, and every table and
    // matrix neutral (the bypass copies); not in show-original mode and with
    // no histogram to fill. An owner may then use the converted source picture as the graded
    // one (GradingPipeline does when the sizes match). GL thread.
    bool gradeIsNeutral() const;
    // Rebuilds the exposure/temperature table only.
    void setExposureAndKelvin(float exposure, float kelvin);

    // Single grade edits from the grading panel (the amounts are 0..1 or 0..2).
    void setStockAmount(float amount);
    void setCurveAmount(float amount);
    void setGrainAmount(float amount);
    void setColorWheels(const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high);
    void setLiftGammaGain(float lift, float gamma, float gain);
    void setSaturation(float saturation);
    void setLevels(const HistogramSliderData& levels);
    // Show the ungraded picture; flags the tables so the next pass swaps them.
    void setBypass(bool bypass);

    // Prepares a pass (see PassMode). For the grading pass the processor first
    // runs its blur and histogram passes when needed, then leaves the EM
    // program bound with every uniform set. The owner's framebuffer and draw
    // buffer are restored after the processor's own passes; the owner sets the
    // viewport after this call. `matrix` null means the default projection.
    void prepareFrame(unsigned int mode, unsigned int colourOrder, const QMatrix4x4* matrix = nullptr);
    // Releases the program and vertex array of the prepared pass.
    void finishFrame();

    // A copy of the last histogram rendering (512 x 256, RGBA8888, the graded
    // picture shrunk; used for preset thumbnails). Later passes do not change
    // it. Null before the first grading pass with a histogram target.
    QImage currentFrameImage() const;

    // Internal formats tried, in order, for the blur and histogram render
    // targets: the first one that makes a complete framebuffer is used.
    // RGB32F, which OpenGL 4.0 does not require to be renderable, then
    // RGBA32F, RGBA16F and RGBA8. Set before initialize() to change the list.
    void setRenderTargetFormats(const std::vector<GLenum>& formats) { m_targetFormats = formats; }
    // The formats chosen by initialize() (0 before).
    GLenum blurTargetFormat() const { return m_blur.format(); }
    // Whether the blur targets hold their source-sized storage: only once a
    // frame was blurred (at set-up they are 2 x 2, to choose the format).
    bool blurStorageAllocated() const { return m_blur.storageAllocated(); }
    GLenum histogramTargetFormat() const { return m_histogram.format(); }
    // Whether grading passes also fill the owner's histogram.
    bool hasHistogramTarget() const;

    // Flags the owners write directly.
    std::atomic<bool> animateGrain { false };
    std::atomic<bool> resetGrainOffset { true };
    std::atomic<bool> histogramBeforeLevels { false };
    // Whether the next grading pass also fills the owner's histogram; an
    // owner playing a clip skips it on frames whose counts no one would see
    // (the pass reads its picture back). The grading pass itself is the same
    // either way.
    std::atomic<bool> histogramThisFrame { true };

    // State, for owners and tests.
    bool isInitialized() const { return m_initialized; }
    unsigned int sourceWidth() const { return m_sourceWidth; }
    unsigned int sourceHeight() const { return m_sourceHeight; }
    unsigned int outputWidth() const { return m_outputWidth; }
    unsigned int outputHeight() const { return m_outputHeight; }
    bool bypass() const;
    bool isBlackAndWhite() const;
    float blurAmount() const;
    // Halation and bloom of the next grading passes (off while showing the
    // original), for the picture's width and the clip's gauge.
    GlowParams halation() const;
    GlowParams bloom() const;
    // Whether the grading pass needs the linear picture on unit 0 (the blur
    // reads it), not the packed frame. Halation and bloom read either.
    bool readsLinearPicture() const;
    // How many halation and bloom runs were drawn so far.
    int glowRuns() const { return m_glow.runs(); }
    std::array<float, 3> blurWeights() const;
    double grainScale() const;
    const Grain* grain() const;
    std::array<float, 2> grainOffset() const;
    void setGrainOffset(float x, float y);
    // The clip and frame the next grading passes draw. While one is set, the
    // grain's position is a function of the two (FrameSeed), so a frame
    // grades the same wherever and whenever it is drawn; animateGrain and
    // resetGrainOffset then change nothing. A negative frame clears it, and
    // the grain moves at random per frame as animateGrain says.
    void setFrameIdentity(quint32 clipSeed, qint64 frame);
    // The clip seed and frame set (frame -1 when none).
    std::pair<quint32, qint64> frameIdentity() const;
    // The grain position of a frame of a clip, for an output size.
    static std::array<float, 2> seededGrainOffset(
        quint32 clipSeed, qint64 frame, unsigned int width, unsigned int height);
    // The weave and flicker of the frame last drawn (or about to be: they
    // follow from the frame identity, frame 0 while none is set).
    FilmMotion::Frame filmMotion() const;
    // Whether the grading pass reads the picture between texels for the gate
    // weave (its owner must then filter the picture linearly).
    bool weaves() const;
    // Stages a grading program may leave out, and which ones the program used
    // by the last grading pass holds (AllGradeStages at set-up).
    // FinishStage: the saturation matrix and the levels after the tone
    // table; left out when the saturation is neutral and no histogram passes
    // run (the levels are then folded into the tone table, or skipped when
    // showing the original). StockMixStage: the stock's two amounts (its
    // colour mixed with the exposed one, the exposed lightness kept); left
    // out when both are full. MonoStage: the black-and-white matrix, for the
    // black-and-white stocks only. ToneStage: the tone table; left out when
    // what it composes is neutral (GradeTables::isToneNeutral()).
    // WeaveStage and FlickerStage: the gate weave and the flicker, left out
    // when their amounts are 0 or showing the original. DyeGrainStage: the
    // colour grain, left out when it or the grain is off. HalationStage and
    // BloomStage: the glows' light taken and their blurred levels added, left
    // out when their amounts are 0.
    enum GradeStage : unsigned
    {
        StockStage = GradingPrograms::StockStage,
        GrainStage = GradingPrograms::GrainStage,
        FinishStage = GradingPrograms::FinishStage,
        StockMixStage = GradingPrograms::StockMixStage,
        MonoStage = GradingPrograms::MonoStage,
        ToneStage = GradingPrograms::ToneStage,
        WeaveStage = GradingPrograms::WeaveStage,
        FlickerStage = GradingPrograms::FlickerStage,
        DyeGrainStage = GradingPrograms::DyeGrainStage,
        HalationStage = GradingPrograms::HalationStage,
        BloomStage = GradingPrograms::BloomStage,
        AllGradeStages = GradingPrograms::AllStages,
    };
    unsigned gradingProgramStages() const { return m_programs.key() & AllGradeStages; }
    // What texture unit 0 holds for the grading pass: the linear picture
    // (RGBA floats, the default), or the packed YUY2 frame, converted in the
    // grading program itself, at the nearest pixel (for a pass one to one,
    // without histogram passes) or filtered linearly; never with blur, which
    // reads the linear picture.
    enum GradeSource : unsigned
    {
        LinearSource = 0,
        PackedLimitedSource = 1,
        PackedFullSource = 2,
        PackedLimitedFilteredSource = 3,
        PackedFullFilteredSource = 4,
    };
    // What the grading pass writes: the graded picture (RGBA, the default),
    // or the packed YUY2 frame the colour converter's packing pass would make
    // of it, in the limited or full range, drawn straight into that pass's
    // target (one fragment per packed texel, the top rows only; the projection
    // is ignored). In the picture's own colour order, and never with
    // histogram passes, which need the graded picture.
    enum GradeOutput : unsigned
    {
        PictureOutput = 0,
        PackedLimitedOutput = 1,
        PackedFullOutput = 2,
    };
    // Chooses both for the next grading passes. False, nothing changed, when
    // no program can read that source and write that output (or a packed
    // output is asked for with histogram passes, or a packed source while
    // readsLinearPicture()); the linear source and the picture output
    // always can. GL thread.
    bool setGradeSource(GradeSource source, GradeOutput output = PictureOutput);
    GradeSource gradeSource() const { return m_gradeSource; }
    GradeOutput gradeOutput() const { return m_gradeOutput; }
    // How many grading programs were compiled: one per set of stages used.
    // While the grade is edited (a grading pass after a grade setter was
    // called, since set-up or the previous pass) none is: a set
    // of stages not drawn with yet is graded by the whole program (every
    // stage) until a pass comes with no edit before it. The whole program is
    // drawn once, clipped to nothing, by the first pass into each kind of
    // target (the owner's, the histogram's), so that a driver that finishes
    // programs on their first draw does it then, not during an edit.
    int gradingProgramsBuilt() const { return m_programs.built(); }
    // How many of those clipped draws were made.
    int gradingProgramWarmUps() const { return m_programs.warmUps(); }
    // Texture coordinates of the EM vertex array (12 floats, vertex order).
    const std::array<float, 12>& emTextureCoordinates() const { return m_programs.textureCoordinates(); }
    // Flags still waiting for the next grading pass.
    unsigned pendingUploads() const;
    // How many times a table's texture was uploaded (one Upload flag).
    unsigned uploadCount(Upload table) const;
    // How many times a grain was chosen (from the grain library) so far.
    int grainChoices() const;

    // ---- Pure helpers, public for the owners and tests (the fit's texture
    // coordinates, the blur's amount and weights and the histogram's counts
    // are the grading programs', the blur pass's and the histogram pass's). ----

    // Moves a grain offset to a random place a quarter to three quarters of
    // the frame away (modulo the frame), `random` supplying the randomness.
    static std::array<float, 2> movedGrainOffset(
        const std::array<float, 2>& offset, unsigned int width, unsigned int height, quint32 randomX, quint32 randomY);

signals:
    // The owner's histogram arrays hold new counts. Emitted on the GL thread.
    void histogramDataReady();
    // gradeApplied() changed. Emitted on the thread that applied the grade or
    // stock (connect with a queued connection from the GL or GUI side).
    void gradeAppliedChanged(bool applied);

private:
    // What the grading pass needs, copied under the data mutex.
    struct GradeSnapshot
    {
        bool bypass = false;
        float blurAmount = 0.f;
        std::array<float, 3> blurWeights { { 1.f, 0.f, 0.f } };
        GlowParams glow[GlowPass::EffectCount];
    };

    // initialize() steps, each handing the work to its part.
    bool initializeEMShaderPrograms();
    bool initializeCCShaderPrograms();
    bool initializeBlurShaderPrograms();
    bool resolveEMShaderLocations();
    bool resolveCCShaderLocations();
    bool resolveBlurShaderLocations();
    bool initializeEMVAOandVBO(FitMethod fit);
    bool initializeCCVAOandVBO();
    bool initializeBlurVAOandVBO();
    bool initializeEMSubroutines();
    bool initializeCCSubroutines();
    bool initializeBlurSubroutines();
    bool initializeTextures();
    bool initializeBlurTextures();
    bool initializeBlurFBO();
    bool initializeHistogramTextureAndFBO();
    void debugEMSubroutines();
    bool fail(const char* message);
    QOpenGLFunctions_4_0_Core* functions() { return this; }

    // Records the outcome of a stock or grade request; emits on a change.
    void setGradeOutcome(bool stockApplied, bool wholeGrade);
    // The stages a pass of the grade at hand needs, and whether the levels
    // are folded into the tone table (under the data mutex). `levelsApart`:
    // histogram passes, which need the picture before the levels, run.
    unsigned gradeStagesLocked(bool bypass, bool levelsApart, bool foldLevels) const;
    bool foldsLevelsLocked(bool bypass, bool levelsApart) const;
    // Grain selection under the data mutex; flags the map and the curve for
    // upload when they differ from those held.
    bool chooseGrainLocked(const QString& stock, double scale);
    // What the film textures are made from (under the data mutex).
    GradeTextures::Film filmLocked() const;

    // Frame passes.
    GradeSnapshot snapshot();
    // Makes ready the grading program of the grade at hand for a pass into
    // the owner's target (`histogramPass` false) or the histogram target.
    void bindGrading(const QMatrix4x4& matrix, bool bypass, int histogramNeeded, bool levelsApart, bool histogramPass);
    // Draws with the current program in the state at hand, clipped to
    // nothing, so that the driver finishes the program for that state.
    void drawOutOfSight(GradingPrograms::Target target);
    void setGradingUniformsLocked(bool bypass, int histogramNeeded);
    // What the glow pass reads for the grade source chosen, and its results
    // bound for the grading program.
    GlowPass::Source glowSource() const;
    void bindGlow();
    // The weave and flicker of the current frame (data mutex held).
    FilmMotion::Frame motionLocked() const;
    void selectColourOrder(unsigned int order, bool bypass);
    void runHistogramPasses(const QMatrix4x4& matrix, bool bypass);
    void destroyGLObjects();

    QOpenGLContext* m_context;
    bool m_initialized = false;
    bool m_glResolved = false;

    unsigned int m_sourceWidth = 0;
    unsigned int m_sourceHeight = 0;
    unsigned int m_outputWidth = 0;
    unsigned int m_outputHeight = 0;

    // The parts (GL thread, except the histogram's target and counts).
    GradingPrograms m_programs;
    ConversionPass m_conversion;
    BlurPass m_blur;
    GlowPass m_glow;
    HistogramPass m_histogram;
    std::vector<GLenum> m_targetFormats;
    GradeSource m_gradeSource = LinearSource;
    GradeOutput m_gradeOutput = PictureOutput;
    // Whether the grading pass at hand follows an edit of the grade (GL thread).
    bool m_editedFrame = false;

    // Grade state, guarded by m_dataMutex; the textures are uploaded under it.
    mutable QMutex m_dataMutex;
    GradeTables m_tables;
    GradeTextures m_textures;
    GrainChoice m_grain;
    StockTableData m_stockTable;
    // The stock and camera profile m_stockTable is of.
    QString m_stockName;
    quint32 m_stockProfile = 0;
    // Neutral until a whole grade is applied.
    float m_stockAmount = 0.f;
    float m_curveAmount = 0.f;
    float m_grainAmount = 0.f;
    // Gate weave and flicker amounts (0..1), and the current frame's motion.
    float m_weaveAmount = 0.f;
    float m_flickerAmount = 0.f;
    // Colour grain amount (0..1); the grain map whose RMS was measured.
    float m_colourGrainAmount = 0.f;
    const Grain* m_dyeRmsGrain = nullptr;
    float m_dyeMapRms = 0.f;
    // A grade edit since set-up or the last grading pass.
    bool m_gradeEdited = false;
    bool m_hasGrade = false;
    bool m_stockFailed = false;
    bool m_bypass = false;
    bool m_isBlackAndWhite = false;
    double m_grainScale = 1.0;
    float m_blurAmount = 0.f;
    float m_halationAmount = 0.f;
    float m_bloomAmount = 0.f;
    QString m_gauge;
    std::array<float, 3> m_blurWeights { { 1.f, 0.f, 0.f } };
    std::array<float, 2> m_grainOffset { { 0.f, 0.f } };
    quint32 m_clipSeed = 0;
    qint64 m_frame = -1;

    // Frame state (GL thread only).
    QMatrix4x4 m_defaultMatrix;
    unsigned int m_preparedMode = NoPass;
    unsigned int m_lastOrder = OrderRGBA;
};

} // namespace Emulsa
