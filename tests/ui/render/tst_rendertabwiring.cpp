#include "common/RenderProbe.h"
#include "common/RenderQueueSupport.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "app/Controller.h"
#include "media/clip/SequenceItem.h"
#include "media/render/OutputSettings.h"
#include "model/Model.h"
#include "ui/presets/PresetsListDialog.h"
#include "ui/render/EMRenderList.h"
#include "ui/render/EMRenderer.h"
#include "ui/render/RenderOutputForm.h"
#include "ui/render/RenderProgress.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QtEndian>

#include <atomic>
#include <memory>

using namespace Emulsa;
using Emulsa::Test::RenderQueueSupport;
using Emulsa::Test::TestMedia;

namespace {

// The assembled application with its real model, controller and task
// thread, its render tab set to small quick movies in a folder of the test.
struct App
{
    explicit App(const QString& destination)
        : assembly(std::make_unique<ApplicationAssembly>(false))
    {
        window()->resize(1280, 800);
        window()->show();
        render = qobject_cast<EMRenderer*>(window()->tabContent(MainWindow::RenderTab));
        RenderQueueSupport::setQuickMovies(render, destination);
        window()->tabs()->setCurrentIndex(MainWindow::RenderTab);
    }
    ~App() { assembly->teardown(); }

    MainWindow* window() const { return assembly->window(); }
    EMRenderList* list() const { return render->renderList(); }
    QByteArray rowId(int row) const { return list()->topLevelItem(row)->data(0, EMRenderList::UuidRole).toByteArray(); }
    QAction* action(const QString& text) const
    {
        for (const QAction* menu : window()->menuBar()->actions())
            for (QAction* action : menu->menu()->actions())
                if (action->text() == text)
                    return action;
        return nullptr;
    }
    // Adds the clips in this order and waits for their rows.
    bool add(const QStringList& paths)
    {
        const int before = list()->topLevelItemCount();
        for (const QString& path : paths)
            assembly->controller()->shotToBeAddedToShotList(path, true);
        return QTest::qWaitFor([&] { return list()->topLevelItemCount() == before + paths.size(); }, 30000);
    }
    // How many of the rows' items the model still holds: a round trip
    // through the task thread, so that anything posted before it is done.
    int itemsInModel()
    {
        std::atomic<int> answer { -1 };
        // Counted on the model's thread while the list is sent: the tab
        // deletes it once it arrives.
        const QMetaObject::Connection connection = QObject::connect(
            assembly->model(), &Model::sequenceItemsReadyToBeRender, assembly->model(),
            [&answer](QList<const SequenceItem*>* items) { answer = items ? items->size() : 0; }, Qt::DirectConnection);
        QList<QByteArray> ids;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            ids << rowId(i);
        assembly->controller()->rendererNeedSequenceItemsFromUuids(&ids);
        const bool answered = QTest::qWaitFor([&answer] { return answer >= 0; }, 20000);
        QObject::disconnect(connection);
        return answered ? int(answer) : -1;
    }
    // Presses the render button and waits until the tab is idle again (the
    // clips are asked for first: not rendering yet is not idle).
    bool renderAndWait()
    {
        QSignalSpy states(render, &EMRenderer::renderingStateChanged);
        render->renderButtonPressed();
        return QTest::qWaitFor(
            [&states] { return !states.isEmpty() && !states.constLast().constFirst().toBool(); }, 300000);
    }

    // What the window lets the user reach, as seen at one moment.
    struct Locks
    {
        bool mediaTab = true;
        bool gradingTab = true;
        bool renderTab = true;
        bool undo = true;
        bool redo = true;
        bool open = true;
        bool newProject = true;
        bool save = true;
        // The presets manager of the grading tab has an Undo of its own.
        bool presetsDialog = true;
        bool reasonShown = false;
        int tabAfterClickingMedia = -1;
    };
    Locks locks()
    {
        Locks seen;
        QTabWidget* tabs = window()->tabs();
        seen.mediaTab = tabs->isTabEnabled(MainWindow::MediaTab);
        seen.gradingTab = tabs->isTabEnabled(MainWindow::GradingTab);
        seen.renderTab = tabs->isTabEnabled(MainWindow::RenderTab);
        seen.undo = action(QStringLiteral("Undo"))->isEnabled();
        seen.redo = action(QStringLiteral("Redo"))->isEnabled();
        seen.open = action(QStringLiteral("Open"))->isEnabled();
        seen.newProject = action(QStringLiteral("New"))->isEnabled();
        seen.save = action(QStringLiteral("Save"))->isEnabled();
        seen.presetsDialog = window()->findChild<PresetsListDialog*>()->isEnabled();
        seen.reasonShown = window()->statusBar()->isVisible()
            && window()->renderingNotice()->text() == MainWindow::renderingLockReason()
            && tabs->tabToolTip(MainWindow::GradingTab) == MainWindow::renderingLockReason();
        const int current = tabs->currentIndex();
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(MainWindow::MediaTab).center());
        seen.tabAfterClickingMedia = tabs->currentIndex();
        tabs->setCurrentIndex(current);
        return seen;
    }
    // Undo by its key, and by the menu's action as code would.
    void undo(bool byKeyOnly = false)
    {
        QTest::keyClick(window(), Qt::Key_Z, Qt::ControlModifier);
        if (!byKeyOnly)
            action(QStringLiteral("Undo"))->trigger();
    }

