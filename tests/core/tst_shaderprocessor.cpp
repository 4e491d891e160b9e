#include "common/TestEnvironment.h"

#include "FilmDataFixture.h"
#include "GpuTestSupport.h"

#include "core/FilmLibrary.h"
#include "core/Grain.h"
#include "core/GrainLibrary.h"

#include <QSignalSpy>

#include <algorithm>
#include <cmath>
#include <iterator>

using namespace Emulsa;
using namespace Emulsa::Test;

// The shader processor's own behaviour: sizes, fitting, blur, stock and
// grain choice, render targets and the histogram.
class TestShaderProcessor : public GpuGradeTest
{
    Q_OBJECT

private slots:
    void initializeSizes();
    void initializeRefusesTinyOutputs_data();
    void initializeRefusesTinyOutputs();
    void fitCoordinates_data();
    void fitCoordinates();
    void blurAmounts_data();
    void blurAmounts();
    void blurWeights();
    void keepingTheGrainScale();
    void onlyTheClipsGrainIsScaled_data();
    void onlyTheClipsGrainIsScaled();
    void unknownStockChangesNothing();
    void gradeThatCannotBeAppliedStaysNeutral();
    void noPassSamplesItsOwnTarget();
    void renderTargetsFallBackWhenIncomplete();
    void histogramCounts();
    void histogramBeforeLevelsRule();
    void noHistogramWithoutTarget();
};

void TestShaderProcessor::initializeSizes()
{
    const ClipSettings settings = neutralSettings();
    ShaderProcessor atSource(m_gl.context());
    QVERIFY(atSource.initialize(96, 54, &settings, nullptr, 0, 0, StretchToFit));
    QCOMPARE(atSource.outputWidth(), 96u);
    QCOMPARE(atSource.outputHeight(), 54u);
    QCOMPARE(atSource.sourceWidth(), 96u);
    // Grain is chosen for the output size at the clip's scale (0.69).
    QVERIFY(atSource.grade().grain());
    QCOMPARE(atSource.grade().grain()->width(), 66u);
    QVERIFY(!atSource.initialize(96, 54, &settings, nullptr, 0, 0, StretchToFit));

    ShaderProcessor other(m_gl.context());
    QVERIFY(other.initialize(96, 54, &settings, nullptr, 64, 40, FitWidth));
    QCOMPARE(other.outputWidth(), 64u);
    QCOMPARE(other.outputHeight(), 40u);
}

void TestShaderProcessor::initializeRefusesTinyOutputs_data()
{
    QTest::addColumn<int>("sourceWidth");
    QTest::addColumn<int>("sourceHeight");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("1x1 source at source size") << 1 << 1 << 0 << 0;
    QTest::newRow("1 wide output") << 64 << 32 << 1 << 32;
    QTest::newRow("1 high output") << 64 << 32 << 64 << 1;
    QTest::newRow("empty source") << 0 << 0 << 64 << 32;
}

void TestShaderProcessor::initializeRefusesTinyOutputs()
{
    QFETCH(int, sourceWidth);
    QFETCH(int, sourceHeight);
    QFETCH(int, width);
    QFETCH(int, height);
    const ClipSettings settings = neutralSettings();
    ShaderProcessor processor(m_gl.context());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: The ")));
    QVERIFY(!processor.initialize(unsigned(sourceWidth), unsigned(sourceHeight), &settings, nullptr, unsigned(width),
        unsigned(height), FitWidth));
    QVERIFY(!processor.isInitialized());
    // Nothing is drawn by an uninitialised processor.
    processor.prepareFrame(ShaderProcessor::GradePass, ShaderProcessor::NoOrderPreference);
    processor.finishFrame();
}

void TestShaderProcessor::fitCoordinates_data()
{
    QTest::addColumn<int>("fit");
    QTest::addColumn<int>("ow");
    QTest::addColumn<int>("oh");
    QTest::addColumn<float>("s");
    QTest::addColumn<float>("t");
    QTest::newRow("fit width, crop") << int(FitWidth) << 1920 << 800 << 0.f << 0.1296296f;
    QTest::newRow("fit width, pad") << int(FitWidth) << 1920 << 1200 << 0.f << -0.0555556f;
    QTest::newRow("fit height, crop") << int(FitHeight) << 1440 << 1080 << 0.125f << 0.f;
    QTest::newRow("fit height, pad") << int(FitHeight) << 2560 << 1080 << -0.1666667f << 0.f;
}

