#include "common/TestEnvironment.h"

#include "RenderFixture.h"
#include "common/RenderProbe.h"
#include "common/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cmath>

using namespace Emulsa;
using Emulsa::Test::RenderFixture;
using Emulsa::Test::RenderProbe;
using Emulsa::Test::TestMedia;

namespace {

// Frame indices shown by the pictures of a decoded 640 x 360 movie.
QList<int> shownIndices(const QString& movie)
{
    constexpr int width = 640;
    constexpr int height = 360;
    const QByteArray planes = RenderProbe::decode(movie, QStringLiteral("yuv420p"));
    QList<int> indices;
    const int frameBytes = width * height * 3 / 2;
    for (int offset = 0; offset + frameBytes <= planes.size(); offset += frameBytes) {
        std::vector<uchar> packed(size_t(width) * height * 2, 128);
        for (int i = 0; i < width * height; ++i)
            packed[2 * size_t(i)] = uchar(planes.at(offset + i));
        indices << TestMedia::frameIndexFromYuy2(packed.data(), width, height, width * 2);
    }
    return indices;
}

// The progress of a run that ended early: 0, 1, 2, ... without a gap, then
// the given tail.
bool countsUpThenEnds(const QList<int>& progress, const QList<int>& tail, int* counted)
{
    int i = 0;
    while (i < progress.size() && progress.at(i) == i)
        ++i;
    *counted = i - 1;
    return i > 0 && progress.mid(i) == tail;
}

QString listText(const QList<int>& values)
{
    QStringList parts;
    for (int value : values)
        parts << QString::number(value);
    return parts.join(QLatin1Char(' '));
}

} // namespace

