#pragma once

#include "media/render/OutputSettings.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <vector>

class QOffscreenSurface;

namespace Emulsa {

class AssetMetadata;
class SequenceItem;

// Renders a list of sequence items one after another, each with its own
// WinOffscreenRenderer, on the thread it was moved to (the render tab's).
//
// The items are snapshot copies handed over by the model (the render queue
// owns them from then on), so nothing the user does to the sequence during a
// render reaches what is rendered. The manager also takes a copy of each
// item's asset record; where two items would write the same output (two
// clips of the same name from different folders, or one clip queued twice)
// the later ones get a suffix ("A001_2.MP4" writes "A001_2.mov").
//
// Made on the GUI thread, then moved to the render thread whose started()
// runs run(). cancel() is called through a queued call on the render thread:
// the renderers let queued events through after each frame, so the running
// flag is only ever touched by the render thread.
//
// Per-item progress values: -1 queued (also a cancelled item), -2 audio and
// timecode, -3 skipped (output kept), -4 failed, -41 finalising, -42 done,
// 0 and above frames written.
class RenderManager : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of `items` (the list and the snapshot items). The
    // settings are copied, destination and encoder included.
    RenderManager(QList<const SequenceItem*>* items, const t_OutputSettings& settings, QOffscreenSurface* surface,
        QObject* parent = nullptr);
    ~RenderManager() override;

    // Sum over the items of their length in frames.
    int totalFrames() const { return m_totalFrames; }
    // Emits totalProgressRangedChanged(0, total) and totalProgressUpdated(0).
    void announceTotal();

    // The file or image folder name each item writes, by item uuid.
    QString outputName(const QUuid& uuid) const { return m_outputNames.value(uuid); }
    // Whether the item's output name got a suffix to keep it apart from an
    // earlier item's.
    bool outputRenamed(const QUuid& uuid) const { return m_renamed.contains(uuid); }
    // The path tested for the keep-existing rule and shown in the file
    // manager: the movie, or the image folder.
    QString outputPath(const QUuid& uuid) const { return m_outputPaths.value(uuid); }

    const t_OutputSettings& settings() const { return m_settings; }
    int framesCompleted() const { return m_completed; }

signals:
    void totalProgressUpdated(int value);
    void totalProgressRangedChanged(int min, int max);
    void singleProgressUpdated(QUuid uuid, int value);
    // The reason an item failed (progress -4), for the list.
    void singleItemFailed(QUuid uuid, QString message);
    void finishedAll();

public slots:
    void run();
    void progressUpdated(const QUuid* uuid, int value);
    // Stops the render in progress at its next frame and the rest of the list.
    void cancel();

private:
    void assignOutputNames();
    void renderItem(const SequenceItem* item);

    QList<const SequenceItem*>* m_items = nullptr;
    int m_completed = 0;
    int m_totalFrames = 0;
    t_OutputSettings m_settings;
    QOffscreenSurface* m_surface = nullptr;
    // Set at construction; cleared by cancel(), on the render thread.
    volatile bool m_running = true;

    QString m_destination;
    EncoderSettings m_encoder;
    std::vector<std::unique_ptr<AssetMetadata>> m_assets;
    QHash<QUuid, QString> m_outputNames;
    QHash<QUuid, QString> m_outputPaths;
    QHash<QUuid, bool> m_renamed;
};

} // namespace Emulsa