void TestShaderProcessor::fitCoordinates()
{
    QFETCH(int, fit);
    QFETCH(int, ow);
    QFETCH(int, oh);
    QFETCH(float, s);
    QFETCH(float, t);
    const auto c = GradingPrograms::fitTextureCoordinates(FitMethod(fit), 1920, 1080, unsigned(ow), unsigned(oh));
    const float expected[12] = { s, 1 - t, s, t, 1 - s, t, s, 1 - t, 1 - s, t, 1 - s, 1 - t };
    for (int i = 0; i < 12; ++i)
        QVERIFY2(std::abs(c[size_t(i)] - expected[i]) < 1e-6f, qPrintable(QString::number(i)));

    const auto stretch = GradingPrograms::fitTextureCoordinates(StretchToFit, 1920, 1080, unsigned(ow), unsigned(oh));
    const float plain[12] = { 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1 };
    for (int i = 0; i < 12; ++i)
        QCOMPARE(stretch[size_t(i)], plain[i]);
}

void TestShaderProcessor::blurAmounts_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<float>("expected");
    QTest::newRow("35 mm full frame") << double(0.69f) << 0.f;
    QTest::newRow("Academy") << double(1.13f) << 0.f;
    QTest::newRow("Super 16") << double(2.0f) << 0.55f;
    QTest::newRow("16 mm") << double(2.43f) << 0.67f;
    QTest::newRow("Super 8") << double(4.0f) << 0.9f;
    QTest::newRow("8 mm") << double(5.53f) << 1.0f;
    // Not a gauge's single-precision factor: the previous amount stays.
    QTest::newRow("2.43 in double") << 2.43 << -1.f;
    QTest::newRow("3.0") << 3.0 << -1.f;
}

void TestShaderProcessor::blurAmounts()
{
    QFETCH(double, scale);
    QFETCH(float, expected);
    QCOMPARE(BlurPass::amountForScale(scale, -1.f), expected);
}

void TestShaderProcessor::blurWeights()
{
    for (float amount : { 0.f, 0.55f, 1.f }) {
        for (unsigned width : { 640u, 1920u, 3840u }) {
            const auto w = BlurPass::weightsFor(width, amount);
            QVERIFY(std::abs(w[0] + 2 * w[1] + 2 * w[2] - 1.f) < 1e-6f);
            QVERIFY(w[0] > w[1] && w[1] > w[2] && w[2] > 0.f);
        }
    }
    // Variance 1 at 1920 wide and full amount: the standard normal's taps.
    const auto w = BlurPass::weightsFor(1920, 1.f);
    const double g0 = 1.0;
    const double g1 = std::exp(-0.5);
    const double g2 = std::exp(-2.0);
    const double sum = g0 + 2 * g1 + 2 * g2;
    QVERIFY(std::abs(w[0] - g0 / sum) < 1e-6);
    QVERIFY(std::abs(w[1] - g1 / sum) < 1e-6);
    QVERIFY(std::abs(w[2] - g2 / sum) < 1e-6);
    // Wider outputs blur more.
    QVERIFY(BlurPass::weightsFor(3840, 1.f)[0] < w[0]);
}

