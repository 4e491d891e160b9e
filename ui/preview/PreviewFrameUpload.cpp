#include "ui/preview/PreviewFrameUpload.h"

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"

#include <QDebug>
#include <QMutexLocker>

#include <cstring>

namespace Emulsa {

PreviewFrameUpload::PreviewFrameUpload(QOpenGLFunctions_4_0_Core* gl)
    : m_gl(gl)
{
}

PreviewFrameUpload::~PreviewFrameUpload()
{
    if (m_buffers[0])
        m_gl->glDeleteBuffers(2, m_buffers);
}

bool PreviewFrameUpload::allocate(qint64 bytes)
{
    m_bytes = bytes;
    m_gl->glGenBuffers(2, m_buffers);
    for (GLuint buffer : m_buffers) {
        m_gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, buffer);
        m_gl->glBufferData(GL_PIXEL_UNPACK_BUFFER, GLsizeiptr(m_bytes), nullptr, GL_STREAM_DRAW);
    }
    m_gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    const GLenum error = m_gl->glGetError();
    if (error != GL_NO_ERROR) {
        qWarning() << "OpenGLPreview: Can't create PBO, err:" << error;
        return false;
    }
    return true;
}

void PreviewFrameUpload::upload(Frame& frame, GLuint texture, int width, int height)
{
    m_next = (m_next + 1) % 2;
    m_gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, m_buffers[m_next]);
    m_gl->glBufferData(GL_PIXEL_UNPACK_BUFFER, GLsizeiptr(m_bytes), nullptr, GL_STREAM_DRAW);
    void* target = m_gl->glMapBufferRange(
        GL_PIXEL_UNPACK_BUFFER, 0, GLsizeiptr(m_bytes), GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    qint64 stride = 0;
    qint64 copied = 0;
    if (target) {
        QMutexLocker lock(&frame.mutex);
        stride = frame.effectiveStride();
        const qint64 rows = frame.metadata ? qint64(frame.metadata->height) : 0;
        copied = frame.data ? qMin(stride * rows, m_bytes) : 0;
        if (copied > 0)
            std::memcpy(target, frame.data, size_t(copied));
    }
    m_gl->glUnmapBuffer(GL_PIXEL_UNPACK_BUFFER);
    const qint64 rows = stride > 0 ? qMin<qint64>(height, copied / stride) : 0;
    if (rows > 0) {
        const int texelsPerRow = int(stride / 4);
        m_gl->glActiveTexture(GL_TEXTURE0);
        m_gl->glBindTexture(GL_TEXTURE_2D, texture);
        m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        m_gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, texelsPerRow);
        m_gl->glTexSubImage2D(
            GL_TEXTURE_2D, 0, 0, 0, qMin(texelsPerRow, width), int(rows), GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        m_gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }
    m_gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
}

} // namespace Emulsa
