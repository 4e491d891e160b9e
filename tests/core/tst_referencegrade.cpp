#include "common/TestEnvironment.h"

#include "core/ExposureConversion.h"
#include "core/ReferenceGrade.h"

#include <QRandomGenerator>

#include <cmath>
#include <memory>
#include <vector>

using namespace Emulsa;

namespace {

using Rgba = ReferenceGrade::Rgba;
using Rgb = ReferenceGrade::Rgb;

bool near(float a, float b, float tolerance)
{
    return std::abs(a - b) <= tolerance;
}

bool nearRgb(const Rgba& a, float r, float g, float b, float tolerance)
{
    return near(a[0], r, tolerance) && near(a[1], g, tolerance) && near(a[2], b, tolerance);
}

// A 2x2x2 stock table whose texels are all one colour.
std::vector<float> constantStockTable(float r, float g, float b)
{
    std::vector<float> table;
    for (int i = 0; i < 8; ++i)
        table.insert(table.end(), { r, g, b });
    return table;
}

} // namespace

class TestReferenceGrade : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void neutralGradePassesThrough();
    void bypassIgnoresTheGrade();
    void linearSamplingAtTexelCentres();
    void trilinearSamplingMatchesHandValues();
    void bilinearRectangleSampling();
    void hslRoundTrip();
    void stockStageAmounts();
    void grainStage();
    void grainPositionOffsetAndWrap();
    void blackAndWhiteSaturationAndLevels();
    void colourOrder();
    void yuy2KnownValues();
    void yuy2RoundTrips_data();
    void yuy2RoundTrips();
    void yuy2ChromaComesFromTheFirstPixel();

private:
    ExposureConversion m_identity;
    std::unique_ptr<GradeTables> m_tables;
    ReferenceGradeInputs m_neutral;

    // The neutral inputs with grain of the given response curve (256 RGB
    // entries) and width x height RGB map at amount 1.
    ReferenceGradeInputs withGrain(
        const std::vector<float>& curve, const std::vector<float>& map, int width, int height) const
    {
        ReferenceGradeInputs inputs = m_neutral;
        inputs.grainCurve = curve.data();
        inputs.grainMap = map.data();
        inputs.grainWidth = width;
        inputs.grainHeight = height;
        inputs.grainAmount = 1.0f;
        return inputs;
    }
};

void TestReferenceGrade::init()
{
    m_tables = std::make_unique<GradeTables>(&m_identity);
    m_neutral = ReferenceGradeInputs::fromTables(*m_tables, ClipSettings());
    m_neutral.stockLUTAmount = 0.0f;
    m_neutral.grainAmount = 0.0f;
}

void TestReferenceGrade::neutralGradePassesThrough()
{
    const int width = 37;
    const int height = 11;
    std::vector<float> image(size_t(width * height * 4));
    QRandomGenerator random(7);
    for (float& value : image)
        value = float(random.generateDouble());
    std::vector<float> graded(image.size());
    ReferenceGrade::gradeRgba(image.data(), graded.data(), width, height, m_neutral);
    // Table interpolation (entries at i / 4095 sampled at texel centres) and
    // the levels buckets cost a little under 1e-3.
    for (size_t i = 0; i < image.size(); ++i)
        QVERIFY2(near(graded[i], image[i], 1e-3f), qPrintable(QString::number(i)));

    // In place, 3 floats per pixel.
    std::vector<float> rgb = { 0.0f, 0.5f, 1.0f, 0.25f, 0.75f, 0.1f };
    const std::vector<float> original = rgb;
    ReferenceGrade::gradeRgb(rgb.data(), rgb.data(), 2, 1, m_neutral);
    for (size_t i = 0; i < rgb.size(); ++i)
        QVERIFY(near(rgb[i], original[i], 1e-3f));

    QImage picture(5, 3, QImage::Format_RGB32);
    picture.fill(QColor(10, 128, 250));
    const QImage result = ReferenceGrade::gradeImage(picture, m_neutral);
    QCOMPARE(result.format(), QImage::Format_RGBA8888);
    QCOMPARE(result.size(), picture.size());
    QCOMPARE(result.pixelColor(4, 2), QColor(10, 128, 250));
    QVERIFY(ReferenceGrade::gradeImage(QImage(), m_neutral).isNull());
}

