// ShaderProcessor: building the GL side (initialize and its steps).

#include "core/ShaderProcessor.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/Grain.h"
#include "core/GrainCurve.h"
#include "core/GrainLibrary.h"

#include <QDebug>
#include <QFile>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>

#include <vector>

namespace Emulsa {

namespace {

// Two triangles covering the viewport.
const float kVertices[12] = { -1.f, -1.f, -1.f, 1.f, 1.f, 1.f, -1.f, -1.f, 1.f, 1.f, 1.f, -1.f };
// The converter keeps texture row 0 at the bottom (no flip).
const float kCCTextureCoordinates[12] = { 0.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f };
// The blur puts texture row 0 at the top: each draw flips the picture.
const float kBlurTextureCoordinates[12] = { 0.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 1.f, 1.f };

const char* const kEMOrderNames[3] = { "toRGBA", "toARGB", "toBGRA" };
const char* const kCCPassNames[4] = { "convertLimitedYUY2toComputerRGB", "convertComputerRGBToLimitedYUY2",
    "convertFullYUY2toComputerRGB", "convertComputerRGBToFullYUY2" };
const char* const kBlurNames[2] = { "horizontalBlur", "verticalBlur" };

// Most subroutine uniform locations a program of ours may have.
constexpr GLint kMaxSubroutineLocations = 4;

} // namespace

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
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        m_outputWidth = width;
        m_outputHeight = height;
        // Blur weights depend on the output width, unknown until now.
        m_blurWeights = blurWeightsFor(m_outputWidth, m_blurAmount);
    }

    // 2. OpenGL functions, on the processor's context.
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (!current || (m_context && current != m_context) || !initializeOpenGLFunctions())
        return fail("Could not initialize shader openGL functions helper");
    m_context = current;
    m_glResolved = true;

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
    if (settings) {
        AnnotatedMutexLocker lock(&m_dataMutex);
        if (GrainLibrary::instance()->getGrainCurve(settings->getStockName()))
            chooseGrainLocked(settings->getStockName(), double(settings->getGrainScale()));
    }
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
    {
        AnnotatedMutexLocker lock(&m_histogramMutex);
        m_histogramTarget = histogram;
    }
    {
        // The clip's own grade is no edit: its first pass builds its program.
        AnnotatedMutexLocker lock(&m_dataMutex);
        m_gradeEdited = false;
    }

    // 11. Whatever the driver still reports.
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        qWarning().noquote() << "ShaderProcessor: Error during initialisation:" << error;
    m_initialized = true;
    return true;
}

bool ShaderProcessor::buildProgram(std::unique_ptr<QOpenGLShaderProgram>& program, const char* name,
    const QString& vertexFile, const QString& fragmentFile, const char* positionName, const char* coordinateName,
    const QByteArray& fragmentDefines)
{
    program = std::make_unique<QOpenGLShaderProgram>();
    if (!program->create()) {
        qWarning().noquote() << "ShaderProcessor: Could not instantiate" << name << "shaders program";
        return false;
    }
    if (!program->addShaderFromSourceFile(QOpenGLShader::Vertex, vertexFile)) {
        qWarning().noquote() << "ShaderProcessor: Error when compiling" << name << "vertex shader:" << program->log();
        return false;
    }
    // Defines go right after the #version line, which must come first.
    QFile file(fragmentFile);
    QByteArray source = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const int lineEnd = source.indexOf('\n');
    source.insert(lineEnd + 1, fragmentDefines);
    if (lineEnd < 0 || !program->addShaderFromSourceCode(QOpenGLShader::Fragment, source)) {
        qWarning().noquote() << "ShaderProcessor: Error when compiling" << name << "fragment shader:" << program->log();
        return false;
    }
    program->bindAttributeLocation(positionName, 0);
    program->bindAttributeLocation(coordinateName, 1);
    if (!program->link()) {
        qWarning().noquote() << "ShaderProcessor: Error when linking" << name << "shader:" << program->log();
        return false;
    }
    return true;
}