void TestShaderProcessor::keepingTheGrainScale()
{
    ClipSettings settings;
    settings.setGrainScaleName(QStringLiteral("8 mm"));
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, 64, 32));
    ShaderProcessor* p = grader.processor.get();
    const Grain* eightMm = p->grade().grain();
    QVERIFY(eightMm);
    QCOMPARE(p->grade().blurAmount(), 1.f);
    const auto picture = colourCubePicture(64, 32);
    grader.grade(picture);
    const unsigned maps = p->grade().uploadCount(GradeTextures::GrainMapUpload);
    const unsigned curves = p->grade().uploadCount(GradeTextures::GrainCurveUpload);
    const unsigned stocks = p->grade().uploadCount(GradeTextures::StockTableUpload);

    QVERIFY(p->setStock(QStringLiteral("KodakTriX"), FilmDataFixture::profileId(), -1.0));
    QCOMPARE(p->grade().grain(), eightMm);
    QCOMPARE(p->grade().grainScale(), double(5.53f));
    QCOMPARE(p->grade().blurAmount(), 1.f);
    QVERIFY(p->grade().isBlackAndWhite());
    QCOMPARE(p->grade().pendingUploads(), unsigned(GradeTextures::GrainCurveUpload | GradeTextures::StockTableUpload));
    grader.grade(picture);
    QCOMPARE(p->grade().uploadCount(GradeTextures::GrainMapUpload), maps);
    QCOMPARE(p->grade().uploadCount(GradeTextures::GrainCurveUpload), curves + 1);
    QCOMPARE(p->grade().uploadCount(GradeTextures::StockTableUpload), stocks + 1);

    // A new scale chooses new grain and blur.
    QVERIFY(p->setStock(QStringLiteral("5207"), FilmDataFixture::profileId(), double(0.69f)));
    QVERIFY(p->grade().grain() != eightMm);
    QCOMPARE(p->grade().blurAmount(), 0.f);
    QVERIFY(!p->grade().isBlackAndWhite());
    QVERIFY(p->grade().pendingUploads() & GradeTextures::GrainMapUpload);
}

void TestShaderProcessor::onlyTheClipsGrainIsScaled_data()
{
    QTest::addColumn<QString>("gauge");
    QTest::addColumn<int>("width");
    QTest::newRow("8 mm") << QStringLiteral("8 mm") << 90;
    QTest::newRow("16 mm") << QStringLiteral("16 mm") << 94;
}

// A processor set up with a clip's grade scales that clip's grain only, not
// a default grain (scale 1) first: each grain is a picture-sized map kept
// until exit.
void TestShaderProcessor::onlyTheClipsGrainIsScaled()
{
    QFETCH(QString, gauge);
    QFETCH(int, width);
    // Output sizes no other test uses: the library's grain objects are shared.
    const int height = 50;
    ClipSettings settings;
    settings.setGrainScaleName(gauge);
    GrainLibrary* library = GrainLibrary::instance();
    const std::size_t held = library->grainCount();
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, unsigned(width), unsigned(height)));
    const Grain* chosen = grader.processor->grade().grain();
    QVERIFY(chosen);
    QCOMPARE(library->grainCount(), held + 1);
    Grain* atClipScale = library->selectGrain(settings.getStockName(), width, height, double(settings.getGrainScale()));
    QCOMPARE(static_cast<const Grain*>(atClipScale), chosen);
    Grain* atDefaultScale = library->selectGrain(QStringLiteral("5207"), width, height, 1.0);
    QVERIFY(atDefaultScale);
    QVERIFY(atDefaultScale != chosen);
    QCOMPARE(library->grainCount(), held + 2);
}

void TestShaderProcessor::unknownStockChangesNothing()
{
    ClipSettings settings;
    settings.setGrainScaleName(QStringLiteral("Super 8"));
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, 64, 32));
    ShaderProcessor* p = grader.processor.get();
    const auto picture = colourCubePicture(64, 32);
    const auto before = grader.grade(picture);
    const Grain* grain = p->grade().grain();

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: No stock table for")));
    QVERIFY(!p->setStock(QStringLiteral("KodakPortra"), FilmDataFixture::profileId(), double(5.53f)));
    QCOMPARE(p->grade().grain(), grain);
    QCOMPARE(p->grade().blurAmount(), 0.9f);
    QCOMPARE(p->grade().grainScale(), double(4.0f));

    ClipSettings other = settings;
    other.setStockName(QStringLiteral("KodakPortra"));
    other.setExposure(1.2f);
    other.setSaturation(0.f);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: No stock table for")));
    QVERIFY(!p->applySettings(&other));
    QCOMPARE(p->grade().pendingUploads(), 0u);
    QCOMPARE(grader.grade(picture), before);
}

