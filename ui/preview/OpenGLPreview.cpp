#include "ui/preview/OpenGLPreview.h"

#include "app/PreviewPlayer.h"
#include "core/ApplicationPaths.h"
#include "core/GradingPipeline.h"
#include "core/ShaderProcessor.h"
#include "core/grade/FrameSeed.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/source/SourceReader.h"
#include "ui/preview/PreviewFrameUpload.h"
#include "ui/preview/PreviewPlaceholder.h"
#include "ui/preview/PreviewViewport.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QSurfaceFormat>

namespace Emulsa {

namespace {

// The window's rows run bottom-up: the plain projection puts the picture's
// top row at the top.
QMatrix4x4 windowProjection()
{
    QMatrix4x4 m;
    m.ortho(-1.f, 1.f, -1.f, 1.f, -1.f, 1.f);
    return m;
}

} // namespace

OpenGLPreview::OpenGLPreview(PreviewPlayer* player, QWindow* parent)
    : QWindow(parent)
    , m_player(player)
{
    setSurfaceType(QWindow::OpenGLSurface);
    QSurfaceFormat format;
    format.setVersion(4, 0);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    // Playback paces itself; waiting for the vertical blank would only add
    // up to a frame of lateness.
    format.setSwapInterval(0);
    setFormat(format);

    for (int channel = 0; channel < 3; ++channel)
        m_histogramPointers[channel] = m_histogram[channel].data();

    if (m_player) {
        connect(m_player, &PreviewPlayer::frameChanged, this, &OpenGLPreview::render);
        connect(m_player, &PreviewPlayer::playingChanged, this, &OpenGLPreview::playingChanged);
    }
    m_readyTimer.setSingleShot(true);
    m_readyTimer.setInterval(100);
    connect(&m_readyTimer, &QTimer::timeout, this, &OpenGLPreview::render);
}

OpenGLPreview::~OpenGLPreview()
{
    if (m_context && m_context->makeCurrent(this)) {
        cleanClipResources();
        m_placeholder.reset();
        m_context->doneCurrent();
    }
    // The context is a child, deleted only after the QOpenGLFunctions_4_0_Core
    // base: a context destroyed first leaves that base's function tables to
    // nobody, and they leak.
}

void OpenGLPreview::setRequiredVersion(int major, int minor)
{
    m_requiredMajor = major;
    m_requiredMinor = minor;
}

void OpenGLPreview::fail(const QString& message)
{
    m_shown = Shown::Failure;
    if (m_failure == message)
        return;
    m_failure = message;
    qWarning().noquote() << "OpenGLPreview:" << message;
    emit previewFailed(message);
}

bool OpenGLPreview::initializeContext()
{
    qDebug() << "Preview Format required:" << requestedFormat();
    m_context = new QOpenGLContext(this);
    m_context->setFormat(requestedFormat());
    if (!m_context->create()) {
        fail(QStringLiteral("Can't create openGL Context"));
        return false;
    }
    const QSurfaceFormat acquired = m_context->format();
    qDebug() << "Preview Format acquired:" << acquired;
    if (acquired.version() < qMakePair(m_requiredMajor, m_requiredMinor)
        || acquired.profile() != QSurfaceFormat::CoreProfile) {
        fail(QStringLiteral("OpenGL %1.%2 core is not available (got %3.%4)")
                 .arg(m_requiredMajor)
                 .arg(m_requiredMinor)
                 .arg(acquired.majorVersion())
                 .arg(acquired.minorVersion()));
        return false;
    }
    if (!m_context->makeCurrent(this)) {
        fail(QStringLiteral("Can't make openGL Context current"));
        return false;
    }
    if (!initializeOpenGLFunctions()) {
        fail(QStringLiteral("Can't initialize openGL functions!"));
        m_context->doneCurrent();
        return false;
    }
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_NEVER);
    glDepthMask(GL_FALSE);
    QOpenGLFunctions_4_0_Core* gl = this;
    m_placeholder = std::make_unique<PreviewPlaceholder>(gl);
    if (!m_placeholder->initialize(ApplicationPaths::instance()->resourcesPath())) {
        // The window still shows clips; without placeholders it stays clear.
        qWarning().noquote() << "OpenGLPreview:" << m_placeholder->error();
        m_placeholder.reset();
    }
    m_glReady = true;
    return true;
}

bool OpenGLPreview::clipUsable() const
{
    if (!m_item || !m_item->asset)
        return false;
    const AssetMetadata* asset = m_item->asset;
    return asset->valid && asset->ready && asset->width >= 2 && asset->height >= 2;
}

QSize OpenGLPreview::pictureSize() const
{
    if (!clipUsable())
        return QSize();
    return QSize(int(m_item->asset->width), int(m_item->asset->height));
}

QSize OpenGLPreview::windowPixels() const
{
    return QSize(int(devicePixelRatio() * width()), int(devicePixelRatio() * height()));
}

QRect OpenGLPreview::pictureViewport() const
{
    return PreviewViewport::viewport(windowPixels(), pictureSize(), m_zoom.factor(), m_zoom.pan());
}

