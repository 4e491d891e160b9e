#pragma once

#include "media/frame/LibAVPointers.h"

#include <QByteArray>
#include <QString>

struct AVAudioFifo;

namespace Emulsa {

// Writes a ".mov" movie with FFmpeg from interleaved signed 16-bit stereo
// PCM and one of these video codecs:
//   H.264 (libx264, High, 8-bit 4:2:0) from packed YUY2 pictures, AAC sound;
//   ProRes 422 HQ and ProRes 4444 (prores_ks, 10-bit 4:2:2 / 4:4:4) and
//   DNxHR HQX (10-bit 4:2:2), from 16-bit RGBA pictures, 24-bit PCM sound;
//   H.265 Main 10 (libx265, 10-bit 4:2:0) from 16-bit RGBA, AAC sound.
// The 16-bit pictures are turned into the encoder's layout at full
// precision (BT.709 matrix, limited range: 64 .. 940 for luma), never
// through 8 bits. Every
// movie is tagged BT.709 (primaries, transfer, matrix) with its range, in the
// stream and in each picture, where some codecs keep it. Each stream starts
// at time 0 and advances by the durations written to it.
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
//
// Rate control. The format's quality (100, 80 or 50) drives x264's
// constant-rate-factor mode, the quality-targeted mode closest to a
// quality-based encoder setting, and its speed preset:
//   quality 100 ("H.264 - High Quality"): CRF 14, preset "medium"
//     (visually transparent: well below the CRF 17-18 usually taken as the
//     threshold of visible coding loss);
//   quality  80 ("H.264 - Medium"):       CRF 20, preset "fast";
//   quality  50 ("H.264 - Preview"):      CRF 26, preset "veryfast".
// Qualities in between are interpolated linearly on the CRF scale
// (CRF = 14 + (100 - quality) * 0.3) and take the preset of the next
// lower step. The profile is High and the level the encoder record's (51
// means 5.1). The bit rate a source declares is not a target in this mode;
// it is written to the stream's declared average rate, capped at 250,000,000.
class MediaWriter
{
public:
    enum class VideoCodec
    {
        H264,
        ProRes422HQ,
        ProRes4444,
        DNxHRHQX,
        HevcMain10,
    };

    struct VideoFormat
    {
        VideoCodec codec = VideoCodec::H264;
        int width = 0;
        int height = 0;
        int frameRateNum = 25;
        int frameRateDen = 1;
        bool fullRange = false;
        int quality = 100;
        int level = 51;
        qint64 sourceBitRate = 0;
    };

    MediaWriter();
    ~MediaWriter();

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

    bool hasAudio() const { return m_audioEncoder != nullptr; }
    bool isOpen() const { return m_opened; }
    // Number of pictures and audio sample frames written so far.
    qint64 videoFramesWritten() const { return m_videoFrames; }
    qint64 audioSamplesWritten() const { return m_audioSamples; }
    const QString& path() const { return m_path; }
    const QString& lastError() const { return m_lastError; }

    // Whether the codec takes 16-bit RGBA pictures (writeVideoFrameRgba64)
    // rather than packed YUY2.
    static bool takesRgba64(VideoCodec codec) { return codec != VideoCodec::H264; }
    // Whether its chroma is halved across (4:2:2, 4:2:0): it may take
    // packed 16-bit pictures (writeVideoFramePacked16).
    static bool takesPacked16(VideoCodec codec)
    {
        return codec == VideoCodec::ProRes422HQ || codec == VideoCodec::DNxHRHQX || codec == VideoCodec::HevcMain10;
    }
    // Whether its movies carry 24-bit PCM sound rather than AAC.
    static bool carriesPcmSound(VideoCodec codec)
    {
        return codec == VideoCodec::ProRes422HQ || codec == VideoCodec::ProRes4444 || codec == VideoCodec::DNxHRHQX;
    }
    static double crfForQuality(int quality);
    static const char* presetForQuality(int quality);
    // Frames the encoder looks ahead for frame types and rate control, at
    // every quality: 10 (the medium and fast presets would look 40 and 30
    // frames ahead). Each frame of look-ahead holds about 6 MB at 1080p; on
    // grainy and clean 1080p at CRF 14, 10 frames against 20 cost 0.04 to
    // 0.07 dB at the same size (40 against 20: 0.03 dB) and save 60 MB.
    static constexpr int lookAheadFrames = 10;
    static qint64 declaredBitRate(qint64 sourceBitRate);

private:
    bool fail(const QString& message);
    bool failAV(const char* what, int error);
    bool setUpH264(AVCodecContext* encoder, const VideoFormat& format);
    bool encodeVideo(AVFrame* frame);
    // The picture to convert into, writable; null (after failing) when the
    // movie is not open or does not take the caller's layout.
    AVFrame* pictureToFill(const void* input, bool accepted);
    bool sendPicture(AVFrame* frame, qint64 duration);
    bool encodeAudio(AVFrame* frame);
    bool drainAudioFifo(bool flushAll);
    bool writePackets(AVCodecContext* encoder, AVStream* stream);

    QString m_path;
    // The temporary file being written; empty when there is none.
    QString m_partPath;
    QString m_lastError;
    AVFormatContext* m_format = nullptr;
    bool m_opened = false;
    bool m_failed = false;
    bool m_finished = false;

    VideoCodec m_codec = VideoCodec::H264;
    AV::CodecContextPtr m_videoEncoder;
    AVStream* m_videoStream = nullptr;
    AV::FramePtr m_videoFrame;
    AV::ScalerPtr m_videoScaler;
    qint64 m_videoFrames = 0;
    qint64 m_videoPts = 0;
    bool m_videoEnded = false;

    AV::CodecContextPtr m_audioEncoder;
    AVStream* m_audioStream = nullptr;
    AV::FramePtr m_audioFrame;
    AV::ResamplerPtr m_audioResampler;
    AVAudioFifo* m_audioFifo = nullptr;
    qint64 m_audioSamples = 0;
    qint64 m_audioPts = 0;
    bool m_audioEnded = false;

    AV::PacketPtr m_packet;
};

} // namespace Emulsa
