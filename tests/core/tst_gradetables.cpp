#include "common/TestEnvironment.h"

#include "TestFiles.h"
#include "core/ExposureConversion.h"
#include "core/GradeTables.h"

#include <QFile>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

using namespace Emulsa;

namespace {

using Entry = std::function<float(int index, int channel)>;

// Writes a conversion file of `entries` (R, G, B) float triples, little-endian,
// plus `extraBytes` bytes of 0xFF after them.
void writeConversionFile(const QString& path, int entries, const Entry& value, int extraBytes = 0)
{
    QByteArray bytes;
    bytes.reserve(entries * 12 + extraBytes);
    for (int i = 0; i < entries; ++i) {
        for (int c = 0; c < 3; ++c)
            Emulsa::Test::appendFloat(bytes, value(i, c));
    }
    bytes.append(QByteArray(extraBytes, char(0xFF)));
    Emulsa::Test::writeFile(path, bytes);
}

// Code value c to log value 6c - 3 (the whole log range) on every channel.
float codeToLogFixture(int index, int)
{
    return 6.0f * float(index) / 65535.0f - 3.0f;
}

// Log value back to code value; the green channel is halved so that a mix-up
// of the interleaved channels shows.
float logToCodeFixture(int index, int channel)
{
    const float log = float(index) * 6.0f / 65536.0f - 3.0f;
    const float code = (log + 3.0f) / 6.0f;
    return channel == 1 ? code * 0.5f : code;
}

// The two fixture files in `folder`, with the entry counts given; a count
// of 0 leaves that file out.
void writeConversionPair(const QString& folder, int codeToLogEntries = 65536, int logToCodeEntries = 65536)
{
    if (codeToLogEntries > 0)
        writeConversionFile(folder + "/" + ExposureConversion::codeToLogFileName(), codeToLogEntries, codeToLogFixture);
    if (logToCodeEntries > 0)
        writeConversionFile(folder + "/" + ExposureConversion::logToCodeFileName(), logToCodeEntries, logToCodeFixture);
}

float entry(const GradeTables::RgbTable& table, int i, int c)
{
    return table[size_t(i * 3 + c)];
}

std::array<float, 3> timesMatrix(const std::array<float, 3>& rgb, const GradeTables::Matrix& m)
{
    std::array<float, 3> out {};
    for (int col = 0; col < 3; ++col)
        out[size_t(col)] = rgb[0] * m[size_t(col)] + rgb[1] * m[size_t(4 + col)] + rgb[2] * m[size_t(8 + col)];
    return out;
}

} // namespace

class TestGradeTables : public QObject
{
    Q_OBJECT

private slots:
    void softKneeJoinsItsLinearPart();
    void temperatureAtBothEndsOfTheRange();
    void conversionFilesAreUsedPerChannel();
    void exposureClampsAtTheLogRange();
    void missingOrShortConversionFilesFallBackToIdentity();
    void onlyTheFirst65536EntriesAreRead();
    void liftGammaGain();
    void hueDirections();
    void colourWheels();
    void saturationMatrices();
    void levelsOrdering();
    void levelsTables();
    void neutralExposureShortcutAndFlags();
    void bypassCopiesStayNeutral();
    void toneTableStandsForItsTables();
    void neutralToneIsTheIdentity();

private:
    QString m_folder;
};