bool ShaderProcessor::initializeEMShaderPrograms(unsigned key)
{
    const unsigned stages = key & AllGradeStages;
    const QByteArray defines = key == AllGradeStages
        ? QByteArray()
        : QByteArrayLiteral("#define EM_STOCK ") + ((stages & StockStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_GRAIN ") + ((stages & GrainStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_FINISH ") + ((stages & FinishStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_STOCK_MIX ") + ((stages & StockMixStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_MONO ") + ((stages & MonoStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_TONE ") + ((stages & ToneStage) ? "1" : "0")
            + QByteArrayLiteral("\n#define EM_SOURCE ") + QByteArray::number((key >> kEMSourceShift) & 7)
            + QByteArrayLiteral("\n#define EM_OUTPUT ") + QByteArray::number(key >> kEMOutputShift) + "\n";
    if (!buildProgram(m_emProgram, "EM", QStringLiteral(":/em.v.glsl"), QStringLiteral(":/em.f.glsl"), "inVertexPos",
            "inTextCoordinate", defines))
        return false;
    ++m_emProgramsBuilt;
    if (key != AllGradeStages)
        return true;
    qDebug().noquote() << "ShaderProcessor: glGetAttribLocation inVertexPos:"
                       << m_emProgram->attributeLocation("inVertexPos");
    qDebug().noquote() << "ShaderProcessor: glGetAttribLocation inTextCoordinate:"
                       << m_emProgram->attributeLocation("inTextCoordinate");
    qDebug().noquote() << "ShaderProcessor: Main Shader compile and link successfully.";
    return true;
}

bool ShaderProcessor::initializeCCShaderPrograms()
{
    return buildProgram(m_ccProgram, "CC", QStringLiteral(":/colorConverter.v.glsl"),
        QStringLiteral(":/colorConverter.f.glsl"), "inCCVertexPos", "inCCTextCoordinate");
}

bool ShaderProcessor::initializeBlurShaderPrograms()
{
    return buildProgram(m_blurProgram, "Blur", QStringLiteral(":/blur.v.glsl"), QStringLiteral(":/blur.f.glsl"),
        "inVertexPos", "inTextCoordinate");
}

namespace {

bool resolveAttribute(QOpenGLShaderProgram* program, const char* name, int* location)
{
    *location = program->attributeLocation(name);
    if (*location < 0)
        qWarning().noquote() << "ShaderProcessor: unable to resolve" << QStringLiteral("\"%1\"").arg(name)
                             << "shader location";
    return *location >= 0;
}

// `required` false: a variable of a stage left out of the program, absent
// there (location -1, which every uniform call ignores).
bool resolveUniform(QOpenGLShaderProgram* program, const char* name, int* location, bool required = true)
{
    *location = program->uniformLocation(name);
    if (!required)
        return true;
    if (*location < 0)
        qWarning().noquote() << "ShaderProcessor: unable to resolve" << QStringLiteral("\"%1\"").arg(name)
                             << "shader location";
    return *location >= 0;
}

} // namespace

bool ShaderProcessor::resolveEMShaderLocations(unsigned key)
{
    QOpenGLShaderProgram* p = m_emProgram.get();
    const bool stock = key & StockStage;
    const bool grain = key & GrainStage;
    const bool finish = key & FinishStage;
    const bool stockMix = key & StockMixStage;
    const bool mono = key & MonoStage;
    const bool tone = key & ToneStage;
    // A program writing the packed frame places its pixels itself.
    const bool packedOutput = (key >> kEMOutputShift) != PictureOutput;
    if (packedOutput)
        m_em.textCoordinate = p->attributeLocation("inTextCoordinate");
    const bool resolved = resolveAttribute(p, "inVertexPos", &m_em.vertexPos)
        && (packedOutput || resolveAttribute(p, "inTextCoordinate", &m_em.textCoordinate))
        && resolveUniform(p, "uniMatrix", &m_em.matrix) && resolveUniform(p, "uniFrameTextureArray", &m_em.frameTexture)
        && resolveUniform(p, "uniExposureArray", &m_em.exposure)
        && resolveUniform(p, "uniBallsArray", &m_em.balls, tone)
        && resolveUniform(p, "uniGrainMapArray", &m_em.grainMap, grain)
        && resolveUniform(p, "uniGrainCurveArray", &m_em.grainCurve, grain)
        && resolveUniform(p, "uniStockLUTArray", &m_em.stockLUT, stock)
        && resolveUniform(p, "uniGrainAmount", &m_em.grainAmount, grain)
        && resolveUniform(p, "uniGrainColorfulness", &m_em.grainColorfulness, grain)
        && resolveUniform(p, "uniGrainOffset", &m_em.grainOffset, grain)
        && resolveUniform(p, "uniGrainSize", &m_em.grainSize, grain)
        // The stock's amount: needed by its mixing; otherwise read only for a
        // picture's alpha, which a packed frame does not have.
        && resolveUniform(p, "uniStockLUTAmount", &m_em.stockLUTAmount, stockMix)
        && resolveUniform(p, "uniStockCurveAmount", &m_em.stockCurveAmount, stockMix)
        && resolveUniform(p, "uniSaturation", &m_em.saturation, finish)
        && resolveUniform(p, "uniBlackAndWhite", &m_em.blackAndWhite, mono)
        && resolveUniform(p, "uniHistogramArray", &m_em.histogram, finish)
        && resolveUniform(p, "uniHistogramNeeded", &m_em.histogramNeeded, finish)
        // Not read one to one without grain: the source pixels are the output's.
        && resolveUniform(p, "uniOutputMapping", &m_em.outputMapping, false)
        && resolveUniform(p, "uniOutputSize", &m_em.outputSize, packedOutput);
    if (!resolved)
        return false;

    // Sampler units, once.
    p->bind();
    p->setUniformValue(m_em.frameTexture, 0);
    p->setUniformValue(m_em.grainMap, 1);
    p->setUniformValue(m_em.grainCurve, 2);
    p->setUniformValue(m_em.stockLUT, 3);
    p->setUniformValue(m_em.histogram, 4);
    p->setUniformValue(m_em.exposure, 5);
    p->setUniformValue(m_em.balls, 8);
    p->release();
    return true;
}

bool ShaderProcessor::resolveCCShaderLocations()
{
    QOpenGLShaderProgram* p = m_ccProgram.get();
    return resolveAttribute(p, "inCCVertexPos", &m_cc.vertexPos)
        && resolveAttribute(p, "inCCTextCoordinate", &m_cc.textCoordinate)
        && resolveUniform(p, "uniCCMatrix", &m_cc.matrix);
}

bool ShaderProcessor::resolveBlurShaderLocations()
{
    QOpenGLShaderProgram* p = m_blurProgram.get();
    const bool resolved = resolveAttribute(p, "inVertexPos", &m_blur.vertexPos)
        && resolveAttribute(p, "inTextCoordinate", &m_blur.textCoordinate)
        && resolveUniform(p, "uniMatrix", &m_blur.matrix) && resolveUniform(p, "uniVideoFrame", &m_blur.videoFrame)
        && resolveUniform(p, "uniBlurOffset", &m_blur.blurOffset)
        && resolveUniform(p, "uniBlurWeight", &m_blur.blurWeight);
    if (!resolved)
        return false;
    p->bind();
    p->setUniformValue(m_blur.videoFrame, 0);
    p->release();
    return true;
}

bool ShaderProcessor::buildVertexArray(QOpenGLVertexArrayObject& vao, QOpenGLBuffer& vertices,
    QOpenGLBuffer& coordinates, const float* textureCoordinates, bool blur)
{
    if (!vao.create()) {
        qWarning().noquote() << (blur ? "ShaderProcessor: Could not instantiate blur VAO"
                                      : "ShaderProcessor: Could not instantiate main VAO");
        return false;
    }
    vao.bind();
    vertices = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    if (!vertices.create()) {
        qWarning().noquote() << (blur ? "ShaderProcessor: Could not instantiate blur vertice VBO"
                                      : "ShaderProcessor: Could not instantiate main vertice VBO");
        vao.release();
        return false;
    }
    vertices.setUsagePattern(QOpenGLBuffer::StaticDraw);
    vertices.bind();
    vertices.allocate(kVertices, sizeof(kVertices));
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);

    coordinates = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    if (!coordinates.create()) {
        qWarning().noquote() << (blur ? "ShaderProcessor: Could not instantiate blur texture VBO"
                                      : "ShaderProcessor: Could not instantiate main texture VBO");
        vao.release();
        return false;
    }
    coordinates.setUsagePattern(QOpenGLBuffer::StaticDraw);
    coordinates.bind();
    coordinates.allocate(textureCoordinates, int(12 * sizeof(float)));
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(1);
    vao.release();
    coordinates.release();
    return true;
}

bool ShaderProcessor::initializeEMVAOandVBO(FitMethod fit)
{
    m_emTextureCoordinates = fitTextureCoordinates(fit, m_sourceWidth, m_sourceHeight, m_outputWidth, m_outputHeight);
    if (!buildVertexArray(m_emVao, m_emVertexBuffer, m_emTextureBuffer, m_emTextureCoordinates.data(), false))
        return false;
    qDebug().noquote() << "ShaderProcessor: EM VAO id:" << m_emVao.objectId();
    qDebug().noquote() << "ShaderProcessor: EM Vertice VBO id:" << m_emVertexBuffer.bufferId();
    qDebug().noquote() << "ShaderProcessor: EM Texture VBO id:" << m_emTextureBuffer.bufferId();
    return true;
}

bool ShaderProcessor::initializeCCVAOandVBO()
{
    return buildVertexArray(m_ccVao, m_ccVertexBuffer, m_ccTextureBuffer, kCCTextureCoordinates, false);
}

bool ShaderProcessor::initializeBlurVAOandVBO()
{
    return buildVertexArray(m_blurVao, m_blurVertexBuffer, m_blurTextureBuffer, kBlurTextureCoordinates, true);
}

std::array<float, 12> ShaderProcessor::fitTextureCoordinates(FitMethod fit, unsigned int sourceWidth,
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

void ShaderProcessor::logPendingErrors()
{
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        qWarning().noquote() << "ShaderProcessor: OpenGL error: " << error;
}

bool ShaderProcessor::initializeEMSubroutines()
{
    if (m_emProgramsBuilt <= 1)
        debugEMSubroutines();
    return resolveSubroutines(
        m_emProgram->programId(), kEMOrderNames, 3, "colorSelection", m_emOrderIndices, &m_emSubroutineCount);
}

bool ShaderProcessor::initializeCCSubroutines()
{
    return resolveSubroutines(
        m_ccProgram->programId(), kCCPassNames, 4, "convertColour", m_ccIndices, &m_ccSubroutineCount);
}

bool ShaderProcessor::initializeBlurSubroutines()
{
    return resolveSubroutines(
        m_blurProgram->programId(), kBlurNames, 2, "applyBlur", m_blurIndices, &m_blurSubroutineCount);
}

bool ShaderProcessor::resolveSubroutines(
    GLuint program, const char* const* names, int count, const char* uniform, GLuint* indices, GLint* locations)
{
    glGetProgramStageiv(program, GL_FRAGMENT_SHADER, GL_ACTIVE_SUBROUTINE_UNIFORM_LOCATIONS, locations);
    logPendingErrors();
    bool found = true;
    for (int i = 0; i < count; ++i) {
        indices[i] = glGetSubroutineIndex(program, GL_FRAGMENT_SHADER, names[i]);
        logPendingErrors();
        found = found && indices[i] != GL_INVALID_INDEX;
    }
    const GLint location = glGetSubroutineUniformLocation(program, GL_FRAGMENT_SHADER, uniform);
    logPendingErrors();
    return found && location >= 0 && location < *locations && *locations <= kMaxSubroutineLocations;
}

void ShaderProcessor::debugEMSubroutines()
{
    GLint maxTextureSize = 0;
    GLint maxUnits = 0;
    GLint maxBufferSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &maxUnits);
    glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &maxBufferSize);
    auto text = [this](GLenum name) {
        const GLubyte* value = glGetString(name);
        return value ? QString::fromLatin1(reinterpret_cast<const char*>(value)) : QString();
    };
    qDebug().noquote() << "ShaderProcessor: -------- GENERAL GPU INFO ----------";
    qDebug().noquote() << "ShaderProcessor: \tGL_VENDOR   " << text(GL_VENDOR);
    qDebug().noquote() << "ShaderProcessor: \tGL_RENDERER " << text(GL_RENDERER);
    qDebug().noquote() << "ShaderProcessor: \tGL_VERSION  " << text(GL_VERSION);
    qDebug().noquote() << "ShaderProcessor: \tGL_MAX_TEXTURE_SIZE: " << maxTextureSize;
    qDebug().noquote() << "ShaderProcessor: GL_MAX_TEXTURE_IMAGE_UNITS:" << maxUnits;
    qDebug().noquote() << "ShaderProcessor: \tGL_MAX_TEXTURE_BUFFER_SIZE:" << maxBufferSize;
}

GLuint ShaderProcessor::createTexture(GLenum target, GLenum filter)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0)
        return 0;
    glBindTexture(target, texture);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GLint(filter));
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GLint(filter));
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_1D_ARRAY)
        glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (target == GL_TEXTURE_3D)
        glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
    return texture;
}

