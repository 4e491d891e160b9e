#include "media/encode/MediaWriter.h"

#include "media/encode/PartFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace Emulsa {

MediaWriter::MediaWriter()
    : m_video(*this)
    , m_sound(*this)
    , m_packet(av_packet_alloc())
{
}

MediaWriter::~MediaWriter()
{
    close();
}

bool MediaWriter::fail(const QString& message)
{
    m_failed = true;
    m_lastError = message;
    qWarning().noquote() << "MediaWriter:" << message;
    return false;
}

bool MediaWriter::create(const QString& path)
{
    close();
    m_path = path;
    m_failed = false;
    m_finished = false;
    m_lastError.clear();
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir())
        return fail(QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder.filePath())));
    if (!folder.isWritable())
        return fail(QStringLiteral("The folder %1 is not writable.").arg(QDir::toNativeSeparators(folder.filePath())));
    const int result = avformat_alloc_output_context2(&m_format, nullptr, "mov", QFile::encodeName(path).constData());
    if (result < 0 || !m_format)
        return failAV("Can't create the movie container", result);
    return true;
}

int MediaWriter::addVideoStream(const VideoFormat& format)
{
    if (!m_format || m_opened || m_video.isOpen()) {
        fail(QStringLiteral("The video stream can only be added once, before writing starts."));
        return -1;
    }
    return m_video.open(m_format, format);
}

int MediaWriter::addAudioStream(int sampleRate)
{
    if (!m_format || m_opened || m_sound.isOpen()) {
        fail(QStringLiteral("The audio stream can only be added once, before writing starts."));
        return -1;
    }
    if (sampleRate <= 0) {
        fail(QStringLiteral("Unusable audio sample rate %1.").arg(sampleRate));
        return -1;
    }
    return m_sound.open(m_format, sampleRate, m_video.isOpen() && VideoEncoder::carriesPcmSound(m_video.codec()));
}

bool MediaWriter::beginWriting()
{
    if (!m_format || !m_video.isOpen() || m_failed)
        return fail(QStringLiteral("The movie is not set up."));
    // The movie is written under a temporary name and renamed to its own by
    // finalize(), so that an unfinished movie never takes the place of an
    // earlier one, and a symbolic link at the path is replaced rather than
    // written through. The part files a stopped render of this movie left
    // go first.
    PartFile::removeStale(m_path);
    QString partError;
    m_partPath = PartFile::create(m_path, &partError);
    if (m_partPath.isEmpty())
        return fail(QStringLiteral("Can't create a file in %1: %2")
                        .arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath()), partError));
    int result = avio_open(
        &m_format->pb, (QByteArrayLiteral("file:") + QFile::encodeName(m_partPath)).constData(), AVIO_FLAG_WRITE);
    if (result < 0)
        return failAV("Can't open the output file", result);
    m_opened = true;
    result = avformat_write_header(m_format, nullptr);
    if (result < 0)
        return failAV("Can't write the movie header", result);
    return true;
}

bool MediaWriter::writePackets(AVCodecContext* encoder, AVStream* stream)
{
    while (true) {
        int result = avcodec_receive_packet(encoder, m_packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            return failAV("Encoding failed", result);
        m_packet->stream_index = stream->index;
        av_packet_rescale_ts(m_packet.get(), encoder->time_base, stream->time_base);
        result = av_interleaved_write_frame(m_format, m_packet.get());
        if (result < 0)
            return failAV("Can't write to the movie file", result);
        if (m_format->pb && m_format->pb->error < 0)
            return failAV("Can't write to the movie file", m_format->pb->error);
    }
}

bool MediaWriter::picturesOpen()
{
    if (!m_opened || m_failed)
        return fail(QStringLiteral("The movie is not open for writing."));
    return true;
}

bool MediaWriter::writeVideoFrame(const uchar* yuy2, int rowBytes, qint64 duration)
{
    return picturesOpen() && m_video.writeYuy2(yuy2, rowBytes, duration);
}

bool MediaWriter::writeVideoFrameRgba64(const quint16* rgba, int rowBytes, qint64 duration)
{
    return picturesOpen() && m_video.writeRgba64(rgba, rowBytes, duration);
}

bool MediaWriter::writeVideoFramePacked16(const quint16* packed, int rowBytes, qint64 duration)
{
    return picturesOpen() && m_video.writePacked16(packed, rowBytes, duration);
}

bool MediaWriter::endVideoSegment()
{
    if (!m_opened || m_failed || m_video.hasEnded())
        return !m_failed;
    return m_video.end();
}

bool MediaWriter::writeAudio(const uchar* pcm, int bytes)
{
    if (!m_opened || m_failed || !m_sound.isOpen() || m_sound.hasEnded())
        return fail(QStringLiteral("The movie's sound is not open for writing."));
    return m_sound.write(pcm, bytes);
}

bool MediaWriter::writeSilence(qint64 bytes)
{
    if (!m_opened || m_failed || !m_sound.isOpen() || m_sound.hasEnded())
        return fail(QStringLiteral("The movie's sound is not open for writing."));
    return m_sound.writeSilence(bytes);
}

bool MediaWriter::endAudioSegment()
{
    if (!m_opened || m_failed || !m_sound.isOpen() || m_sound.hasEnded())
        return !m_failed;
    return m_sound.end();
}

bool MediaWriter::finalize()
{
    if (!m_opened)
        return fail(QStringLiteral("The movie was never opened."));
    bool ok = endVideoSegment();
    ok = endAudioSegment() && ok;
    if (ok && !m_failed) {
        const int result = av_write_trailer(m_format);
        if (result < 0)
            ok = failAV("Fail finalizing video file. Error:", result);
    }
    if (m_format->pb) {
        avio_flush(m_format->pb);
        if (m_format->pb->error < 0)
            ok = failAV("Can't write to the movie file", m_format->pb->error);
        const int result = avio_closep(&m_format->pb);
        if (result < 0)
            ok = failAV("Can't close the movie file", result);
    }
    m_finished = true;
    // A folder removed while the movie was written leaves nothing behind.
    if (ok && !QFileInfo::exists(m_partPath))
        ok = fail(
            QStringLiteral("The movie %1 disappeared while it was written.").arg(QDir::toNativeSeparators(m_path)));
    if (ok && !m_failed) {
        QString reason;
        if (PartFile::commit(m_partPath, m_path, &reason))
            m_partPath.clear();
        else
            ok = fail(
                QStringLiteral("Can't put the movie in place as %1: %2").arg(QDir::toNativeSeparators(m_path), reason));
    }
    close();
    return ok && !m_failed;
}

void MediaWriter::close()
{
    if (m_format) {
        if (m_format->pb)
            avio_closep(&m_format->pb);
        avformat_free_context(m_format);
        m_format = nullptr;
    }
    // An unfinished movie is not kept; whatever was at the path stays.
    PartFile::discard(m_partPath);
    m_partPath.clear();
    m_opened = false;
    m_video.close();
    m_sound.close();
}

} // namespace Emulsa
