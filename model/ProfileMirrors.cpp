#include "model/ProfileMirrors.h"

#include "model/SettingsManager.h"

#include <QSettings>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace Emulsa::ProfileMirrors {

namespace {

const char kUrlVariable[] = "EMULSA_PROFILE_DOWNLOAD_URL";
const QString kGroup = QStringLiteral("ProfileDownloads");
const QString kMirrorsArray = QStringLiteral("DownloadMirrors");
const QString kLastMirrorKey = QStringLiteral("ProfileDownloads/LastMirror");

} // namespace

QString withSlash(QString base)
{
    base = base.trimmed();
    if (!base.isEmpty() && !base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base;
}

QList<ProfileMirror> configured()
{
    const auto named = [](const QString& name, const QString& base) {
        return ProfileMirror { name.trimmed().isEmpty() ? QUrl(base).host() : name.trimmed(), base };
    };
    const QString fromEnvironment = withSlash(qEnvironmentVariable(kUrlVariable));
    if (!fromEnvironment.isEmpty())
        return { named(QString(), fromEnvironment) };

    QList<ProfileMirror> mirrors;
    std::unique_ptr<QSettings> store = SettingsManager::openStore();
    store->beginGroup(kGroup);
    const int count = store->beginReadArray(kMirrorsArray);
    for (int i = 0; i < count; ++i) {
        store->setArrayIndex(i);
        const QString base = withSlash(store->value(QStringLiteral("Url")).toString());
        if (base.isEmpty())
            continue;
        mirrors.append(named(store->value(QStringLiteral("Name")).toString(), base));
    }
    store->endArray();
    store->endGroup();
    return mirrors;
}

int remembered()
{
    return std::max(0, SettingsManager::openStore()->value(kLastMirrorKey, 0).toInt());
}

void remember(int index)
{
    SettingsManager::openStore()->setValue(kLastMirrorKey, std::max(0, index));
}

QString notConfiguredMessage()
{
    return QStringLiteral("Profile downloads are not configured. Add a download mirror to the settings "
                          "(array %1/%2, entries Name and Url) or set the environment variable %3.")
        .arg(kGroup, kMirrorsArray, QLatin1String(kUrlVariable));
}

} // namespace Emulsa::ProfileMirrors
