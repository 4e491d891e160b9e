#pragma once

#include "core/ClipSettings.h"
#include "core/GradingPipeline.h"
#include "ui/preview/PreviewZoom.h"

#include <QImage>
#include <QOpenGLFunctions_4_0_Core>
#include <QTimer>
#include <QWindow>

#include <array>
#include <memory>

class QOpenGLContext;

namespace Emulsa {

class PreviewFrameUpload;
class PreviewPlaceholder;
class PreviewPlayer;
class SequenceItem;
class ShaderProcessor;

// The graded preview of the current clip: a window with its own OpenGL 4.0
// core context (swap interval 0) and a shader processor made per clip. It
// draws the frame its PreviewPlayer has on screen, whenever that changes or
// the grade does: the frame goes through a pixel-unpack buffer into the
// source texture and is graded straight into the window (the order of
// GradingPipeline, with the window as the grading pass's target). Decoding
// and timing are the player's; the grain moves only while it plays.
//
// Failures never end the program: a clip that cannot be read shows the
// invalid-clip picture, failed per-clip resources a cleared window, and a
// context that cannot be made is reported with previewFailed() (the owner
// shows the message in place of the window).
class OpenGLPreview : public QWindow, protected QOpenGLFunctions_4_0_Core
{
    Q_OBJECT

public:
    // What the last render drew.
    enum class Shown
    {
        Nothing,
        NoClipPicture,
        InvalidClipPicture,
        Frame,
        Failure
    };

    // While playing, the levels histogram is counted on one frame in this
    // many (four times a second at 25 fps): its read-back costs a
    // software rasteriser a fifth of a frame. Paused, every redraw counts it.
    static constexpr int HistogramEveryFrames = 6;

    explicit OpenGLPreview(PreviewPlayer* player, QWindow* parent = nullptr);
    ~OpenGLPreview() override;

    PreviewPlayer* player() const { return m_player; }

    const SequenceItem* currentItem() const { return m_item; }
    ShaderProcessor* processor() const { return m_processor.get(); }
    // Whether the picture is shown at a zoom factor rather than fitted.
    bool zoom() const { return m_zoom.factor() > 0.0; }
    // The zoom factor: 0 for Fit, 1.0 for one source pixel per device pixel.
    double zoomFactor() const { return m_zoom.factor(); }
    // How far the zoomed picture's centre is moved from the window's centre,
    // in device pixels, y down (see PreviewViewport).
    QPoint panOffset() const { return m_zoom.pan(); }
    Shown shown() const { return m_shown; }
    // The index of the frame on screen, -1 when none.
    qint32 shownFrameIndex() const { return m_shownIndex; }
    // Why the preview cannot draw, empty while it can.
    const QString& failure() const { return m_failure; }
    // The histogram the processor fills after each graded frame: three
    // channels of 512 counts.
    const quint32* histogram(int channel) const { return m_histogram[channel].data(); }
    // The viewport of the picture in device pixels.
    QRect pictureViewport() const;

    // Renders once and returns what was drawn into the window's framebuffer
    // (a null image when nothing could be drawn).
    QImage grabFramebuffer();
    // Renders, and reports any OpenGL error raised while doing so.
    GLenum lastGLError() const { return m_lastGLError; }

    // The context version required; below it the context counts as failed.
    void setRequiredVersion(int major, int minor);

public slots:
    // A new current clip (null for none). The owner has opened it in the
    // player.
    void currentItemChanged(const SequenceItem* item);
    // true shows the picture at 100 %, false fits it.
    void setZoom(bool enabled);
    // 0 or below fits the picture; other factors are kept within the zoom
    // range and keep the picture's point at the window's centre in place.
    void setZoomFactor(double factor);
    void setHistogramBeforeLevels(bool before);

    // Grade edits, straight to the processor; each redraws when paused. The
    // grading tab applies the whole grade after every edit: the processor
    // rebuilds only the tables whose fields changed.
    void applySettings(const ClipSettings* settings);
    void setShowOriginal(bool enabled);
    void setStock(const QString& stock, quint32 profile, double grainScale);
    // The graded frame for a preset's thumbnail: frameForThumbnail follows.
    void currentFrameNeededForThumbnail(const QByteArray& presetId);

    void render();

signals:
    void histogramDataReady();
    void previewFailed(const QString& message);
    // False while the clip's grade cannot be applied (its film data is
    // missing): the picture then shows no film look.
    void gradeAppliedChanged(bool applied);
    void frameForThumbnail(const QByteArray& presetId, const QImage& image);
    // The new zoom factor, 0 for Fit.
    void zoomChanged(double factor);

protected:
    void exposeEvent(QExposeEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool initializeContext();
    bool allocateClipResources();
    void cleanClipResources();
    void fail(const QString& message);
    void playingChanged(bool playing);
    bool paused() const;
    void convertFrame();
    void displayFrame();
    GradingPipeline::ColorRange colorRange() const;
    void redrawWhenPaused();
    bool clipUsable() const;
    QSize pictureSize() const;
    QSize windowPixels() const;
    template<typename Edit> void editGrade(Edit edit);
    // Shows a zoom that changed.
    void zoomApplied();
    void updateCursor();
    // The packed source the picture is graded from: one source pixel per
    // pixel block when zoomed in, filtered otherwise.
    ShaderProcessor::GradeSource packedPictureSource() const;

    PreviewPlayer* m_player;
    QOpenGLContext* m_context = nullptr;
    bool m_glReady = false;
    int m_requiredMajor = 4;
    int m_requiredMinor = 0;
    std::unique_ptr<PreviewPlaceholder> m_placeholder;
    std::unique_ptr<GradingPipeline> m_pipeline;
    std::unique_ptr<ShaderProcessor> m_processor;
    std::unique_ptr<PreviewFrameUpload> m_upload;
    const SequenceItem* m_item = nullptr;
    // Frames drawn since the histogram was last counted.
    int m_framesSinceHistogram = 0;
    // The player's frame serial last uploaded.
    quint64 m_uploadedSerial = 0;
    // Whether the linear texture holds the uploaded frame converted.
    bool m_linearCurrent = false;
    std::array<std::array<quint32, 512>, 3> m_histogram {};
    quint32* m_histogramPointers[3];
    QTimer m_readyTimer;
    bool m_newClip = true;
    bool m_histogramBeforeLevels = false;
    PreviewZoom m_zoom;
    Qt::CursorShape m_cursorShape = Qt::ArrowCursor;
    Shown m_shown = Shown::Nothing;
    qint32 m_shownIndex = -1;
    QString m_failure;
    bool m_grab = false;
    QImage m_grabbed;
    GLenum m_lastGLError = 0;
};

} // namespace Emulsa
