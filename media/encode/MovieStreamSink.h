#pragma once

#include "media/frame/LibAVPointers.h"

#include <QString>

namespace Emulsa {

// What the encoder of one stream of a movie needs of the movie: the place its
// packets go, and the place its failures are reported. Both answer false,
// so that an encoder can return what they return.
class MovieStreamSink
{
public:
    virtual ~MovieStreamSink() = default;

    // Takes every packet the encoder has ready into the movie.
    virtual bool writePackets(AVCodecContext* encoder, AVStream* stream) = 0;
    // Records why the movie failed; returns false.
    virtual bool fail(const QString& message) = 0;

    // Sends a frame (null: the end of the stream) to an encoder and takes
    // what it has ready into the movie; `what` names the failure.
    bool encode(AVCodecContext* encoder, AVStream* stream, AVFrame* frame, const char* what)
    {
        const int result = avcodec_send_frame(encoder, frame);
        if (result < 0 && result != AVERROR_EOF)
            return failAV(what, result);
        return writePackets(encoder, stream);
    }

    // A new stream of the movie described by an opened encoder, on the
    // encoder's time base; null after reporting the failure. `kind` names
    // the stream in the messages ("video", "audio").
    AVStream* addStream(AVFormatContext* movie, const AVCodecContext* encoder, const char* kind)
    {
        AVStream* stream = avformat_new_stream(movie, nullptr);
        if (!stream) {
            fail(QStringLiteral("Can't add the %1 stream.").arg(QLatin1String(kind)));
            return nullptr;
        }
        stream->time_base = encoder->time_base;
        const int result = avcodec_parameters_from_context(stream->codecpar, encoder);
        if (result < 0) {
            fail(QStringLiteral("Can't describe the %1 stream: %2").arg(QLatin1String(kind), AV::errorText(result)));
            return nullptr;
        }
        return stream;
    }

    // The same, for an FFmpeg error code.
    bool failAV(const char* what, int error)
    {
        return fail(QStringLiteral("%1: %2").arg(QString::fromLatin1(what), AV::errorText(error)));
    }
};

} // namespace Emulsa
