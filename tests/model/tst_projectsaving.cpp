#include "GradeTestSupport.h"
#include "common/TestEnvironment.h"

#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "model/Model.h"
#include "model/ProjectLoader.h"
#include "model/SequenceTasks.h"

#include <QDir>
#include <QSignalSpy>

#include <memory>

using namespace Emulsa;
using namespace Emulsa::Test;

// Saving the model's project through SaveProject and loading it back through
// the project loader, with the autosave rules and the copy kept of a file
// that did not load cleanly.
class ProjectSavingTest : public QObject
{
    Q_OBJECT

private:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;
    QHash<QByteArray, AssetMetadata*> m_assets;
    QString m_folder;

    AssetMetadata* asset(const QString& path)
    {
        const QByteArray id = MetadataManager::idForPath(path);
        AssetMetadata*& record = m_assets[id];
        if (!record) {
            record = new AssetMetadata;
            record->id = id;
            record->filePath = path;
            record->frameCount = 500;
            record->ready = true;
        }
        return record;
    }

    std::unique_ptr<Model> makeModel() { return std::make_unique<Model>(nullptr, &m_catalogue, &m_library); }

    ProjectLoader loaderFor(Model* model)
    {
        ProjectLoader loader([model](BaseTask* command) { model->runCommands(command); }, &m_library, &m_catalogue);
        loader.setAssetResolver([this](const QByteArray&, const QString& path) { return asset(path); });
        return loader;
    }

    // Three clips with their own grades, trims and a preset link.
    void fill(Model* model)
    {
        for (int i = 0; i < 3; ++i) {
            auto* grade = new ClipSettings(i == 1 ? sampleGrade() : ClipSettings());
            grade->setGrainAmount(10 * i);
            auto* item = new SequenceItem(
                asset(QStringLiteral("/footage/clip%1.mov").arg(i)), grade, quint32(i), quint32(400 + i));
            if (i == 2)
                item->setPresetUuid(QUuid::createUuid().toByteArray());
            model->runCommands(new SequenceItemTask(AddSequenceItem, item));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_catalogue.loadFromData(Test::twoProfileCatalogue()));
        m_folder = Test::makeTempFolder(QStringLiteral("saving"));
    }

    void cleanupTestCase() { qDeleteAll(m_assets); }

    void savedProjectLoadsBackWhole()
    {
        auto model = makeModel();
        fill(model.get());
        model->noticeChange();
        QSignalSpy finished(model.get(), &Model::finishSaving);
        const QString path = m_folder + QStringLiteral("/whole.empf");
        model->runCommands(new PathTask(SaveProject, path));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QVERIFY(!model->unsavedChanges());
        QVERIFY(fileBytes(path).startsWith("<?xml"));

        auto loaded = makeModel();
        ProjectLoader loader = loaderFor(loaded.get());
        QCOMPARE(loader.load(path), ProjectLoader::Outcome::Loaded);
        QVERIFY(loader.problems().isEmpty());
        QCOMPARE(loaded->sequence().size(), 3);
        QVERIFY(!loaded->unsavedChanges());
        QVERIFY(!loaded->longOperationRunning());
        QCOMPARE(loaded->current(), loaded->sequence().first());
        for (int i = 0; i < 3; ++i) {
            const SequenceItem* item = loaded->sequence().at(i);
            const SequenceItem* original = model->sequence().at(i);
            QCOMPARE(item->uuid, original->uuid);
            QCOMPARE(item->asset, original->asset);
            QCOMPARE(item->startFrame, original->startFrame);
            QCOMPARE(item->endFrame, original->endFrame);
            QCOMPARE(item->presetUuid(), original->presetUuid());
            QCOMPARE(loaded->settingsManager().settingsForID(item->uuid), item->settings);
            compareGrades(*item->settings, *original->settings);
        }
        // Saving a clean file over itself keeps no copy.
        loaded->runCommands(new PathTask(SaveProject, path));
        QVERIFY(!QFileInfo::exists(path + QStringLiteral(".bak")));
    }

    void autosaveNeitherReportsNorClearsTheFlag()
    {
        auto model = makeModel();
        fill(model.get());
        model->noticeChange();
        QSignalSpy finished(model.get(), &Model::finishSaving);
        const QString autosave = ApplicationPaths::instance()->autosaveFilePath();
        QVERIFY(QDir().mkpath(QFileInfo(autosave).absolutePath()));
        model->runCommands(new PathTask(SaveProject, autosave));
        QVERIFY(finished.isEmpty());
        QVERIFY(model->unsavedChanges());

        auto loaded = makeModel();
        QCOMPARE(loaderFor(loaded.get()).load(autosave), ProjectLoader::Outcome::Loaded);
        QCOMPARE(loaded->sequence().size(), 3);
        QVERIFY(QFile::remove(autosave));
        // No autosave file yet (a first start): quietly nothing.
        QCOMPARE(loaderFor(loaded.get()).load(autosave), ProjectLoader::Outcome::NotOpened);
        QCOMPARE(loaded->sequence().size(), 3);
    }