void TestReferenceGrade::bypassIgnoresTheGrade()
{
    ClipSettings settings;
    settings.setExposure(0.8f);
    settings.setKelvin(2500.0f);
    settings.setGain(1.4f);
    settings.setSaturation(0.2f);
    settings.setStockName(QStringLiteral("KodakTriX"));
    m_tables->applySettings(settings);
    const Rgba colour = { 0.6f, 0.3f, 0.2f, 1.0f };

    const ReferenceGradeInputs graded = ReferenceGradeInputs::fromTables(*m_tables, settings);
    QCOMPARE(graded.blackAndWhiteMatrix, GradeCurves::blackAndWhiteMatrix());
    QCOMPARE(graded.grainAmount, 1.0f);
    const Rgba gradedColour = ReferenceGrade::gradePixel(colour, 0, 0, graded);
    QVERIFY(near(gradedColour[0], gradedColour[1], 1e-6f)); // black and white
    QVERIFY(!near(gradedColour[0], 0.6f, 0.05f));

    const ReferenceGradeInputs bypass = ReferenceGradeInputs::fromTables(*m_tables, settings, true);
    QCOMPARE(bypass.stockLUTAmount, 0.0f);
    QVERIFY(!bypass.levelsEnabled);
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(colour, 0, 0, bypass), 0.6f, 0.3f, 0.2f, 5e-4f));
}

void TestReferenceGrade::linearSamplingAtTexelCentres()
{
    const float texels[] = { 0.0f, 10.0f, 20.0f, 40.0f };
    QCOMPARE(ReferenceGrade::sample1D(texels, 4, 1, 0, 0.375f), 10.0f); // centre of texel 1
    QCOMPARE(ReferenceGrade::sample1D(texels, 4, 1, 0, 0.5f), 15.0f);
    QCOMPARE(ReferenceGrade::sample1D(texels, 4, 1, 0, 0.75f), 30.0f);
    QVERIFY(near(ReferenceGrade::sample1D(texels, 4, 1, 0, 0.3f), 7.0f, 1e-5f));
    // Clamp to edge below the first and above the last centre.
    QCOMPARE(ReferenceGrade::sample1D(texels, 4, 1, 0, 0.1f), 0.0f);
    QCOMPARE(ReferenceGrade::sample1D(texels, 4, 1, 0, -3.0f), 0.0f);
    QCOMPARE(ReferenceGrade::sample1D(texels, 4, 1, 0, 1.0f), 40.0f);
    QCOMPARE(ReferenceGrade::sample1D(texels, 4, 1, 0, 7.0f), 40.0f);
    // Interleaved components: the second column of two.
    const float pairs[] = { 1.0f, 100.0f, 2.0f, 300.0f };
    QCOMPARE(ReferenceGrade::sample1D(pairs, 2, 2, 1, 0.5f), 200.0f);
}

void TestReferenceGrade::trilinearSamplingMatchesHandValues()
{
    // 2x2x2 table, red index fastest: t(ix, iy, iz) at entry iz * 4 + iy * 2 + ix.
    const float values[8] = { 1, 2, 3, 5, 7, 11, 13, 17 };
    std::vector<float> table;
    for (float v : values)
        table.insert(table.end(), { v, 2.0f * v, -v });
    // (0.4, 0.6, 0.7) on two texels: weights 0.3 (x), 0.7 (y), 0.9 (z).
    // z0: (1*.7 + 2*.3)*.3 + (3*.7 + 5*.3)*.7 = 2.91
    // z1: (7*.7 + 11*.3)*.3 + (13*.7 + 17*.3)*.7 = 12.4
    // 2.91 * .1 + 12.4 * .9 = 11.451
    const Rgb sample = ReferenceGrade::sample3D(table.data(), 2, 0.4f, 0.6f, 0.7f);
    QVERIFY(near(sample[0], 11.451f, 1e-4f));
    QVERIFY(near(sample[1], 22.902f, 2e-4f));
    QVERIFY(near(sample[2], -11.451f, 1e-4f));
    // Outside the centres every axis clamps: x -> 0, y -> 1, z centre 0.
    QCOMPARE(ReferenceGrade::sample3D(table.data(), 2, -1.0f, 2.0f, 0.25f)[0], 3.0f);
    QCOMPARE(ReferenceGrade::sample3D(table.data(), 2, 0.75f, 0.25f, 0.75f)[0], 11.0f);
}

