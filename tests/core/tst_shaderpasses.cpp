#include "common/TestEnvironment.h"

#include "core/OffscreenGLContext.h"

#include <QOpenGLFunctions_4_0_Core>
#include <QOpenGLShaderProgram>
#include <QRandomGenerator>

#include <cmath>
#include <memory>
#include <vector>

using namespace Emulsa;

namespace {

// Rec. 709 conversions exactly as the colour-converter passes define them,
// on 0..255 values.
struct Rgb
{
    float r, g, b;
};

Rgb limitedToRgb(float y, float u, float v)
{
    y -= 16.f;
    u -= 128.f;
    v -= 128.f;
    return { (298.082f * y + 458.942f * v) / 256.f, (298.082f * y - 54.592f * u - 136.425f * v) / 256.f,
        (298.082f * y + 540.775f * u) / 256.f };
}

Rgb fullToRgb(float y, float u, float v)
{
    u -= 128.f;
    v -= 128.f;
    return { (256.f * y + 403.1488f * v) / 256.f, (256.f * y - 47.954944f * u - 119.839744f * v) / 256.f,
        (256.f * y + 475.0336f * u) / 256.f };
}

float clamp255(float v)
{
    return std::min(255.f, std::max(0.f, v));
}

} // namespace

// Compiles the colour-converter and blur programs from the resources and runs
// single passes of them on small pictures, comparing with the formulas.
class TestShaderPasses : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void limitedYuy2ToRgb();
    void fullYuy2ToRgb();
    void rgbToYuy2Packing_data();
    void rgbToYuy2Packing();
    void rangeRoundTrips_data();
    void rangeRoundTrips();
    void blurKeepsFlatPicture();
    void blurSpreadsAnImpulse();

private:
    // The program of the named vertex and fragment stages (":/<name>.v.glsl"
    // and ":/<name>.f.glsl").
    std::unique_ptr<QOpenGLShaderProgram> buildProgram(
        const QString& vertex, const QString& fragment, const char* position, const char* coordinate);
    GLuint makeTexture(
        GLenum internalFormat, int width, int height, GLenum format, GLenum type, const void* data, GLenum filter);
    // Draws the six vertices with the program into a new texture of the given
    // size and format, sampling `input` on unit 0; returns the read-back.
    template<typename T>
    std::vector<T> drawPass(QOpenGLShaderProgram* program, const char* subroutine, GLuint input, int width, int height,
        GLenum internalFormat, GLenum type);
    std::vector<float> convertYuy2(const char* subroutine, const std::vector<quint8>& packed, int width, int height);
    std::vector<quint8> packYuy2(const char* subroutine, const std::vector<float>& rgba, int width, int height);

    OffscreenGLContext m_gl;
    QOpenGLFunctions_4_0_Core* f = nullptr;
    std::unique_ptr<QOpenGLShaderProgram> m_cc;
    std::unique_ptr<QOpenGLShaderProgram> m_blur;
    GLuint m_vao = 0;
    GLuint m_buffers[2] = { 0, 0 };
};

std::unique_ptr<QOpenGLShaderProgram> TestShaderPasses::buildProgram(
    const QString& vertex, const QString& fragment, const char* position, const char* coordinate)
{
    auto program = std::make_unique<QOpenGLShaderProgram>();
    if (!program->addShaderFromSourceFile(QOpenGLShader::Vertex, QStringLiteral(":/%1.v.glsl").arg(vertex))
        || !program->addShaderFromSourceFile(QOpenGLShader::Fragment, QStringLiteral(":/%1.f.glsl").arg(fragment))) {
        qWarning() << program->log();
        return nullptr;
    }
    program->bindAttributeLocation(position, 0);
    program->bindAttributeLocation(coordinate, 1);
    if (!program->link()) {
        qWarning() << program->log();
        return nullptr;
    }
    return program;
}

