#include "common/TestEnvironment.h"

#include "Artwork.h"
#include "CatalogueWriter.h"
#include "ConversionFiles.h"
#include "DataWriter.h"
#include "ExamplePresets.h"
#include "ProfileArchive.h"
#include "app/ResourcesHelper.h"
#include "app/StartupChecks.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/ExposureConversion.h"
#include "core/FilmLibrary.h"
#include "core/GrainLibrary.h"
#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmModel.h"
#include "core/filmdata/TableBuilder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QXmlStreamReader>
#include <cmath>
#include <cstring>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

using namespace Emulsa::FilmData;
using Emulsa::ApplicationPaths;
using Emulsa::CameraListHelper;
using Emulsa::FilmLibrary;
using Emulsa::ProfileInfo;
using Emulsa::ResourcesHelper;

namespace {

quint32 idNumber(const char* id)
{
    return quint32(quint8(id[0])) | quint32(quint8(id[1])) << 8 | quint32(quint8(id[2])) << 16
        | quint32(quint8(id[3])) << 24;
}

void pointDataRootAt(const QString& programData)
{
    qputenv("PROGRAMDATA", programData.toUtf8());
    ApplicationPaths::instance()->clearCache();
}

// A data root holding the catalogue and the conversion files; returns the
// PROGRAMDATA value for it.
QString smallDataRoot(const QString& name)
{
    const QString programData = Emulsa::Test::makeTempFolder(name);
    const QString resources = programData + "/Quillmoor/Resources/";
    DataWriter::writeFile(resources + CatalogueWriter::kFileName, CatalogueWriter::catalogue());
    DataWriter::writeFile(
        resources + ConversionFiles::kCodeToLogName, TableBuilder::toBytes(ConversionFiles::codeToLog()));
    DataWriter::writeFile(
        resources + ConversionFiles::kLogToCodeName, TableBuilder::toBytes(ConversionFiles::logToCode()));
    return programData;
}

} // namespace

class TestFilmDataInstall : public QObject
{
    Q_OBJECT

private slots:
    void catalogueParsesAndEveryProfileResolves()
    {
        CameraListHelper catalogue;
        QVERIFY2(catalogue.loadFromData(CatalogueWriter::catalogue()), qPrintable(catalogue.lastError()));
        int count = 0, logProfiles = 0;
        QSet<QString> tins, bins;
        for (const auto& manufacturer : catalogue.manufacturers())
            for (const auto& model : manufacturer.models)
                count += model.profiles.size();
        QCOMPARE(count, int(CameraEncoding::profiles().size()));
        for (const CameraProfile& p : CameraEncoding::profiles()) {
            const ProfileInfo* info = catalogue.getProfile(idNumber(p.id));
            QVERIFY2(info, p.id);
            QCOMPARE(QString(info->tin), QString(p.tin));
            QCOMPARE(QString(info->bin), QString(p.bin));
            QCOMPARE(QString(info->name), QString(p.name));
            QCOMPARE(QString(info->manufacturer), QString(p.manufacturer));
            QCOMPARE(QString(info->model), QString(p.model));
            QCOMPARE(QString(info->modelId), QString(p.modelId));
            QCOMPARE(QString(info->abbr), QString(p.abbr));
            tins.insert(p.tin);
            bins.insert(p.bin);
            logProfiles += p.transfer == Transfer::StandardVideo ? 0 : 1;
        }
        QCOMPARE(tins.size(), count);
        QCOMPARE(bins.size(), count);
        QVERIFY(logProfiles >= 8);
        const ProfileInfo* standard = catalogue.getProfile(0x3130544F);
        QVERIFY(standard);
        QCOMPARE(QString(standard->id), QString("OT01"));
        // Two-part abbreviations, or "null".
        for (const CameraProfile& p : CameraEncoding::profiles())
            QVERIFY(QString(p.abbr) == "null" || QString(p.abbr).split(':').size() == 2);
    }

