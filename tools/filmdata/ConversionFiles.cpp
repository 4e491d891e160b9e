#include "ConversionFiles.h"

#include <algorithm>
#include <cmath>

namespace Emulsa {
namespace FilmData {

double ConversionFiles::curveToLinear(double code)
{
    return code < 0.081 ? code / 4.5 : std::pow((code + 0.099) / 1.099, 1.0 / 0.45);
}

double ConversionFiles::linearToCurve(double linear)
{
    return linear < 0.018 ? 4.5 * linear : 1.099 * std::pow(linear, 0.45) - 0.099;
}

std::vector<float> ConversionFiles::codeToLog()
{
    std::vector<float> out(std::size_t(kEntries) * 3);
    for (int i = 0; i < kEntries; ++i) {
        const double linear = curveToLinear(i / 65535.0);
        const double value = std::clamp(std::log10(std::max(linear, 1e-3)), kLogLow, kLogHigh);
        out[std::size_t(i) * 3] = out[std::size_t(i) * 3 + 1] = out[std::size_t(i) * 3 + 2] = float(value);
    }
    return out;
}

std::vector<float> ConversionFiles::logToCode()
{
    std::vector<float> out(std::size_t(kEntries) * 3);
    for (int j = 0; j < kEntries; ++j) {
        const double value = kLogLow + (kLogHigh - kLogLow) * j / double(kEntries);
        const double code = linearToCurve(std::pow(10.0, value));
        out[std::size_t(j) * 3] = out[std::size_t(j) * 3 + 1] = out[std::size_t(j) * 3 + 2] = float(code);
    }
    return out;
}

} // namespace FilmData
} // namespace Emulsa
