#pragma once

#include <QString>

#include <array>
#include <vector>

namespace Emulsa {

// The two per-channel conversion tables the exposure/temperature table is built
// through: code value (0..1) to log10 value, and log10 value back to code value.
//
// Each file holds 65536 entries of three little-endian 32-bit floats (R, G, B
// interleaved), 786,432 bytes, read plain; anything past that size is ignored.
// The two files are a matched pair: when either one is missing or shorter than
// 786,432 bytes, neither is used and both conversions fall back to the neutral
// identity (code-to-log skipped, log-to-code mapping a log value L to
// clamp(L, 0, 1)), so that a neutral grade stays neutral.
class ExposureConversion
{
public:
    static constexpr int EntryCount = 65536;
    static constexpr qint64 FileSize = qint64(EntryCount) * 3 * 4; // 786,432 bytes

    static constexpr float LogLow = -3.0f;
    static constexpr float LogHigh = 3.0f;
    static constexpr float LinearMin = 0.001f;
    static constexpr float LinearMax = 1000.0f;
    // 65536 / (LogHigh - LogLow)
    static constexpr float LogToCodeIndexScale = 65536.0f / 6.0f;
    static constexpr float KelvinMultiplier = 1.0f;
    static constexpr float WarmDivisor = 6400.0f;
    static constexpr float CoolDivisor = -3900.0f;

    static QString codeToLogFileName() { return QStringLiteral("5D_320D_20110108_CVtoLog.CV2logLUT"); }
    static QString logToCodeFileName() { return QStringLiteral("5D_320D_20110108_logToCV.log2CVLUT"); }

    // Nothing loaded: identity conversions.
    ExposureConversion();

    // Reads both files from a folder (with or without trailing slash). Returns
    // true when both were read; false (and identity conversions) otherwise.
    bool load(const QString& folder);

    // The process-wide instance, loaded once on first use from the "Resources"
    // folder of the data root.
    static const ExposureConversion* shared();

    // True when the real pair of tables is in use.
    bool isLoaded() const { return m_loaded; }

    // Code value to log10 value for one channel (0 R, 1 G, 2 B): 65536 floats,
    // indexed by trunc(65535 * code). Null when not loaded (the step is skipped).
    const float* codeToLog(int channel) const;
    // Log10 value to code value for one channel: 65536 floats, indexed by
    // trunc((L + 3) * 65536 / 6). Never null: the identity when not loaded.
    const float* logToCode(int channel) const;

private:
    bool m_loaded = false;
    std::array<std::vector<float>, 3> m_codeToLog;
    std::array<std::vector<float>, 3> m_logToCode;
};

} // namespace Emulsa
