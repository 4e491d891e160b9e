#include "common/TestEnvironment.h"

#include "OffscreenRendererFixture.h"
#include "common/TestMedia.h"
#include "media/render/OutputSettings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QtTest>

using namespace Emulsa;
using namespace Emulsa::Test;

namespace {

// The machines a reference was recorded on: the GL renderer and the CPU
// features its shader compiler uses, since a software rasteriser rounds as
// the vector instructions it was given do.
struct Reference
{
    const char* machine;
    const char* gauge;
    // SHA-1 over the files of the sequence, in name order.
    const char* digest;
};

const Reference kReferences[] = {
    { "llvmpipe (LLVM 15.0.6, 256 bits) avx2 avx512f fma", "16 mm", "c8da9cfc6c270a81c9f79564bb20445820468f11" },
    { "llvmpipe (LLVM 15.0.6, 256 bits) avx2 avx512f fma", "35 mm Full Frame",
        "63d377340d8b9393e21482f6d6d14ad9312689de" },
};

QString rendererName(QOffscreenSurface* surface)
{
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(surface))
        return QString();
    const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString renderer = QString::fromLatin1(name ? name : "");
    context.doneCurrent();
    return renderer;
}

QString cpuFeatures()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (!info.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (!line.startsWith("flags"))
            continue;
        const QList<QByteArray> flags = line.mid(line.indexOf(':') + 1).simplified().split(' ');
        QStringList used;
        for (const char* feature : { "avx2", "avx512f", "fma" })
            if (flags.contains(feature))
                used << QString::fromLatin1(feature);
        return used.join(QLatin1Char(' '));
    }
    return QString();
}

// A grade with every stage on, film effects included.
ClipSettings fullGrade(const QString& gauge)
{
    ClipSettings grade;
    grade.setStockName(QStringLiteral("5207"));
    grade.setStockLUTAmount(80);
    grade.setStockCurveAmount(70);
    grade.setGrainAmount(100);
    grade.setGrainScaleName(gauge);
    grade.setColourGrainAmount(50);
    grade.setHalationAmount(80);
    grade.setBloomAmount(60);
    grade.setWeaveAmount(70);
    grade.setFlickerAmount(60);
    grade.setExposure(0.4f);
    grade.setKelvin(5200.f);
    grade.setLow({ 0.2, 3.5 });
    grade.setMid({ 0.1, 1.0 });
    grade.setHigh({ 0.15, 5.0 });
    grade.setLift(1.05f);
    grade.setGamma(0.95f);
    grade.setGain(1.1f);
    grade.setSaturation(1.2f);
    grade.setHistogramSliderData({ 0.05f, 0.45f, 0.95f });
    return grade;
}

QByteArray sequenceDigest(const QString& folder, int* files)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    *files = names.size();
    for (const QString& name : names) {
        QFile file(folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        hash.addData(file.readAll());
    }
    return hash.result().toHex();
}

} // namespace

// A fixed clip rendered with a fixed grade to an 8-bit TIFF sequence gives
// the bytes recorded for this machine: a change to the grading or writing
// code meant to change nothing must leave every byte as it was. A change
// that is meant to change the picture records the new digest here.
class TestRenderReference : public OffscreenRendererFixture
{
    Q_OBJECT

private slots:
    // 16 mm blurs the picture first; 35 mm grades the packed frame in one pass.
    void fixedRenderKeepsItsBytes_data()
    {
        QTest::addColumn<QString>("gauge");
        QTest::newRow("16 mm") << "16 mm";
        QTest::newRow("35 mm") << "35 mm Full Frame";
    }

    void fixedRenderKeepsItsBytes()
    {
        QFETCH(QString, gauge);
        // Lossless 4:2:2, so that decoding is only unpacking.
        const QString source = media().generate(QStringLiteral("reference_ffv1.mkv"),
            { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("testsrc2=s=320x180:r=25,format=yuv422p"), QStringLiteral("-frames:v"),
                QStringLiteral("6"), QStringLiteral("-c:v"), QStringLiteral("ffv1") });
        QVERIFY(!source.isEmpty());
        AssetMetadata* asset = m_fixture.describe(source);
        QVERIFY(asset);
        const SequenceItem* item = m_fixture.item(asset, fullGrade(gauge), 0, asset->frameCount);

        QByteArray digests[2];
        for (int run = 0; run < 2; ++run) {
            const QString out = m_out + QStringLiteral("/run%1").arg(run);
            QVERIFY(QDir().mkpath(out));
            const RenderFixture::Result result = m_fixture.render(item, TiffSequence, out, QSize(320, 180));
            QVERIFY2(result.initialized && result.ran, qPrintable(result.error));
            int files = 0;
            digests[run] = sequenceDigest(out + QStringLiteral("/reference_ffv1"), &files);
            QCOMPARE(files, 6);
            QVERIFY2(!digests[run].isEmpty(), "a rendered file could not be read");
        }
        // Nothing in a render depends on the time or the run.
        QCOMPARE(digests[1], digests[0]);

        const QString machine = rendererName(m_fixture.surface()) + QLatin1Char(' ') + cpuFeatures();
        for (const Reference& reference : kReferences) {
            if (machine == QLatin1String(reference.machine) && gauge == QLatin1String(reference.gauge)) {
                QCOMPARE(digests[0], QByteArray(reference.digest));
                return;
            }
        }
        QSKIP(qPrintable(QStringLiteral("No reference for \"%1\"; this machine renders %2")
                             .arg(machine, QString::fromLatin1(digests[0]))));
    }
};

EMULSA_TEST_MAIN(TestRenderReference)
#include "tst_renderreference.moc"
