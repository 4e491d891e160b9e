#pragma once

#include "media/frame/LibAVPointers.h"

#include <QString>
#include <QtGlobal>

#include <vector>

namespace Emulsa {

// Decodes the sound of one file as interleaved signed 16-bit PCM placed
// sample-exactly on the clip's time line (sample 0 is the time of the video's
// first picture). Reads fill exactly what is asked: silence where the file has
// no sound (before its first sound, in gaps, after its end). One thread uses a
// decoder at a time.
//
// Each decoded piece of sound is placed by its own timestamp (pieces that
// follow each other to within two samples are joined without a gap); a piece
// without a timestamp follows the one before it. A seek forward by little
// more than the decoded sound reads on; any other seek asks the container
// for a point half a second before the target (further back while it lands
// late) and decodes forward, or reads from the start of the file when that
// fails, so that a seek gives the samples reading from the start would give.
class SoundDecoder
{
public:
    SoundDecoder();
    ~SoundDecoder();
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;

    // Opens the file's best sound stream. originSeconds: the container time of
    // the time line's 0. channels: output channels (0 keeps the source's; 2
    // mixes anything down, or up, to stereo). sampleRate 0 keeps the source's.
    bool open(const QString& path, double originSeconds, int channels = 2, int sampleRate = 0);
    bool isOpen() const;
    int sampleRate() const;
    int channels() const;
    int bytesPerSample() const; // 2 * channels
    QString error() const;
    // The next read starts at this sample of the time line (may be negative or
    // past the end: silence there).
    bool seek(qint64 sample);
    qint64 position() const;
    // Fills exactly `count` samples from position() and advances it; returns
    // how many of them came from the file (0 once past its sound), -1 on error.
    qint64 read(uchar* pcm, qint64 count);
    // No more sound in the file at or after position(). Known once reading
    // has come to the end of the file's sound.
    bool ended() const;

    // Closes the file; isOpen() is false afterwards.
    void close();
    // The source stream's own channel count and sample rate.
    int sourceChannels() const;
    int sourceSampleRate() const;
    // The number of coded sound frames the container declares (0 when it
    // does not say).
    qint64 declaredFrameCount() const;
    // How many container seeks and reads from the start of the file the
    // seeks so far needed (a seek that reads on needs neither).
    int containerSeeks() const { return m_containerSeeks; }
    int restarts() const { return m_restarts; }

private:
    bool fail(const QString& message);
    // Opens the container at its start with only the sound stream read.
    bool openContainer();
    bool restartFromBeginning();
    // Forgets what was decoded (not the position).
    void clearPieces();
    // Decodes the next piece into m_pending; false once the sound has ended.
    bool decodePiece();
    // The flushed tail of the rate converter as a piece, if any.
    bool flushConverter();
    bool placeConverted(int64_t pts, const uint8_t** input, int inputSamples);
    qint64 pendingCount() const;

    QString m_path;
    QString m_error;
    double m_originSeconds = 0.0;
    int m_channels = 0;
    int m_rate = 0;
    int m_sourceRate = 0;
    int m_sourceChannels = 0;
    bool m_convertRate = false;
    // Samples per tick of the stream's clock, samples per coded frame (0
    // when they vary) and the first sound's sample on the time line.
    double m_tickSamples = 0.0;
    int m_frameSamples = 0;
    bool m_haveStartSample = false;
    qint64 m_startSample = 0;

    AV::FormatContextPtr m_format;
    int m_stream = -1;
    AV::CodecContextPtr m_decoder;
    AV::ResamplerPtr m_resampler;
    AV::PacketPtr m_packet;
    AV::FramePtr m_frame;
    bool m_draining = false;
    bool m_decoderEnded = false;
    bool m_converterFlushed = false;
    // The container is at the start of the file and nothing was decoded.
    bool m_atStart = false;

    // The newest decoded piece (interleaved signed 16-bit), from byte
    // m_pendingOffset on not read yet; its first unread sample lies at
    // m_pendingFirst on the time line.
    std::vector<uchar> m_pending;
    size_t m_pendingOffset = 0;
    qint64 m_pendingFirst = 0;
    // Whether a piece was placed since the file was opened or sought.
    bool m_havePosition = false;
    bool m_lastPieceTimed = false;

    qint64 m_position = 0;
    int m_containerSeeks = 0;
    int m_restarts = 0;
};

} // namespace Emulsa
