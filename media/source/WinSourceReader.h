#pragma once

#include "media/frame/LibAVPointers.h"
#include "media/source/FrameClock.h"
#include "media/source/SourceReader.h"

#include <QMap>
#include <QSet>
#include <QSize>

#include <algorithm>
#include <memory>

namespace Emulsa {

class SoundDecoder;

// The source reader of the application. It chooses a decoding back-end per
// file from the video stream's FOURCC. This build has no platform media
// framework, so every code resolves to FFmpeg (LibAV), which then does all the
// work: YUY2 frames at source size, interleaved PCM and the metadata.
//
// Frames follow the clip's constant-rate time line (FrameClock): the frame
// with index n is the picture shown at n / fps, repeated or dropped where the
// source's own timing differs, and carries timestamp n / fps and a duration of
// one frame. getNextFrame() delivers n, n + 1, ... from the position a seek
// set; a precise seek to n makes the next frame read frame n in every
// container (the reader seeks further back and decodes forward when the
// container's index lands late, and finds the clip's start without an index).
// The time line starts at the video stream's first picture; sound is placed on
// the same line. Pictures of odd width are delivered one column narrower (YUY2
// holds pixel pairs); the asset's width says so. A stream with a display
// rotation of 90, 180 or 270 degrees is delivered turned, as shown, and the
// asset's size is the size shown.
class WinSourceReader : public SourceReader
{
    Q_OBJECT

public:
    // rgbOutput is true for the reader that makes thumbnails.
    explicit WinSourceReader(bool rgbOutput = false, QObject* parent = nullptr);
    ~WinSourceReader() override;

    bool initializeFromMetadata(AssetMetadata* metadata) override;
    bool initializeFromSequenceItem(const SequenceItem* item) override;
    bool fillMetadata() override;
    Frame* getNextFrame(bool loop) override;
    AudioPacket* getNextAudioBuffer() override;
    Frame* takeCurrentFrame() override;
    void releaseAll() override;
    void setStartFrame(quint32 frame) override;
    void setEndFrame(quint32 frame) override;
    void buildApiTable() override;

    // Positions the reader so that the next frame read is frame n (precise) or
    // starts at the key frame before it, and its sound at that frame's first
    // sample. False only when the seek itself fails.
    bool seekToFrame(quint32 frame, bool precise);

    // Threads the picture decoder may use, taken when a clip is opened; 0 (the
    // default) lets FFmpeg choose from the processors. Each frame thread holds
    // pictures of its own: a caller that decodes beside other busy stages
    // asks for fewer.
    void setDecoderThreads(int threads) { m_decoderThreads = std::max(0, threads); }

    DecodingApi currentApi() const { return m_api; }
    // The time line of the file (valid once a back-end is ready).
    const FrameClock& frameClock() const { return m_clock; }
    // Presentation time, in seconds on the container's clock, of the video
    // stream's first picture: time 0 of the time line, where its sound is
    // placed from.
    double originSeconds() const;
    DecodingApi apiForFourcc(quint32 fourcc) const;
    // The 32-bit little-endian value of four characters.
    static quint32 fourcc(const char code[4]);
    // 250 pixels on the shorter side, the longer side in proportion.
    static QSize thumbnailSize(quint32 width, quint32 height);
    // Whether the host's media framework offers advanced video processing.
    static bool hostHasAdvancedVideoProcessing();

public slots:
    void setCurrentPositionFromSlider(quint32 frame, bool precise = false) override;

signals:
    void updateSlider(int index);

private:
    bool determineWhichApiToUse();
    bool runSetupLoop();
    int availableApiCount() const;

    bool initializeLibAVInternalComponent();
    bool initializeLibAVStreams();
    // Opens the sound decoder (once the time line's origin is known).
    bool initializeLibAVAudio();
    bool fillMetadataLibAV();
    bool fillAudioMetadataLibAV();
    bool makeThumbnail(const AVFrame* picture);
    bool setCurrentPositionLibAV(qint64 time);
    Frame* getNextFrameLibAV(bool loop);
    AudioPacket* getNextAudioBufferLibAV();

