#include "OpenGLPreviewFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// The preview drawing clips paused and playing: placeholders, seeks, clip
// switches, the histogram, grade edits reaching the processor, and a
// context that cannot be made.
class OpenGLPreviewTest : public OpenGLPreviewFixture
{
    Q_OBJECT

private slots:
    void placeholders()
    {
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        QVERIFY(exposed(preview, 640, 360));
        QVERIFY(show(preview, nullptr));
        const QImage none = preview.grabFramebuffer();
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::NoClipPicture);
        QVERIFY(!none.isNull());
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));

        SequenceItem* broken = brokenItem();
        QVERIFY(broken);
        QVERIFY(!broken->asset->valid);
        QVERIFY(show(preview, broken));
        const QImage invalid = preview.grabFramebuffer();
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::InvalidClipPicture);
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
        QVERIFY(preview.failure().isEmpty());
        // The two pictures are the installed images, scaled into the window.
        const QString resources = ApplicationPaths::instance()->resourcesPath();
        for (auto [grabbed, file] :
            { std::pair { none, "placeholderEM.bin" }, std::pair { invalid, "placeholderIF.bin" } }) {
            const QImage expected = QImage(resources + file, "TIFF").scaled(grabbed.size());
            QVERIFY(!expected.isNull());
            QVERIFY2(qAbs(meanLuma(grabbed) - meanLuma(expected)) < 4.0, file);
        }
        QVERIFY(none != invalid);
    }

    void seekWhilePausedShowsThatFrame_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<QList<int>>("frames");
        QTest::newRow("h264, key frame every 12") << int(TestMedia::NoAudio) << QList<int> { 7, 13, 0, 24, 29, 12, 11 };
        QTest::newRow("prores") << int(TestMedia::ProResMov) << QList<int> { 20, 3, 29 };
        QTest::newRow("29.97") << int(TestMedia::H264Fps2997) << QList<int> { 40, 59, 1 };
    }

    void seekWhilePausedShowsThatFrame()
    {
        QFETCH(int, clip);
        QFETCH(QList<int>, frames);
        ShownPreview shown;
        QVERIFY(showIn(shown, item(TestMedia::Clip(clip))));
        OpenGLPreview& preview = shown.preview;
        QVERIFY(preview.processor());
        preview.setShowOriginal(true);
        QCOMPARE(TestMedia::frameIndexFromImage(preview.grabFramebuffer()), 0);
        QSignalSpy positions(&shown.player, &PreviewPlayer::frameChanged);
        for (int frame : frames) {
            QVERIFY(seek(preview, frame));
            const QImage grabbed = preview.grabFramebuffer();
            QCOMPARE(preview.shownFrameIndex(), frame);
            QCOMPARE(TestMedia::frameIndexFromImage(grabbed), frame);
            QCOMPARE(positions.last().at(0).toInt(), frame);
            QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
        }
    }

    void twentyClipSwitches()
    {
        const QList<TestMedia::Clip> clips = { TestMedia::NoAudio, TestMedia::Portrait, TestMedia::H264FullRange,
            TestMedia::H264Height1088, TestMedia::ProResMov, TestMedia::H264Limited1080p25 };
        std::vector<SequenceItem*> items;
        for (TestMedia::Clip clip : clips) {
            items.push_back(item(clip));
            QVERIFY(items.back());
        }
        items.push_back(brokenItem());
        items.push_back(nullptr);
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        QVERIFY(exposed(preview, 640, 360));
        for (int i = 0; i < 20; ++i) {
            const SequenceItem* current = items[size_t(i * 5) % items.size()];
            QVERIFY(show(preview, current));
            preview.setShowOriginal(true);
            const QImage grabbed = preview.grabFramebuffer();
            QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
            if (current && current->asset->valid) {
                QCOMPARE(preview.shown(), OpenGLPreview::Shown::Frame);
                const QRect viewport = preview.pictureViewport();
                if (current->asset->height > current->asset->width)
                    QVERIFY(viewport.height() == 360 && viewport.width() < 640);
                QCOMPARE(TestMedia::frameIndexFromImage(pictureOf(grabbed, viewport)), 0);
            } else {
                QVERIFY(preview.shown() != OpenGLPreview::Shown::Frame);
            }
        }
    }

    void waitsForTheRecordAndSeeksBeforeShown()
    {
        SequenceItem* current = item(TestMedia::H264FullRange);
        QVERIFY(current);
        AssetMetadata pending(*current->asset);
        pending.ready = false;
        SequenceItem pendingItem(&pending, &m_settings, 0, pending.frameCount);
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        // A seek before the window is shown: the frame waits for it.
        QVERIFY(show(preview, current));
        QVERIFY(seek(preview, 9));
        QVERIFY(exposed(preview, 640, 360));
        preview.setShowOriginal(true);
        QCOMPARE(TestMedia::frameIndexFromImage(preview.grabFramebuffer()), 9);

        // A record still being read shows the no-clip picture until it is
        // ready (the grading tab then opens it in the player).
        QVERIFY(show(preview, &pendingItem));
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::NoClipPicture);
        QVERIFY(!preview.processor());
        pending.ready = true;
        QTRY_VERIFY(preview.processor());
        player.open(&pendingItem);
        QVERIFY(shownSettled(preview));
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::Frame);
        QCOMPARE(preview.shownFrameIndex(), 0);
    }

    void histogramArrives()
    {
        SequenceItem* current = item(TestMedia::H264FullRange);
        QVERIFY(current);
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        QVERIFY(exposed(preview, 640, 360));
        QSignalSpy ready(&preview, &OpenGLPreview::histogramDataReady);
        QVERIFY(show(preview, current));
        preview.render();
        QTRY_VERIFY(ready.count() > 0);
        for (int channel = 0; channel < 3; ++channel) {
            quint64 total = 0;
            for (int bin = 0; bin < 512; ++bin)
                total += preview.histogram(channel)[bin];
            QVERIFY2(total > 0, qPrintable(QString::number(channel)));
        }
    }

    // The preview grades from the packed frame; a small gauge's blur needs the
    // converted float picture, which a paused redraw must then make for the
    // frame already shown (not show an empty or stale one).
    void blurringGaugeConvertsTheShownFrame()
    {
        ShownPreview shown;
        QVERIFY(showIn(shown, item(TestMedia::NoAudio)));
        OpenGLPreview& preview = shown.preview;
        ShaderProcessor* processor = preview.processor();
        QVERIFY(processor);
        QCOMPARE(processor->grade().blurAmount(), 0.f);
        QVERIFY(seek(preview, 9));
        const QImage sharp = preview.grabFramebuffer();
        QCOMPARE(TestMedia::frameIndexFromImage(sharp), 9);

        preview.setStock(m_settings.getStockName(), m_settings.getSourceType(), double(5.53f)); // 8 mm
        QCOMPARE(processor->grade().blurAmount(), 1.f);
        const QImage soft = preview.grabFramebuffer();
        QVERIFY(processor->blurPass().storageAllocated());
        // The frames are flat: blurred, the same picture.
        QCOMPARE(TestMedia::frameIndexFromImage(soft), 9);
        QVERIFY2(qAbs(meanLuma(soft) - meanLuma(sharp)) < 2.0,
            qPrintable(QStringLiteral("%1 -> %2").arg(meanLuma(sharp)).arg(meanLuma(soft))));

        // Back to a gauge without blur: the packed frame again, the same picture.
        preview.setStock(m_settings.getStockName(), m_settings.getSourceType(), double(m_settings.getGrainScale()));
        QCOMPARE(processor->grade().blurAmount(), 0.f);
        QCOMPARE(preview.grabFramebuffer(), sharp);
    }

    void gradeEditsReachTheProcessor()
    {
        ShownPreview shown;
        QVERIFY(showIn(shown, item(TestMedia::NoAudio)));
        OpenGLPreview& preview = shown.preview;
        ShaderProcessor* processor = preview.processor();
        QVERIFY(processor);
        const double before = meanLuma(preview.grabFramebuffer());
        const unsigned uploads = processor->grade().uploadCount(GradeTextures::ExposureUpload);

        // One edit, one upload on the next (paused) redraw, and a brighter picture.
        ClipSettings edited = m_settings;
        edited.setExposure(2.0f);
        preview.applySettings(&edited);
        QCOMPARE(processor->grade().uploadCount(GradeTextures::ExposureUpload), uploads + 1);
        const double brighter = meanLuma(preview.grabFramebuffer());
        QVERIFY2(brighter > before + 5.0, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(brighter)));

        edited.setSaturation(0.0f);
        preview.applySettings(&edited);
        QCOMPARE(processor->grade().uploadCount(GradeTextures::ExposureUpload), uploads + 1);
        preview.setShowOriginal(true);
        QVERIFY(processor->grade().bypass());
        QCOMPARE(TestMedia::frameIndexFromImage(preview.grabFramebuffer()), 0);
        preview.setShowOriginal(false);
        QVERIFY(!processor->grade().bypass());

        QSignalSpy thumbnails(&preview, &OpenGLPreview::frameForThumbnail);
        preview.currentFrameNeededForThumbnail(QByteArrayLiteral("{preset}"));
        QCOMPARE(thumbnails.count(), 1);
        QVERIFY(!thumbnails.at(0).at(1).value<QImage>().isNull());
    }

    void uploadNeverOverrunsThePixelBuffer()
    {
        // A record claiming fewer bytes than the frames carry (a 1088-row
        // frame against a 1080-row record): the copy is cut to the buffer.
        SequenceItem* current = item(TestMedia::NoAudio);
        QVERIFY(current);
        AssetMetadata shortRecord(*current->asset);
        shortRecord.frameBytes = current->asset->frameBytes / 2;
        shortRecord.ready = true;
        SequenceItem shortItem(&shortRecord, &m_settings, 0, shortRecord.frameCount);
        ShownPreview shown;
        QVERIFY(showIn(shown, &shortItem));
        OpenGLPreview& preview = shown.preview;
        QVERIFY(seek(preview, 5));
        preview.grabFramebuffer();
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::Frame);
        QCOMPARE(preview.lastGLError(), GLenum(GL_NO_ERROR));
    }

    void contextFailureIsShownNotFatal()
    {
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        preview.setRequiredVersion(9, 9);
        QSignalSpy failed(&preview, &OpenGLPreview::previewFailed);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("OpenGL 9.9 core is not available"));
        QVERIFY(exposed(preview, 320, 180));
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(preview.shown(), OpenGLPreview::Shown::Failure);
        QVERIFY(!preview.failure().isEmpty());
        // Later calls do nothing and report nothing new.
        QVERIFY(show(preview, item(TestMedia::NoAudio)));
        player.setPlaying(true);
        QVERIFY(seek(preview, 3));
        player.setPlaying(false);
        preview.render();
        QCOMPARE(failed.count(), 1);
        QVERIFY(preview.grabFramebuffer().isNull());
    }

    void previewAreaShowsTheFailure()
    {
        PreviewPlayer player;
        auto* preview = new OpenGLPreview(&player);
        preview->setRequiredVersion(9, 9);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("OpenGL 9.9 core is not available"));
        PreviewArea area(preview);
        QVERIFY(!area.showsFailure());
        area.resize(320, 200);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QTRY_VERIFY(area.showsFailure());
        QVERIFY(area.failureText().contains(QStringLiteral("OpenGL 9.9")));
    }

    void previewAreaWarnsWhileTheGradeCannotBeApplied()
    {
        PreviewPlayer player;
        auto* preview = new OpenGLPreview(&player);
        PreviewArea area(preview);
        area.resize(320, 220);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        // A profile of the catalogue whose tables are not installed.
        ClipSettings missing;
        missing.setSourceType(ProfileInfo::packId("SN02"));
        SequenceItem* clip = item(TestMedia::NoAudio);
        QVERIFY(clip);
        SequenceItem ungraded(clip->asset, &missing, 0, clip->asset->frameCount);
        QVERIFY(show(*preview, &ungraded));
        QVERIFY(seek(*preview, 2));
        QTRY_VERIFY(area.showsGradeWarning());
        QVERIFY(show(*preview, clip));
        QVERIFY(seek(*preview, 2));
        QTRY_VERIFY(!area.showsGradeWarning());
    }
};

EMULSA_TEST_MAIN(OpenGLPreviewTest)
#include "tst_openglpreview.moc"
