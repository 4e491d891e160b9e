#include "media/render/WinOffscreenRenderer.h"

#include "core/ShaderProcessor.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/encode/TiffOptions.h"
#include "media/frame/Frame.h"
#include "media/render/MovieSoundFeed.h"
#include "media/render/OutputPaths.h"
#include "media/source/WinSourceReader.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace Emulsa {

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

QString WinOffscreenRenderer::prepareImageFolder(QString* error) const
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
    const QString sizeError = OutputSettings::formatSizeProblem(m_outputWidth, m_outputHeight, settings->format);
    if (!sizeError.isEmpty())
        return fail(sizeError);
    if (!m_imageMode) {
        const QString targetError = OutputPaths::movieTargetProblem(settings, asset);
        if (!targetError.isEmpty())
            return fail(targetError);
        if (!settings->encoder)
            return fail(QStringLiteral("No encoder settings for a movie format."));
    }

    m_packedSampleBits = !m_imageMode && packedDeepMovie() ? 16 : 8;
    if (!initializeOpenGL())
        return fail(QStringLiteral("Can't initialize openGL for on disk rendering."));

    m_reader = std::make_unique<WinSourceReader>(false);
    m_reader->setDecoderThreads(decoderThreadsFor(QThread::idealThreadCount()));
    if (!m_reader->initializeFromSequenceItem(item))
        return fail(QStringLiteral("Can't initialize source reader for on disk rendering."));
    m_api = m_reader->currentApi();
    qDebug() << "WinOffscreenRenderer: API used:" << int(m_api);
    // A source of more than 8 bits reaches an output of more than 8 bits
    // whole: its pictures are decoded to 16-bit samples and graded from them.
    if (m_item->asset->bitsPerComponent > 8 && deepOutput()) {
        if (!m_reader->setDeepPictures(true))
            return fail(QStringLiteral("Can't decode the clip's pictures at 16 bits."));
        setDeepSource(true);
    }

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
    video.codec = movieCodec(m_settings->format);
    const int videoStream = m_writer->addVideoStream(video);
    if (videoStream < 0)
        return false;
    ++m_streamCount;
    m_videoStreams.insert(videoStream);

    const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0) {
        const int rate = format->streams[audio]->codecpar->sample_rate;
        const int audioStream = m_writer->addAudioStream(rate > 0 ? rate : int(asset->sampleRate));
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

bool WinOffscreenRenderer::deepOutput() const
{
    if (!m_settings)
        return false;
    if (m_settings->format == TiffSequence)
        return TiffOptions::fromMenus(m_settings->tiffOption1, m_settings->tiffOption2, m_settings->tiffOption3)
            .sixteenBits;
    return OutputSettings::isDeepFormat(m_settings->format);
}

MediaWriter::VideoCodec WinOffscreenRenderer::movieCodec(int format)
{
    switch (format) {
    case ProRes422HQ:
        return MediaWriter::VideoCodec::ProRes422HQ;
    case ProRes4444:
        return MediaWriter::VideoCodec::ProRes4444;
    case DNxHRHQX:
        return MediaWriter::VideoCodec::DNxHRHQX;
    case H265Main10:
        return MediaWriter::VideoCodec::HevcMain10;
    default:
        return MediaWriter::VideoCodec::H264;
    }
}

bool WinOffscreenRenderer::sendFrameToSinkWriter(const uchar* picture, int stream, qint64 duration)
{
    Q_UNUSED(stream);
    const auto* samples = reinterpret_cast<const quint16*>(picture);
    const bool ok = packedDeepMovie() ? m_writer->writeVideoFramePacked16(samples, m_outputWidth * 4, duration)
        : deepMovie()                 ? m_writer->writeVideoFrameRgba64(samples, m_outputWidth * 8, duration)
                                      : m_writer->writeVideoFrame(picture, m_outputWidth * 2, duration);
    if (!ok)
        qWarning().noquote() << "write sample failed in sendFrameToSinkWriter. Error:" << m_writer->lastError();
    return ok;
}

QString WinOffscreenRenderer::shortRenderMessage(qint64 expected) const
{
    return QStringLiteral("The source ended early or could not be decoded: %1 of %2 frames written.")
        .arg(m_framesWritten)
        .arg(expected);
}

bool WinOffscreenRenderer::writeSoundFor(MovieSoundFeed& sound, qint64 frames)
{
    if (!sound.writeUpTo(*m_writer, sound.samplesFor(frames)))
        return fail(sound.error());
    m_sampleTimes[*m_audioStreams.constBegin()] = sound.samplesWritten() * 10000000 / sound.sampleRate();
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

    std::unique_ptr<MovieSoundFeed> sound;
    if (!m_audioStreams.isEmpty()) {
        sound = std::make_unique<MovieSoundFeed>();
        if (!sound->open(m_item->asset->filePath, m_reader->originSeconds(), m_clock, m_item->startFrame)) {
            fail(sound->error());
            reportProgress(-1);
            return false;
        }
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
    bool ok = renderMovieFrames(sound.get(), length);
    if (ok && sound) {
        ok = writeSoundFor(*sound, m_framesWritten);
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
    if (cancelled) {
        // The unfinished movie is dropped; an earlier movie of the same name
        // stays as it was.
        m_writer->close();
        m_lastError = QStringLiteral("Rendering was cancelled.");
        reportProgress(-1);
        return false;
    }
    reportProgress(-41);
    const bool finalized = m_writer->finalize();
    if (!finalized) {
        fail(QStringLiteral("Fail finalizing video file. Error: ") + m_writer->lastError());
        reportProgress(-1);
        return false;
    }
    qDebug().noquote() << "Rendering finished:" << '\t' << m_framesWritten << "frames rendered"
                       << "\t in" << elapsedMs << "ms";
    if (shortRender)
        return true; // the caller reports the failure
    countUpToLength();
    reportProgress(-42);
    return true;
}

} // namespace Emulsa
