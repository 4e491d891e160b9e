#include "media/WinOffscreenRenderer.h"

#include "core/ShaderProcessor.h"
#include "media/AssetMetadata.h"
#include "media/Frame.h"
#include "media/FrameClock.h"
#include "media/OutputPaths.h"
#include "media/SequenceItem.h"
#include "media/WinSourceReader.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

constexpr int pcmBytesPerSample = 4; // interleaved signed 16-bit stereo

} // namespace

// The sound side of the movie loop (the pictures come from the reader);
// released when the loop ends.
struct WinOffscreenRenderer::Decoding
{
    AV::FormatContextPtr format;
    int audioStream = -1;
    AV::CodecContextPtr audioDecoder;
    AV::ResamplerPtr resampler;
    AV::PacketPtr packet;
    AV::FramePtr sound;
    bool draining = false;
    bool ended = false;

    // Time 0 of the clip's time line on the container's clock, in seconds.
    double originSeconds = 0.0;
    // The in point as a sample on the time line.
    qint64 startSample = 0;
    // Converted samples not written yet (interleaved signed 16-bit stereo),
    // the first of them at `pendingFirst`, counted from the in point.
    std::vector<uchar> pending;
    qint64 pendingFirst = 0;
    bool havePosition = false;
};

WinOffscreenRenderer::WinOffscreenRenderer(volatile bool* keepRunning, QOffscreenSurface* surface, QObject* parent)
    : OffscreenRenderer(surface, parent)
    , m_keepRunning(keepRunning)
{
}

WinOffscreenRenderer::~WinOffscreenRenderer()
{
    m_reader.reset();
    m_writer.reset();
}

bool WinOffscreenRenderer::fail(const QString& message)
{
    m_lastError = message;
    qCritical().noquote() << message;
    return false;
}

QString WinOffscreenRenderer::outputFilePath() const
{
    return OutputPaths::outputFilePath(m_settings, m_item ? m_item->asset : nullptr);
}

QString WinOffscreenRenderer::movieFilePath() const
{
    return OutputPaths::movieFilePath(m_settings, m_item ? m_item->asset : nullptr);
}

bool WinOffscreenRenderer::prepareImageFolder(QString* error) const
{
    return OutputPaths::prepareImageFolder(m_settings, m_item ? m_item->asset : nullptr, error);
}

QString WinOffscreenRenderer::imageFilePattern() const
{
    return OutputPaths::imageFilePattern(m_settings, m_item ? m_item->asset : nullptr);
}

bool WinOffscreenRenderer::initialize(const SequenceItem* item, const t_OutputSettings* settings)
{
    m_item = item;
    m_settings = settings;
    if (!item || !item->asset || !settings)
        return fail(QStringLiteral("Nothing to render: no clip or no output settings."));
    const AssetMetadata* asset = item->asset;
    if (item->settings)
        m_grade = *item->settings;
    m_grade.setOriginal(false);
    m_imageMode = settings->isVideo == 0;
    m_sourceWidth = int(asset->width);
    m_sourceHeight = int(asset->height);
    m_outputWidth = settings->width > 0 ? settings->width : m_sourceWidth;
    m_outputHeight = settings->height > 0 ? settings->height : m_sourceHeight;

    // Everything that can be refused is refused before anything is opened.
    const QString sizeError = OutputSettings::sizeProblem(m_outputWidth, m_outputHeight, !m_imageMode);
    if (!sizeError.isEmpty())
        return fail(sizeError);
    if (!m_imageMode) {
        const QString targetError = OutputPaths::movieTargetProblem(settings, asset);
        if (!targetError.isEmpty())
            return fail(targetError);
        if (!settings->encoder)
            return fail(QStringLiteral("No encoder settings for a movie format."));
    }

    if (!initializeOpenGL())
        return fail(QStringLiteral("Can't initialize openGL for on disk rendering."));

    m_reader = std::make_unique<WinSourceReader>(false);
    m_reader->setDecoderThreads(decoderThreadsFor(QThread::idealThreadCount()));
    if (!m_reader->initializeFromSequenceItem(item))
        return fail(QStringLiteral("Can't initialize source reader for on disk rendering."));
    m_api = m_reader->currentApi();
    qDebug() << "WinOffscreenRenderer: API used:" << int(m_api);

    if (!m_imageMode && !initializeSinkWriter())
        return false;
    return true;
}