void TestShaderPasses::initTestCase()
{
    QVERIFY2(m_gl.create(), qPrintable(m_gl.lastError()));
    f = m_gl.functions();
    m_cc = buildProgram(QStringLiteral("quad"), QStringLiteral("colorConverter"), "inVertexPos", "inTextCoordinate");
    QVERIFY(m_cc);
    m_blur = buildProgram(QStringLiteral("quad"), QStringLiteral("blur"), "inVertexPos", "inTextCoordinate");
    QVERIFY(m_blur);

    // The same two triangles the processor draws, with the converter's
    // texture coordinates (no flip).
    static const GLfloat vertices[] = { -1, -1, -1, 1, 1, 1, -1, -1, 1, 1, 1, -1 };
    static const GLfloat coordinates[] = { 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0 };
    f->glGenVertexArrays(1, &m_vao);
    f->glBindVertexArray(m_vao);
    f->glGenBuffers(2, m_buffers);
    f->glBindBuffer(GL_ARRAY_BUFFER, m_buffers[0]);
    f->glBufferData(GL_ARRAY_BUFFER, sizeof(vertices), vertices, GL_STATIC_DRAW);
    f->glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    f->glEnableVertexAttribArray(0);
    f->glBindBuffer(GL_ARRAY_BUFFER, m_buffers[1]);
    f->glBufferData(GL_ARRAY_BUFFER, sizeof(coordinates), coordinates, GL_STATIC_DRAW);
    f->glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    f->glEnableVertexAttribArray(1);
    f->glBindVertexArray(0);
    QCOMPARE(f->glGetError(), GLenum(GL_NO_ERROR));
}

void TestShaderPasses::cleanupTestCase()
{
    if (!f)
        return;
    f->glDeleteBuffers(2, m_buffers);
    f->glDeleteVertexArrays(1, &m_vao);
    m_cc.reset();
    m_blur.reset();
}

GLuint TestShaderPasses::makeTexture(
    GLenum internalFormat, int width, int height, GLenum format, GLenum type, const void* data, GLenum filter)
{
    GLuint texture = 0;
    f->glGenTextures(1, &texture);
    f->glBindTexture(GL_TEXTURE_2D, texture);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    f->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    f->glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, data);
    return texture;
}

template<typename T>
std::vector<T> TestShaderPasses::drawPass(QOpenGLShaderProgram* program, const char* subroutine, GLuint input,
    int width, int height, GLenum internalFormat, GLenum type)
{
    const GLenum format = type == GL_FLOAT ? GL_FLOAT : GL_UNSIGNED_BYTE;
    GLuint target = makeTexture(internalFormat, width, height, GL_RGBA, format, nullptr, GL_NEAREST);
    GLuint fbo = 0;
    f->glGenFramebuffers(1, &fbo);
    f->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    f->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    f->glDrawBuffer(GL_COLOR_ATTACHMENT0);

    program->bind();
    program->setUniformValue("uniMatrix", QMatrix4x4());
    GLuint index = f->glGetSubroutineIndex(program->programId(), GL_FRAGMENT_SHADER, subroutine);
    f->glUniformSubroutinesuiv(GL_FRAGMENT_SHADER, 1, &index);
    f->glActiveTexture(GL_TEXTURE0);
    f->glBindTexture(GL_TEXTURE_2D, input);
    f->glViewport(0, 0, width, height);
    f->glBindVertexArray(m_vao);
    f->glDrawArrays(GL_TRIANGLES, 0, 6);
    f->glBindVertexArray(0);
    program->release();

    std::vector<T> pixels(size_t(width) * height * 4);
    f->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    f->glReadBuffer(GL_COLOR_ATTACHMENT0);
    f->glReadPixels(0, 0, width, height, GL_RGBA, type, pixels.data());
    f->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    f->glDeleteFramebuffers(1, &fbo);
    f->glDeleteTextures(1, &target);
    return pixels;
}

std::vector<float> TestShaderPasses::convertYuy2(
    const char* subroutine, const std::vector<quint8>& packed, int width, int height)
{
    // Packed rows fill the left half of a W x H RGBA8 texture.
    GLuint input = makeTexture(GL_RGBA8, width, height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr, GL_NEAREST);
    f->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width / 2, height, GL_RGBA, GL_UNSIGNED_BYTE, packed.data());
    auto result = drawPass<float>(m_cc.get(), subroutine, input, width, height, GL_RGBA32F, GL_FLOAT);
    f->glDeleteTextures(1, &input);
    return result;
}

