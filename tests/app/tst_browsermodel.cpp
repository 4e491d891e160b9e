#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "CommandRunner.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "media/metadata/MetadataManager.h"
#include "model/GradeTasks.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "model/SequenceTasks.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMSequenceWidget.h"
#include "ui/media/EMShotListWidget.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/EMPresetsWidget.h"

#include <QDir>
#include <QFile>
#include <QMimeData>

#include <memory>

using namespace Emulsa;
using Emulsa::Test::CommandRunner;
using Emulsa::Test::TestMedia;

// The requests of the shot list run against a real model, relayed the way
// the controller relays them; the lists redraw from the model's reports.
class TestBrowserModel : public QObject
{
    Q_OBJECT

private:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;
    MetadataManager* m_metadata = nullptr;
    QString m_folder;

    struct Fixture
    {
        explicit Fixture(TestBrowserModel* test)
            : model(new Model(test->m_metadata, &test->m_catalogue, &test->m_library))
            , runner(std::make_unique<CommandRunner>(model.get()))
            , strip(nullptr, test->m_metadata)
        {
            QObject::connect(&list, &EMShotListWidget::shotDropInsideShotList, [this](const QString& path, bool check) {
                runner->post(new PathTask(check ? AddShot : AddShotNoCheck, path));
            });
            QObject::connect(&list, &EMShotListWidget::notifyGroupOfCommands,
                [this](bool beginning) { runner->post(new BaseTask(beginning ? GroupBegin : GroupEnd)); });
            QObject::connect(&list, &EMShotListWidget::shotSelectedForDeletion,
                [this](const QByteArray& id) { runner->post(new ItemIdTask(RemoveShot, id)); });
            QObject::connect(model.get(), &Model::shotListNeedRefresh, &list, &EMShotListWidget::shotListChanged,
                Qt::QueuedConnection);
            QObject::connect(
                model.get(), &Model::shotRestored, &list, &EMShotListWidget::shotRestored, Qt::QueuedConnection);
            QObject::connect(model.get(), &Model::shotListNeedRefresh, &strip, &EMSequenceWidget::shotListChanged,
                Qt::QueuedConnection);
            QObject::connect(
                model.get(), &Model::shotRestored, &strip, &EMSequenceWidget::shotRestored, Qt::QueuedConnection);
            QObject::connect(model.get(), &Model::sequenceItemGotPreset, &strip,
                &EMSequenceWidget::sequenceItemNeedPresetRefresh, Qt::QueuedConnection);
        }
        ~Fixture() { runner.reset(); }
        bool settle()
        {
            const bool idle = runner->waitIdle();
            QCoreApplication::processEvents();
            return idle;
        }
        QStringList rowPaths() const
        {
            QStringList paths;
            for (int i = 0; i < list.topLevelItemCount(); ++i)
                paths.append(list.topLevelItem(i)->data(0, FilePathRole).toString());
            return paths;
        }

        std::unique_ptr<Model> model;
        std::unique_ptr<CommandRunner> runner;
        EMShotListWidget list;
        EMSequenceWidget strip;
    };

