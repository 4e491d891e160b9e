#include "common/ProfileDownloadSupport.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "app/Controller.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "model/ProfileDownloader.h"
#include "model/ProfileMaker.h"
#include "model/SettingsManager.h"
#include "ui/grading/CameraChooserWidget.h"
#include "ui/grading/CustomSlider.h"
#include "ui/grading/EMColorWheel.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/grading/EMHistogramSlider.h"
#include "ui/grading/EMHistogramWidget.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/shell/ApplicationAssembly.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>

#include <cmath>

using namespace Emulsa;

namespace {

// Records the names of every signal an object emits, in order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(QObject* source)
    {
        const QMetaObject* meta = source->metaObject();
        for (int i = QWidget::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            // The signals of each field's own name are logged; the one signal
            // for any field that comes with them is checked on its own.
            if (method.methodType() != QMetaMethod::Signal || method.name().startsWith("gradeValue"))
                continue;
            auto* spy = new QSignalSpy(source, ("2" + method.methodSignature()).constData());
            m_spies.append({ QString::fromLatin1(method.name()), spy });
        }
    }
    ~SignalLog() override
    {
        for (const auto& entry : m_spies)
            delete entry.second;
    }

    // Names of the signals with at least one emission, each with its count.
    QMap<QString, int> counts() const
    {
        QMap<QString, int> result;
        for (const auto& entry : m_spies)
            if (entry.second->count() > 0)
                result[entry.first] += entry.second->count();
        return result;
    }
    QList<QVariant> last(const QString& name) const
    {
        for (const auto& entry : m_spies)
            if (entry.first == name && !entry.second->isEmpty())
                return entry.second->last();
        return {};
    }
    void clear()
    {
        for (const auto& entry : m_spies)
            entry.second->clear();
    }

private:
    QList<QPair<QString, QSignalSpy*>> m_spies;
};

template<typename T> T* child(QWidget* parent, const char* name)
{
    T* widget = parent->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

} // namespace

class TestGradingControls : public QObject
{
    Q_OBJECT

private:
    // A profile of the catalogue that the data folder lacks, and its
    // download archive (the tables of a generated profile under its name).
    static constexpr const char* kTin = "SNSL3T";
    QByteArray m_archive;

    static const ProfileInfo* downloadableProfile()
    {
        CameraListHelper* catalogue = CameraListHelper::instance();
        if (!catalogue->load())
            return nullptr;
        for (const auto& manufacturer : catalogue->manufacturers())
            for (const auto& model : manufacturer.models)
                for (const auto& entry : model.profiles)
                    if (qstrcmp(entry.info->tin, kTin) == 0 && !FilmLibrary::instance()->isProfileInstalled(entry.info))
                        return entry.info;
        return nullptr;
    }

    // Adds an indexed clip to the assembled application and waits until the
    // grading panel shows it.
    static void loadClip(ApplicationAssembly& app)
    {
        const QString clip = Test::TestMedia::instance().path(Test::TestMedia::NoAudio);
        QVERIFY(!clip.isEmpty());
        app.controller()->shotToBeAddedToShotList(clip, true);
        QTRY_VERIFY_WITH_TIMEOUT(app.gradingTab()->panel()->isEnabled(), 30000);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        m_archive = Test::profileArchive(
            FilmLibrary::instance()->dataRoot(), QStringLiteral("SNSL3CT"), QString::fromLatin1(kTin));
        QVERIFY(!m_archive.isEmpty());
    }

    void cleanup() { QDir(ApplicationPaths::instance()->userProfilesPath()).removeRecursively(); }

