#pragma once

#include <QImage>
#include <QMutex>
#include <QOpenGLFunctions_4_0_Core>

#include <vector>

namespace Emulsa {

// The levels histogram: a small render target the grading program draws the
// picture into (and, to show what the levels clip, the picture after the
// levels), the two read-back buffers and the binning into the owner's three
// arrays of 512 counts. The drawing itself is the processor's; the target,
// the read-backs and the counts are kept here, the counts and the owner's
// arrays under this part's mutex.
class HistogramPass
{
public:
    static constexpr int Width = 512;
    static constexpr int Height = 256;
    static constexpr int Bins = 512;
    static constexpr int Pixels = Width * Height;
    static constexpr int BufferBytes = Pixels * 4;

    HistogramPass();
    HistogramPass(const HistogramPass&) = delete;
    HistogramPass& operator=(const HistogramPass&) = delete;

    void setFunctions(QOpenGLFunctions_4_0_Core* gl) { m_gl = gl; }
    // The texture and framebuffer, in the first of `formats` that renders;
    // false (logged when no format did) on failure.
    bool create(const std::vector<GLenum>& formats);
    GLenum format() const { return m_format; }

    // The owner's arrays (three of Bins counts), or null for none. Any thread.
    void setTarget(quint32** target);
    bool hasTarget() const;

    // Binds the target framebuffer for drawing and reading, with its viewport.
    void bindTarget();
    // Reads the picture drawn (buffer A) or the levels pass (buffer B).
    void readPicture();
    void readLevelsPass();
    // Bins the buffers into the owner's arrays; false when there are none.
    bool publish(bool beforeLevels);

    // A copy of the last picture read back (Width x Height, RGBA8888); null
    // before the first.
    QImage currentFrameImage() const;

    void destroy();

    // Histogram of the read-back buffers into `target` (three arrays of 512
    // counts), using `bins` (3 x 512) as work space. `levelsPass` may be null
    // when `beforeLevels` is false.
    static void computeHistogram(const uchar* picture, const uchar* levelsPass, bool beforeLevels,
        quint32 (*bins)[Bins], quint32* const* target);

private:
    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    GLuint m_texture = 0;
    GLuint m_fbo = 0;
    GLenum m_format = 0;
    mutable QMutex m_mutex;
    bool m_drawn = false;
    quint32** m_target = nullptr;
    // Read-back buffers: the picture (A) and the levels pass (B).
    alignas(16) uchar m_picture[BufferBytes];
    alignas(16) uchar m_levelsPass[BufferBytes];
    quint32 m_bins[3][Bins];
};

} // namespace Emulsa
