#include "media/encode/SoundEncoder.h"

#include "media/encode/MovieStreamSink.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
}

#include <QByteArray>

#include <algorithm>
#include <vector>

namespace Emulsa {

namespace {

constexpr int audioBytesPerSecond = 24000;
constexpr int pcmBytesPerSample = 4; // interleaved signed 16-bit stereo

} // namespace

SoundEncoder::SoundEncoder(MovieStreamSink& movie)
    : m_movie(movie)
{
}

SoundEncoder::~SoundEncoder()
{
    close();
}

int SoundEncoder::open(AVFormatContext* movie, int sampleRate, bool pcm)
{
    const AVCodec* codec = avcodec_find_encoder(pcm ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_AAC);
    if (!codec) {
        m_movie.fail(pcm ? QStringLiteral("The 24-bit PCM encoder is not available.")
                         : QStringLiteral("The AAC encoder is not available."));
        return -1;
    }
    m_samples = 0;
    m_encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* encoder = m_encoder.get();
    encoder->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    encoder->sample_rate = sampleRate;
    av_channel_layout_default(&encoder->ch_layout, 2);
    if (!pcm)
        encoder->bit_rate = audioBytesPerSecond * 8;
    encoder->time_base = AVRational { 1, sampleRate };
    if (movie->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(encoder, codec, nullptr);
    if (result < 0) {
        m_movie.failAV(pcm ? "Can't open the PCM encoder" : "Can't open the AAC encoder", result);
        return -1;
    }
    m_stream = m_movie.addStream(movie, encoder, "audio");
    if (!m_stream)
        return -1;

    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, 2);
    SwrContext* resampler = nullptr;
    result = swr_alloc_set_opts2(&resampler, &encoder->ch_layout, encoder->sample_fmt, sampleRate, &stereo,
        AV_SAMPLE_FMT_S16, sampleRate, 0, nullptr);
    m_resampler.reset(resampler);
    if (result < 0 || (result = swr_init(resampler)) < 0) {
        m_movie.failAV("Audio resampler not initialized.", result);
        return -1;
    }
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    m_fifo = av_audio_fifo_alloc(encoder->sample_fmt, 2, frameSize * 4);
    m_frame.reset(av_frame_alloc());
    m_frame->format = encoder->sample_fmt;
    m_frame->sample_rate = sampleRate;
    av_channel_layout_copy(&m_frame->ch_layout, &encoder->ch_layout);
    m_frame->nb_samples = frameSize;
    result = av_frame_get_buffer(m_frame.get(), 0);
    if (!m_fifo || result < 0) {
        m_movie.fail(QStringLiteral("Can't allocate the audio buffers."));
        return -1;
    }
    return m_stream->index;
}

bool SoundEncoder::encode(AVFrame* frame)
{
    return m_movie.encode(m_encoder.get(), m_stream, frame, "Can't encode the sound");
}

bool SoundEncoder::drain(bool flushAll)
{
    AVFrame* frame = m_frame.get();
    const int frameSize = m_encoder->frame_size > 0 ? m_encoder->frame_size : 1024;
    // PCM takes pieces of any length: the last one is never padded.
    const bool smallLast
        = m_encoder->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    while (av_audio_fifo_size(m_fifo) >= frameSize || (flushAll && av_audio_fifo_size(m_fifo) > 0)) {
        int result = av_frame_make_writable(frame);
        if (result < 0)
            return m_movie.failAV("Can't reuse the sound buffer", result);
        const int available = std::min(av_audio_fifo_size(m_fifo), frameSize);
        const int read = av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(frame->data), available);
        if (read < available)
            return m_movie.fail(QStringLiteral("Can't read the buffered sound."));
        int count = read;
        if (read < frameSize && !smallLast) {
            av_samples_set_silence(frame->data, read, frameSize - read, 2, m_encoder->sample_fmt);
            count = frameSize;
        }
        frame->nb_samples = count;
        frame->pts = m_pts;
        m_pts += count;
        const bool encoded = encode(frame);
        frame->nb_samples = frameSize;
        if (!encoded)
            return false;
    }
    return true;
}

bool SoundEncoder::write(const uchar* pcm, int bytes)
{
    const int samples = bytes / pcmBytesPerSample;
    if (samples <= 0)
        return true;
    std::vector<uint8_t*> planes(2, nullptr);
    int linesize = 0;
    int result = av_samples_alloc(planes.data(), &linesize, 2, samples, m_encoder->sample_fmt, 0);
    if (result < 0)
        return m_movie.failAV("Can't allocate the sound buffer", result);
    const uint8_t* input[1] = { pcm };
    const int converted = swr_convert(m_resampler.get(), planes.data(), samples, input, samples);
    bool ok = true;
    if (converted < 0) {
        ok = m_movie.failAV("Could convert the audio buffer", converted);
    } else if (converted > 0) {
        if (av_audio_fifo_write(m_fifo, reinterpret_cast<void**>(planes.data()), converted) < converted)
            ok = m_movie.fail(QStringLiteral("Can't buffer the sound."));
        else
            m_samples += converted;
    }
    av_freep(&planes[0]);
    return ok && drain(false);
}

bool SoundEncoder::writeSilence(qint64 bytes)
{
    constexpr int chunk = 65536;
    const QByteArray zeros(chunk, '\0');
    while (bytes > 0) {
        const int now = int(std::min<qint64>(bytes, chunk));
        if (!write(reinterpret_cast<const uchar*>(zeros.constData()), now))
            return false;
        bytes -= now;
    }
    return true;
}

bool SoundEncoder::end()
{
    m_ended = true;
    return drain(true) && encode(nullptr);
}

void SoundEncoder::close()
{
    m_stream = nullptr;
    m_encoder.reset();
    m_frame.reset();
    m_resampler.reset();
    if (m_fifo) {
        av_audio_fifo_free(m_fifo);
        m_fifo = nullptr;
    }
    m_pts = 0;
    m_ended = false;
}

} // namespace Emulsa
