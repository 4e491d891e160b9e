#include "media/source/SoundDecoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Emulsa {

namespace {

// How far back of its target a seek asks the container to go, so that the
// decoder has settled (the sound codecs' frames overlap) by the target; the
// later tries go further back when the container lands late.
constexpr double seekBackOffs[] = { 0.5, 2.0, 8.0 };
// A seek forward by at most this much beyond the decoded sound reads on.
constexpr double readOnSeconds = 1.0;

} // namespace

SoundDecoder::SoundDecoder() = default;

SoundDecoder::~SoundDecoder() = default;

bool SoundDecoder::fail(const QString& message)
{
    m_error = message;
    qWarning().noquote() << "SoundDecoder:" << message << m_path;
    return false;
}

bool SoundDecoder::isOpen() const
{
    return m_format && m_decoder && m_resampler;
}

int SoundDecoder::sampleRate() const
{
    return isOpen() ? m_rate : 0;
}

int SoundDecoder::channels() const
{
    return isOpen() ? m_channels : 0;
}

int SoundDecoder::bytesPerSample() const
{
    return 2 * channels();
}

QString SoundDecoder::error() const
{
    return m_error;
}

qint64 SoundDecoder::position() const
{
    return m_position;
}

int SoundDecoder::sourceChannels() const
{
    return isOpen() ? m_sourceChannels : 0;
}

int SoundDecoder::sourceSampleRate() const
{
    return isOpen() ? m_sourceRate : 0;
}

qint64 SoundDecoder::declaredFrameCount() const
{
    if (!isOpen())
        return 0;
    return std::max<qint64>(0, m_format->streams[m_stream]->nb_frames);
}

void SoundDecoder::close()
{
    m_format.reset();
    m_decoder.reset();
    m_resampler.reset();
    m_packet.reset();
    m_frame.reset();
    m_stream = -1;
    clearPieces();
    m_position = 0;
}

void SoundDecoder::clearPieces()
{
    m_pending.clear();
    m_pendingOffset = 0;
    m_havePosition = false;
    m_lastPieceTimed = false;
    m_draining = false;
    m_decoderEnded = false;
    m_converterFlushed = false;
}

bool SoundDecoder::openContainer()
{
    int error = 0;
    AV::FormatContextPtr format = AV::openInput(m_path, &error);
    if (!format)
        return fail(QStringLiteral("Could not open the file. ") + AV::errorText(error));
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        qWarning().noquote() << "SoundDecoder: could not find stream information" << m_path;
    if (m_stream < 0) {
        m_stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (m_stream < 0)
            return fail(QStringLiteral("The file has no sound."));
    } else if (unsigned(m_stream) >= format->nb_streams
        || format->streams[m_stream]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
        return fail(QStringLiteral("The file's sound stream changed."));
    }
    // Only the sound is read.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == m_stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    m_format = std::move(format);
    m_atStart = true;
    return true;
}

bool SoundDecoder::open(const QString& path, double originSeconds, int channels, int sampleRate)
{
    close();
    m_error.clear();
    m_path = path;
    m_originSeconds = originSeconds;
    m_containerSeeks = 0;
    m_restarts = 0;
    if (channels < 0 || sampleRate < 0)
        return fail(QStringLiteral("Invalid sound output format."));
    if (!openContainer())
        return false;

    const AVStream* stream = m_format->streams[m_stream];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        close();
        return fail(QStringLiteral("Audio codec not found."));
    }
    m_decoder.reset(avcodec_alloc_context3(codec));
    if (!m_decoder || avcodec_parameters_to_context(m_decoder.get(), stream->codecpar) < 0) {
        close();
        return fail(QStringLiteral("Could not open audio codec."));
    }
    m_decoder->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_decoder.get(), codec, nullptr) < 0 || m_decoder->sample_rate <= 0) {
        close();
        return fail(QStringLiteral("Could not open audio codec."));
    }

    m_sourceRate = m_decoder->sample_rate;
    m_sourceChannels = std::max(m_decoder->ch_layout.nb_channels, 1);
    m_rate = sampleRate > 0 ? sampleRate : m_sourceRate;
    m_convertRate = m_rate != m_sourceRate;
    // Zeroed: a copy first frees what its target holds.
    AVChannelLayout input {};
    if (m_decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || !av_channel_layout_check(&m_decoder->ch_layout))
        av_channel_layout_default(&input, m_sourceChannels);
    else
        av_channel_layout_copy(&input, &m_decoder->ch_layout);
    AVChannelLayout output {};
    if (channels > 0)
        av_channel_layout_default(&output, channels);
    else
        av_channel_layout_copy(&output, &input);
    m_channels = output.nb_channels;
    SwrContext* resampler = nullptr;
    const int result = swr_alloc_set_opts2(
        &resampler, &output, AV_SAMPLE_FMT_S16, m_rate, &input, m_decoder->sample_fmt, m_sourceRate, 0, nullptr);
    av_channel_layout_uninit(&input);
    av_channel_layout_uninit(&output);
    m_resampler.reset(resampler);
    if (result < 0 || !resampler || swr_init(resampler) < 0) {
        close();
        return fail(QStringLiteral("Audio resampler not initialized."));
    }
    // How the stream's clock compares with its samples.
    m_tickSamples = double(m_rate) * av_q2d(stream->time_base);
    m_frameSamples = stream->codecpar->frame_size;
    m_haveStartSample = stream->start_time != AV_NOPTS_VALUE;
    if (m_haveStartSample)
        m_startSample
            = std::llround((double(stream->start_time) * av_q2d(stream->time_base) - m_originSeconds) * m_rate);
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_packet || !m_frame) {
        close();
        return fail(QStringLiteral("Out of memory."));
    }
    clearPieces();
    m_position = 0;
    m_pendingFirst = 0;
    return true;
}

