#include "media/source/WinSourceReader.h"

#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/metadata/ThumbnailCache.h"
#include "media/source/AudioPacket.h"
#include "media/source/PictureRotation.h"
#include "media/source/SoundDecoder.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <QDebug>
#include <QFileInfo>

#include <cmath>
#include <cstring>

namespace Emulsa {

namespace {

QString fourccText(quint32 tag)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((tag >> (8 * i)) & 0xFF);
        text += (c >= 32 && c < 127) ? QChar::fromLatin1(c) : QLatin1Char('.');
    }
    return text;
}

} // namespace

WinSourceReader::WinSourceReader(bool rgbOutput, QObject* parent)
    : SourceReader(parent)
    , m_rgbOutput(rgbOutput)
{
    buildApiTable();
}

WinSourceReader::~WinSourceReader()
{
    releaseAll();
}

quint32 WinSourceReader::fourcc(const char code[4])
{
    return quint32(uchar(code[0])) | (quint32(uchar(code[1])) << 8) | (quint32(uchar(code[2])) << 16)
        | (quint32(uchar(code[3])) << 24);
}

bool WinSourceReader::hostHasAdvancedVideoProcessing()
{
    // No platform media framework in this build.
    return false;
}

void WinSourceReader::buildApiTable()
{
    const DecodingApi h264Api = hostHasAdvancedVideoProcessing() ? MediaFoundation : LibAV;
    m_apiTable.clear();
    for (const char* code : { "avc1", "HDMV", "HDPR" })
        m_apiTable.insert(fourcc(code), h264Api);
    for (const char* code : { "apch", "apcn", "apcs", "apco", "ap4h" })
        m_apiTable.insert(fourcc(code), LibAV);
}

DecodingApi WinSourceReader::apiForFourcc(quint32 code) const
{
    const DecodingApi preferred = m_apiTable.value(code, LibAV);
    // Without the platform framework its entries fall to FFmpeg.
    return (preferred == MediaFoundation && !hostHasAdvancedVideoProcessing()) ? LibAV : preferred;
}

int WinSourceReader::availableApiCount() const
{
    return hostHasAdvancedVideoProcessing() ? 2 : 1;
}

QSize WinSourceReader::thumbnailSize(quint32 width, quint32 height)
{
    if (width == 0 || height == 0)
        return QSize();
    // The longer side never passes what the thumbnail cache stores; a
    // picture longer than that keeps its proportion with a shorter short side.
    const qint64 longest = ThumbnailCache::maxThumbnailPixels / 250;
    const quint32 longer = qMax(width, height);
    const quint32 shorter = qMin(width, height);
    int longSide = int(float(longer) / float(shorter) * 250.0f);
    int shortSide = 250;
    if (longSide > longest) {
        longSide = int(longest);
        shortSide = qMax(1, int(std::lround(double(longest) * shorter / longer)));
    }
    return width > height ? QSize(longSide, shortSide) : QSize(shortSide, longSide);
}

void WinSourceReader::setStartFrame(quint32 frame)
{
    m_startFrame = frame;
}

void WinSourceReader::setEndFrame(quint32 frame)
{
    m_endFrame = frame;
}

Frame* WinSourceReader::takeCurrentFrame()
{
    Frame* frame = m_currentFrame;
    m_currentFrame = nullptr;
    return frame;
}

void WinSourceReader::releaseAll()
{
    clearPictures();
    m_held.reset();
    m_ahead.reset();
    m_scaler.reset();
    m_rotationScaler.reset();
    m_rotated.reset();
    m_unrotated.reset();
    m_rotation = 0;
    m_videoDecoder.reset();
    m_videoFormat.reset();
    m_sound.reset();
    m_fileHasAudio = false;
    m_packet.reset();
    m_decodedPicture.reset();
    m_convertedPicture.reset();
    m_convertedBuffer.reset();
    m_scalerWidth = 0;
    m_scalerHeight = 0;
    m_scalerFormat = AV_PIX_FMT_NONE;
    m_videoStream = -1;
    m_videoDraining = false;
    delete m_currentFrame;
    m_currentFrame = nullptr;
}

bool WinSourceReader::initializeFromMetadata(AssetMetadata* metadata)
{
    if (!metadata)
        return false;
    m_metadata = metadata;
    m_triedApis.clear();
    m_clipDuration = -1;
    return runSetupLoop();
}