    void drop(EMShotListWidget* list, const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QVERIFY(list->handleDrop(&data));
    }

private slots:
    void initTestCase()
    {
        Model::registerMetaTypes();
        m_metadata = new MetadataManager(Test::makeTempFolder(QStringLiteral("metadata-cache")));
        m_folder = Test::makeTempFolder(QStringLiteral("dropped"));
        int i = 0;
        for (TestMedia::Clip clip : { TestMedia::NoAudio, TestMedia::H264FullRange, TestMedia::ProResMov }) {
            const QString path = TestMedia::instance().path(clip);
            QVERIFY2(!path.isEmpty(), "ffmpeg could not make the test clips");
            QVERIFY(QFile::copy(path, m_folder + QStringLiteral("/clip%1.").arg(i++) + QFileInfo(path).suffix()));
        }
        QFile notes(m_folder + QStringLiteral("/notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
    }

    void cleanupTestCase() { delete m_metadata; }

    // Three files dropped at once are one step of the history.
    void droppedFilesAreOneUndoStep()
    {
        Fixture f(this);
        QList<QUrl> urls;
        const QStringList files = QDir(m_folder).entryList({ QStringLiteral("clip*") }, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 3);
        for (const QString& name : files)
            urls.append(QUrl::fromLocalFile(m_folder + QLatin1Char('/') + name));
        drop(&f.list, urls);
        QVERIFY(f.settle());
        QCOMPARE(f.model->sequence().size(), 3);
        QCOMPARE(f.list.topLevelItemCount(), 3);
        QCOMPARE(f.strip.count(), 3);
        QCOMPARE(f.rowPaths().first(), urls.first().toLocalFile());
        QVERIFY(f.strip.item(0)->data(FrameCountRole).toUInt() > 0);

        f.runner->post(new BaseTask(Undo));
        QVERIFY(f.settle());
        QCOMPARE(f.model->sequence().size(), 0);
        QCOMPARE(f.list.topLevelItemCount(), 0);
        QCOMPARE(f.strip.count(), 0);
    }

    // A folder: its clips are added (the text file is refused by the model);
    // Delete removes the selected rows through the model, and undo puts them
    // back in place.
    void folderDropAndDelete()
    {
        Fixture f(this);
        drop(&f.list, { QUrl::fromLocalFile(m_folder) });
        QVERIFY(f.settle());
        QCOMPARE(f.model->sequence().size(), 3);
        const QStringList before = f.rowPaths();

        f.list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.list));
        f.list.clearSelection();
        f.list.topLevelItem(0)->setSelected(true);
        f.list.topLevelItem(2)->setSelected(true);
        QTest::keyClick(&f.list, Qt::Key_Delete);
        QVERIFY(f.settle());
        QCOMPARE(f.model->sequence().size(), 1);
        QCOMPARE(f.rowPaths(), QStringList { before.at(1) });
        QCOMPARE(f.strip.count(), 1);

        f.runner->post(new BaseTask(Undo));
        QVERIFY(f.settle());
        QCOMPARE(f.model->sequence().size(), 3);
        QCOMPARE(f.rowPaths(), before);

        // Delete with nothing selected changes nothing.
        f.list.clearSelection();
        QTest::keyClick(&f.list, Qt::Key_Delete);
        QVERIFY(f.settle());
        QCOMPARE(f.model->sequence().size(), 3);
    }

    // A click in the presets strip applies the preset to the clips selected
    // in the sequence strip, and their badges follow.
    void presetAppliedToTheSelectedClips()
    {
        Fixture f(this);
        drop(&f.list, { QUrl::fromLocalFile(m_folder) });
        QVERIFY(f.settle());
        QCOMPARE(f.strip.count(), 3);

        PresetsManager* store = PresetsManager::instance();
        const PresetGroup group = store->createNewGroup(QStringLiteral("Looks"));
        const std::optional<Preset> preset = store->createPreset(ClipSettings(), group.id);
        QVERIFY(preset);

        EMPresetsWidget presets;
        QObject::connect(&presets, &EMPresetsWidget::newPresetToBeApplied, [&](const QByteArray& presetId) {
            f.runner->post(new ApplyPresetTask(presetId, f.strip.getSelectionList()));
        });
        presets.presetGroupsListsReady(store->groups());
        presets.presetsListReady(group.id, store->presetsOfGroup(group.id));
        presets.resize(300, 400);
        presets.show();
        QVERIFY(QTest::qWaitForWindowExposed(&presets));

        f.strip.clearSelection();
        f.strip.item(0)->setSelected(true);
        f.strip.item(2)->setSelected(true);
        EMPresetsList* list = presets.presetsList();
        QListWidgetItem* row = list->rowForPreset(preset->id());
        QVERIFY(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(row).center());
        QVERIFY(f.settle());

        const QList<SequenceItem*>& items = f.model->sequence();
        QCOMPARE(items.at(0)->presetUuid(), preset->id());
        QCOMPARE(items.at(1)->presetUuid(), QByteArray());
        QCOMPARE(items.at(2)->presetUuid(), preset->id());
        QCOMPARE(f.strip.item(0)->data(PresetIdRole).toByteArray(), preset->id());
        QCOMPARE(f.strip.item(1)->data(PresetIdRole).toByteArray(), QByteArray());
        QCOMPARE(f.strip.item(2)->data(PresetIdRole).toByteArray(), preset->id());
    }
};

EMULSA_TEST_MAIN(TestBrowserModel)
#include "tst_browsermodel.moc"
