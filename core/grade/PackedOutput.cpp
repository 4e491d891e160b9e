#include "core/grade/PackedOutput.h"

#include <QDebug>

#include <cstring>

namespace Emulsa {

PackedOutput::PackedOutput(QOpenGLFunctions_4_0_Core* gl)
    : m_gl(gl)
{
}

PackedOutput::~PackedOutput()
{
    destroy();
}

GLenum PackedOutput::create(int width, int height)
{
    destroy();
    m_width = width;
    m_height = height;
    m_gl->glGenRenderbuffers(1, &m_renderbuffer);
    m_gl->glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffer);
    // Half the output's rows: the viewport stays the output's, and rows
    // beyond are never drawn.
    m_gl->glRenderbufferStorage(GL_RENDERBUFFER, m_sampleBits > 8 ? GL_RGBA16 : GL_RGBA8, width, (height + 1) / 2);
    m_gl->glBindRenderbuffer(GL_RENDERBUFFER, 0);
    m_gl->glGenFramebuffers(1, &m_framebuffer);
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    m_gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_renderbuffer);
    const GLenum status = m_gl->glCheckFramebufferStatus(GL_FRAMEBUFFER);
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return status;
}

void PackedOutput::destroy()
{
    if (!m_gl)
        return;
    if (m_framebuffer)
        m_gl->glDeleteFramebuffers(1, &m_framebuffer);
    if (m_renderbuffer)
        m_gl->glDeleteRenderbuffers(1, &m_renderbuffer);
    m_framebuffer = m_renderbuffer = 0;
    dropBuffers();
}

void PackedOutput::dropBuffers()
{
    if (m_buffers[0])
        m_gl->glDeleteBuffers(BufferCount, m_buffers);
    m_buffers[0] = m_buffers[1] = 0;
    m_next = 0;
    m_pendingReads = 0;
}

GLsizeiptr PackedOutput::bytes() const
{
    return GLsizeiptr(m_width) * (m_height / 2) * 4 * (m_sampleBits / 8);
}

void PackedOutput::setSampleBits(int bits)
{
    const int wanted = bits > 8 ? 16 : 8;
    if (wanted == m_sampleBits)
        return;
    m_sampleBits = wanted;
    if (!m_renderbuffer)
        return;
    m_gl->glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffer);
    m_gl->glRenderbufferStorage(GL_RENDERBUFFER, wanted > 8 ? GL_RGBA16 : GL_RGBA8, m_width, (m_height + 1) / 2);
    m_gl->glBindRenderbuffer(GL_RENDERBUFFER, 0);
    // The pixel buffers are made again at the new size by the next read.
    dropBuffers();
}

void PackedOutput::read(void* bytes)
{
    m_gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
    GLint previous = 0;
    m_gl->glGetIntegerv(GL_READ_BUFFER, &previous);
    m_gl->glReadBuffer(GL_COLOR_ATTACHMENT0);
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    m_gl->glReadPixels(
        0, 0, m_width, m_height / 2, GL_RGBA, m_sampleBits > 8 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_BYTE, bytes);
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    m_gl->glReadBuffer(GLenum(previous));
    m_gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
}

bool PackedOutput::beginRead()
{
    if (m_pendingReads >= BufferCount)
        return false;
    if (!m_buffers[0]) {
        m_gl->glGenBuffers(BufferCount, m_buffers);
        for (GLuint buffer : m_buffers) {
            m_gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            m_gl->glBufferData(GL_PIXEL_PACK_BUFFER, bytes(), nullptr, GL_STREAM_READ);
        }
    }
    m_gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, m_buffers[m_next]);
    // With a pack buffer bound the pointer is an offset into it.
    read(nullptr);
    m_gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    m_next = (m_next + 1) % BufferCount;
    ++m_pendingReads;
    return true;
}

bool PackedOutput::finishRead(void* bytes)
{
    if (m_pendingReads <= 0)
        return false;
    const int oldest = (m_next + BufferCount - m_pendingReads) % BufferCount;
    --m_pendingReads;
    const GLsizeiptr size = this->bytes();
    m_gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, m_buffers[oldest]);
    const void* mapped = m_gl->glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, size, GL_MAP_READ_BIT);
    if (mapped)
        std::memcpy(bytes, mapped, size_t(size));
    const bool unmapped = mapped && m_gl->glUnmapBuffer(GL_PIXEL_PACK_BUFFER) == GL_TRUE;
    m_gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!unmapped)
        qWarning().noquote() << "GradingPipeline: can't map the read-back buffer" << m_gl->glGetError();
    return unmapped;
}

} // namespace Emulsa
