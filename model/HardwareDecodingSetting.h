#pragma once

#include "media/source/HardwareDecoding.h"

#include <QString>

class QSettings;

namespace Emulsa {

// The application's hardware decoding choice: the settings store's
// "Playback/HardwareDecoding" (off, auto, vaapi, cuda or vdpau), which
// EMULSA_HW_DECODE overrides for one run.
class HardwareDecodingSetting
{
public:
    static QString key();
    // The mode to start with: EMULSA_HW_DECODE when it names one, else the
    // stored choice, else auto. A stored value that names no mode is
    // refused with a warning.
    static HardwareDecodingMode startMode(const QSettings& store);
    // Makes startMode() of the user's store the process-wide mode.
    static HardwareDecodingMode apply();
};

} // namespace Emulsa
