#include "core/GrainCurve.h"

#include <QtEndian>
#include <cstring>
#include <new>

namespace Emulsa {

std::unique_ptr<GrainCurve> GrainCurve::fromBytes(const QByteArray& data)
{
    if (std::size_t(data.size()) < kBytes)
        return nullptr;
    std::unique_ptr<GrainCurve> curve(new (std::nothrow) GrainCurve);
    if (!curve)
        return nullptr;
    for (std::size_t i = 0; i < kFloats; ++i) {
        const quint32 bits = qFromLittleEndian<quint32>(data.constData() + 4 * i);
        std::memcpy(&curve->values[i], &bits, sizeof(float));
    }
    return curve;
}

} // namespace Emulsa