std::vector<quint8> TestShaderPasses::packYuy2(
    const char* subroutine, const std::vector<float>& rgba, int width, int height)
{
    GLuint input = makeTexture(GL_RGBA32F, width, height, GL_RGBA, GL_FLOAT, rgba.data(), GL_LINEAR);
    auto result = drawPass<quint8>(m_cc.get(), subroutine, input, width, height, GL_RGBA8, GL_UNSIGNED_BYTE);
    f->glDeleteTextures(1, &input);
    return result;
}

void TestShaderPasses::limitedYuy2ToRgb()
{
    // First texel: black then white; the rest random, checked against the
    // formula for both pixels of each pair.
    const int width = 16, height = 4;
    std::vector<quint8> packed(size_t(width / 2) * height * 4);
    QRandomGenerator random(5);
    for (auto& byte : packed)
        byte = quint8(16 + random.bounded(220));
    const quint8 blackWhite[] = { 16, 128, 235, 128 };
    std::copy(std::begin(blackWhite), std::end(blackWhite), packed.begin());

    const auto rgb = convertYuy2("convertLimitedYUY2toComputerRGB", packed, width, height);
    QVERIFY(std::abs(rgb[0]) < 1e-4 && std::abs(rgb[1]) < 1e-4 && std::abs(rgb[2]) < 1e-4);
    for (int c = 0; c < 3; ++c)
        QVERIFY2(std::abs(rgb[4 + c] - 1.f) < 0.5f / 255.f, qPrintable(QString::number(rgb[4 + c])));
    QCOMPARE(rgb[3], 1.f);

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const quint8* texel = &packed[(size_t(y) * (width / 2) + x / 2) * 4];
            const Rgb expected = limitedToRgb(x % 2 ? texel[2] : texel[0], texel[1], texel[3]);
            const float* got = &rgb[(size_t(y) * width + x) * 4];
            // A float target keeps values outside 0..1: nothing is clamped here.
            QVERIFY(std::abs(got[0] * 255.f - expected.r) < 0.01f);
            QVERIFY(std::abs(got[1] * 255.f - expected.g) < 0.01f);
            QVERIFY(std::abs(got[2] * 255.f - expected.b) < 0.01f);
        }
    }
}

void TestShaderPasses::fullYuy2ToRgb()
{
    const int width = 4, height = 2;
    const std::vector<quint8> packed = { 255, 128, 0, 128, 90, 60, 200, 220, 1, 2, 3, 4, 128, 128, 128, 128 };
    const auto rgb = convertYuy2("convertFullYUY2toComputerRGB", packed, width, height);
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(rgb[c], 1.f);
        QCOMPARE(rgb[4 + c], 0.f);
    }
    for (int x = 0; x < width; ++x) {
        const quint8* texel = &packed[size_t(x / 2) * 4];
        const Rgb expected = fullToRgb(x % 2 ? texel[2] : texel[0], texel[1], texel[3]);
        QVERIFY(std::abs(rgb[size_t(x) * 4] * 255.f - expected.r) < 0.01f);
        QVERIFY(std::abs(rgb[size_t(x) * 4 + 1] * 255.f - expected.g) < 0.01f);
        QVERIFY(std::abs(rgb[size_t(x) * 4 + 2] * 255.f - expected.b) < 0.01f);
    }
}

void TestShaderPasses::rgbToYuy2Packing_data()
{
    QTest::addColumn<bool>("limited");
    QTest::newRow("limited") << true;
    QTest::newRow("full") << false;
}

