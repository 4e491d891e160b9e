#include "common/TestEnvironment.h"

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
};

EMULSA_TEST_MAIN(TestLookCube)
#include "tst_lookcube.moc"
