#include "media/source/WinSourceReader.h"

#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/source/AudioPacket.h"
#include "media/source/HardwareDecoding.h"
#include "media/source/PictureRotation.h"
#include "media/source/SoundDecoder.h"
#include "media/source/Thumbnail.h"

#include <QDebug>
#include <QFileInfo>

extern "C" {
#include <libavutil/pixdesc.h>
}

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
    // The video hardware is reached through FFmpeg's devices: there is some
    // once a device has decoded the probe clip.
    return HardwareDecoding::device() != nullptr;
}

void WinSourceReader::buildApiTable()
{
    // Hardware decoding happens inside the FFmpeg back-end (VideoDecoder),
    // so every code goes there.
    m_apiTable.clear();
    for (const char* code : { "avc1", "HDMV", "HDPR", "apch", "apcn", "apcs", "apco", "ap4h" })
        m_apiTable.insert(fourcc(code), LibAV);
}

DecodingApi WinSourceReader::apiForFourcc(quint32 code) const
{
    return m_apiTable.value(code, LibAV);
}

int WinSourceReader::availableApiCount() const
{
    return 1;
}

QSize WinSourceReader::thumbnailSize(quint32 width, quint32 height)
{
    return Thumbnail::size(width, height);
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
    m_timeline.release();
    m_converter.release();
    m_decoder.close();
    m_sound.reset();
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
        if (m_api == LibAV && setUpLibAV()) {
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
    if (m_triedApis.size() >= availableApiCount() || m_triedApis.contains(LibAV))
        return false;
    m_api = LibAV;
    return true;
}

bool WinSourceReader::setUpLibAV()
{
    if (!m_decoder.open(m_metadata->filePath, m_decoderThreads))
        return false;
    if (!m_decoder.fileHasAudio())
        m_metadata->hasAudio = false;
    if (m_decoder.fullRange())
        m_metadata->colorRange = 2;
    if (const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(m_decoder.pictureFormat()))
        m_metadata->bitsPerComponent = quint32(descriptor->comp[0].depth);

    if (!setUpConverter())
        return false;
    m_clipDuration = m_decoder.declaredDuration();
    if (!m_timeline.start())
        return false;
    // The sound is placed from the first picture's time.
    return !m_decoder.fileHasAudio() || initializeLibAVAudio();
}

bool WinSourceReader::setUpConverter()
{
    // Pictures are delivered as shown: turned by the stream's display
    // rotation, without an odd last column.
    const AVCodecContext* codec = m_decoder.codec();
    if (!m_converter.setUp(codec->width, codec->height, m_decoder.pictureFormat(),
            PictureRotation::displayRotation(m_decoder.stream()), m_metadata->colorRange == 2,
            m_deepPictures && !m_rgbOutput)) {
        qDebug() << Q_FUNC_INFO << "Could not set up the picture conversion.";
        return false;
    }
    return true;
}

bool WinSourceReader::setDeepPictures(bool deep)
{
    if (deep == m_deepPictures)
        return true;
    m_deepPictures = deep;
    // The thumbnail reader stays 8-bit; a reader without an open clip sets
    // the conversion up when it opens one.
    if (m_rgbOutput || !m_decoder.isOpen() || !m_metadata)
        return true;
    return setUpConverter();
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
