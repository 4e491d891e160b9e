#include "media/WinOffscreenRenderer.h"

#include "core/ShaderProcessor.h"
#include "media/AssetMetadata.h"
#include "media/Frame.h"
#include "media/OutputPaths.h"
#include "media/WinSourceReader.h"
#include "media/SequenceItem.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

// Per-picture timing details, off unless enabled with
// QT_LOGGING_RULES="emulsa.render.frames.debug=true".
Q_LOGGING_CATEGORY(lcFrames, "emulsa.render.frames", QtInfoMsg)

constexpr int pcmBytesPerSample = 4; // interleaved signed 16-bit stereo

} // namespace

// Everything the movie loop decodes with; released when the loop ends.
struct WinOffscreenRenderer::Decoding
{
    AV::FormatContextPtr format;
    int videoStream = -1;
    int audioStream = -1;
    AV::CodecContextPtr videoDecoder;
    AV::CodecContextPtr audioDecoder;
    AV::ScalerPtr scaler;
    AVPixelFormat scalerFormat = AV_PIX_FMT_NONE;
    AV::ResamplerPtr resampler;
    AV::PacketPtr packet;
    AV::FramePtr picture;
    AV::FramePtr sound;
    std::vector<uchar> pcm;

    // Times of the source, in seconds from the video stream's start.
    qint64 startPts = 0;
    double frameRate = 25.0;
    qint64 startFrame = 0;
    qint64 endFrame = -1; // -1: to the end of the stream
    qint64 startSample = 0;
    qint64 endSample = -1; // -1: to the end of the stream
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

bool WinOffscreenRenderer::sendFrameToSinkWriter(int stream, qint64 duration)
{
    Q_UNUSED(stream);
    const bool ok = m_writer->writeVideoFrame(m_outputBuffer.data(), m_outputWidth * 2, duration);
    if (!ok)
        qWarning().noquote() << "write sample failed in sendFrameToSinkWriter. Error:" << m_writer->lastError();
    return ok;
}

bool WinOffscreenRenderer::openDecoding(Decoding& d)
{
    const AssetMetadata* asset = m_item->asset;
    int error = 0;
    d.format = AV::openInput(asset->filePath, &error);
    if (!d.format)
        return fail(QStringLiteral("Could not open the file. ") + AV::errorText(error));
    if (avformat_find_stream_info(d.format.get(), nullptr) < 0)
        qWarning().noquote() << "Could not find stream information\n";
    d.videoStream = av_find_best_stream(d.format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (d.videoStream < 0)
        return fail(QStringLiteral("No codec found for this particular file."));

    AVStream* video = d.format->streams[d.videoStream];
    const AVCodec* codec = avcodec_find_decoder(video->codecpar->codec_id);
    if (!codec)
        return fail(QStringLiteral("Codec not found."));
    d.videoDecoder.reset(avcodec_alloc_context3(codec));
    if (avcodec_parameters_to_context(d.videoDecoder.get(), video->codecpar) < 0
        || avcodec_open2(d.videoDecoder.get(), codec, nullptr) < 0)
        return fail(QStringLiteral("Could not open codec."));

    if (!m_audioStreams.isEmpty()) {
        d.audioStream = av_find_best_stream(d.format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (d.audioStream < 0)
            return fail(QStringLiteral("No audio codec found for this particular file."));
        AVStream* audio = d.format->streams[d.audioStream];
        const AVCodec* audioCodec = avcodec_find_decoder(audio->codecpar->codec_id);
        if (!audioCodec)
            return fail(QStringLiteral("Audio codec not found."));
        d.audioDecoder.reset(avcodec_alloc_context3(audioCodec));
        if (avcodec_parameters_to_context(d.audioDecoder.get(), audio->codecpar) < 0
            || avcodec_open2(d.audioDecoder.get(), audioCodec, nullptr) < 0)
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
        const int result = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, d.audioDecoder->sample_rate,
            &input, d.audioDecoder->sample_fmt, d.audioDecoder->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&input);
        d.resampler.reset(resampler);
        if (result < 0 || swr_init(resampler) < 0)
            return fail(QStringLiteral("Audio resampler not initialized."));
        m_audioSampleRate = d.audioDecoder->sample_rate;
    }
    d.packet.reset(av_packet_alloc());
    d.picture.reset(av_frame_alloc());
    d.sound.reset(av_frame_alloc());

    // Times are measured from the first picture of the video stream.
    d.startPts = video->start_time == AV_NOPTS_VALUE ? 0 : video->start_time;
    d.frameRate = double(asset->frameRateNum) / double(std::max<quint32>(asset->frameRateDen, 1));
    d.startFrame = m_item->startFrame;
    const qint64 frameCount = asset->frameCount;
    if (frameCount > 0 && qint64(m_item->endFrame) < frameCount)
        d.endFrame = m_item->endFrame;
    const qint64 soundEndFrame = d.endFrame >= 0 ? d.endFrame : frameCount;
    if (m_audioSampleRate > 0) {
        d.startSample = std::llround(d.startFrame / d.frameRate * m_audioSampleRate);
        if (soundEndFrame > 0)
            d.endSample = std::llround(soundEndFrame / d.frameRate * m_audioSampleRate);
    }

    if (d.startFrame > 0) {
        const qint64 target = d.startPts
            + av_rescale_q(
                qint64(std::llround(d.startFrame / d.frameRate * 1e7)), AV::hundredNanoseconds, video->time_base);
        if (av_seek_frame(d.format.get(), d.videoStream, target, AVSEEK_FLAG_BACKWARD) < 0)
            return fail(QStringLiteral("Can't set current frame position on renderer. <br /> Canceling rendering now"));
        avcodec_flush_buffers(d.videoDecoder.get());
        if (d.audioDecoder)
            avcodec_flush_buffers(d.audioDecoder.get());
    }
    return true;
}

bool WinOffscreenRenderer::handleVideoFrame(Decoding& d, AVFrame* picture, bool* videoEnded)
{
    const AVStream* stream = d.format->streams[d.videoStream];
    qint64 pts = picture->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = picture->pts;
    const double seconds = (pts == AV_NOPTS_VALUE ? 0.0 : double(pts - d.startPts) * av_q2d(stream->time_base));
    const qint64 index = std::llround(seconds * d.frameRate);
    qint64 duration = std::llround(double(picture->pkt_duration) * av_q2d(stream->time_base) * 1e7);
    if (duration <= 0)
        duration = std::llround(1e7 / d.frameRate);
    qCDebug(lcFrames) << "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";
    qCDebug(lcFrames) << "Frame coded_picture_number" << picture->coded_picture_number;
    qCDebug(lcFrames) << "Frame pts/duration" << pts << picture->pkt_duration;
    qCDebug(lcFrames) << "TimeStamp in pts" << pts << "TimeStamp in ns" << qint64(seconds * 1e9);

    if (index < d.startFrame)
        return true;
    if (d.endFrame >= 0 && index >= d.endFrame) {
        *videoEnded = true;
        return true;
    }

    const bool ok = [&] {
        bool fullRange = false;
        const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
        // Converted at the decoded size; the upload takes the clip's rows
        // (a 1088-row picture is uploaded as its top 1080 rows).
        const size_t needed = size_t(picture->width) * 2 * picture->height;
        if (m_outputBuffer.size() < needed)
            m_outputBuffer.resize(needed);
        if (!d.scaler || d.scalerFormat != format) {
            d.scaler.reset(sws_getContext(picture->width, picture->height, format, picture->width, picture->height,
                AV_PIX_FMT_YUYV422, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
            d.scalerFormat = format;
            if (!d.scaler)
                return fail(QStringLiteral("Could not get a scaler context"));
        }
        uint8_t* target[1] = { m_outputBuffer.data() };
        const int targetStride[1] = { picture->width * 2 };
        sws_scale(d.scaler.get(), picture->data, picture->linesize, 0, picture->height, target, targetStride);

        if (!makeCurrent()) {
            qWarning().noquote() << "can't make context current...";
            return false;
        }
        uploadFrame(m_outputBuffer.data(), picture->width * 2);
        convertInputPass();
        gradePass();
        convertOutputPass();
        readBackYuy2(m_outputBuffer.data());
        swapAndRelease();
        return true;
    }();
    if (!ok)
        return false;

    const int stream0 = *m_videoStreams.constBegin();
    if (!sendFrameToSinkWriter(stream0, duration)) {
        qDebug().noquote() << "Something wen't wrong when trying to render frame to disk";
        return fail(QStringLiteral("Fail rendering video file. Error: ") + m_writer->lastError());
    }
    m_sampleTimes[stream0] += duration;
    ++m_framesWritten;
    reportProgress(m_framesWritten);
    return true;
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

bool WinOffscreenRenderer::handleAudioFrame(Decoding& d, AVFrame* sound, bool* audioEnded)
{
    const AVStream* stream = d.format->streams[d.audioStream];
    const AVStream* video = d.format->streams[d.videoStream];
    // The sound's position on the video stream's time line, in samples.
    qint64 pts = sound->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = sound->pts;
    const double videoStart = double(d.startPts) * av_q2d(video->time_base);
    const double seconds = pts == AV_NOPTS_VALUE ? double(d.startSample + m_audioSamplesWritten) / m_audioSampleRate
                                                 : double(pts) * av_q2d(stream->time_base) - videoStart;
    const qint64 first = std::llround(seconds * m_audioSampleRate);

    const int capacity = swr_get_out_samples(d.resampler.get(), sound->nb_samples);
    if (capacity < 0)
        return fail(QStringLiteral("Could convert the audio buffer"));
    d.pcm.resize(size_t(capacity) * pcmBytesPerSample);
    uint8_t* out[1] = { d.pcm.data() };
    const int converted = swr_convert(
        d.resampler.get(), out, capacity, const_cast<const uint8_t**>(sound->extended_data), sound->nb_samples);
    if (converted < 0) {
        qWarning().noquote() << "Could convert the audio buffer" << AV::errorText(converted);
        return true;
    }
    const qint64 last = first + converted;
    if (last <= d.startSample)
        return true; // wholly before the in point
    qint64 position = d.startSample + m_audioSamplesWritten;
    const uchar* data = d.pcm.data();
    qint64 count = converted;
    // A few samples of rounding either side of the in point are no gap.
    constexpr qint64 slack = 2;
    if (first < d.startSample - slack) {
        // A buffer reaching past the in point: its part after the in point
        // becomes silence, so no sound from before the in point is heard.
        data = nullptr;
        count = last - d.startSample;
    } else if (m_audioSamplesWritten == 0 && first > position + slack) {
        // Sound that starts after the in point is preceded by silence.
        if (!writeAudioSamples(nullptr, first - position))
            return false;
        position = first;
    }
    if (d.endSample >= 0 && position + count >= d.endSample) {
        count = std::max<qint64>(d.endSample - position, 0);
        *audioEnded = true;
    }
    if (!writeAudioSamples(data, count))
        return false;
    if (*audioEnded && !m_writer->endAudioSegment())
        return fail(QStringLiteral("Fail rendering video file. Error: ") + m_writer->lastError());
    return true;
}

bool WinOffscreenRenderer::runVideoModeLibAV()
{
    if (!m_writer || !m_item)
        return fail(QStringLiteral("The renderer is not initialised."));
    const size_t outputBytes = size_t(m_outputWidth / 2) * m_outputHeight * 4;
    const size_t sourceBytes = size_t(m_sourceWidth / 2 + 1) * m_sourceHeight * 4;
    m_outputBuffer.assign(std::max(outputBytes, sourceBytes), 0);
    m_sampleTimes.clear();
    for (int stream : qAsConst(m_videoStreams))
        m_sampleTimes.insert(stream, 0);
    for (int stream : qAsConst(m_audioStreams))
        m_sampleTimes.insert(stream, 0);

    // The movie loop decodes with its own demuxer; the reader's decoders are
    // not needed while it runs.
    if (m_reader)
        m_reader->releaseAll();
    Decoding d;
    if (!openDecoding(d)) {
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

    bool videoEnded = false;
    bool audioEnded = !d.audioDecoder;
    bool ok = true;
    bool endOfFile = false;
    int readErrors = 0;

    auto receiveAll = [&](AVCodecContext* decoder, AVFrame* frame, bool video) {
        while (ok) {
            const int result = avcodec_receive_frame(decoder, frame);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return;
            if (result < 0) {
                fputs(video ? "Decode Error.\n" : "Audio Decode Error.\n", stdout);
                return;
            }
            if (video && !videoEnded)
                ok = handleVideoFrame(d, frame, &videoEnded);
            else if (!video && !audioEnded)
                ok = handleAudioFrame(d, frame, &audioEnded);
            av_frame_unref(frame);
        }
    };

    while (ok && keepRunning() && !(videoEnded && audioEnded) && !endOfFile) {
        const int result = av_read_frame(d.format.get(), d.packet.get());
        if (result < 0) {
            if (AV::isEndOfFile(result, d.format.get()) || ++readErrors > AV::maxConsecutiveReadErrors) {
                endOfFile = true;
                break;
            }
            continue;
        }
        readErrors = 0;
        if (d.packet->stream_index == d.videoStream && !videoEnded) {
            if (avcodec_send_packet(d.videoDecoder.get(), d.packet.get()) < 0)
                fputs("Decode Error.\n", stdout);
            receiveAll(d.videoDecoder.get(), d.picture.get(), true);
        } else if (d.packet->stream_index == d.audioStream && !audioEnded) {
            if (avcodec_send_packet(d.audioDecoder.get(), d.packet.get()) < 0)
                fputs("Audio Decode Error.\n", stdout);
            receiveAll(d.audioDecoder.get(), d.sound.get(), false);
        }
        av_packet_unref(d.packet.get());
    }
    if (ok && keepRunning() && endOfFile) {
        qDebug().noquote() << "WinOffscreenRenderer: End Of File";
        if (!videoEnded) {
            avcodec_send_packet(d.videoDecoder.get(), nullptr);
            receiveAll(d.videoDecoder.get(), d.picture.get(), true);
        }
        if (ok && !audioEnded) {
            avcodec_send_packet(d.audioDecoder.get(), nullptr);
            receiveAll(d.audioDecoder.get(), d.sound.get(), false);
            // Sound that ends before the picture is completed with silence.
            if (ok && !audioEnded && d.endSample >= 0) {
                const qint64 missing = d.endSample - (d.startSample + m_audioSamplesWritten);
                ok = writeAudioSamples(nullptr, missing);
            }
        }
    }
    return finishMovie(ok, clock.elapsed());
}

void WinOffscreenRenderer::countUpToLength()
{
    const qint64 length = m_item->lengthInFrames();
    int count = m_framesWritten;
    while (count < length)
        reportProgress(++count);
}

bool WinOffscreenRenderer::finishMovie(bool loopOk, qint64 elapsedMs)
{
    m_outputBuffer.clear();
    m_outputBuffer.shrink_to_fit();
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
    reportProgress(0);
    m_currentFrame = m_reader->getNextFrame(true);
    std::vector<uchar> image(size_t(m_outputWidth) * m_outputHeight * 4);
    qDebug().noquote() << "New file to render:    " << m_item->asset->name
                       << "   with starting point:" << m_item->startFrame
                       << "   and ending point: " << m_item->endFrame;
    qDebug() << "Settings:" << m_grade;

    const qint64 length = m_item->lengthInFrames();
    bool ok = true;
    while (m_currentFrame && keepRunning() && m_framesWritten < length) {
        if (!makeCurrent()) {
            qWarning().noquote() << "can't make context current...";
            ok = false;
            break;
        }
        uploadFrame(m_currentFrame);
        convertInputPass();
        gradePass();
        readBackGraded(image.data());
        swapAndRelease();
        const QImage picture(image.data(), m_outputWidth, m_outputHeight, m_outputWidth * 4, QImage::Format_RGBA8888);
        const QString name = OutputPaths::imageFileName(pattern, m_currentFrame->index);
        if (!picture.save(name, "TIFF", 100)) {
            fail(QStringLiteral("Can't write the image %1.").arg(name));
            ok = false;
            break;
        }
        ++m_framesWritten;
        reportProgress(m_framesWritten);
        delete m_currentFrame;
        m_currentFrame = m_reader->getNextFrame(true);
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
    countUpToLength();
    reportProgress(-42);
    return true;
}

} // namespace Emulsa
