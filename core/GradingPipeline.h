#pragma once

#include "core/ShaderProcessor.h"
#include "core/grade/PackedOutput.h"

#include <QOpenGLFunctions_4_0_Core>

namespace Emulsa {

// The frame textures and framebuffers an owner of a shader processor needs
// to grade without a window, and the passes in the order owners run them:
//
//   uploadYuy2()        packed frame bytes -> source texture (RGBA8, or RGBA16
//                       for 16-bit samples; source size)
//   convertInputPass()  source texture -> linear texture (RGBA32F), pass 2 or 4
//   gradePass()         linear texture -> graded texture (RGBA32F, output size), pass 1
//   convertOutputPass() graded texture -> packed output (RGBA8), pass 3 or 5
//   packedOutput().read()  the packed output -> packed YUY2 bytes
//
// gradeToYuy2() stands for the three passes between upload and read.
//
// Or, to draw the next frame while the last one is read, packedOutput()'s
// beginRead() after the output conversion and finishRead() later (see
// PackedOutput).
//
// An RGB source skips the first two steps with uploadRgb(). When the grade
// is neutral (ShaderProcessor::gradeIsNeutral()) and the output has the
// source's size, gradePass() draws nothing and the linear texture stands for
// the graded one: the output conversion and the reads use it. The graded
// texture keeps row 0 at the top of the picture, like the source; the YUY2
// read-back is top row first.
//
// gradeFromSource() stands for the input conversion and the grading pass:
// without blur (which reads the linear picture), the grading program converts
// the packed texels itself (the nearest one when the output falls on the
// source one to one, else filtered linearly) and the linear picture is never
// drawn.
//
// The graded texture gets its output-sized storage from the first grading
// pass that draws (a neutral grade never needs it), the linear texture from
// the first input conversion or RGB upload.
//
// All calls need the context current on the calling thread; nothing is
// allocated per frame.
class GradingPipeline
{
public:
    // Colour ranges of the asset (AssetMetadata::colorRange).
    enum ColorRange
    {
        LimitedRange = 1,
        FullRange = 2
    };

    explicit GradingPipeline(QOpenGLFunctions_4_0_Core* gl);
    ~GradingPipeline(); // the context must be current

    GradingPipeline(const GradingPipeline&) = delete;
    GradingPipeline& operator=(const GradingPipeline&) = delete;

    // Creates the textures and framebuffers. Sizes must be even in width and
    // at least 2 x 2. Returns false (and logs) on failure.
    bool initialize(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight);

    // Packed YUY2 frame bytes, `stride` bytes per row (0: rows without
    // padding). With `bitsPerSample` 16 each sample is a native 16-bit
    // number at full scale, 8 bytes per pixel pair: the source texture
    // becomes RGBA16 (and RGBA8 again for an 8-bit frame). The passes read
    // normalised texels on the 8-bit scale, so both depths grade alike: deep
    // samples must stand where the 8-bit level they carry would (video white
    // at 235/255; the source side scales them so).
    void uploadYuy2(const void* bytes, int stride = 0, int bitsPerSample = 8);
    // Bits of each sample of the source texture: 8, or 16 after a deep upload.
    int sourceBitsPerSample() const { return m_sourceBitsPerSample; }
    // An RGB picture straight into the linear texture: 4 floats per pixel,
    // row 0 at the top.
    void uploadRgb(const float* rgba);

