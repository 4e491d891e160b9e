#include "media/render/OutputSettings.h"

namespace Emulsa {

QStringList OutputSettings::formatNames()
{
    return { QStringLiteral("H.264 - High Quality"), QStringLiteral("H.264 - Medium"),
        QStringLiteral("H.264 - Preview"), QStringLiteral("Tiff Sequence"), QStringLiteral("ProRes 422 HQ"),
        QStringLiteral("ProRes 4444"), QStringLiteral("DNxHR HQX"), QStringLiteral("H.265 Main 10"),
        QStringLiteral("DPX 10-bit sequence"), QStringLiteral("OpenEXR half-float sequence") };
}

QString OutputSettings::imageExtension(int format)
{
    switch (format) {
    case TiffSequence:
        return QStringLiteral("tiff");
    case Dpx10Sequence:
        return QStringLiteral("dpx");
    case ExrHalfSequence:
        return QStringLiteral("exr");
    default:
        return QString();
    }
}

int OutputSettings::formatForName(const QString& name)
{
    const QStringList names = formatNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int OutputSettings::qualityForFormat(int format)
{
    switch (format) {
    case H264HighQuality:
        return 100;
    case H264Medium:
        return 80;
    case H264Preview:
        return 50;
    default:
        return 0;
    }
}

EncoderSettings OutputSettings::encoderForFormat(int format)
{
    EncoderSettings encoder;
    encoder.quality = qualityForFormat(format);
    encoder.flag = format == H264Preview ? 0 : 1;
    return encoder;
}

QVector<QSize> OutputSettings::outputSizes()
{
    return { QSize(4096, 2160), QSize(3840, 2160), QSize(2704, 1440), QSize(2048, 1152), QSize(1920, 1440),
        QSize(1920, 1080), QSize(1280, 960), QSize(1280, 720), QSize(1024, 768), QSize(960, 720), QSize(640, 480) };
}

QString OutputSettings::sizeLabel(const QSize& size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

int OutputSettings::defaultSizeIndex()
{
    return outputSizes().indexOf(QSize(1920, 1080));
}

void OutputSettings::setTiffOptions(t_OutputSettings* settings, int depth, int compression, int alpha)
{
    if (settings->format != TiffSequence)
        return;
    settings->tiffOption1 = depth;
    settings->tiffOption2 = compression;
    settings->tiffOption3 = alpha;
}

void OutputSettings::fill(t_OutputSettings* settings, int format, QString* destination, EncoderSettings* encoder,
    const QSize& size, FitMethod fit, bool keepExisting)
{
    *settings = t_OutputSettings();
    settings->keepExisting = keepExisting ? 1 : 0;
    settings->destination = destination;
    settings->format = format;
    settings->fitMethod = fit;
    settings->width = size.width();
    settings->height = size.height();
    if (isMovieFormat(format)) {
        settings->isVideo = 1;
        if (encoder)
            *encoder = encoderForFormat(format);
        settings->encoder = encoder;
    } else {
        settings->isVideo = 0;
        settings->encoder = nullptr;
    }
}

QString OutputSettings::sizeProblem(int width, int height, bool movie)
{
    if (width < 2 || height < 2)
        return QStringLiteral("The output size %1 x %2 is too small: both sides must be at least 2 pixels.")
            .arg(width)
            .arg(height);
    if (width > 16384 || height > 16384)
        return QStringLiteral("The output size %1 x %2 is too large: at most 16384 pixels a side.")
            .arg(width)
            .arg(height);
    if (movie && (width % 2 != 0 || height % 2 != 0))
        return QStringLiteral("The output size %1 x %2 cannot be used for a movie: both sides must be even.")
            .arg(width)
            .arg(height);
    if (width % 2 != 0)
        return QStringLiteral("The output size %1 x %2 cannot be used: the width must be even.").arg(width).arg(height);
    return QString();
}

QString OutputSettings::formatSizeProblem(int width, int height, int format)
{
    const QString problem = sizeProblem(width, height, isMovieFormat(format));
    if (problem.isEmpty() && format == DNxHRHQX && (width < 256 || height < 120))
        return QStringLiteral("The output size %1 x %2 is too small for DNxHR: at least 256 x 120.")
            .arg(width)
            .arg(height);
    return problem;
}

} // namespace Emulsa
