#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace Emulsa {

// One buffer of decoded, interleaved PCM sound. The receiver deletes both the
// packet and its `pcm` bytes (the packet does not own them).
struct AudioPacket
{
    QByteArray* pcm = nullptr;
    qint32 lengthMs = 0;
};

} // namespace Emulsa