    void sliderJumpsToThePointer_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<int>("expected");
        // Range 0..100, handle 20 px on a 220 px slider: travel 199 px from 10.5.
        QTest::newRow("left of the travel clamps") << 0 << false << 0;
        QTest::newRow("start of the travel") << 11 << false << 0;
        QTest::newRow("middle") << 110 << false << 50;
        QTest::newRow("right end clamps") << 400 << false << 100;
        QTest::newRow("inverted middle") << 110 << true << 50;
        QTest::newRow("inverted start") << 11 << true << 100;
    }
    void sliderJumpsToThePointer()
    {
        QFETCH(int, position);
        QFETCH(bool, inverted);
        QFETCH(int, expected);
        QCOMPARE(CustomSlider::valueForPosition(0, 100, position, 20, 220, inverted), expected);
    }

    void sliderGuardsDegenerateGeometry()
    {
        // A slider shorter than its handle, or an empty range, selects the minimum.
        QCOMPARE(CustomSlider::valueForPosition(5, 100, 3, 20, 10, false), 5);
        QCOMPARE(CustomSlider::valueForPosition(7, 7, 50, 20, 200, false), 7);
    }

    void wheelStopsOnItsOuterCircle()
    {
        EMColorWheel wheel;
        QSignalSpy moved(&wheel, &EMColorWheel::knobHasMoved);
        QSignalSpy pressed(&wheel, &EMColorWheel::knobWasPressed);
        QTest::mousePress(&wheel, Qt::LeftButton, {}, QPoint(58, 58));
        QCOMPARE(pressed.count(), 1);
        QMouseEvent move(QEvent::MouseMove, QPointF(116, 58), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&wheel, &move);
        QCOMPARE(moved.count(), 1);
        const auto value = moved.last().first().value<ColorWheelData>();
        QVERIFY2(value.radius > 1.0 && value.radius <= 49.0 / 48.0 + 0.02, qPrintable(QString::number(value.radius)));
        QVERIFY(std::abs(value.theta) < 0.05);
        QCOMPARE(wheel.knobPosition().x(), 107); // trunc(49 + 58.4)
        // Showing a value never emits.
        wheel.setValue({ 0.5, M_PI / 2 });
        QCOMPARE(moved.count(), 1);
        QCOMPARE(wheel.knobPosition(), QPoint(58, 34)); // 24 px straight up
    }

    void wheelResetIsAnEditOfItsOwn()
    {
        EMColorWheel wheel;
        wheel.setValue({ 0.8, 1.0 });
        QSignalSpy reset(&wheel, &EMColorWheel::resetValue);
        QSignalSpy moved(&wheel, &EMColorWheel::knobHasMoved);
        QTest::mousePress(&wheel, Qt::LeftButton, {}, QPoint(10, wheel.height() - 10));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.last().first().value<ColorWheelData>().radius, 0.0);
        QCOMPARE(wheel.knobPosition(), QPoint(58, 58));
    }

    void levelsKeepTheirOrder_data()
    {
        QTest::addColumn<int>("arrow");
        QTest::addColumn<double>("to");
        QTest::addColumn<float>("black");
        QTest::addColumn<float>("mid");
        QTest::addColumn<float>("white");
        // Start: black 0.2, mid 0.5, white 0.8 (mid half-way).
        QTest::newRow("black pushed past mid stops short") << 0 << 0.9 << 0.49f << 0.645f << 0.8f;
        QTest::newRow("black below zero") << 0 << -0.3 << 0.0f << 0.4f << 0.8f;
        QTest::newRow("white pulled past mid stops short") << 2 << 0.1 << 0.2f << 0.355f << 0.51f;
        QTest::newRow("white above one") << 2 << 1.7 << 0.2f << 0.6f << 1.0f;
        QTest::newRow("mid stops below white") << 1 << 0.95 << 0.2f << 0.79f << 0.8f;
        QTest::newRow("mid stops above black") << 1 << 0.0 << 0.2f << 0.21f << 0.8f;
    }
    void levelsKeepTheirOrder()
    {
        QFETCH(int, arrow);
        QFETCH(double, to);
        QFETCH(float, black);
        QFETCH(float, mid);
        QFETCH(float, white);
        const HistogramSliderData result = EMHistogramSlider::dragged({ 0.2f, 0.5f, 0.8f }, arrow, to);
        QVERIFY(std::abs(result.black - black) < 1e-4f);
        QVERIFY2(std::abs(result.mid - mid) < 1e-4f, qPrintable(QString::number(result.mid)));
        QVERIFY(std::abs(result.white - white) < 1e-4f);
    }

    void levelsArrowHitTest()
    {
        // Upward triangle: apex (x + 15, 0), base (x, 19) .. (x + 30, 19).
        QVERIFY(EMHistogramSlider::arrowContains(100, 19, QPoint(115, 1)));
        QVERIFY(EMHistogramSlider::arrowContains(100, 19, QPoint(101, 18)));
        QVERIFY(!EMHistogramSlider::arrowContains(100, 19, QPoint(101, 2)));
        QVERIFY(!EMHistogramSlider::arrowContains(100, 19, QPoint(131, 18)));
    }

    void clippedBlackDrawsAFullHeightBar()
    {
        EMHistogramWidget widget;
        std::vector<quint32> all(512, 0);
        all[0] = 1920 * 1080;
        widget.setCounts(all.data(), all.data(), all.data(), 512);
        QCOMPARE(EMHistogramWidget::clipBarHeight(all[0]), 118);
        const QImage image = widget.grab().toImage();
        const int h = widget.height();
        // The red bar (x = 2..4) reaches 118 pixels up from the bottom, not further.
        QCOMPARE(QColor(image.pixel(3, h - 1)).red(), 255);
        QCOMPARE(QColor(image.pixel(3, h - 118)).red(), 255);
        QVERIFY(QColor(image.pixel(3, h - 119)).red() < 100);
        // Nothing clipped at white: no bar on the right.
        QVERIFY(QColor(image.pixel(widget.width() - 14, h - 1)).red() < 100);
    }

    void panelSignalsForEachKindOfEdit()
    {
        SettingsPanel panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        SignalLog log(&panel);
        auto* exposure = child<CustomSlider>(&panel, "expAmount");
        auto* exposureBox = child<QDoubleSpinBox>(&panel, "expDisplay");

        // Slider set (as the keyboard does): one edit with its about-to-change.
        exposure->setValue(2500);
        QCOMPARE(log.counts(),
            (QMap<QString, int> { { "exposureSliderValueAboutToChange", 1 }, { "exposureSliderValueChanged", 1 } }));
        QCOMPARE(log.last("exposureSliderValueChanged").first().toFloat(), 0.25f);
        QCOMPARE(exposureBox->value(), 0.25);

        // Typing in the display box moves the slider and is an edit too.
        log.clear();
        exposureBox->setValue(-0.5);
        QCOMPARE(exposure->value(), -5000);
        QCOMPARE(log.counts(),
            (QMap<QString, int> { { "exposureSliderValueAboutToChange", 1 }, { "exposureSliderValueChanged", 1 } }));

        // A press on the groove and a drag: one about-to-change, several values.
        log.clear();
        auto* saturation = child<CustomSlider>(&panel, "saturationAmount");
        const int y = saturation->height() / 2;
        QTest::mousePress(saturation, Qt::LeftButton, {}, QPoint(saturation->width() / 4, y));
        for (int x : { saturation->width() / 3, saturation->width() / 2 }) {
            QMouseEvent move(QEvent::MouseMove, QPointF(x, y), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(saturation, &move);
        }
        QTest::mouseRelease(saturation, Qt::LeftButton, {}, QPoint(saturation->width() / 2, y));
        QCOMPARE(log.counts().value("saturationSliderValueAboutToChange"), 1);
        QCOMPARE(log.counts().value("saturationSliderValueChanged"), 3);

        // Keyboard on a focused slider.
        log.clear();
        auto* grain = child<CustomSlider>(&panel, "grainAmount");
        grain->setFocus();
        QTest::keyClick(grain, Qt::Key_Right);
        QCOMPARE(log.counts(),
            (QMap<QString, int> {
                { "grainAmountSliderValueAboutToChange", 1 }, { "grainAmountSliderValueChanged", 1 } }));
        QCOMPARE(log.last("grainAmountSliderValueChanged").first().toInt(), 101);
    }

    // Every continuous control speaks twice: the signal for any field,
    // carrying the field and its value, and the signal of its own name with
    // the same value.
    void everyFieldSpeaksUnderItsOwnNameToo()
    {
        registerClipSettingsMetaTypes();
        SettingsPanel panel;
        SignalLog log(&panel);
        QSignalSpy values(&panel, &SettingsPanel::gradeValueChanged);
        QSignalSpy abouts(&panel, &SettingsPanel::gradeValueAboutToChange);
        const struct
        {
            GradeField field;
            const char* control;
            QString named;
        } rows[] = {
            { GradeField::Exposure, "expAmount", "exposureSlider" },
            { GradeField::Kelvin, "kelvinAmount", "kelvinSlider" },
            { GradeField::StockAmount, "lutAmount", "stockAmountSlider" },
            { GradeField::CurveAmount, "curveAmount", "curveAmountSlider" },
            { GradeField::GrainAmount, "grainAmount", "grainAmountSlider" },
            { GradeField::LowWheel, "lowWheel", "lowWheel" },
            { GradeField::MidWheel, "midWheel", "midWheel" },
            { GradeField::HighWheel, "highWheel", "highWheel" },
            { GradeField::Lift, "liftAmount", "liftSlider" },
            { GradeField::Gamma, "gammaAmount", "gammaSlider" },
            { GradeField::Gain, "gainAmount", "gainSlider" },
            { GradeField::Saturation, "saturationAmount", "saturationSlider" },
            { GradeField::Levels, "levelsSlider", "histogramSlider" },
            // The film effects have only the signal for any field.
            { GradeField::HalationAmount, "halationAmount", QString() },
            { GradeField::BloomAmount, "bloomAmount", QString() },
            { GradeField::WeaveAmount, "weaveAmount", QString() },
            { GradeField::FlickerAmount, "flickerAmount", QString() },
            { GradeField::ColourGrainAmount, "colourGrainAmount", QString() },
        };
        QCOMPARE(int(std::size(rows)), GradeFieldCount);
        for (const auto& row : rows) {
            log.clear();
            values.clear();
            abouts.clear();
            const GradeFieldInfo& info = gradeField(row.field);
            QVariant named;
            if (auto* slider = panel.findChild<CustomSlider*>(row.control)) {
                // A third of the way along: never the default position.
                const int target = slider->minimum() + (slider->maximum() - slider->minimum()) / 3;
                slider->setValue(target);
                QCOMPARE(info.position(info.fromPosition(target)), target);
                named = log.last(row.named + "ValueChanged").value(0);
            } else if (auto* wheel = panel.findChild<EMColorWheel*>(row.control)) {
                emit wheel->knobWasPressed();
                emit wheel->knobHasMoved(ColorWheelData { 0.3, -1.0 });
                named = log.last(row.named + "ValueChanged").value(0);
                QCOMPARE(named.value<ColorWheelData>().theta, -1.0);
            } else {
                child<QSpinBox>(&panel, "midDisplay")->setValue(40);
                named = log.last(row.named + "ValueChanged").value(0);
                QCOMPARE(named.value<HistogramSliderData>().mid, 0.4f);
            }
            if (row.named.isEmpty())
                QVERIFY(log.counts().isEmpty());
            else
                QCOMPARE(log.counts(),
                    (QMap<QString, int> {
                        { row.named + "ValueAboutToChange", 1 }, { row.named + "ValueChanged", 1 } }));
            QCOMPARE(abouts.size(), 1);
            QCOMPARE(abouts.first().first().value<GradeField>(), row.field);
            QCOMPARE(values.size(), 1);
            QCOMPARE(values.first().first().value<GradeField>(), row.field);
            const GradeValue value = values.first().at(1).value<GradeValue>();
            QCOMPARE(value.index(), info.defaultValue.index());
            QVERIFY(value != info.defaultValue);
            if (row.named.isEmpty())
                continue;
            const GradeValue fromNamed
                = std::visit([&](auto alternative) { return GradeValue(named.value<decltype(alternative)>()); }, value);
            QVERIFY2(fromNamed == value, info.name);
        }
    }

    void resetCameraIsOneGroupOrNothing()
    {
        SettingsPanel panel;
        SignalLog log(&panel);
        panel.resetCamera();
        QVERIFY(log.counts().isEmpty());

        ClipSettings settings;
        settings.setExposure(0.3f);
        settings.setKelvin(3200.0f);
        panel.updateSettings(settings);
        QVERIFY(log.counts().isEmpty());
        panel.resetCamera();
        QCOMPARE(log.counts(),
            (QMap<QString, int> { { "groupOfCommand", 2 }, { "exposureSliderValueAboutToChange", 1 },
                { "exposureSliderValueChanged", 1 }, { "kelvinSliderValueAboutToChange", 1 },
                { "kelvinSliderValueChanged", 1 } }));
        QCOMPARE(log.last("kelvinSliderValueChanged").first().toFloat(), 5600.0f);
        QCOMPARE(log.last("groupOfCommand").first().toBool(), false);
    }

    void showingAGradeEmitsNothing()
    {
        SettingsPanel panel;
        SignalLog log(&panel);
        ClipSettings settings;
        settings.setExposure(-1.2f);
        settings.setSaturation(0.37f);
        settings.setStockName(QStringLiteral("5213"));
        settings.setGrainScaleName(QStringLiteral("Super 8"));
        settings.setMid({ 0.4, 2.0 });
        settings.setHistogramSliderData({ 0.1f, 0.4f, 0.9f });
        panel.updateSettings(settings);
        QVERIFY2(log.counts().isEmpty(), qPrintable(QStringList(log.counts().keys()).join(',')));
        QCOMPARE(child<CustomSlider>(&panel, "expAmount")->value(), -12000);
        QCOMPARE(child<QDoubleSpinBox>(&panel, "expDisplay")->value(), -1.2);
        QCOMPARE(child<CustomSlider>(&panel, "saturationAmount")->value(), 37);
        QCOMPARE(child<QSpinBox>(&panel, "whiteDisplay")->value(), 90);
        QCOMPARE(child<EMColorWheel>(&panel, "midWheel")->value().theta, 2.0);
    }

    void levelDisplaysAreEditsToo()
    {
        SettingsPanel panel;
        SignalLog log(&panel);
        child<QSpinBox>(&panel, "blackDisplay")->setValue(10);
        QCOMPARE(log.counts(),
            (QMap<QString, int> { { "histogramSliderValueAboutToChange", 1 }, { "histogramSliderValueChanged", 1 } }));
        // Out of order: refused and shown back as it was.
        log.clear();
        child<QSpinBox>(&panel, "whiteDisplay")->setValue(5);
        QVERIFY(log.counts().isEmpty());
        QCOMPARE(child<QSpinBox>(&panel, "whiteDisplay")->value(), 100);
    }

    // Without a download address a profile the generator knows is made on
    // this machine, with the progress bar and its Cancel; one it does not
    // know is explained.
    void withoutAnAddressTheProfileIsMadeHere()
    {
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        SettingsPanel panel;
        panel.show();
        auto* note = child<QLabel>(&panel, "downloadNote");
        auto* progress = child<QProgressBar>(&panel, "downloadProgressBar");
        panel.startProfileDownload(ProfileInfo::packId("ZZ99"));
        QVERIFY(note->isVisible());
        QVERIFY(note->text().contains(QStringLiteral("not configured")));
        QVERIFY(!progress->isVisible());

        // Cancelled from the panel: nothing is installed and the buttons
        // come back.
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        SignalLog log(&panel);
        panel.startProfileDownload(profile->profileId());
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->maximum(), 100);
        QVERIFY(panel.maker()->isMaking());
        child<QPushButton>(&panel, "cancelDownloadButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!panel.maker()->isMaking() && !progress->isVisible(), 60000);
        QVERIFY2(note->text().contains(QStringLiteral("cancelled")), qPrintable(note->text()));
        QVERIFY(child<QWidget>(&panel, "changeCameraButton")->isVisible());
        QVERIFY(!FilmLibrary::instance()->isProfileInstalled(profile));
        QVERIFY(QDir(ApplicationPaths::instance()->userProfilesPath())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
        QVERIFY(log.counts().isEmpty());

        // The chooser's mirror menu says downloads are not configured, and
        // offers nothing.
        child<QPushButton>(&panel, "changeCameraButton")->click();
        auto* mirrors = child<QComboBox>(panel.cameraChooser(), "mirrorComboBox");
        QVERIFY(!mirrors->isEnabled());
        QCOMPARE(mirrors->currentText(), QStringLiteral("Not configured"));
        QCOMPARE(panel.cameraChooser()->selectedMirror(), -1);
    }

    // A clip whose profile is installed nowhere (from a project or a
    // preset) offers "Make profile"; once made, the button goes and the
    // clip's profile is given again so its picture uses the new tables. An
    // installed or unknown profile offers nothing.
    void shownMissingProfileOffersToMakeIt()
    {
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        SettingsPanel panel;
        panel.show();
        auto* make = child<QPushButton>(&panel, "makeProfileButton");
        panel.setSourceType(ProfileInfo::packId("OT01"));
        QVERIFY(!make->isVisible());
        panel.setSourceType(ProfileInfo::packId("ZZ99"));
        QVERIFY(!make->isVisible());
        panel.setSourceType(profile->profileId());
        QVERIFY(make->isVisible());

        SignalLog log(&panel);
        make->click();
        QVERIFY(!make->isVisible());
        QVERIFY(child<QWidget>(&panel, "downloadProgressBar")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(FilmLibrary::instance()->isProfileInstalled(profile), 120000);
        QTRY_VERIFY(!log.counts().isEmpty());
        QCOMPARE(log.counts().keys(), QStringList { "sourceTypeComboValueChanged" });
        QCOMPARE(log.last("sourceTypeComboValueChanged").value(0).toUInt(), profile->profileId());
        QVERIFY(!make->isVisible());
        QVERIFY(!child<QWidget>(&panel, "downloadProgressBar")->isVisible());
        QVERIFY(child<QLabel>(&panel, "downloadNote")->text().contains(QStringLiteral("made on this machine")));
    }

    // In the assembled application, with a clip and no download address:
    // choosing a profile that is installed nowhere makes it on this machine
    // in the background and gives it to the clip.
    void chosenMissingProfileIsMadeAndApplied()
    {
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        const uint id = profile->profileId();
        ApplicationAssembly app(false);
        SettingsPanel* panel = app.gradingTab()->panel();
        loadClip(app);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(app.gradingTab()->shownSettings().getSourceType() != id);

        child<QPushButton>(panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel->cameraChooser();
        chooser->setCurrentProfile(id);
        auto* profiles = child<QComboBox>(chooser, "profileComboBox");
        QVERIFY(profiles->currentText().endsWith(QStringLiteral("(download)")));
        child<QPushButton>(chooser, "applyButton")->click();
        auto* progress = child<QProgressBar>(panel, "downloadProgressBar");
        QVERIFY(progress->isVisibleTo(panel));
        // The make runs on its worker: the window keeps handling events.
        QVERIFY(panel->maker()->isMaking());

        auto* note = child<QLabel>(panel, "downloadNote");
        QTRY_VERIFY_WITH_TIMEOUT(note->text().contains(QStringLiteral("made on this machine")), 120000);
        QVERIFY(!progress->isVisibleTo(panel));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile));
        QCOMPARE(profiles->itemText(profiles->findData(id)), QString::fromUtf8(profile->name));
        QTRY_COMPARE(app.gradingTab()->shownSettings().getSourceType(), id);
        QVERIFY(app.teardown().taskThreadFinished);
    }

    // In the assembled application, with a clip: with two mirrors in the
    // settings store, choosing the second in the camera chooser downloads
    // from it, remembers it, confirms the install, offers the profile as
    // installed and gives it to the clip.
    void downloadFromTheChosenMirror()
    {
        qunsetenv("EMULSA_PROFILE_DOWNLOAD_URL");
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        const uint id = profile->profileId();
        Test::LocalHttpServer server;
        QVERIFY(server.isListening());
        server.route(QStringLiteral("/eu/Profile/%1.zip").arg(kTin), { 200, m_archive });
        {
            std::unique_ptr<QSettings> store = SettingsManager::openStore();
            store->beginGroup(QStringLiteral("ProfileDownloads"));
            store->beginWriteArray(QStringLiteral("DownloadMirrors"), 2);
            const QStringList names { QStringLiteral("USA"), QStringLiteral("Europe") };
            const QStringList bases { server.base("/us/Profile/"), server.base("/eu/Profile/") };
            for (int i = 0; i < 2; ++i) {
                store->setArrayIndex(i);
                store->setValue(QStringLiteral("Name"), names[i]);
                store->setValue(QStringLiteral("Url"), bases[i]);
            }
            store->endArray();
            store->endGroup();
        }

        ApplicationAssembly app(false);
        SettingsPanel* panel = app.gradingTab()->panel();
        loadClip(app);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(app.gradingTab()->shownSettings().getSourceType() != id);
        child<QPushButton>(panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel->cameraChooser();
        QVERIFY(chooser->isVisible());
        auto* mirrors = child<QComboBox>(chooser, "mirrorComboBox");
        QVERIFY(mirrors->isEnabled());
        QCOMPARE(mirrors->count(), 2);
        QCOMPARE(mirrors->itemText(0), QStringLiteral("USA"));
        QCOMPARE(mirrors->itemText(1), QStringLiteral("Europe"));
        QCOMPARE(mirrors->currentIndex(), 0);
        mirrors->setCurrentIndex(1);
        QCOMPARE(ProfileDownloader::rememberedMirror(), 1);

        auto* manufacturers = child<QComboBox>(chooser, "manufacturerComboBox");
        auto* models = child<QComboBox>(chooser, "modelComboBox");
        auto* profiles = child<QComboBox>(chooser, "profileComboBox");
        manufacturers->setCurrentIndex(manufacturers->findText(QString::fromUtf8(profile->manufacturer)));
        models->setCurrentIndex(models->findText(QString::fromUtf8(profile->model)));
        const int row = profiles->findData(id);
        QVERIFY(row >= 0);
        profiles->setCurrentIndex(row);
        QVERIFY(profiles->currentText().endsWith(QStringLiteral("(download)")));
        child<QPushButton>(chooser, "applyButton")->click();
        QVERIFY(child<QWidget>(panel, "downloadProgressBar")->isVisibleTo(panel));

        auto* note = child<QLabel>(panel, "downloadNote");
        QTRY_VERIFY_WITH_TIMEOUT(note->isVisibleTo(panel), 20000);
        QCOMPARE(note->text(),
            QStringLiteral("Profile %1 %2 %3 installed.")
                .arg(QString::fromUtf8(profile->manufacturer), QString::fromUtf8(profile->model),
                    QString::fromUtf8(profile->name)));
        // The archive, then the checksum the mirror may publish beside it.
        QCOMPARE(server.requestedPaths(),
            (QStringList { QStringLiteral("/eu/Profile/%1.zip").arg(kTin),
                QStringLiteral("/eu/Profile/%1.zip.sha256").arg(kTin) }));
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(profile));
        QVERIFY(!child<QWidget>(panel, "downloadProgressBar")->isVisibleTo(panel));
        QCOMPARE(profiles->itemText(profiles->findData(id)), QString::fromUtf8(profile->name));
        QTRY_COMPARE(app.gradingTab()->shownSettings().getSourceType(), id);

        // Opened again, the chooser keeps the mirror chosen.
        child<QPushButton>(panel, "changeCameraButton")->click();
        QCOMPARE(mirrors->currentIndex(), 1);

        QVERIFY(app.teardown().taskThreadFinished);
        SettingsManager::openStore()->remove(QStringLiteral("ProfileDownloads"));
    }

    // A download asked for by "Apply" or "Apply to All", with or without the
    // default-camera box, ends as that button would have.
    void downloadEndsAsTheButtonAsked_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("asDefault");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("apply") << "applyButton" << false << QStringList { "sourceTypeComboValueChanged" };
        QTest::newRow("apply as default")
            << "applyButton" << true << QStringList { "defaultProfileChanged", "sourceTypeComboValueChanged" };
        QTest::newRow("apply to all") << "applyToAllButton" << false
                                      << QStringList { "sourceTypeComboValueChangedForAll" };
        QTest::newRow("apply to all as default")
            << "applyToAllButton" << true
            << QStringList { "defaultProfileChanged", "sourceTypeComboValueChangedForAll" };
    }
    void downloadEndsAsTheButtonAsked()
    {
        QFETCH(QString, button);
        QFETCH(bool, asDefault);
        QFETCH(QStringList, expected);
        const ProfileInfo* profile = downloadableProfile();
        QVERIFY(profile);
        Test::LocalHttpServer server;
        server.route(QStringLiteral("/Profile/%1.zip").arg(kTin), { 200, m_archive });
        SettingsPanel panel;
        panel.downloader()->setMirrors({ { QStringLiteral("Local"), server.base() } });
        child<QPushButton>(&panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel.cameraChooser();
        chooser->setCurrentProfile(profile->profileId());
        chooser->setDefaultCameraChecked(asDefault);
        SignalLog log(&panel);
        child<QPushButton>(chooser, qPrintable(button))->click();
        QTRY_VERIFY_WITH_TIMEOUT(FilmLibrary::instance()->isProfileInstalled(profile), 20000);
        QTRY_VERIFY(!log.counts().isEmpty());
        QCOMPARE(log.counts().keys(), expected);
        for (const QString& name : expected) {
            QCOMPARE(log.counts().value(name), 1);
            QCOMPARE(log.last(name).value(0).toUInt(), profile->profileId());
        }
    }

    // In the assembled application, with a clip: a camera added from a .cube
    // (what the button does once its dialogs are answered) is made in the
    // background, given to the clip and offered by the chooser under its
    // name; a table that cannot be used is refused with its line, adding
    // nothing.
    void cameraAddedFromLutIsMadeAndApplied()
    {
        ApplicationAssembly app(false);
        SettingsPanel* panel = app.gradingTab()->panel();
        loadClip(app);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(child<QPushButton>(panel, "addCameraFromLutButton")->isVisibleTo(panel));
        auto* note = child<QLabel>(panel, "downloadNote");

        const QString folder = Test::makeTempFolder(QStringLiteral("luts"));
        const QString broken = folder + QStringLiteral("/broken.cube");
        QVERIFY(Test::writeFileBytes(broken, "LUT_3D_SIZE 300\n"));
        QVERIFY(!panel->addCameraFromLut(broken, QStringLiteral("Broken")));
        QVERIFY2(note->text().contains(QStringLiteral("Line 1:")), qPrintable(note->text()));
        QVERIFY(!panel->maker()->isMaking());
        QVERIFY(!QFileInfo::exists(CameraListHelper::addedCataloguePath()));

        // A camera that records Rec. 709 video already: the identity table.
        const QString identity = folder + QStringLiteral("/identity.cube");
        QVERIFY(
            Test::writeFileBytes(identity, "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n"));
        QVERIFY(panel->addCameraFromLut(identity, QStringLiteral("Studio camera")));
        QVERIFY(panel->maker()->isMaking());
        QVERIFY(child<QProgressBar>(panel, "downloadProgressBar")->isVisibleTo(panel));
        const uint id = panel->maker()->currentProfileId();
        const ProfileInfo* added = CameraListHelper::instance()->getProfile(id);
        QVERIFY(CameraListHelper::isAddedProfile(added));
        QTRY_VERIFY_WITH_TIMEOUT(note->text().contains(QStringLiteral("made on this machine")), 120000);
        QVERIFY(FilmLibrary::instance()->isProfileInstalled(added));
        QTRY_COMPARE(app.gradingTab()->shownSettings().getSourceType(), id);

        child<QPushButton>(panel, "changeCameraButton")->click();
        CameraChooserWidget* chooser = panel->cameraChooser();
        chooser->setCurrentProfile(id);
        QCOMPARE(child<QComboBox>(chooser, "profileComboBox")->currentText(), QStringLiteral("Studio camera"));
        chooser->close();
        QVERIFY(app.teardown().taskThreadFinished);
    }
};

EMULSA_TEST_MAIN(TestGradingControls)
#include "tst_gradingcontrols.moc"
