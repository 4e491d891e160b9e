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
