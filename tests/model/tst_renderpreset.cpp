#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "core/ApplicationPaths.h"
#include "model/PresetsManager.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

using namespace Emulsa;

// The command-line renderer started from a saved look: a preset of the
// user's presets or of a preset file, adjusted by the grade options given.
class RenderPresetTest : public QObject
{
    Q_OBJECT

    QString m_program;
    QString m_presetFile;
    // The same file with the Grey preset's grade damaged in one field or
    // refused as a whole, by a short name.
    QHash<QString, QString> m_damagedFiles;
    // The build's demo clip: a colourful picture, unlike the test clips.
    QString m_clip;

    using Run = Test::RendererRun;

    // The user folders of this test are isolated; the renderer inherits them
    // and so finds the presets written here.
    Run run(const QStringList& arguments) { return Test::runRenderer(m_program, arguments); }

    // Largest difference between two colour channels over the rendered images.
    static int largestChannelSpread(const QString& folder, int* images)
    {
        int spread = 0;
        *images = 0;
        for (const QFileInfo& info : QDir(folder).entryInfoList({ QStringLiteral("*.tiff") }, QDir::Files)) {
            const QImage image = QImage(info.filePath()).convertToFormat(QImage::Format_RGB32);
            ++*images;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb p = image.pixel(x, y);
                    spread = std::max({ spread, std::abs(qRed(p) - qGreen(p)), std::abs(qGreen(p) - qBlue(p)),
                        std::abs(qRed(p) - qBlue(p)) });
                }
            }
        }
        return spread;
    }

    QStringList renderArguments(const QString& out) const
    {
        return { QStringLiteral("-f"), QStringLiteral("tiff"), QStringLiteral("-s"), QStringLiteral("64x36"),
            QStringLiteral("--in"), QStringLiteral("0"), QStringLiteral("--out"), QStringLiteral("2"),
            QStringLiteral("-q"), QStringLiteral("-o"), out, m_clip };
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(Emulsa::Test::findBuiltRenderer(&m_program), qPrintable(m_program));
        m_clip = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + QStringLiteral("/share/demo/emulsa_demo.mp4");
        QVERIFY2(QFileInfo::exists(m_clip), qPrintable(m_clip));
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));

        // One group holding a black-and-white look, and a second preset of
        // the same name elsewhere so that the name alone is ambiguous.
        PresetsManager store(ApplicationPaths::instance()->presetsPath());
        ClipSettings grey;
        grey.setSaturation(0.0f);
        grey.setGrainAmount(0);
        const int looks = store.createNewGroup(QStringLiteral("Test Looks")).id;
        const Preset preset = store.createPreset(grey, looks).value();
        store.renamePreset(preset.id(), QStringLiteral("Grey"));
        const int other = store.createNewGroup(QStringLiteral("Other")).id;
        const Preset twin = store.createPreset(ClipSettings(), other).value();
        store.renamePreset(twin.id(), QStringLiteral("Twin"));
        const Preset twin2 = store.createPreset(ClipSettings(), looks).value();
        store.renamePreset(twin2.id(), QStringLiteral("Twin"));
        QVERIFY(store.writePresetsToDisk());
        m_presetFile = Test::makeTempFolder(QStringLiteral("export")) + QStringLiteral("/looks.empreset");
        QVERIFY(store.exportPresetGroup(looks, m_presetFile));
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();

        QFile exported(m_presetFile);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QByteArray text = exported.readAll();
        const int greyAt = text.indexOf("<PresetName>Grey</PresetName>");
        QVERIFY(greyAt > 0);
        const struct
        {
            const char* name;
            QByteArray from;
            QByteArray to;
        } damages[] = {
            { "kelvin", "<Kelvin>5600.000000</Kelvin>", "<Kelvin>x5600.000000</Kelvin>" },
            { "radius", "<Radius>0.000000</Radius>", "<Radius>0.0.0</Radius>" },
            { "entities", "<PresetGroup", "<!DOCTYPE PresetGroup [<!ENTITY e \"e\">]>\n<PresetGroup" },
        };
        for (const auto& damage : damages) {
            QByteArray damaged = text;
            const int at = damaged.indexOf(damage.from, damage.from.startsWith("<PresetGroup") ? 0 : greyAt);
            QVERIFY2(at >= 0, damage.from.constData());
            damaged.replace(at, damage.from.size(), damage.to);
            const QString path
                = QFileInfo(m_presetFile).absolutePath() + QStringLiteral("/%1.empreset").arg(damage.name);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
            m_damagedFiles.insert(QLatin1String(damage.name), path);
        }
    }

    void presetGivesItsLook_data()
    {
        QTest::addColumn<QStringList>("choice");
        QTest::addColumn<bool>("grey");
        QTest::newRow("store, group and name") << QStringList { "--preset", "Test Looks/Grey" } << true;
        QTest::newRow("store, name alone") << QStringList { "--preset", "Grey" } << true;
        QTest::newRow("file") << QStringList { "--preset-file", "FILE", "--preset-name", "Grey" } << true;
        QTest::newRow("adjusted by an option")
            << QStringList { "--preset", "Test Looks/Grey", "--saturation", "1" } << false;
        QTest::newRow("no preset") << QStringList {} << false;
    }
    void presetGivesItsLook()
    {
        QFETCH(QStringList, choice);
        QFETCH(bool, grey);
        choice.replaceInStrings(QStringLiteral("FILE"), m_presetFile);
        const QString out = Test::makeTempFolder(QStringLiteral("out"));
        const Run result = run(choice + renderArguments(out));
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));
        int images = 0;
        const int spread = largestChannelSpread(out + QStringLiteral("/emulsa_demo"), &images);
        QCOMPARE(images, 2);
        // 8-bit output of a saturation-0 grade: channels equal up to rounding
        // of the final conversion (3 steps of 255).
        if (grey)
            QVERIFY2(spread <= 3, qPrintable(QString::number(spread)));
        else
            QVERIFY2(spread > 40, qPrintable(QString::number(spread)));
    }

    // A preset whose grade could not be read whole is refused, naming the
    // file, the preset and the field, and nothing is written; with
    // --accept-defaults it renders with the defaults for what was lost.
    void incompleteGradeIsRefused_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("acceptDefaults");
        QTest::addColumn<QString>("field");
        QTest::newRow("kelvin") << "kelvin" << false << "Kelvin";
        QTest::newRow("wheel radius") << "radius" << false << "Radius";
        QTest::newRow("kelvin, defaults accepted") << "kelvin" << true << QString();
        QTest::newRow("wheel radius, defaults accepted") << "radius" << true << QString();
    }
    void incompleteGradeIsRefused()
    {
        QFETCH(QString, damage);
        QFETCH(bool, acceptDefaults);
        QFETCH(QString, field);
        const QString file = m_damagedFiles.value(damage);
        QStringList arguments { QStringLiteral("--preset-file"), file, QStringLiteral("--preset-name"),
            QStringLiteral("Grey") };
        if (acceptDefaults)
            arguments << QStringLiteral("--accept-defaults");
        const QString out = Test::makeTempFolder(QStringLiteral("incomplete"));
        const Run result = run(arguments + renderArguments(out));
        int images = 0;
        largestChannelSpread(out + QStringLiteral("/emulsa_demo"), &images);
        if (acceptDefaults) {
            QVERIFY2(result.exitCode == 0, qPrintable(result.output));
            QCOMPARE(images, 2);
            return;
        }
        QVERIFY2(result.exitCode == 1, qPrintable(result.output));
        for (const QString& named : { file, QStringLiteral("Grey"), field, QStringLiteral("--accept-defaults") })
            QVERIFY2(result.output.contains(named), qPrintable(named + QStringLiteral(" in: ") + result.output));
        QCOMPARE(images, 0);
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("/emulsa_demo")));
    }

    // Unknown or ambiguous names list the choices and end with a usage error.
    void wrongNamesListTheChoices_data()
    {
        QTest::addColumn<QStringList>("choice");
        QTest::addColumn<QString>("listed");
        QTest::newRow("unknown") << QStringList { "--preset", "Sepia" } << "Test Looks/Grey";
        QTest::newRow("ambiguous") << QStringList { "--preset", "Twin" } << "Other/Twin";
        QTest::newRow("unknown in file") << QStringList { "--preset-file", "FILE", "--preset-name", "Sepia" } << "Grey";
        QTest::newRow("name without file") << QStringList { "--preset-name", "Grey" } << "--preset-file";
        QTest::newRow("document type in file")
            << QStringList { "--preset-file", "ENTITIES", "--preset-name", "Grey" } << "no readable preset file";
    }
    void wrongNamesListTheChoices()
    {
        QFETCH(QStringList, choice);
        QFETCH(QString, listed);
        choice.replaceInStrings(QStringLiteral("FILE"), m_presetFile);
        choice.replaceInStrings(QStringLiteral("ENTITIES"), m_damagedFiles.value(QStringLiteral("entities")));
        const QString out = Test::makeTempFolder(QStringLiteral("wrong"));
        const Run result = run(choice + renderArguments(out));
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.output.contains(listed), qPrintable(result.output));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("/emulsa_demo")));
    }
};

EMULSA_TEST_MAIN(RenderPresetTest)
#include "tst_renderpreset.moc"
