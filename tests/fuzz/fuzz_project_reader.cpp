// A project file (.empf) as the application and emulsa-render read it.

#include "FuzzSupport.h"

#include "media/clip/SequenceItem.h"
#include "model/ProjectFileReader.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Emulsa::Fuzz::start();
    QByteArray text = Emulsa::Fuzz::bytes(data, size);
    QBuffer device(&text);
    device.open(QIODevice::ReadOnly);
    QList<Emulsa::SequenceItem*> items;
    Emulsa::ProjectFileReader reader(&items);
    // No media file is looked at: paths in the file stay text.
    reader.setAssetResolver([](const QByteArray&, const QString&) { return nullptr; });
    reader.read(&device);
    for (Emulsa::SequenceItem* item : items) {
        delete item->settings;
        delete item;
    }
    return 0;
}
