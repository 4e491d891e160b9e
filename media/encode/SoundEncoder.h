#pragma once

#include "media/frame/LibAVPointers.h"

#include <QtGlobal>

struct AVAudioFifo;

namespace Emulsa {

class MovieStreamSink;

// The sound stream of a movie: interleaved signed 16-bit stereo PCM,
// resampled into the encoder's layout, queued and encoded in the pieces the
// encoder takes, at the input's rate. AAC at 192 kbit/s (24000 bytes per
// second), or 24-bit PCM. Packets and failures go to the movie's sink.
class SoundEncoder
{
public:
    explicit SoundEncoder(MovieStreamSink& movie);
    ~SoundEncoder();

    SoundEncoder(const SoundEncoder&) = delete;
    SoundEncoder& operator=(const SoundEncoder&) = delete;

    // Opens the encoder and adds its stream to `movie`. Returns the stream
    // number, or -1 after reporting the failure.
    int open(AVFormatContext* movie, int sampleRate, bool pcm);
    bool isOpen() const { return m_encoder != nullptr; }
    bool hasEnded() const { return m_ended; }

    // Interleaved signed 16-bit stereo samples; any length.
    bool write(const uchar* pcm, int bytes);
    // That many bytes of silence (interleaved signed 16-bit stereo).
    bool writeSilence(qint64 bytes);
    // Encodes what is queued, padded where the encoder needs whole pieces,
    // and drains the encoder.
    bool end();
    // Lets the encoder and its buffers go; the stream can be opened again.
    void close();

    // Sample frames taken since the stream was opened (kept after close()).
    qint64 samplesWritten() const { return m_samples; }

private:
    bool encode(AVFrame* frame);
    bool drain(bool flushAll);

    MovieStreamSink& m_movie;
    AV::CodecContextPtr m_encoder;
    AVStream* m_stream = nullptr;
    AV::FramePtr m_frame;
    AV::ResamplerPtr m_resampler;
    AVAudioFifo* m_fifo = nullptr;
    qint64 m_samples = 0;
    qint64 m_pts = 0;
    bool m_ended = false;
};

} // namespace Emulsa