void TestShaderPasses::rgbToYuy2Packing()
{
    QFETCH(bool, limited);
    const int width = 8, height = 6;
    std::vector<float> rgba(size_t(width) * height * 4);
    QRandomGenerator random(11);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = i % 4 == 3 ? 1.f : float(random.bounded(256)) / 255.f;
    // Pixel (0, 0) white.
    rgba[0] = rgba[1] = rgba[2] = 1.f;

    const auto packed
        = packYuy2(limited ? "convertComputerRGBToLimitedYUY2" : "convertComputerRGBToFullYUY2", rgba, width, height);
    if (limited) {
        QVERIFY(std::abs(int(packed[0]) - 235) <= 0);
        QVERIFY(std::abs(int(packed[1]) - 128) <= 0 && std::abs(int(packed[3]) - 128) <= 0);
    } else {
        QCOMPARE(int(packed[0]), 255);
    }

    auto pixel = [&](int x, int y) {
        const float* p = &rgba[(size_t(y) * width + x) * 4];
        return Rgb { p[0] * 255.f, p[1] * 255.f, p[2] * 255.f };
    };
    auto luma = [&](const Rgb& p) {
        return limited ? 16.f + (46.742f * p.r + 157.243f * p.g + 15.874f * p.b) / 256.f
                       : (54.4256f * p.r + 183.0912f * p.g + 18.4832f * p.b) / 256.f;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const quint8* got = &packed[(size_t(y) * width + x) * 4];
            if (2 * y >= height) {
                QVERIFY2(got[0] == 0 && got[1] == 0 && got[2] == 0 && got[3] == 0, "bottom half must be zero");
                continue;
            }
            // Target row y holds source rows 2y and 2y + 1 side by side.
            const int sx = 2 * x < width ? 2 * x : 2 * x - width;
            const int sy = 2 * x < width ? 2 * y : 2 * y + 1;
            const Rgb first = pixel(sx, sy);
            const Rgb second = pixel(sx + 1, sy);
            const float u = limited ? 128.f + (-25.765f * first.r - 86.674f * first.g + 112.439f * first.b) / 256.f
                                    : 128.f + (-29.330432f * first.r - 98.669568f * first.g + 128.f * first.b) / 256.f;
            const float v = limited ? 128.f + (112.439f * first.r - 102.129f * first.g - 10.310f * first.b) / 256.f
                                    : 128.f + (128.f * first.r - 116.263168f * first.g - 11.736832f * first.b) / 256.f;
            const float expected[4] = { luma(first), u, luma(second), v };
            for (int c = 0; c < 4; ++c)
                QVERIFY2(std::abs(float(got[c]) - clamp255(expected[c])) <= 0.51f,
                    qPrintable(
                        QStringLiteral("x %1 y %2 c %3: %4 vs %5").arg(x).arg(y).arg(c).arg(got[c]).arg(expected[c])));
        }
    }
}

void TestShaderPasses::rangeRoundTrips_data()
{
    QTest::addColumn<bool>("limited");
    QTest::newRow("limited") << true;
    QTest::newRow("full") << false;
}

void TestShaderPasses::rangeRoundTrips()
{
    // YUY2 -> RGB -> YUY2 gives back the packed bytes for colours inside the
    // RGB cube: greys over the whole range plus a few saturated pairs.
    QFETCH(bool, limited);
    const int width = 32, height = 8;
    std::vector<quint8> packed(size_t(width / 2) * height * 4);
    const int low = limited ? 16 : 0;
    const int high = limited ? 235 : 255;
    for (size_t t = 0; t < packed.size() / 4; ++t) {
        quint8* texel = &packed[t * 4];
        const int y0 = low + int(t * 7) % (high - low + 1);
        const int y1 = low + int(t * 13) % (high - low + 1);
        texel[0] = quint8(y0);
        texel[2] = quint8(y1);
        texel[1] = texel[3] = 128;
    }
    // A mid grey pair with a little chroma (stays inside the cube).
    const quint8 tinted[] = { 126, 120, 130, 136 };
    std::copy(std::begin(tinted), std::end(tinted), packed.begin() + 8);

    const char* toRgb = limited ? "convertLimitedYUY2toComputerRGB" : "convertFullYUY2toComputerRGB";
    const char* toYuy2 = limited ? "convertComputerRGBToLimitedYUY2" : "convertComputerRGBToFullYUY2";
    const auto rgb = convertYuy2(toRgb, packed, width, height);
    const auto back = packYuy2(toYuy2, rgb, width, height);

    // Top half of the result: target row y = source rows 2y and 2y + 1.
    for (int y = 0; y < height / 2; ++y) {
        for (int t = 0; t < width; ++t) {
            const int sourceRow = t < width / 2 ? 2 * y : 2 * y + 1;
            const quint8* original = &packed[(size_t(sourceRow) * (width / 2) + t % (width / 2)) * 4];
            const quint8* got = &back[(size_t(y) * width + t) * 4];
            for (int c = 0; c < 4; ++c)
                QVERIFY2(std::abs(int(got[c]) - int(original[c])) <= 1,
                    qPrintable(QStringLiteral("row %1 texel %2 component %3: %4 vs %5")
                                   .arg(y)
                                   .arg(t)
                                   .arg(c)
                                   .arg(got[c])
                                   .arg(original[c])));
        }
    }
}