bool WinOffscreenRenderer::initializeSinkWriter()
{
    const QString path = movieFilePath();
    m_writer = std::make_unique<MediaWriter>();
    if (!m_writer->create(path))
        return fail(QStringLiteral("Can't create nor allocate the desired file...\nPlease close, if any, all "
                                   "applications using the desired destination.\nAborting current rendering job.")
            + QStringLiteral("\n") + m_writer->lastError());
    if (!mapStreamsLibAV())
        return fail(QStringLiteral("Failed to map input and/or output streams.<br />Try different settings (ie. "
                                   "resolution, etc.).<br />Error:")
            + QLatin1Char(' ') + m_writer->lastError());
    return true;
}

bool WinOffscreenRenderer::mapStreamsLibAV()
{
    const AssetMetadata* asset = m_item->asset;
    int error = 0;
    AV::FormatContextPtr format = AV::openInput(asset->filePath, &error);
    if (!format) {
        qWarning().noquote() << "Could not open the file." << AV::errorText(error);
        return false;
    }
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        qWarning().noquote() << "Could not find stream information\n";
    if (av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) < 0)
        return false;

    m_streamCount = 0;
    m_videoStreams.clear();
    m_audioStreams.clear();
    MediaWriter::VideoFormat video;
    video.width = m_outputWidth;
    video.height = m_outputHeight;
    video.frameRateNum = int(asset->frameRateNum);
    video.frameRateDen = int(std::max<quint32>(asset->frameRateDen, 1));
    video.fullRange = colorRange() == GradingPipeline::FullRange;
    video.quality = m_settings->encoder->quality;
    video.level = m_settings->encoder->level;
    video.sourceBitRate = asset->bitRate == AssetMetadata::unset ? 0 : qint64(qint32(asset->bitRate));
    const int videoStream = m_writer->addVideoStream(video);
    if (videoStream < 0)
        return false;
    ++m_streamCount;
    m_videoStreams.insert(videoStream);

    const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0) {
        const int rate = format->streams[audio]->codecpar->sample_rate;
        m_audioSampleRate = rate > 0 ? rate : int(asset->sampleRate);
        const int audioStream = m_writer->addAudioStream(m_audioSampleRate);
        if (audioStream < 0)
            return false;
        ++m_streamCount;
        m_audioStreams.insert(audioStream);
    }
    return true;
}

bool WinOffscreenRenderer::run()
{
    if (m_api == LibAV)
        return runVideoModeLibAV();
    return false;
}

bool WinOffscreenRenderer::sendFrameToSinkWriter(const uchar* picture, int stream, qint64 duration)
{
    Q_UNUSED(stream);
    const bool ok = m_writer->writeVideoFrame(picture, m_outputWidth * 2, duration);
    if (!ok)
        qWarning().noquote() << "write sample failed in sendFrameToSinkWriter. Error:" << m_writer->lastError();
    return ok;
}

bool WinOffscreenRenderer::openSound(Decoding& d)
{
    const AssetMetadata* asset = m_item->asset;
    int error = 0;
    d.format = AV::openInput(asset->filePath, &error);
    if (!d.format)
        return fail(QStringLiteral("Could not open the file. ") + AV::errorText(error));
    if (avformat_find_stream_info(d.format.get(), nullptr) < 0)
        qWarning().noquote() << "Could not find stream information\n";
    d.audioStream = av_find_best_stream(d.format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (d.audioStream < 0)
        return fail(QStringLiteral("No audio codec found for this particular file."));
    // Only the sound is read here.
    for (unsigned i = 0; i < d.format->nb_streams; ++i)
        d.format->streams[i]->discard = int(i) == d.audioStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVStream* audio = d.format->streams[d.audioStream];
    const AVCodec* audioCodec = avcodec_find_decoder(audio->codecpar->codec_id);
    if (!audioCodec)
        return fail(QStringLiteral("Audio codec not found."));
    d.audioDecoder.reset(avcodec_alloc_context3(audioCodec));
    if (avcodec_parameters_to_context(d.audioDecoder.get(), audio->codecpar) < 0)
        return fail(QStringLiteral("Could not open audio codec."));
    d.audioDecoder->pkt_timebase = audio->time_base;
    if (avcodec_open2(d.audioDecoder.get(), audioCodec, nullptr) < 0)
        return fail(QStringLiteral("Could not open audio codec."));
    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, 2);
    AVChannelLayout input;
    if (d.audioDecoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC
        || !av_channel_layout_check(&d.audioDecoder->ch_layout))
        av_channel_layout_default(&input, std::max(d.audioDecoder->ch_layout.nb_channels, 1));
    else
        av_channel_layout_copy(&input, &d.audioDecoder->ch_layout);
    SwrContext* resampler = nullptr;
    const int result = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, d.audioDecoder->sample_rate, &input,
        d.audioDecoder->sample_fmt, d.audioDecoder->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&input);
    d.resampler.reset(resampler);
    if (result < 0 || swr_init(resampler) < 0)
        return fail(QStringLiteral("Audio resampler not initialized."));
    m_audioSampleRate = d.audioDecoder->sample_rate;
    d.packet.reset(av_packet_alloc());
    d.sound.reset(av_frame_alloc());
    d.originSeconds = m_reader->originSeconds();
    d.startSample = m_clock.sampleAtFrame(m_item->startFrame, m_audioSampleRate);
    return seekSound(d);
}

