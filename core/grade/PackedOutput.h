#pragma once

#include <QOpenGLFunctions_4_0_Core>

namespace Emulsa {

// Where the grading pipeline draws the packed YUY2 frame, and how it is read
// back. The target is a renderbuffer of the output's width and half its rows
// (two pixels a texel, two rows side by side), RGBA8 or, for encoders of
// more than 8 bits, RGBA16. The read-back is either at once (read()) or,
// so that the next frame can be drawn while this one is read, through two
// pixel buffers that take turns (beginRead(), later finishRead(), oldest
// first).
//
// All calls need the context current on the calling thread.
class PackedOutput
{
public:
    static constexpr int BufferCount = 2;

    explicit PackedOutput(QOpenGLFunctions_4_0_Core* gl);
    ~PackedOutput(); // the context must be current

    PackedOutput(const PackedOutput&) = delete;
    PackedOutput& operator=(const PackedOutput&) = delete;

    // Makes the target for an output of `width` x `height`; returns the
    // framebuffer's status.
    GLenum create(int width, int height);
    void destroy();
    GLuint framebuffer() const { return m_framebuffer; }

    // Bits of each sample: 8 (the default) or 16. Callable before or after
    // create(); reads pending are forgotten.
    void setSampleBits(int bits);
    int sampleBits() const { return m_sampleBits; }

    // Output width x height x 2 samples (bytes, or native 16-bit numbers),
    // top row first.
    void read(void* bytes);
    // Starts reading into the next pixel buffer; false (nothing started)
    // while both hold reads not finished yet.
    bool beginRead();
    // The oldest pending read, as read() gives it; false when none is
    // pending or the buffer cannot be mapped.
    bool finishRead(void* bytes);
    int pendingReads() const { return m_pendingReads; }
    // Forgets the pending reads (their pictures are not wanted).
    void discardReads() { m_pendingReads = 0; }

private:
    GLsizeiptr bytes() const;
    void dropBuffers();

    QOpenGLFunctions_4_0_Core* m_gl;
    int m_width = 0;
    int m_height = 0;
    GLuint m_renderbuffer = 0;
    GLuint m_framebuffer = 0;
    GLuint m_buffers[BufferCount] = { 0, 0 };
    int m_sampleBits = 8;
    int m_next = 0;
    int m_pendingReads = 0;
};

} // namespace Emulsa