bool WinSourceReader::runSetupLoop()
{
    bool ready = false;
    while (m_triedApis.size() < availableApiCount()) {
        releaseAll();
        if (!determineWhichApiToUse())
            break;
        if (m_api == LibAV && initializeLibAVInternalComponent() && initializeLibAVStreams()) {
            ready = true;
            break;
        }
        m_triedApis.insert(m_api);
    }
    if (!ready) {
        releaseAll();
        m_api = NoDecodingApi;
        qWarning() << Q_FUNC_INFO << "Media not handled.";
        return false;
    }
    if (!m_metadata->filePath.isEmpty())
        qDebug() << Q_FUNC_INFO << "Api selected for file:" << m_metadata->filePath << "is" << int(m_api);
    return true;
}

bool WinSourceReader::determineWhichApiToUse()
{
    int error = 0;
    AV::FormatContextPtr format = AV::openInput(m_metadata->filePath, &error);
    if (!format) {
        qDebug() << Q_FUNC_INFO << "Could not open the file." << AV::errorText(error);
        m_triedApis.insert(MediaFoundation);
        m_triedApis.insert(LibAV);
        return false;
    }
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        qDebug() << Q_FUNC_INFO << "Could not find stream information\n";

    const AVCodec* decoder = nullptr;
    if (av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0) < 0 || !decoder)
        return false;

    int videoStreams = 0;
    quint32 videoFourcc = 0;
    const QString fileName = QFileInfo(m_metadata->filePath).fileName();
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* parameters = format->streams[i]->codecpar;
        const quint32 tag = parameters->codec_tag;
        const char* kind = " (Data) got FOURCC: ";
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++videoStreams;
            videoFourcc = tag;
            kind = " (Video) got FOURCC: ";
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
            kind = " (Audio) got FOURCC: ";
        }
        if (!m_metadata->filePath.isEmpty())
            qDebug().nospace() << fileName << " - Stream #" << i << kind << fourccText(tag) << " with value:" << tag;
    }
    format.reset();
    if (videoStreams == 0)
        return false;

    const DecodingApi preferred = apiForFourcc(videoFourcc);
    if (!m_triedApis.contains(preferred)) {
        m_api = preferred;
        return true;
    }
    if (m_triedApis.size() >= availableApiCount())
        return false;
    for (DecodingApi candidate : { MediaFoundation, LibAV }) {
        if (candidate == MediaFoundation && !hostHasAdvancedVideoProcessing())
            continue;
        if (!m_triedApis.contains(candidate)) {
            m_api = candidate;
            return true;
        }
    }
    return false;
}

