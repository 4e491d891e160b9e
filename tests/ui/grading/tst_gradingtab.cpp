#include "common/RecordingSoundOutput.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "app/Controller.h"
#include "app/PreviewPlayer.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/ShaderProcessor.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/grading/EMHistogramWidget.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/EMPresetsWidget.h"
#include "ui/preview/ElapsedTimeWidget.h"
#include "ui/preview/OpenGLPreview.h"
#include "ui/preview/PositionSlider.h"
#include "ui/preview/PreviewZoomBar.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest/QtTest>

#include <memory>

using namespace Emulsa;
using Emulsa::Test::RecordingSoundOutput;
using Emulsa::Test::TestMedia;

// The grading tab of the assembled application (real model, controller and
// task thread, the window shown): what a colourist does with the transport,
// and the sound that reaches the output.
class GradingTabTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApplicationAssembly> m_app;
    std::shared_ptr<RecordingSoundOutput::Recording> m_recording;

    EMFilmSettings* tab() const { return m_app->gradingTab(); }
    PreviewPlayer* player() const { return tab()->player(); }

    QByteArray heard() const
    {
        std::lock_guard<std::mutex> lock(m_recording->mutex);
        return m_recording->heard;
    }

    // Adds a clip through the controller and waits until it is on screen.
    bool addClip(const QString& path)
    {
        if (path.isEmpty())
            return false;
        m_app->controller()->shotToBeAddedToShotList(path, true);
        return QTest::qWaitFor(
            [this, path] {
                return player()->hasClip() && player()->asset()->filePath == path && player()->seekSettled()
                    && tab()->preview()->shownFrameIndex() >= 0;
            },
            30000);
    }

    bool settledAt(int frame)
    {
        return QTest::qWaitFor(
            [this, frame] { return player()->seekSettled() && player()->currentIndex() == frame; }, 20000);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        m_recording = RecordingSoundOutput::installRecording();
    }

    void cleanupTestCase() { RecordingSoundOutput::uninstall(); }

    void init()
    {
        m_app = std::make_unique<ApplicationAssembly>(true);
        m_app->window()->resize(1280, 800);
        m_app->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_app->window()));
        m_app->window()->tabs()->setCurrentIndex(MainWindow::GradingTab);
        m_app->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_app->window()));
        std::lock_guard<std::mutex> lock(m_recording->mutex);
        m_recording->heard.clear();
    }

    void cleanup()
    {
        const ApplicationAssembly::Teardown down = m_app->teardown();
        QVERIFY(down.taskThreadFinished);
        m_app.reset();
    }

    void emptySequenceDisablesTheClipControls()
    {
        QVERIFY(!player()->hasClip());
        QVERIFY(!tab()->panel()->isEnabled());
        QVERIFY(!tab()->playButton()->isEnabled());
        QVERIFY(!tab()->showOriginalButton()->isEnabled());
        QVERIFY(!tab()->positionSlider()->isEnabled());
        QCOMPARE(tab()->timecode()->text(), ElapsedTimeWidget::noTimeText());
        QVERIFY(tab()->clipNameLabel()->text().isEmpty());
        QCOMPARE(tab()->playButton()->toolTip(), QStringLiteral("Play/Pause"));

        // A clip enables them; the histogram fills from the graded frame.
        QVERIFY(addClip(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4)));
        QTRY_VERIFY(tab()->panel()->isEnabled());
        QVERIFY(tab()->playButton()->isEnabled());
        QVERIFY(tab()->positionSlider()->isEnabled());
        EMHistogramWidget* histogram = tab()->panel()->histogramWidget();
        const auto total = [histogram] {
            quint64 sum = 0;
            for (int c = 0; c < 3; ++c)
                for (quint32 count : histogram->counts(c))
                    sum += count;
            return sum;
        };
        QTRY_VERIFY(total() > 0);
        QCOMPARE(tab()->clipNameLabel()->text(), player()->asset()->name);
        QCOMPARE(tab()->frameLabel()->text(), QStringLiteral("Frame 0 of 50"));

        // Removing it disables them again and clears the histogram.
        const SequenceItem* current = m_app->model()->current();
        QVERIFY(current);
        const QByteArray id = current->uuid.toByteArray();
        m_app->controller()->shotToBeDeletedFromShotList(id);
        QTRY_VERIFY(!player()->hasClip());
        QTRY_VERIFY(!tab()->panel()->isEnabled());
        QVERIFY(!tab()->playButton()->isEnabled());
        QVERIFY(!tab()->positionSlider()->isEnabled());
        QCOMPARE(total(), quint64(0));
        QCOMPARE(tab()->timecode()->text(), ElapsedTimeWidget::noTimeText());
    }

    // Play reaches the sound output from the clip's start; the picture moves
    // with it; pausing stops both.
    void playPlaysTheSound()
    {
        QVERIFY(addClip(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4)));
        QTest::mouseClick(tab()->playButton(), Qt::LeftButton);
        QVERIFY(player()->isPlaying());
        QCOMPARE(tab()->playButton()->text(), QStringLiteral("Pause"));
        QTest::qWait(700);
        QVERIFY(player()->currentIndex() >= 8);
        const QByteArray sound = heard();
        const int rate = m_recording->sampleRate;
        QVERIFY2(sound.size() >= rate * 4 * 4 / 10, "less than 0.4 s of sound heard in 0.7 s of play");
        const QList<qint64> marks = RecordingSoundOutput::markOffsets(sound, 2, rate);
        QVERIFY(!marks.isEmpty());
        // The first mark is at frame 5.
        QVERIFY(std::abs(marks.first() - rate * TestMedia::markFirstFrame / 25) <= rate / 500);
        QVERIFY(tab()->positionSlider()->value() == player()->currentIndex());

        QTest::mouseClick(tab()->playButton(), Qt::LeftButton);
        QVERIFY(!player()->isPlaying());
        const int atPause = heard().size();
        const int frameAtPause = player()->currentIndex();
        QTest::qWait(300);
        QCOMPARE(heard().size(), atPause);
        QCOMPARE(player()->currentIndex(), frameAtPause);
    }

    // Space plays and pauses; the arrows step a frame (with Shift a second),
    // Home and End go to the in and out points; the timecode and frame label
    // follow.
    void transportKeys()
    {
        QVERIFY(addClip(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4)));
        // Space works with the focus anywhere in the window, the tab bar
        // included (where a click on the tab leaves it).
        QTabBar* tabBar = m_app->window()->tabs()->tabBar();
        tabBar->setFocus();
        QTRY_VERIFY(tabBar->hasFocus());
        QTest::keyClick(tabBar, Qt::Key_Space);
        QVERIFY(player()->isPlaying());
        QTest::keyClick(tabBar, Qt::Key_Space);
        QVERIFY(!player()->isPlaying());
        // Coming back to the tab, the arrows step.
        m_app->window()->tabs()->setCurrentIndex(MainWindow::MediaTab);
        m_app->window()->tabs()->setCurrentIndex(MainWindow::GradingTab);
        const int before = player()->currentIndex();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QVERIFY(settledAt(before + 1));

        tab()->positionSlider()->setFocus();
        QTRY_VERIFY(tab()->positionSlider()->hasFocus());
        QWidget* focus = tab()->positionSlider();

        QTest::keyClick(focus, Qt::Key_Space);
        QVERIFY(player()->isPlaying());
        QVERIFY(tab()->playButton()->isChecked());
        QTest::keyClick(focus, Qt::Key_Space);
        QVERIFY(!player()->isPlaying());

        QTest::keyClick(focus, Qt::Key_Home);
        QVERIFY(settledAt(0));
        struct Key
        {
            int key;
            Qt::KeyboardModifiers modifiers;
            int frame;
            const char* timecode;
        };
        const Key keys[] = {
            { Qt::Key_Right, Qt::NoModifier, 1, "00:00:00:01" },
            { Qt::Key_Right, Qt::ShiftModifier, 26, "00:00:01:01" },
            { Qt::Key_Left, Qt::NoModifier, 25, "00:00:01:00" },
            { Qt::Key_End, Qt::NoModifier, 49, "00:00:01:24" },
            { Qt::Key_Right, Qt::NoModifier, 49, "00:00:01:24" },
            { Qt::Key_Left, Qt::ShiftModifier, 24, "00:00:00:24" },
            { Qt::Key_Home, Qt::NoModifier, 0, "00:00:00:00" },
        };
        for (const Key& key : keys) {
            QTest::keyClick(focus, Qt::Key(key.key), key.modifiers);
            QVERIFY2(settledAt(key.frame), qPrintable(QStringLiteral("expected frame %1").arg(key.frame)));
            QTRY_COMPARE(tab()->timecode()->text(), QString::fromLatin1(key.timecode));
            QCOMPARE(tab()->frameLabel()->text(), QStringLiteral("Frame %1 of 50").arg(key.frame));
            QCOMPARE(tab()->positionSlider()->value(), key.frame);
            QTRY_COMPARE(tab()->preview()->shownFrameIndex(), key.frame);
        }
        // A step while playing pauses.
        QTest::keyClick(focus, Qt::Key_Space);
        QVERIFY(player()->isPlaying());
        QTest::keyClick(focus, Qt::Key_Right);
        QVERIFY(!player()->isPlaying());
        QVERIFY(!tab()->playButton()->isChecked());
    }

    // Pressing the slider anywhere pauses; the press moves the picture.
    void sliderPressPauses()
    {
        QVERIFY(addClip(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4)));
        QTest::mouseClick(tab()->playButton(), Qt::LeftButton);
        QVERIFY(player()->isPlaying());
        QSignalSpy positions(m_app->controller(), &Controller::currentPositionChanged);
        PositionSlider* slider = tab()->positionSlider();
        // The middle of the track: frame 25 of 50.
        QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(27 + (slider->width() - 54) / 2, 12));
        QVERIFY(!player()->isPlaying());
        QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(27 + (slider->width() - 54) / 2, 12));
        QVERIFY(settledAt(slider->value()));
        QVERIFY(std::abs(slider->value() - 25) <= 1);
        QTRY_COMPARE(tab()->preview()->shownFrameIndex(), slider->value());
        // The model hears the new position.
        QTRY_VERIFY(!positions.isEmpty() && positions.last().first().toInt() == slider->value());
    }

    // 100 % from the zoom bar shows each source pixel on one window pixel:
    // the one-pixel checker of the pattern clip reads back exactly.
    void oneHundredPercentShowsSourcePixels()
    {
        QVERIFY(addClip(TestMedia::instance().pixelPatternPath()));
        OpenGLPreview* preview = tab()->preview();
        QVERIFY(preview->devicePixelRatio() == 1.0);
        QTest::mouseClick(tab()->showOriginalButton(), Qt::LeftButton);
        QTest::mouseClick(tab()->zoomBar()->button(PreviewZoomBar::Actual), Qt::LeftButton);
        QCOMPARE(preview->zoomFactor(), 1.0);
        const QImage grabbed = preview->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        const QRect viewport = preview->pictureViewport();
        QCOMPARE(viewport.size(), QSize(TestMedia::pixelPatternWidth, TestMedia::pixelPatternHeight));
        const int top = grabbed.height() - viewport.y() - viewport.height();
        int wrong = 0;
        for (int y = 0; y < viewport.height(); ++y) {
            for (int x = 0; x < viewport.width(); ++x) {
                const int grey = qGray(grabbed.pixel(viewport.x() + x, top + y));
                const bool white = TestMedia::pixelPatternIsWhite(x, y);
                if (white ? grey < 200 : grey > 55)
                    ++wrong;
            }
        }
        QCOMPARE(wrong, 0);
        // Fit again: the picture fills the preview's height or width.
        QTest::mouseClick(tab()->zoomBar()->button(PreviewZoomBar::Fit), Qt::LeftButton);
        QCOMPARE(preview->zoomFactor(), 0.0);
        const QRect fitted = preview->pictureViewport();
        QVERIFY(fitted.width() == int(preview->width() * preview->devicePixelRatio())
            || fitted.height() == int(preview->height() * preview->devicePixelRatio()));
    }

    // The gate weave and flicker sliders reach the preview's grade: the frame
    // on screen (a one-pixel checker, where a fraction of a pixel shows)
    // moves and changes its exposure, and back at 0 the picture is the one
    // before, bit for bit.
    void filmMotionSlidersChangeThePicture()
    {
        QVERIFY(addClip(TestMedia::instance().pixelPatternPath()));
        OpenGLPreview* preview = tab()->preview();
        ShaderProcessor* processor = preview->processor();
        QVERIFY(processor);
        auto* weave = tab()->panel()->findChild<QSlider*>(QStringLiteral("weaveAmount"));
        auto* flicker = tab()->panel()->findChild<QSlider*>(QStringLiteral("flickerAmount"));
        QVERIFY(weave && flicker);
        const QImage before = preview->grabFramebuffer();
        QVERIFY(!processor->grade().weaves());

        weave->setValue(100);
        flicker->setValue(100);
        QTRY_VERIFY(processor->grade().weaves());
        const FilmMotion::Frame motion = processor->grade().filmMotion();
        QVERIFY(motion.offset[0] != 0.f && motion.offset[1] != 0.f);
        QVERIFY(motion.gain[0] != 1.f && motion.gain[1] != 1.f && motion.gain[2] != 1.f);
        QTRY_VERIFY(preview->grabFramebuffer() != before);

        weave->setValue(0);
        flicker->setValue(0);
        QTRY_VERIFY(!processor->grade().weaves());
        QTRY_VERIFY(preview->grabFramebuffer() == before);
    }

    // The colour grain slider reaches the preview's grain (the clip's grade
    // has grain): the picture changes, and back at 0 it is the one before.
    void colourGrainSliderChangesThePicture()
    {
        QVERIFY(addClip(TestMedia::instance().pixelPatternPath()));
        OpenGLPreview* preview = tab()->preview();
        auto* colourGrain = tab()->panel()->findChild<QSlider*>(QStringLiteral("colourGrainAmount"));
        auto* grain = tab()->panel()->findChild<QSlider*>(QStringLiteral("grainAmount"));
        QVERIFY(colourGrain && grain);
        QVERIFY(grain->value() > 0);
        const QImage before = preview->grabFramebuffer();
        colourGrain->setValue(100);
        QTRY_VERIFY(preview->grabFramebuffer() != before);
        colourGrain->setValue(0);
        QTRY_VERIFY(preview->grabFramebuffer() == before);
    }

    // "Update with Current Grade" in the presets strip's menu gives the
    // preset the preview's graded picture as its thumbnail, as saving a new
    // preset does; undo takes it away again (the preset had none).
    void updatedPresetGetsThePreviewsPicture()
    {
        PresetsManager* store = PresetsManager::instance();
        const int group = store->createNewGroup(QStringLiteral("Updated in the preview")).id;
        const Preset preset = store->createPreset(ClipSettings(), group).value();
        QVERIFY(!QFile::exists(store->thumbnailPath(preset.uuid)));
        QVERIFY(addClip(TestMedia::instance().pixelPatternPath()));
        auto* presets = m_app->window()->findChild<EMPresetsWidget*>();
        QVERIFY(presets);
        QTRY_VERIFY(presets->presetsList()->currentClipAvailable());
        QMenu* menu = presets->presetsList()->menuForPreset(preset.id());
        QCOMPARE(menu->actions().size(), 1);
        menu->actions().first()->trigger();
        QTRY_VERIFY(QFile::exists(store->thumbnailPath(preset.uuid)));
        // The black and white pattern, not a blank picture.
        const QImage thumbnail = store->thumbnailForId(preset.id()).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!thumbnail.isNull());
        int white = 0;
        for (int y = 0; y < thumbnail.height(); ++y)
            for (int x = 0; x < thumbnail.width(); ++x)
                white += qGray(thumbnail.pixel(x, y)) > 200 ? 1 : 0;
        QVERIFY2(white > 0 && white < thumbnail.width() * thumbnail.height(), qPrintable(QString::number(white)));
        m_app->controller()->undoTriggered();
        QTRY_VERIFY(!QFile::exists(store->thumbnailPath(preset.uuid)));
        QVERIFY(store->takeGroup(group));
    }

    // A drag of the lift slider (the test pictures are black and white, which
    // lift moves): the picture follows, no file is read, only the
    // lift/gamma/gain table is uploaded, no grading program is built, and the
    // model's echo of earlier steps never moves the slider back under the
    // mouse. After the release the model holds the last value.
    // The Halation slider reaches the preview's grade: the glow passes run
    // and the picture changes, its light moved, not added (the preview
    // grades the packed frame when it can: the glow must read the linear
    // picture); back at 0 they stop and the picture is the one before. On
    // the black and white checker, whose white pixels are over the threshold.
    void halationSliderGlowsThePreview()
    {
        QVERIFY(addClip(TestMedia::instance().pixelPatternPath()));
        OpenGLPreview* preview = tab()->preview();
        ShaderProcessor* processor = preview->processor();
        QVERIFY(processor);
        auto* slider = tab()->panel()->findChild<QSlider*>(QStringLiteral("halationAmount"));
        QVERIFY(slider);
        const auto mean = [](const QImage& image) {
            const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
            double sum = 0.0;
            for (int y = 0; y < rgb.height(); ++y)
                for (int x = 0; x < rgb.width(); ++x)
                    sum += qRed(rgb.pixel(x, y)) + qGreen(rgb.pixel(x, y)) + qBlue(rgb.pixel(x, y));
            return sum / (3.0 * rgb.width() * rgb.height());
        };
        const QImage before = preview->grabFramebuffer();
        QCOMPARE(processor->glowPass().runs(), 0);
        slider->setValue(100);
        QTRY_VERIFY(processor->glowPass().runs() > 0);
        QVERIFY(!processor->grade().halation().isOff());
        QTRY_VERIFY(preview->grabFramebuffer() != before);
        const double on = mean(preview->grabFramebuffer());
        QVERIFY2(std::abs(on - mean(before)) < 0.1 * mean(before) + 1.0,
            qPrintable(QStringLiteral("mean level %1 before, %2 with halation").arg(mean(before)).arg(on)));
        slider->setValue(0);
        QTRY_VERIFY(processor->grade().halation().isOff());
        const int runs = processor->glowPass().runs();
        QTRY_COMPARE(preview->grabFramebuffer(), before);
        QCOMPARE(processor->glowPass().runs(), runs);
    }

    void liftDragDoesOnlyWhatChanged()
    {
        QVERIFY(addClip(TestMedia::instance().markedSoundPath(TestMedia::FootageMp4)));
        OpenGLPreview* preview = tab()->preview();
        ShaderProcessor* processor = preview->processor();
        QVERIFY(processor);
        auto* slider = tab()->panel()->findChild<QSlider*>(QStringLiteral("liftAmount"));
        QVERIFY(slider && slider->isVisible());
        const QImage before = preview->grabFramebuffer();

        using Upload = GradeTextures::Upload;
        const Upload kinds[] = { GradeTextures::ExposureUpload, GradeTextures::LiftGammaGainUpload,
            GradeTextures::WheelsUpload, GradeTextures::LevelsUpload, GradeTextures::GrainMapUpload,
            GradeTextures::GrainCurveUpload, GradeTextures::StockTableUpload };
        std::vector<unsigned> uploads;
        for (Upload kind : kinds)
            uploads.push_back(processor->grade().uploadCount(kind));
        const int reads = FilmLibrary::instance()->stockTableReads();
        const int grains = processor->grade().grainChoices();
        const int programs = processor->programs().built();
        QSignalSpy echoes(m_app->controller(), &Controller::gradeFieldShouldRefresh);

        const int y = slider->height() / 2;
        int x = slider->width() / 2;
        QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QVERIFY(slider->isSliderDown());
        int last = slider->value();
        // What the slider showed whenever an echo had been shown, against
        // the value under the mouse then.
        QList<QPair<int, int>> atEchoes;
        connect(m_app->controller(), &Controller::gradeFieldShouldRefresh, this, [&](GradeField field) {
            QCOMPARE(field, GradeField::Lift);
            atEchoes.append({ slider->value(), last });
        });
        const int steps = 8;
        for (int i = 0; i < steps; ++i) {
            // Two moves before the event loop runs: the echo of the first
            // arrives while the mouse is already at the second.
            for (int m = 0; m < 2; ++m) {
                x += std::max(2, slider->width() / 40);
                // A move with the button held (QTest's moves carry no buttons).
                QMouseEvent move(QEvent::MouseMove, QPoint(x, y), slider->mapToGlobal(QPoint(x, y)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(slider, &move);
                QVERIFY2(slider->value() > last, "the drag did not move the slider");
                last = slider->value();
            }
            QTest::qWait(30);
            QCOMPARE(slider->value(), last);
        }
        QVERIFY(atEchoes.size() >= steps);
        for (const auto& [shown, underMouse] : atEchoes)
            QCOMPARE(shown, underMouse);
        QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QVERIFY(!slider->isSliderDown());
        QTRY_VERIFY(echoes.count() >= 2 * steps);
        QTRY_COMPARE(qRound(std::get<float>(echoes.last().at(1).value<GradeValue>()) * 100.0f), last);
        QTest::qWait(50);
        QCOMPARE(slider->value(), last);

        // No program was built while dragging (the first frame after the
        // drag may take up the program of the new stages).
        QCOMPARE(processor->programs().built(), programs);
        // Brighter than before the drag.
        const QImage after = preview->grabFramebuffer();
        const auto mean = [](const QImage& image) {
            const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
            double sum = 0.0;
            for (int y = 0; y < rgb.height(); y += 4)
                for (int x = 0; x < rgb.width(); x += 4)
                    sum += qGray(rgb.pixel(x, y));
            return sum;
        };
        QVERIFY2(mean(after) > mean(before),
            qPrintable(QStringLiteral("%1 -> %2, lift %3").arg(mean(before)).arg(mean(after)).arg(last)));

        QCOMPARE(FilmLibrary::instance()->stockTableReads(), reads);
        QCOMPARE(processor->grade().grainChoices(), grains);
        for (size_t k = 0; k < std::size(kinds); ++k) {
            const unsigned now = processor->grade().uploadCount(kinds[k]);
            if (kinds[k] == GradeTextures::LiftGammaGainUpload)
                QVERIFY2(now > uploads[k] && now <= uploads[k] + 2 * steps + 2,
                    qPrintable(QStringLiteral("lift uploaded %1 times for %2 steps").arg(now - uploads[k]).arg(steps)));
            else
                QVERIFY2(now == uploads[k],
                    qPrintable(QStringLiteral("table %1 uploaded %2 more times")
                                   .arg(unsigned(kinds[k]))
                                   .arg(now - uploads[k])));
        }
    }
};

EMULSA_TEST_MAIN(GradingTabTest)
#include "tst_gradingtab.moc"
