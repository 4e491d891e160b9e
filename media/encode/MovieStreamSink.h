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

    // The same, for an FFmpeg error code.
    bool failAV(const char* what, int error)
    {
        return fail(QStringLiteral("%1: %2").arg(QString::fromLatin1(what), AV::errorText(error)));
    }
};

} // namespace Emulsa