void TestReferenceGrade::bilinearRectangleSampling()
{
    // 3 x 2 map, red channel 0..5 in row order; green = 10 x red.
    std::vector<float> map;
    for (int i = 0; i < 6; ++i)
        map.insert(map.end(), { float(i), 10.0f * float(i), 0.0f });
    QCOMPARE(ReferenceGrade::sampleRect(map.data(), 3, 2, 1.5f, 0.5f)[0], 1.0f);
    QCOMPARE(ReferenceGrade::sampleRect(map.data(), 3, 2, 2.5f, 1.5f)[1], 50.0f);
    // An integer position sits between four texels: (0 + 1 + 3 + 4) / 4.
    QCOMPARE(ReferenceGrade::sampleRect(map.data(), 3, 2, 1.0f, 1.0f)[0], 2.0f);
    QCOMPARE(ReferenceGrade::sampleRect(map.data(), 3, 2, 0.0f, 0.0f)[0], 0.0f);
    QCOMPARE(ReferenceGrade::sampleRect(map.data(), 3, 2, 3.0f, 0.5f)[0], 2.0f);
}

void TestReferenceGrade::hslRoundTrip()
{
    const Rgb colours[] = { { 0.2f, 0.4f, 0.6f }, { 0.9f, 0.1f, 0.3f }, { 0.5f, 0.5f, 0.5f }, { 0.0f, 1.0f, 0.2f },
        { 0.7f, 0.7f, 0.1f } };
    for (const Rgb& colour : colours) {
        const Rgb back = ReferenceGrade::hslToRgb(ReferenceGrade::rgbToHsl(colour));
        for (int c = 0; c < 3; ++c)
            QVERIFY(near(back[size_t(c)], colour[size_t(c)], 1e-5f));
    }
    const Rgb hsl = ReferenceGrade::rgbToHsl({ 1.0f, 0.0f, 0.0f });
    QCOMPARE(hsl, (Rgb { 0.0f, 1.0f, 0.5f }));
    const Rgb blue = ReferenceGrade::rgbToHsl({ 0.0f, 0.0f, 1.0f });
    QVERIFY(near(blue[0], 2.0f / 3.0f, 1e-6f));
    QCOMPARE(ReferenceGrade::rgbToHsl({ 0.3f, 0.3f, 0.3f }), (Rgb { 0.0f, 0.0f, 0.3f }));
}

void TestReferenceGrade::stockStageAmounts()
{
    const std::vector<float> stock = constantStockTable(0.2f, 0.4f, 0.6f);
    ReferenceGradeInputs inputs = m_neutral;
    inputs.stockTable = stock.data();
    inputs.stockTableSize = 2;
    const Rgba input = { 0.9f, 0.5f, 0.3f, 0.5f };

    // Full strength, full curve: the stock's colour.
    inputs.stockLUTAmount = 1.0f;
    inputs.stockCurveAmount = 1.0f;
    Rgba out = ReferenceGrade::gradePixel(input, 0, 0, inputs);
    QVERIFY(nearRgb(out, 0.2f, 0.4f, 0.6f, 1e-3f));
    QCOMPARE(out[3], 1.0f);

    // No curve: the stock's hue and saturation with the input's lightness.
    inputs.stockCurveAmount = 0.0f;
    out = ReferenceGrade::gradePixel(input, 0, 0, inputs);
    const Rgb outHsl = ReferenceGrade::rgbToHsl({ out[0], out[1], out[2] });
    const Rgb stockHsl = ReferenceGrade::rgbToHsl({ 0.2f, 0.4f, 0.6f });
    QVERIFY(near(outHsl[2], 0.6f, 1e-3f)); // (0.9 + 0.3) / 2
    QVERIFY(near(outHsl[0], stockHsl[0], 1e-3f));
    QVERIFY(near(outHsl[1], stockHsl[1], 2e-3f));

    // Half strength: halfway to the stock colour.
    inputs.stockLUTAmount = 0.5f;
    inputs.stockCurveAmount = 1.0f;
    out = ReferenceGrade::gradePixel(input, 0, 0, inputs);
    QVERIFY(nearRgb(out, 0.55f, 0.45f, 0.45f, 1e-3f));

    // A grey table on a grey input, no curve: stays that grey.
    const std::vector<float> grey = constantStockTable(0.8f, 0.8f, 0.8f);
    inputs.stockTable = grey.data();
    inputs.stockLUTAmount = 1.0f;
    inputs.stockCurveAmount = 0.0f;
    out = ReferenceGrade::gradePixel({ 0.3f, 0.3f, 0.3f, 1.0f }, 0, 0, inputs);
    QVERIFY(nearRgb(out, 0.3f, 0.3f, 0.3f, 1e-3f));

    // Amount 0 leaves the pixel (and its alpha) alone even with a table bound.
    inputs.stockLUTAmount = 0.0f;
    out = ReferenceGrade::gradePixel(input, 0, 0, inputs);
    QVERIFY(nearRgb(out, 0.9f, 0.5f, 0.3f, 1e-3f));
    QCOMPARE(out[3], 0.5f);
}

