#include "FilmDataFixture.h"
#include "TestFiles.h"

#include "common/TestEnvironment.h"
#include "core/ApplicationPaths.h"
#include "core/GrainImage.h"
#include "core/ProfileInfo.h"
#include "core/StockTable.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace Emulsa::Test {

namespace {

QByteArray stockTableBytes()
{
    QByteArray data;
    data.reserve(int(StockTable::kBytes));
    for (int b = 0; b < StockTable::kSize; ++b)
        for (int g = 0; g < StockTable::kSize; ++g)
            for (int r = 0; r < StockTable::kSize; ++r) {
                float out[3];
                FilmDataFixture::stockTransform(r / 63.f, g / 63.f, b / 63.f, out);
                for (float v : out)
                    appendFloat(data, v);
            }
    return data;
}

QByteArray curveBytes()
{
    QByteArray data;
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            appendFloat(data, FilmDataFixture::grainResponse(i, c));
    return data;
}

// A pair of conversion tables: code value to log10 through a gentle curve and
// its inverse, so that a neutral exposure stays (nearly) neutral.
void writeConversions(const QString& folder)
{
    QByteArray toLog;
    QByteArray toCode;
    for (int i = 0; i < 65536; ++i) {
        const float code = float(i) / 65535.f;
        const float log = 2.f * code - 1.f; // -1..1 decades
        for (int c = 0; c < 3; ++c)
            appendFloat(toLog, log);
        const float l = -3.f + float(i) * 6.f / 65536.f;
        const float back = std::min(1.f, std::max(0.f, (l + 1.f) / 2.f));
        for (int c = 0; c < 3; ++c)
            appendFloat(toCode, back);
    }
    writeFile(folder + QStringLiteral("5D_320D_20110108_CVtoLog.CV2logLUT"), toLog);
    writeFile(folder + QStringLiteral("5D_320D_20110108_logToCV.log2CVLUT"), toCode);
}

} // namespace

void FilmDataFixture::stockTransform(float r, float g, float b, float out[3])
{
    auto clamp = [](float v) { return std::min(1.f, std::max(0.f, v)); };
    out[0] = clamp(0.04f + 0.86f * std::pow(r, 0.9f) + 0.08f * g);
    out[1] = clamp(0.02f + 0.9f * std::pow(g, 1.1f) + 0.05f * b);
    out[2] = clamp(0.05f + 0.78f * b + 0.12f * r);
}

float FilmDataFixture::grainResponse(int i, int c)
{
    const double x = double(i) / 255.0;
    return float(0.02 + 0.15 * std::sqrt(std::sin(M_PI * x)) * (0.6 + 0.2 * c));
}

quint32 FilmDataFixture::profileId()
{
    return ProfileInfo::packId("OT01");
}

QString FilmDataFixture::install()
{
    const QString base = makeTempFolder(QStringLiteral("filmdata"));
    const QString root = base + QStringLiteral("/Quillmoor/");
    const QString resources = root + QStringLiteral("Resources/");
    QDir().mkpath(resources);
    QDir().mkpath(root + QStringLiteral("Profiles/OTHER"));

    writeFile(resources + QStringLiteral("cameraList_v001.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manufacturers>\n"
        "  <manufacturer name=\"Other\">\n   <models>\n"
        "    <model name=\"Other\" id=\"OT\">\n      <profiles>\n"
        "        <profile abbr=\"null\" name=\"Other\" bin=\"OTHER\" tin=\"OTHER\" id=\"OT01\"></profile>\n"
        "      </profiles>\n    </model>\n   </models>\n  </manufacturer>\n</manufacturers>\n");

    const QByteArray table = stockTableBytes();
    const QByteArray curve = curveBytes();
    for (const char* stock : { "5207", "KodakTriX" }) {
        writeFile(root + QStringLiteral("Profiles/OTHER/OTHER_%1.tin").arg(QLatin1String(stock)), table);
        writeFile(resources + QStringLiteral("%1.emoGrain").arg(QLatin1String(stock)), curve);
    }

    QRandomGenerator random(42);
    for (const char* type : { "CP35", "CP16", "CP8" }) {
        const int width = 160;
        const int height = 96;
        QByteArray pixels(width * height * 3, '\0');
        for (char& byte : pixels)
            byte = char(40 + random.bounded(176));
        GrainImage::writeQlif(resources + QLatin1String(type) + QStringLiteral(".bin"), 0, width, height, pixels);
    }
    writeConversions(resources);

    qputenv("PROGRAMDATA", QFile::encodeName(base));
    ApplicationPaths::instance()->clearCache();
    return root;
}

} // namespace Emulsa::Test
