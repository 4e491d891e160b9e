#include "GradeTestSupport.h"

#include "common/GradeCorrections.h"
#include "core/ProfileInfo.h"

#include <QtTest/QtTest>

namespace Emulsa::Test {

QByteArray twoProfileCatalogue()
{
    return QByteArray(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manufacturers>\n"
        "  <manufacturer name=\"Other\">\n   <models>\n"
        "    <model name=\"Generic\" id=\"GEN0\">\n      <profiles>\n"
        "        <profile abbr=\"null\" name=\"Standard\" bin=\"GEN\" tin=\"GENT\" id=\"OT01\"></profile>\n"
        "      </profiles>\n    </model>\n   </models>\n  </manufacturer>\n"
        "  <manufacturer name=\"Sonar\">\n   <models>\n"
        "    <model name=\"FS9\" id=\"SNF9\">\n      <profiles>\n"
        "        <profile abbr=\"null\" name=\"SLog3\" bin=\"SNB\" tin=\"SNT\" id=\"SN01\"></profile>\n"
        "      </profiles>\n    </model>\n   </models>\n  </manufacturer>\n</manufacturers>\n");
}

ClipSettings sampleGrade()
{
    ClipSettings grade;
    grade.setStockName(QStringLiteral("FujiVelvia100"));
    grade.setSourceType(ProfileInfo::packId("SN01"));
    grade.setStockLUTAmount(73);
    grade.setStockCurveAmount(12);
    grade.setGrainAmount(187);
    grade.setGrainScaleName(QStringLiteral("Super 16"));
    setCorrections(grade,
        { -0.4321f, 4321.0f, { 0.25, -1.5 }, { 0.5, 0.75 }, { 1.0, 3.0 }, 0.93f, 1.07f, 1.21f, 1.66f,
            { 0.05f, 0.45f, 0.9f } });
    grade.setOriginal(true);
    grade.setHalationAmount(35);
    grade.setBloomAmount(20);
    grade.setWeaveAmount(15);
    grade.setFlickerAmount(10);
    grade.setColourGrainAmount(60);
    return grade;
}

QByteArray sampleGradeBlock(int indent)
{
    QByteArray block = R"(<ClipSettings>
    <StockName>FujiVelvia100</StockName>
    <ProfileID>825249363</ProfileID>
    <CameraModel>Sonar FS9</CameraModel>
    <CameraID>SNF9</CameraID>
    <StockAmount>73</StockAmount>
    <CurveAmount>12</CurveAmount>
    <GrainAmount>187</GrainAmount>
    <GrainScale>Super 16</GrainScale>
    <Exposure>-0.432100</Exposure>
    <Kelvin>4321.000000</Kelvin>
    <ColorWheels>
        <Low>
            <Radius>0.250000</Radius>
            <Theta>-1.500000</Theta>
        </Low>
        <Mid>
            <Radius>0.500000</Radius>
            <Theta>0.750000</Theta>
        </Mid>
        <High>
            <Radius>1.000000</Radius>
            <Theta>3.000000</Theta>
        </High>
    </ColorWheels>
    <Lift>0.930000</Lift>
    <Gamma>1.070000</Gamma>
    <Gain>1.210000</Gain>
    <Saturation>1.660000</Saturation>
    <Histogram>
        <Black>0.050000</Black>
        <Mid>0.450000</Mid>
        <White>0.900000</White>
    </Histogram>
    <Original>1</Original>
    <HalationAmount>35</HalationAmount>
    <BloomAmount>20</BloomAmount>
    <GateWeaveAmount>15</GateWeaveAmount>
    <FlickerAmount>10</FlickerAmount>
    <ColourGrainAmount>60</ColourGrainAmount>
</ClipSettings>)";
    return block.replace("\n", "\n" + QByteArray(indent, ' '));
}

QByteArray withoutFilmEffects(QByteArray block)
{
    for (const char* element :
        { "HalationAmount", "BloomAmount", "GateWeaveAmount", "FlickerAmount", "ColourGrainAmount" }) {
        const QByteArray open = QByteArray("<") + element + ">";
        const int start = block.indexOf(open);
        if (start < 0)
            continue;
        const int end = block.indexOf(QByteArray("</") + element + ">", start) + open.size() + 1;
        // The element and the line break and indent before it.
        int lineStart = start;
        while (lineStart > 0 && (block[lineStart - 1] == ' ' || block[lineStart - 1] == '\n'))
            --lineStart;
        block.remove(lineStart, end - lineStart);
    }
    return block;
}

void compareGrades(const ClipSettings& actual, const ClipSettings& expected)
{
    QCOMPARE(actual.getStockName(), expected.getStockName());
    QCOMPARE(actual.getSourceType(), expected.getSourceType());
    QCOMPARE(actual.getStockLUTAmount(), expected.getStockLUTAmount());
    QCOMPARE(actual.getStockCurveAmount(), expected.getStockCurveAmount());
    QCOMPARE(actual.getGrainAmount(), expected.getGrainAmount());
    QCOMPARE(actual.getGrainScaleName(), expected.getGrainScaleName());
    QCOMPARE(actual.getExposure(), expected.getExposure());
    QCOMPARE(actual.getKelvin(), expected.getKelvin());
    const ColorWheelData wheels[] = { actual.getLow(), actual.getMid(), actual.getHigh() };
    const ColorWheelData wanted[] = { expected.getLow(), expected.getMid(), expected.getHigh() };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(float(wheels[i].radius), float(wanted[i].radius));
        QCOMPARE(float(wheels[i].theta), float(wanted[i].theta));
    }
    QCOMPARE(actual.getLift(), expected.getLift());
    QCOMPARE(actual.getGamma(), expected.getGamma());
    QCOMPARE(actual.getGain(), expected.getGain());
    QCOMPARE(actual.getSaturation(), expected.getSaturation());
    QCOMPARE(actual.getHistogramSliderData().black, expected.getHistogramSliderData().black);
    QCOMPARE(actual.getHistogramSliderData().mid, expected.getHistogramSliderData().mid);
    QCOMPARE(actual.getHistogramSliderData().white, expected.getHistogramSliderData().white);
    QCOMPARE(actual.getOriginal(), expected.getOriginal());
    QCOMPARE(actual.getHalationAmount(), expected.getHalationAmount());
    QCOMPARE(actual.getBloomAmount(), expected.getBloomAmount());
    QCOMPARE(actual.getWeaveAmount(), expected.getWeaveAmount());
    QCOMPARE(actual.getFlickerAmount(), expected.getFlickerAmount());
    QCOMPARE(actual.getColourGrainAmount(), expected.getColourGrainAmount());
}

} // namespace Emulsa::Test
