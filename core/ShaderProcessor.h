#pragma once

#include "core/ClipSettings.h"
#include "core/FitMethod.h"
#include "core/GradeTables.h"
#include "core/StockTable.h"

#include <QImage>
#include <QMatrix4x4>
#include <QMutex>
#include <QObject>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions_4_0_Core>
#include <QOpenGLVertexArrayObject>

#include <array>
#include <atomic>
#include <memory>
#include <unordered_map>
#include <vector>

class QOpenGLContext;
class QOpenGLShaderProgram;

namespace Emulsa {

class Grain;
struct GrainCurve;

// Grades frames on the GPU: owns the grading ("EM"), colour-converter ("CC")
// and blur programs, their vertex arrays, every lookup table of the grade and
// its texture, the current stock table and grain, the blur framebuffer and a
// small framebuffer for the levels histogram.
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
        ExposureUpload = GradeTables::ExposureTable,
        LiftGammaGainUpload = GradeTables::LiftGammaGainTable,
        WheelsUpload = GradeTables::WheelsTable,
        LevelsUpload = GradeTables::LevelsTable,
        GrainMapUpload = 0x10,
        GrainCurveUpload = 0x20,
        StockTableUpload = 0x40,
        AllUploads = 0x7F
    };

    static constexpr int HistogramWidth = 512;
    static constexpr int HistogramHeight = 256;
    static constexpr int HistogramBins = 512;
    static constexpr int HistogramPixels = HistogramWidth * HistogramHeight;
    static constexpr int HistogramBufferBytes = HistogramPixels * 4;

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
    // blur, not black and white, and every table and matrix neutral (the
    // bypass copies); not in show-original mode and with no histogram to
    // fill. An owner may then use the converted source picture as the graded
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
    GLenum blurTargetFormat() const { return m_blurFormat; }
    // Whether the blur targets hold their source-sized storage: only once a
    // frame was blurred (at set-up they are 2 x 2, to choose the format).
    bool blurStorageAllocated() const { return m_blurStorageAllocated; }
    GLenum histogramTargetFormat() const { return m_histogramFormat; }
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
    std::array<float, 3> blurWeights() const;
    double grainScale() const;
    const Grain* grain() const;
    std::array<float, 2> grainOffset() const;
    void setGrainOffset(float x, float y);
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
    enum GradeStage : unsigned
    {
        StockStage = 1,
        GrainStage = 2,
        FinishStage = 4,
        StockMixStage = 8,
        MonoStage = 16,
        ToneStage = 32,
        AllGradeStages = StockStage | GrainStage | FinishStage | StockMixStage | MonoStage | ToneStage,
    };
    unsigned gradingProgramStages() const { return m_emKey & AllGradeStages; }
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
    // output is asked for with histogram passes); the linear source and the
    // picture output always can. GL thread.
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
    int gradingProgramsBuilt() const { return m_emProgramsBuilt; }
    // How many of those clipped draws were made.
    int gradingProgramWarmUps() const { return m_emWarmUps; }
    // Texture coordinates of the EM vertex array (12 floats, vertex order).
    const std::array<float, 12>& emTextureCoordinates() const { return m_emTextureCoordinates; }
    // Flags still waiting for the next grading pass.
    unsigned pendingUploads() const;
    // How many times a table's texture was uploaded (one Upload flag).
    unsigned uploadCount(Upload table) const;
    // How many times a grain was chosen (from the grain library) so far.
    int grainChoices() const;

    // ---- Pure helpers, public for the owners and tests. ----

    // The EM texture coordinates of a fit (12 floats in vertex order).
    static std::array<float, 12> fitTextureCoordinates(FitMethod fit, unsigned int sourceWidth,
        unsigned int sourceHeight, unsigned int outputWidth, unsigned int outputHeight);
    // Blur amount for a grain scale (compared exactly with the gauges'
    // single-precision factors); other values keep `previous`.
    static float blurAmountForScale(double scale, float previous);
    // Normalised 9-tap weights (w0, w1, w2) for an output width and amount.
    static std::array<float, 3> blurWeightsFor(unsigned int outputWidth, float amount);
    // Moves a grain offset to a random place a quarter to three quarters of
    // the frame away (modulo the frame), `random` supplying the randomness.
    static std::array<float, 2> movedGrainOffset(
        const std::array<float, 2>& offset, unsigned int width, unsigned int height, quint32 randomX, quint32 randomY);
    // Histogram of the read-back buffers into `target` (three arrays of 512
    // counts), using `bins` (3 x 512) as work space. `levelsPass` may be null
    // when `beforeLevels` is false.
    static void computeHistogram(const uchar* picture, const uchar* levelsPass, bool beforeLevels,
        quint32 (*bins)[HistogramBins], quint32* const* target);