void OpenGLPreview::cleanClipResources()
{
    m_processor.reset();
    m_upload.reset();
    m_pipeline.reset();
    m_linearCurrent = false;
}

bool OpenGLPreview::allocateClipResources()
{
    const AssetMetadata* asset = m_item->asset;
    const int width = int(asset->width);
    const int height = int(asset->height);
    glGetError();
    QOpenGLFunctions_4_0_Core* gl = this;
    m_pipeline = std::make_unique<GradingPipeline>(gl);
    // The pipeline's own output is not used: the window is the grading target.
    if (!m_pipeline->initialize(width, height, 2, 2)) {
        qWarning() << "OpenGLPreview: Failed to initialize textures for" << width << "x" << height;
        return false;
    }

    const qint64 stride = asset->stride != AssetMetadata::unset ? asset->stride : qint64(width) * 2;
    m_upload = std::make_unique<PreviewFrameUpload>(gl);
    if (!m_upload->allocate(asset->frameBytes != AssetMetadata::unset ? qint64(asset->frameBytes) : stride * height))
        return false;

    m_processor = std::make_unique<ShaderProcessor>(m_context);
    if (!m_item || !m_item->asset
        || !m_processor->initialize(
            m_item->asset->width, m_item->asset->height, m_item->settings, m_histogramPointers, 0, 0, StretchToFit)) {
        qWarning() << "OpenGLPreview: Failed to initialize shader processor";
        return false;
    }
    connect(m_processor.get(), &ShaderProcessor::histogramDataReady, this, &OpenGLPreview::histogramDataReady);
    connect(m_processor.get(), &ShaderProcessor::gradeAppliedChanged, this, &OpenGLPreview::gradeAppliedChanged);
    emit gradeAppliedChanged(m_processor->gradeApplied());
    m_processor->animateGrain = !paused();
    if (!paused())
        m_processor->resetGrainOffset = true;
    m_processor->histogramBeforeLevels = m_histogramBeforeLevels;
    return true;
}

void OpenGLPreview::currentItemChanged(const SequenceItem* item)
{
    if (item)
        qDebug() << "New current item set in Preview" << item->uuid;
    m_item = item;
    m_newClip = true;
    m_zoom.recentre();
    m_uploadedSerial = 0;
    m_shownIndex = -1;
    render();
}

void OpenGLPreview::playingChanged(bool playing)
{
    if (m_processor) {
        m_processor->animateGrain = playing;
        if (playing)
            m_processor->resetGrainOffset = true;
    }
    if (!playing)
        render();
}

void OpenGLPreview::render()
{
    if (!isExposed())
        return;
    if (!m_context && !initializeContext())
        return;
    if (!m_glReady)
        return;
    if (!m_context->makeCurrent(this)) {
        fail(QStringLiteral("Can't make openGL Context current"));
        return;
    }
    glGetError();
    const QSize window = windowPixels();
    glBindFramebuffer(GL_FRAMEBUFFER, m_context->defaultFramebufferObject());
    glViewport(0, 0, window.width(), window.height());
    glClearColor(0.f, 0.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);

    bool clipFailed = false;
    if (clipUsable() && m_newClip) {
        m_newClip = false;
        cleanClipResources();
        // The frame on screen, when the player has one, is uploaded below.
        m_uploadedSerial = 0;
        if (!allocateClipResources())
            cleanClipResources();
    } else if (!clipUsable() && m_newClip) {
        cleanClipResources();
        // A record still being read: look again shortly.
        if (m_item && m_item->asset && m_item->asset->valid && !m_item->asset->ready)
            m_readyTimer.start();
        else
            m_newClip = false;
    }
    clipFailed = clipUsable() && !m_processor;

    if (clipUsable() && m_processor) {
        Frame* frame = m_player ? m_player->currentFrame() : nullptr;
        if (frame && m_player->frameSerial() != m_uploadedSerial) {
            m_upload->upload(
                *frame, m_pipeline->sourceTexture(), int(m_item->asset->width), int(m_item->asset->height));
            // Converted when a pass needs the linear picture (displayFrame()).
            m_linearCurrent = false;
            m_uploadedSerial = m_player->frameSerial();
            m_shownIndex = frame->index;
        }
        if (m_shownIndex >= 0) {
            displayFrame();
            m_shown = Shown::Frame;
        } else {
            m_shown = Shown::Nothing;
        }
    } else if (m_placeholder) {
        const bool invalid = clipFailed || (m_item && m_item->asset && !m_item->asset->valid);
        const QRect viewport = PreviewViewport::fit(window, QSize());
        glViewport(viewport.x(), viewport.y(), viewport.width(), viewport.height());
        m_placeholder->draw(invalid ? PreviewPlaceholder::InvalidClip : PreviewPlaceholder::NoClip);
        m_shown = invalid ? Shown::InvalidClipPicture : Shown::NoClipPicture;
    } else {
        m_shown = Shown::Nothing;
    }

    if (m_grab) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_context->defaultFramebufferObject());
        glReadBuffer(GL_BACK);
        QImage image(window, QImage::Format_RGBA8888);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, window.width(), window.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
        m_grabbed = image.mirrored();
    }
    m_lastGLError = glGetError();
    if (m_lastGLError != GL_NO_ERROR)
        qWarning() << "OpenGLPreview: OpenGL error" << m_lastGLError << "while drawing";
    m_context->swapBuffers(this);
    m_context->doneCurrent();
}

