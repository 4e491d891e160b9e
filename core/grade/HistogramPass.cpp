#include "core/grade/HistogramPass.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/grade/GLSupport.h"

#include <QDebug>

#include <cmath>
#include <cstring>

namespace Emulsa {

HistogramPass::HistogramPass()
{
    std::memset(m_picture, 0, sizeof(m_picture));
    std::memset(m_levelsPass, 0, sizeof(m_levelsPass));
    std::memset(m_bins, 0, sizeof(m_bins));
}

bool HistogramPass::create(const std::vector<GLenum>& formats)
{
    m_gl->glGetError();
    m_texture = GLSupport::createTexture(m_gl, GL_TEXTURE_2D, GL_NEAREST);
    if (m_texture == 0)
        return false;
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_gl->glGenFramebuffers(1, &m_fbo);
    if (m_fbo == 0)
        return false;
    m_format = GLSupport::attachRenderableTexture(m_gl, formats, m_fbo, m_texture, Width, Height);
    if (m_format == 0) {
        qWarning().noquote() << "ShaderProcessor: Histogram FBO aren't complete";
        return false;
    }
    return m_gl->glGetError() == GL_NO_ERROR;
}

void HistogramPass::setTarget(quint32** target)
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_target = target;
}

bool HistogramPass::hasTarget() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_target != nullptr;
}

void HistogramPass::bindTarget()
{
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
    m_gl->glReadBuffer(GL_COLOR_ATTACHMENT0);
    m_gl->glViewport(0, 0, Width, Height);
}

void HistogramPass::readPicture()
{
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // currentFrameImage() copies this buffer under the same lock.
    AnnotatedMutexLocker lock(&m_mutex);
    m_gl->glReadPixels(0, 0, Width, Height, GL_RGBA, GL_UNSIGNED_BYTE, m_picture);
    m_drawn = true;
}

void HistogramPass::readLevelsPass()
{
    m_gl->glReadPixels(0, 0, Width, Height, GL_RGBA, GL_UNSIGNED_BYTE, m_levelsPass);
}

bool HistogramPass::publish(bool beforeLevels)
{
    AnnotatedMutexLocker lock(&m_mutex);
    if (!m_target)
        return false;
    computeHistogram(m_picture, m_levelsPass, beforeLevels, m_bins, m_target);
    return true;
}

QImage HistogramPass::currentFrameImage() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    if (!m_drawn)
        return QImage();
    // copy(): the QImage over the buffer would follow the next read-back.
    return QImage(m_picture, Width, Height, QImage::Format_RGBA8888).copy();
}

void HistogramPass::destroy()
{
    m_gl->glGetError();
    GLSupport::deleteFramebuffer(m_gl, &m_fbo);
    if (m_texture)
        m_gl->glDeleteTextures(1, &m_texture);
    m_texture = 0;
}

void HistogramPass::computeHistogram(
    const uchar* picture, const uchar* levelsPass, bool beforeLevels, quint32 (*bins)[Bins], quint32* const* target)
{
    std::memset(bins, 0, sizeof(quint32) * 3 * Bins);
    for (int i = 0; i < Pixels; ++i) {
        const uchar* pixel = picture + 4 * i;
        ++bins[0][pixel[0]];
        ++bins[1][pixel[1]];
        ++bins[2][pixel[2]];
    }
    if (beforeLevels && levelsPass) {
        // The ends show what the levels clip: the pixels the levels pass
        // sends to 0 and to 255.
        for (int c = 0; c < 3; ++c) {
            bins[c][0] = 0;
            bins[c][255] = 0;
        }
        for (int i = 0; i < Pixels; ++i) {
            const uchar* pixel = levelsPass + 4 * i;
            for (int c = 0; c < 3; ++c) {
                if (pixel[c] == 0)
                    ++bins[c][0];
                else if (pixel[c] == 255)
                    ++bins[c][255];
            }
        }
    }
    // Scaled so that a full 512 x 256 picture sums to about 3,000,000.
    const double scale = 22.888184;
    for (int c = 0; c < 3; ++c) {
        if (!target[c])
            continue;
        for (int i = 0; i < 256; ++i) {
            const quint32 value = quint32(std::trunc(double(bins[c][i]) * scale));
            target[c][2 * i] = value;
            target[c][2 * i + 1] = value;
        }
    }
}

} // namespace Emulsa