// The movie loop's three stages (decoding, grading, encoding on their own
// threads): order and every frame kept, and a cancel or a picture that
// cannot be decoded ends the render cleanly with the right message.
class TestRenderStages : public QObject
{
    Q_OBJECT

private:
    RenderFixture m_fixture;
    QString m_out;

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(m_fixture.setUp(&why), qPrintable(why));
    }

    void init() { m_out = Emulsa::Test::makeTempFolder(QStringLiteral("stages")); }

    void everyFrameInOrder_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<bool>("graded");
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        QTest::newRow("sound, neutral, whole clip") << int(TestMedia::ProResMov) << false << 0 << 30;
        QTest::newRow("sound, stock, in and out") << int(TestMedia::ProResMov) << true << 4 << 17;
        QTest::newRow("no sound, one frame") << int(TestMedia::NoAudio) << true << 9 << 10;
    }
    void everyFrameInOrder()
    {
        QFETCH(int, clip);
        QFETCH(bool, graded);
        QFETCH(int, in);
        QFETCH(int, out);
        AssetMetadata* asset = m_fixture.describe(TestMedia::instance().path(TestMedia::Clip(clip)));
        QVERIFY(asset);
        const ClipSettings grade = graded ? RenderFixture::stockGrade() : RenderFixture::neutralGrade();
        SequenceItem* item = m_fixture.item(asset, grade, quint32(in), quint32(out));
        const RenderFixture::Result result = m_fixture.render(item, H264Preview, m_out, QSize(640, 360));
        QVERIFY2(result.initialized && result.ran, qPrintable(result.error));
        const int frames = out - in;
        int counted = 0;
        QVERIFY(countsUpThenEnds(result.progress, { -41, -42 }, &counted));
        QCOMPARE(counted, frames);

        const QString movie
            = m_out + QLatin1Char('/') + QFileInfo(asset->filePath).completeBaseName() + QStringLiteral(".mov");
        QList<int> expected;
        for (int i = in; i < out; ++i)
            expected << i;
        QCOMPARE(shownIndices(movie), expected);
        const RenderProbe::Movie probe = RenderProbe::probe(movie);
        QCOMPARE(probe.video.frames, frames);
        if (probe.audio.present) {
            // The sound as long as the pictures, within one AAC frame.
            const double seconds = frames / 25.0;
            QVERIFY2(
                std::abs(probe.audio.duration - seconds) < 0.025, qPrintable(QString::number(probe.audio.duration)));
        }
    }

    // A cancel at any point stops all three stages: no hang, the unfinished
    // movie is dropped without being finalised, and the message says it was
    // cancelled.
    void cancelMidRender_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<int>("cancelAt");
        QTest::newRow("sound, first frame") << int(TestMedia::ProResMov) << 1;
        QTest::newRow("sound, middle") << int(TestMedia::ProResMov) << 12;
        QTest::newRow("sound, last frame written") << int(TestMedia::ProResMov) << 30;
        QTest::newRow("no sound, middle") << int(TestMedia::NoAudio) << 7;
    }
    void cancelMidRender()
    {
        QFETCH(int, clip);
        QFETCH(int, cancelAt);
        AssetMetadata* asset = m_fixture.describe(TestMedia::instance().path(TestMedia::Clip(clip)));
        QVERIFY(asset);
        SequenceItem* item = m_fixture.item(asset, RenderFixture::stockGrade(), 0, asset->frameCount);
        const RenderFixture::Result result
            = m_fixture.render(item, H264Preview, m_out, QSize(640, 360), false, cancelAt);
        QVERIFY(result.initialized);
        QVERIFY(!result.ran);
        QCOMPARE(result.error, QStringLiteral("Rendering was cancelled."));
        // Nothing is reported after the frame that cancelled but the failure.
        int counted = 0;
        QVERIFY2(countsUpThenEnds(result.progress, { -1 }, &counted), qPrintable(listText(result.progress)));
        QCOMPARE(counted, cancelAt);
        QCOMPARE(QDir(m_out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // A picture that cannot be decoded ends the source there: the frames
    // before it are written, the movie is closed properly with its sound up
    // to that point, and the render fails saying how far it came.
    void decodeErrorMidRender_data()
    {
        QTest::addColumn<int>("damaged");
        QTest::newRow("frame 1") << 1;
        QTest::newRow("frame 10") << 10;
        QTest::newRow("frame 29") << 29;
    }
    void decodeErrorMidRender()
    {
        QFETCH(int, damaged);
        const QString name = QStringLiteral("damaged_%1.mov").arg(damaged);
        const QString source = TestMedia::instance().makeProResWithDamagedFrame(damaged, name);
        QVERIFY(!source.isEmpty());
        AssetMetadata* asset = m_fixture.describe(source);
        QVERIFY(asset);
        QCOMPARE(int(asset->frameCount), 30);
        SequenceItem* item = m_fixture.item(asset, RenderFixture::neutralGrade(), 0, 30);
        const RenderFixture::Result result = m_fixture.render(item, H264Preview, m_out, QSize(640, 360));
        QVERIFY(result.initialized);
        QVERIFY(!result.ran);
        QCOMPARE(result.error,
            QStringLiteral("The source ended early or could not be decoded: %1 of 30 frames written.").arg(damaged));
        int counted = 0;
        QVERIFY2(countsUpThenEnds(result.progress, { -41, -1 }, &counted), qPrintable(listText(result.progress)));
        QCOMPARE(counted, damaged);

        const QString movie = m_out + QStringLiteral("/damaged_%1.mov").arg(damaged);
        const RenderProbe::Movie probe = RenderProbe::probe(movie);
        QVERIFY(probe.ok);
        QCOMPARE(probe.video.frames, damaged);
        QVERIFY2(
            std::abs(probe.audio.duration - damaged / 25.0) < 0.025, qPrintable(QString::number(probe.audio.duration)));
        QList<int> expected;
        for (int i = 0; i < damaged; ++i)
            expected << i;
        QCOMPARE(shownIndices(movie), expected);
    }
};

QTEST_MAIN(TestRenderStages)
#include "tst_renderstages.moc"