void ShaderProcessor::uploadChannelTable(const float* rgb, int entries, bool allocate)
{
    m_channelScratch.resize(size_t(entries) * 3);
    for (int channel = 0; channel < 3; ++channel)
        for (int i = 0; i < entries; ++i)
            m_channelScratch[size_t(channel) * entries + i] = rgb[3 * i + channel];
    if (allocate)
        glTexImage2D(GL_TEXTURE_1D_ARRAY, 0, GL_R32F, entries, 3, 0, GL_RED, GL_FLOAT, m_channelScratch.data());
    else
        glTexSubImage2D(GL_TEXTURE_1D_ARRAY, 0, 0, 0, entries, 3, GL_RED, GL_FLOAT, m_channelScratch.data());
}

bool ShaderProcessor::initializeTextures()
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    // Without the default grain the grain textures would hold no data.
    if (!m_grain && !chooseGrainLocked(QStringLiteral("5207"), 1.0))
        return false;
    if (!m_grain || !m_grain->textureBytes() || !m_grainCurve)
        return false;

    glGetError();
    // Four-channel and one-channel float formats: the software rasteriser
    // samples those directly, three-channel ones through a slow generic path.
    // Per-channel tables are one-channel layers (a lookup reads one float, not
    // four); the stock table is RGB in RGBA, alpha never read. The grain map
    // keeps its bytes (a quarter of the memory of floats); the program scales
    // them.
    glActiveTexture(GL_TEXTURE1);
    m_grainMapTexture = createTexture(GL_TEXTURE_RECTANGLE, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, m_grainSize[0], m_grainSize[1], 0, GL_RGBA, GL_UNSIGNED_BYTE,
        m_grain->textureBytes());
    m_grainMapTextureSize = m_grainSize;

    glActiveTexture(GL_TEXTURE2);
    m_grainCurveTexture = createTexture(GL_TEXTURE_1D_ARRAY, GL_LINEAR);
    uploadChannelTable(m_grainCurve->values, GrainCurve::kEntries, true);

    glActiveTexture(GL_TEXTURE3);
    m_stockTexture = createTexture(GL_TEXTURE_3D, GL_LINEAR);
    if (m_stockTable) {
        glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA32F, StockTable::kSize, StockTable::kSize, StockTable::kSize, 0, GL_RGB,
            GL_FLOAT, m_stockTable.get());
    } else {
        // No stock applied yet: an identity table keeps the picture sensible.
        std::vector<float> identity(StockTable::kFloats);
        for (int b = 0; b < StockTable::kSize; ++b)
            for (int g = 0; g < StockTable::kSize; ++g)
                for (int r = 0; r < StockTable::kSize; ++r) {
                    float* entry = &identity[3 * ((size_t(b) * StockTable::kSize + g) * StockTable::kSize + r)];
                    entry[0] = float(r) / (StockTable::kSize - 1);
                    entry[1] = float(g) / (StockTable::kSize - 1);
                    entry[2] = float(b) / (StockTable::kSize - 1);
                }
        glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA32F, StockTable::kSize, StockTable::kSize, StockTable::kSize, 0, GL_RGB,
            GL_FLOAT, identity.data());
    }

    const bool bypass = m_bypass;
    glActiveTexture(GL_TEXTURE4);
    m_levelsTexture = createTexture(GL_TEXTURE_1D, GL_LINEAR);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_R32F, GradeTables::TableSize, 0, GL_RED, GL_FLOAT,
        (bypass ? m_tables.bypassLevels() : m_tables.levels()).data());
    glActiveTexture(GL_TEXTURE5);
    m_exposureTexture = createTexture(GL_TEXTURE_1D_ARRAY, GL_LINEAR);
    uploadChannelTable((bypass ? m_tables.bypassExposure() : m_tables.exposure()).data(), GradeTables::TableSize, true);
    glActiveTexture(GL_TEXTURE8);
    m_wheelsTexture = createTexture(GL_TEXTURE_1D_ARRAY, GL_LINEAR);
    uploadToneLocked(bypass, false, true);
    glActiveTexture(GL_TEXTURE0);

    m_tables.clearDirty(GradeTables::AllTables);
    m_filmUploads = 0;
    m_texturesHoldBypass = bypass;

    const bool created = m_grainMapTexture && m_grainCurveTexture && m_stockTexture && m_levelsTexture
        && m_exposureTexture && m_wheelsTexture;
    return created && glGetError() == GL_NO_ERROR;
}