void TestReferenceGrade::grainStage()
{
    std::vector<float> curve(256 * 3, 0.1f);
    std::vector<float> half(4 * 4 * 3, 0.5f);
    ReferenceGradeInputs inputs = withGrain(curve, half, 4, 4);
    const Rgba input = { 0.4f, 0.5f, 0.6f, 1.0f };
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(input, 2, 3, inputs), 0.4f, 0.5f, 0.6f, 1e-3f));

    // Grain 0.7 with a flat response of 0.1: luma share: 0.2 * 0.06, colour
    // share: 0.2 * 0.04, +0.02 on every channel.
    std::vector<float> bright(4 * 4 * 3, 0.7f);
    inputs.grainMap = bright.data();
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(input, 2, 3, inputs), 0.42f, 0.52f, 0.62f, 1e-3f));
    inputs.grainAmount = 2.0f;
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(input, 2, 3, inputs), 0.44f, 0.54f, 0.64f, 1e-3f));

    // The colourfulness moves response from the common part to the channels:
    // with a red-only response nothing is common and only red moves.
    std::vector<float> redOnly(256 * 3, 0.0f);
    for (int i = 0; i < 256; ++i)
        redOnly[size_t(i * 3)] = 0.1f;
    inputs.grainCurve = redOnly.data();
    inputs.grainAmount = 1.0f;
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(input, 2, 3, inputs), 0.42f, 0.5f, 0.6f, 1e-3f));

    // The result is clamped.
    inputs.grainCurve = curve.data();
    inputs.grainAmount = 2.0f;
    const Rgba top = ReferenceGrade::gradePixel({ 1.0f, 1.0f, 1.0f, 1.0f }, 0, 0, inputs);
    QVERIFY(top[0] <= 1.0f && top[0] > 0.999f);
}

void TestReferenceGrade::grainPositionOffsetAndWrap()
{
    // One-row map 0.5, 0.7, 0.9, 0.5. Pixel x samples at integer position
    // x + 1 (+ offset) modulo 4, between two texels.
    std::vector<float> map;
    for (float v : { 0.5f, 0.7f, 0.9f, 0.5f })
        map.insert(map.end(), { v, v, v });
    std::vector<float> curve(256 * 3, 0.1f);
    ReferenceGradeInputs inputs = withGrain(curve, map, 4, 1);
    const Rgba grey = { 0.5f, 0.5f, 0.5f, 1.0f };
    // Each 0.1 of grain above 0.5 adds 0.01 with this response.
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(grey, 0, 0, inputs), 0.51f, 0.51f, 0.51f, 1e-3f));
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(grey, 1, 5, inputs), 0.53f, 0.53f, 0.53f, 1e-3f));
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(grey, 2, 0, inputs), 0.52f, 0.52f, 0.52f, 1e-3f));
    // Offset 2: pixel 1 lands on position 4, which wraps to 0 (texel 0 only).
    inputs.grainOffsetX = 2.0f;
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(grey, 1, 0, inputs), 0.5f, 0.5f, 0.5f, 1e-3f));
    // The map tiles: pixel 4 behaves like pixel 0.
    inputs.grainOffsetX = 0.0f;
    QCOMPARE(ReferenceGrade::gradePixel(grey, 4, 0, inputs), ReferenceGrade::gradePixel(grey, 0, 0, inputs));
}