void TestGradeTables::softKneeJoinsItsLinearPart()
{
    const std::pair<float, float> cases[] = { { 1.353f, 0.08f }, { 1.1f, 0.08f }, { 1.8f, 0.08f } };
    for (const auto& [gain, knee] : cases) {
        const float threshold = (1.0f - knee) / gain;
        const float delta = 1e-3f;
        const float below = GradeCurves::softKnee(threshold - delta, gain, knee);
        const float at = GradeCurves::softKnee(threshold, gain, knee);
        QVERIFY(std::abs(at - (1.0f - knee)) < 1e-6f);
        QVERIFY(std::abs((at - below) / delta - gain) < 1e-3f * gain);
        // Past the knee the slope starts at the linear slope and falls away:
        // the closer to the knee, the closer to the gain, never above it.
        float previousSlope = 0.0f;
        for (float step : { 1e-1f, 1e-2f, 1e-3f }) {
            const float slope = (GradeCurves::softKnee(threshold + step, gain, knee) - at) / step;
            QVERIFY(slope > previousSlope);
            QVERIFY(slope < gain * 1.0001f);
            previousSlope = slope;
        }
        QVERIFY2(previousSlope > 0.4f * gain, qPrintable(QString::number(gain)));
        // The bend lands on 1 at x = 1, rising (within a hair) all the way.
        QVERIFY(std::abs(GradeCurves::softKnee(1.0f, gain, knee) - 1.0f) < 1e-5f);
        float previous = at;
        for (int i = 1; i <= 100; ++i) {
            const float x = threshold + (1.0f - threshold) * float(i) / 100.0f;
            const float value = GradeCurves::softKnee(x, gain, knee);
            QVERIFY(value > previous - 1e-3f);
            QVERIFY(value < 1.001f);
            previous = value;
        }
    }
    QCOMPARE(GradeCurves::softKnee(0.9f, 1.5f, 0.0f), 0.9f * 1.5f);
}

void TestGradeTables::temperatureAtBothEndsOfTheRange()
{
    const ExposureConversion identity;
    auto table = std::make_unique<GradeTables::RgbTable>();
    // With identity conversions the only loss is the 6/65536 log quantisation.
    const float tolerance = 2e-4f;

    GradeCurves::buildExposureTable(0.0f, 12000.0f, &identity, *table);
    for (int i = 0; i < GradeTables::TableSize; i += 15) {
        const float x = float(i) / 4095.0f;
        QVERIFY(std::abs(entry(*table, i, 0) - std::min(GradeCurves::softKnee(x, 1.353f, 0.08f), 1.0f)) < tolerance);
        QVERIFY(std::abs(entry(*table, i, 1) - x) < tolerance);
        QVERIFY(std::abs(entry(*table, i, 2) - 0.7f * x) < tolerance);
    }

    GradeCurves::buildExposureTable(0.0f, 1700.0f, &identity, *table);
    for (int i = 0; i < GradeTables::TableSize; i += 15) {
        const float x = float(i) / 4095.0f;
        QVERIFY(std::abs(entry(*table, i, 0) - 0.5f * x) < tolerance);
        QVERIFY(std::abs(entry(*table, i, 1) - std::min(GradeCurves::softKnee(x, 1.1f, 0.08f), 1.0f)) < tolerance);
        QVERIFY(std::abs(entry(*table, i, 2) - std::min(GradeCurves::softKnee(x, 1.8f, 0.08f), 1.0f)) < tolerance);
    }

    // Halfway to warm: blue halfway between x and 0.7 x.
    GradeCurves::buildExposureTable(0.0f, 8800.0f, &identity, *table);
    QVERIFY(std::abs(entry(*table, 2048, 2) - 0.85f * 2048.0f / 4095.0f) < tolerance);

    // Neutral: identity.
    GradeCurves::buildExposureTable(0.0f, 5600.0f, &identity, *table);
    for (int i = 0; i < GradeTables::TableSize; ++i)
        QVERIFY(std::abs(entry(*table, i, 1) - float(i) / 4095.0f) < tolerance);
}

void TestGradeTables::conversionFilesAreUsedPerChannel()
{
    const QString folder = Test::makeTempFolder(QStringLiteral("conversion"));
    writeConversionPair(folder);
    ExposureConversion conversion;
    QVERIFY(conversion.load(folder));
    QVERIFY(conversion.isLoaded());

    auto table = std::make_unique<GradeTables::RgbTable>();
    GradeCurves::buildExposureTable(0.0f, 5600.0f, &conversion, *table);
    for (int i = 0; i < GradeTables::TableSize; i += 7) {
        const float x = float(i) / 4095.0f;
        QVERIFY(std::abs(entry(*table, i, 0) - x) < 2e-4f);
        QVERIFY(std::abs(entry(*table, i, 1) - 0.5f * x) < 2e-4f);
        QVERIFY(std::abs(entry(*table, i, 2) - x) < 2e-4f);
    }
    // +0.3 decades moves every code value up by 0.3 / 6 through these tables.
    GradeCurves::buildExposureTable(0.3f, 5600.0f, &conversion, *table);
    QVERIFY(std::abs(entry(*table, 1000, 0) - (1000.0f / 4095.0f + 0.05f)) < 2e-4f);
}

