#include "core/ExposureConversion.h"

#include "core/ApplicationPaths.h"

#include <QDebug>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace Emulsa {

namespace {

// Log value to code value when no table is loaded: entry k stands for
// L = k * 6 / 65536 - 3 and gives L clamped to [0, 1], so that skipping the
// code-to-log step and using this table leaves code values unchanged.
const float* identityLogToCode()
{
    static const std::vector<float> table = [] {
        std::vector<float> values(ExposureConversion::EntryCount);
        for (int k = 0; k < ExposureConversion::EntryCount; ++k) {
            const float log = float(k) / ExposureConversion::LogToCodeIndexScale + ExposureConversion::LogLow;
            values[size_t(k)] = std::clamp(log, 0.0f, 1.0f);
        }
        return values;
    }();
    return table.data();
}

// Reads the first 786,432 bytes of a conversion file into three per-channel
// tables. Fails (leaving the tables untouched) when the file is missing or
// shorter than that.
bool readTable(const QString& path, std::array<std::vector<float>, 3>& channels)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "ExposureConversion: cannot open" << path;
        return false;
    }
    const QByteArray bytes = file.read(ExposureConversion::FileSize);
    if (bytes.size() < ExposureConversion::FileSize) {
        qWarning().noquote() << "ExposureConversion:" << path << "is too short (" << bytes.size() << "bytes)";
        return false;
    }
    const uchar* data = reinterpret_cast<const uchar*>(bytes.constData());
    for (auto& channel : channels)
        channel.resize(ExposureConversion::EntryCount);
    for (int i = 0; i < ExposureConversion::EntryCount; ++i) {
        for (int c = 0; c < 3; ++c) {
            const quint32 bits = qFromLittleEndian<quint32>(data + (i * 3 + c) * 4);
            float value;
            std::memcpy(&value, &bits, sizeof value);
            channels[size_t(c)][size_t(i)] = value;
        }
    }
    return true;
}

} // namespace

ExposureConversion::ExposureConversion() = default;

bool ExposureConversion::load(const QString& folder)
{
    m_loaded = false;
    for (int c = 0; c < 3; ++c) {
        m_codeToLog[size_t(c)].clear();
        m_logToCode[size_t(c)].clear();
    }

    QString prefix = folder;
    if (!prefix.isEmpty() && !prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');

    // The pair only makes sense together: without the code-to-log table the
    // log-to-code file is not read at all, and a bad log-to-code file drops
    // the code-to-log table again.
    std::array<std::vector<float>, 3> codeToLog;
    if (!readTable(prefix + codeToLogFileName(), codeToLog))
        return false;
    std::array<std::vector<float>, 3> logToCode;
    if (!readTable(prefix + logToCodeFileName(), logToCode))
        return false;

    m_codeToLog = std::move(codeToLog);
    m_logToCode = std::move(logToCode);
    m_loaded = true;
    return true;
}

const ExposureConversion* ExposureConversion::shared()
{
    static const ExposureConversion conversion = [] {
        ExposureConversion loaded;
        const QString folder = ApplicationPaths::computeDataRootPath() + QStringLiteral("Resources/");
        if (!loaded.load(folder))
            qWarning().noquote() << "ExposureConversion: using identity conversions";
        return loaded;
    }();
    return &conversion;
}

const float* ExposureConversion::codeToLog(int channel) const
{
    if (!m_loaded || channel < 0 || channel > 2)
        return nullptr;
    return m_codeToLog[size_t(channel)].data();
}

const float* ExposureConversion::logToCode(int channel) const
{
    if (!m_loaded || channel < 0 || channel > 2)
        return identityLogToCode();
    return m_logToCode[size_t(channel)].data();
}

} // namespace Emulsa
