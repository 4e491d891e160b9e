#include "core/filmdata/TableBuilder.h"

#include <QtEndian>
#include <cstring>

namespace Emulsa {
namespace FilmData {

std::vector<float> TableBuilder::profileTable(const FilmModel& model)
{
    std::vector<float> table(std::size_t(kEntries) * 3);
    std::size_t k = 0;
    for (int b = 0; b < kSize; ++b)
        for (int g = 0; g < kSize; ++g)
            for (int r = 0; r < kSize; ++r) {
                const Vec3 out = model.render({ profileTableInput(r), profileTableInput(g), profileTableInput(b) });
                table[k++] = float(out[0]);
                table[k++] = float(out[1]);
                table[k++] = float(out[2]);
            }
    return table;
}

std::vector<float> TableBuilder::genericTable(const FilmModel& model)
{
    std::vector<float> table(std::size_t(kEntries) * 3);
    std::size_t k = 0;
    for (int r = 0; r < kSize; ++r)
        for (int g = 0; g < kSize; ++g)
            for (int b = 0; b < kSize; ++b) {
                const Vec3 in { genericTableInput(r), genericTableInput(g), genericTableInput(b) };
                const Vec3 out = model.render(in);
                // Offsets from the grid as the reader holds it (floats), so that
                // grid + offset gives back the rendering as closely as floats allow.
                for (int c = 0; c < 3; ++c)
                    table[k++] = float(out[c]) - float(in[c]);
            }
    return table;
}

QByteArray TableBuilder::cubeFile(const FilmModel& model, const QString& title)
{
    QByteArray text;
    text += "TITLE \"" + title.toUtf8() + "\"\n";
    text += "LUT_3D_SIZE 64\n";
    text += "DOMAIN_MIN 0.0 0.0 0.0\n";
    text += "DOMAIN_MAX 1.0 1.0 1.0\n";
    for (int b = 0; b < kSize; ++b)
        for (int g = 0; g < kSize; ++g)
            for (int r = 0; r < kSize; ++r) {
                const Vec3 out = model.render({ r / 63.0, g / 63.0, b / 63.0 });
                // QByteArray::number ignores the C locale, so the decimal point stays a point.
                text += QByteArray::number(out[0], 'f', 6) + ' ' + QByteArray::number(out[1], 'f', 6) + ' '
                    + QByteArray::number(out[2], 'f', 6) + '\n';
            }
    return text;
}

QByteArray TableBuilder::toBytes(const std::vector<float>& values)
{
    QByteArray bytes(int(values.size() * sizeof(float)), Qt::Uninitialized);
    char* out = bytes.data();
    for (float v : values) {
        quint32 bits;
        std::memcpy(&bits, &v, sizeof bits);
        qToLittleEndian(bits, out);
        out += sizeof bits;
    }
    return bytes;
}

} // namespace FilmData
} // namespace Emulsa
