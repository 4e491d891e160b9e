#pragma once

#include "media/LibAVPointers.h"
#include "media/SourceReader.h"

#include <QMap>
#include <QSet>
#include <QSize>

#include <memory>

namespace Emulsa {

// The source reader of the application. It chooses a decoding back-end per
// file from the video stream's FOURCC. This build has no platform media
// framework, so every code resolves to FFmpeg (LibAV), which then does all the
// work: YUY2 frames at source size, interleaved PCM and the metadata.
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
    // starts at the key frame before it. False only when the seek itself fails.
    bool seekToFrame(quint32 frame, bool precise);

    DecodingApi currentApi() const { return m_api; }
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
    bool initializeLibAVAudio();
    bool fillMetadataLibAV();
    bool fillAudioMetadataLibAV();
    bool makeThumbnail(const AVFrame* picture);
    bool setCurrentPositionLibAV(qint64 time);
    Frame* getNextFrameLibAV(bool loop);
    AudioPacket* getNextAudioBufferLibAV();

    // The next frame without announcing it: the one kept back by a precise
    // seek, or the next decoded picture.
    Frame* readFrame(bool loop);
    // Receive the next picture into m_decodedPicture, or the next sound into
    // m_audioFrame: 0 on success, AVERROR_EOF at the end, or the decoder's
    // error code.
    int receiveVideoPicture();
    int receiveAudioFrame();
    Frame* makeFrame(const AVFrame* picture, qint64 time, qint64 duration);
    // Converts to YUY2 into `target` (rows `targetStride` bytes apart), or
    // into the reader's own converted picture when target is null.
    bool convertPicture(const AVFrame* picture, uint8_t* target = nullptr, int targetStride = 0);
    void handleEndOfStream(bool loop);

    qint64 computeClipDuration();
    int frameIndexOfTime(qint64 time) const;
    qint64 timeOfFrame(quint32 frame) const;
    qint64 pictureTime(const AVFrame* picture, const AVStream* stream) const;
    // A picture's duration in 100-nanosecond units.
    static qint64 pictureDuration(const AVFrame* picture, const AVStream* stream);
    bool pastEndFrame(int index) const;
    bool needsAudioConversion(AVSampleFormat format) const;
    AV::ResamplerPtr makeResampler(const AVCodecContext* decoder) const;

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

    AV::FormatContextPtr m_audioFormat;
    bool m_resampleAudio = false;
    AV::ResamplerPtr m_resampler;
    AV::CodecContextPtr m_audioDecoder;
    AV::PacketPtr m_audioPacket;
    AV::FramePtr m_audioFrame;
    int m_audioStream = -1;
    bool m_audioDraining = false;

    qint64 m_clipDuration = -1;
    bool m_rgbOutput = false;
    Frame* m_currentFrame = nullptr;
    QSet<int> m_triedApis;
    // The frame a precise seek decoded but has not handed out yet.
    std::unique_ptr<Frame> m_pendingFrame;
};

} // namespace Emulsa