    void convertInputPass(ShaderProcessor* processor, ColorRange range);
    // `colourOrder`: ShaderProcessor::ColourOrder.
    void gradePass(ShaderProcessor* processor, unsigned int colourOrder = 0xFFFFFFFF);
    // The uploaded packed frame graded: convertInputPass() and gradePass(),
    // or one pass when the grading program can read the packed frame. The
    // linear picture is then not current (readLinear() is not meaningful).
    void gradeFromSource(ShaderProcessor* processor, ColorRange range, unsigned int colourOrder = 0xFFFFFFFF);
    // What the grading program reads for gradeFromSource() in one pass.
    ShaderProcessor::GradeSource packedSource(const ShaderProcessor* processor, ColorRange range) const;
    // Whether gradeFromSource() would grade in one pass.
    bool gradesFromSourceInOnePass(const ShaderProcessor* processor, unsigned int colourOrder = 0xFFFFFFFF) const;
    // True when the last gradeFromSource() graded in one pass.
    bool gradedInOnePass() const { return m_gradedInOnePass; }
    bool linearStorageAllocated() const { return m_linearStorageAllocated; }
    // Whether a neutral grade may skip the grading pass (default true); off,
    // every grading pass draws.
    void setSkipsNeutralGrade(bool skip) { m_skipsNeutralGrade = skip; }
    // Whether the output's pixels fall on the source's one to one: the same
    // size, the picture stretched (which then fills the frame exactly).
    bool isOneToOne(const ShaderProcessor* processor) const;
    // Whether the passes would hand the packed picture back as it came (up
    // to the rounding of the two conversions): a neutral grade, one to one,
    // with skipping on, from an 8-bit upload. Owners may then pass the frame
    // bytes on untouched.
    bool passesPictureThrough(const ShaderProcessor* processor) const;
    // Whether the graded texture holds its output-sized storage: from the
    // first grading pass that draws.
    bool gradedStorageAllocated() const { return m_gradedStorageAllocated; }
    // True when the last gradePass() drew nothing.
    bool gradePassSkipped() const { return m_gradeSkipped; }
    void convertOutputPass(ShaderProcessor* processor, ColorRange range);
    // The uploaded packed frame graded and packed for the packed output:
    // gradeFromSource() and convertOutputPass(), or, when the grading program
    // can read the packed frame and there are no histogram passes, one pass
    // that writes the packed frame itself (no graded texture drawn: it stays
    // as it was, and its storage is not made).
    void gradeToYuy2(ShaderProcessor* processor, ColorRange inputRange, ColorRange outputRange);
    // True when the last gradeToYuy2() drew the packed frame in one pass.
    bool packedInOnePass() const { return m_packedInOnePass; }

    // The packed frame the output conversion draws, and its read-back; 16
    // bits a sample (setSampleBits()) keep the conversion's values for
    // encoders of more than 8 bits.
    PackedOutput& packedOutput() { return m_packed; }

    // The graded picture: output width x height x 4 floats, top row first.
    void readGraded(float* rgba);
    // The graded picture as 8-bit RGBA, top row first.
    void readGraded(unsigned char* rgba);
    // The graded picture as 16-bit RGBA (0..65535), top row first.
    void readGraded(unsigned short* rgba);
    // The converted source picture: source size x 4 floats, top row first.
    void readLinear(float* rgba);

    int sourceWidth() const { return m_sourceWidth; }
    int sourceHeight() const { return m_sourceHeight; }
    int outputWidth() const { return m_outputWidth; }
    int outputHeight() const { return m_outputHeight; }
    GLuint sourceTexture() const { return m_sourceTexture; }
    GLuint linearTexture() const { return m_linearTexture; }
    // The texture holding the last graded picture: the linear texture when
    // the grading pass was skipped.
    GLuint gradedTexture() const { return m_gradeSkipped ? m_linearTexture : m_gradedTexture; }

private:
    GLuint createTexture(GLenum internalFormat, int width, int height, GLenum minFilter, GLenum magFilter);
    void destroy();
    void allocateLinearStorage();
    // Whether a neutral grade lets the grading pass be skipped.
    bool skipsGrade(const ShaderProcessor* processor, unsigned int colourOrder) const;
    // The grading pass reading `picture` on unit 0 into the graded texture.
    void drawGrade(ShaderProcessor* processor, unsigned int colourOrder, GLuint picture);
    // Draws the prepared pass into the packed target's rows, then finishes it.
    void drawPackedRows(ShaderProcessor* processor);

    QOpenGLFunctions_4_0_Core* m_gl;
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    int m_outputWidth = 0;
    int m_outputHeight = 0;
    GLuint m_sourceTexture = 0;
    GLuint m_linearTexture = 0;
    GLuint m_gradedTexture = 0;
    int m_sourceBitsPerSample = 8;
    // One texture or buffer each, so that no pass draws into a framebuffer
    // that holds the texture it samples: the linear picture (input
    // conversion), the graded picture and the packed output.
    GLuint m_linearFbo = 0;
    GLuint m_gradedFbo = 0;
    PackedOutput m_packed;
    bool m_skipsNeutralGrade = true;
    bool m_gradedStorageAllocated = false;
    bool m_linearStorageAllocated = false;
    bool m_gradedInOnePass = false;
    bool m_packedInOnePass = false;
    bool m_gradeSkipped = false;
    GLenum m_linearFilter = GL_LINEAR;
};

} // namespace Emulsa