void TestGradeTables::exposureClampsAtTheLogRange()
{
    const QString folder = Test::makeTempFolder(QStringLiteral("clamps"));
    writeConversionPair(folder);
    ExposureConversion conversion;
    QVERIFY(conversion.load(folder));
    auto table = std::make_unique<GradeTables::RgbTable>();

    // +1.5 decades: everything from code 0.75 up hits the 1000 clamp and takes
    // the log-to-code table's last entry.
    GradeCurves::buildExposureTable(1.5f, 5600.0f, &conversion, *table);
    const float last = logToCodeFixture(65535, 0);
    for (int i = 3100; i < GradeTables::TableSize; ++i)
        QCOMPARE(entry(*table, i, 0), last);
    QVERIFY(std::abs(entry(*table, 0, 0) - 0.25f) < 2e-4f);

    // -1.5 decades: the bottom quarter lands on the 0.001 clamp, entry 0.
    GradeCurves::buildExposureTable(-1.5f, 5600.0f, &conversion, *table);
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(entry(*table, i, 2), logToCodeFixture(0, 2));
    QVERIFY(std::abs(entry(*table, 4095, 2) - 0.75f) < 2e-4f);
}

void TestGradeTables::missingOrShortConversionFilesFallBackToIdentity()
{
    auto table = std::make_unique<GradeTables::RgbTable>();
    auto expectIdentity = [&](const ExposureConversion& conversion) {
        QVERIFY(!conversion.isLoaded());
        QVERIFY(conversion.codeToLog(0) == nullptr);
        GradeCurves::buildExposureTable(0.0f, 5600.0f, &conversion, *table);
        for (int i = 0; i < GradeTables::TableSize; i += 5) {
            for (int c = 0; c < 3; ++c)
                QVERIFY(std::abs(entry(*table, i, c) - float(i) / 4095.0f) < 2e-4f);
        }
    };

    const QString missing = Test::makeTempFolder(QStringLiteral("missing"));
    ExposureConversion none;
    QVERIFY(!none.load(missing));
    expectIdentity(none);

    // Only the log-to-code file missing: the code-to-log file alone would
    // leave log values in the picture, so neither is used.
    const QString half = Test::makeTempFolder(QStringLiteral("half"));
    writeConversionPair(half, 65536, 0);
    ExposureConversion onlyCodeToLog;
    QVERIFY(!onlyCodeToLog.load(half));
    expectIdentity(onlyCodeToLog);

    // One entry short (786,420 bytes), and one byte short.
    const QString shortFolder = Test::makeTempFolder(QStringLiteral("short"));
    writeConversionPair(shortFolder, 65535, 65536);
    ExposureConversion shortFile;
    QVERIFY(!shortFile.load(shortFolder));
    expectIdentity(shortFile);

    const QString oneByte = Test::makeTempFolder(QStringLiteral("onebyte"));
    writeConversionPair(oneByte);
    QFile file(oneByte + "/" + ExposureConversion::logToCodeFileName());
    QVERIFY(file.resize(ExposureConversion::FileSize - 1));
    ExposureConversion oneByteShort;
    QVERIFY(!oneByteShort.load(oneByte));
    expectIdentity(oneByteShort);

    // A failed reload drops a previously loaded pair.
    ExposureConversion reloaded;
    QVERIFY(reloaded.load(oneByte) == false);
    QVERIFY(!reloaded.isLoaded());
}

