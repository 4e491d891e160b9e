#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace Emulsa::Test {

// What ffprobe says about a rendered movie, and its pictures decoded by the
// ffmpeg command-line tool: an outside view of the files the renderer writes.
class RenderProbe
{
public:
    struct Stream
    {
        bool present = false;
        QString codec;
        QString profile;
        int level = 0;
        int width = 0;
        int height = 0;
        QString frameRate; // "25/1"
        QString pixelFormat;
        QString colorRange;
        QString colorSpace; // "bt709", or "unknown"
        QString colorTransfer;
        QString colorPrimaries;
        int bitsPerRawSample = 0;
        int frames = 0; // counted by decoding
        int sampleRate = 0;
        int channels = 0;
        double startTime = -1.0;
        double duration = -1.0;
    };
    struct Movie
    {
        bool ok = false;
        QString container;
        Stream video;
        Stream audio;
        int streamCount = 0;
    };

    // Runs ffprobe (counting the frames of every stream).
    static Movie probe(const QString& path);
    // Every picture of the movie as raw bytes in the given ffmpeg pixel format
    // ("rgb24", "gray", ...), pictures one after another; empty on failure.
    // "yuv420p" gives the planes as coded, levels untouched (full-range
    // streams included), and so does an empty format for any stream; other
    // formats are converted by ffmpeg.
    static QByteArray decode(const QString& path, const QString& pixelFormat);
    // The frame indices shown by the pictures of a movie or image
    // (TestMedia's indexed pictures), decoded as 8-bit grey.
    static QList<int> shownIndices(const QString& path, int width, int height);
    // The sound as interleaved signed 16-bit stereo at the given rate.
    static QByteArray decodeAudio(const QString& path, int sampleRate);
    // The compression tag (259) of a little-endian TIFF's first image: 1 none,
    // 5 LZW, 8 or 32946 Deflate; -1 when the file is no such TIFF.
    static int tiffCompression(const QString& path);
    // Runs ffmpeg with the arguments; true on exit code 0.
    static bool ffmpeg(const QStringList& arguments, QString* errors = nullptr);
};

} // namespace Emulsa::Test