qint64 SoundDecoder::pendingCount() const
{
    if (m_channels <= 0)
        return 0;
    return qint64((m_pending.size() - m_pendingOffset) / size_t(bytesPerSample()));
}

bool SoundDecoder::restartFromBeginning()
{
    ++m_restarts;
    clearPieces();
    m_format.reset();
    if (!openContainer())
        return false;
    avcodec_flush_buffers(m_decoder.get());
    if (m_convertRate)
        swr_init(m_resampler.get());
    return true;
}

bool SoundDecoder::seek(qint64 sample)
{
    if (!isOpen())
        return false;
    // Reading on is cheapest: from the start of the file up to half a second
    // in, or a little forward of what is decoded.
    if (m_atStart) {
        if (double(sample) / m_rate <= 0.5) {
            m_position = sample;
            if (!m_havePosition)
                m_pendingFirst = sample;
            return true;
        }
    } else if (sample >= m_position) {
        const qint64 decodedEnd = std::max(m_position, m_pendingFirst + pendingCount());
        if (m_decoderEnded || sample - decodedEnd <= qint64(readOnSeconds * m_rate)) {
            m_position = sample;
            return true;
        }
    }

    m_position = sample;
    const double seconds = double(sample) / m_rate;
    const AVStream* stream = m_format->streams[m_stream];
    for (double backOff : seekBackOffs) {
        if (seconds <= backOff)
            break;
        const int64_t target = int64_t(std::floor((m_originSeconds + seconds - backOff) / av_q2d(stream->time_base)));
        ++m_containerSeeks;
        if (av_seek_frame(m_format.get(), m_stream, target, AVSEEK_FLAG_BACKWARD) < 0)
            break;
        avcodec_flush_buffers(m_decoder.get());
        if (m_convertRate)
            swr_init(m_resampler.get());
        clearPieces();
        m_atStart = false;
        // The first piece must start by the target: a container that lands
        // late is asked again from further back.
        if (decodePiece() && m_lastPieceTimed && m_pendingFirst <= sample)
            return true;
    }
    if (!restartFromBeginning())
        return false;
    m_pendingFirst = sample;
    return true;
}

bool SoundDecoder::placeConverted(int64_t pts, const uint8_t** input, int inputSamples)
{
    const int bytes = bytesPerSample();
    // The converter holds back some samples while it changes the rate; they
    // come out in front of this piece's own.
    const qint64 held = m_convertRate ? swr_get_delay(m_resampler.get(), m_rate) : 0;
    const int capacity = swr_get_out_samples(m_resampler.get(), inputSamples);
    std::vector<uchar> converted(size_t(std::max(capacity, 0)) * size_t(bytes));
    uint8_t* out[1] = { converted.data() };
    const int count = capacity < 0 ? capacity : swr_convert(m_resampler.get(), out, capacity, input, inputSamples);
    if (count < 0) {
        qWarning().noquote() << "SoundDecoder: could not convert the sound" << AV::errorText(count);
        return true;
    }
    converted.resize(size_t(count) * size_t(bytes));
    // Where this piece lies: at its own time when it has one, else right
    // after the piece before it.
    const qint64 previousEnd = m_pendingFirst + pendingCount();
    qint64 first = previousEnd;
    if (pts != AV_NOPTS_VALUE) {
        const double seconds = double(pts) * av_q2d(m_format->streams[m_stream]->time_base) - m_originSeconds;
        first = std::llround(seconds * m_rate) - held;
        // A few samples of rounding are no gap, nor is a tick of a clock
        // coarser than the samples (milliseconds in Matroska).
        const qint64 slack = 2 + (m_tickSamples > 1.0 ? qint64(std::ceil(m_tickSamples)) : 0);
        if (m_havePosition && std::abs(first - previousEnd) <= slack) {
            first = previousEnd;
        } else if (m_tickSamples > 1.0 && m_frameSamples > 0 && inputSamples == m_frameSamples && !m_convertRate
            && m_haveStartSample) {
            // Such a clock cannot say where the first piece after a seek
            // starts; whole coded frames from the first sound's start can.
            const double frames = double(first - m_startSample) / m_frameSamples;
            first = m_startSample + std::llround(frames) * m_frameSamples;
        }
    }
    // Whatever was not read of the piece before is replaced.
    m_pending = std::move(converted);
    m_pendingOffset = 0;
    m_pendingFirst = first;
    m_havePosition = true;
    m_lastPieceTimed = pts != AV_NOPTS_VALUE;
    return true;
}

