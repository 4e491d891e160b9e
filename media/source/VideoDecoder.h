#pragma once

#include "media/frame/LibAVPointers.h"

#include <QString>

namespace Emulsa {

// The demuxer and picture decoder of one file: opens its first video stream
// with FFmpeg's software decoder, turns packets into pictures and seeks. It
// knows nothing of the clip's time line; positions are in the stream's own
// time base.
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
    // Whether the file also holds a sound stream.
    bool fileHasAudio() const { return m_fileHasAudio; }
    // Whether the pictures use the full range of their values.
    bool fullRange() const { return m_fullRange; }
    // The length the stream or the container declares, in 100-ns units; -1
    // when neither does.
    qint64 declaredDuration() const;

private:
    QString m_path;
    AV::FormatContextPtr m_format;
    AV::CodecContextPtr m_codec;
    AV::PacketPtr m_packet;
    int m_stream = -1;
    bool m_draining = false;
    bool m_fileHasAudio = false;
    bool m_fullRange = false;
};

} // namespace Emulsa
