#pragma once

#include "media/frame/LibAVPointers.h"

#include <QtGlobal>

namespace Emulsa {

class MovieStreamSink;

// The picture stream of a movie, in one of these codecs:
//   H.264 (libx264, High, 8-bit 4:2:0) from packed YUY2 pictures;
//   ProRes 422 HQ and ProRes 4444 (prores_ks, 10-bit 4:2:2 / 4:4:4) and
//   DNxHR HQX (10-bit 4:2:2) from 16-bit RGBA or packed 4:2:2 pictures;
//   H.265 Main 10 (libx265, 10-bit 4:2:0) from the same.
// The 16-bit pictures are turned into the encoder's layout at full
// precision (BT.709 matrix, limited range: 64 .. 940 for luma), never
// through 8 bits. The stream is tagged BT.709 (primaries, transfer, matrix)
// with its range, and so is each picture, where some codecs keep it. It
// starts at time 0 and advances by the durations written to it. Packets and
// failures go to the movie's sink.
//
// Rate control of H.264. The format's quality (100, 80 or 50) drives x264's
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
class VideoEncoder
{
public:
    enum class Codec
    {
        H264,
        ProRes422HQ,
        ProRes4444,
        DNxHRHQX,
        HevcMain10,
    };

    struct Format
    {
        Codec codec = Codec::H264;
        int width = 0;
        int height = 0;
        int frameRateNum = 25;
        int frameRateDen = 1;
        bool fullRange = false;
        int quality = 100;
        int level = 51;
        qint64 sourceBitRate = 0;
    };

    explicit VideoEncoder(MovieStreamSink& movie);
    ~VideoEncoder();

    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Opens the encoder and adds its stream to `movie`. Returns the stream
    // number, or -1 after reporting the failure.
    int open(AVFormatContext* movie, const Format& format);
    bool isOpen() const { return m_encoder != nullptr; }
    bool hasEnded() const { return m_ended; }
    Codec codec() const { return m_codec; }

    // One picture in each of the layouts the movie writer takes (see
    // MediaWriter); `duration` in 100-ns units. Fails when the stream has
    // ended or its codec does not take the layout.
    bool writeYuy2(const uchar* yuy2, int rowBytes, qint64 duration);
    bool writeRgba64(const quint16* rgba, int rowBytes, qint64 duration);
    bool writePacked16(const quint16* packed, int rowBytes, qint64 duration);
    // Drains the encoder.
    bool end();
    // Lets the encoder and its picture go; the stream can be opened again.
    void close();

    // Pictures taken since the stream was opened (kept after close()).
    qint64 framesWritten() const { return m_frames; }

    // Whether the codec takes 16-bit RGBA pictures (writeRgba64) rather
    // than packed YUY2.
    static bool takesRgba64(Codec codec) { return codec != Codec::H264; }
    // Whether its chroma is halved across (4:2:2, 4:2:0): it may take
    // packed 16-bit pictures (writePacked16).
    static bool takesPacked16(Codec codec)
    {
        return codec == Codec::ProRes422HQ || codec == Codec::DNxHRHQX || codec == Codec::HevcMain10;
    }
    // Whether its movies carry 24-bit PCM sound rather than AAC.
    static bool carriesPcmSound(Codec codec)
    {
        return codec == Codec::ProRes422HQ || codec == Codec::ProRes4444 || codec == Codec::DNxHRHQX;
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
    void setUpH264(AVCodecContext* encoder, const Format& format);
    bool encode(AVFrame* frame);
    // The picture to convert into, writable; null (after failing) when the
    // stream has ended or does not take the caller's layout.
    AVFrame* pictureToFill(const void* input, bool accepted);
    bool send(AVFrame* frame, qint64 duration);

    MovieStreamSink& m_movie;
    Codec m_codec = Codec::H264;
    AV::CodecContextPtr m_encoder;
    AVStream* m_stream = nullptr;
    AV::FramePtr m_frame;
    AV::ScalerPtr m_scaler;
    qint64 m_frames = 0;
    qint64 m_pts = 0;
    bool m_ended = false;
};

} // namespace Emulsa
