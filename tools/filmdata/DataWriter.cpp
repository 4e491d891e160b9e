#include "DataWriter.h"

#include "Artwork.h"
#include "CatalogueWriter.h"
#include "ConversionFiles.h"
#include "ExamplePresets.h"
#include "GrainSynth.h"
#include "ProfileArchive.h"
#include "core/GrainImage.h"
#include "core/filmdata/ProfileTables.h"
#include "core/filmdata/TableBuilder.h"

#include <QDebug>
#include <algorithm>

namespace Emulsa {
namespace FilmData {

const QStringList& DataWriter::defaultProfileIds()
{
    static const QStringList ids { "OT01", "SN01", "AR01" };
    return ids;
}

const char* DataWriter::genericProfileId()
{
    return "PN01";
}

DataWriter::DataWriter(const QString& root, int threads)
    : m_root(root)
    , m_threads(std::max(1, threads))
{
}

bool DataWriter::writeFile(const QString& path, const QByteArray& bytes)
{
    return ProfileTables::writeFile(path, bytes);
}

bool DataWriter::runJobs(const std::vector<std::function<bool()>>& jobs, int threads)
{
    return ProfileTables::runJobs(jobs, threads);
}

void DataWriter::addProfileJobs(const QString& id, std::vector<std::function<bool()>>& jobs)
{
    const CameraProfile* profile = CameraEncoding::find(id.toLatin1().constData());
    if (!profile) {
        jobs.push_back([id] {
            qWarning() << "DataWriter: unknown profile" << id;
            return false;
        });
        return;
    }
    const QString folder = m_root + "/Profiles/" + profile->tin;
    for (const FilmStock& stock : FilmStocks::all()) {
        jobs.push_back([profile, &stock, folder] {
            return writeFile(
                folder + "/" + ProfileTables::fileName(*profile, stock), ProfileTables::tableBytes(*profile, stock));
        });
    }
}

void DataWriter::addGenericJobs(const QString& id, std::vector<std::function<bool()>>& jobs)
{
    const CameraProfile* profile = CameraEncoding::find(id.toLatin1().constData());
    if (!profile)
        return;
    for (const FilmStock& stock : FilmStocks::all()) {
        jobs.push_back([this, profile, &stock] {
            const FilmModel model(*profile, stock);
            return writeFile(m_root + "/LUTS_V1/" + profile->bin + "_" + stock.code + ".bin",
                TableBuilder::toBytes(TableBuilder::genericTable(model)));
        });
    }
}

bool DataWriter::writeResources(std::vector<std::function<bool()>>& jobs)
{
    const QString resources = m_root + "/Resources/";
    if (!writeFile(resources + CatalogueWriter::kFileName, CatalogueWriter::catalogue()))
        return false;
    // The example thumbnails grade through the conversion files: write them first.
    if (!writeFile(resources + ConversionFiles::kCodeToLogName, TableBuilder::toBytes(ConversionFiles::codeToLog()))
        || !writeFile(resources + ConversionFiles::kLogToCodeName, TableBuilder::toBytes(ConversionFiles::logToCode())))
        return false;
    jobs.push_back([resources] {
        for (const FilmStock& stock : FilmStocks::all())
            if (!writeFile(resources + stock.code + ".emoGrain", TableBuilder::toBytes(GrainSynth::curve(stock))))
                return false;
        return true;
    });
    for (const GrainGauge& gauge : GrainSynth::gauges()) {
        jobs.push_back([resources, &gauge] {
            const QByteArray pixels = GrainSynth::image(gauge, 1);
            const QByteArray file = GrainImage::encodeQlif(GrainImage::RGB, gauge.width, gauge.height, pixels);
            return !file.isEmpty() && writeFile(resources + gauge.type + ".bin", file);
        });
    }
    jobs.push_back([resources] { return Artwork::writePlaceholders(resources); });
    jobs.push_back([resources] { return ExamplePresets::write(resources + "standalone/presets/", resources); });
    return true;
}

bool DataWriter::writeDefaultSet()
{
    std::vector<std::function<bool()>> jobs;
    if (!writeResources(jobs))
        return false;
    for (const QString& id : defaultProfileIds())
        addProfileJobs(id, jobs);
    addGenericJobs(genericProfileId(), jobs);
    return runJobs(jobs, m_threads);
}

bool DataWriter::writeProfile(const QString& id, bool zip, const QString& zipFolder)
{
    std::vector<std::function<bool()>> jobs;
    addProfileJobs(id, jobs);
    if (!runJobs(jobs, m_threads))
        return false;
    if (!zip)
        return true;
    const CameraProfile* profile = CameraEncoding::find(id.toLatin1().constData());
    return ProfileArchive::pack(
        m_root + "/Profiles/" + profile->tin, profile->tin, zipFolder + "/" + profile->tin + ".zip");
}

bool DataWriter::writeCube(const QString& profileId, const QString& stockCode, const QString& path)
{
    const CameraProfile* profile = CameraEncoding::find(profileId.toLatin1().constData());
    const FilmStock* stock = FilmStocks::find(stockCode.toLatin1().constData());
    if (!profile || !stock) {
        qWarning() << "DataWriter: unknown profile or stock" << profileId << stockCode;
        return false;
    }
    const FilmModel model(*profile, *stock);
    return writeFile(path,
        TableBuilder::cubeFile(
            model, QStringLiteral("%1 %2").arg(QString::fromUtf8(profile->name), FilmStocks::displayName(*stock))));
}

} // namespace FilmData
} // namespace Emulsa