void TestGradeTables::onlyTheFirst65536EntriesAreRead()
{
    const QString folder = Test::makeTempFolder(QStringLiteral("long"));
    writeConversionFile(folder + "/" + ExposureConversion::codeToLogFileName(), 65536, codeToLogFixture, 4096);
    writeConversionFile(folder + "/" + ExposureConversion::logToCodeFileName(), 70000, logToCodeFixture);
    ExposureConversion conversion;
    QVERIFY(conversion.load(folder));
    QCOMPARE(conversion.codeToLog(2)[65535], codeToLogFixture(65535, 2));
    QCOMPARE(conversion.logToCode(1)[65535], logToCodeFixture(65535, 1));
    QCOMPARE(conversion.logToCode(0)[12345], logToCodeFixture(12345, 0));
    // The extra bytes (NaN patterns) never reach the table.
    auto table = std::make_unique<GradeTables::RgbTable>();
    GradeCurves::buildExposureTable(1.5f, 5600.0f, &conversion, *table);
    for (float value : *table)
        QVERIFY(std::isfinite(value));
}

void TestGradeTables::liftGammaGain()
{
    GradeTables::ScalarTable table;
    GradeCurves::buildLiftGammaGainTable(1.0, 1.0, 1.0, table);
    for (int i = 0; i < GradeTables::TableSize; ++i)
        QCOMPARE(table[size_t(i)], float(i) / 4096.0f);

    // Lift 0.5 crushes everything up to x = 0.5 to black.
    GradeCurves::buildLiftGammaGainTable(0.5, 1.0, 1.0, table);
    for (int i = 0; i <= 2048; ++i)
        QCOMPARE(table[size_t(i)], 0.0f);
    QCOMPARE(table[2049], float(2.0 * 2049.0 / 4096.0 - 1.0));

    // Lift 1.5 raises the blacks to 1 - 1/1.5.
    GradeCurves::buildLiftGammaGainTable(1.5, 1.0, 1.0, table);
    QVERIFY(std::abs(table[0] - 1.0f / 3.0f) < 1e-6f);

    // Gamma 1.5: base^0.5. Gain 1.5 clips at 1.
    GradeCurves::buildLiftGammaGainTable(1.0, 1.5, 1.0, table);
    QVERIFY(std::abs(table[1024] - 0.5f) < 1e-6f);
    GradeCurves::buildLiftGammaGainTable(1.0, 1.0, 1.5, table);
    QVERIFY(std::abs(table[1024] - 0.375f) < 1e-6f);
    QCOMPARE(table[4095], 1.0f);
}

void TestGradeTables::hueDirections()
{
    auto near = [](const std::array<float, 3>& a, float r, float g, float b) {
        return std::abs(a[0] - r) < 1e-5f && std::abs(a[1] - g) < 1e-5f && std::abs(a[2] - b) < 1e-5f;
    };
    QVERIFY(near(GradeCurves::hueRGB(0.0), 0.5f, 0.0f, 1.0f));
    QVERIFY(near(GradeCurves::hueRGB(M_PI / 2), 1.0f, 0.0f, 0.0f));
    QVERIFY(near(GradeCurves::hueRGB(-M_PI / 2), 0.0f, 1.0f, 1.0f));
    // theta = pi lands past t = 1 and is pulled back to 0.99999.
    const std::array<float, 3> atPi = GradeCurves::hueRGB(M_PI);
    QVERIFY(std::abs(atPi[0] - 0.50003f) < 2e-6f);
    QCOMPARE(atPi[1], 1.0f);
    QCOMPARE(atPi[2], 0.0f);
    const std::array<float, 3> atMinusPi = GradeCurves::hueRGB(-M_PI);
    QVERIFY(std::abs(atMinusPi[0] - 0.49997f) < 2e-6f);
    QCOMPARE(atMinusPi[1], 1.0f);
    // Inside each sixth: t = 1/3 -> (1, 0, 0.5), t = -1/3 -> (0, 0.5, 1), t = -2/3 -> (0, 1, 0.5).
    const double third = 3.14159 / 3.0;
    QVERIFY(near(GradeCurves::hueRGB(third), 1.0f, 0.0f, 0.5f));
    QVERIFY(near(GradeCurves::hueRGB(-third), 0.0f, 0.5f, 1.0f));
    QVERIFY(near(GradeCurves::hueRGB(-2 * third), 0.0f, 1.0f, 0.5f));
    QVERIFY(near(GradeCurves::hueRGB(2 * third), 1.0f, 0.5f, 0.0f));
}