bool ShaderProcessor::initializeBlurTextures()
{
    glGetError();
    glGenTextures(2, m_blurTextures);
    for (GLuint texture : m_blurTextures) {
        if (texture == 0)
            return false;
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return glGetError() == GL_NO_ERROR;
}

GLenum ShaderProcessor::attachRenderableTexture(GLuint fbo, GLuint texture, GLsizei width, GLsizei height)
{
    GLint drawFbo = 0;
    GLint readFbo = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    GLenum chosen = 0;
    for (const GLenum format : m_targetFormats) {
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) { }
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, GL_RGBA, GL_FLOAT, nullptr);
        const GLenum error = glGetError();
        GLenum status = 0;
        if (error == GL_NO_ERROR) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
            status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
            if (status == GL_FRAMEBUFFER_COMPLETE) {
                chosen = format;
                break;
            }
        }
        qDebug().noquote() << "ShaderProcessor: render target format" << Qt::hex << Qt::showbase << format
                           << "refused (error" << error << ", framebuffer status" << status << "), trying the next";
    }
    if (!chosen)
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFbo));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFbo));
    return chosen;
}

bool ShaderProcessor::initializeBlurFBO()
{
    glGenFramebuffers(2, m_blurFbos);
    if (m_blurFbos[0] == 0 || m_blurFbos[1] == 0)
        return false;
    // The format is chosen on small targets; the source-sized storage (two
    // float pictures) is made by the first frame that is blurred.
    m_blurFormat = attachRenderableTexture(m_blurFbos[0], m_blurTextures[0], 2, 2);
    const GLenum second = attachRenderableTexture(m_blurFbos[1], m_blurTextures[1], 2, 2);
    m_blurStorageAllocated = false;
    if (m_blurFormat == 0 || second != m_blurFormat) {
        qWarning().noquote() << "ShaderProcessor: Blur FBO aren't complete";
        return false;
    }
    return true;
}

