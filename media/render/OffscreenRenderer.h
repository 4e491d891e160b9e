#pragma once

#include "core/ClipSettings.h"
#include "core/GradingPipeline.h"
#include "media/render/OutputSettings.h"

#include <QObject>
#include <QOpenGLDebugMessage>

#include <memory>

class QOffscreenSurface;
class QOpenGLFunctions_4_0_Core;
class QUuid;

namespace Emulsa {

class Frame;
class OffscreenGLContext;
class SequenceItem;
class ShaderProcessor;

// The GL side of rendering one sequence item to disk without a window: an
// off-screen OpenGL 4.0 core context (OffscreenGLContext on the caller's
// surface, swap interval 0), the shader processor that
// grades, and the frame textures and framebuffers (GradingPipeline) through
// which every frame goes: upload, conversion to RGB, grade, conversion back to
// packed YUY2 (movies) and read-back.
//
// The surface is made by the caller on the GUI thread and is not owned; the
// renderer is then used on one thread (the render thread), which owns the
// context while rendering.
class OffscreenRenderer : public QObject
{
    Q_OBJECT

public:
    explicit OffscreenRenderer(QOffscreenSurface* surface, QObject* parent = nullptr);
    ~OffscreenRenderer() override;

    virtual bool initialize(const SequenceItem* item, const t_OutputSettings* settings) = 0;
    // Renders a movie (the movie formats).
    virtual bool run() = 0;
    // Renders an image sequence (TIFF, DPX, OpenEXR).
    virtual bool runImageMode() = 0;

    int outputWidth() const { return m_outputWidth; }
    int outputHeight() const { return m_outputHeight; }
    // The swap interval the context reports (0 when swaps do not wait).
    int swapInterval() const { return m_swapInterval; }
    ShaderProcessor* processor() const { return m_processor.get(); }

signals:
    // 0 when rendering starts, the count of frames written while it runs,
    // -41 while the file is finalised, -42 when the item is complete, -1 when
    // it failed or was cancelled.
    void progressUpdated(const QUuid* uuid, int value);

public slots:
    void onDebugMessageLoad(const QOpenGLDebugMessage& message);

protected:
    bool initializeOpenGL();
    bool makeCurrent();
    void doneCurrent();

    // The frame passes; the context must be current.
    void uploadFrame(const uchar* bytes, int stride);
    // Uploads a frame under its lock with its own stride and sample depth.
    void uploadFrame(Frame* frame);
    // The uploaded frame converted and graded (in one pass when the grading
    // program can read the packed frame itself).
    void gradeFrame();
    // The uploaded frame graded and packed for the YUY2 read-back (in one
    // pass when the grading program can read and write the packed frame).
    void gradeFrameToYuy2();
    // The packed YUY2 picture (output width x height x 2 samples of
    // m_packedSampleBits), top row first.
    void readBackYuy2(uchar* buffer);
    // The same through pixel buffers, so that the next frame is drawn while
    // this one is read: begin after gradeFrameToYuy2() (false while two
    // reads are pending), finish later, oldest first, into the buffer.
    bool beginReadBackYuy2();
    bool finishReadBackYuy2(uchar* buffer);
    int pendingReadBacks() const;
    // Forgets the reads not finished (a render that stops early).
    void discardReadBacks();
    // Whether the passes would give the packed frame back unchanged (a
    // neutral grade at the source's size): the frame can skip them.
    bool picturePassesThrough() const;
    // The frames to come are deep (Frame::bitsPerSample 16, from a reader
    // with WinSourceReader::setDeepPictures(true)): they never pass through,
    // even before the first is uploaded.
    void setDeepSource(bool deep) { m_deepSource = deep; }
    // The graded picture as RGBA8, output width x height x 4 bytes, top row first.
    void readBackGraded(uchar* buffer);
    // The same at 16 bits a sample, and as floats.
    void readBackGraded(ushort* buffer);
    void readBackGraded(float* buffer);
    void swapAndRelease();

    GradingPipeline::ColorRange colorRange() const;
    const QUuid* itemUuid() const;
    // Raises progressUpdated and lets queued events through.
    void reportProgress(int value);

    const SequenceItem* m_item = nullptr;
    const t_OutputSettings* m_settings = nullptr;
    // The grade the processor was set up with: the item's, with the
    // show-original switch off (a render always grades).
    ClipSettings m_grade;
    bool m_imageMode = false;
    int m_outputWidth = 0;
    int m_outputHeight = 0;
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    // Bits of each packed output sample, set before initializeOpenGL(): 8,
    // or 16 (limited range, whatever the clip's) for deep encoders.
    int m_packedSampleBits = 8;
    quint32 m_clipSeed = 0;
    Frame* m_currentFrame = nullptr;

private:
    QOffscreenSurface* m_surface = nullptr;
    std::unique_ptr<OffscreenGLContext> m_context;
    // Resolved by the context, which owns them.
    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    std::unique_ptr<ShaderProcessor> m_processor;
    std::unique_ptr<GradingPipeline> m_pipeline;
    int m_swapInterval = -1;
    bool m_deepSource = false;
};

} // namespace Emulsa
