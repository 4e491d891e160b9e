#include "common/TestEnvironment.h"

#include "common/FfmpegTool.h"
#include "common/RenderProbe.h"
#include "common/RendererRun.h"

#include <QFileInfo>
#include <QtTest>

#include <cstdlib>

using Emulsa::Test::FfmpegTool;
using Emulsa::Test::RenderProbe;

// A look exported as a .cube LUT and applied by another tool gives the
// picture the renderer makes of the same grade without grain.
class TestLookExport : public QObject
{
    Q_OBJECT

private:
    QString m_program;
    QString m_chart;

    int render(const QStringList& arguments, QString* output)
    {
        return Emulsa::Test::rendererExitCode(m_program, arguments, output);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(Emulsa::Test::findBuiltRenderer(&m_program), qPrintable(m_program));
        // Flat colour bars, grey steps and a ramp, coded without loss in
        // 4:2:2 so both sides read the same picture.
        m_chart = Emulsa::Test::makeTempFolder(QStringLiteral("chart")) + QStringLiteral("/chart.mkv");
        const FfmpegTool::Result made = FfmpegTool::ffmpeg({ "-f", "lavfi", "-i", "smptehdbars=size=320x180:rate=25",
            "-frames:v", "1", "-c:v", "libx264", "-qp", "0", "-pix_fmt", "yuv422p", "-color_primaries", "bt709",
            "-color_trc", "bt709", "-colorspace", "bt709", m_chart });
        QVERIFY2(made.ok, qPrintable(made.errors));
    }

    void cubeMatchesTheRender_data()
    {
        QTest::addColumn<QStringList>("grade");
        QTest::newRow("colour") << QStringList { "--stock-amount", "60", "--exposure", "0.2", "--kelvin", "4800",
            "--midtones", "0.3,120", "--gamma", "1.1", "--saturation", "0.8", "--levels", "0.05,0.5,0.95" };
        QTest::newRow("black and white") << QStringList { "--stock", "KodakTriX", "--curve-amount", "70",
            "--highlights", "0.2,-120", "--lift", "1.1" };
    }

    void cubeMatchesTheRender()
    {
        QFETCH(QStringList, grade);
        const QString folder = Emulsa::Test::makeTempFolder(QStringLiteral("look"));
        const QString cube = folder + QStringLiteral("/look.cube");
        QString output;
        QCOMPARE(render(QStringList { "--export-cube", cube, "--cube-size", "65" } + grade, &output), 0);
        QVERIFY2(output.contains(QLatin1String("65-point LUT")), qPrintable(output));
        QCOMPARE(render(QStringList { "-q", "-o", folder, "--format", "Tiff Sequence", "--grain", "0" } + grade
                         + QStringList { m_chart },
                     &output),
            0);
        const QByteArray rendered = RenderProbe::decode(folder + QStringLiteral("/chart/chart.000000.tiff"), "rgb24");

        // The other tool reads the clip as Rec. 709 video, as the renderer
        // does, and applies the table.
        const FfmpegTool::Result applied = FfmpegTool::ffmpeg({ "-i", m_chart, "-vf",
            "scale=in_color_matrix=bt709:in_range=tv:out_range=pc:flags=neighbor+accurate_rnd,format=gbrpf32le,"
            "lut3d=file="
                + cube + ":interp=trilinear,format=rgb24",
            "-frames:v", "1", "-f", "rawvideo", "-" });
        QVERIFY2(applied.ok, qPrintable(applied.errors));
        QCOMPARE(rendered.size(), 320 * 180 * 3);
        QCOMPARE(applied.output.size(), rendered.size());
        long total = 0;
        int worst = 0;
        for (int i = 0; i < rendered.size(); ++i) {
            const int d = std::abs(int(uchar(rendered[i])) - int(uchar(applied.output[i])));
            total += d;
            worst = std::max(worst, d);
        }
        const double mean = double(total) / rendered.size();
        qInfo("mean difference %.3f, largest %d (levels of 255)", mean, worst);
        QVERIFY2(mean <= 1.5, qPrintable(QString::number(mean)));
        QVERIFY2(worst <= 6, qPrintable(QString::number(worst)));
    }
};

EMULSA_TEST_MAIN(TestLookExport)
#include "tst_lookexport.moc"
