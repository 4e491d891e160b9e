#include "core/grade/GlowPass.h"

#include <QDebug>
#include <QOpenGLShaderProgram>

namespace Emulsa {

namespace {

// Every step addresses texels by the fragment's position: the coordinates
// only keep the vertex array's layout.
const float kTextureCoordinates[12] = { 0.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f };

// Units the level step reads besides the picture on unit 0.
constexpr int kLevelUnit = 1;
constexpr int kEarlierUnit = 2;

} // namespace

void GlowPass::setUp(QOpenGLFunctions_4_0_Core* gl, const std::vector<GLenum>& formats)
{
    m_gl = gl;
    m_formats = formats;
}

GlowPass::Program* GlowPass::levelProgram(Source source, int factor, bool earlier)
{
    const QByteArray defines = "#define GLOW_LEVEL 1\n#define GLOW_SOURCE " + QByteArray::number(int(source))
        + "\n#define GLOW_FACTOR " + QByteArray::number(factor) + "\n#define GLOW_EARLIER " + (earlier ? "1" : "0")
        + '\n';
    return program((int(source) * 2 + (earlier ? 1 : 0)) * (Glow::MaxFactor + 1) + factor, defines, LevelStep, earlier);
}

GlowPass::Program* GlowPass::blurProgram(int radius)
{
    const QByteArray defines = "#define GLOW_LEVEL 0\n#define GLOW_RADIUS " + QByteArray::number(radius) + '\n';
    return program(-1 - radius, defines, BlurStep, false);
}

GlowPass::Program* GlowPass::program(int key, const QByteArray& defines, Step step, bool earlier)
{
    using GLSupport::resolveUniform;
    auto found = m_programs.find(key);
    if (found != m_programs.end())
        return &found->second;
    Program program;
    program.pass = std::make_unique<GLSupport::PassProgram>(
        GLSupport::ProgramNames { "inVertexPos", "inTextCoordinate", "uniMatrix" });
    if (!program.pass->build("Glow", QStringLiteral(":/quad.v.glsl"), QStringLiteral(":/glow.f.glsl"), defines)
        || !program.pass->resolveLocations() || !program.pass->buildVertexArray(m_gl, kTextureCoordinates, true))
        return nullptr;
    QOpenGLShaderProgram* p = program.pass->program();
    Locations& at = program.at;
    const bool level = step == LevelStep;
    int picture = -1, earlierLevel = -1, levelUnit = -1;
    const bool resolved = level
        ? resolveUniform(p, "uniPicture", &picture) && resolveUniform(p, "uniThreshold", &at.threshold)
            && resolveUniform(p, "uniStrength", &at.strength) && resolveUniform(p, "uniMix", &at.mix)
            && (!earlier
                || (resolveUniform(p, "uniEarlierLevel", &earlierLevel)
                    && resolveUniform(p, "uniEarlierThreshold", &at.earlierThreshold)
                    && resolveUniform(p, "uniEarlierStrength", &at.earlierStrength)
                    && resolveUniform(p, "uniEarlierScale", &at.earlierScale)))
        : resolveUniform(p, "uniLevel", &levelUnit) && resolveUniform(p, "uniDirection", &at.direction)
            && resolveUniform(p, "uniWeights", &at.weights);
    if (!resolved) {
        program.pass->destroy();
        return nullptr;
    }
    p->bind();
    if (level) {
        p->setUniformValue(picture, 0);
        if (earlier)
            p->setUniformValue(earlierLevel, kEarlierUnit);
    } else {
        p->setUniformValue(levelUnit, kLevelUnit);
    }
    p->release();
    return &m_programs.emplace(key, std::move(program)).first->second;
}

bool GlowPass::size(Target& target, int width, int height, GLenum filter)
{
    if (target.texture != 0 && target.width == width && target.height == height)
        return true;
    if (target.texture == 0) {
        m_gl->glGenTextures(1, &target.texture);
        m_gl->glGenFramebuffers(1, &target.fbo);
        if (target.texture == 0 || target.fbo == 0)
            return false;
        m_gl->glBindTexture(GL_TEXTURE_2D, target.texture);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(filter));
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    const std::vector<GLenum> formats = m_format ? std::vector<GLenum> { m_format } : m_formats;
    const GLenum format = GLSupport::attachRenderableTexture(m_gl, formats, target.fbo, target.texture, width, height);
    if (format == 0) {
        qWarning().noquote() << "ShaderProcessor: Glow FBO isn't complete";
        return false;
    }
    m_format = format;
    target.width = width;
    target.height = height;
    return true;
}

void GlowPass::draw(Target& target)
{
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
    m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
    m_gl->glViewport(0, 0, target.width, target.height);
    m_gl->glDrawArrays(GL_TRIANGLES, 0, 6);
}

bool GlowPass::runEffect(const GlowParams& params, Source source, const QMatrix4x4& matrix, Target (&targets)[2],
    const Composite* earlier, Composite* composite)
{
    const int factor = Glow::factorFor(params);
    int radius = 0;
    const auto weights = Glow::weights(params, factor, &radius);
    Program* level = levelProgram(source, factor, earlier != nullptr);
    Program* blur = level ? blurProgram(radius) : nullptr;
    if (!blur)
        return false;

    level->pass->bind(matrix);
    const Locations& at = level->at;
    m_gl->glUniform1f(at.threshold, params.threshold);
    m_gl->glUniform3f(at.strength, params.strength[0], params.strength[1], params.strength[2]);
    // Row-major: transposed on upload.
    m_gl->glUniformMatrix3fv(at.mix, 1, GL_TRUE, params.mix[0].data());
    m_gl->glActiveTexture(GL_TEXTURE0 + kEarlierUnit);
    m_gl->glBindTexture(GL_TEXTURE_2D, earlier ? earlier->level : 0);
    if (earlier) {
        m_gl->glUniform1f(at.earlierThreshold, earlier->threshold);
        m_gl->glUniform3f(at.earlierStrength, earlier->strength[0], earlier->strength[1], earlier->strength[2]);
        m_gl->glUniform2f(at.earlierScale, earlier->scale[0], earlier->scale[1]);
    }
    // The level unit holds the level being read; nothing while the level is drawn.
    m_gl->glActiveTexture(GL_TEXTURE0 + kLevelUnit);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    draw(targets[0]);
    level->pass->release();

    blur->pass->bind(matrix);
    m_gl->glUniform3fv(blur->at.weights, radius + 1, weights[0].data());
    m_gl->glUniform2i(blur->at.direction, 1, 0);
    m_gl->glBindTexture(GL_TEXTURE_2D, targets[0].texture);
    draw(targets[1]);
    m_gl->glUniform2i(blur->at.direction, 0, 1);
    m_gl->glBindTexture(GL_TEXTURE_2D, targets[1].texture);
    draw(targets[0]);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    blur->pass->release();

    composite->level = targets[0].texture;
    composite->threshold = params.threshold;
    composite->strength = params.strength;
    composite->scale = { 1.f / float(factor * targets[0].width), 1.f / float(factor * targets[0].height) };
    ++m_runs;
    return true;
}

bool GlowPass::run(const GlowParams (&effects)[EffectCount], Source source, unsigned int width, unsigned int height,
    const QMatrix4x4& matrix)
{
    forget();
    if (m_failed)
        return false;
    // Units 1 and 2 are given back as they were; unit 0 keeps the picture.
    GLint bound[2] = { 0, 0 };
    for (int unit : { kLevelUnit, kEarlierUnit }) {
        m_gl->glActiveTexture(GL_TEXTURE0 + unit);
        m_gl->glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound[unit - kLevelUnit]);
    }

