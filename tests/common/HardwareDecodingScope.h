#pragma once

#include "media/source/HardwareDecoding.h"

namespace Emulsa::Test {

// Sets the process-wide hardware decoding mode (and the simulated device)
// for a test, and puts back the mode found before when it ends.
class HardwareDecodingScope
{
public:
    explicit HardwareDecodingScope(HardwareDecodingMode mode, bool simulated = false)
        : m_previous(HardwareDecoding::mode())
    {
        HardwareDecoding::setMode(mode);
        HardwareDecoding::setSimulation(simulated);
    }
    ~HardwareDecodingScope()
    {
        HardwareDecoding::setSimulation(false);
        HardwareDecoding::setMode(m_previous);
    }
    HardwareDecodingScope(const HardwareDecodingScope&) = delete;
    HardwareDecodingScope& operator=(const HardwareDecodingScope&) = delete;

private:
    HardwareDecodingMode m_previous;
};

} // namespace Emulsa::Test
