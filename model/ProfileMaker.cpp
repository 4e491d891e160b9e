#include "model/ProfileMaker.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmStock.h"
#include "core/filmdata/ProfileTables.h"
#include "model/ProfileDownloader.h"

#include <QDebug>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent>

#include <memory>

namespace Emulsa {

namespace {

const FilmData::CameraProfile* generatorProfile(const ProfileInfo& profile)
{
    const FilmData::CameraProfile* known = FilmData::CameraEncoding::find(profile.id);
    // The tables are named after the catalogue's folder name, so the two
    // must agree for the film library to find them.
    if (!known || qstrcmp(known->tin, profile.tin) != 0)
        return nullptr;
    return known;
}

QString makeMessage(const ProfileInfo& profile, const QString& why)
{
    return QStringLiteral("Can't make the %1 profile: %2.").arg(QString::fromUtf8(profile.name), why);
}

} // namespace

bool ProfileMaker::canMake(const ProfileInfo* profile)
{
    return profile && generatorProfile(*profile);
}

bool ProfileMaker::make(
    const ProfileInfo& profile, QString* error, const std::atomic<bool>* cancel, const Progress& progress, int threads)
{
    error->clear();
    const FilmData::CameraProfile* source = generatorProfile(profile);
    if (!source) {
        *error = makeMessage(profile, QStringLiteral("its camera encoding is unknown"));
        return false;
    }
    const QString tin = QString::fromUtf8(profile.tin);
    QString installError;
    const std::unique_ptr<QTemporaryDir> staging = ProfileDownloader::createStagingFolder(tin, &installError);
    if (!staging) {
        *error = makeMessage(profile, QStringLiteral("the profiles folder cannot be written"));
        return false;
    }
    if (progress)
        progress(0);
    const auto tableDone = [&progress](int done, int total) {
        if (progress)
            progress(done * 100 / total);
    };
    const bool written = FilmData::ProfileTables::write(
        *source, staging->path(), threads > 0 ? threads : QThread::idealThreadCount(), cancel, tableDone);
    if (cancel && *cancel) {
        qInfo() << "ProfileMaker: making" << profile.id << "cancelled";
        return false;
    }
    if (!written) {
        *error = makeMessage(profile, QStringLiteral("its tables cannot be written"));
        return false;
    }
    if (!ProfileDownloader::moveIntoPlace(*staging, tin, &installError)) {
        *error = makeMessage(profile, QStringLiteral("its tables cannot be installed"));
        return false;
    }
    // Tables read before under the same paths (a profile made again) must
    // not be served from the cache.
    FilmLibrary::instance()->clearStockTableCache();
    qInfo() << "ProfileMaker: profile" << profile.id << "made into" << FilmLibrary::userProfileFolder(tin);
    return true;
}

ProfileMaker::ProfileMaker(QObject* parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, &ProfileMaker::finish);
}

ProfileMaker::~ProfileMaker()
{
    m_cancel = true;
    m_watcher.disconnect(this);
    m_watcher.waitForFinished();
}

void ProfileMaker::start(unsigned int profileId)
{
    if (m_watcher.isRunning()) {
        m_cancel = true;
        m_watcher.disconnect(this);
        m_watcher.waitForFinished();
        connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, &ProfileMaker::finish);
        emit cancelled(m_profileId);
    }
    m_cancel = false;
    m_profileId = profileId;
    CameraListHelper* catalogue = CameraListHelper::instance();
    const ProfileInfo* profile = catalogue->load() ? catalogue->getProfile(profileId) : nullptr;
    if (!canMake(profile)) {
        const QString name = profile ? QString::fromUtf8(profile->name) : QString::number(profileId);
        emit failed(profileId, QStringLiteral("Can't make the %1 profile: its camera encoding is unknown.").arg(name));
        return;
    }
    const ProfileInfo copy = *profile;
    const int threads = m_threads;
    m_watcher.setFuture(QtConcurrent::run([this, copy, threads] {
        Outcome outcome;
        // Signals from the worker reach the receivers through their queues.
        outcome.made = make(
            copy, &outcome.error, &m_cancel, [this](int percent) { emit progressChanged(percent); }, threads);
        return outcome;
    }));
}

void ProfileMaker::cancel()
{
    m_cancel = true;
}

void ProfileMaker::finish()
{
    const Outcome outcome = m_watcher.result();
    const unsigned int id = m_profileId;
    if (outcome.made)
        emit made(id);
    else if (outcome.error.isEmpty())
        emit cancelled(id);
    else
        emit failed(id, outcome.error);
}

} // namespace Emulsa
