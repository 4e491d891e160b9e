#include "common/TestEnvironment.h"

#include "app/ResourcesHelper.h"
#include "core/ApplicationPaths.h"
#include "model/PresetsManager.h"

#include <QDir>

using namespace Emulsa;

// The example presets that start-up installs into the user presets folder
// load into the presets store, thumbnails included, and survive the store
// writing the folder back.
class ExamplePresetsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
    }

    void installedExamplesLoad()
    {
        const QString folder = ApplicationPaths::instance()->presetsPath();
        QDir(folder).removeRecursively();
        QVERIFY(!ResourcesHelper::checkExamplePresets(true));
        QVERIFY(ResourcesHelper::installExamplePresets());
        QVERIFY(ResourcesHelper::checkExamplePresets(true));

        PresetsManager store(folder);
        const QList<PresetGroup> groups = store.groups();
        QCOMPARE(groups.size(), 1);
        const PresetGroup& examples = groups.first();
        QCOMPARE(examples.name, QStringLiteral("Examples"));
        const QVector<Preset> presets = examples.orderedPresets();
        QCOMPARE(presets.size(), 7);
        QCOMPARE(presets.first().name, QStringLiteral("Daylight Negative"));
        QCOMPARE(presets.first().settings.getGrainScaleName(), QStringLiteral("Super 35"));
        const QImage placeholder = store.thumbnailForId(QUuid::createUuid().toByteArray());
        QVERIFY(!placeholder.isNull());
        for (const Preset& preset : presets) {
            QVERIFY(!preset.name.isEmpty());
            const QImage thumbnail = store.thumbnailForId(preset.id());
            QVERIFY2(!thumbnail.isNull() && thumbnail != placeholder, qPrintable(preset.name));
        }
        // The monochrome stock is known to the film library (no fallback).
        bool triX = false;
        for (const Preset& preset : presets)
            triX = triX || preset.settings.getStockName() == QLatin1String("KodakTriX");
        QVERIFY(triX);

        // Written back, the group keeps its file name, so the next start-up
        // finds the examples in place and does not install them again.
        QVERIFY(store.writePresetsToDisk());
        QVERIFY(ResourcesHelper::checkExamplePresets(true));
        QCOMPARE(PresetsManager(folder).presetsOfGroup(examples.id).size(), 7);
    }
};

EMULSA_TEST_MAIN(ExamplePresetsTest)
#include "tst_examplepresets.moc"
