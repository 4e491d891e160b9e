#pragma once

#include <QByteArray>
#include <vector>

namespace Emulsa {
namespace FilmData {

// The exposure stage's two conversion files for the standard display curve
// (the Rec. 709 camera curve): code value to log10 of linear light, and back.
// Each holds 65,536 entries of three little-endian floats (R, G, B equal).
//
// Code to log: entry i is the code value i / 65535; linear light below 10^-3
// is held at -3. Log to code: entry j is the log value -3 + 6 j / 65536 (the
// exposure stage's index rule); above 0 the curve continues past 1 so that the
// two files stay inverse over the whole log range (the stage clamps to 1).
class ConversionFiles
{
public:
    static constexpr int kEntries = 65536;
    static constexpr double kLogLow = -3.0;
    static constexpr double kLogHigh = 3.0;
    static constexpr const char* kCodeToLogName = "5D_320D_20110108_CVtoLog.CV2logLUT";
    static constexpr const char* kLogToCodeName = "5D_320D_20110108_logToCV.log2CVLUT";

    static std::vector<float> codeToLog();
    static std::vector<float> logToCode();

    static double curveToLinear(double code);
    static double linearToCurve(double linear);
};

} // namespace FilmData
} // namespace Emulsa
