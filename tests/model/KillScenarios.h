#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QUuid>

namespace Emulsa::Test::KillScenarios {

// What the kill-test child writes, over and over, two versions in turn
// (version 0, then 1, then 0 ...), so that the parent can tell a whole file
// of either version from anything else. Shared by the child program and the
// test that kills it.

// Projects: version v has projectItems + v items, every one trimmed to start
// at projectStartFrame(v).
constexpr int projectItems = 60;
inline quint32 projectStartFrame(int version)
{
    return 10 + 5 * quint32(version);
}
inline QString projectAssetPath(int index)
{
    return QStringLiteral("/footage/clip%1.mov").arg(index, 3, 10, QLatin1Char('0'));
}
inline QUuid projectItemUuid(int index)
{
    return QUuid(QStringLiteral("{00000000-0000-4000-8000-%1}").arg(index, 12, 10, QLatin1Char('0')));
}

// Presets: two groups of presetsPerGroup presets; in version v every
// preset's name ends with presetTag(v).
constexpr int presetsPerGroup = 30;
inline QString presetGroupName(int group)
{
    return group == 0 ? QStringLiteral("alpha") : QStringLiteral("beta");
}
inline QString presetTag(int version)
{
    return version == 0 ? QStringLiteral(" (A)") : QStringLiteral(" (B)");
}

// Thumbnail cache: one record; in version v the clip's modification time
// is cacheClipTime(v), the record says cacheFrameCount(v) frames and its
// thumbnail is filled with cacheColour(v).
inline QDateTime cacheClipTime(int version)
{
    return QDateTime(QDate(2024, 3, 1), QTime(10, 0, version == 0 ? 0 : 30), Qt::UTC);
}
inline quint32 cacheFrameCount(int version)
{
    return 100 + quint32(version);
}
inline QColor cacheColour(int version)
{
    return version == 0 ? QColor(200, 40, 40) : QColor(40, 40, 200);
}
constexpr int cacheThumbnailWidth = 250;
constexpr int cacheThumbnailHeight = 140;

} // namespace Emulsa::Test::KillScenarios