void TestShaderProcessor::gradeThatCannotBeAppliedStaysNeutral()
{
    // The clip's stock has no table here (a profile whose tables are not
    // installed): the processor starts, grades neutrally whatever the clip
    // asks for, and says the grade is not applied.
    ClipSettings settings;
    settings.setStockName(QStringLiteral("KodakPortra"));
    settings.setExposure(1.5f);
    settings.setGrainAmount(100);
    QVERIFY(!ShaderProcessor(m_gl.context()).gradeApplied());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: No stock table for")));
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: The clip's grade could not be applied")));
    GpuGrader failed;
    QVERIFY(failed.create(m_gl, settings, 64, 32));
    ShaderProcessor* p = failed.processor.get();
    QVERIFY(!p->gradeApplied());
    GpuGrader neutral;
    QVERIFY(neutral.create(m_gl, neutralSettings(), 64, 32));
    QVERIFY(neutral.processor->gradeApplied());
    const auto picture = colourCubePicture(64, 32);
    QVERIFY(maxByteDifference(failed.grade(picture), neutral.grade(picture)) <= 1);

    // Correcting the stock applies the grade; a later stock without a table
    // leaves the picture as it was but no longer the grade asked for.
    QSignalSpy changed(p, &ShaderProcessor::gradeAppliedChanged);
    ClipSettings corrected = settings;
    corrected.setStockName(QStringLiteral("5207"));
    QVERIFY(p->applySettings(&corrected));
    QVERIFY(p->gradeApplied());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: No stock table for")));
    QVERIFY(!p->setStock(QStringLiteral("KodakPortra"), corrected.getSourceType(), -1.0));
    QVERIFY(!p->gradeApplied());
    QVERIFY(p->setStock(QStringLiteral("KodakTriX"), corrected.getSourceType(), -1.0));
    QVERIFY(p->gradeApplied());
    QVERIFY(p->setStock(QStringLiteral("5207"), corrected.getSourceType(), -1.0));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed[0].at(0).toBool(), true);
    QCOMPARE(changed[1].at(0).toBool(), false);
    QCOMPARE(changed[2].at(0).toBool(), true);
}

void TestShaderProcessor::noPassSamplesItsOwnTarget()
{
    // Each framebuffer of the processor and of the frame pipeline holds one
    // texture, so no pass (blur steps, colour conversions) draws into a
    // framebuffer that holds the texture it samples.
    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(QStringLiteral("8 mm"));
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, 64, 32));
    QOpenGLFunctions_4_0_Core* gl = m_gl.functions();
    GLint previous = 0;
    gl->glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);
    int framebuffers = 0;
    for (GLuint name = 1; name < 4096; ++name) {
        if (!gl->glIsFramebuffer(name))
            continue;
        ++framebuffers;
        gl->glBindFramebuffer(GL_FRAMEBUFFER, name);
        int attached = 0;
        for (GLenum attachment = GL_COLOR_ATTACHMENT0; attachment < GL_COLOR_ATTACHMENT0 + 8; ++attachment) {
            GLint type = GL_NONE;
            gl->glGetFramebufferAttachmentParameteriv(
                GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
            attached += type != GL_NONE;
        }
        QVERIFY2(attached <= 1, qPrintable(QStringLiteral("framebuffer %1 holds %2 textures").arg(name).arg(attached)));
    }
    gl->glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    // Two for the blur steps, one for the histogram, three for the pipeline.
    QVERIFY(framebuffers >= 6);
    QCOMPARE(gl->glGetError(), GLenum(GL_NO_ERROR));
}

