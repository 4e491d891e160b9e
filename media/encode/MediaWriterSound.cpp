// The sound stream of the movie writer: interleaved 16-bit stereo PCM
// resampled into the encoder's layout, queued and encoded in the pieces the
// encoder takes.

#include "media/encode/MediaWriter.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <vector>

namespace Emulsa {

namespace {

constexpr int audioBytesPerSecond = 24000;
constexpr int pcmBytesPerSample = 4; // interleaved signed 16-bit stereo

} // namespace

int MediaWriter::addAudioStream(int sampleRate)
{
    if (!m_format || m_opened || m_audioEncoder) {
        fail(QStringLiteral("The audio stream can only be added once, before writing starts."));
        return -1;
    }
    if (sampleRate <= 0) {
        fail(QStringLiteral("Unusable audio sample rate %1.").arg(sampleRate));
        return -1;
    }
    const bool pcm = m_videoEncoder && carriesPcmSound(m_codec);
    const AVCodec* codec = avcodec_find_encoder(pcm ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_AAC);
    if (!codec) {
        fail(pcm ? QStringLiteral("The 24-bit PCM encoder is not available.")
                 : QStringLiteral("The AAC encoder is not available."));
        return -1;
    }
    m_audioEncoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* encoder = m_audioEncoder.get();
    encoder->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    encoder->sample_rate = sampleRate;
    av_channel_layout_default(&encoder->ch_layout, 2);
    if (!pcm)
        encoder->bit_rate = audioBytesPerSecond * 8;
    encoder->time_base = AVRational { 1, sampleRate };
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(encoder, codec, nullptr);
    if (result < 0) {
        failAV(pcm ? "Can't open the PCM encoder" : "Can't open the AAC encoder", result);
        return -1;
    }
    m_audioStream = avformat_new_stream(m_format, nullptr);
    if (!m_audioStream) {
        fail(QStringLiteral("Can't add the audio stream."));
        return -1;
    }
    m_audioStream->time_base = encoder->time_base;
    result = avcodec_parameters_from_context(m_audioStream->codecpar, encoder);
    if (result < 0) {
        failAV("Can't describe the audio stream", result);
        return -1;
    }

    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, 2);
    SwrContext* resampler = nullptr;
    result = swr_alloc_set_opts2(&resampler, &encoder->ch_layout, encoder->sample_fmt, sampleRate, &stereo,
        AV_SAMPLE_FMT_S16, sampleRate, 0, nullptr);
    m_audioResampler.reset(resampler);
    if (result < 0 || (result = swr_init(resampler)) < 0) {
        failAV("Audio resampler not initialized.", result);
        return -1;
    }
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    m_audioFifo = av_audio_fifo_alloc(encoder->sample_fmt, 2, frameSize * 4);
    m_audioFrame.reset(av_frame_alloc());
    m_audioFrame->format = encoder->sample_fmt;
    m_audioFrame->sample_rate = sampleRate;
    av_channel_layout_copy(&m_audioFrame->ch_layout, &encoder->ch_layout);
    m_audioFrame->nb_samples = frameSize;
    result = av_frame_get_buffer(m_audioFrame.get(), 0);
    if (!m_audioFifo || result < 0) {
        fail(QStringLiteral("Can't allocate the audio buffers."));
        return -1;
    }
    return m_audioStream->index;
}

bool MediaWriter::encodeAudio(AVFrame* frame)
{
    const int result = avcodec_send_frame(m_audioEncoder.get(), frame);
    if (result < 0 && result != AVERROR_EOF)
        return failAV("Can't encode the sound", result);
    return writePackets(m_audioEncoder.get(), m_audioStream);
}

bool MediaWriter::drainAudioFifo(bool flushAll)
{
    AVFrame* frame = m_audioFrame.get();
    const int frameSize = m_audioEncoder->frame_size > 0 ? m_audioEncoder->frame_size : 1024;
    // PCM takes pieces of any length: the last one is never padded.
    const bool smallLast
        = m_audioEncoder->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    while (av_audio_fifo_size(m_audioFifo) >= frameSize || (flushAll && av_audio_fifo_size(m_audioFifo) > 0)) {
        int result = av_frame_make_writable(frame);
        if (result < 0)
            return failAV("Can't reuse the sound buffer", result);
        const int available = std::min(av_audio_fifo_size(m_audioFifo), frameSize);
        const int read = av_audio_fifo_read(m_audioFifo, reinterpret_cast<void**>(frame->data), available);
        if (read < available)
            return fail(QStringLiteral("Can't read the buffered sound."));
        int count = read;
        if (read < frameSize && !smallLast) {
            av_samples_set_silence(frame->data, read, frameSize - read, 2, m_audioEncoder->sample_fmt);
            count = frameSize;
        }
        frame->nb_samples = count;
        frame->pts = m_audioPts;
        m_audioPts += count;
        const bool encoded = encodeAudio(frame);
        frame->nb_samples = frameSize;
        if (!encoded)
            return false;
    }
    return true;
}

bool MediaWriter::writeAudio(const uchar* pcm, int bytes)
{
    if (!m_opened || m_failed || !m_audioEncoder || m_audioEnded)
        return fail(QStringLiteral("The movie's sound is not open for writing."));
    const int samples = bytes / pcmBytesPerSample;
    if (samples <= 0)
        return true;
    std::vector<uint8_t*> planes(2, nullptr);
    int linesize = 0;
    int result = av_samples_alloc(planes.data(), &linesize, 2, samples, m_audioEncoder->sample_fmt, 0);
    if (result < 0)
        return failAV("Can't allocate the sound buffer", result);
    const uint8_t* input[1] = { pcm };
    const int converted = swr_convert(m_audioResampler.get(), planes.data(), samples, input, samples);
    bool ok = true;
    if (converted < 0) {
        ok = failAV("Could convert the audio buffer", converted);
    } else if (converted > 0) {
        if (av_audio_fifo_write(m_audioFifo, reinterpret_cast<void**>(planes.data()), converted) < converted)
            ok = fail(QStringLiteral("Can't buffer the sound."));
        else
            m_audioSamples += converted;
    }
    av_freep(&planes[0]);
    return ok && drainAudioFifo(false);
}

bool MediaWriter::writeSilence(qint64 bytes)
{
    constexpr int chunk = 65536;
    const QByteArray zeros(chunk, '\0');
    while (bytes > 0) {
        const int now = int(std::min<qint64>(bytes, chunk));
        if (!writeAudio(reinterpret_cast<const uchar*>(zeros.constData()), now))
            return false;
        bytes -= now;
    }
    return true;
}

bool MediaWriter::endAudioSegment()
{
    if (!m_opened || !m_audioEncoder || m_audioEnded)
        return !m_failed;
    m_audioEnded = true;
    if (m_failed)
        return false;
    return drainAudioFifo(true) && encodeAudio(nullptr);
}

} // namespace Emulsa