signals:
    // The owner's histogram arrays hold new counts. Emitted on the GL thread.
    void histogramDataReady();
    // gradeApplied() changed. Emitted on the thread that applied the grade or
    // stock (connect with a queued connection from the GL or GUI side).
    void gradeAppliedChanged(bool applied);

private:
    struct EMLocations
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
    };
    struct CCLocations
    {
        int vertexPos = -1;
        int textCoordinate = -1;
        int matrix = -1;
    };
    struct BlurLocations
    {
        int vertexPos = -1;
        int textCoordinate = -1;
        int matrix = -1;
        int videoFrame = -1;
        int blurOffset = -1;
        int blurWeight = -1;
    };
    // What the grading pass needs, copied under the data mutex.
    struct GradeSnapshot
    {
        bool bypass = false;
        float blurAmount = 0.f;
        float blurOffsets[2] = { 0.f, 0.f };
        float blurWeights[3] = { 1.f, 0.f, 0.f };
    };

    // initialize() steps.
    bool initializeEMShaderPrograms(unsigned key = AllGradeStages);
    bool initializeCCShaderPrograms();
    bool initializeBlurShaderPrograms();
    bool resolveEMShaderLocations(unsigned key = AllGradeStages);
    bool resolveCCShaderLocations();
    bool resolveBlurShaderLocations();
    bool initializeEMVAOandVBO(FitMethod fit);
    bool initializeCCVAOandVBO();
    bool initializeBlurVAOandVBO();
    bool initializeEMSubroutines();
    bool initializeCCSubroutines();
    bool initializeBlurSubroutines();
    // Looks up the named subroutines and the number of subroutine uniform
    // locations of a program's fragment stage; false when one is missing.
    bool resolveSubroutines(
        GLuint program, const char* const* names, int count, const char* uniform, GLuint* indices, GLint* locations);
    bool initializeTextures();
    bool initializeBlurTextures();
    bool initializeBlurFBO();
    // Allocates `texture` at width x height in the first target format that
    // makes `fbo` (texture on colour attachment 0) complete; 0 when none.
    GLenum attachRenderableTexture(GLuint fbo, GLuint texture, GLsizei width, GLsizei height);
    // Records the outcome of a stock or grade request; emits on a change.
    void setGradeOutcome(bool stockApplied, bool wholeGrade);
    bool initializeHistogramTextureAndFBO();
    void debugEMSubroutines();
    bool fail(const char* message);

    bool buildProgram(std::unique_ptr<QOpenGLShaderProgram>& program, const char* name, const QString& vertexFile,
        const QString& fragmentFile, const char* positionName, const char* coordinateName,
        const QByteArray& fragmentDefines = QByteArray());
    // The stages a pass of the grade at hand needs, and whether the levels
    // are folded into the tone table (under the data mutex). `levelsApart`:
    // histogram passes, which need the picture before the levels, run.
    unsigned gradeStagesLocked(bool bypass, bool levelsApart, bool foldLevels) const;
    bool foldsLevelsLocked(bool bypass, bool levelsApart) const;
    // Makes the grading program for `key` (stages, plus the source times 4)
    // the current one (m_emProgram, m_em and its subroutine indices), building
    // it on first use; false, the current one kept, when it can't be built.
    bool useEMProgram(unsigned key);
    bool buildVertexArray(QOpenGLVertexArrayObject& vao, QOpenGLBuffer& vertices, QOpenGLBuffer& coordinates,
        const float* textureCoordinates, bool blur);
    void logPendingErrors();
    GLuint createTexture(GLenum target, GLenum filter);
    // Stores an interleaved (R, G, B) table as a one-channel 1D array texture,
    // one layer per channel (`allocate`: storage made, otherwise replaced).
    void uploadChannelTable(const float* rgb, int entries, bool allocate);

    // Grain selection under the data mutex; flags the map and the curve for
    // upload when they differ from those held.
    bool chooseGrainLocked(const QString& stock, double scale);

    // Frame passes.
    GradeSnapshot snapshot();
    void blurFrame(const GradeSnapshot& grade);
    void allocateBlurStorage();
    // Makes ready the grading program of the grade at hand for a pass into
    // the owner's target (`histogramPass` false) or the histogram target.
    void bindGrading(const QMatrix4x4& matrix, bool bypass, int histogramNeeded, bool levelsApart, bool histogramPass);
    // Whether the program of `key` was drawn with into that kind of target.
    bool programDrawn(unsigned key, int target) const;
    // Draws with the current program in the state at hand, clipped to
    // nothing, so that the driver finishes the program for that state.
    void drawOutOfSight(int target);
    void setGradingUniformsLocked(bool bypass, int histogramNeeded);
    void uploadTexturesLocked(bool bypass, bool foldLevels);
    // Composes the tone table (lift/gamma/gain, wheels, the levels when
    // folded) into the wheels texture, allocating its storage when asked
    // (under the data mutex).
    void uploadToneLocked(bool bypass, bool foldLevels, bool allocate = false);
    void bindGradingTextures();
    void selectColourOrder(unsigned int order, bool bypass);
    // Points every subroutine uniform of the bound program's fragment stage
    // (locations of them) at one subroutine.
    void useSubroutine(GLuint index, GLint locations);
    void runHistogramPasses(const QMatrix4x4& matrix, bool bypass);
    void destroyGLObjects();

    QOpenGLContext* m_context;
    bool m_initialized = false;
    bool m_glResolved = false;

    unsigned int m_sourceWidth = 0;
    unsigned int m_sourceHeight = 0;
    unsigned int m_outputWidth = 0;
    unsigned int m_outputHeight = 0;

    // Programs, vertex arrays and variable locations.
    std::unique_ptr<QOpenGLShaderProgram> m_emProgram;
    std::unique_ptr<QOpenGLShaderProgram> m_ccProgram;
    std::unique_ptr<QOpenGLShaderProgram> m_blurProgram;
    QOpenGLVertexArrayObject m_emVao;
    QOpenGLVertexArrayObject m_ccVao;
    QOpenGLVertexArrayObject m_blurVao;
    QOpenGLBuffer m_emVertexBuffer;
    QOpenGLBuffer m_emTextureBuffer;
    QOpenGLBuffer m_ccVertexBuffer;
    QOpenGLBuffer m_ccTextureBuffer;
    QOpenGLBuffer m_blurVertexBuffer;
    QOpenGLBuffer m_blurTextureBuffer;
    std::array<float, 12> m_emTextureCoordinates {};
    EMLocations m_em;
    CCLocations m_cc;
    BlurLocations m_blur;

    // Subroutine indices, by colour order (RGBA, ARGB, BGRA), by CC pass
    // (modes 2 to 5) and by blur direction (horizontal, vertical).
    GLuint m_emOrderIndices[3] = { 0, 0, 0 };
    GLint m_emSubroutineCount = 0;
    // Grading programs not in use, by key (stages + 64 x source + 512 x
    // output); m_emKey is that of m_emProgram.
    struct EMProgram
    {
        std::unique_ptr<QOpenGLShaderProgram> program;
        EMLocations locations;
        GLuint orderIndices[3] = { 0, 0, 0 };
        GLint subroutineCount = 0;
        bool failed = false;
        // Drawn with into the owner's target, the histogram target.
        bool drawn[2] = { false, false };
    };
    static constexpr unsigned kEMSourceShift = 6;
    static constexpr unsigned kEMOutputShift = 9;
    static_assert(AllGradeStages < (1u << kEMSourceShift), "stage bits overlap");
    static_assert((PackedFullFilteredSource << kEMSourceShift) < (1u << kEMOutputShift), "source bits overlap");
    std::unordered_map<unsigned, EMProgram> m_emPrograms;
    unsigned m_emKey = AllGradeStages;
    GradeSource m_gradeSource = LinearSource;
    GradeOutput m_gradeOutput = PictureOutput;
    int m_emProgramsBuilt = 0;
    int m_emWarmUps = 0;
    // m_emProgram drawn with into the owner's target, the histogram target.
    bool m_emDrawn[2] = { false, false };
    // Whether the grading pass at hand follows an edit of the grade (GL thread).
    bool m_editedFrame = false;
    GLuint m_ccIndices[4] = { 0, 0, 0, 0 };
    GLint m_ccSubroutineCount = 0;
    GLuint m_blurIndices[2] = { 0, 0 };
    GLint m_blurSubroutineCount = 0;

    // Textures and framebuffers.
    GLuint m_grainMapTexture = 0;
    GLuint m_grainCurveTexture = 0;
    GLuint m_stockTexture = 0;
    GLuint m_levelsTexture = 0;
    GLuint m_exposureTexture = 0;
    // The tone table: lift/gamma/gain, the wheels, the levels when folded.
    GLuint m_wheelsTexture = 0;
    // Blur: texture A on framebuffer A, texture B on framebuffer B, so that
    // no step draws into a framebuffer holding the texture it samples.
    GLuint m_blurTextures[2] = { 0, 0 };
    GLuint m_blurFbos[2] = { 0, 0 };
    GLuint m_histogramTexture = 0;
    GLuint m_histogramFbo = 0;
    std::array<int, 2> m_grainMapTextureSize { { 0, 0 } };
    std::vector<GLenum> m_targetFormats;
    std::vector<float> m_channelScratch;
    GLenum m_blurFormat = 0;
    bool m_blurStorageAllocated = false;
    GLenum m_histogramFormat = 0;

    // Grade state, guarded by m_dataMutex.
    mutable QMutex m_dataMutex;
    GradeTables m_tables;
    StockTableData m_stockTable;
    // The stock and camera profile m_stockTable is of.
    QString m_stockName;
    quint32 m_stockProfile = 0;
    const Grain* m_grain = nullptr;
    const GrainCurve* m_grainCurve = nullptr;
    // What m_grain was chosen for: stock, scale and output size.
    QString m_grainStock;
    double m_grainChoiceScale = 0.0;
    std::array<unsigned int, 2> m_grainChoiceSize { { 0, 0 } };
    int m_grainChoices = 0;
    unsigned m_filmUploads = GrainMapUpload | GrainCurveUpload | StockTableUpload;
    bool m_texturesHoldBypass = false;
    bool m_toneHoldsLevels = false;
    GradeTables::RgbTable m_toneTable {};
    std::array<unsigned, 7> m_uploadCounts {};
    // Neutral until a whole grade is applied.
    float m_stockAmount = 0.f;
    float m_curveAmount = 0.f;
    float m_grainAmount = 0.f;
    // A grade edit since set-up or the last grading pass.
    bool m_gradeEdited = false;
    bool m_hasGrade = false;
    bool m_stockFailed = false;
    bool m_bypass = false;
    bool m_isBlackAndWhite = false;
    double m_grainScale = 1.0;
    float m_blurAmount = 0.f;
    float m_blurOffsets[2] = { 1.3846154f, 3.2307692f };
    std::array<float, 3> m_blurWeights { { 1.f, 0.f, 0.f } };
    std::array<float, 2> m_grainOffset { { 0.f, 0.f } };
    std::array<int, 2> m_grainSize { { 0, 0 } };

    // Frame state (GL thread only).
    QMatrix4x4 m_defaultMatrix;
    unsigned int m_preparedMode = NoPass;
    unsigned int m_lastOrder = OrderRGBA;

    // Histogram, guarded by m_histogramMutex.
    mutable QMutex m_histogramMutex;
    bool m_histogramDrawn = false;
    quint32** m_histogramTarget = nullptr;
    alignas(16) uchar m_histogramA[HistogramBufferBytes];
    alignas(16) uchar m_histogramB[HistogramBufferBytes];
    quint32 m_bins[3][HistogramBins];
};

} // namespace Emulsa