void TestShaderProcessor::renderTargetsFallBackWhenIncomplete()
{
    // A format this driver does not render into comes first in the list: the
    // processor takes the next one and grades as with its own list.
    QOpenGLFunctions_4_0_Core* gl = m_gl.functions();
    const GLenum refused = GL_COMPRESSED_RGB;
    {
        GLuint texture = 0;
        GLuint fbo = 0;
        gl->glGenTextures(1, &texture);
        gl->glBindTexture(GL_TEXTURE_2D, texture);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GLint(refused), 64, 32, 0, GL_RGBA, GL_FLOAT, nullptr);
        gl->glGenFramebuffers(1, &fbo);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        const GLenum status = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
        gl->glDeleteFramebuffers(1, &fbo);
        gl->glDeleteTextures(1, &texture);
        while (gl->glGetError() != GL_NO_ERROR) { }
        QVERIFY2(status != GL_FRAMEBUFFER_COMPLETE, "the test needs a format the driver refuses");
    }

    std::vector<quint32> arrays(3 * HistogramPass::Bins);
    quint32* target[3] = { &arrays[0], &arrays[512], &arrays[1024] };
    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(QStringLiteral("8 mm"));
    GpuGrader usual;
    QVERIFY(usual.create(m_gl, settings, 64, 32, 0, 0, StretchToFit, target));
    QCOMPARE(usual.processor->blurPass().format(), GLenum(GL_RGB32F));
    GpuGrader fallback;
    fallback.targetFormats = { refused, GL_RGBA16F };
    QVERIFY(fallback.create(m_gl, settings, 64, 32, 0, 0, StretchToFit, target));
    QCOMPARE(fallback.processor->blurPass().format(), GLenum(GL_RGBA16F));
    QCOMPARE(fallback.processor->histogramPass().format(), GLenum(GL_RGBA16F));
    const auto picture = colourCubePicture(64, 32);
    QVERIFY(maxByteDifference(fallback.grade(picture), usual.grade(picture)) <= 1);
    // The histogram renderings agree within the rounding of half floats.
    const QImage fallbackThumbnail = fallback.processor->currentFrameImage();
    const QImage usualThumbnail = usual.processor->currentFrameImage();
    QCOMPARE(fallbackThumbnail.size(), usualThumbnail.size());
    int largest = 0;
    for (int y = 0; y < usualThumbnail.height(); ++y)
        for (int x = 0; x < usualThumbnail.width(); ++x) {
            const QRgb a = fallbackThumbnail.pixel(x, y);
            const QRgb b = usualThumbnail.pixel(x, y);
            largest = std::max({ largest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                std::abs(qBlue(a) - qBlue(b)) });
        }
    QVERIFY2(largest <= 1, qPrintable(QString::number(largest)));

    // Nothing renderable at all: initialisation fails.
    GpuGrader none;
    none.targetFormats = { refused };
    QTest::ignoreMessage(QtWarningMsg, "ShaderProcessor: Blur FBO aren't complete");
    QTest::ignoreMessage(QtWarningMsg, "ShaderProcessor: Failed to initialize Blur FBO");
    QVERIFY(!none.create(m_gl, settings, 64, 32));
}

namespace {

// 512 x 256: red 0.2 on the left half and 0.8 on the right, green 128/255,
// blue 0 in the top quarter and 1 below.
std::vector<float> histogramPicture()
{
    const int width = HistogramPass::Width;
    const int height = HistogramPass::Height;
    std::vector<float> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float* p = &rgba[(size_t(y) * width + x) * 4];
            p[0] = x < width / 2 ? 51.f / 255.f : 204.f / 255.f;
            p[1] = 128.f / 255.f;
            p[2] = y < height / 4 ? 0.f : 1.f;
            p[3] = 1.f;
        }
    return rgba;
}

quint32 scaled(quint32 count)
{
    return quint32(std::trunc(double(count) * 22.888184));
}

} // namespace

