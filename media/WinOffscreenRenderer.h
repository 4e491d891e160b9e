#pragma once

#include "media/LibAVPointers.h"
#include "media/MediaWriter.h"
#include "media/OffscreenRenderer.h"
#include "media/SourceReader.h"

#include <QMap>
#include <QSet>

#include <memory>
#include <vector>

namespace Emulsa {

class WinSourceReader;

// Renders one sequence item to disk: decodes it with its own source reader,
// grades every frame from the in point S up to the out point E (E not
// included) on the GPU and writes a ".mov" movie (H.264 and AAC, through
// MediaWriter) or a numbered TIFF sequence. This build has no platform sink
// writer: movies always take the FFmpeg loop (runVideoModeLibAV).
//
// Frames and sound follow the clip's time line (FrameClock): the movie holds
// frames S .. E - 1 as the reader delivers them, each one frame long, and the
// sound of the same stretch, sample for sample as long as the pictures written
// (silence where the source has none). TIFF images are named by frame index.
// A source that ends before E, or a picture that cannot be decoded, makes the
// render a failure whose message says how many frames were written of how
// many; the movie is still closed properly with what was written.
//
// The loops stop between frames when *keepRunning becomes false (the render
// queue's run flag, written by another thread, read without a lock).
class WinOffscreenRenderer : public OffscreenRenderer
{
    Q_OBJECT

public:
    WinOffscreenRenderer(volatile bool* keepRunning, QOffscreenSurface* surface, QObject* parent = nullptr);
    ~WinOffscreenRenderer() override;

    bool initialize(const SequenceItem* item, const t_OutputSettings* settings) override;
    bool run() override;
    bool runImageMode() override;

    // Where this item's output goes (see OutputPaths).
    QString outputFilePath() const;
    // The movie written (the output path with ".mov").
    QString movieFilePath() const;
    bool prepareImageFolder(QString* error = nullptr) const;
    QString imageFilePattern() const;

    DecodingApi api() const { return m_api; }
    int framesWritten() const { return m_framesWritten; }
    // Running output time of a writer stream, in 100-ns units.
    qint64 sampleTime(int stream) const { return m_sampleTimes.value(stream, 0); }
    // The last failure, for callers that report it themselves.
    const QString& lastError() const { return m_lastError; }

private:
    struct Decoding;

    bool initializeSinkWriter();
    bool mapStreamsLibAV();
    bool runVideoModeLibAV();
    // Sends the packed picture in m_outputBuffer to the video stream.
    bool sendFrameToSinkWriter(int stream, qint64 duration);
    bool keepRunning() const { return !m_keepRunning || *m_keepRunning; }
    bool fail(const QString& message);
    // Finishes a movie after its loop: -41, finalise, count up, -42; or the
    // deletion of a cancelled movie and -1.
    bool finishMovie(bool loopOk, qint64 elapsedMs, bool shortRender = false);
    void countUpToLength();

    // The movie loop's steps.
    bool openSound(Decoding& decoding);
    bool seekSound(Decoding& decoding);
    // Decodes the next piece of sound into the decoding's pending samples;
    // false at the end of the sound.
    bool decodeSound(Decoding& decoding);
    // Writes sound until `samples` samples follow the in point.
    bool writeSoundUpTo(Decoding& decoding, qint64 samples);
    bool renderMovieFrame(Frame* frame);
    bool writeAudioSamples(const uchar* pcm, qint64 samples);
    // Samples of sound that belong to the first `frames` frames written.
    qint64 soundSamplesFor(qint64 frames) const;
    // The failure of a render that wrote fewer frames than it should.
    QString shortRenderMessage(qint64 expected) const;

    volatile bool* m_keepRunning = nullptr;
    DecodingApi m_api = NoDecodingApi;
    std::unique_ptr<MediaWriter> m_writer;
    QSet<int> m_videoStreams;
    QSet<int> m_audioStreams;
    QMap<int, qint64> m_sampleTimes;
    int m_streamCount = 0;
    std::vector<uchar> m_outputBuffer;
    std::unique_ptr<WinSourceReader> m_reader;

    int m_framesWritten = 0;
    int m_audioSampleRate = 0;
    qint64 m_audioSamplesWritten = 0;
    QString m_lastError;
};

} // namespace Emulsa