void TestGradeTables::colourWheels()
{
    auto table = std::make_unique<GradeTables::RgbTable>();
    GradeCurves::buildColorWheelsTable({}, {}, {}, *table);
    for (int i = 0; i < GradeTables::TableSize; ++i) {
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::abs(entry(*table, i, c) - float(i) / 4095.0f) < 1e-6f);
    }

    // Shadows wheel at full radius, theta 0 (direction (0.5, 0, 1)): black
    // becomes 1 - n with n = h * 0.75 + 1 - h; white stays white.
    GradeCurves::buildColorWheelsTable({ 1.0, 0.0 }, {}, {}, *table);
    QVERIFY(std::abs(entry(*table, 0, 0) - 0.125f) < 1e-6f);
    QCOMPARE(entry(*table, 0, 1), 0.0f);
    QVERIFY(std::abs(entry(*table, 0, 2) - 0.25f) < 1e-6f);
    QVERIFY(std::abs(entry(*table, 4095, 2) - 1.0f) < 1e-6f);

    // Midtones wheel towards red (theta pi/2): at x = 0.5 the weights are
    // S = H = 0.25 / 1.5, M = 1 / 1.5, so red gains 0.25 * (2 / 3).
    GradeCurves::buildColorWheelsTable({}, { 1.0, M_PI / 2 }, {}, *table);
    const double x = 2047.0 / 4095.0;
    const double s = (x - 1) * (x - 1), h = x * x, m = 1 - (2 * x - 1) * (2 * x - 1);
    QVERIFY(std::abs(entry(*table, 2047, 0) - float(x + 0.25 * m / (s + h + m))) < 1e-6f);
    QVERIFY(std::abs(entry(*table, 2047, 1) - float(x)) < 1e-6f);

    // Highlights wheel towards red: white clips at 1, below it red is lifted.
    GradeCurves::buildColorWheelsTable({}, {}, { 1.0, M_PI / 2 }, *table);
    QCOMPARE(entry(*table, 4095, 0), 1.0f);
    QVERIFY(entry(*table, 3000, 0) > entry(*table, 3000, 1) + 0.05f);
}

void TestGradeTables::saturationMatrices()
{
    GradeTables::Matrix matrix;
    GradeCurves::buildSaturationMatrix(1.0, matrix);
    QCOMPARE(matrix, GradeCurves::identityMatrix());

    const std::array<float, 3> colour = { 0.9f, 0.3f, 0.1f };
    const float luma = 0.2126f * 0.9f + 0.7152f * 0.3f + 0.0722f * 0.1f;
    GradeCurves::buildSaturationMatrix(0.0, matrix);
    for (float channel : timesMatrix(colour, matrix))
        QVERIFY(std::abs(channel - luma) < 1e-6f);
    QCOMPARE(timesMatrix(colour, matrix), timesMatrix(colour, GradeCurves::blackAndWhiteMatrix()));

    GradeCurves::buildSaturationMatrix(2.0, matrix);
    const std::array<float, 3> doubled = timesMatrix(colour, matrix);
    for (int c = 0; c < 3; ++c)
        QVERIFY(std::abs((doubled[size_t(c)] - luma) - 2.0f * (colour[size_t(c)] - luma)) < 1e-6f);
    QCOMPARE(matrix[15], 1.0f);

    QVERIFY(GradeTables::isBlackAndWhiteStock(QStringLiteral("KodakT-max")));
    QVERIFY(GradeTables::isBlackAndWhiteStock(QStringLiteral("IlfordDelta3200")));
    QVERIFY(!GradeTables::isBlackAndWhiteStock(QStringLiteral("5207")));
}

