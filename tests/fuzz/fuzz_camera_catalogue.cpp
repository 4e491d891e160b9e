// The camera catalogue (cameraList_v*.xml) of the film data folder and of a
// downloaded update.

#include "FuzzSupport.h"

#include "core/CameraListHelper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Emulsa::Fuzz::start();
    Emulsa::CameraListHelper catalogue;
    catalogue.loadFromData(Emulsa::Fuzz::bytes(data, size));
    return 0;
}
