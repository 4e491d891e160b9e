#pragma once

#include "media/frame/LibAVPointers.h"
#include "media/source/HardwareDecoding.h"
#include "media/source/ReplayTrack.h"

#include <QString>

#include <memory>

namespace Emulsa {

// The demuxer and picture decoder of one file: opens its first video stream,
// turns packets into pictures and seeks. It knows nothing of the clip's time
// line; positions are in the stream's own time base.
//
// When HardwareDecoding has a device that can take the stream, pictures are
// decoded on it and copied down to system memory, so that receive() always
// delivers pictures in memory. A clip the device cannot take decodes in
// software; a device error mid-clip reopens a software decoder and resumes
// with the picture after the last one delivered (from the key frame before
// it, dropping the pictures before it), so that the same pictures follow.
// A clip that cannot use a device the mode names says so with one warning
// (once for the file, whichever reader opens it); a device error mid-clip
// always warns, once for the decoder.
class VideoDecoder
{
public:
    // Opens `path` and the decoder of its first video stream with `threads`
    // decoding threads (0: FFmpeg chooses). False when the file, the stream or
    // its decoder cannot be opened.
    bool open(const QString& path, int threads);
    void close();
    bool isOpen() const { return m_format && m_codec && m_stream >= 0; }

    // Opens the file again, which always starts at its beginning, and flushes
    // the decoder (for containers that cannot seek back to their start).
    bool reopen();
    // Seeks to the key frame at or before `position` (stream time base) and
    // flushes the decoder.
    bool seek(int64_t position);
    // Receives the next picture into `picture`, reading and feeding packets as
    // needed: 0 on success, AVERROR_EOF at the end, or the decoder's error.
    int receive(AVFrame* picture);

    AVFormatContext* format() const { return m_format.get(); }
    const AVStream* stream() const { return m_format->streams[m_stream]; }
    const AVCodecContext* codec() const { return m_codec.get(); }
    // The layout of the decoded pictures as the stream declares it (also
    // when a device decodes them: the copies come down in a layout of the
    // same depth, such as NV12 or P010).
    AVPixelFormat pictureFormat() const { return m_pictureFormat; }
    // Whether pictures are decoded on a device now.
    bool decodesWithHardware() const { return m_hardware; }
    // Whether the file also holds a sound stream.
    bool fileHasAudio() const { return m_fileHasAudio; }
    // Whether the pictures use the full range of their values.
    bool fullRange() const { return m_fullRange; }
    // The length the stream or the container declares, in 100-ns units; -1
    // when neither does.
    qint64 declaredDuration() const;

private:
    // Opens the decoder for the stream, on the device when `hardware`;
    // *unusable says why the device cannot take it (the decoder then is
    // opened in software by the caller).
    bool openCodec(bool hardware, QString* unusable);
    static AVPixelFormat chooseFormat(AVCodecContext* context, const AVPixelFormat* formats);
    // The next decoded picture, as the decoder gives it.
    int decode(AVFrame* picture);
    // Copies a device picture to memory in place; false on a device error.
    bool takeFromDevice(AVFrame* picture);
    bool simulatedFailureAt(const AVFrame* picture) const;
    // Software decoding from the picture after the last one delivered.
    bool fallBackToSoftware(const QString& reason);
    // Back to the last position set (the start or a seek), dropping the
    // pictures delivered since.
    bool replayFromAnchor();
    // Whether a picture decoded after a fallback was delivered before.
    bool alreadyDelivered(const AVFrame* picture);
    void deviceUnusable(const QString& reason);
    void warnOnce(const QString& message);

    QString m_path;
    AV::FormatContextPtr m_format;
    AV::CodecContextPtr m_codec;
    AV::PacketPtr m_packet;
    int m_stream = -1;
    bool m_draining = false;
    bool m_fileHasAudio = false;
    bool m_fullRange = false;
    AVPixelFormat m_pictureFormat = AV_PIX_FMT_NONE;
    int m_threads = 0;

    std::shared_ptr<const HardwareDecoding::Device> m_device;
    bool m_hardware = false;
    AVPixelFormat m_deviceFormat = AV_PIX_FMT_NONE;
    AV::FramePtr m_devicePicture;
    bool m_warned = false;

    // Where a fallback resumes, and what it drops before delivering again.
    ReplayTrack m_track;
};

} // namespace Emulsa
