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
// grades every frame from the in to the out point on the GPU and writes a
// ".mov" movie (H.264 and AAC, through MediaWriter) or a numbered TIFF
// sequence. This build has no platform sink writer: movies always take the
// FFmpeg loop (runVideoModeLibAV).
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
    bool finishMovie(bool loopOk, qint64 elapsedMs);
    void countUpToLength();

    // The movie loop's steps.
    bool openDecoding(Decoding& decoding);
    bool handleVideoFrame(Decoding& decoding, AVFrame* picture, bool* videoEnded);
    bool handleAudioFrame(Decoding& decoding, AVFrame* sound, bool* audioEnded);
    bool writeAudioSamples(const uchar* pcm, qint64 samples);

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