    void failedSaveKeepsTheOldFileAndSaysSo()
    {
        auto model = makeModel();
        fill(model.get());
        model->noticeChange();
        QSignalSpy finished(model.get(), &Model::finishSaving);
        const QString path = m_folder + QStringLiteral("/kept.empf");
        QVERIFY(writeFileBytes(path, "the old project"));
        model->setProjectWriter([](QIODevice* file, const QList<SequenceItem*>&, const SequenceItem*, bool) {
            file->write("half a proj");
            return false;
        });
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("The project could not be saved to .*kept.empf"));
        model->runCommands(new PathTask(SaveProject, path));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY(model->unsavedChanges());
        QCOMPARE(fileBytes(path), QByteArray("the old project"));
        QCOMPARE(QDir(m_folder).entryList({ QStringLiteral("kept*") }, QDir::Files), QStringList { "kept.empf" });

        // A folder that cannot exist: the file cannot even be opened.
        QTest::ignoreMessage(QtCriticalMsg, "Can't open selected file");
        model->runCommands(new PathTask(SaveProject, path + QStringLiteral("/inside.empf")));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(fileBytes(path), QByteArray("the old project"));
    }

    // A file that loaded with a damaged clip is copied to ".bak" before it is
    // first saved over with fewer clips; later saves leave the copy alone.
    void lossyLoadKeepsACopyBeforeTheFirstOverwrite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("user file") << QStringLiteral("damaged.empf");
        QTest::newRow("autosave") << QString();
    }
    void lossyLoadKeepsACopyBeforeTheFirstOverwrite()
    {
        QFETCH(QString, name);
        const bool autosave = name.isEmpty();
        const QString path = autosave ? ApplicationPaths::instance()->autosaveFilePath() : m_folder + "/" + name;
        QFile::remove(path + QStringLiteral(".bak"));
        auto model = makeModel();
        fill(model.get());
        model->runCommands(new PathTask(SaveProject, path));
        QByteArray damaged = fileBytes(path);
        const int second = damaged.indexOf("<StartFrame>1</StartFrame>");
        QVERIFY(second > 0);
        damaged.replace(second, int(qstrlen("<StartFrame>1")), "<StartFrame>one");
        QVERIFY(writeFileBytes(path, damaged));

        auto loaded = makeModel();
        ProjectLoader loader = loaderFor(loaded.get());
        if (!autosave)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("Part of the project .* could not be loaded"));
        else
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Part of the project .* could not be loaded"));
        QCOMPARE(loader.load(path), ProjectLoader::Outcome::LoadedWithLosses);
        QVERIFY(loader.problems().contains(QStringLiteral("1 clip(s) could not be read")));
        QCOMPARE(loaded->sequence().size(), 2);
        QCOMPARE(loaded->lossyProjectPath(), path);

        loaded->runCommands(new PathTask(SaveProject, path));
        QCOMPARE(fileBytes(path + QStringLiteral(".bak")), damaged);
        QVERIFY(loaded->lossyProjectPath().isEmpty());
        QVERIFY(fileBytes(path).contains("total-items=\"2\""));

        loaded->runCommands(new PathTask(SaveProject, path));
        QCOMPARE(fileBytes(path + QStringLiteral(".bak")), damaged);

        // Loading another project forgets the damaged one.
        QCOMPARE(loaderFor(loaded.get()).load(path), ProjectLoader::Outcome::Loaded);
        QVERIFY(loaded->lossyProjectPath().isEmpty());
    }

    void unreadableFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("\x00\x01garbage", 9);
        QTest::newRow("no items") << QByteArray("<Project><SequenceItems timeline=\"0\" total-items=\"3\">");
    }
    void unreadableFiles()
    {
        QFETCH(QByteArray, bytes);
        const QString path = m_folder + QStringLiteral("/unreadable.empf");
        QVERIFY(writeFileBytes(path, bytes));
        auto model = makeModel();
        fill(model.get());
        QTest::ignoreMessage(QtCriticalMsg, "Can't load selected file.");
        QCOMPARE(loaderFor(model.get()).load(path), ProjectLoader::Outcome::NotRead);
        QVERIFY(model->sequence().isEmpty());
        QCOMPARE(model->lossyProjectPath(), path);
        QVERIFY(!model->longOperationRunning());

        QTest::ignoreMessage(QtCriticalMsg, "Can't open selected file");
        QCOMPARE(
            loaderFor(model.get()).load(m_folder + QStringLiteral("/none.empf")), ProjectLoader::Outcome::NotOpened);
    }
};

EMULSA_TEST_MAIN(ProjectSavingTest)
#include "tst_projectsaving.moc"
