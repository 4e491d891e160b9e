// The FFmpeg back-end of WinSourceReader: describing a file, and delivering
// its frames and sound on the time line.
#include "media/source/WinSourceReader.h"

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/source/AudioPacket.h"
#include "media/source/SoundDecoder.h"
#include "media/source/Thumbnail.h"

#include <QDebug>

#include <cmath>
#include <cstring>

namespace Emulsa {

bool WinSourceReader::fillMetadataLibAV()
{
    if (!m_decoder.isOpen())
        return false;
    const FrameClock& clock = m_timeline.clock();
    m_metadata->width = quint32(m_converter.width());
    m_metadata->height = AssetMetadata::storedHeight(m_metadata->width, quint32(m_converter.height()));
    m_metadata->frameRateNum = quint32(clock.rateNum());
    m_metadata->frameRateDen = quint32(clock.rateDen());
    const int64_t bitRate = m_decoder.format()->bit_rate;
    m_metadata->bitRate = bitRate < 0 ? AssetMetadata::unset : quint32(qMin<int64_t>(bitRate, 0xFFFFFFFE));

    // The frame count follows the time line: the clip's length at its
    // nominal rate, whatever number of pictures the stream holds.
    qint64 duration = qMax<qint64>(0, m_decoder.declaredDuration());
    // Containers without a picture index (MPEG-TS and -PS, Matroska,
    // fragmented MP4) only estimate their length: the end of the last
    // picture is measured instead.
    if (m_decoder.stream()->nb_frames <= 0 || duration <= 0) {
        const qint64 measured = m_timeline.measureDuration(duration);
        if (measured > 0)
            duration = measured;
    }
    m_clipDuration = duration;
    m_metadata->frameCount = quint32(qMax<qint64>(0, clock.framesInDuration(duration)));
    m_metadata->durationMs = quint32(std::llround(double(duration) / 10000.0 + 0.5));

    // The thumbnail comes from frame 25, or from the middle of a shorter
    // clip; when that cannot be reached, from the first picture.
    const quint32 target = m_metadata->frameCount <= 25 ? m_metadata->frameCount / 2 : 25;
    const AVFrame* picture = m_timeline.pictureAtFrame(target);
    if (!picture && target > 0)
        picture = m_timeline.pictureAtFrame(0);
    if (!picture) {
        qDebug() << Q_FUNC_INFO << "Decode Error.";
        return false;
    }
    if (!m_converter.convert(picture))
        return false;
    // The record describes the 8-bit frames that playback reads.
    m_metadata->stride = quint32(m_converter.deep() ? m_converter.stride() / 2 : m_converter.stride());
    m_metadata->frameBytes = m_metadata->computeFrameBytes();
    Frame* thumbnail = Thumbnail::make(m_converter.shown(picture), *m_metadata);
    if (!thumbnail)
        return false;
    thumbnail->timestamp = m_timeline.pictureTime(picture);
    thumbnail->index = int(clock.nearestFrame(thumbnail->timestamp));
    delete m_currentFrame;
    m_currentFrame = thumbnail;
    seekToFrame(0, false);
    return fillAudioMetadataLibAV();
}

bool WinSourceReader::fillAudioMetadataLibAV()
{
    // Setup opened the sound decoder (and its resampler) whenever the file has
    // a sound stream; the description reads it from there.
    if (!m_sound || !m_sound->isOpen()) {
        m_metadata->hasAudio = false;
        return true;
    }
    // The sound decoder delivers the source's channels at its rate, as
    // signed 16-bit samples.
    m_metadata->channels = quint32(m_sound->channels());
    m_metadata->bitsPerSample = 16;
    m_metadata->sampleRate = quint32(m_sound->sampleRate());
    m_metadata->audioFrameCount = quint32(m_sound->declaredFrameCount());
    m_metadata->hasAudio = true;
    return true;
}

bool WinSourceReader::pastEndFrame(int index) const
{
    return m_metadata && m_endFrame < m_metadata->frameCount && index >= 0 && quint32(index) > m_endFrame;
}

bool WinSourceReader::seekToFrame(quint32 frame, bool precise)
{
    if (m_api != LibAV)
        return false;
    const bool ok = m_timeline.seekToFrame(frame, precise);
    if (ok)
        positionSound();
    return ok;
}

void WinSourceReader::positionSound()
{
    if (m_sound)
        m_sound->seek(m_timeline.clock().sampleAtFrame(m_timeline.nextIndex(), m_sound->sampleRate()));
}

Frame* WinSourceReader::makeFrame(const AVFrame* picture, qint64 time, qint64 duration)
{
    auto frame = std::make_unique<Frame>(m_metadata);
    frame->timestamp = time;
    frame->duration = duration;
    frame->stride = quint32(m_converter.stride());
    frame->bitsPerSample = m_converter.bitsPerSample();
    // When the frame holds every converted row, the conversion writes straight
    // into it; otherwise (1088 coded rows kept as 1080) it goes through the
    // converter's picture and the rows the frame holds are copied.
    const quint32 convertedRows = quint32(m_converter.height());
    const bool direct = convertedRows == m_metadata->height;
    if (!direct && !m_converter.convert(picture))
        return nullptr;
    {
        QMutexLocker locker(&frame->mutex);
        uchar* data = frame->allocFrameData();
        if (!data)
            return nullptr;
        if (direct) {
            if (!m_converter.convert(picture, data, int(frame->stride)))
                return nullptr;
        } else {
            const size_t rowBytes = frame->stride;
            const quint32 rows = qMin<quint32>(m_metadata->height, convertedRows);
            memcpy(data, m_converter.data(), rowBytes * rows);
            if (rows < m_metadata->height)
                memset(data + rowBytes * rows, 0, rowBytes * (m_metadata->height - rows));
        }
    }
    frame->index = int(m_timeline.clock().nearestFrame(time));
    return frame.release();
}

Frame* WinSourceReader::getNextFrame(bool loop)
{
    Frame* frame = readFrame(loop);
    if (frame)
        emit updateSlider(frame->index);
    return frame;
}

Frame* WinSourceReader::readFrame(bool loop)
{
    if (m_api != LibAV || !m_decoder.isOpen())
        return nullptr;
    const qint64 index = m_timeline.nextIndex();
    if (pastEndFrame(int(index))) {
        if (loop)
            seekToFrame(m_startFrame, m_startFrame != 0);
        return nullptr;
    }
    const AVFrame* picture = m_timeline.pictureForNextFrame();
    if (!picture) {
        if (m_timeline.decodeFailed()) {
            qDebug() << Q_FUNC_INFO << "Decode Error, code:" << m_timeline.decodeError();
            return nullptr;
        }
        if (loop)
            seekToFrame(m_startFrame, m_startFrame != 0);
        qDebug() << Q_FUNC_INFO << "End Of File";
        emit endOfVideoStreamReach();
        return nullptr;
    }
    const FrameClock& clock = m_timeline.clock();
    Frame* frame = makeFrame(picture, clock.timeOfFrame(index), clock.frameDuration());
    if (!frame)
        return nullptr;
    frame->index = int(index);
    m_timeline.step();
    return frame;
}

AudioPacket* WinSourceReader::getNextAudioBuffer()
{
    if (m_api != LibAV || !m_sound)
        return nullptr;
    // Up to the out point when there is one, else to the end of the sound.
    constexpr qint64 bufferSamples = 1024;
    const qint64 position = m_sound->position();
    qint64 count = bufferSamples;
    if (m_metadata && m_endFrame < m_metadata->frameCount) {
        const qint64 end = m_timeline.clock().sampleAtFrame(qint64(m_endFrame) + 1, m_sound->sampleRate());
        count = qMin(count, end - position);
        if (count <= 0)
            return nullptr;
    }
    if (m_sound->ended()) {
        qDebug() << Q_FUNC_INFO << "End Of Audio stream";
        emit endOfAudioStreamReach();
        return nullptr;
    }
    auto pcm = std::make_unique<QByteArray>(int(count * m_sound->bytesPerSample()), '\0');
    const qint64 fromFile = m_sound->read(reinterpret_cast<uchar*>(pcm->data()), count);
    if (fromFile < 0) {
        qDebug() << Q_FUNC_INFO << "Audio Decode Error." << m_sound->error();
        return nullptr;
    }
    if (fromFile == 0 && m_sound->ended()) {
        qDebug() << Q_FUNC_INFO << "End Of Audio stream";
        emit endOfAudioStreamReach();
        return nullptr;
    }
    auto* packet = new AudioPacket;
    packet->pcm = pcm.release();
    // Counted from the time line's start, so that the lengths add up.
    const qint64 rate = m_sound->sampleRate();
    packet->lengthMs = qint32((position + count) * 1000 / rate - position * 1000 / rate);
    return packet;
}

} // namespace Emulsa