void TestGradeTables::levelsOrdering()
{
    auto ordered = [](float b, float m, float w) { return GradeCurves::orderLevels({ b, m, w }); };
    // Black = white at 0.3: white is not above 0.5, so mid and white move up.
    HistogramSliderData result = ordered(0.3f, 0.5f, 0.3f);
    QCOMPARE(result.black, 0.3f);
    QCOMPARE(result.mid, 0.3f + 0.001f);
    QCOMPARE(result.white, 0.3f + 0.002f);
    // Black = white at 0.9: mid and black move down.
    result = ordered(0.9f, 0.5f, 0.9f);
    QCOMPARE(result.white, 0.9f);
    QCOMPARE(result.mid, 0.9f - 0.001f);
    QCOMPARE(result.black, 0.9f - 0.002f);
    // Enough room: mid is pushed inside (black, white).
    result = ordered(0.2f, 0.1f, 0.8f);
    QCOMPARE(result.mid, 0.2f + 0.001f);
    result = ordered(0.2f, 0.95f, 0.8f);
    QCOMPARE(result.mid, 0.8f - 0.001f);
    QCOMPARE(result.black, 0.2f);
    result = ordered(0.2f, 0.4f, 0.8f);
    QCOMPARE(result.mid, 0.4f);
}

void TestGradeTables::levelsTables()
{
    GradeTables::ScalarTable table;
    GradeCurves::buildLevelsTable({}, table);
    QVERIFY(table[0] < 1.0f / 4096.0f);
    QVERIFY(table[4095] > 0.999f);
    for (int i = 1; i < GradeTables::TableSize; ++i) {
        QVERIFY(table[size_t(i)] >= table[size_t(i - 1)]);
        // Points on a straight line: the default curve is the identity.
        QVERIFY(std::abs(table[size_t(i)] - (float(i) + 0.5f) / 4096.0f) < 5e-4f);
    }

    // Black 0.2, mid 0.3, white 0.6: 0 below black, 0.5 at mid, 1 above white.
    GradeCurves::buildLevelsTable({ 0.2f, 0.3f, 0.6f }, table);
    for (int i = 0; i < 819; ++i)
        QCOMPARE(table[size_t(i)], 0.0f);
    QVERIFY(std::abs(table[1229] - 0.5f) < 0.01f);
    for (int i = 2458; i < GradeTables::TableSize; ++i)
        QCOMPARE(table[size_t(i)], 1.0f);
    for (int i = 820; i < 2458; ++i)
        QVERIFY(table[size_t(i)] > 0.0f && table[size_t(i)] < 1.0f);

    // Collapsed range: a step at 0.3.
    GradeCurves::buildLevelsTable({ 0.3f, 0.5f, 0.3f }, table);
    QCOMPARE(table[1200], 0.0f);
    QCOMPARE(table[1240], 1.0f);
}

void TestGradeTables::neutralExposureShortcutAndFlags()
{
    const ExposureConversion identity;
    auto tables = std::make_unique<GradeTables>(&identity);
    QCOMPARE(tables->dirtyTables(), unsigned(GradeTables::AllTables));
    tables->clearDirty(GradeTables::AllTables);
    QVERIFY(tables->isExposureNeutral());

    QVERIFY(!tables->setExposureAndKelvin(0.0f, 5600.0f));
    QCOMPARE(tables->dirtyTables(), 0u);
    QVERIFY(tables->setExposureAndKelvin(0.5f, 5600.0f));
    QVERIFY(!tables->isExposureNeutral());
    QVERIFY(tables->isDirty(GradeTables::ExposureTable));
    QVERIFY(entry(tables->exposure(), 2000, 0) > 2000.0f / 4095.0f + 0.05f);
    tables->clearDirty(GradeTables::ExposureTable);
    QVERIFY(tables->setExposureAndKelvin(0.0f, 5600.0f));
    QVERIFY(std::abs(entry(tables->exposure(), 2000, 0) - 2000.0f / 4095.0f) < 2e-4f);
    QVERIFY(!tables->setExposureAndKelvin(0.0f, 5600.0f));
    QVERIFY(tables->setExposureAndKelvin(0.0f, 5601.0f));

    tables->clearDirty(GradeTables::AllTables);
    tables->setLevels({ 0.1f, 0.5f, 0.9f });
    QCOMPARE(tables->dirtyTables(), unsigned(GradeTables::LevelsTable));
    tables->setLiftGammaGain(1.0f, 1.2f, 1.0f);
    tables->setColorWheels({}, { 0.5, 1.0 }, {});
    QCOMPARE(tables->dirtyTables(),
        unsigned(GradeTables::LevelsTable | GradeTables::LiftGammaGainTable | GradeTables::WheelsTable));
}