void TestShaderPasses::blurKeepsFlatPicture()
{
    const int width = 24, height = 12;
    std::vector<float> rgba(size_t(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = i % 4 == 3 ? 1.f : 0.25f * float(1 + i % 4);
    GLuint input = makeTexture(GL_RGB32F, width, height, GL_RGBA, GL_FLOAT, rgba.data(), GL_LINEAR);
    m_blur->bind();
    const GLfloat offsets[2] = { 1.3846154f, 3.2307692f };
    // Normalised weights for a variance of 1.
    double w[3];
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
        w[i] = std::exp(-i * i / 2.0) / std::sqrt(2.0 * M_PI);
        sum += i ? 2 * w[i] : w[i];
    }
    const GLfloat weights[3] = { GLfloat(w[0] / sum), GLfloat(w[1] / sum), GLfloat(w[2] / sum) };
    m_blur->setUniformValueArray("uniBlurOffset", offsets, 2, 1);
    m_blur->setUniformValueArray("uniBlurWeight", weights, 3, 1);
    m_blur->setUniformValue("uniVideoFrame", 0);
    for (const char* direction : { "horizontalBlur", "verticalBlur" }) {
        const auto out = drawPass<float>(m_blur.get(), direction, input, width, height, GL_RGBA32F, GL_FLOAT);
        for (size_t i = 0; i < out.size(); i += 4)
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(out[i + c] - rgba[i + c]) < 1e-5f, direction);
    }
    f->glDeleteTextures(1, &input);
}

void TestShaderPasses::blurSpreadsAnImpulse()
{
    // One white column in black: the horizontal pass spreads it over the
    // neighbours with the bilinear tap weights and keeps the total.
    const int width = 32, height = 4;
    std::vector<float> rgba(size_t(width) * height * 4, 0.f);
    for (int y = 0; y < height; ++y)
        for (int c = 0; c < 4; ++c)
            rgba[(size_t(y) * width + 16) * 4 + c] = 1.f;
    GLuint input = makeTexture(GL_RGBA32F, width, height, GL_RGBA, GL_FLOAT, rgba.data(), GL_LINEAR);
    m_blur->bind();
    const GLfloat offsets[2] = { 1.3846154f, 3.2307692f };
    const GLfloat weights[3] = { 0.2270270270f, 0.3162162162f, 0.0702702703f };
    m_blur->setUniformValueArray("uniBlurOffset", offsets, 2, 1);
    m_blur->setUniformValueArray("uniBlurWeight", weights, 3, 1);
    m_blur->setUniformValue("uniVideoFrame", 0);
    const auto out = drawPass<float>(m_blur.get(), "horizontalBlur", input, width, height, GL_RGBA32F, GL_FLOAT);
    f->glDeleteTextures(1, &input);

    // Expected: centre w0; at distance 1 the fraction of tap 1 that falls on
    // the centre texel, and so on (linear filtering splits each tap).
    const float f1 = 1.3846154f - 1.f, f2 = 3.2307692f - 3.f;
    const float expected[5]
        = { weights[0], weights[1] * (1.f - f1), weights[1] * f1, weights[2] * (1.f - f2), weights[2] * f2 };
    float total = 0.f;
    for (int x = 0; x < width; ++x) {
        const float value = out[(size_t(1) * width + x) * 4];
        total += value;
        const int distance = std::abs(x - 16);
        const float want = distance < 5 ? expected[distance] : 0.f;
        QVERIFY2(
            std::abs(value - want) < 2e-3f, qPrintable(QStringLiteral("x %1: %2 vs %3").arg(x).arg(value).arg(want)));
    }
    QVERIFY(std::abs(total - 1.f) < 1e-3f);
}

EMULSA_TEST_MAIN(TestShaderPasses)
#include "tst_shaderpasses.moc"
