// The grade block shared by projects and presets: <General> then
// <ClipSettings>, read element by element.

#include "FuzzSupport.h"

#include "core/ClipSettings.h"
#include "model/GradeBlockReader.h"

#include <QXmlStreamReader>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Emulsa::Fuzz::start();
    QXmlStreamReader xml(Emulsa::Fuzz::bytes(data, size));
    Emulsa::GradeBlockReader reader(&xml);
    int elements = 0;
    while (!xml.atEnd() && ++elements < 10000) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1String("General")) {
            Emulsa::GeneralInfo info;
            reader.readGeneral(&info);
        } else if (xml.name() == QLatin1String("ClipSettings")) {
            std::unique_ptr<Emulsa::ClipSettings> settings = reader.parseClipSettings();
        }
    }
    return 0;
}
