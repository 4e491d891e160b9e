#include "model/HardwareDecodingSetting.h"

#include "model/SettingsManager.h"

#include <QDebug>
#include <QSettings>

namespace Emulsa {

QString HardwareDecodingSetting::key()
{
    return QStringLiteral("Playback/HardwareDecoding");
}

HardwareDecodingMode HardwareDecodingSetting::startMode(const QSettings& store)
{
    if (const std::optional<HardwareDecodingMode> mode = HardwareDecoding::environmentMode())
        return *mode;
    const QString stored = store.value(key()).toString();
    if (stored.trimmed().isEmpty())
        return HardwareDecodingMode::Auto;
    if (const std::optional<HardwareDecodingMode> mode = HardwareDecoding::parseMode(stored))
        return *mode;
    qWarning().noquote() << QStringLiteral("The setting %1=\"%2\" is not one of %3; using auto.")
                                .arg(key(), stored, HardwareDecoding::modeNames());
    return HardwareDecodingMode::Auto;
}

HardwareDecodingMode HardwareDecodingSetting::apply()
{
    const HardwareDecodingMode mode = startMode(*SettingsManager::openStore());
    HardwareDecoding::setMode(mode);
    return mode;
}

} // namespace Emulsa
