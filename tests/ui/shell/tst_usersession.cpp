#include "common/RecordingSoundOutput.h"
#include "common/RenderProbe.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "app/Controller.h"
#include "app/PreviewPlayer.h"
#include "app/ProjectSession.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/grading/SettingsPanelHeaderWidget.h"
#include "ui/media/EMFileExplorer.h"
#include "ui/media/EMSequenceWidget.h"
#include "ui/media/EMShotListWidget.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/EMPresetsWidget.h"
#include "ui/presets/PresetsListDialog.h"
#include "ui/preview/OpenGLPreview.h"
#include "ui/preview/PositionSlider.h"
#include "ui/render/EMRenderList.h"
#include "ui/render/EMRenderer.h"
#include "ui/render/RenderOutputForm.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/MainWindow.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QtTest/QtTest>

#include <memory>

using namespace Emulsa;
using Emulsa::Test::RecordingSoundOutput;
using Emulsa::Test::RenderProbe;
using Emulsa::Test::TestMedia;

namespace {

// What the model holds for one clip, copied while the model thread is idle.
struct ClipState
{
    QString path;
    uint start = 0;
    uint end = 0;
    ClipSettings grade;
};

template<typename T> T* namedChild(QWidget* root, const char* name)
{
    return root->findChild<T*>(QString::fromLatin1(name));
}

QPushButton* buttonWithText(QWidget* root, const QString& text)
{
    for (QPushButton* button : root->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// A drag step on the position slider with the left button held.
void dragTo(QWidget* widget, const QPoint& pos)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// The mean of the grey levels of every picture of a movie.
double meanGrey(const QString& path)
{
    const QByteArray grey = RenderProbe::decode(path, QStringLiteral("gray"));
    if (grey.isEmpty())
        return -1.0;
    double sum = 0.0;
    for (char c : grey)
        sum += static_cast<uchar>(c);
    return sum / grey.size();
}

} // namespace

// One user's whole session, driven through the assembled application: three
// clips dropped on the shot list, a grade set on one and undone and redone,
// a preset saved into a new group and applied to two clips, a clip trimmed,
// the project saved, the program quit and started again on that project, and
// two clips rendered from the render tab. Every step is checked where the
// user would see its effect (the model, the files on disk, the movies), so
// cutting the wiring of any step fails the test.
class UserSessionTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApplicationAssembly> m_app;
    std::shared_ptr<RecordingSoundOutput::Recording> m_recording;
    QString m_folder;
    QString m_projectPath;

    MainWindow* window() const { return m_app->window(); }
    EMFilmSettings* grading() const { return m_app->gradingTab(); }
    EMSequenceWidget* strip() const { return window()->findChild<EMSequenceWidget*>(); }
    EMPresetsWidget* presets() const { return window()->findChild<EMPresetsWidget*>(); }
    EMRenderer* renderTab() const { return window()->findChild<EMRenderer*>(); }

    void startApplication()
    {
        m_app = std::make_unique<ApplicationAssembly>(true);
        window()->project()->setAutosavePath(m_folder + "/autosave.empf");
        window()->prompts().projectFile = [this](bool) { return m_projectPath; };
        window()->prompts().unsavedChanges = [] { return QMessageBox::No; };
        window()->resize(1400, 900);
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window()));
    }

    // The model's clips, read once its thread has nothing left to do.
    QList<ClipState> clips() const
    {
        QList<ClipState> states;
        for (const SequenceItem* item : m_app->model()->sequence()) {
            ClipState state;
            state.path = item->asset ? item->asset->filePath : QString();
            state.start = item->startFrame;
            state.end = item->endFrame;
            if (item->settings)
                state.grade = *item->settings;
            states.append(state);
        }
        return states;
    }

    const SequenceItem* current() const { return m_app->model()->current(); }

    bool currentIs(const QString& path) const
    {
        PreviewPlayer* player = grading()->player();
        return current() && current()->asset && current()->asset->filePath == path && player->hasClip()
            && player->asset()->filePath == path && player->seekSettled();
    }

    void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QListWidgetItem* item = list->item(row);
        QVERIFY(item);
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(item).center());
    }

    QList<int> selectedRows(QListWidget* list) const
    {
        QList<int> rows;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->isSelected())
                rows.append(i);
        return rows;
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        m_recording = RecordingSoundOutput::installRecording();
        m_folder = Test::makeTempFolder(QStringLiteral("session"));
        m_projectPath = m_folder + "/session.empf";
    }

    void cleanupTestCase()
    {
        if (m_app)
            m_app->teardown();
        m_app.reset();
        RecordingSoundOutput::uninstall();
    }

    void wholeSession()
    {
        // Three clips with the same pictures in three containers.
        TestMedia& media = TestMedia::instance();
        const QStringList paths = { media.footagePath(TestMedia::FootageMp4), media.footagePath(TestMedia::FootageMov),
            media.footagePath(TestMedia::FootageMkv) };
        for (const QString& path : paths)
            QVERIFY2(!path.isEmpty(), "ffmpeg could not make the footage");

        startApplication();
        QVERIFY(m_app->model()->sequence().isEmpty());
        QVERIFY(!grading()->panel()->isEnabled());

        // Dropped on the media tab's shot list, in the order dragged.
        auto* explorer = qobject_cast<EMFileExplorer*>(window()->tabContent(MainWindow::MediaTab));
        QVERIFY(explorer);
        window()->tabs()->setCurrentIndex(MainWindow::MediaTab);
        QWidget* target = explorer->shotList()->viewport();
        QMimeData dragged;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        dragged.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QTRY_COMPARE_WITH_TIMEOUT(strip()->count(), 3, 30000);
        QTRY_COMPARE(m_app->model()->sequence().size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(clips().at(i).path, paths.at(i));

        // The second clip chosen in the grading tab's sequence strip.
        window()->tabs()->setCurrentIndex(MainWindow::GradingTab);
        clickRow(strip(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(currentIs(paths.at(1)), 20000);
        QTRY_VERIFY(grading()->panel()->isEnabled());
        QCOMPARE(grading()->clipNameLabel()->text(), current()->asset->name);

        // The strip's heading selects to the right of the clip and all.
        QWidget* heading = namedChild<QWidget>(grading(), "shotListHeading");
        QVERIFY(heading && heading->isVisible());
        QTest::mouseClick(namedChild<QPushButton>(heading, "selectRightButton"), Qt::LeftButton);
        QCOMPARE(selectedRows(strip()), (QList<int> { 1, 2 }));
        QTest::mouseClick(namedChild<QPushButton>(heading, "selectAllButton"), Qt::LeftButton);
        QCOMPARE(selectedRows(strip()), (QList<int> { 0, 1, 2 }));

        // Exposure from a click on its slider, three quarters along; the
        // stock from the "next stock" button.
        SettingsPanel* panel = grading()->panel();
        auto* exposure = namedChild<QSlider>(panel, "expAmount");
        QVERIFY(exposure);
        QTest::mouseClick(
            exposure, Qt::LeftButton, Qt::NoModifier, QPoint(exposure->width() * 3 / 4, exposure->height() / 2));
        QTRY_VERIFY(current()->settings->getExposure() > 0.5f);
        const float raised = current()->settings->getExposure();
        const QString firstStock = current()->settings->getStockName();
        QTest::mouseClick(namedChild<QPushButton>(panel, "incStockIndex"), Qt::LeftButton);
        QTRY_VERIFY(current()->settings->getStockName() != firstStock);
        const QString chosenStock = current()->settings->getStockName();

        // Undo takes the stock back, then the exposure; redo brings both.
        QTest::keyClick(window(), Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(current()->settings->getStockName(), firstStock);
        QTest::keyClick(window(), Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(current()->settings->getExposure(), 0.0f);
        QTRY_COMPARE(exposure->value(), 0);
        QTest::keyClick(window(), Qt::Key_Y, Qt::ControlModifier);
        QTRY_COMPARE(current()->settings->getExposure(), raised);
        QTest::keyClick(window(), Qt::Key_Y, Qt::ControlModifier);
        QTRY_COMPARE(current()->settings->getStockName(), chosenStock);
        QTRY_COMPARE(namedChild<QComboBox>(panel, "stockComboBox")->currentText(),
            FilmLibrary::instance()->displayNameForCode(chosenStock));

        // A new preset group from the manager, chosen in the strip, and the
        // grade saved into it with "SAVE AS PRESET".
        PresetsManager* store = PresetsManager::instance();
        PresetsListDialog* manager = presets()->presetsDialog();
        manager->setNameAsker([](const QString&) { return QStringLiteral("Session Looks"); });
        QTest::mouseClick(buttonWithText(presets(), QStringLiteral("MANAGE")), Qt::LeftButton);
        QTRY_VERIFY(manager->isVisible());
        QTest::mouseClick(buttonWithText(manager, QStringLiteral("NEW GROUP")), Qt::LeftButton);
        QComboBox* groups = presets()->groupCombo();
        QTRY_VERIFY(groups->findText(QStringLiteral("Session Looks")) >= 0);
        QTest::mouseClick(buttonWithText(manager, QStringLiteral("DONE")), Qt::LeftButton);
        QTRY_VERIFY(!manager->isVisible());
        // Without a window manager nothing hands the focus back.
        window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        const int groupId = groups->itemData(groups->findText(QStringLiteral("Session Looks"))).toInt();
        groups->setCurrentIndex(groups->findText(QStringLiteral("Session Looks")));
        QCOMPARE(presets()->currentGroupId(), groupId);
        auto* savePreset = namedChild<QPushButton>(grading()->panel()->header(), "savePresetButton");
        QVERIFY(savePreset && savePreset->isVisible());
        QTest::mouseClick(savePreset, Qt::LeftButton);
        QTRY_COMPARE(presets()->presetsList()->count(), 1);
        // On disk, in that group's file, read by a store of its own.
        QVector<Preset> saved;
        QTRY_VERIFY((saved = PresetsManager(store->presetsFolder()).presetsOfGroup(groupId)).size() == 1);
        QCOMPARE(saved.first().settings.getExposure(), raised);
        QCOMPARE(saved.first().settings.getStockName(), chosenStock);

        // The second clip darkened after the preset was made, and trimmed
        // with the slider's handles.
        QTest::mouseClick(
            exposure, Qt::LeftButton, Qt::NoModifier, QPoint(exposure->width() / 4, exposure->height() / 2));
        QTRY_VERIFY(current()->settings->getExposure() < -0.5f);
        const float lowered = current()->settings->getExposure();
        PositionSlider* slider = grading()->positionSlider();
        QCOMPARE(slider->length(), TestMedia::footagePictures);
        const QPoint startHandle = slider->startHandlePosition();
        // The in point's handle is taken by its tip, right of the knob that
        // stands on it.
        const QPoint quarter(27 + slider->width() / 4, 12);
        QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, startHandle + QPoint(18, 20));
        dragTo(slider, quarter);
        QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, quarter);
        const QPoint endHandle = slider->endHandlePosition();
        QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, endHandle + QPoint(25, 20));
        const QPoint threeQuarters(slider->width() * 3 / 4 - 27, 12);
        dragTo(slider, threeQuarters);
        QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, threeQuarters);
        QTRY_VERIFY(current()->startFrame > 5 && current()->startFrame < 20);
        QTRY_VERIFY(current()->endFrame > 30 && current()->endFrame < 45);
        const uint trimStart = current()->startFrame;
        const uint trimEnd = current()->endFrame;

        // The preset applied with the strip to the first and third clips,
        // chosen with a click and a Control-click.
        clickRow(strip(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(currentIs(paths.at(0)), 20000);
        QTest::keyPress(strip(), Qt::Key_Control);
        clickRow(strip(), 2, Qt::ControlModifier);
        QTest::keyRelease(strip(), Qt::Key_Control);
        QCOMPARE(selectedRows(strip()), (QList<int> { 0, 2 }));
        clickRow(presets()->presetsList(), 0);
        QTRY_COMPARE(clips().at(0).grade.getExposure(), raised);
        QTRY_COMPARE(clips().at(2).grade.getExposure(), raised);
        QCOMPARE(clips().at(0).grade.getStockName(), chosenStock);
        QCOMPARE(clips().at(2).grade.getStockName(), chosenStock);
        QCOMPARE(clips().at(1).grade.getExposure(), lowered);
        QTRY_COMPARE(exposure->value(), qRound(raised * 10000));

        // Saved with Ctrl+S (the file chooser answers), then quit.
        QVERIFY(window()->project()->hasUnsavedChanges());
        QTest::keyClick(window(), Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!window()->project()->hasUnsavedChanges(), 20000);
        QCOMPARE(window()->project()->currentPath(), m_projectPath);
        const QList<ClipState> before = clips();
        QVERIFY(window()->close());
        QVERIFY(m_app->teardown().modelThreadFinished);
        m_app.reset();

        // Started again with that project.
        startApplication();
        QVERIFY(window()->readSelectedProjectFile(m_projectPath));
        QTRY_VERIFY_WITH_TIMEOUT(!window()->project()->isLoading() && m_app->model()->sequence().size() == 3, 30000);
        const QList<ClipState> after = clips();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(after.at(i).path, before.at(i).path);
            QCOMPARE(after.at(i).start, before.at(i).start);
            QCOMPARE(after.at(i).end, before.at(i).end);
            QVERIFY2(after.at(i).grade.sameGrade(before.at(i).grade), qPrintable(QString::number(i)));
        }
        QCOMPARE(after.at(1).start, trimStart);
        QCOMPARE(after.at(1).end, trimEnd);
        QCOMPARE(window()->windowTitle(), QStringLiteral("Emulsa - session.empf"));

        // The first two clips rendered from the render tab; the third row
        // unticked with the keyboard.
        window()->tabs()->setCurrentIndex(MainWindow::RenderTab);
        EMRenderer* render = renderTab();
        EMRenderList* list = render->renderList();
        QTRY_COMPARE(list->topLevelItemCount(), 3);
        const QString output = Test::makeTempFolder(QStringLiteral("session-renders"));
        render->output()->addDestinationFolder(output);
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(2));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->topLevelItem(2)->checkState(0), Qt::Unchecked);
        QTest::mouseClick(render->renderButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(render->isRendering(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!render->isRendering(), 120000);
        QCOMPARE(render->renderButton()->text(), QStringLiteral("Render Clips"));

        QStringList movies;
        for (int row = 0; row < 2; ++row)
            movies.append(list->topLevelItem(row)->data(0, EMRenderList::OutputPathRole).toString());
        QVERIFY(list->topLevelItem(2)->data(0, EMRenderList::OutputPathRole).toString().isEmpty());
        QCOMPARE(QDir(output).entryList(QDir::Files).size(), 2);
        const int frames[2] = { TestMedia::footagePictures, int(trimEnd - trimStart) };
        for (int i = 0; i < 2; ++i) {
            const RenderProbe::Movie movie = RenderProbe::probe(movies.at(i));
            QVERIFY2(movie.ok, qPrintable(movies.at(i)));
            QCOMPARE(movie.video.frames, frames[i]);
            QVERIFY(qAbs(movie.video.duration - frames[i] / 25.0) < 0.05);
            QVERIFY2(movie.audio.present, "the clip's sound is in the movie");
            QVERIFY(qAbs(movie.audio.duration - frames[i] / 25.0) < 0.1);
        }
        // The first clip carries the raised exposure, the second the lowered.
        const double bright = meanGrey(movies.at(0));
        const double dark = meanGrey(movies.at(1));
        QVERIFY(bright >= 0 && dark >= 0);
        QVERIFY2(bright > dark + 20, qPrintable(QStringLiteral("%1 vs %2").arg(bright).arg(dark)));
    }
};

EMULSA_TEST_MAIN(UserSessionTest)
#include "tst_usersession.moc"