    // The next frame without announcing it.
    Frame* readFrame(bool loop);
    // Time line bookkeeping (see the class comment).
    void setUpClock();
    bool findOrigin();
    bool reopenVideoDemuxer();
    bool rewindVideo();
    bool decodeAhead();
    void advanceTo(qint64 time);
    void clearPictures();
    const AVFrame* pictureAtFrame(quint32 frame);
    // The end of the last picture, found by decoding the end of the file.
    qint64 measureDuration(qint64 estimate);
    bool makeScaler(int width, int height, AVPixelFormat format);
    // The picture as shown: itself, or turned by the display rotation.
    const AVFrame* shownPicture(const AVFrame* picture);
    // Receive the next picture into m_decodedPicture: 0 on success,
    // AVERROR_EOF at the end, or the decoder's error code.
    int receiveVideoPicture();
    Frame* makeFrame(const AVFrame* picture, qint64 time, qint64 duration);
    // Converts to YUY2 into `target` (rows `targetStride` bytes apart), or
    // into the reader's own converted picture when target is null.
    bool convertPicture(const AVFrame* picture, uint8_t* target = nullptr, int targetStride = 0);
    void handleEndOfStream(bool loop);

    qint64 computeClipDuration();
    int frameIndexOfTime(qint64 time) const;
    qint64 pictureTime(const AVFrame* picture) const;
    // A picture's duration in 100-nanosecond units.
    static qint64 pictureDuration(const AVFrame* picture, const AVStream* stream);
    bool pastEndFrame(int index) const;
    bool seekVideoToFrame(quint32 frame, bool precise);
    // The sound follows the next frame to be read.
    void positionSound();

    AssetMetadata* m_metadata = nullptr;
    quint32 m_startFrame = 0;
    // No out point until one is set.
    quint32 m_endFrame = 0xFFFFFFFFu;
    QMap<quint32, DecodingApi> m_apiTable;
    DecodingApi m_api = NoDecodingApi;

    AV::FormatContextPtr m_videoFormat;
    AV::ScalerPtr m_scaler;
    AV::CodecContextPtr m_videoDecoder;
    AV::PacketPtr m_packet;
    AV::FramePtr m_decodedPicture;
    AV::FramePtr m_convertedPicture;
    AV::BufferPtr m_convertedBuffer;
    int m_scalerWidth = 0;
    int m_scalerHeight = 0;
    AVPixelFormat m_scalerFormat = AV_PIX_FMT_NONE;
    int m_videoStream = -1;
    bool m_videoDraining = false;

    // Display rotation (clockwise degrees) and the 4:4:4 pictures it turns.
    int m_rotation = 0;
    AV::ScalerPtr m_rotationScaler;
    AV::FramePtr m_unrotated;
    AV::FramePtr m_rotated;

    // The sound, as interleaved signed 16-bit PCM in the source's channels
    // and rate, on the time line.
    std::unique_ptr<SoundDecoder> m_sound;
    bool m_fileHasAudio = false;

    qint64 m_clipDuration = -1;
    bool m_rgbOutput = false;
    int m_decoderThreads = 0;
    Frame* m_currentFrame = nullptr;
    QSet<int> m_triedApis;
    FrameClock m_clock;
    // First picture's timestamp in the video stream's time base.
    int64_t m_originPts = 0;
    // Where the file shows that first picture, when its timestamp says
    // otherwise: the origin of the sound (see originSeconds()).
    int64_t m_soundOriginPts = 0;
    // The picture shown now (held) and the next one decoded (ahead), with
    // their times on the time line; frame m_nextIndex is delivered next.
    AV::FramePtr m_held;
    AV::FramePtr m_ahead;
    bool m_hasHeld = false;
    bool m_hasAhead = false;
    // Whether a picture was decoded since the last seek.
    bool m_hasPrevious = false;
    qint64 m_heldTime = 0;
    qint64 m_heldDuration = 0;
    qint64 m_aheadTime = 0;
    qint64 m_aheadDuration = 0;
    bool m_videoEnded = false;
    bool m_decodeFailed = false;
    int m_decodeError = 0;
    qint64 m_nextIndex = 0;
};

} // namespace Emulsa