bool SoundDecoder::flushConverter()
{
    if (!m_convertRate || m_converterFlushed || !m_havePosition)
        return false;
    m_converterFlushed = true;
    if (swr_get_delay(m_resampler.get(), m_rate) <= 0)
        return false;
    placeConverted(AV_NOPTS_VALUE, nullptr, 0);
    return pendingCount() > 0;
}

bool SoundDecoder::decodePiece()
{
    if (m_decoderEnded)
        return false;
    m_atStart = false;
    AVFrame* sound = m_frame.get();
    int readErrors = 0;
    for (;;) {
        int result = avcodec_receive_frame(m_decoder.get(), sound);
        if (result == 0)
            break;
        if (result != AVERROR(EAGAIN) || m_draining) {
            if (result != AVERROR_EOF && result != AVERROR(EAGAIN))
                qDebug().noquote() << "SoundDecoder: decode error" << AV::errorText(result);
            m_decoderEnded = true;
            return flushConverter();
        }
        result = av_read_frame(m_format.get(), m_packet.get());
        if (result < 0) {
            if (!AV::isEndOfFile(result, m_format.get()) && ++readErrors <= AV::maxConsecutiveReadErrors)
                continue;
            m_draining = true;
            avcodec_send_packet(m_decoder.get(), nullptr);
            continue;
        }
        readErrors = 0;
        if (m_packet->stream_index == m_stream && avcodec_send_packet(m_decoder.get(), m_packet.get()) < 0)
            qDebug().noquote() << "SoundDecoder: decode error";
        av_packet_unref(m_packet.get());
    }
    int64_t pts = sound->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = sound->pts;
    placeConverted(pts, const_cast<const uint8_t**>(sound->extended_data), sound->nb_samples);
    av_frame_unref(sound);
    return true;
}

qint64 SoundDecoder::read(uchar* pcm, qint64 count)
{
    if (!isOpen() || count < 0 || (!pcm && count > 0))
        return -1;
    const int bytes = bytesPerSample();
    qint64 done = 0;
    qint64 fromFile = 0;
    while (done < count) {
        const qint64 position = m_position;
        const qint64 available = pendingCount();
        if (available == 0 || m_pendingFirst + available <= position) {
            // Used up, or wholly before the position.
            m_pendingFirst += available;
            m_pending.clear();
            m_pendingOffset = 0;
            if (!decodePiece()) {
                // No more sound: silence to the end of the read.
                std::memset(pcm + done * bytes, 0, size_t(count - done) * size_t(bytes));
                m_position += count - done;
                done = count;
            }
            continue;
        }
        if (m_pendingFirst > position) {
            // A gap before the next sound is silence.
            const qint64 silence = std::min(m_pendingFirst - position, count - done);
            std::memset(pcm + done * bytes, 0, size_t(silence) * size_t(bytes));
            done += silence;
            m_position += silence;
            continue;
        }
        const qint64 skip = position - m_pendingFirst;
        const qint64 now = std::min(available - skip, count - done);
        std::memcpy(pcm + done * bytes, m_pending.data() + m_pendingOffset + size_t(skip) * size_t(bytes),
            size_t(now) * size_t(bytes));
        m_pendingOffset += size_t(skip + now) * size_t(bytes);
        m_pendingFirst += skip + now;
        done += now;
        fromFile += now;
        m_position += now;
    }
    // What comes next is decoded now when this piece is used up, so that
    // ended() knows.
    if (pendingCount() == 0 && !m_decoderEnded)
        decodePiece();
    return fromFile;
}

bool SoundDecoder::ended() const
{
    return isOpen() && m_decoderEnded && m_pendingFirst + pendingCount() <= m_position;
}

} // namespace Emulsa
