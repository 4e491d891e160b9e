#pragma once

#include "media/frame/LibAVPointers.h"
#include "media/source/FrameClock.h"
#include "media/source/PictureConverter.h"
#include "media/source/PictureTimeline.h"
#include "media/source/SourceReader.h"
#include "media/source/VideoDecoder.h"

#include <QMap>
#include <QSet>
#include <QSize>

#include <algorithm>
#include <memory>

namespace Emulsa {

class SoundDecoder;

// The source reader of the application. It chooses a decoding back-end per
// file from the video stream's FOURCC. Every code resolves to FFmpeg (LibAV),
// which does all the work, on the video hardware where HardwareDecoding found
// a device: YUY2 frames at source size, interleaved PCM and the metadata. The
// reader hands it to parts with one job each: VideoDecoder (demuxing and
// decoding), PictureTimeline (the time line and seeking), PictureConverter
// (YUY2 at the size shown), Thumbnail and SoundDecoder.
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

    // Deep pictures (Frame::bitsPerSample 16: the YUY2 order in 16-bit
    // samples) for the frames read from now on, before or after a clip is
    // opened; false when the conversion cannot be set up for the open clip.
    // Off by default: playback, thumbnails and the preview read 8-bit frames.
    bool setDeepPictures(bool deep);
    bool deepPictures() const { return m_deepPictures; }

    DecodingApi currentApi() const { return m_api; }
    // The time line of the file (valid once a back-end is ready).
    const FrameClock& frameClock() const { return m_timeline.clock(); }
    // Presentation time, in seconds on the container's clock, of the video
    // stream's first picture: time 0 of the time line, where its sound is
    // placed from.
    double originSeconds() const { return m_timeline.originSeconds(); }
    DecodingApi apiForFourcc(quint32 fourcc) const;
    // The 32-bit little-endian value of four characters.
    static quint32 fourcc(const char code[4]);
    // 250 pixels on the shorter side, the longer side in proportion.
    static QSize thumbnailSize(quint32 width, quint32 height);
    // Whether the video hardware decodes (HardwareDecoding found a device).
    static bool hostHasAdvancedVideoProcessing();
    // Whether the open clip's pictures are decoded on the device now.
    bool decodesWithHardware() const { return m_decoder.decodesWithHardware(); }

public slots:
    void setCurrentPositionFromSlider(quint32 frame, bool precise = false) override;

signals:
    void updateSlider(int index);

private:
    bool determineWhichApiToUse();
    bool runSetupLoop();
    int availableApiCount() const;

    // Opens the decoder, the picture conversion and the time line.
    bool setUpLibAV();
    // Sets the picture conversion up for the open decoder.
    bool setUpConverter();
    // Opens the sound decoder (once the time line's origin is known).
    bool initializeLibAVAudio();
    bool fillMetadataLibAV();
    bool fillAudioMetadataLibAV();

    // The next frame without announcing it.
    Frame* readFrame(bool loop);
    Frame* makeFrame(const AVFrame* picture, qint64 time, qint64 duration);
    bool pastEndFrame(int index) const;
    // The sound follows the next frame to be read.
    void positionSound();

    AssetMetadata* m_metadata = nullptr;
    quint32 m_startFrame = 0;
    // No out point until one is set.
    quint32 m_endFrame = 0xFFFFFFFFu;
    QMap<quint32, DecodingApi> m_apiTable;
    DecodingApi m_api = NoDecodingApi;
    QSet<int> m_triedApis;

    VideoDecoder m_decoder;
    PictureConverter m_converter;
    PictureTimeline m_timeline { m_decoder };
    // The sound, as interleaved signed 16-bit PCM in the source's channels
    // and rate, on the time line.
    std::unique_ptr<SoundDecoder> m_sound;

    qint64 m_clipDuration = -1;
    bool m_rgbOutput = false;
    int m_decoderThreads = 0;
    bool m_deepPictures = false;
    Frame* m_currentFrame = nullptr;
};

} // namespace Emulsa
