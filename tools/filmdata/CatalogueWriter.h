#pragma once

#include <QByteArray>

namespace Emulsa {
namespace FilmData {

// The camera catalogue "cameraList_v001.xml": manufacturers, models and
// profiles in CameraEncoding::profiles() order, attributes in the order the
// catalogue reader requires (model: name, id; profile: abbr, name, bin, tin,
// id).
class CatalogueWriter
{
public:
    static constexpr const char* kFileName = "cameraList_v001.xml";
    static QByteArray catalogue();
};

} // namespace FilmData
} // namespace Emulsa
