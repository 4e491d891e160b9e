#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace Emulsa {

// Where the preview's sound goes: interleaved signed 16-bit PCM pushed to the
// host's default output device, or, in tests, to a recorder. The owner pushes
// what bytesFree() allows and asks playedBytes() for what has been heard,
// which is the master clock of playback.
//
// create() makes the device output unless a factory was set (tests replace
// it with a recorder; an empty factory restores the device).
class SoundOutput
{
public:
    using Factory = std::function<std::unique_ptr<SoundOutput>()>;

    virtual ~SoundOutput() = default;

    // False when the sound cannot be played (no device, a format the device
    // cannot take); error() says why.
    virtual bool open(int sampleRate, int channels) = 0;
    virtual void close() = 0;
    // Bytes the output takes now without waiting.
    virtual qint64 bytesFree() const = 0;
    virtual qint64 write(const char* data, qint64 bytes) = 0;
    // Of the bytes written since open() or the last flush(), those heard.
    virtual qint64 playedBytes() const = 0;
    // A paused output holds what it has queued and plays nothing.
    virtual void setPaused(bool paused) = 0;
    // Drops what is queued (a seek); counting starts again at 0.
    virtual void flush() = 0;
    virtual QString error() const = 0;

    static std::unique_ptr<SoundOutput> create();
    static void setFactory(Factory factory);
};

} // namespace Emulsa
