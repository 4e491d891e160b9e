#pragma once

#include "media/encode/MovieStreamSink.h"
#include "media/encode/SoundEncoder.h"
#include "media/encode/VideoEncoder.h"
#include "media/frame/LibAVPointers.h"

#include <QByteArray>
#include <QString>

namespace Emulsa {

// Writes a ".mov" movie with FFmpeg: one picture stream (VideoEncoder: the
// codecs, their layouts, colour tags and rate control) and optionally one
// sound stream of interleaved signed 16-bit stereo PCM (SoundEncoder),
// written as AAC beside H.264 and H.265, as 24-bit PCM beside the
// intra-frame codecs. The writer owns the container, its file and the
// interleaving of the two streams' packets.
//
// Calling order: create() with the path, addVideoStream(), optionally
// addAudioStream(), beginWriting(), then any number of writeVideoFrame() and
// writeAudio() calls, endVideoSegment()/endAudioSegment() as the streams end,
// finalize(). The movie is written under a hidden temporary name in the
// destination folder and takes its own name only when finalize() succeeds,
// by a rename that replaces whatever is at the path (a symbolic link itself,
// never the file it points to). A writer that failed, was closed or is
// destroyed before that removes its temporary file and leaves the path as it
// was.
class MediaWriter : private MovieStreamSink
{
public:
    using VideoCodec = VideoEncoder::Codec;
    using VideoFormat = VideoEncoder::Format;

    MediaWriter();
    ~MediaWriter() override;

    MediaWriter(const MediaWriter&) = delete;
    MediaWriter& operator=(const MediaWriter&) = delete;

    // Prepares a QuickTime movie at `path`; the file itself is opened by
    // beginWriting(). Fails when the folder does not exist or is not writable.
    bool create(const QString& path);
    // Returns the stream number (0), or -1 on failure.
    int addVideoStream(const VideoFormat& format);
    // Interleaved signed 16-bit stereo input at `sampleRate`, written at the
    // same rate as AAC, 192 kbit/s (24000 bytes per second), beside H.264
    // and H.265, or as 24-bit PCM beside the intra-frame codecs. Add the
    // video stream first. Returns the stream number, or -1.
    int addAudioStream(int sampleRate);
    // Opens the (temporary) file and writes the container header.
    bool beginWriting();

    // One picture: `height` rows of `width` / 2 * 4 bytes of packed YUY2,
    // rows `rowBytes` apart, top row first. `duration` in 100-ns units.
    // For H.264 only.
    bool writeVideoFrame(const uchar* yuy2, int rowBytes, qint64 duration);
    // One picture for the other codecs: `height` rows of `width` pixels of
    // four 16-bit samples (R, G, B, A; host order; full range), rows
    // `rowBytes` apart, top row first. The alpha is not written.
    bool writeVideoFrameRgba64(const quint16* rgba, int rowBytes, qint64 duration);
    // The same from packed 4:2:2 (Y0 U Y1 V, 16-bit samples in host order,
    // limited range with the levels where 8-bit video has them: 235/255 of
    // the scale is white), for the codecs of 4:2:2 and 4:2:0 (chroma of two
    // rows averaged).
    bool writeVideoFramePacked16(const quint16* packed, int rowBytes, qint64 duration);
    // Interleaved signed 16-bit stereo samples; any length.
    bool writeAudio(const uchar* pcm, int bytes);
    // That many bytes of silence (interleaved signed 16-bit stereo).
    bool writeSilence(qint64 bytes);

    // No more data for the stream: the encoder is drained into the file.
    bool endVideoSegment();
    bool endAudioSegment();
    // Ends every stream, writes the trailer and closes the file. Fails when
    // any write failed or the file is no longer where it was written.
    bool finalize();
    // Closes the file without finishing it (after a failure).
    void close();

    bool hasAudio() const { return m_sound.isOpen(); }
    bool isOpen() const { return m_opened; }
    // Number of pictures and audio sample frames written so far.
    qint64 videoFramesWritten() const { return m_video.framesWritten(); }
    qint64 audioSamplesWritten() const { return m_sound.samplesWritten(); }
    const QString& path() const { return m_path; }
    const QString& lastError() const { return m_lastError; }

private:
    bool fail(const QString& message) override;
    bool writePackets(AVCodecContext* encoder, AVStream* stream) override;
    // Whether pictures may be written: open, nothing failed, the picture
    // stream not ended.
    bool picturesOpen();

    QString m_path;
    // The temporary file being written; empty when there is none.
    QString m_partPath;
    QString m_lastError;
    AVFormatContext* m_format = nullptr;
    bool m_opened = false;
    bool m_failed = false;
    bool m_finished = false;

    VideoEncoder m_video;
    SoundEncoder m_sound;
    AV::PacketPtr m_packet;
};

} // namespace Emulsa
