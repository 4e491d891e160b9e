#include "EMRendererFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// The render tab under the virtual display with real clips: keep-existing,
// unique output names, cancel, the size check, failures, the destination
// folders and the list (its texts: tst_emrenderertexts; the assembled tab:
// tst_rendertabwiring).
class EMRendererTest : public EMRendererFixture
{
    Q_OBJECT

private slots:
    // With overwrite off, the movie the renderer would write (".mov", not the
    // source's ".mp4") decides: that clip is kept untouched and the next one
    // renders. A TIFF folder of the clip's name is kept likewise.
    void keepExisting_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("finished");
        QTest::newRow("movie") << int(H264Preview) << "kept.mov" << true;
        QTest::newRow("tiff") << int(TiffSequence) << "kept" << true;
        // What a killed render of the sequence left is not its output.
        QTest::newRow("tiff: a killed render's working folder") << int(TiffSequence) << ".kept.k3j9.part" << false;
    }

    void keepExisting()
    {
        QFETCH(int, format);
        QFETCH(QString, existing);
        QFETCH(bool, finished);
        const QString destination = Test::makeTempFolder(QStringLiteral("keep-") + existing);
        Tab tab(destination);
        tab.renderer->output()->overwriteBox()->setChecked(false);
        tab.renderer->output()->formatBox()->setCurrentIndex(format);
        const QString kept = RenderQueueSupport::copyAs(m_clip, destination + "/src", "kept.mp4");
        const QString fresh = RenderQueueSupport::copyAs(m_clip, destination + "/src", "fresh.mp4");
        SequenceItem* a = tab.add(RenderQueueSupport::describe(kept), 0, 10);
        SequenceItem* b = tab.add(RenderQueueSupport::describe(fresh), 0, 10);
        const QString target = destination + "/" + existing;
        if (format == TiffSequence) {
            QVERIFY(QDir().mkpath(target));
        } else {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("earlier render");
        }

        tab.renderer->renderButtonPressed();
        QVERIFY(tab.waitUntilIdle());
        QCOMPARE(tab.progress(b), -42);
        if (!finished) {
            QCOMPARE(tab.progress(a), -42);
            QCOMPARE(QDir(destination + "/kept").entryList(QDir::Files).size(), 10);
            QVERIFY(!QFileInfo::exists(target));
            return;
        }
        QCOMPARE(tab.progress(a), -3);
        QCOMPARE(tab.progressText(a), QStringLiteral("File already exists. Not rendering"));
        if (format == TiffSequence) {
            QVERIFY(QDir(target).isEmpty());
            QCOMPARE(QDir(destination + "/fresh").entryList(QDir::Files).size(), 10);
        } else {
            QFile file(target);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("earlier render"));
            QCOMPARE(RenderQueueSupport::movieFrameCount(destination + "/fresh.mov"), 10);
        }
    }

    // Two clips called "clip.mp4" from different folders and the first one
    // queued a second time with other points: three movies, the later ones
    // with suffixes that the list shows.
    void sameNamesGiveSeparateFiles()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("same-names"));
        Tab tab(destination);
        AssetMetadata* first
            = RenderQueueSupport::describe(RenderQueueSupport::copyAs(m_clip, destination + "/a", "clip.mp4"));
        AssetMetadata* second
            = RenderQueueSupport::describe(RenderQueueSupport::copyAs(m_clip, destination + "/b", "clip.mp4"));
        SequenceItem* a = tab.add(first, 0, 12);
        SequenceItem* b = tab.add(second, 0, 8);
        SequenceItem* again = tab.add(first, 10, 30);

        tab.renderer->renderButtonPressed();
        QVERIFY(tab.waitUntilIdle());
        const QList<QPair<SequenceItem*, QString>> expected { { a, "clip.mov" }, { b, "clip_2.mov" },
            { again, "clip_3.mov" } };
        for (const auto& [item, name] : expected) {
            QCOMPARE(tab.progress(item), -42);
            QCOMPARE(tab.row(item)->data(0, EMRenderList::OutputPathRole).toString(), destination + "/" + name);
            QVERIFY(tab.row(item)->text(EMRenderList::OutputColumn).startsWith(name));
            QCOMPARE(tab.row(item)->text(EMRenderList::OutputColumn).contains("renamed"), item != a);
        }
        QCOMPARE(RenderQueueSupport::movieFrameCount(destination + "/clip.mov"), 12);
        QCOMPARE(RenderQueueSupport::movieFrameCount(destination + "/clip_2.mov"), 8);
        QCOMPARE(RenderQueueSupport::movieFrameCount(destination + "/clip_3.mov"), 20);
    }

    // A destination that does not exist yet (the movies folder of a fresh
    // account) is made, not reported as a failure of every clip.
    void missingDestinationIsMade()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("fresh")) + "/Videos/graded";
        Tab tab(destination);
        SequenceItem* item = tab.add(m_asset, 0, 6);
        tab.renderer->renderButtonPressed();
        QVERIFY(tab.waitUntilIdle());
        QCOMPARE(tab.progress(item), -42);
        QCOMPARE(
            RenderQueueSupport::movieFrameCount(tab.row(item)->data(0, EMRenderList::OutputPathRole).toString()), 6);
    }

    // A cancel shows "Canceling..." on a disabled button until the render
    // has ended (the queue's own tests follow its thread and worker); then
    // the button renders again, the rows are queued again and the line under
    // the list says how far the render came.
    void cancelShowsCanceling()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("cancel"));
        Tab tab(destination);
        tab.renderer->output()->setCustomSize(QSize(640, 360));
        const QString longClip = TestMedia::instance().path(TestMedia::H264Limited1080p25);
        QVERIFY(!longClip.isEmpty());
        SequenceItem* a = tab.add(RenderQueueSupport::describe(longClip), 0, 50);
        SequenceItem* b = tab.add(m_asset, 0, 30);

        tab.renderer->renderButtonPressed();
        QVERIFY(tab.renderer->worker());
        bool canceled = false;
        bool renderingWhileCanceling = false;
        bool buttonEnabledWhileCanceling = true;
        QString buttonWhileCanceling;
        connect(
            tab.renderer->progress()->bar(), &QProgressBar::valueChanged, this,
            [&](int value) {
                if (canceled || value < 2)
                    return;
                canceled = true;
                tab.renderer->renderButtonPressed();
                buttonWhileCanceling = tab.renderer->renderButton()->text();
                buttonEnabledWhileCanceling = tab.renderer->renderButton()->isEnabled();
                renderingWhileCanceling = tab.renderer->isRendering();
            },
            Qt::QueuedConnection);

        QVERIFY(tab.waitUntilIdle());
        QVERIFY(canceled);
        QCOMPARE(buttonWhileCanceling, QStringLiteral("Canceling..."));
        QVERIFY(!buttonEnabledWhileCanceling);
        QVERIFY(renderingWhileCanceling);
        QVERIFY(!tab.renderer->worker());
        QCOMPARE(tab.states, (QList<bool> { true, false }));
        QCOMPARE(tab.renderer->renderButton()->text(), QStringLiteral("Render Clips"));
        QVERIFY(tab.renderer->renderButton()->isEnabled());
        QVERIFY(tab.renderer->output()->formatBox()->isEnabled());
        QCOMPARE(tab.progress(a), -1);
        QCOMPARE(tab.progress(b), -1);
        const int done = tab.renderer->progress()->bar()->value();
        QVERIFY(done >= 2 && done < 80);
        const QString status = tab.renderer->statusLabel()->text();
        QVERIFY2(
            status.startsWith(QStringLiteral("Render canceled after %1 of 80 frames (").arg(done)), qPrintable(status));
    }

    // Sizes the renderer cannot use are refused before the model is asked
    // for anything or the interface changes.
    void unusableSizeIsRefusedFirst_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("format");
        QTest::newRow("0 x 0") << QSize(0, 0) << int(H264Preview);
        QTest::newRow("odd width") << QSize(641, 360) << int(H264Preview);
        QTest::newRow("odd movie height") << QSize(640, 361) << int(H264HighQuality);
        QTest::newRow("0 x 0 tiff") << QSize(0, 0) << int(TiffSequence);
    }

    void unusableSizeIsRefusedFirst()
    {
        QFETCH(QSize, size);
        QFETCH(int, format);
        Tab tab(Test::makeTempFolder(QStringLiteral("size")));
        tab.add(m_asset, 0, 30);
        tab.renderer->output()->formatBox()->setCurrentIndex(format);
        tab.renderer->output()->setCustomSize(size);
        QCOMPARE(tab.renderer->output()->outputSize(), size);
        QCOMPARE(tab.renderer->output()->sizeBox()->currentText(),
            QStringLiteral("Custom: %1 x %2").arg(size.width()).arg(size.height()));
        tab.renderer->renderButtonPressed();
        QCOMPARE(tab.requests, 0);
        QVERIFY(!tab.renderer->isRendering());
        QVERIFY(tab.states.isEmpty());
        QVERIFY(!tab.renderer->statusLabel()->text().isEmpty());
        QVERIFY(tab.renderer->output()->formatBox()->isEnabled());
    }

    // Choosing "Custom" in the size menu opens the size dialog: "Apply"
    // takes its size, "Cancel" goes back to the size chosen before.
    void resolutionChooserDialog()
    {
        ResolutionChooser chooser;
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Custom Size"));
        QVERIFY(chooser.isModal());
        QCOMPARE(chooser.widthBox()->minimum(), 0);
        QCOMPARE(chooser.widthBox()->maximum(), 9999);
        QCOMPARE(chooser.heightBox()->maximum(), 9999);
        auto* apply = chooser.findChild<QPushButton*>(QStringLiteral("apply"));
        auto* cancel = chooser.findChild<QPushButton*>(QStringLiteral("cancel"));
        QVERIFY(apply && cancel);
        QCOMPARE(apply->text(), QStringLiteral("Apply"));
        QTimer::singleShot(0, apply, &QPushButton::click);
        QCOMPARE(chooser.exec(), int(QDialog::Accepted));
        QCOMPARE(chooser.resolution(), QSize(1920, 1080));

        chooser.widthBox()->setValue(2048);
        chooser.heightBox()->setValue(858);
        QTimer::singleShot(0, cancel, &QPushButton::click);
        QCOMPARE(chooser.exec(), int(QDialog::Rejected));
        QCOMPARE(chooser.resolution(), QSize(2048, 858));
    }

    void customSizeDialog_data()
    {
        QTest::addColumn<bool>("apply");
        QTest::newRow("apply") << true;
        QTest::newRow("cancel") << false;
    }

    void customSizeDialog()
    {
        QFETCH(bool, apply);
        EMRenderer renderer;
        QComboBox* sizes = renderer.output()->sizeBox();
        const int before = sizes->findData(QSize(1280, 720));
        QVERIFY(before >= 0);
        sizes->setCurrentIndex(before);
        emit sizes->activated(before);
        bool answered = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<ResolutionChooser*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answered = dialog->windowTitle() == QStringLiteral("Custom Size");
            dialog->widthBox()->setValue(800);
            dialog->heightBox()->setValue(600);
            if (apply)
                dialog->accept();
            else
                dialog->reject();
        });
        const int custom = sizes->count() - 1;
        sizes->setCurrentIndex(custom);
        emit sizes->activated(custom);
        QVERIFY(answered);
        if (apply) {
            QCOMPARE(renderer.output()->outputSize(), QSize(800, 600));
            QCOMPARE(sizes->currentText(), QStringLiteral("Custom: 800 x 600"));
        } else {
            QCOMPARE(sizes->currentIndex(), before);
            QCOMPARE(renderer.output()->outputSize(), QSize(1280, 720));
        }
    }

    // Nothing ticked: nothing is asked of the model and nothing changes but
    // the line that says why.
    void noTickedRows()
    {
        Tab tab(Test::makeTempFolder(QStringLiteral("none")));
        SequenceItem* a = tab.add(m_asset, 0, 30);
        tab.row(a)->setCheckState(0, Qt::Unchecked);
        tab.renderer->renderButtonPressed();
        QCOMPARE(tab.requests, 0);
        QVERIFY(tab.states.isEmpty());
        QVERIFY(!tab.renderer->isRendering());
        QCOMPARE(tab.renderer->statusLabel()->text(), QStringLiteral("Tick the clips to render."));
    }

    // A clip whose file holds fewer frames than its description says (the
    // file changed after it was described) writes fewer frames than asked:
    // the row shows a failure with the renderer's message.
    void shortRenderShowsAsFailed()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("short"));
        Tab tab(destination);
        AssetMetadata stale(*m_asset);
        stale.frameCount = 40;
        SequenceItem* a = tab.add(&stale, 20, 40);
        tab.renderer->renderButtonPressed();
        QVERIFY(tab.waitUntilIdle());
        QCOMPARE(tab.progress(a), -4);
        const QString text = tab.progressText(a);
        QVERIFY2(text.startsWith(QStringLiteral("An error occured. File not rendered: ")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("10 of 20")), qPrintable(text));
        QVERIFY(tab.row(a)->icon(EMRenderList::ProgressColumn).isNull());
    }

    // The folder menu keeps ten entries, the eleventh pushing out the oldest;
    // a known folder is selected, not added again; the menu, its selection and
    // the overwrite setting come back in the next tab.
    void destinationFolders()
    {
        {
            std::unique_ptr<QSettings> store = SettingsManager::openStore();
            store->remove(QStringLiteral("RenderingSettings"));
        }
        const QString root = Test::makeTempFolder(QStringLiteral("folders"));
        QStringList added;
        {
            EMRenderer renderer;
            const QStringList initial = renderer.output()->destinationFolders();
            QCOMPARE(initial.size(), 1);
            for (int i = 1; i <= 11; ++i) {
                added << root + QStringLiteral("/f%1").arg(i);
                renderer.output()->addDestinationFolder(added.last());
            }
            QCOMPARE(renderer.output()->destinationFolders(), added.mid(1));
            QCOMPARE(renderer.output()->destination(), added.last());
            renderer.output()->addDestinationFolder(added.at(3));
            QCOMPARE(renderer.output()->destinationFolders().size(), RenderOutputForm::maxDestinationFolders);
            QCOMPARE(renderer.output()->destination(), added.at(3));
            renderer.output()->overwriteBox()->setChecked(false);
            QCOMPARE(SettingsManager::openStore()->value(QStringLiteral("DefaultSettings/OverwriteMode")), false);
        }
        EMRenderer again;
        QCOMPARE(again.output()->destinationFolders(), added.mid(1));
        QCOMPARE(again.output()->destination(), added.at(3));
        QVERIFY(!again.output()->overwriteBox()->isChecked());
    }

    // The list follows the sequence: rows come and go, points update the
    // frame counts, a reset empties it.
    void listFollowsTheSequence()
    {
        Tab tab(Test::makeTempFolder(QStringLiteral("list")));
        SequenceItem* a = tab.add(m_asset, 0, 30);
        SequenceItem* b = tab.add(m_asset, 0, 30);
        EMRenderList* list = tab.renderer->renderList();
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->checkedItemIds(),
            (QList<QByteArray> { a->uuid.toString().toLatin1(), b->uuid.toString().toLatin1() }));
        list->startingPointUpdated(a->uuid, 10);
        list->endingPointUpdated(a->uuid, 25);
        QCOMPARE(tab.progressText(a), QStringLiteral("Queued 15 frames"));
        list->shotListChanged(b, true);
        QCOMPARE(list->topLevelItemCount(), 1);
        QVERIFY(!tab.row(b));
        list->fullReset();
        QCOMPARE(list->topLevelItemCount(), 0);
    }
};

EMULSA_TEST_MAIN(EMRendererTest)
#include "tst_emrenderer.moc"