    std::unique_ptr<ApplicationAssembly> assembly;
    EMRenderer* render = nullptr;
};

} // namespace

// The render tab in the assembled application: a render locks what could
// change the sequence under it and ends with its figures; the list follows
// the model's undo.
class RenderTabWiringTest : public QObject
{
    Q_OBJECT

private:
    QString m_clip;

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(RenderQueueSupport::useFilmDataAndClip(&m_clip, &why), qPrintable(why));
    }

    // While a render runs (seen when its first frames are counted) nothing
    // reaches the sequence: the media and grading tabs cannot be entered,
    // Undo by menu or key changes nothing, New and Open are off, the status
    // bar says why; saving stays; closing the window asks first. All comes
    // back when the render finishes and when it is canceled. A 2-clip render
    // ends with its average speed and its time, not a last second's "0 fps".
    void renderLocksTheSequence()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("lock"));
        App app(destination);
        QVERIFY(QTest::qWaitForWindowExposed(app.window()));
        app.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app.window()));
        const QString longClip = TestMedia::instance().path(TestMedia::H264Limited1080p25);
        QVERIFY(!longClip.isEmpty());
        QVERIFY(app.add({ longClip, m_clip }));

        const App::Locks idle = app.locks();
        QVERIFY(idle.mediaTab && idle.gradingTab && idle.undo && idle.open && idle.newProject && !idle.reasonShown);
        QCOMPARE(idle.tabAfterClickingMedia, int(MainWindow::MediaTab));
        QCOMPARE(app.render->progress()->speedLabel()->text(), RenderProgress::noValueText());
        // Closing the window during a render asks first; "No" keeps it.
        int closeAsked = 0;
        app.window()->prompts().stopRender = [&closeAsked] {
            ++closeAsked;
            return false;
        };
        app.window()->prompts().unsavedChanges = [] { return QMessageBox::No; };

        for (const bool cancel : { false, true }) {
            const QString round = cancel ? QStringLiteral("canceled") : QStringLiteral("finished");
            App::Locks during;
            bool seen = false;
            const QMetaObject::Connection connection
                = connect(app.render->progress()->bar(), &QProgressBar::valueChanged, this, [&](int value) {
                      if (seen || value < 1 || !app.render->isRendering())
                          return;
                      seen = true;
                      during = app.locks();
                      app.undo();
                      app.window()->close();
                      if (cancel)
                          app.render->renderButtonPressed();
                  });
            QElapsedTimer clock;
            clock.start();
            QVERIFY2(app.renderAndWait(), qPrintable(round));
            const qint64 measured = clock.elapsed();
            disconnect(connection);
            QVERIFY2(seen, qPrintable(round));
            QVERIFY2(!during.mediaTab && !during.gradingTab && during.renderTab, qPrintable(round));
            QVERIFY2(!during.undo && !during.redo && !during.open && !during.newProject, qPrintable(round));
            QVERIFY2(!during.presetsDialog, qPrintable(round));
            QVERIFY2(during.save, qPrintable(round));
            QVERIFY2(during.reasonShown, qPrintable(round));
            QCOMPARE(during.tabAfterClickingMedia, int(MainWindow::RenderTab));
            QCOMPARE(closeAsked, cancel ? 2 : 1);
            QVERIFY(app.window()->isVisible());
            QCOMPARE(app.itemsInModel(), 2);
            QCOMPARE(app.list()->topLevelItemCount(), 2);

            const App::Locks after = app.locks();
            QVERIFY2(after.mediaTab && after.gradingTab && after.undo && after.redo, qPrintable(round));
            QVERIFY2(after.open && after.newProject && after.presetsDialog && !after.reasonShown, qPrintable(round));
            QCOMPARE(after.tabAfterClickingMedia, int(MainWindow::MediaTab));
            QVERIFY(app.render->statusLabel()->text().contains(cancel ? "canceled" : "finished"));

            if (!cancel) {
                // Both clips were rendered: the average over the whole render
                // is at least the frames over the time the test waited.
                const QRegularExpressionMatch match
                    = QRegularExpression(QStringLiteral("^average (\\d+(\\.\\d)?) fps$"))
                          .match(app.render->progress()->speedLabel()->text());
                QVERIFY2(match.hasMatch(), qPrintable(app.render->progress()->speedLabel()->text()));
                const int frames = app.render->progress()->bar()->maximum();
                QCOMPARE(app.render->progress()->bar()->value(), frames);
                const double lowest = frames * 1000.0 / double(measured);
                QVERIFY(match.captured(1).toDouble() > 0.0);
                QVERIFY2(match.captured(1).toDouble() + 0.51 >= lowest, qPrintable(QString::number(lowest)));
                QVERIFY(QRegularExpression(QStringLiteral("^\\d+ s$|^\\d+ min \\d+ s$"))
                            .match(app.render->progress()->elapsedLabel()->text())
                            .hasMatch());
                QCOMPARE(app.render->progress()->remainingLabel()->text(), RenderProgress::noValueText());
            }
        }

        // Undo was there to be refused: now its key removes the second clip.
        // The key goes to the active window, which the closing questions may
        // have changed.
        app.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app.window()));
        app.undo(true);
        QTRY_COMPARE_WITH_TIMEOUT(app.list()->topLevelItemCount(), 1, 20000);
        QCOMPARE(app.itemsInModel(), 1);
        // Without a render closing asks nothing about it.
        QVERIFY(app.window()->close());
        QCOMPARE(closeAsked, 2);
    }

    // An undone removal puts the row back where it was, unticked as it was
    // left, with its progress.
    // The TIFF menus show with "Tiff Sequence" only, and what they say
    // reaches the images: 16 bits, LZW, no alpha, with samples no 8-bit
    // picture widened to 16 bits could hold (those are multiples of 257).
    void tiffMenusReachTheImages()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("tiffs"));
        App app(destination);
        QVERIFY(app.add({ m_clip }));
        const QList<QComboBox*> menus { app.render->output()->tiffDepthBox(),
            app.render->output()->tiffCompressionBox(), app.render->output()->tiffAlphaBox() };
        for (QComboBox* menu : menus)
            QVERIFY(!menu->isVisibleTo(app.window()));
        app.render->output()->formatBox()->setCurrentIndex(TiffSequence);
        for (QComboBox* menu : menus)
            QVERIFY(menu->isVisibleTo(app.window()));
        menus[0]->setCurrentText(QStringLiteral("16 bits per channel"));
        menus[1]->setCurrentText(QStringLiteral("LZW"));
        menus[2]->setCurrentText(QStringLiteral("Without alpha"));
        QVERIFY(app.renderAndWait());
        QVERIFY2(app.render->statusLabel()->text().contains(QLatin1String("finished")),
            qPrintable(app.render->statusLabel()->text()));

        const QString base = QFileInfo(m_clip).completeBaseName();
        const QStringList images = QDir(destination + QLatin1Char('/') + base).entryList({ "*.tiff" }, QDir::Files);
        QVERIFY(!images.isEmpty());
        const QString first = destination + QLatin1Char('/') + base + QLatin1Char('/') + images.first();
        QCOMPARE(Test::RenderProbe::probe(first).video.pixelFormat, QStringLiteral("rgb48le"));
        QCOMPARE(Test::RenderProbe::tiffCompression(first), 5);
        const QByteArray samples = Test::RenderProbe::decode(first, QStringLiteral("rgb48le"));
        QCOMPARE(samples.size(), 320 * 180 * 6);
        int between = 0;
        for (int i = 0; i < samples.size(); i += 2)
            between += qFromLittleEndian<quint16>(samples.constData() + i) % 257 != 0 ? 1 : 0;
        QVERIFY2(between > samples.size() / 2 / 4, qPrintable(QString::number(between)));

        app.render->output()->formatBox()->setCurrentIndex(H264Preview);
        for (QComboBox* menu : menus)
            QVERIFY(!menu->isVisibleTo(app.window()));
    }

    // The master formats are in the menu by name, and the one chosen is what
    // the renderer writes: a ProRes movie, then a DPX sequence.
    void formatMenuReachesTheWriter()
    {
        const QString destination = Test::makeTempFolder(QStringLiteral("masters"));
        App app(destination);
        QVERIFY(app.add({ m_clip }));
        QComboBox* formats = app.render->output()->formatBox();
        QStringList names;
        for (int i = 0; i < formats->count(); ++i)
            names << formats->itemText(i);
        QCOMPARE(names, OutputSettings::formatNames());
        const QString base = QFileInfo(m_clip).completeBaseName();

        formats->setCurrentText(QStringLiteral("ProRes 422 HQ"));
        QVERIFY(app.renderAndWait());
        const Test::RenderProbe::Movie movie
            = Test::RenderProbe::probe(destination + QLatin1Char('/') + base + QStringLiteral(".mov"));
        QCOMPARE(movie.video.codec, QStringLiteral("prores"));
        QCOMPARE(movie.video.profile, QStringLiteral("HQ"));
        QCOMPARE(movie.video.pixelFormat, QStringLiteral("yuv422p10le"));

        formats->setCurrentText(QStringLiteral("DPX 10-bit sequence"));
        QVERIFY(!app.render->output()->tiffDepthBox()->isVisibleTo(app.window()));
        QVERIFY(app.renderAndWait());
        const QStringList images = QDir(destination + QLatin1Char('/') + base).entryList({ "*.dpx" }, QDir::Files);
        QVERIFY(!images.isEmpty());
        const Test::RenderProbe::Movie image
            = Test::RenderProbe::probe(destination + QLatin1Char('/') + base + QLatin1Char('/') + images.first());
        QCOMPARE(image.video.codec, QStringLiteral("dpx"));
        QCOMPARE(image.video.pixelFormat, QStringLiteral("gbrp10le"));
    }

    void undoneRemovalKeepsTheRowsPlace()
    {
        App app(Test::makeTempFolder(QStringLiteral("restore")));
        const QString folder = Test::makeTempFolder(QStringLiteral("restore-clips"));
        QVERIFY(app.add({ RenderQueueSupport::copyAs(m_clip, folder, "one.mp4"),
            RenderQueueSupport::copyAs(m_clip, folder, "two.mp4"),
            RenderQueueSupport::copyAs(m_clip, folder, "three.mp4") }));
        const QList<QByteArray> before { app.rowId(0), app.rowId(1), app.rowId(2) };
        QTreeWidgetItem* middle = app.list()->topLevelItem(1);
        middle->setCheckState(0, Qt::Unchecked);
        app.list()->sequenceItemRenderingProgress(QUuid(QString::fromLatin1(before.at(1))), -3);

        app.assembly->controller()->shotToBeDeletedFromShotList(before.at(1));
        QTRY_COMPARE_WITH_TIMEOUT(app.list()->topLevelItemCount(), 2, 20000);
        QCOMPARE(app.rowId(1), before.at(2));
        app.action(QStringLiteral("Undo"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(app.list()->topLevelItemCount(), 3, 20000);
        QCOMPARE((QList<QByteArray> { app.rowId(0), app.rowId(1), app.rowId(2) }), before);
        QTreeWidgetItem* back = app.list()->topLevelItem(1);
        QCOMPARE(back->checkState(0), Qt::Unchecked);
        QCOMPARE(back->text(EMRenderList::ProgressColumn), QStringLiteral("File already exists. Not rendering"));
        QCOMPARE(app.list()->checkedItemIds(), (QList<QByteArray> { before.at(0), before.at(2) }));

        // A new project forgets what was removed from the old one.
        app.assembly->controller()->shotToBeDeletedFromShotList(before.at(1));
        QTRY_COMPARE_WITH_TIMEOUT(app.list()->topLevelItemCount(), 2, 20000);
        app.list()->fullReset();
        app.list()->addRow(QUuid(QString::fromLatin1(before.at(1))), "again", m_clip, QByteArray(), 30, 0, 30, 5);
        QCOMPARE(app.list()->topLevelItem(0)->checkState(0), Qt::Checked);
        QCOMPARE(app.list()->topLevelItem(0)->text(EMRenderList::ProgressColumn), QStringLiteral("Queued 30 frames"));
    }
};

EMULSA_TEST_MAIN(RenderTabWiringTest)

#include "tst_rendertabwiring.moc"
