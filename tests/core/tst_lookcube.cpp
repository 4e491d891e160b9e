#include "common/TestEnvironment.h"

#include "core/CubeLut.h"
#include "core/FilmLibrary.h"
#include "core/LookCube.h"

#include <QFile>
#include <QtTest>

#include <cmath>

using namespace Emulsa;

namespace {

ClipSettings withoutStock()
{
    ClipSettings grade;
    grade.setStockLUTAmount(0);
    grade.setStockCurveAmount(0);
    return grade;
}

// The entry of lattice point (r, g, b).
const float* entry(const LookCube& cube, int r, int g, int b)
{
    return cube.rgb.data() + 3 * ((size_t(b) * cube.size + g) * cube.size + r);
}

// A .cube of `size` points a side whose entry at lattice point (r, g, b) is
// f(r / (size - 1), g / (size - 1), b / (size - 1)).
template<typename F> QByteArray cubeText(int size, F f, const QByteArray& header = QByteArray())
{
    QByteArray text = header + "LUT_3D_SIZE " + QByteArray::number(size) + "\n";
    for (int b = 0; b < size; ++b)
        for (int g = 0; g < size; ++g)
            for (int r = 0; r < size; ++r) {
                const double s = size - 1;
                const std::array<double, 3> v = f(r / s, g / s, b / s);
                text += QByteArray::number(v[0], 'g', 9) + ' ' + QByteArray::number(v[1], 'g', 9) + ' '
                    + QByteArray::number(v[2], 'g', 9) + '\n';
            }
    return text;
}

// An affine map, which trilinear interpolation reproduces exactly.
std::array<double, 3> affine(double r, double g, double b)
{
    return { 0.1 + 0.5 * r + 0.2 * g, 0.9 * g - 0.3 * b, 1.5 * b + 0.25 * r - 0.2 };
}

} // namespace

