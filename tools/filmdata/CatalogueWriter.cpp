#include "CatalogueWriter.h"

#include "core/filmdata/CameraEncoding.h"

#include <QString>

namespace Emulsa {
namespace FilmData {

namespace {
QByteArray escaped(const char* text)
{
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}
} // namespace

QByteArray CatalogueWriter::catalogue()
{
    const std::vector<CameraProfile>& profiles = CameraEncoding::profiles();
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manufacturers>\n";
    std::size_t i = 0;
    while (i < profiles.size()) {
        const QByteArray manufacturer = profiles[i].manufacturer;
        xml += "    <manufacturer name=\"" + escaped(profiles[i].manufacturer) + "\">\n        <models>\n";
        while (i < profiles.size() && manufacturer == profiles[i].manufacturer) {
            const QByteArray model = profiles[i].model;
            xml += "            <model name=\"" + escaped(profiles[i].model) + "\" id=\"" + escaped(profiles[i].modelId)
                + "\">\n                <profiles>\n";
            while (i < profiles.size() && manufacturer == profiles[i].manufacturer && model == profiles[i].model) {
                const CameraProfile& p = profiles[i];
                xml += "                    <profile abbr=\"" + escaped(p.abbr) + "\" name=\"" + escaped(p.name)
                    + "\" bin=\"" + escaped(p.bin) + "\" tin=\"" + escaped(p.tin) + "\" id=\"" + escaped(p.id)
                    + "\"></profile>\n";
                ++i;
            }
            xml += "                </profiles>\n            </model>\n";
        }
        xml += "        </models>\n    </manufacturer>\n";
    }
    xml += "</manufacturers>\n";
    return xml;
}

} // namespace FilmData
} // namespace Emulsa