bool WinOffscreenRenderer::seekSound(Decoding& d)
{
    // Half a second before the in point; when the container lands after it,
    // the sound is read from the start instead.
    const double inSeconds = double(d.startSample) / m_audioSampleRate;
    if (inSeconds <= 0.5)
        return true;
    const AVStream* audio = d.format->streams[d.audioStream];
    const int64_t target = int64_t(std::floor((d.originSeconds + inSeconds - 0.5) / av_q2d(audio->time_base)));
    if (av_seek_frame(d.format.get(), d.audioStream, target, AVSEEK_FLAG_BACKWARD) >= 0) {
        avcodec_flush_buffers(d.audioDecoder.get());
        if (decodeSound(d) && d.pendingFirst <= 0)
            return true;
    }
    d.pending.clear();
    d.havePosition = false;
    d.ended = false;
    d.draining = false;
    int error = 0;
    AV::FormatContextPtr again = AV::openInput(m_item->asset->filePath, &error);
    if (!again || avformat_find_stream_info(again.get(), nullptr) < 0)
        return fail(QStringLiteral("Could not open the file. ") + AV::errorText(error));
    for (unsigned i = 0; i < again->nb_streams; ++i)
        again->streams[i]->discard = int(i) == d.audioStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    d.format = std::move(again);
    avcodec_flush_buffers(d.audioDecoder.get());
    return true;
}

bool WinOffscreenRenderer::decodeSound(Decoding& d)
{
    if (d.ended)
        return false;
    int readErrors = 0;
    for (;;) {
        int result = avcodec_receive_frame(d.audioDecoder.get(), d.sound.get());
        if (result == 0)
            break;
        if (result != AVERROR(EAGAIN) || d.draining) {
            if (result != AVERROR_EOF && result != AVERROR(EAGAIN))
                qDebug().noquote() << "Audio Decode Error." << AV::errorText(result);
            d.ended = true;
            return false;
        }
        result = av_read_frame(d.format.get(), d.packet.get());
        if (result < 0) {
            if (!AV::isEndOfFile(result, d.format.get()) && ++readErrors <= AV::maxConsecutiveReadErrors)
                continue;
            d.draining = true;
            avcodec_send_packet(d.audioDecoder.get(), nullptr);
            continue;
        }
        readErrors = 0;
        if (d.packet->stream_index == d.audioStream && avcodec_send_packet(d.audioDecoder.get(), d.packet.get()) < 0)
            qDebug().noquote() << "Audio Decode Error.";
        av_packet_unref(d.packet.get());
    }

    AVFrame* sound = d.sound.get();
    // Where this piece lies, in samples from the in point: its own time
    // when it has one, else right after the piece before it.
    const qint64 previousEnd = d.pendingFirst + qint64(d.pending.size() / pcmBytesPerSample);
    qint64 first = previousEnd;
    int64_t pts = sound->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = sound->pts;
    if (pts != AV_NOPTS_VALUE) {
        const double seconds = double(pts) * av_q2d(d.format->streams[d.audioStream]->time_base) - d.originSeconds;
        first = std::llround(seconds * m_audioSampleRate) - d.startSample;
        // A few samples of rounding are no gap.
        if (d.havePosition && std::abs(first - previousEnd) <= 2)
            first = previousEnd;
    }
    const int capacity = swr_get_out_samples(d.resampler.get(), sound->nb_samples);
    std::vector<uchar> converted(size_t(std::max(capacity, 0)) * pcmBytesPerSample);
    uint8_t* out[1] = { converted.data() };
    const int count = capacity < 0 ? capacity
                                   : swr_convert(d.resampler.get(), out, capacity,
                                       const_cast<const uint8_t**>(sound->extended_data), sound->nb_samples);
    av_frame_unref(sound);
    if (count < 0) {
        qWarning().noquote() << "Could convert the audio buffer" << AV::errorText(count);
        return true;
    }
    converted.resize(size_t(count) * pcmBytesPerSample);
    // Whatever was pending and not written is replaced by the newer piece.
    d.pending = std::move(converted);
    d.pendingFirst = first;
    d.havePosition = true;
    return true;
}

