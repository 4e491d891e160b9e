// A preset file (.empreset, .empresets) with its thumbnails, as the
// application's import and emulsa-render --preset-file read it.

#include "FuzzSupport.h"

#include "model/PresetsFileReader.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Emulsa::Fuzz::start();
    QByteArray text = Emulsa::Fuzz::bytes(data, size);
    QBuffer device(&text);
    device.open(QIODevice::ReadOnly);
    Emulsa::PresetsFileReader reader;
    reader.read(&device);
    return 0;
}
