#pragma once

#include "common/TestEnvironment.h"

#include "core/ClipSettings.h"
#include "model/PresetsFileReader.h"
#include "model/PresetsFileWriter.h"
#include "model/PresetsManager.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSet>

#include <atomic>
#include <thread>

namespace Emulsa::Test {

inline ClipSettings gradeWithSaturation(float saturation)
{
    ClipSettings settings;
    settings.setSaturation(saturation);
    return settings;
}

inline QImage testImage(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Every uuid of every group of the store.
inline QList<QUuid> allUuids(const PresetsManager& store)
{
    QList<QUuid> uuids;
    for (const PresetGroup& group : store.groups())
        uuids += group.presets.keys();
    return uuids;
}

inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The text of an exported group of `count` presets named "Look 0", "Look 1"...,
// each with a small thumbnail of its own colour; the presets in *presets.
inline QByteArray exportedGroup(int count, QVector<Preset>* presets)
{
    PresetsManager source(Test::makeTempFolder(QStringLiteral("source")));
    const int group = source.createNewGroup(QStringLiteral("Exported")).id;
    for (int i = 0; i < count; ++i) {
        const Preset preset = source.createPreset(gradeWithSaturation(0.5f), group).value();
        source.renamePreset(preset.id(), QStringLiteral("Look %1").arg(i));
        source.setNewThumbnailForId(testImage(8, 8, qRgb(10 * i, 0, 0)), preset.id(), false);
        presets->append(source.findPreset(preset.id()).value());
    }
    const QString path = Test::makeTempFolder(QStringLiteral("exported")) + QStringLiteral("/group.empreset");
    return source.exportPresetGroup(group, path) ? fileBytes(path, QByteArray()) : QByteArray();
}

// One Thumbnail element.
inline QByteArray thumbnailElement(const QUuid& uuid, const QByteArray& data)
{
    return "<Thumbnail><ThumbnailUUID>" + uuid.toByteArray() + "</ThumbnailUUID><ThumbnailDATA>" + data
        + "</ThumbnailDATA></Thumbnail>\n";
}

// The group's text with its Thumbnails block replaced by these elements.
inline QByteArray withThumbnails(const QByteArray& group, const QByteArray& elements, int count)
{
    const int start = group.indexOf("<Thumbnails");
    const int end = group.indexOf("</Thumbnails>");
    if (start < 0 || end < start)
        return QByteArray();
    QByteArray result = group;
    result.replace(start, end - start, "<Thumbnails total-items=\"" + QByteArray::number(count) + "\">\n" + elements);
    return result;
}

// The presets store tests' set-up: the build's film data for the grade block,
// a fresh store folder for each test, and helpers that make grades, pictures
// and exported groups and edit their text.
class PresetsManagerFixture : public QObject
{
    Q_OBJECT

protected:
    QString m_folder;

private slots:
    void initTestCase()
    {
        // The build's film data: the grade block needs known stocks and profiles.
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
    }

    void init() { m_folder = Test::makeTempFolder(QStringLiteral("presets/")); }
};

} // namespace Emulsa::Test