bool WinOffscreenRenderer::writeSoundUpTo(Decoding& d, qint64 samples)
{
    while (m_audioSamplesWritten < samples) {
        const qint64 position = m_audioSamplesWritten;
        const qint64 pendingCount = qint64(d.pending.size() / pcmBytesPerSample);
        if (pendingCount == 0 || d.pendingFirst + pendingCount <= position) {
            // Used up, or wholly before the in point.
            d.pendingFirst += pendingCount;
            d.pending.clear();
            if (!decodeSound(d)) {
                // No more sound: silence to the end of the pictures.
                return writeAudioSamples(nullptr, samples - position);
            }
            continue;
        }
        if (d.pendingFirst > position) {
            // A gap before the next sound is silence.
            if (!writeAudioSamples(nullptr, std::min(d.pendingFirst, samples) - position))
                return false;
            continue;
        }
        const qint64 skip = position - d.pendingFirst;
        const qint64 count = std::min(pendingCount - skip, samples - position);
        if (!writeAudioSamples(d.pending.data() + skip * pcmBytesPerSample, count))
            return false;
        d.pending.erase(d.pending.begin(), d.pending.begin() + (skip + count) * pcmBytesPerSample);
        d.pendingFirst += skip + count;
    }
    return true;
}

qint64 WinOffscreenRenderer::soundSamplesFor(qint64 frames) const
{
    const qint64 start = m_item->startFrame;
    return m_clock.sampleAtFrame(start + frames, m_audioSampleRate) - m_clock.sampleAtFrame(start, m_audioSampleRate);
}

QString WinOffscreenRenderer::shortRenderMessage(qint64 expected) const
{
    return QStringLiteral("The source ended early or could not be decoded: %1 of %2 frames written.")
        .arg(m_framesWritten)
        .arg(expected);
}

bool WinOffscreenRenderer::writeAudioSamples(const uchar* pcm, qint64 samples)
{
    if (samples <= 0)
        return true;
    const bool ok = pcm ? m_writer->writeAudio(pcm, int(samples * pcmBytesPerSample))
                        : m_writer->writeSilence(samples * pcmBytesPerSample);
    if (!ok)
        return fail(QStringLiteral("Fail rendering video file. Error: ") + m_writer->lastError());
    m_audioSamplesWritten += samples;
    const int stream = *m_audioStreams.constBegin();
    m_sampleTimes[stream] = m_audioSamplesWritten * 10000000 / m_audioSampleRate;
    return true;
}

bool WinOffscreenRenderer::runVideoModeLibAV()
{
    if (!m_writer || !m_item || !m_reader)
        return fail(QStringLiteral("The renderer is not initialised."));
    m_clock = m_reader->frameClock();
    m_sampleTimes.clear();
    for (int stream : qAsConst(m_videoStreams))
        m_sampleTimes.insert(stream, 0);
    for (int stream : qAsConst(m_audioStreams))
        m_sampleTimes.insert(stream, 0);
    m_framesWritten = 0;
    m_audioSamplesWritten = 0;

    Decoding d;
    const bool withSound = !m_audioStreams.isEmpty();
    if (withSound && !openSound(d)) {
        reportProgress(-1);
        return false;
    }
    if (!m_reader->seekToFrame(m_item->startFrame, true)) {
        fail(QStringLiteral("Can't set current frame position on renderer. <br /> Canceling rendering now"));
        reportProgress(-1);
        return false;
    }
    if (!m_writer->beginWriting()) {
        fail(QStringLiteral("Fail opening output file. Error: ") + m_writer->lastError());
        reportProgress(-1);
        return false;
    }
    qDebug().noquote() << "New file to render:    " << m_item->asset->name
                       << "   with starting point:" << m_item->startFrame
                       << "   and ending point: " << m_item->endFrame;
    qDebug() << "Settings:" << m_grade;
    QElapsedTimer clock;
    clock.start();
    reportProgress(0);

    const qint64 length = std::max<qint64>(0, m_item->lengthInFrames());
    bool ok = renderMovieFrames(d, withSound, length);
    if (ok && withSound) {
        ok = writeSoundUpTo(d, soundSamplesFor(m_framesWritten));
        if (ok && !m_writer->endAudioSegment())
            ok = fail(QStringLiteral("Fail rendering video file. Error: ") + m_writer->lastError());
    }
    const bool shortRender = ok && keepRunning() && m_framesWritten < length;
    if (!finishMovie(ok, clock.elapsed(), shortRender))
        return false;
    if (shortRender) {
        fail(shortRenderMessage(length));
        reportProgress(-1);
        return false;
    }
    return true;
}