void TestReferenceGrade::blackAndWhiteSaturationAndLevels()
{
    ReferenceGradeInputs inputs = m_neutral;
    inputs.blackAndWhiteMatrix = GradeCurves::blackAndWhiteMatrix();
    const Rgba colour = { 0.8f, 0.2f, 0.4f, 1.0f };
    const float luma = 0.2126f * 0.8f + 0.7152f * 0.2f + 0.0722f * 0.4f;
    QVERIFY(nearRgb(ReferenceGrade::gradePixel(colour, 0, 0, inputs), luma, luma, luma, 1e-3f));

    inputs = m_neutral;
    GradeCurves::buildSaturationMatrix(2.0, inputs.saturationMatrix);
    const Rgba muted = { 0.6f, 0.4f, 0.5f, 1.0f };
    const float mutedLuma = 0.2126f * 0.6f + 0.7152f * 0.4f + 0.0722f * 0.5f;
    const Rgba saturated = ReferenceGrade::gradePixel(muted, 0, 0, inputs);
    QVERIFY(nearRgb(saturated, 1.2f - mutedLuma, 0.8f - mutedLuma, 1.0f - mutedLuma, 1e-3f));

    // Levels 0.2 / 0.3 / 0.6: input 0.3 maps to about 0.5, input 0.1 to 0, 0.7 to 1.
    m_tables->setLevels({ 0.2f, 0.3f, 0.6f });
    inputs = ReferenceGradeInputs::fromTables(*m_tables, ClipSettings());
    inputs.stockLUTAmount = 0.0f;
    inputs.grainAmount = 0.0f;
    const Rgba levelled = ReferenceGrade::gradePixel({ 0.3f, 0.1f, 0.7f, 1.0f }, 0, 0, inputs);
    QVERIFY(nearRgb(levelled, 0.5f, 0.0f, 1.0f, 0.01f));
    inputs.levelsEnabled = false;
    QVERIFY(nearRgb(ReferenceGrade::gradePixel({ 0.3f, 0.1f, 0.7f, 1.0f }, 0, 0, inputs), 0.3f, 0.1f, 0.7f, 1e-3f));
}

void TestReferenceGrade::colourOrder()
{
    ReferenceGradeInputs inputs = m_neutral;
    const Rgba colour = { 0.1f, 0.4f, 0.9f, 0.6f };
    inputs.colourOrder = 2;
    const Rgba bgra = ReferenceGrade::gradePixel(colour, 0, 0, inputs);
    QVERIFY(nearRgb(bgra, 0.9f, 0.4f, 0.1f, 1e-3f));
    QCOMPARE(bgra[3], 0.6f);
    inputs.colourOrder = 1;
    const Rgba argb = ReferenceGrade::gradePixel(colour, 0, 0, inputs);
    QCOMPARE(argb[0], 0.6f);
    QVERIFY(near(argb[1], 0.1f, 1e-3f) && near(argb[3], 0.9f, 1e-3f));
}