// Baking a grade into a .cube table.
class TestLookCube : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
    }

    // With no stock and a neutral grade the table is the identity: every
    // entry is its own lattice point, red fastest (within the 4096-entry
    // tables' own interpolation, about a level of 255).
    void neutralGradeIsTheIdentity()
    {
        LookCube cube;
        QString error;
        QVERIFY2(LookCube::bake(withoutStock(), 17, QStringLiteral("neutral"), &cube, &error), qPrintable(error));
        QCOMPARE(cube.rgb.size(), size_t(17 * 17 * 17 * 3));
        float worst = 0.0f;
        for (int b = 0; b < 17; ++b)
            for (int g = 0; g < 17; ++g)
                for (int r = 0; r < 17; ++r) {
                    const float* e = entry(cube, r, g, b);
                    worst = std::max(
                        { worst, std::abs(e[0] - r / 16.0f), std::abs(e[1] - g / 16.0f), std::abs(e[2] - b / 16.0f) });
                }
        QVERIFY2(worst < 1.5f / 255.0f, qPrintable(QString::number(double(worst))));
    }

    // Each kind of edit moves the table the way it moves a picture.
    void editsMoveTheTable()
    {
        LookCube neutral;
        LookCube brighter;
        LookCube grey;
        QString error;
        ClipSettings grade = withoutStock();
        QVERIFY(LookCube::bake(grade, 17, QString(), &neutral, &error));
        grade.setExposure(0.3f);
        QVERIFY(LookCube::bake(grade, 17, QString(), &brighter, &error));
        grade = withoutStock();
        grade.setSaturation(0.0f);
        QVERIFY(LookCube::bake(grade, 17, QString(), &grey, &error));
        // Mid grey gets brighter; a saturated red loses its colour.
        QVERIFY(entry(brighter, 8, 8, 8)[1] > entry(neutral, 8, 8, 8)[1] + 0.05f);
        const float* red = entry(grey, 16, 0, 0);
        QVERIFY2(std::abs(red[0] - red[1]) < 0.01f && std::abs(red[1] - red[2]) < 0.01f,
            qPrintable(QStringLiteral("%1 %2 %3").arg(double(red[0])).arg(double(red[1])).arg(double(red[2]))));

        // A stock changes the look, and its values stay within 0..1.
        LookCube stocked;
        QVERIFY(LookCube::bake(ClipSettings(), 17, QString(), &stocked, &error));
        float moved = 0.0f;
        for (size_t i = 0; i < stocked.rgb.size(); ++i) {
            QVERIFY(stocked.rgb[i] >= 0.0f && stocked.rgb[i] <= 1.0f);
            moved = std::max(moved, std::abs(stocked.rgb[i] - neutral.rgb[i]));
        }
        QVERIFY2(moved > 0.05f, qPrintable(QString::number(double(moved))));
    }

    void refusals()
    {
        LookCube cube;
        QString error;
        QVERIFY(!LookCube::bake(ClipSettings(), 32, QString(), &cube, &error));
        QVERIFY(error.contains(QLatin1String("33")));

        ClipSettings unknown;
        unknown.setStockName(QStringLiteral("0000"));
        QVERIFY(!LookCube::bake(unknown, 17, QString(), &cube, &error));
        QVERIFY(error.contains(QLatin1String("0000")));

        const std::atomic_bool cancel { true };
        QVERIFY(!LookCube::bake(ClipSettings(), 17, QString(), &cube, &error, &cancel));
        QVERIFY(error.contains(QLatin1String("cancelled")));

        // Nothing is written where the folder does not exist.
        QVERIFY(LookCube::bake(withoutStock(), 17, QString(), &cube, &error));
        QVERIFY(!cube.write(Test::makeTempFolder(QStringLiteral("cube")) + QStringLiteral("/no/such.cube"), &error));
    }

    // The file: title, size and domain lines, then size^3 lines of three
    // numbers that read back as the table.
    void fileReadsBack()
    {
        LookCube cube;
        QString error;
        QVERIFY(LookCube::bake(ClipSettings(), 17, QStringLiteral("Warm \"night\""), &cube, &error));
        const QString path = Test::makeTempFolder(QStringLiteral("cube")) + QStringLiteral("/look.cube");
        QVERIFY2(cube.write(path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.value(0), QByteArray("TITLE \"Warm 'night'\""));
        QCOMPARE(lines.value(1), QByteArray("LUT_3D_SIZE 17"));
        QCOMPARE(lines.value(2), QByteArray("DOMAIN_MIN 0.0 0.0 0.0"));
        QCOMPARE(lines.value(3), QByteArray("DOMAIN_MAX 1.0 1.0 1.0"));
        QCOMPARE(lines.size(), 4 + 17 * 17 * 17 + 1);
        QCOMPARE(lines.last(), QByteArray());
        for (int i = 0; i < 17 * 17 * 17; ++i) {
            const QList<QByteArray> numbers = lines[4 + i].split(' ');
            QCOMPARE(numbers.size(), 3);
            for (int c = 0; c < 3; ++c)
                QVERIFY(std::abs(numbers[c].toFloat() - cube.rgb[size_t(i) * 3 + c]) <= 1e-6f);
        }
    }

    // Reading a .cube: entries in red-fastest order, a title, comments, blank
    // lines, a domain, and trilinear lookups between the lattice points.
    void readerLooksUpTrilinearly_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("2 points") << 2 << QByteArray() << 0.0 << 1.0;
        QTest::newRow("33 points, title and comments")
            << 33 << QByteArray("# made here\n\nTITLE \"Affine look\"\n  # indented comment\n") << 0.0 << 1.0;
        QTest::newRow("domain -0.5..2") << 5 << QByteArray("DOMAIN_MIN -0.5 -0.5 -0.5\nDOMAIN_MAX 2 2 2\n") << -0.5
                                        << 2.0;
        QTest::newRow("input range -0.25..1.5") << 9 << QByteArray("LUT_3D_INPUT_RANGE -0.25 1.5\n") << -0.25 << 1.5;
    }
    void readerLooksUpTrilinearly()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, header);
        QFETCH(double, low);
        QFETCH(double, high);
        // The lattice spans the domain: entry i holds f at the input low + i/(n-1) * (high - low).
        const auto inDomain = [&](double r, double g, double b) {
            const double span = high - low;
            return affine(low + r * span, low + g * span, low + b * span);
        };
        CubeLut lut;
        QString error;
        QVERIFY2(CubeLut::parse(cubeText(size, inDomain, header), &lut, &error), qPrintable(error));
        QCOMPARE(lut.size, size);
        QCOMPARE(lut.rgb.size(), size_t(size) * size * size * 3);
        if (header.contains("TITLE"))
            QCOMPARE(lut.title, QStringLiteral("Affine look"));
        const std::array<std::array<double, 3>, 4> inputs { { { { 0.0, 0.0, 0.0 } }, { { 0.37, 0.81, 0.05 } },
            { { 0.999, 0.5, 0.123 } }, { { high, low + 0.3, 0.71 } } } };
        for (const std::array<double, 3>& in : inputs) {
            const std::array<double, 3> want = affine(in[0], in[1], in[2]);
            const std::array<double, 3> got = lut.apply(in);
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(got[c] - want[c]) < 1e-5,
                    qPrintable(QStringLiteral("%1 %2 %3 channel %4: %5, want %6")
                                   .arg(in[0])
                                   .arg(in[1])
                                   .arg(in[2])
                                   .arg(c)
                                   .arg(got[c])
                                   .arg(want[c])));
        }
        // Inputs outside the domain take the value at its edge.
        const std::array<double, 3> outside = lut.apply({ { low - 1.0, high + 3.0, low - 0.1 } });
        const std::array<double, 3> edge = affine(low, high, low);
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::abs(outside[c] - edge[c]) < 1e-5);
    }

    // A baked look read back by the reader gives its own entries.
    void writtenCubeReadsBack()
    {
        LookCube cube;
        QString error;
        QVERIFY(LookCube::bake(ClipSettings(), 17, QStringLiteral("Look"), &cube, &error));
        CubeLut lut;
        QVERIFY2(CubeLut::parse(cube.text(), &lut, &error), qPrintable(error));
        QCOMPARE(lut.size, 17);
        QCOMPARE(lut.title, QStringLiteral("Look"));
        QCOMPARE(lut.rgb.size(), cube.rgb.size());
        for (int b = 0; b < 17; b += 4)
            for (int g = 0; g < 17; g += 3)
                for (int r = 0; r < 17; r += 5) {
                    const std::array<double, 3> got = lut.apply({ { r / 16.0, g / 16.0, b / 16.0 } });
                    const float* want = entry(cube, r, g, b);
                    for (int c = 0; c < 3; ++c)
                        QVERIFY(std::abs(got[c] - want[c]) < 1e-5);
                }
    }

    // Malformed files are refused, naming the line at fault.
    void malformedFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("reason");
        const QByteArray two = "0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
        QTest::newRow("no size line") << QByteArray("TITLE \"x\"\n# no size\n0 0 0\n") << 3 << "before the LUT_3D_SIZE";
        QTest::newRow("empty file") << QByteArray("# only a comment\n") << 2 << "no LUT_3D_SIZE";
        QTest::newRow("size not a number") << QByteArray("LUT_3D_SIZE two\n") + two << 1 << "whole number";
        QTest::newRow("size with two words") << QByteArray("LUT_3D_SIZE 2 2\n") + two << 1 << "whole number";
        QTest::newRow("size 1") << QByteArray("TITLE \"t\"\nLUT_3D_SIZE 1\n0 0 0\n") << 2 << "outside 2..256";
        QTest::newRow("size 257") << QByteArray("\nLUT_3D_SIZE 257\n") << 2 << "outside 2..256";
        QTest::newRow("second size line") << QByteArray("LUT_3D_SIZE 2\nLUT_3D_SIZE 2\n") + two << 2 << "second";
        QTest::newRow("1D table") << QByteArray("# 1D\nLUT_1D_SIZE 2\n0 0 0\n1 1 1\n") << 2 << "1D";
        QTest::newRow("too few values") << QByteArray("LUT_3D_SIZE 2\n") + two.left(two.size() - 6) << 8
                                        << "7 of its 8";
        QTest::newRow("too many values") << QByteArray("LUT_3D_SIZE 2\n") + two + "0.5 0.5 0.5\n"
                                         << 10 << "more than the 8";
        QTest::newRow("two numbers") << QByteArray("LUT_3D_SIZE 2\n0 0 0\n1 0\n") + two.mid(12) << 3
                                     << "expected 3 numbers, found 2";
        QTest::newRow("four numbers") << QByteArray("LUT_3D_SIZE 2\n0 0 0 0\n") + two.mid(6) << 2
                                      << "expected 3 numbers, found 4";
        QTest::newRow("a word") << QByteArray("LUT_3D_SIZE 2\n0 0 zero\n") + two.mid(6) << 2 << "not a number";
        QTest::newRow("nan") << QByteArray("LUT_3D_SIZE 2\n") + two.left(12) + "nan 0 0\n" + two.mid(18) << 4 << "nan";
        QTest::newRow("inf") << QByteArray("LUT_3D_SIZE 2\n") + two.left(30) + "0 -inf 1\n" + two.mid(36) << 7 << "inf";
        QTest::newRow("huge number") << QByteArray("LUT_3D_SIZE 2\n0 0 1e999\n") + two.mid(6) << 2 << "1e999";
        QTest::newRow("empty domain") << QByteArray("LUT_3D_SIZE 2\nDOMAIN_MIN 0 0 0\nDOMAIN_MAX 1 0 1\n") + two << 3
                                      << "DOMAIN_MAX";
        QTest::newRow("domain of two numbers")
            << QByteArray("DOMAIN_MAX 1 1\nLUT_3D_SIZE 2\n") + two << 1 << "expected 3 numbers";
        QTest::newRow("unknown keyword") << QByteArray("LUT_3D_SIZE 2\nGAMMA 2.2\n") + two << 2 << "unknown keyword";
        QTest::newRow("falling input range")
            << QByteArray("LUT_3D_SIZE 2\nLUT_3D_INPUT_RANGE 1 0\n") + two << 2 << "input range";
    }
    void malformedFilesAreRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(QString, reason);
        CubeLut lut;
        lut.size = 7; // left as it is by a refused parse
        QString error;
        QVERIFY(!CubeLut::parse(text, &lut, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Line %1:").arg(line)), qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(lut.size, 7);
    }
};

EMULSA_TEST_MAIN(TestLookCube)
#include "tst_lookcube.moc"
