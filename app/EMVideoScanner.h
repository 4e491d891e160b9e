#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace Emulsa {

class MetadataManager;

// Looks for video files in a folder and all its sub-folders. One scanner
// runs one request on a thread of its own: the browser never waits for it.
// stop() is a flag the loop reads before each entry, so a scan stuck in the
// file system (a dead network mount) cannot hold up anybody but itself: the
// browser lets go of it at once and it ends, and deletes itself, whenever
// the file system answers. The paths found travel by value, in batches, in
// the order found.
class EMVideoScanner : public QObject
{
    Q_OBJECT

public:
    // Paths found are sent in batches of at most this many files, and at
    // least every batchIntervalMs while files are being found.
    static constexpr int batchSize = 32;
    static constexpr int batchIntervalMs = 200;

    // `metadata` (may be null) is asked to describe each file found; it must
    // outlive the scan (the process-wide manager does).
    explicit EMVideoScanner(const QString& folder, MetadataManager* metadata = nullptr, QObject* parent = nullptr);
    ~EMVideoScanner() override;

    // True when the file name ends with one of the video file extensions
    // (VideoFileTypes). Never opens the file.
    static bool isVideoFile(const QString& fileName, const QString& filePath = QString());

    // Starts `scanner` on a new thread; the thread and the scanner delete
    // themselves when the scan has ended.
    static void startOnOwnThread(EMVideoScanner* scanner);

    // Called for each entry before it is looked at (tests hold a scan here).
    void setEntryHook(std::function<void(const QString& path)> hook) { m_entryHook = std::move(hook); }

    QString folder() const { return m_folder; }
    // The flag that ends the scan before its next entry when set. Whoever
    // holds it may set it from any thread, even after the scanner is gone.
    std::shared_ptr<std::atomic<bool>> stopFlag() const { return m_stop; }
    void stop() { m_stop->store(true); }
    bool isFinished() const { return m_finished.load(); }
    // Scanners alive in the process (tests wait for stuck ones to end).
    static int liveCount() { return s_live.load(); }

public slots:
    void scan();

signals:
    // The files found since the last batch and their modification times
    // ("yyyy-MM-dd HH:mm:ss"), index for index.
    void resultsReady(QStringList paths, QStringList modifiedTimes);
    // Sent once, when the scan has ended (finished, stopped or cancelled).
    void loadingFinished();

private:
    const QString m_folder;
    MetadataManager* m_metadata;
    std::function<void(const QString&)> m_entryHook;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::atomic<bool> m_finished { false };
    static std::atomic<int> s_live;
};

} // namespace Emulsa