void TestReferenceGrade::yuy2KnownValues()
{
    // Limited range (16, 128, 235, 128): black even pixel, white odd pixel.
    const Rgb even = ReferenceGrade::yuy2PixelToRgb(16, 128, 235, 128, false, false);
    const Rgb odd = ReferenceGrade::yuy2PixelToRgb(16, 128, 235, 128, true, false);
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(even[size_t(c)], 0.0f);
        QVERIFY(near(odd[size_t(c)], 1.0f, 1e-4f));
    }
    // Full range Y 255 is white; limited range below 16 goes negative (no clamp).
    const Rgb full = ReferenceGrade::yuy2PixelToRgb(255, 128, 0, 128, false, true);
    QVERIFY(near(full[0], 1.0f, 1e-6f) && near(full[2], 1.0f, 1e-6f));
    QVERIFY(ReferenceGrade::yuy2PixelToRgb(0, 128, 0, 128, false, false)[1] < 0.0f);

    // White packs to Y 235, U = V = 128 in limited range, 255 in full range.
    const std::array<float, 4> white = ReferenceGrade::rgbPairToYuy2({ 1, 1, 1 }, { 1, 1, 1 }, false);
    QVERIFY(near(white[0], 235.0f, 0.01f) && near(white[2], 235.0f, 0.01f));
    QVERIFY(near(white[1], 128.0f, 0.01f) && near(white[3], 128.0f, 0.01f));
    uint8_t packed[4];
    const float pixels[6] = { 1, 1, 1, 1, 1, 1 };
    QVERIFY(ReferenceGrade::rgbToYuy2(pixels, 2, 1, true, packed));
    QCOMPARE(packed[0], uint8_t(255));
    QCOMPARE(packed[1], uint8_t(128));
    QCOMPARE(packed[3], uint8_t(128));

    // Odd widths and missing buffers are refused.
    float rgb[9];
    uint8_t yuy2[6] = {};
    QVERIFY(!ReferenceGrade::yuy2ToRgb(yuy2, 3, 1, false, rgb));
    QVERIFY(!ReferenceGrade::rgbToYuy2(rgb, 3, 1, false, yuy2));
    QVERIFY(!ReferenceGrade::yuy2ToRgb(nullptr, 2, 1, false, rgb));
}

void TestReferenceGrade::yuy2RoundTrips_data()
{
    QTest::addColumn<bool>("fullRange");
    QTest::addColumn<float>("level");
    for (bool fullRange : { false, true }) {
        const char* range = fullRange ? "full" : "limited";
        QTest::addRow("%s black", range) << fullRange << 0.0f;
        QTest::addRow("%s grey", range) << fullRange << 0.5f;
        QTest::addRow("%s white", range) << fullRange << 1.0f;
    }
}

void TestReferenceGrade::yuy2RoundTrips()
{
    QFETCH(bool, fullRange);
    QFETCH(float, level);
    const int width = 4;
    const int height = 2;
    std::vector<float> rgb(size_t(width * height * 3), level);
    std::vector<uint8_t> yuy2(size_t(width * height * 2), 0xAB);
    QVERIFY(ReferenceGrade::rgbToYuy2(rgb.data(), width, height, fullRange, yuy2.data()));
    QCOMPARE(int(yuy2[1]), 128);
    QCOMPARE(int(yuy2[3]), 128);
    const int expectedY = int(std::lround((fullRange ? 255.0f : 219.0f) * level + (fullRange ? 0.0f : 16.0f)));
    QVERIFY(std::abs(int(yuy2[0]) - expectedY) <= 1);
    QCOMPARE(yuy2[yuy2.size() - 2], yuy2[0]);

    std::vector<float> back(rgb.size(), -1.0f);
    QVERIFY(ReferenceGrade::yuy2ToRgb(yuy2.data(), width, height, fullRange, back.data()));
    // One code value of luma (limited range: 255/219 of one step).
    for (float value : back)
        QVERIFY2(near(value, level, 1.2f / 219.0f), qPrintable(QString::number(value)));
}

void TestReferenceGrade::yuy2ChromaComesFromTheFirstPixel()
{
    const float pair[6] = { 1, 0, 0, 0, 0, 1 }; // red, blue
    const float reds[6] = { 1, 0, 0, 1, 0, 0 };
    uint8_t mixed[4];
    uint8_t red[4];
    QVERIFY(ReferenceGrade::rgbToYuy2(pair, 2, 1, false, mixed));
    QVERIFY(ReferenceGrade::rgbToYuy2(reds, 2, 1, false, red));
    QCOMPARE(mixed[1], red[1]);
    QCOMPARE(mixed[3], red[3]);
    QVERIFY(mixed[2] < red[2]); // blue is darker than red
    QCOMPARE(int(red[3]), 240); // 128 + 112.439 * 255 / 256
    // Unpacking a pair shares its chroma: the second pixel comes back reddish.
    float back[6];
    QVERIFY(ReferenceGrade::yuy2ToRgb(mixed, 2, 1, false, back));
    QVERIFY(near(back[0], 1.0f, 0.02f));
    QVERIFY(back[3] > back[5]);
}

EMULSA_TEST_MAIN(TestReferenceGrade)
#include "tst_referencegrade.moc"
