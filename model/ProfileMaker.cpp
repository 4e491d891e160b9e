#include "model/ProfileMaker.h"

#include "core/CameraListHelper.h"
#include "core/CubeLut.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmStock.h"
#include "core/filmdata/ProfileTables.h"
#include "model/ProfileInstall.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
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

bool saveFile(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// A four-character id ("L" and three letters or digits) that the catalogue
// does not know.
QByteArray freshProfileId(const CameraListHelper& catalogue)
{
    static const char kCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (;;) {
        QByteArray id("L");
        for (int i = 0; i < 3; ++i)
            id += kCharacters[QRandomGenerator::global()->bounded(int(sizeof(kCharacters) - 1))];
        if (!catalogue.getProfile(ProfileInfo::packId(id.constData())))
            return id;
    }
}

QString makeMessage(const ProfileInfo& profile, const QString& why)
{
    return QStringLiteral("Can't make the %1 profile: %2.").arg(QString::fromUtf8(profile.name), why);
}

} // namespace

bool ProfileMaker::canMake(const ProfileInfo* profile)
{
    if (CameraListHelper::isAddedProfile(profile))
        return QFileInfo::exists(CameraListHelper::addedCubePath(profile->id));
    return profile && generatorProfile(*profile);
}

bool ProfileMaker::addCameraFromLut(
    const QString& cubePath, const QString& name, unsigned int* profileId, QString* error)
{
    const QByteArray utf8 = name.trimmed().toUtf8();
    if (utf8.isEmpty() || utf8.size() >= int(ProfileInfo::kFieldSize)) {
        *error = QStringLiteral("A camera's name is 1 to %1 characters long.").arg(ProfileInfo::kFieldSize - 1);
        return false;
    }
    for (const char c : { '"', '<', '>', '&' }) {
        if (utf8.contains(c)) {
            *error = QStringLiteral("A camera's name cannot hold the character %1.").arg(QLatin1Char(c));
            return false;
        }
    }
    CubeLut lut;
    QString lutError;
    if (!CubeLut::read(cubePath, &lut, &lutError)) {
        *error = QStringLiteral("The table %1 cannot be used. %2").arg(QFileInfo(cubePath).fileName(), lutError);
        return false;
    }
    CameraListHelper* catalogue = CameraListHelper::instance();
    if (!catalogue->load()) {
        *error = QStringLiteral("The camera catalogue cannot be read.");
        return false;
    }
    const QByteArray id = freshProfileId(*catalogue);
    QFile source(cubePath);
    if (!source.open(QIODevice::ReadOnly) || !saveFile(CameraListHelper::addedCubePath(id), source.readAll())) {
        *error = QStringLiteral("The table cannot be copied into the profiles folder.");
        return false;
    }

    const QByteArray model = "<model name=\"" + utf8 + "\" id=\"LUT" + id
        + "\"><profiles><profile abbr=\"null\" name=\"" + utf8 + "\" bin=\"null\" tin=\"LUT" + id + "\" id=\"" + id
        + "\"></profile></profiles></model>\n";
    const QByteArray open = QByteArray("<manufacturers>\n<manufacturer name=\"") + CameraListHelper::kAddedManufacturer
        + "\">\n<models>\n";
    const QByteArray close = "</models>\n</manufacturer>\n</manufacturers>\n";
    QByteArray file;
    QFile existing(CameraListHelper::addedCataloguePath());
    if (existing.open(QIODevice::ReadOnly))
        file = existing.readAll();
    const int end = file.lastIndexOf("</models>");
    if (end < 0)
        file = open + model + close;
    else
        file.insert(end, model);
    if (!saveFile(CameraListHelper::addedCataloguePath(), file) || !catalogue->addProfiles(open + model + close)) {
        QFile::remove(CameraListHelper::addedCubePath(id));
        *error = QStringLiteral("The camera cannot be added to the catalogue.");
        return false;
    }
    *profileId = ProfileInfo::packId(id.constData());
    qInfo() << "ProfileMaker: camera" << utf8 << "added from" << cubePath << "as" << id;
    return true;
}

bool ProfileMaker::make(
    const ProfileInfo& profile, QString* error, const std::atomic<bool>* cancel, const Progress& progress, int threads)
{
    error->clear();
    const FilmData::CameraProfile* source = generatorProfile(profile);
    // An added camera decodes through its own table.
    CubeLut lut;
    FilmData::CameraProfile added {};
    if (CameraListHelper::isAddedProfile(&profile)) {
        QString lutError;
        if (!CubeLut::read(CameraListHelper::addedCubePath(profile.id), &lut, &lutError)) {
            *error = makeMessage(profile, QStringLiteral("its table cannot be read (%1)").arg(lutError));
            return false;
        }
        added = { profile.manufacturer, profile.model, profile.modelId, profile.abbr, profile.name, profile.bin,
            profile.tin, profile.id, FilmData::Transfer::StandardVideo, FilmData::Gamut::Rec709 };
        source = &added;
    }
    if (!source) {
        *error = makeMessage(profile, QStringLiteral("its camera encoding is unknown"));
        return false;
    }
    const QString tin = QString::fromUtf8(profile.tin);
    QString installError;
    const std::unique_ptr<QTemporaryDir> staging = ProfileInstall::createStagingFolder(tin, &installError);
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
    const bool written = FilmData::ProfileTables::write(*source, staging->path(),
        threads > 0 ? threads : QThread::idealThreadCount(), cancel, tableDone, lut.size > 0 ? &lut : nullptr);
    if (cancel && *cancel) {
        qInfo() << "ProfileMaker: making" << profile.id << "cancelled";
        return false;
    }
    if (!written) {
        *error = makeMessage(profile, QStringLiteral("its tables cannot be written"));
        return false;
    }
    if (!ProfileInstall::moveIntoPlace(*staging, tin, &installError)) {
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