bool ShaderProcessor::initializeHistogramTextureAndFBO()
{
    glGetError();
    m_histogramTexture = createTexture(GL_TEXTURE_2D, GL_NEAREST);
    if (m_histogramTexture == 0)
        return false;
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &m_histogramFbo);
    if (m_histogramFbo == 0)
        return false;
    m_histogramFormat = attachRenderableTexture(m_histogramFbo, m_histogramTexture, HistogramWidth, HistogramHeight);
    if (m_histogramFormat == 0) {
        qWarning().noquote() << "ShaderProcessor: Histogram FBO aren't complete";
        return false;
    }
    return glGetError() == GL_NO_ERROR;
}

bool ShaderProcessor::chooseGrainLocked(const QString& stock, double scale)
{
    if (m_outputWidth == 0 || m_outputHeight == 0)
        return false;
    ++m_grainChoices;
    GrainLibrary* library = GrainLibrary::instance();
    Grain* grain = library->selectGrain(stock, m_outputWidth, m_outputHeight, scale);
    if (!grain || !grain->isValid()) {
        qWarning().noquote() << "ShaderProcessor: No grain for stock" << stock << "at scale" << scale << "-"
                             << library->lastError();
        return false;
    }
    // Grain objects are shared between processors: take this stock's curve
    // from the library rather than the one last attached to the object.
    const GrainCurve* curve = library->getGrainCurve(stock);
    if (!curve) {
        qWarning().noquote() << "ShaderProcessor: No grain curve for stock" << stock;
        return false;
    }
    // The library keeps one grain object per picture: the same object holds
    // the same map.
    if (grain != m_grain)
        m_filmUploads |= GrainMapUpload;
    if (curve != m_grainCurve)
        m_filmUploads |= GrainCurveUpload;
    m_grain = grain;
    m_grainCurve = curve;
    m_grainSize = { { int(grain->width()), int(grain->height()) } };
    m_grainStock = stock;
    m_grainChoiceScale = scale;
    m_grainChoiceSize = { { m_outputWidth, m_outputHeight } };
    return true;
}

} // namespace Emulsa
