#include "common/RenderProbe.h"

#include "common/FfmpegTool.h"
#include "common/TestMedia.h"

#include <QFile>
#include <QImage>
#include <QtEndian>

#include <QJsonArray>
#include <QJsonDocument>

namespace Emulsa::Test {

namespace {

double number(const QJsonValue& value, double fallback)
{
    bool ok = false;
    const double result = value.toString().toDouble(&ok);
    return ok ? result : (value.isDouble() ? value.toDouble() : fallback);
}

} // namespace

RenderProbe::Movie RenderProbe::probe(const QString& path)
{
    Movie movie;
    const FfmpegTool::Result run
        = FfmpegTool::ffprobe({ QStringLiteral("-count_frames"), QStringLiteral("-show_streams"),
            QStringLiteral("-show_format"), QStringLiteral("-of"), QStringLiteral("json"), path });
    if (!run.ok)
        return movie;
    const QByteArray& json = run.output;
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    movie.container = root.value(QStringLiteral("format")).toObject().value(QStringLiteral("format_name")).toString();
    const QJsonArray streams = root.value(QStringLiteral("streams")).toArray();
    movie.streamCount = streams.size();
    for (const QJsonValue& value : streams) {
        const QJsonObject object = value.toObject();
        const QString type = object.value(QStringLiteral("codec_type")).toString();
        Stream* stream = type == QLatin1String("video") ? &movie.video
            : type == QLatin1String("audio")            ? &movie.audio
                                                        : nullptr;
        if (!stream || stream->present)
            continue;
        stream->present = true;
        stream->codec = object.value(QStringLiteral("codec_name")).toString();
        stream->profile = object.value(QStringLiteral("profile")).toString();
        stream->level = object.value(QStringLiteral("level")).toInt();
        stream->width = object.value(QStringLiteral("width")).toInt();
        stream->height = object.value(QStringLiteral("height")).toInt();
        stream->frameRate = object.value(QStringLiteral("r_frame_rate")).toString();
        stream->pixelFormat = object.value(QStringLiteral("pix_fmt")).toString();
        stream->colorRange = object.value(QStringLiteral("color_range")).toString();
        stream->colorSpace = object.value(QStringLiteral("color_space")).toString();
        stream->colorTransfer = object.value(QStringLiteral("color_transfer")).toString();
        stream->colorPrimaries = object.value(QStringLiteral("color_primaries")).toString();
        stream->bitsPerRawSample = object.value(QStringLiteral("bits_per_raw_sample")).toString().toInt();
        stream->frames = object.value(QStringLiteral("nb_read_frames")).toString().toInt();
        stream->sampleRate = object.value(QStringLiteral("sample_rate")).toString().toInt();
        stream->channels = object.value(QStringLiteral("channels")).toInt();
        stream->startTime = number(object.value(QStringLiteral("start_time")), -1.0);
        stream->duration = number(object.value(QStringLiteral("duration")), -1.0);
    }
    movie.ok = true;
    return movie;
}

QByteArray RenderProbe::decode(const QString& path, const QString& pixelFormat)
{
    QStringList arguments { QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
        QStringLiteral("-f"), QStringLiteral("rawvideo") };
    // The movies are 4:2:0 already (limited or full range); asking for
    // "yuv420p" from a full-range stream would squeeze its levels.
    if (!pixelFormat.isEmpty() && pixelFormat != QLatin1String("yuv420p"))
        arguments << QStringLiteral("-pix_fmt") << pixelFormat;
    arguments << QStringLiteral("-");
    const FfmpegTool::Result run = FfmpegTool::ffmpeg(arguments);
    return run.ok ? run.output : QByteArray();
}

QList<int> RenderProbe::shownIndices(const QString& path, int width, int height)
{
    const QByteArray grey = decode(path, QStringLiteral("gray"));
    QList<int> indices;
    const int bytes = width * height;
    for (int offset = 0; offset + bytes <= grey.size(); offset += bytes) {
        const QImage image(
            reinterpret_cast<const uchar*>(grey.constData()) + offset, width, height, width, QImage::Format_Grayscale8);
        indices << TestMedia::frameIndexFromImage(image);
    }
    return indices;
}

QByteArray RenderProbe::decodeAudio(const QString& path, int sampleRate)
{
    const FfmpegTool::Result run = FfmpegTool::ffmpeg({ QStringLiteral("-i"), path, QStringLiteral("-map"),
        QStringLiteral("0:a:0"), QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ac"),
        QStringLiteral("2"), QStringLiteral("-ar"), QString::number(sampleRate), QStringLiteral("-") });
    return run.ok ? run.output : QByteArray();
}

int RenderProbe::tiffCompression(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    const auto u16 = [&bytes](qint64 at) {
        return at + 2 <= bytes.size() ? qFromLittleEndian<quint16>(bytes.constData() + at) : -1;
    };
    const auto u32 = [&bytes](qint64 at) {
        return at + 4 <= bytes.size() ? qint64(qFromLittleEndian<quint32>(bytes.constData() + at)) : -1;
    };
    if (!bytes.startsWith(QByteArray("II*\0", 4)))
        return -1;
    const qint64 ifd = u32(4);
    const int entries = u16(ifd);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = ifd + 2 + 12 * i;
        if (u16(entry) == 259)
            return u16(entry + 8);
    }
    return -1;
}

bool RenderProbe::ffmpeg(const QStringList& arguments, QString* errors)
{
    const FfmpegTool::Result run = FfmpegTool::ffmpeg(arguments);
    if (errors)
        *errors = run.errors;
    return run.ok;
}

} // namespace Emulsa::Test
