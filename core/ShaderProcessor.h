#pragma once

#include "core/ClipSettings.h"
#include "core/FitMethod.h"
#include "core/grade/BlurPass.h"
#include "core/grade/ConversionPass.h"
#include "core/grade/FilmMotion.h"
#include "core/grade/GlowPass.h"
#include "core/grade/GradeState.h"
#include "core/grade/GradeTextures.h"
#include "core/grade/GradingPrograms.h"
#include "core/grade/HistogramPass.h"

#include <QImage>
#include <QMatrix4x4>
#include <QObject>
#include <QOpenGLFunctions_4_0_Core>

#include <atomic>
#include <vector>

class QOpenGLContext;

namespace Emulsa {

// Grades frames on the GPU: owns the grading ("EM"), colour-converter ("CC")
// and blur programs, their vertex arrays, every lookup table of the grade and
// its texture, the current stock table and grain, the blur framebuffer and a
// small framebuffer for the levels histogram.
//
// The work is done by parts with one job each (core/grade/): the grade
// (GradeState: the tables, the stock table and grain, the amounts, the
// textures), the grading programs, the colour converter, the blur pass, the
// glow pass (halation and bloom) and the histogram pass. The processor loads
// the stock tables, builds the parts and runs the frame passes in order.
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
// setters may be called from any thread: they rebuild tables under the
// grade's mutex and the next grading pass uploads what changed.
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
    bool gradeApplied() const { return m_grade.applied(); }
    // True when a grading pass would change nothing: the grade is neutral
    // (GradeState::isNeutral()) and there is no histogram to fill. An owner
    // may then use the converted source picture as the graded one
    // (GradingPipeline does when the sizes match). GL thread.
    bool gradeIsNeutral() const { return !m_histogram.hasTarget() && m_grade.isNeutral(); }
    // Rebuilds the exposure/temperature table only.
    void setExposureAndKelvin(float exposure, float kelvin) { m_grade.setExposureAndKelvin(exposure, kelvin); }

    // Single grade edits from the grading panel (the amounts are 0..1 or 0..2).
    void setStockAmount(float amount) { m_grade.setStockAmount(amount); }
    void setCurveAmount(float amount) { m_grade.setCurveAmount(amount); }
    void setGrainAmount(float amount) { m_grade.setGrainAmount(amount); }
    void setColorWheels(const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high)
    {
        m_grade.setColorWheels(low, mid, high);
    }
    void setLiftGammaGain(float lift, float gamma, float gain) { m_grade.setLiftGammaGain(lift, gamma, gain); }
    void setSaturation(float saturation) { m_grade.setSaturation(saturation); }
    void setLevels(const HistogramSliderData& levels) { m_grade.setLevels(levels); }
    // Show the ungraded picture; flags the tables so the next pass swaps them.
    void setBypass(bool bypass) { m_grade.setBypass(bypass); }

    // The grade drawn: its amounts, grain, film effects, the frame's
    // identity and its textures' uploads (any thread).
    GradeState& grade() { return m_grade; }
    const GradeState& grade() const { return m_grade; }

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
    QImage currentFrameImage() const { return m_histogram.currentFrameImage(); }

    // Internal formats tried, in order, for the blur, glow and histogram
    // render targets: the first one that makes a complete framebuffer is
    // used. RGB32F, which OpenGL 4.0 does not require to be renderable, then
    // RGBA32F, RGBA16F and RGBA8. Set before initialize() to change the list.
    void setRenderTargetFormats(const std::vector<GLenum>& formats) { m_targetFormats = formats; }

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
    // The parts: the grading programs (how many were built, the stages of
    // the one last used, the vertex array's texture coordinates), the blur,
    // glow and histogram passes (their target formats and runs).
    const GradingPrograms& programs() const { return m_programs; }
    const BlurPass& blurPass() const { return m_blur; }
    const GlowPass& glowPass() const { return m_glow; }
    const HistogramPass& histogramPass() const { return m_histogram; }

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
    // the grade reads the linear picture); the linear source and the picture
    // output always can. GL thread.
    //
    // The grading program holds only the stages the grade at hand needs
    // (GradingPrograms' stages), one program per set of stages used. While
    // the grade is edited (a grading pass after a grade setter was called,
    // since set-up or the previous pass) none is built: a set of stages not
    // drawn with yet is graded by the whole program (every stage) until a
    // pass comes with no edit before it. The whole program is drawn once,
    // clipped to nothing, by the first pass into each kind of target (the
    // owner's, the histogram's), so that a driver that finishes programs on
    // their first draw does it then, not during an edit.
    bool setGradeSource(GradeSource source, GradeOutput output = PictureOutput);
    GradeSource gradeSource() const { return m_gradeSource; }
    GradeOutput gradeOutput() const { return m_gradeOutput; }

signals:
    // The owner's histogram arrays hold new counts. Emitted on the GL thread.
    void histogramDataReady();
    // gradeApplied() changed. Emitted on the thread that applied the grade or
    // stock (connect with a queued connection from the GL or GUI side).
    void gradeAppliedChanged(bool applied);

private:
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

    // Frame passes.
    // Makes ready the grading program of the grade at hand for a pass into
    // the owner's target (`histogramPass` false) or the histogram target.
    void bindGrading(const QMatrix4x4& matrix, bool bypass, int histogramNeeded, bool levelsApart, bool histogramPass);
    // Draws with the current program in the state at hand, clipped to
    // nothing, so that the driver finishes the program for that state.
    void drawOutOfSight(GradingPrograms::Target target);
    // What the glow pass reads for the grade source chosen, and its results
    // bound for the grading program.
    GlowPass::Source glowSource() const;
    void bindGlow();
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

    // The grade, under its own mutex; its textures are uploaded under it.
    GradeState m_grade;

    // Frame state (GL thread only).
    QMatrix4x4 m_defaultMatrix;
    unsigned int m_preparedMode = NoPass;
    unsigned int m_lastOrder = OrderRGBA;
};

} // namespace Emulsa