void TestShaderProcessor::histogramCounts()
{
    std::vector<quint32> arrays(3 * HistogramPass::Bins, 0xDEADBEEF);
    quint32* target[3] = { &arrays[0], &arrays[512], &arrays[1024] };
    const quint32 half = HistogramPass::Pixels / 2;
    const quint32 quarter = HistogramPass::Pixels / 4;
    const auto picture = histogramPicture();

    ClipSettings settings = neutralSettings();
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, HistogramPass::Width, HistogramPass::Height, 0, 0, StretchToFit, target));
    QSignalSpy ready(grader.processor.get(), &ShaderProcessor::histogramDataReady);
    grader.grade(picture);
    QCOMPARE(ready.count(), 1);
    auto bin = [&](int c, int value) { return target[c][2 * value]; };
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            QCOMPARE(target[c][2 * i], target[c][2 * i + 1]);
    QCOMPARE(bin(0, 51), scaled(half));
    QCOMPARE(bin(0, 204), scaled(half));
    QCOMPARE(bin(1, 128), scaled(2 * half));
    QCOMPARE(bin(2, 0), scaled(quarter));
    QCOMPARE(bin(2, 255), scaled(3 * quarter));
    quint64 total = 0;
    for (int i = 0; i < 256; ++i)
        total += bin(0, i);
    QCOMPARE(total, quint64(2 * scaled(half)));

    // The last histogram rendering is the preset thumbnail.
    const QImage image = grader.processor->currentFrameImage();
    QCOMPARE(image.size(), QSize(512, 256));
    QCOMPARE(image.format(), QImage::Format_RGBA8888);
    QCOMPARE(qRed(image.pixel(10, 10)), 51);
    QCOMPARE(qRed(image.pixel(500, 10)), 204);

    // After levels: black at 0.3 crushes the left half to 0.
    grader.processor->setLevels({ 0.3f, 0.6f, 1.f });
    grader.grade(picture);
    QCOMPARE(ready.count(), 2);
    // The image taken before is the caller's: the new pass did not change it.
    QCOMPARE(qRed(image.pixel(10, 10)), 51);
    QCOMPARE(qRed(grader.processor->currentFrameImage().pixel(10, 10)), 0);
    QCOMPARE(bin(0, 0), scaled(half));
    QCOMPARE(bin(0, 51), 0u);
    QCOMPARE(bin(0, 204), 0u);

    // Before levels: the picture's own bins, except that the ends count what
    // the levels clip to black and to white.
    grader.processor->histogramBeforeLevels = true;
    grader.grade(picture);
    QCOMPARE(ready.count(), 3);
    QCOMPARE(bin(0, 51), scaled(half));
    QCOMPARE(bin(0, 204), scaled(half));
    QCOMPARE(bin(0, 0), scaled(half));
    QCOMPARE(bin(0, 255), 0u);
    QCOMPARE(bin(2, 0), scaled(quarter));
    QCOMPARE(bin(2, 255), scaled(3 * quarter));
}

void TestShaderProcessor::histogramBeforeLevelsRule()
{
    // The ends of a histogram before levels count only what the levels pass
    // sends to 0 and to 255, whatever the picture held there.
    std::vector<uchar> picture(HistogramPass::BufferBytes, 0);
    std::vector<uchar> levels(HistogramPass::BufferBytes, 100);
    for (int i = 0; i < 1000; ++i)
        picture[size_t(4 * i)] = 255;
    for (int i = 0; i < 300; ++i)
        levels[size_t(4 * i)] = 0;
    for (int i = 300; i < 350; ++i)
        levels[size_t(4 * i)] = 255;
    quint32 bins[3][HistogramPass::Bins];
    std::vector<quint32> arrays(3 * 512);
    quint32* target[3] = { &arrays[0], &arrays[512], &arrays[1024] };
    HistogramPass::computeHistogram(picture.data(), levels.data(), true, bins, target);
    QCOMPARE(bins[0][0], 300u);
    QCOMPARE(bins[0][255], 50u);
    QCOMPARE(target[0][0], scaled(300));
    QCOMPARE(target[0][1], scaled(300));
    QCOMPARE(target[0][510], scaled(50));
    QCOMPARE(target[0][511], scaled(50));
    QCOMPARE(bins[1][0], 0u);
    QCOMPARE(bins[1][255], 0u);

    // After levels (one pass): plain counts.
    HistogramPass::computeHistogram(picture.data(), nullptr, false, bins, target);
    QCOMPARE(bins[0][0], quint32(HistogramPass::Pixels - 1000));
    QCOMPARE(bins[0][255], 1000u);
    QCOMPARE(bins[1][0], quint32(HistogramPass::Pixels));
    QCOMPARE(target[1][0], scaled(HistogramPass::Pixels));
}

void TestShaderProcessor::noHistogramWithoutTarget()
{
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), 64, 32));
    QSignalSpy ready(grader.processor.get(), &ShaderProcessor::histogramDataReady);
    const auto picture = colourCubePicture(64, 32);
    for (int i = 0; i < 3; ++i)
        grader.grade(picture);
    QCOMPARE(ready.count(), 0);
    QVERIFY(grader.processor->currentFrameImage().isNull());
}

EMULSA_TEST_MAIN(TestShaderProcessor)
#include "tst_shaderprocessor.moc"