void WinOffscreenRenderer::countUpToLength()
{
    const qint64 length = m_item->lengthInFrames();
    int count = m_framesWritten;
    while (count < length)
        reportProgress(++count);
}

bool WinOffscreenRenderer::finishMovie(bool loopOk, qint64 elapsedMs, bool shortRender)
{
    const bool cancelled = !keepRunning();
    if (!loopOk) {
        qWarning().noquote() << "Fail rendering video file. Error:" << m_lastError;
        m_writer->close();
        reportProgress(-1);
        return false;
    }
    reportProgress(-41);
    const bool finalized = m_writer->finalize();
    if (!finalized && !cancelled) {
        fail(QStringLiteral("Fail finalizing video file. Error: ") + m_writer->lastError());
        reportProgress(-1);
        return false;
    }
    qDebug().noquote() << "Rendering finished:" << '\t' << m_framesWritten << "frames rendered"
                       << "\t in" << elapsedMs << "ms";
    if (shortRender)
        return true; // the caller reports the failure
    if (!cancelled) {
        countUpToLength();
        reportProgress(-42);
        return true;
    }
    const QString path = movieFilePath();
    if (QFile::exists(path) && !QFile::remove(path))
        qWarning().noquote() << "Can't delete the canceled files..." << path;
    m_lastError = QStringLiteral("Rendering was cancelled.");
    reportProgress(-1);
    return false;
}

bool WinOffscreenRenderer::runImageMode()
{
    if (!m_item || !m_reader)
        return fail(QStringLiteral("The renderer is not initialised."));
    QString error;
    if (!prepareImageFolder(&error)) {
        m_lastError = error;
        qCritical().noquote() << "Can't create the folder chosen. <br /> Canceling rendering now";
        qCritical().noquote() << error;
        reportProgress(-1);
        return false;
    }
    const QString pattern = imageFilePattern();
    if (!m_reader->seekToFrame(m_item->startFrame, true)) {
        fail(QStringLiteral("Can't set current frame position on renderer. <br /> Canceling rendering now"));
        reportProgress(-1);
        return false;
    }
    m_framesWritten = 0;
    reportProgress(0);
    std::vector<uchar> image(size_t(m_outputWidth) * m_outputHeight * 4);
    qDebug().noquote() << "New file to render:    " << m_item->asset->name
                       << "   with starting point:" << m_item->startFrame
                       << "   and ending point: " << m_item->endFrame;
    qDebug() << "Settings:" << m_grade;

    const qint64 length = std::max<qint64>(0, m_item->lengthInFrames());
    bool ok = true;
    while (ok && keepRunning() && m_framesWritten < length) {
        m_currentFrame = m_reader->getNextFrame(false);
        if (!m_currentFrame)
            break;
        if (!makeCurrent()) {
            qWarning().noquote() << "can't make context current...";
            ok = fail(QStringLiteral("Can't make the OpenGL context current."));
            break;
        }
        uploadFrame(m_currentFrame);
        gradeFrame();
        readBackGraded(image.data());
        swapAndRelease();
        const QImage picture(image.data(), m_outputWidth, m_outputHeight, m_outputWidth * 4, QImage::Format_RGBA8888);
        // Named by the frame's place on the clip's time line: unique and in
        // order, whatever the source's own timing.
        const QString name = OutputPaths::imageFileName(pattern, m_currentFrame->index);
        if (!picture.save(name, "TIFF", 100))
            ok = fail(QStringLiteral("Can't write the image %1.").arg(name));
        else
            reportProgress(++m_framesWritten);
        delete m_currentFrame;
        m_currentFrame = nullptr;
    }
    delete m_currentFrame;
    m_currentFrame = nullptr;
    if (!ok) {
        reportProgress(-1);
        return false;
    }
    if (!keepRunning()) {
        m_lastError = QStringLiteral("Rendering was cancelled.");
        reportProgress(-1);
        return false;
    }
    if (m_framesWritten < length) {
        fail(shortRenderMessage(length));
        reportProgress(-1);
        return false;
    }
    countUpToLength();
    reportProgress(-42);
    return true;
}

} // namespace Emulsa
