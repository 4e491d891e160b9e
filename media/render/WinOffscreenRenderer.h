#pragma once

#include "media/encode/MediaWriter.h"
#include "media/frame/LibAVPointers.h"
#include "media/render/OffscreenRenderer.h"
#include "media/source/FrameClock.h"
#include "media/source/SourceReader.h"

#include <QMap>
#include <QSet>

#include <algorithm>
#include <memory>
#include <vector>

namespace Emulsa {

class ImageWriter;
class MovieSoundFeed;
class WinSourceReader;

// Renders one sequence item to disk: decodes it with its own source reader,
// grades every frame from the in point S up to the out point E (E not
// included) on the GPU and writes a ".mov" movie (through MediaWriter) or a
// numbered image sequence (through ImageWriter). H.264 takes the graded
// picture packed as 8-bit YUY2 on the GPU, ProRes 422 HQ, DNxHR HQX and
// H.265 Main 10 the same packing at 16 bits; ProRes 4444 and the image
// sequences read the graded picture back at 16 bits (floats for OpenEXR). This build has no platform sink
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
// The movie loop runs in three stages at once, each handing the next one its
// work through a small bounded queue, in order: a decoding thread takes the
// pictures from the reader, the calling thread (which owns the GL context
// and raises every progress signal) grades them and reads them back through
// two pixel buffers, and an encoding thread hands them and the sound that
// belongs to them to the writer. When the grade is neutral and the output
// has the source's size, the passes would give each packed picture back as
// it came: the frame bytes then go to the encoder without them. A failure in any stage, or a cancel, stops
// the other two; every thread is joined before the loop returns.
//
// The loops stop between frames when *keepRunning becomes false (the render
// queue's run flag, written by another thread, read without a lock, and
// only by the calling thread).
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
    // The working folder the images are written to; empty on failure.
    QString prepareImageFolder(QString* error = nullptr) const;
    QString imageFilePattern() const;

    DecodingApi api() const { return m_api; }
    // The writer's codec for a movie format (H.264 for the others).
    static MediaWriter::VideoCodec movieCodec(int format);
    int framesWritten() const { return m_framesWritten; }
    // Image sequences written in place: each image goes straight into the
    // image folder, under a working name until it is complete (ImageWriter),
    // and the folder may hold other images, of other frames (tasks that share
    // the clip's frames write beside each other). When existing output is
    // kept, a frame whose image exists is skipped, so that a stopped render
    // run again finishes what is missing; the working files a stopped render
    // left for the item's frames are removed first. Set before
    // runImageMode().
    void setImagesInPlace(bool inPlace) { m_imagesInPlace = inPlace; }
    // The images found complete and kept by a render in place.
    int imagesKept() const { return m_imagesKept; }
    // Running output time of a writer stream, in 100-ns units.
    qint64 sampleTime(int stream) const { return m_sampleTimes.value(stream, 0); }
    // The last failure, for callers that report it themselves.
    const QString& lastError() const { return m_lastError; }
    // Picture decoding threads for a render on `processors` processors: a
    // quarter of them, at least one. Decoding is a small part of a frame's
    // work next to grading and encoding, which need the rest; each decoding
    // thread holds pictures of its own (about 10 MB at 1080p).
    static int decoderThreadsFor(int processors) { return std::max(1, processors / 4); }

private:
    class MovieStages;

    bool initializeSinkWriter();
    bool mapStreamsLibAV();
    bool runVideoModeLibAV();
    // Sends a packed picture to the video stream.
    bool sendFrameToSinkWriter(const uchar* picture, int stream, qint64 duration);
    bool keepRunning() const { return !m_keepRunning || *m_keepRunning; }
    // Whether the movie takes 16-bit RGBA pictures read back from the graded
    // texture rather than packed YUY2.
    bool deepMovie() const { return m_settings && VideoEncoder::takesRgba64(movieCodec(m_settings->format)); }
    // Whether the deep movie takes the picture packed by the GPU at 16 bits
    // (4:2:2 and 4:2:0 codecs) rather than as RGBA read back from the
    // graded texture (4:4:4).
    bool packedDeepMovie() const { return deepMovie() && VideoEncoder::takesPacked16(movieCodec(m_settings->format)); }
    // Whether the output keeps more than 8 bits a sample (16-bit TIFF and
    // every format but H.264).
    bool deepOutput() const;
    bool fail(const QString& message);
    // Finishes a movie after its loop: -41, finalise, count up, -42; or the
    // deletion of a cancelled movie and -1.
    bool finishMovie(bool loopOk, qint64 elapsedMs, bool shortRender = false);
    void countUpToLength();

    // The movie loop: its three stages (MovieStages) with `sound` (null: none).
    bool renderMovieFrames(MovieSoundFeed* sound, qint64 length);
    // Writes the sound of the first `frames` frames from the in point.
    bool writeSoundFor(MovieSoundFeed& sound, qint64 frames);
    // runImageMode() for images written in place.
    bool runImagesInPlace();
    // Grades the current frame and writes it to `path`.
    bool writeImage(ImageWriter& writer, std::vector<float>& image, const QString& path);
    // The failure of a render that wrote fewer frames than it should.
    QString shortRenderMessage(qint64 expected) const;

    volatile bool* m_keepRunning = nullptr;
    DecodingApi m_api = NoDecodingApi;
    std::unique_ptr<MediaWriter> m_writer;
    QSet<int> m_videoStreams;
    QSet<int> m_audioStreams;
    QMap<int, qint64> m_sampleTimes;
    int m_streamCount = 0;
    // The reader's clock, copied before the stages start.
    FrameClock m_clock;
    std::unique_ptr<WinSourceReader> m_reader;

    int m_framesWritten = 0;
    bool m_imagesInPlace = false;
    int m_imagesKept = 0;
    QString m_lastError;
};

} // namespace Emulsa