    void examplePresetsPassTheInstallationCheck()
    {
        const QString programData = smallDataRoot("examples");
        const QString resources = programData + "/Quillmoor/Resources/";
        QVERIFY(ExamplePresets::write(resources + "standalone/presets/", resources));
        pointDataRootAt(programData);
        QVERIFY(ResourcesHelper::checkExamplePresets(false));

        // The seven presets carry the seven non-null reference ids.
        QFile file(resources + "standalone/presets/examples.empreset");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QSet<QString> uuids, stocks;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("PresetGroup")) {
                QCOMPARE(xml.attributes().value("name").toString(), QString("Examples"));
                QCOMPARE(xml.attributes().value("id").toString(), QString("0"));
            } else if (xml.name() == QLatin1String("PresetUUID")) {
                uuids.insert(xml.readElementText());
            } else if (xml.name() == QLatin1String("StockName")) {
                const QString code = xml.readElementText();
                QVERIFY(FilmStocks::find(code.toLatin1().constData()));
                stocks.insert(code);
            } else if (xml.name() == QLatin1String("ClipSettings")) {
                // Every grade block holds its elements in the reader's order.
                const QStringList order { "StockName", "ProfileID", "CameraModel", "CameraID", "StockAmount",
                    "CurveAmount", "GrainAmount", "GrainScale", "Exposure", "Kelvin", "ColorWheels", "Lift", "Gamma",
                    "Gain", "Saturation", "Histogram", "Original" };
                QStringList seen;
                while (xml.readNextStartElement()) {
                    seen << xml.name().toString();
                    if (seen.last() == "StockName")
                        stocks.insert(xml.readElementText());
                    else
                        xml.skipCurrentElement();
                }
                QCOMPARE(seen, order);
            }
        }
        QVERIFY(!xml.hasError());
        QSet<QString> expected;
        for (int i = 1; i < 8; ++i)
            expected.insert("{" + QString(ResourcesHelper::kExampleThumbnails[i]).section('.', 0, 0).toLower() + "}");
        QCOMPARE(uuids, expected);
        QCOMPARE(stocks.size(), 7);

        // Thumbnails are TIFF pictures, and each look is its own.
        std::vector<QImage> thumbs;
        for (int i = 0; i < 8; ++i) {
            const QString name = QString(ResourcesHelper::kExampleThumbnails[i]).section('.', 0, 0);
            QImage image(resources + "standalone/presets/" + ExamplePresets::thumbnailPath(name), "TIFF");
            QVERIFY2(!image.isNull(), qPrintable(name));
            QCOMPARE(image.size(), QSize(ExamplePresets::kThumbnailWidth, ExamplePresets::kThumbnailHeight));
            thumbs.push_back(image.convertToFormat(QImage::Format_RGB888));
        }
        for (std::size_t a = 1; a < thumbs.size(); ++a)
            for (std::size_t b = a + 1; b < thumbs.size(); ++b) {
                double sum = 0.0;
                const QImage& x = thumbs[a];
                const QImage& y = thumbs[b];
                for (int row = 0; row < x.height(); ++row)
                    for (int k = 0; k < x.width() * 3; ++k)
                        sum += std::abs(int(x.constScanLine(row)[k]) - int(y.constScanLine(row)[k]));
                QVERIFY2(sum / (x.width() * x.height() * 3) > 3.0, qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
            }
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }

    void generatedFilesAreTheSameOnEveryRun()
    {
        QCOMPARE(CatalogueWriter::catalogue(), CatalogueWriter::catalogue());
        QCOMPARE(ExamplePresets::groupFile(), ExamplePresets::groupFile());
        const QByteArray placeholder = Artwork::tiffBytes(Artwork::placeholder(true));
        QVERIFY(placeholder.size() > 1000);
        QCOMPARE(Artwork::tiffBytes(Artwork::placeholder(true)), placeholder);
        QVERIFY(Artwork::tiffBytes(Artwork::placeholder(false)) != placeholder);
        const Emulsa::ClipSettings settings = ExamplePresets::examples()[2].settings;
        QCOMPARE(Artwork::tiffBytes(ExamplePresets::thumbnail(settings, nullptr)),
            Artwork::tiffBytes(ExamplePresets::thumbnail(settings, nullptr)));
    }

    void profileArchiveHoldsTheTablesInATopFolder()
    {
        QVERIFY(ProfileArchive::isAvailable());
        const QString programData = smallDataRoot("archive");
        const QString root = programData + "/Quillmoor";
        const QString zipFolder = Emulsa::Test::makeTempFolder("archives");
        DataWriter writer(root, 2);
        QVERIFY(writer.writeProfile("BM01", true, zipFolder));
        QuaZip zip(zipFolder + "/BMFG5T.zip");
        QVERIFY(zip.open(QuaZip::mdUnzip));
        QStringList names = zip.getFileNameList();
        names.sort();
        QCOMPARE(names.size(), 19);
        for (const QString& name : names) {
            QVERIFY2(name.startsWith("BMFG5T/BMFG5T_") && name.endsWith(".tin"), qPrintable(name));
            QVERIFY(FilmStocks::find(name.section('_', 1).chopped(4).toLatin1().constData()));
        }
        zip.setCurrentFile("BMFG5T/BMFG5T_5207.tin");
        QuaZipFile entry(&zip);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray packed = entry.readAll();
        entry.close();
        QFile unpacked(root + "/Profiles/BMFG5T/BMFG5T_5207.tin");
        QVERIFY(unpacked.open(QIODevice::ReadOnly));
        QCOMPARE(packed.size(), 3145728);
        QCOMPARE(packed, unpacked.readAll());
        zip.close();

        // The film library reads the written profile as an installed one.
        pointDataRootAt(programData);
        CameraListHelper catalogue;
        QVERIFY(catalogue.load());
        const ProfileInfo* profile = catalogue.getProfile(idNumber("BM01"));
        QVERIFY(profile);
        FilmLibrary library;
        QVERIFY(library.isProfileInstalled(profile));
        QVERIFY(library.loadProfileStockTable("KodakTriX", profile));
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }

    void startupChecksPassOnTheBuildTree()
    {
        // The build writes share/Quillmoor beside bin/; the application finds
        // it through the data-root rule. PROGRAMDATA points there explicitly
        // because test programs live in tests/bin.
        const QString share = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + "/share";
        QVERIFY2(QFile::exists(share + "/Quillmoor/Resources/cameraList_v001.xml"), qPrintable(share));
        pointDataRootAt(share);
        QCOMPARE(Emulsa::runStartupChecks(), QString());
        QVERIFY(ResourcesHelper::checkExamplePresets(true));

        CameraListHelper catalogue;
        QVERIFY(catalogue.load());
        FilmLibrary library;
        for (const QString& id : DataWriter::defaultProfileIds() + QStringList { DataWriter::genericProfileId() }) {
            const ProfileInfo* profile = catalogue.getProfile(idNumber(id.toLatin1().constData()));
            QVERIFY(profile);
            QVERIFY2(library.isProfileInstalled(profile), qPrintable(id));
        }
        const ProfileInfo* standard = catalogue.getProfile(idNumber("OT01"));
        const ProfileInfo* generic = catalogue.getProfile(idNumber(DataWriter::genericProfileId()));
        for (const FilmStock& stock : FilmStocks::all()) {
            QVERIFY2(library.loadProfileStockTable(stock.code, standard), stock.code);
            QVERIFY2(library.loadGenericStockTable(stock.code, generic), stock.code);
            QCOMPARE(library.loadGrainFile(stock.code).size(), 3072);
        }
        Emulsa::GrainLibrary grains(&library);
        QVERIFY(grains.getGrain("CP35", "5207", 1920, 1080));
        QVERIFY(grains.getGrain("CP8", "Polaroid", 2654, 1493));
        Emulsa::ExposureConversion conversion;
        QVERIFY(conversion.load(ApplicationPaths::instance()->resourcesPath()));
        QVERIFY(!QImage(ApplicationPaths::instance()->resourcesPath() + "placeholderEM.bin", "TIFF").isNull());
        QVERIFY(!QImage(ApplicationPaths::instance()->resourcesPath() + "placeholderIF.bin", "TIFF").isNull());
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }
};

EMULSA_TEST_MAIN(TestFilmDataInstall)
#include "tst_filmdata_install.moc"