void TestGradeTables::bypassCopiesStayNeutral()
{
    const ExposureConversion identity;
    auto tables = std::make_unique<GradeTables>(&identity);
    const GradeTables::RgbTable neutralExposure = tables->exposure();
    const GradeTables::ScalarTable neutralLevels = tables->levels();

    ClipSettings settings;
    settings.setExposure(1.0f);
    settings.setKelvin(3000.0f);
    settings.setLift(0.7f);
    settings.setMid({ 1.0, 2.0 });
    settings.setSaturation(0.3f);
    settings.setHistogramSliderData({ 0.2f, 0.4f, 0.7f });
    tables->applySettings(settings);

    QVERIFY(tables->exposure() != neutralExposure);
    QVERIFY(tables->levels() != neutralLevels);
    QVERIFY(tables->saturationMatrix() != GradeCurves::identityMatrix());
    QCOMPARE(tables->bypassExposure(), neutralExposure);
    QCOMPARE(tables->bypassLevels(), neutralLevels);
    for (int i = 0; i < GradeTables::TableSize; ++i) {
        QCOMPARE(tables->bypassLiftGammaGain()[size_t(i)], float(i) / 4096.0f);
        QVERIFY(std::abs(entry(tables->bypassWheels(), i, 1) - float(i) / 4095.0f) < 1e-6f);
    }
}

// The composed tone table, looked up as the grading program looks it up,
// gives what looking up lift/gamma/gain, the wheels and the levels one after
// the other gives: exactly at the entry centres, closely between them.
void TestGradeTables::toneTableStandsForItsTables()
{
    GradeTables::ScalarTable lift;
    GradeCurves::buildLiftGammaGainTable(0.8, 1.3, 1.2, lift);
    GradeTables::RgbTable wheels;
    GradeCurves::buildColorWheelsTable({ 0.8, 2.0 }, { 0.6, -1.2 }, { 1.0, 0.4 }, wheels);
    GradeTables::ScalarTable levels;
    GradeCurves::buildLevelsTable({ 0.1f, 0.4f, 0.85f }, levels);
    const int n = GradeTables::TableSize;
    for (const bool withLevels : { false, true }) {
        GradeTables::RgbTable tone;
        GradeCurves::composeTone(lift, wheels, withLevels ? &levels : nullptr, tone);
        float worstAtCentres = 0.f;
        float worstBetween = 0.f;
        for (int k = 0; k <= 4 * n; ++k) {
            // Every entry centre, and three points between each pair.
            const float x = (float(k) / 4.f + 0.5f) / float(n);
            const float lifted = GradeCurves::sampleLikeTexture(lift.data(), 1, 0, x);
            for (int c = 0; c < 3; ++c) {
                float expected = GradeCurves::sampleLikeTexture(wheels.data(), 3, c, lifted);
                if (withLevels)
                    expected = GradeCurves::sampleLikeTexture(levels.data(), 1, 0, expected);
                const float error = std::abs(GradeCurves::sampleLikeTexture(tone.data(), 3, c, x) - expected);
                float& worst = k % 4 == 0 ? worstAtCentres : worstBetween;
                worst = std::max(worst, error);
            }
        }
        QCOMPARE(worstAtCentres, 0.f);
        // A tenth of an 8-bit step (where a table bends between centres).
        QVERIFY2(worstBetween < 0.1f / 255.f, qPrintable(QString::number(double(worstBetween) * 255.0)));
    }
    // The lookup itself: entry centres give the entries, halfway between two
    // centres their mean, beyond the ends the end entries.
    QCOMPARE(GradeCurves::sampleLikeTexture(lift.data(), 1, 0, 10.5f / float(n)), lift[10]);
    QCOMPARE(GradeCurves::sampleLikeTexture(lift.data(), 1, 0, 11.f / float(n)), (lift[10] + lift[11]) / 2.f);
    QCOMPARE(GradeCurves::sampleLikeTexture(wheels.data(), 3, 2, -0.5f), wheels[2]);
    QCOMPARE(GradeCurves::sampleLikeTexture(wheels.data(), 3, 1, 1.5f), wheels[size_t(n - 1) * 3 + 1]);
}

