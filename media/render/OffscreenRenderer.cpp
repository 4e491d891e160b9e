#include "media/render/OffscreenRenderer.h"

#include "core/OffscreenGLContext.h"
#include "core/ShaderProcessor.h"
#include "core/grade/FrameSeed.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"

#include <QCoreApplication>
#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_4_0_Core>
#include <QUuid>

namespace Emulsa {

OffscreenRenderer::OffscreenRenderer(QOffscreenSurface* surface, QObject* parent)
    : QObject(parent)
    , m_surface(surface)
{
}

OffscreenRenderer::~OffscreenRenderer()
{
    delete m_currentFrame;
    m_currentFrame = nullptr;
    if (m_context) {
        m_context->makeCurrent();
        m_pipeline.reset();
        m_processor.reset();
        m_gl = nullptr;
        m_context.reset();
    }
    qDebug().noquote() << "OffscreenRenderer: Destruction of OffscreenRenderer completed";
}

void OffscreenRenderer::onDebugMessageLoad(const QOpenGLDebugMessage& message)
{
    qDebug() << "OffscreenRenderer:" << message;
}

bool OffscreenRenderer::initializeOpenGL()
{
    if (!m_surface) {
        qCritical().noquote() << "Can't create QOpenGLContext for on disk rendering!";
        return false;
    }
    qDebug() << "OffscreenRenderer: Format required:" << m_surface->requestedFormat();
    m_context = std::make_unique<OffscreenGLContext>();
    if (!m_context->create(m_surface)) {
        qCritical().noquote() << "Can't create openGL context for on disk rendering!" << m_context->lastError();
        return false;
    }
    qDebug() << "OffscreenRenderer: Format acquired:" << m_context->context()->format();
    m_swapInterval = m_context->context()->format().swapInterval();
    qDebug().noquote() << "OffscreenRenderer: Current swap interval: " << m_swapInterval;
    m_gl = m_context->functions();
    m_gl->glDisable(GL_DEPTH_TEST);
    m_gl->glDepthFunc(GL_NEVER);
    m_gl->glDepthMask(GL_FALSE);
    m_gl->glViewport(0, 0, m_outputWidth, m_outputHeight);

    m_processor = std::make_unique<ShaderProcessor>(m_context->context());
    if (!m_processor->initialize(
            m_sourceWidth, m_sourceHeight, &m_grade, nullptr, m_outputWidth, m_outputHeight, m_settings->fitMethod)) {
        qCritical().noquote() << "Can't initialize openGL shaderProcessor for on disk rendering!";
        return false;
    }
    // A movie without the clip's grade is no render: refuse it.
    if (!m_processor->gradeApplied()) {
        qCritical().noquote() << "The clip's grade could not be applied (no stock table for its stock and camera "
                                 "profile), not rendering it!";
        return false;
    }
    // Each frame's grain is seeded from the clip and the frame number
    // (uploadFrame()), so renders of a frame are identical whatever their
    // order or split; a frame without a number gets a random grain position.
    m_processor->animateGrain = true;
    m_clipSeed = FrameSeed::forClip(m_item && m_item->asset ? m_item->asset->name : QString());

    m_pipeline = std::make_unique<GradingPipeline>(m_gl);
    m_pipeline->packedOutput().setSampleBits(m_packedSampleBits);
    if (!m_pipeline->initialize(m_sourceWidth, m_sourceHeight, m_outputWidth, m_outputHeight)) {
        qCritical().noquote() << "Failed to initialize openGL texture!";
        qCritical().noquote() << "Failed to initialize FBOs";
        return false;
    }
    m_context->doneCurrent();
    return true;
}

bool OffscreenRenderer::makeCurrent()
{
    return m_context && m_context->makeCurrent();
}

void OffscreenRenderer::doneCurrent()
{
    if (m_context)
        m_context->doneCurrent();
}

void OffscreenRenderer::uploadFrame(const uchar* bytes, int stride)
{
    // No clear: every pass draws its whole target (the output conversion the
    // half that is read), and the surface's own buffer is never read.
    if (stride <= 0 && m_item && m_item->asset && m_item->asset->stride != AssetMetadata::unset)
        stride = int(m_item->asset->stride);
    m_pipeline->uploadYuy2(bytes, stride);
}

void OffscreenRenderer::uploadFrame(Frame* frame)
{
    QMutexLocker lock(&frame->mutex);
    m_processor->grade().setFrameIdentity(m_clipSeed, frame->index);
    if (frame->bitsPerSample > 8) {
        m_pipeline->uploadYuy2(frame->data, int(frame->effectiveStride()), frame->bitsPerSample);
        return;
    }
    uploadFrame(frame->data, int(frame->effectiveStride()));
}

void OffscreenRenderer::gradeFrame()
{
    m_pipeline->gradeFromSource(m_processor.get(), colorRange());
}

void OffscreenRenderer::gradeFrameToYuy2()
{
    // 16-bit packed pictures go to encoders of more than 8 bits, whose YUV
    // is limited range whatever the clip's.
    m_pipeline->gradeToYuy2(
        m_processor.get(), colorRange(), m_packedSampleBits > 8 ? GradingPipeline::LimitedRange : colorRange());
}

void OffscreenRenderer::readBackYuy2(uchar* buffer)
{
    m_pipeline->packedOutput().read(buffer);
}

bool OffscreenRenderer::beginReadBackYuy2()
{
    return m_pipeline->packedOutput().beginRead();
}

bool OffscreenRenderer::finishReadBackYuy2(uchar* buffer)
{
    return m_pipeline->packedOutput().finishRead(buffer);
}

int OffscreenRenderer::pendingReadBacks() const
{
    return m_pipeline ? m_pipeline->packedOutput().pendingReads() : 0;
}

void OffscreenRenderer::discardReadBacks()
{
    if (m_pipeline)
        m_pipeline->packedOutput().discardReads();
}

bool OffscreenRenderer::picturePassesThrough() const
{
    return !m_deepSource && m_pipeline && m_processor && m_pipeline->passesPictureThrough(m_processor.get());
}

void OffscreenRenderer::readBackGraded(uchar* buffer)
{
    m_pipeline->readGraded(buffer);
}

void OffscreenRenderer::readBackGraded(ushort* buffer)
{
    m_pipeline->readGraded(buffer);
}

void OffscreenRenderer::readBackGraded(float* buffer)
{
    m_pipeline->readGraded(buffer);
}

void OffscreenRenderer::swapAndRelease()
{
    m_context->context()->swapBuffers(m_surface);
    m_context->doneCurrent();
}

GradingPipeline::ColorRange OffscreenRenderer::colorRange() const
{
    if (m_item && m_item->asset && m_item->asset->colorRange == GradingPipeline::FullRange)
        return GradingPipeline::FullRange;
    return GradingPipeline::LimitedRange;
}

const QUuid* OffscreenRenderer::itemUuid() const
{
    return m_item ? &m_item->uuid : nullptr;
}

void OffscreenRenderer::reportProgress(int value)
{
    emit progressUpdated(itemUuid(), value);
    QCoreApplication::processEvents();
}

} // namespace Emulsa