void OpenGLPreview::convertFrame()
{
    m_pipeline->convertInputPass(m_processor.get(), colorRange());
    m_linearCurrent = true;
}

GradingPipeline::ColorRange OpenGLPreview::colorRange() const
{
    return m_item->asset->colorRange == GradingPipeline::FullRange ? GradingPipeline::FullRange
                                                                   : GradingPipeline::LimitedRange;
}

void OpenGLPreview::displayFrame()
{
    static const QMatrix4x4 projection = windowProjection();
    // Graded straight from the packed frame unless the blur needs the linear
    // picture: the frame's conversion at its full size is skipped.
    ShaderProcessor* processor = m_processor.get();
    // While playing, the levels histogram is counted on every few frames.
    if (++m_framesSinceHistogram >= HistogramEveryFrames || paused())
        m_framesSinceHistogram = 0;
    processor->histogramThisFrame = m_framesSinceHistogram == 0;
    // The frame's grain is the one every render of it gets.
    processor->grade().setFrameIdentity(FrameSeed::forClip(m_item->asset->name), m_shownIndex);
    const bool packed = !(processor->grade().blurAmount() > 0.f) && processor->setGradeSource(packedPictureSource());
    if (!packed && !m_linearCurrent)
        convertFrame();
    glBindFramebuffer(GL_FRAMEBUFFER, m_context->defaultFramebufferObject());
    glDrawBuffer(GL_BACK);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, packed ? m_pipeline->sourceTexture() : m_pipeline->linearTexture());
    processor->prepareFrame(ShaderProcessor::GradePass, ShaderProcessor::NoOrderPreference, &projection);
    const QRect viewport = pictureViewport();
    glViewport(viewport.x(), viewport.y(), viewport.width(), viewport.height());
    glDrawArrays(GL_TRIANGLES, 0, 6);
    processor->finishFrame();
    processor->setGradeSource(ShaderProcessor::LinearSource);
}

void OpenGLPreview::setHistogramBeforeLevels(bool before)
{
    m_histogramBeforeLevels = before;
    if (m_processor)
        m_processor->histogramBeforeLevels = before;
    redrawWhenPaused();
}

void OpenGLPreview::redrawWhenPaused()
{
    if (paused())
        render();
}

template<typename Edit> void OpenGLPreview::editGrade(Edit edit)
{
    if (!m_processor)
        return;
    edit(*m_processor);
    redrawWhenPaused();
}

void OpenGLPreview::applySettings(const ClipSettings* settings)
{
    if (!settings)
        return;
    editGrade([settings](ShaderProcessor& p) { p.applySettings(settings); });
}

void OpenGLPreview::setShowOriginal(bool enabled)
{
    editGrade([enabled](ShaderProcessor& p) { p.setBypass(enabled); });
}

void OpenGLPreview::setStock(const QString& stock, quint32 profile, double grainScale)
{
    editGrade([&](ShaderProcessor& p) {
        if (!p.setStock(stock, profile, grainScale))
            qWarning().noquote() << "OpenGLPreview: the stock" << stock << "could not be applied";
    });
}

void OpenGLPreview::currentFrameNeededForThumbnail(const QByteArray& presetId)
{
    qDebug() << "Frame need for preset thumbnail with uuid:" << presetId;
    if (!m_processor)
        return;
    // A copy of the last graded picture (null before the first one).
    emit frameForThumbnail(presetId, m_processor->currentFrameImage());
}

QImage OpenGLPreview::grabFramebuffer()
{
    m_grabbed = QImage();
    m_grab = true;
    render();
    m_grab = false;
    return m_grabbed;
}

void OpenGLPreview::exposeEvent(QExposeEvent* event)
{
    Q_UNUSED(event);
    render();
}

void OpenGLPreview::resizeEvent(QResizeEvent* event)
{
    QWindow::resizeEvent(event);
    render();
}

ShaderProcessor::GradeSource OpenGLPreview::packedPictureSource() const
{
    // Enlarged, each source pixel stays one flat block, as it is (the
    // histogram passes then read single pixels too); fitted or reduced, the
    // picture is filtered.
    if (m_zoom.factor() >= 1.0)
        return colorRange() == GradingPipeline::FullRange ? ShaderProcessor::PackedFullSource
                                                          : ShaderProcessor::PackedLimitedSource;
    return m_pipeline->packedSource(m_processor.get(), colorRange());
}

bool OpenGLPreview::paused() const
{
    return !m_player || !m_player->isPlaying();
}

} // namespace Emulsa
