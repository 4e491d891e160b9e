#pragma once

#include <QAudio>
#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QAudioOutput;
class QIODevice;

namespace Emulsa {

class AssetMetadata;
class SequenceItem;
class SourceReader;

// Plays the current clip's sound through the default output device, sharing
// the preview's source reader on the main thread. The output is fed in push
// mode so that 100 to 200 ms of sound are queued; the position the listener
// has heard is the master clock the preview follows (playedPosition()).
//
// Without an output device, or when the output cannot be opened, one warning
// is logged and the clip plays silently: playedPosition() stays -1 and the
// preview paces itself. Sound starts once the clip's record is ready; until
// then a timer looks at the record, nothing blocks.
class AudioPlayback : public QObject
{
    Q_OBJECT

public:
    // Sound queued in the output at most, and the feed period that keeps it
    // above 100 ms.
    static constexpr int QueueMs = 200;
    static constexpr int FeedIntervalMs = 20;

    explicit AudioPlayback(SourceReader* reader, QObject* parent = nullptr);
    ~AudioPlayback() override;

    // The media time, in nanoseconds, of the sound heard so far; -1 while no
    // sound plays (silent, paused before the first sound, ended).
    qint64 playedPosition() const;
    // Sound is wanted for the current clip but there is no output for it.
    bool isSilent() const { return m_silent; }
    bool hasOutput() const { return m_output != nullptr; }
    bool isWaitingForMetadata() const { return m_readyTimer.isActive(); }
    bool isPaused() const { return m_paused; }
    // Whether the host has a default output device at all.
    static bool hasOutputDevice();

public slots:
    // The clip whose sound plays; null, an invalid clip or one without sound
    // stops the sound. A new clip starts paused.
    void currentItemChanged(const SequenceItem* item);
    // true pauses.
    void setPlayState(bool paused);
    // The reader was moved (a seek or a loop): drop what is queued and go on
    // from the reader's position, which is this media time.
    void restartAt(qint64 mediaNs);
    void stopPlayback();

private slots:
    void render();
    void handleStateChanged(QAudio::State state);
    void startWhenReady();

private:
    bool openOutput(const AssetMetadata* asset);
    void goSilent(const QString& reason);
    void writePending();
    qint64 bytesToNs(qint64 bytes) const;

    SourceReader* m_reader;
    const SequenceItem* m_item = nullptr;
    QAudioOutput* m_output = nullptr;
    QPointer<QIODevice> m_device;
    QAudioFormat m_format;
    QByteArray m_pending;
    bool m_paused = true;
    bool m_silent = false;
    bool m_ended = false;
    bool m_warned = false;
    qint64 m_baseNs = 0;
    qint64 m_bytesWritten = 0;
    QTimer m_feedTimer;
    QTimer m_readyTimer;
};

} // namespace Emulsa
