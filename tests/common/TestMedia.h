#pragma once

#include <QString>
#include <QStringList>

class QImage;

namespace Emulsa::Test {

// Short media clips made with the ffmpeg command-line tool, once per test
// program, in a temporary folder. Every picture shows its own frame index as a
// 4 x 4 grid of large blocks (bit k = block column + 4 x block row, least
// significant first; a set bit is bright, luma 235, a clear bit dark, luma 16)
// so that tests can read the index back from a decoded picture.
class TestMedia
{
public:
    enum Clip
    {
        // 1920 x 1080 H.264, limited range, 25 fps, 50 frames, key frame every
        // 12 frames, AAC stereo 48 kHz.
        H264Limited1080p25,
        // 640 x 360 H.264 full (JPEG) range, 25 fps, 30 frames, no audio.
        H264FullRange,
        // 1920 x 1088 H.264, 25 fps, 10 frames, no audio.
        H264Height1088,
        // 640 x 360 ProRes 422 HQ (".mov", "apch"), 25 fps, 30 frames, PCM 16-bit stereo.
        ProResMov,
        // 640 x 360 H.264 at 30000/1001 fps, 60 frames, AAC stereo.
        H264Fps2997,
        // 1080 x 1920 H.264, 25 fps, 10 frames, no audio.
        Portrait,
        // 640 x 360 H.264, 25 fps, 30 frames, no audio.
        NoAudio,
        // 640 x 360 H.264, 25 fps, 25 frames, AAC stereo (decodes to planar float).
        PlanarFloatAudio,
        // 640 x 360 H.264 in ".mov", 25 fps, 25 frames, interleaved 32-bit float PCM stereo.
        InterleavedFloatAudio,
        // AAC stereo only (".m4a"), 2 seconds.
        AudioOnly,
        // 640 x 360 H.264 in ".mov", 25 fps, 25 frames, 16-bit PCM 5.1: a
        // 440 Hz tone in the front left channel for the first half second,
        // in the centre channel for the second; the others silent.
        SurroundSound,
    };

    // Clips in the containers and shapes cameras and phones produce: 160 x
    // 120 indexed pictures (the index is the source picture number N), two
    // seconds at 25 pictures a second with a stereo tone, unless noted.
    enum Footage
    {
        FootageMp4, // H.264 + AAC, key frame every 12
        FootageMov, // H.264 + PCM
        FootageFragmentedMp4, // fragmented (moof) H.264 + AAC
        FootageTsGop12, // MPEG-TS, H.264 key frame every 12 + AAC
        FootageTsOneKey, // MPEG-TS, a single key frame
        FootageM2ts, // ".m2ts" (192-byte packets), H.264 + AAC
        FootageMpegPs, // MPEG-PS, MPEG-2 video with B-frames + MP2
        FootageMkv, // Matroska, H.264 + AAC
        FootageAviBFrames, // AVI, MPEG-4 part 2 with B-frames + PCM
        FootageVfr, // MP4, odd pictures 21..39 half a frame late, no B-frames
        FootageVfrBFrames, // MP4, the same timing, with B-frames
        FootageInterlaced, // MPEG-TS, interlaced H.264 (top field first)
        FootageRotated, // MP4 coded 160 x 120, shown 120 x 160 (display matrix)
        FootageOddWidth, // 161 x 121 H.264 4:4:4
        FootageRgb, // QuickTime RLE (RGB) in ".mov" + PCM
        FootageTruncated, // MP4 (index first) cut after 60 % of its bytes
        FootageCount
    };

    struct FootageInfo
    {
        QString name;
        QString fileName;
        // The size a player shows.
        int width = 160;
        int height = 120;
        bool truncated = false;
    };
    static FootageInfo footageInfo(Footage clip);
    QString footagePath(Footage clip);
    // Presentation time in seconds of source picture N (0 .. 49) of a clip.
    static double footagePictureTime(Footage clip, int picture);
    static constexpr int footagePictures = 50;
    // The footage clip in the same container and codecs, with a sound that
    // marks frames instead of the tone: a 10 ms burst of 1 kHz at half of
    // full scale, starting at its crest, at frames markFirstFrame,
    // markFirstFrame + markEvery, ... and silence between. Empty for the
    // rotated and the truncated clip.
    QString markedSoundPath(Footage clip);
    static constexpr int markFirstFrame = 5;
    static constexpr int markEvery = 10;

    struct ClipInfo
    {
        QString fileName;
        int width = 0;
        int height = 0;
        int frameRateNum = 0;
        int frameRateDen = 1;
        int frameCount = 0;
        bool hasAudio = false;
    };

    // Peak amplitude of the test tones (the ffmpeg sine source's 1/8 of full
    // scale), as signed 16-bit.
    static constexpr int tonePeak16 = 4096;

    static TestMedia& instance();

    // The clip's path, generating it on first request; empty when ffmpeg fails.
    QString path(Clip clip);
    static ClipInfo info(Clip clip);
    // Folder the clips are generated in.
    QString folder() const { return m_folder; }

    // Runs ffmpeg with the given arguments to make the named file in the
    // folder (once per run). Returns its path, or empty on failure.
    QString generate(const QString& fileName, const QStringList& arguments);
    // A 3-frame ProRes 422 HQ (10-bit 4:2:2) clip of `width` x `height` whose
    // luma and blue difference are the ffmpeg expressions given (of X, the
    // column), e.g. a smooth ramp "64+X*876/1023"; red difference 512.
    QString tenBitRamp(const QString& fileName, int width, int height, const QString& luma, const QString& cb);
    // An ffmpeg video source (for "-f lavfi -i") of indexed pictures.
    static QString indexedVideoSource(int width, int height, const QString& rate, double seconds);

    // A 320 x 180 H.264 clip of five identical frames, coded without loss
    // (4:2:0, quantiser 0), so that every decoded pixel is the pattern's: a
    // black (luma 16) and white (luma 235) checker of single pixels whose
    // phase flips every 7 columns and every 5 rows, so that a picture moved
    // or stretched by a pixel no longer matches it.
    QString pixelPatternPath();
    static constexpr int pixelPatternWidth = 320;
    static constexpr int pixelPatternHeight = 180;
    // Whether pixel (x, y) of the pattern (from the top-left) is white.
    static bool pixelPatternIsWhite(int x, int y) { return (x + y + x / 7 + y / 5) % 2 == 1; }

    // Bad input.
    QString makeZeroByteFile(const QString& fileName);
    QString makeRandomBytesFile(const QString& fileName, int bytes);
    // Text files named like clips that only point at another file of the
    // folder (its file name): an HLS playlist with that file as its one
    // segment, and an ffconcat list of that file.
    QString makeHlsPlaylistFile(const QString& fileName, const QString& listed);
    QString makeConcatListFile(const QString& fileName, const QString& listed);
    // The first keepFraction of the clip's bytes.
    QString makeTruncatedCopy(Clip clip, const QString& fileName, double keepFraction);
    // The ProRes clip with the frame header of the given frame overwritten, so
    // that this one frame fails to decode.
    QString makeProResWithDamagedFrame(int frame, const QString& fileName);

    // The frame index shown by a picture, or -1 when a block is unreadable.
    static int frameIndexFromYuy2(const uchar* data, int width, int height, int stride);
    static int frameIndexFromBgra(const uchar* data, int width, int height, int stride);
    static int frameIndexFromImage(const QImage& image);

private:
    TestMedia();
    // A footage clip with the given sound source, named with the prefix.
    QString makeFootage(Footage clip, const QString& sound, const QString& prefix);

    QString m_folder;
};

} // namespace Emulsa::Test