    // Sized with the level unit active, so that unit 0 keeps the picture.
    m_gl->glActiveTexture(GL_TEXTURE0 + kLevelUnit);
    bool ready = true;
    for (int e = 0; ready && e < EffectCount; ++e) {
        if (effects[e].isOff())
            continue;
        const int factor = Glow::factorFor(effects[e]);
        const int lw = Glow::levelSize(int(width), factor);
        const int lh = Glow::levelSize(int(height), factor);
        // The blurred level is sampled filtered by the grading pass and the
        // next effect; the steps read texel by texel.
        ready = size(m_targets[e][0], lw, lh, GL_LINEAR) && size(m_targets[e][1], lw, lh, GL_NEAREST);
    }
    const Composite* earlier = nullptr;
    for (int e = 0; ready && e < EffectCount; ++e) {
        if (effects[e].isOff())
            continue;
        // A program that cannot be built ends the glow for good (m_failed).
        ready = runEffect(effects[e], source, matrix, m_targets[e], earlier, &m_composites[e]);
        earlier = &m_composites[e];
    }
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!ready) {
        forget();
        m_failed = true;
        qWarning().noquote() << "ShaderProcessor: no halation or bloom: the glow pass could not be made";
    }
    for (int unit : { kLevelUnit, kEarlierUnit }) {
        m_gl->glActiveTexture(GL_TEXTURE0 + unit);
        m_gl->glBindTexture(GL_TEXTURE_2D, GLuint(bound[unit - kLevelUnit]));
    }
    m_gl->glActiveTexture(GL_TEXTURE0);
    return ready;
}

void GlowPass::destroy()
{
    if (!m_gl)
        return;
    for (auto& program : m_programs)
        program.second.pass->destroy();
    m_programs.clear();
    for (auto& effect : m_targets)
        for (Target& target : effect) {
            GLSupport::deleteFramebuffer(m_gl, &target.fbo);
            if (target.texture)
                m_gl->glDeleteTextures(1, &target.texture);
            target = Target();
        }
    forget();
}

} // namespace Emulsa
