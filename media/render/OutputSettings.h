#pragma once

#include "core/FitMethod.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Emulsa {

// Encoder values made together with the output settings of a movie format.
// The writer reads `level` and `quality`; the other values are carried as
// they are.
struct EncoderSettings
{
    qint32 profile = 100;
    qint32 level = 51;
    qint32 flag = 1;
    qint32 value2 = 2;
    qint64 value24 = 24;
    qint32 value3 = 3;
    qint32 quality = 100;
};

// What to render, where, in which format, size and fit. Built by the render
// queue (or the command-line renderer); read-only for the renderer and writer.
struct t_OutputSettings
{
    qint32 keepExisting = 0;
    QString* destination = nullptr;
    qint32 format = 0;
    FitMethod fitMethod = FitWidth;
    qint32 tiffOption1 = 0;
    qint32 tiffOption2 = 0;
    qint32 tiffOption3 = 0;
    qint32 isVideo = 1;
    EncoderSettings* encoder = nullptr;
    qint32 tiffOption4 = 0;
    qint32 width = 1920;
    qint32 height = 1080;
};

// The output formats, in menu order. The numbers are stored in render
// settings and passed on the command line: new formats go at the end.
enum OutputFormat : qint32
{
    H264HighQuality = 0,
    H264Medium = 1,
    H264Preview = 2,
    TiffSequence = 3,
    ProRes422HQ = 4,
    ProRes4444 = 5,
    DNxHRHQX = 6,
    H265Main10 = 7,
    Dpx10Sequence = 8,
    ExrHalfSequence = 9,
    OutputFormatCount = 10
};

class OutputSettings
{
public:
    // "H.264 - High Quality", "H.264 - Medium", "H.264 - Preview", "Tiff Sequence",
    // "ProRes 422 HQ", "ProRes 4444", "DNxHR HQX", "H.265 Main 10",
    // "DPX 10-bit sequence", "OpenEXR half-float sequence".
    static QStringList formatNames();
    // The format whose menu text is `name` (case-insensitive), or -1.
    static int formatForName(const QString& name);
    // Movies (".mov" with sound) against numbered image sequences.
    static bool isMovieFormat(int format)
    {
        return (format >= H264HighQuality && format <= H264Preview) || (format >= ProRes422HQ && format <= H265Main10);
    }
    // Whether the graded picture goes to the file at more than 8 bits: every
    // format but H.264 (TIFF when its depth menu says 16 bits, see
    // TiffOptions).
    static bool isDeepFormat(int format) { return format >= ProRes422HQ && format < OutputFormatCount; }
    // The extension of a sequence's images, without the dot: "tiff", "dpx",
    // "exr"; empty for movies.
    static QString imageExtension(int format);
    // The encoder quality of a movie format (100, 80, 50); 0 for other formats.
    static int qualityForFormat(int format);
    // The encoder record of a movie format (quality, and flag 0 for
    // "H.264 - Preview").
    static EncoderSettings encoderForFormat(int format);

    // Output sizes of the size menu, largest first. This build has no host
    // version rule: every size is offered.
    static QVector<QSize> outputSizes();
    // "%1 x %2".
    static QString sizeLabel(const QSize& size);
    // Index of 1920 x 1080 in outputSizes(), the size selected at first.
    static int defaultSizeIndex();

    // Fills `settings` for a format. `encoder` receives the encoder values
    // for movie formats and is not referenced for "Tiff Sequence"; it and
    // `destination` must outlive `settings`.
    static void fill(t_OutputSettings* settings, int format, QString* destination, EncoderSettings* encoder,
        const QSize& size, FitMethod fit, bool keepExisting);

    // The TIFF menus' indices (see TiffOptions: depth, compression, alpha),
    // kept only for "Tiff Sequence".
    static void setTiffOptions(t_OutputSettings* settings, int depth, int compression, int alpha);

    // Checks a frame size for a format: at least 2 x 2 and an even width
    // (the graded picture is also packed two pixels at a time), and for
    // movies an even height too (their chroma is halved both ways). Returns an empty string when the size is usable,
    // otherwise the message to show.
    static QString sizeProblem(int width, int height, bool movie);
    // The same for a format, with its encoder's own limits: DNxHR takes
    // pictures of at least 256 x 120.
    static QString formatSizeProblem(int width, int height, int format);
};

} // namespace Emulsa
