#pragma once

#include <QOpenGLFunctions_4_0_Core>
#include <QtGlobal>

namespace Emulsa {

class Frame;

// Streams the preview's frames (packed YUY2, two pixels per RGBA texel) into
// the source texture through two pixel-unpack buffers. Each frame gets fresh
// storage in the buffer not used last, so the copy never waits for the GPU
// to finish reading the frame before. Made and destroyed with the preview's
// context current.
class PreviewFrameUpload
{
public:
    explicit PreviewFrameUpload(QOpenGLFunctions_4_0_Core* gl);
    ~PreviewFrameUpload();
    PreviewFrameUpload(const PreviewFrameUpload&) = delete;
    PreviewFrameUpload& operator=(const PreviewFrameUpload&) = delete;

    // Buffers of `bytes` each (a whole frame); false on an OpenGL error.
    bool allocate(qint64 bytes);
    // Copies the frame's rows into the top of `texture`: at most `height`
    // rows and `width` texels a row, and never more than a buffer holds,
    // whatever the frame says it has.
    void upload(Frame& frame, GLuint texture, int width, int height);

private:
    QOpenGLFunctions_4_0_Core* m_gl;
    GLuint m_buffers[2] = { 0, 0 };
    qint64 m_bytes = 0;
    int m_next = 0;
};

} // namespace Emulsa