// The grading program leaves the tone table out when the tables say it is
// neutral: it must then stand for the identity (within a tenth of a step),
// and any setting that moves a picture must clear the mark.
void TestGradeTables::neutralToneIsTheIdentity()
{
    const struct
    {
        const char* change;
        void (*apply)(GradeTables&);
        bool neutral;
        bool neutralWithLevels;
    } cases[] = {
        { "defaults", [](GradeTables&) {}, true, true },
        { "lift", [](GradeTables& t) { t.setLiftGammaGain(1.05f, 1.f, 1.f); }, false, false },
        { "gamma", [](GradeTables& t) { t.setLiftGammaGain(1.f, 0.98f, 1.f); }, false, false },
        { "gain", [](GradeTables& t) { t.setLiftGammaGain(1.f, 1.f, 1.01f); }, false, false },
        { "highlights wheel",
            [](GradeTables& t) {
                t.setColorWheels({}, {}, { 0.2, 1.0 });
            },
            false, false },
        // A hue with no strength leaves the picture alone.
        { "wheel hues alone",
            [](GradeTables& t) {
                t.setColorWheels({ 0.0, 2.0 }, { 0.0, -1.0 }, {});
            },
            true, true },
        { "levels",
            [](GradeTables& t) {
                t.setLevels({ 0.f, 0.5f, 0.9f });
            },
            true, false },
        { "everything back",
            [](GradeTables& t) {
                t.setLiftGammaGain(1.2f, 1.1f, 0.9f);
                t.setLevels({ 0.1f, 0.5f, 1.f });
                t.setLiftGammaGain(1.f, 1.f, 1.f);
                t.setLevels({});
            },
            true, true },
    };
    for (const auto& c : cases) {
        GradeTables tables;
        c.apply(tables);
        QVERIFY2(tables.isToneNeutral(false) == c.neutral, c.change);
        QVERIFY2(tables.isToneNeutral(true) == c.neutralWithLevels, c.change);
        for (const bool withLevels : { false, true }) {
            GradeTables::RgbTable tone;
            GradeCurves::composeTone(
                tables.liftGammaGain(), tables.wheels(), withLevels ? &tables.levels() : nullptr, tone);
            float worst = 0.f;
            for (int k = 0; k <= 10000; ++k) {
                const float x = float(k) / 10000.f;
                for (int channel = 0; channel < 3; ++channel)
                    worst = std::max(worst, std::abs(GradeCurves::sampleLikeTexture(tone.data(), 3, channel, x) - x));
            }
            // Neutral: the identity to within the sampling; otherwise a change
            // of at least a level somewhere.
            if (tables.isToneNeutral(withLevels))
                QVERIFY2(worst < 0.1f / 255.f, qPrintable(QStringLiteral("%1: %2").arg(c.change).arg(worst * 255.f)));
            else
                QVERIFY2(worst > 1.f / 255.f, qPrintable(QStringLiteral("%1: %2").arg(c.change).arg(worst * 255.f)));
        }
    }
}

EMULSA_TEST_MAIN(TestGradeTables)
#include "tst_gradetables.moc"
