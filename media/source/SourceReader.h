#pragma once

#include <QObject>

namespace Emulsa {

class AssetMetadata;
struct AudioPacket;
class Frame;
class SequenceItem;

// Decoding back-ends a reader can use for a file.
enum DecodingApi : qint32
{
    NoDecodingApi = 0,
    MediaFoundation = 1,
    LibAV = 2,
};

// Opens one media file and delivers its pictures as packed YUY2 frames, its
// sound as interleaved PCM buffers and, once per file, its description and a
// thumbnail. One thread uses a reader at a time.
//
// Timing model (FrameClock): a clip is a constant-rate sequence of frames at
// the asset's nominal rate (frameRateNum / frameRateDen), counted from the
// video stream's first picture. Frame n is presented at n / fps and shows the
// source picture a player shows at that time, repeated where the source has a
// gap and dropped where it has more pictures than frames (variable-rate phone
// footage). Every frame delivered carries that index in `index`, n / fps in
// `timestamp` and one frame in `duration` (100-ns units). The asset's
// frameCount is the clip's length at that rate; in and out points, renders,
// TIFF numbers and thumbnails count on the same line.
//
// - setCurrentPositionFromSlider(n, true), a precise seek, makes the next
//   getNextFrame() deliver frame n exactly, in every container;
//   without `precise` it starts at a key frame at or before n (the frame
//   delivered says which).
// - getNextFrame() then delivers n, n + 1, ... until the out point or the end
//   of the pictures; with `loop` it goes back to the in point after that.
// - Sound is positioned on the same line by every seek, at the first sample
//   of the frame read next: interleaved signed 16-bit PCM in the source's
//   channels and rate, buffers of up to 1024 samples, silence where the file
//   has no sound, ending at the out point or the end of the file's sound.
// - initializeFromSequenceItem() with an in point S > 0 leaves the reader so
//   that its first read gives frame S + 1 (the reader has just shown S).
class SourceReader : public QObject
{
    Q_OBJECT

public:
    explicit SourceReader(QObject* parent = nullptr)
        : QObject(parent)
    {
    }
    ~SourceReader() override = default;

    virtual bool initializeFromMetadata(AssetMetadata* metadata) = 0;
    virtual bool initializeFromSequenceItem(const SequenceItem* item) = 0;
    virtual bool fillMetadata() = 0;
    // The caller owns the frame or packet it receives.
    virtual Frame* getNextFrame(bool loop) = 0;
    virtual AudioPacket* getNextAudioBuffer() = 0;
    virtual Frame* takeCurrentFrame() = 0;
    virtual void releaseAll() = 0;
    virtual void setStartFrame(quint32 frame) = 0;
    virtual void setEndFrame(quint32 frame) = 0;
    virtual void buildApiTable() = 0;

public slots:
    virtual void setCurrentPositionFromSlider(quint32 frame, bool precise = false) = 0;

signals:
    void endOfAudioStreamReach();
    void endOfVideoStreamReach();
};

} // namespace Emulsa