bool WinSourceReader::initializeLibAVInternalComponent()
{
    m_videoFormat.reset();
    int error = 0;
    m_videoFormat = AV::openInput(m_metadata->filePath, &error);
    if (!m_videoFormat) {
        qDebug() << Q_FUNC_INFO << "Could not open the file." << AV::errorText(error);
        return false;
    }
    if (avformat_find_stream_info(m_videoFormat.get(), nullptr) < 0)
        qDebug() << Q_FUNC_INFO << "Could not find stream information\n";
    error = av_find_best_stream(m_videoFormat.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (error < 0) {
        qDebug() << Q_FUNC_INFO << "Could not find any video stream in input file" << AV::errorText(error);
        m_videoFormat.reset();
        return false;
    }
    return true;
}

bool WinSourceReader::initializeLibAVStreams()
{
    AVFormatContext* format = m_videoFormat.get();
    m_videoStream = -1;
    m_fileHasAudio = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVMediaType type = format->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && m_videoStream < 0)
            m_videoStream = int(i);
        m_fileHasAudio = m_fileHasAudio || type == AVMEDIA_TYPE_AUDIO;
    }
    if (m_videoStream < 0) {
        qDebug() << Q_FUNC_INFO << "Didn't find a video stream.";
        return false;
    }
    if (av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) != m_videoStream)
        qDebug() << Q_FUNC_INFO << "AV recommend a different video stream than the one we choose.";

    const AVStream* stream = format->streams[m_videoStream];
    m_videoDecoder.reset(avcodec_alloc_context3(nullptr));
    if (!m_videoDecoder || avcodec_parameters_to_context(m_videoDecoder.get(), stream->codecpar) < 0) {
        qDebug() << Q_FUNC_INFO << "No codec found for this particular file.";
        return false;
    }

    if (!m_fileHasAudio)
        m_metadata->hasAudio = false;

    bool fullRange = false;
    m_videoDecoder->pix_fmt = AV::plainPixelFormat(m_videoDecoder->pix_fmt, &fullRange);
    if (fullRange || stream->codecpar->color_range == AVCOL_RANGE_JPEG) {
        m_videoDecoder->color_range = AVCOL_RANGE_JPEG;
        m_metadata->colorRange = 2;
    }

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        qDebug() << Q_FUNC_INFO << "Codec not found.";
        return false;
    }
    m_videoDecoder->thread_count = m_decoderThreads;
    m_videoDecoder->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_videoDecoder.get(), codec, nullptr) < 0 || m_videoDecoder->pix_fmt == AV_PIX_FMT_NONE
        || m_videoDecoder->width <= 0 || m_videoDecoder->height <= 0) {
        qDebug() << Q_FUNC_INFO << "Could not open codec.";
        return false;
    }

    // Pictures are delivered as shown: turned by the stream's display
    // rotation. YUY2 holds pixel pairs: an odd last column is left out.
    m_rotation = PictureRotation::displayRotation(stream);
    const bool turned = m_rotation == 90 || m_rotation == 270;
    const int shownWidth = turned ? m_videoDecoder->height : m_videoDecoder->width;
    const int width = shownWidth & ~1;
    const int height = turned ? m_videoDecoder->width : m_videoDecoder->height;
    if (width <= 0) {
        qDebug() << Q_FUNC_INFO << "Could not open codec.";
        return false;
    }
    m_packet.reset(av_packet_alloc());
    m_decodedPicture.reset(av_frame_alloc());
    m_convertedPicture.reset(av_frame_alloc());
    m_held.reset(av_frame_alloc());
    m_ahead.reset(av_frame_alloc());
    const int bufferSize = av_image_get_buffer_size(AV_PIX_FMT_YUYV422, width, height, 1);
    m_convertedBuffer = AV::allocatePictureBuffer(bufferSize);
    if (!m_packet || !m_decodedPicture || !m_convertedPicture || !m_convertedBuffer || !m_held || !m_ahead)
        return false;
    av_image_fill_arrays(m_convertedPicture->data, m_convertedPicture->linesize, m_convertedBuffer.get(),
        AV_PIX_FMT_YUYV422, width, height, 1);
    m_convertedPicture->width = width;
    m_convertedPicture->height = height;
    m_rotated.reset(m_rotation != 0 ? av_frame_alloc() : nullptr);
    m_unrotated.reset(m_rotation != 0 ? av_frame_alloc() : nullptr);
    if (m_rotation != 0 && (!m_rotated || !m_unrotated))
        return false;
    if (!makeScaler(shownWidth, height, m_rotation != 0 ? AV_PIX_FMT_YUV444P : m_videoDecoder->pix_fmt)) {
        qDebug() << Q_FUNC_INFO << "Could not get a scaler context";
        return false;
    }
    m_videoDraining = false;
    m_clipDuration = computeClipDuration();
    setUpClock();
    if (!findOrigin())
        return false;
    // The sound is placed from the first picture's time.
    return !m_fileHasAudio || initializeLibAVAudio();
}

bool WinSourceReader::initializeLibAVAudio()
{
    m_sound = std::make_unique<SoundDecoder>();
    // The source's channels and rate, as 16-bit samples.
    if (!m_sound->open(m_metadata->filePath, originSeconds(), 0, 0)) {
        qDebug() << Q_FUNC_INFO << "Could not open the sound:" << m_sound->error();
        m_sound.reset();
        return false;
    }
    m_metadata->bitsPerSample = 16;
    m_metadata->hasAudio = true;
    positionSound();
    return true;
}

bool WinSourceReader::initializeFromSequenceItem(const SequenceItem* item)
{
    if (!item || !item->asset || !item->asset->valid) {
        releaseAll();
        return true;
    }
    m_startFrame = item->startFrame;
    m_endFrame = item->endFrame;
    m_clipDuration = -1;
    const bool ready = initializeFromMetadata(item->asset);
    if (m_startFrame == 0 || !ready)
        return ready;

    if (!seekToFrame(m_startFrame, true))
        return false;
    for (;;) {
        std::unique_ptr<Frame> frame(readFrame(true));
        if (!frame) {
            seekToFrame(0, false);
            return true;
        }
        if (quint32(frame->index) >= m_startFrame - 1)
            return true;
    }
}

void WinSourceReader::setCurrentPositionFromSlider(quint32 frame, bool precise)
{
    if (m_metadata)
        seekToFrame(frame, precise);
}

bool WinSourceReader::fillMetadata()
{
    if (!m_metadata || m_api == NoDecodingApi)
        return false;
    QSet<int> triedHere;
    while (m_triedApis.size() < availableApiCount()) {
        if (triedHere.contains(m_api))
            return false;
        triedHere.insert(m_api);
        if (m_api == LibAV && fillMetadataLibAV())
            return true;
        m_triedApis.insert(m_api);
        if (!runSetupLoop())
            return false;
    }
    return false;
}

} // namespace Emulsa
