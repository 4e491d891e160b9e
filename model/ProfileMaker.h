#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

namespace Emulsa {

struct ProfileInfo;

// Makes a camera profile's stock tables on this machine, for a catalogue
// profile whose tables are installed nowhere: the film model of
// core/filmdata writes them into a staging folder inside the per-user
// profiles folder, which then takes the profile's name in one rename (the
// profile downloader's install). A cancelled or failed make removes the
// staging folder, so no folder under the profile's name is ever half
// written. Once installed, the film library finds the tables at once.
class ProfileMaker : public QObject
{
    Q_OBJECT

public:
    // Percent done (0..100).
    using Progress = std::function<void(int percent)>;

    // Whether the generator knows the profile's encoding (every profile of
    // the shipped catalogue; not a null profile nor one it does not list).
    static bool canMake(const ProfileInfo* profile);

    // Makes and installs the profile on the calling thread with `threads`
    // threads (the processor count when 0). Stops when *cancel becomes true.
    // On failure or cancel returns false with *error set (empty for a
    // cancel) and nothing installed.
    static bool make(const ProfileInfo& profile, QString* error, const std::atomic<bool>* cancel = nullptr,
        const Progress& progress = Progress(), int threads = 0);

    // Adds a camera whose log footage the .cube file at `cubePath` turns
    // into Rec. 709 video, as a profile of the user's own named `name`: the
    // table is checked and copied into the per-user profiles folder, the
    // profile gets a fresh four-character id no catalogue profile has, and
    // it joins the added-cameras catalogue file and the loaded catalogue.
    // Its tables are not made yet (start(id) makes them). False with *error
    // set for a name that is empty, too long or holds " < > or &, or a
    // table that cannot be read.
    static bool addCameraFromLut(const QString& cubePath, const QString& name, unsigned int* profileId, QString* error);

    explicit ProfileMaker(QObject* parent = nullptr);
    // Cancels a running make and waits for its thread.
    ~ProfileMaker() override;

    // Starts making the catalogue profile with this id on a worker thread; a
    // running make is cancelled first. A profile that cannot be made fails
    // at once (failed is emitted before this returns).
    void start(unsigned int profileId);
    bool isMaking() const { return m_watcher.isRunning(); }
    unsigned int currentProfileId() const { return m_profileId; }

    // Threads a make may use (the processor count unless set).
    void setThreads(int threads) { m_threads = threads; }

public slots:
    // Stops the running make; `cancelled` follows once its thread is done.
    void cancel();

signals:
    void progressChanged(int percent);
    void made(uint profileId);
    void failed(uint profileId, const QString& message);
    void cancelled(uint profileId);

private:
    struct Outcome
    {
        bool made = false;
        QString error; // empty for a cancel
    };
    void finish();

    QFutureWatcher<Outcome> m_watcher;
    std::atomic<bool> m_cancel { false };
    unsigned int m_profileId = 0;
    int m_threads = 0;
};

} // namespace Emulsa
