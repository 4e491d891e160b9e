#pragma once

#include "common/TestEnvironment.h"

#include "GradeTestSupport.h"
#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "model/PresetsFileReader.h"
#include "model/ProjectFileReader.h"
#include "model/ProjectFileWriter.h"

#include <QBuffer>
#include <QDir>
#include <QSysInfo>

#include <csignal>
#include <memory>

#include <sys/resource.h>

namespace Emulsa::Test {

// A project written by hand from the file format: two clips, the second one
// current, trimmed and linked to a preset.
inline QByteArray handWrittenProject()
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<Project>
    <General>
        <FileVersion>1.1</FileVersion>
        <StandaloneVersion>1.02.30</StandaloneVersion>
        <HostOS>Some Linux</HostOS>
    </General>
    <SequenceItems timeline="1" total-items="2">
        <SequenceItem position="0">
            <AssetUUID>00112233445566778899aabbccddeeff</AssetUUID>
            <AssetPath>/footage/A001.mp4</AssetPath>
            <SequenceUUID>{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}</SequenceUUID>
            <StartFrame>0</StartFrame>
            <EndFrame>250</EndFrame>
            <Current>0</Current>
            <PresetUUID></PresetUUID>
            <ClipSettings>
                <StockName>5207</StockName>
                <ProfileID>825250895</ProfileID>
                <CameraModel>Other Generic</CameraModel>
                <CameraID>GEN0</CameraID>
                <StockAmount>100</StockAmount>
                <CurveAmount>100</CurveAmount>
                <GrainAmount>100</GrainAmount>
                <GrainScale>35 mm Full Frame</GrainScale>
                <Exposure>0.000000</Exposure>
                <Kelvin>5600.000000</Kelvin>
                <ColorWheels>
                    <Low>
                        <Radius>0.000000</Radius>
                        <Theta>0.000000</Theta>
                    </Low>
                    <Mid>
                        <Radius>0.000000</Radius>
                        <Theta>0.000000</Theta>
                    </Mid>
                    <High>
                        <Radius>0.000000</Radius>
                        <Theta>0.000000</Theta>
                    </High>
                </ColorWheels>
                <Lift>1.000000</Lift>
                <Gamma>1.000000</Gamma>
                <Gain>1.000000</Gain>
                <Saturation>1.000000</Saturation>
                <Histogram>
                    <Black>0.000000</Black>
                    <Mid>0.500000</Mid>
                    <White>1.000000</White>
                </Histogram>
                <Original>0</Original>
                <HalationAmount>0</HalationAmount>
                <BloomAmount>0</BloomAmount>
                <GateWeaveAmount>0</GateWeaveAmount>
                <FlickerAmount>0</FlickerAmount>
                <ColourGrainAmount>0</ColourGrainAmount>
            </ClipSettings>
        </SequenceItem>
        <SequenceItem position="1">
            <AssetUUID>ffeeddccbbaa99887766554433221100</AssetUUID>
            <AssetPath>/footage/B002.mov</AssetPath>
            <SequenceUUID>{0a5f2e7d-1c4b-4e8a-b3a6-7d9e0f1a2b3c}</SequenceUUID>
            <StartFrame>12</StartFrame>
            <EndFrame>48</EndFrame>
            <Current>1</Current>
            <PresetUUID>7b31323334353637382d313233342d313233342d313233342d3132333435363738393031327d</PresetUUID>
            )"
        + sampleGradeBlock(12) + R"(
        </SequenceItem>
    </SequenceItems>
</Project>
)";
}

// Asset records made by the test from the id and path in the file.
class Assets
{
public:
    ~Assets() { qDeleteAll(m_records); }
    // As the metadata manager: the record with the stored id, else the one
    // made from the path (whose id is the digest of the path).
    AssetMetadata* get(const QByteArray& id, const QString& path)
    {
        if (AssetMetadata* known = m_records.value(id))
            return known;
        const QByteArray pathId = MetadataManager::idForPath(path);
        AssetMetadata*& record = m_records[pathId];
        if (!record) {
            record = new AssetMetadata;
            record->id = pathId;
            record->filePath = path;
            record->frameCount = 1000;
        }
        return record;
    }

private:
    QHash<QString, AssetMetadata*> m_records;
};

// Items read from a file, deleted with their grades.
struct ReadItems
{
    QList<SequenceItem*> items;
    ~ReadItems()
    {
        for (SequenceItem* item : qAsConst(items))
            delete item->settings;
        qDeleteAll(items);
    }
};

// The project file tests' set-up: a two-profile catalogue, asset records made
// from the ids and paths in a file, and a written sequence of three clips with
// their own grades; helpers read and write project bytes.
class ProjectFilesFixture : public QObject
{
    Q_OBJECT

protected:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;
    Assets m_assets;
    // The sequence written by the tests: three clips with their own grades.
    QList<SequenceItem*> m_sequence;
    std::vector<std::unique_ptr<ClipSettings>> m_grades;
    QString m_folder;

    std::unique_ptr<ProjectFileReader> makeReader(ReadItems* out)
    {
        auto reader = std::make_unique<ProjectFileReader>(&out->items, &m_library, &m_catalogue);
        reader->setAssetResolver([this](const QByteArray& id, const QString& path) { return m_assets.get(id, path); });
        return reader;
    }

    bool readBytes(const QByteArray& bytes, ReadItems* out, std::unique_ptr<ProjectFileReader>* keep = nullptr)
    {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        auto reader = makeReader(out);
        const bool ok = reader->read(&buffer);
        if (keep)
            *keep = std::move(reader);
        return ok;
    }

    QByteArray writeBytes(const QList<SequenceItem*>& items, const SequenceItem* current)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ProjectFileWriter writer(&items, current, false, &m_catalogue);
        return writer.writeToXML(&buffer) ? bytes : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_catalogue.loadFromData(Test::twoProfileCatalogue()));
        m_folder = Test::makeTempFolder(QStringLiteral("projects"));
        const char* paths[] = { "/footage/A001.mp4", "/footage/B 002 é.mov", "/footage/A001.mp4" };
        for (int i = 0; i < 3; ++i) {
            auto grade = std::make_unique<ClipSettings>(i == 1 ? sampleGrade() : ClipSettings());
            grade->setExposure(0.1f * float(i));
            const QString path = QString::fromUtf8(paths[i]);
            auto* item = new SequenceItem(
                m_assets.get(MetadataManager::idForPath(path), path), grade.get(), quint32(i * 10), quint32(100 + i));
            if (i == 1)
                item->setPresetUuid(QUuid::createUuid().toByteArray());
            m_sequence << item;
            m_grades.push_back(std::move(grade));
        }
    }

    void cleanupTestCase() { qDeleteAll(m_sequence); }
};

} // namespace Emulsa::Test
