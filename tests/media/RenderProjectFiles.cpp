#include "RenderProjectFiles.h"

#include "common/RendererRun.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include <QCryptographicHash>
#include <QUuid>
#include <QtTest>

namespace Emulsa::Test {

// One clip of a project file as the application writes it; only the values
// the test varies are parameters. Grain (unless asked for) and the stock are
// off so that the frame index stays readable, and the colour temperature
// tells the grades apart. `effects`: elements written after Original (the
// film effect amounts).
QByteArray projectItem(int position, const QString& path, int in, int out, int kelvin, const QByteArray& profile,
    int grain, const QString& effects)
{
    const QByteArray id = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5).toHex();
    return QStringLiteral(R"(        <SequenceItem position="%1">
            <AssetUUID>%2</AssetUUID>
            <AssetPath>%3</AssetPath>
            <SequenceUUID>%4</SequenceUUID>
            <StartFrame>%5</StartFrame>
            <EndFrame>%6</EndFrame>
            <Current>0</Current>
            <PresetUUID></PresetUUID>
            <ClipSettings>
                <StockName>5207</StockName>
                <ProfileID>%8</ProfileID>
                <CameraModel>Other Generic</CameraModel>
                <CameraID>GEN0</CameraID>
                <StockAmount>0</StockAmount>
                <CurveAmount>0</CurveAmount>
                <GrainAmount>%9</GrainAmount>
                <GrainScale>35 mm Full Frame</GrainScale>
                <Exposure>0.000000</Exposure>
                <Kelvin>%7.000000</Kelvin>
                <ColorWheels>
                    <Low><Radius>0.000000</Radius><Theta>0.000000</Theta></Low>
                    <Mid><Radius>0.000000</Radius><Theta>0.000000</Theta></Mid>
                    <High><Radius>0.000000</Radius><Theta>0.000000</Theta></High>
                </ColorWheels>
                <Lift>1.000000</Lift>
                <Gamma>1.000000</Gamma>
                <Gain>1.000000</Gain>
                <Saturation>1.000000</Saturation>
                <Histogram><Black>0.000000</Black><Mid>0.500000</Mid><White>1.000000</White></Histogram>
                <Original>0</Original>%10
            </ClipSettings>
        </SequenceItem>
)")
        .arg(position)
        .arg(QString::fromLatin1(id), path.toHtmlEscaped(), QUuid::createUuid().toString())
        .arg(in)
        .arg(out)
        .arg(kelvin)
        .arg(QString::fromLatin1(profile))
        .arg(grain)
        .arg(effects)
        .toUtf8();
}

QByteArray project(const QByteArray& items, int count, const QByteArray& version)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Project>\n    <General>\n"
           "        <FileVersion>"
        + version
        + "</FileVersion>\n        <StandaloneVersion>1.02.30</StandaloneVersion>\n"
          "        <HostOS>Linux</HostOS>\n    </General>\n"
          "    <SequenceItems timeline=\"0\" total-items=\""
        + QByteArray::number(count) + "\">\n" + items + "    </SequenceItems>\n</Project>\n";
}

int RenderProjectTest::run(const QStringList& arguments, QString* output)
{
    return rendererExitCode(m_program, arguments, output);
}

RenderProjectTest::TwoClipProject RenderProjectTest::writeTwoClipProject(
    const QString& folder, int firstGrain, int secondGrain)
{
    TwoClipProject job;
    job.first = TestMedia::instance().path(TestMedia::NoAudio);
    job.second = TestMedia::instance().path(TestMedia::PlanarFloatAudio);
    const QString file = folder + QStringLiteral("/job.empf");
    if (!job.first.isEmpty() && !job.second.isEmpty()
        && writeFileBytes(file,
            project(projectItem(0, job.first, 3, 13, 2500, "825250895", firstGrain)
                    + projectItem(1, job.second, 5, 20, 11000, "825250895", secondGrain),
                2)))
        job.file = file;
    return job;
}

void RenderProjectTest::initTestCase()
{
    QVERIFY2(findBuiltRenderer(&m_program), qPrintable(m_program));
}

} // namespace Emulsa::Test
