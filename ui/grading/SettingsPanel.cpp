#include "ui/grading/SettingsPanel.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "model/ProfileDownloader.h"
#include "ui/grading/CameraChooserWidget.h"
#include "ui/grading/CustomSlider.h"
#include "ui/grading/EMColorWheel.h"
#include "ui/grading/EMHistogramSlider.h"
#include "ui/grading/EMHistogramWidget.h"
#include "ui/grading/SettingsPanelHeaderWidget.h"

#include <QComboBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace Emulsa {

namespace {

constexpr int kDefaultKelvin = 5600;

// Stored values are floats (0.9f is 0.8999999...): a control shows the
// nearest step, not the one below it.
int nearestStep(double v)
{
    return static_cast<int>(std::lround(v));
}

} // namespace

SettingsPanel::SettingsPanel(QWidget* parent)
    : QWidget(parent)
    , m_header(new SettingsPanelHeaderWidget(this))
    , m_downloader(new ProfileDownloader(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_header);
    layout->addWidget(buildCameraSection());
    layout->addWidget(buildStockSection());
    layout->addWidget(buildWheelsSection());
    layout->addWidget(buildLevelsSection());
    layout->addStretch();

    connect(m_downloader, &ProfileDownloader::downloalProgress, m_downloadProgress, &QProgressBar::setValue);
    connect(m_downloader, &ProfileDownloader::downloalProgressMax, m_downloadProgress, &QProgressBar::setMaximum);
    connect(m_downloader, &ProfileDownloader::downloadFinishedAndInstalled, this, [this](uint id) {
        endDownload();
        m_downloadNote->setText(QStringLiteral("Profile %1 installed.").arg(profileTitle(id)));
        m_downloadNote->show();
        if (m_chooser)
            m_chooser->refreshInstalledState();
        setSourceType(id);
        if (m_downloadPurpose.forAll)
            emit sourceTypeComboValueChangedForAll(id);
        else
            emit sourceTypeComboValueChanged(id);
        if (m_downloadPurpose.asDefault)
            emit defaultProfileChanged(id);
    });
    connect(m_downloader, &ProfileDownloader::downloadFailed, this, [this](uint, const QString& message) {
        endDownload();
        m_downloadNote->setText(message);
        m_downloadNote->show();
    });
    connect(m_cancelDownload, &QPushButton::clicked, this, [this] {
        m_downloader->cancelCurrentDownload();
        endDownload();
    });
}

SettingsPanel::~SettingsPanel() = default;

SettingsPanel::ValueControl& SettingsPanel::addValueControl(QWidget* parent, const QString& label,
    const QString& sliderName, const QString& displayName, int minimum, int maximum, int value, double displayScale,
    std::function<void(int)> emitValue, std::function<void()> emitAboutToChange)
{
    m_controls.push_back(ValueControl());
    ValueControl& control = m_controls.back();
    control.emitValue = std::move(emitValue);
    control.emitAboutToChange = std::move(emitAboutToChange);
    control.displayScale = displayScale;

    control.slider = new CustomSlider(Qt::Horizontal, parent);
    control.slider->setObjectName(sliderName);
    control.slider->setRange(minimum, maximum);
    control.slider->setPageStep(10);
    control.slider->setValue(value);
    if (displayScale == 1.0) {
        auto* box = new QSpinBox(parent);
        box->setRange(minimum, maximum);
        box->setValue(value);
        control.display = box;
    } else {
        auto* box = new QDoubleSpinBox(parent);
        box->setDecimals(2);
        box->setSingleStep(0.01);
        box->setRange(minimum / displayScale, maximum / displayScale);
        box->setValue(value / displayScale);
        control.display = box;
    }
    control.display->setObjectName(displayName);
    // Only a finished entry (Enter or leaving the box) is one edit.
    control.display->setKeyboardTracking(false);

    auto* grid = static_cast<QGridLayout*>(parent->layout());
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(label, parent), row, 0);
    grid->addWidget(control.slider, row, 1);
    grid->addWidget(control.display, row, 2);

    ValueControl* c = &control;
    connect(c->slider, &QSlider::sliderPressed, this, [c] { c->emitAboutToChange(); });
    connect(c->slider, &QSlider::valueChanged, this, [c](int n) {
        if (auto* box = qobject_cast<QSpinBox*>(c->display)) {
            const QSignalBlocker blocker(box);
            box->setValue(n);
        } else if (auto* box = qobject_cast<QDoubleSpinBox*>(c->display)) {
            const QSignalBlocker blocker(box);
            box->setValue(n / c->displayScale);
        }
        // A drag sent its about-to-change on the press; every other change
        // (keyboard, wheel, display box) is an edit of its own.
        if (!c->slider->isSliderDown())
            c->emitAboutToChange();
        c->emitValue(n);
    });
    if (auto* box = qobject_cast<QSpinBox*>(c->display))
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), c->slider, &QSlider::setValue);
    else if (auto* box = qobject_cast<QDoubleSpinBox*>(c->display))
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [c](double v) { c->slider->setValue(nearestStep(v * c->displayScale)); });
    return control;
}

QWidget* SettingsPanel::buildCameraSection()
{
    auto* group = new QGroupBox(QStringLiteral("Camera"), this);
    group->setObjectName(QStringLiteral("cameraGroup"));
    auto* grid = new QGridLayout(group);
    m_cameraLabel = new QLabel(group);
    m_cameraLabel->setObjectName(QStringLiteral("cameraLabel"));
    m_cameraLabel->setWordWrap(true);
    m_changeCamera = new QPushButton(QStringLiteral("Change"), group);
    m_changeCamera->setObjectName(QStringLiteral("changeCameraButton"));
    m_resetCamera = new QPushButton(QStringLiteral("Reset"), group);
    m_resetCamera->setObjectName(QStringLiteral("resetCameraButton"));
    m_downloadProgress = new QProgressBar(group);
    m_downloadProgress->setObjectName(QStringLiteral("downloadProgressBar"));
    m_cancelDownload = new QPushButton(QStringLiteral("Cancel"), group);
    m_cancelDownload->setObjectName(QStringLiteral("cancelDownloadButton"));
    m_downloadNote = new QLabel(group);
    m_downloadNote->setObjectName(QStringLiteral("downloadNote"));
    m_downloadNote->setWordWrap(true);
    m_downloadProgress->hide();
    m_cancelDownload->hide();
    m_downloadNote->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_changeCamera);
    buttons->addWidget(m_resetCamera);
    buttons->addWidget(m_downloadProgress, 1);
    buttons->addWidget(m_cancelDownload);
    grid->addWidget(m_cameraLabel, 0, 0, 1, 3);
    grid->addLayout(buttons, 1, 0, 1, 3);
    grid->addWidget(m_downloadNote, 2, 0, 1, 3);

    m_exposure = &addValueControl(
        group, QStringLiteral("Exposure"), QStringLiteral("expAmount"), QStringLiteral("expDisplay"), -15000, 15000, 0,
        10000.0, [this](int n) { emit exposureSliderValueChanged(n / 10000.0f); },
        [this] { emit exposureSliderValueAboutToChange(); });
    m_kelvin = &addValueControl(
        group, QStringLiteral("Kelvin"), QStringLiteral("kelvinAmount"), QStringLiteral("kelvinDisplay"), 1700, 12000,
        kDefaultKelvin, 1.0, [this](int n) { emit kelvinSliderValueChanged(float(n)); },
        [this] { emit kelvinSliderValueAboutToChange(); });
    m_kelvin->slider->setSingleStep(1);

    connect(m_resetCamera, &QPushButton::clicked, this, &SettingsPanel::resetCamera);
    connect(m_changeCamera, &QPushButton::clicked, this, [this] {
        CameraChooserWidget* chooser = cameraChooser();
        QStringList mirrors;
        for (const ProfileDownloader::Mirror& mirror : m_downloader->mirrors())
            mirrors.append(mirror.name);
        chooser->setMirrorNames(mirrors, ProfileDownloader::rememberedMirror());
        chooser->refreshInstalledState();
        chooser->setCurrentProfile(m_sourceType);
        chooser->show();
        chooser->raise();
    });
    return group;
}

QWidget* SettingsPanel::buildStockSection()
{
    auto* group = new QGroupBox(QStringLiteral("Film"), this);
    group->setObjectName(QStringLiteral("lutStuffGroup"));
    auto* grid = new QGridLayout(group);
    m_stocks = new QComboBox(group);
    m_stocks->setObjectName(QStringLiteral("stockComboBox"));
    m_stocks->addItems(FilmLibrary::instance()->displayNames());
    auto* previous = new QPushButton(QStringLiteral("<"), group);
    previous->setObjectName(QStringLiteral("decStockIndex"));
    auto* next = new QPushButton(QStringLiteral(">"), group);
    next->setObjectName(QStringLiteral("incStockIndex"));
    auto* stockRow = new QHBoxLayout;
    stockRow->addWidget(previous);
    stockRow->addWidget(m_stocks, 1);
    stockRow->addWidget(next);
    grid->addLayout(stockRow, 0, 0, 1, 3);

    connect(m_stocks, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        emit stockTypeComboValueChanged(FilmLibrary::instance()->codeForDisplayName(name));
    });
    connect(previous, &QPushButton::clicked, this, [this] {
        if (m_stocks->currentIndex() > 0)
            m_stocks->setCurrentIndex(m_stocks->currentIndex() - 1);
    });
    connect(next, &QPushButton::clicked, this, [this] {
        if (m_stocks->currentIndex() + 1 < m_stocks->count())
            m_stocks->setCurrentIndex(m_stocks->currentIndex() + 1);
    });

    m_stockAmount = &addValueControl(
        group, QStringLiteral("Strength"), QStringLiteral("lutAmount"), QStringLiteral("lutDisplay"), 0, 100, 100, 1.0,
        [this](int n) { emit stockAmountSliderValueChanged(n); },
        [this] { emit stockAmountSliderValueAboutToChange(); });
    m_curveAmount = &addValueControl(
        group, QStringLiteral("Curve"), QStringLiteral("curveAmount"), QStringLiteral("curveDisplay"), 0, 100, 100, 1.0,
        [this](int n) { emit curveAmountSliderValueChanged(n); },
        [this] { emit curveAmountSliderValueAboutToChange(); });

    m_grainSizes = new QComboBox(group);
    m_grainSizes->setObjectName(QStringLiteral("grainSizeComboBox"));
    m_grainSizes->addItems(ClipSettings::grainScaleNames());
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(QStringLiteral("Grain"), group), row, 0);
    grid->addWidget(m_grainSizes, row, 1, 1, 2);
    connect(m_grainSizes, &QComboBox::currentTextChanged, this, &SettingsPanel::grainSizeComboValueChanged);
    m_grainAmount = &addValueControl(
        group, QStringLiteral("Amount"), QStringLiteral("grainAmount"), QStringLiteral("grainDisplay"), 0, 200, 100,
        1.0, [this](int n) { emit grainAmountSliderValueChanged(n); },
        [this] { emit grainAmountSliderValueAboutToChange(); });
    return group;
}

QWidget* SettingsPanel::buildWheelsSection()
{
    auto* group = new QGroupBox(QStringLiteral("Colour"), this);
    auto* grid = new QGridLayout(group);
    const QString names[] = { QStringLiteral("lowWheel"), QStringLiteral("midWheel"), QStringLiteral("highWheel") };
    const QString titles[] = { QStringLiteral("Shadows"), QStringLiteral("Midtones"), QStringLiteral("Highlights") };
    const std::function<void(const ColorWheelData&)> values[] = {
        [this](const ColorWheelData& v) { emit lowWheelValueChanged(v); },
        [this](const ColorWheelData& v) { emit midWheelValueChanged(v); },
        [this](const ColorWheelData& v) { emit highWheelValueChanged(v); },
    };
    const std::function<void()> aboutToChange[] = {
        [this] { emit lowWheelValueAboutToChange(); },
        [this] { emit midWheelValueAboutToChange(); },
        [this] { emit highWheelValueAboutToChange(); },
    };
    for (int i = 0; i < 3; ++i) {
        m_wheels[i] = new EMColorWheel(group);
        m_wheels[i]->setObjectName(names[i]);
        grid->addWidget(new QLabel(titles[i], group), 0, i, Qt::AlignHCenter);
        grid->addWidget(m_wheels[i], 1, i, Qt::AlignHCenter);
        const auto onValue = values[i];
        const auto onAboutToChange = aboutToChange[i];
        connect(m_wheels[i], &EMColorWheel::knobWasPressed, this, onAboutToChange);
        // The reset button is an edit of its own: its about-to-change comes
        // before the reset value it is followed by.
        connect(m_wheels[i], &EMColorWheel::resetValue, this, onAboutToChange);
        connect(m_wheels[i], &EMColorWheel::knobHasMoved, this, onValue);
    }
    auto* sliders = new QWidget(group);
    sliders->setLayout(new QGridLayout);
    sliders->layout()->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(sliders, 2, 0, 1, 3);
    m_lift = &addValueControl(
        sliders, QStringLiteral("Lift"), QStringLiteral("liftAmount"), QStringLiteral("liftDisplay"), 50, 150, 100, 1.0,
        [this](int n) { emit liftSliderValueChanged(n / 100.0f); }, [this] { emit liftSliderValueAboutToChange(); });
    m_gamma = &addValueControl(
        sliders, QStringLiteral("Gamma"), QStringLiteral("gammaAmount"), QStringLiteral("gammaDisplay"), 50, 150, 100,
        1.0, [this](int n) { emit gammaSliderValueChanged(n / 100.0f); },
        [this] { emit gammaSliderValueAboutToChange(); });
    m_gain = &addValueControl(
        sliders, QStringLiteral("Gain"), QStringLiteral("gainAmount"), QStringLiteral("gainDisplay"), 50, 150, 100, 1.0,
        [this](int n) { emit gainSliderValueChanged(n / 100.0f); }, [this] { emit gainSliderValueAboutToChange(); });
    m_saturation = &addValueControl(
        sliders, QStringLiteral("Saturation"), QStringLiteral("saturationAmount"), QStringLiteral("saturationDisplay"),
        0, 200, 100, 100.0, [this](int n) { emit saturationSliderValueChanged(n / 100.0f); },
        [this] { emit saturationSliderValueAboutToChange(); });
    return group;
}

QWidget* SettingsPanel::buildLevelsSection()
{
    auto* group = new QGroupBox(QStringLiteral("Levels"), this);
    auto* layout = new QVBoxLayout(group);
    m_histogram = new EMHistogramWidget(group);
    m_levels = new EMHistogramSlider(group);
    m_levels->setObjectName(QStringLiteral("levelsSlider"));
    layout->addWidget(m_histogram);
    layout->addWidget(m_levels);

    auto* row = new QHBoxLayout;
    const QString names[]
        = { QStringLiteral("blackDisplay"), QStringLiteral("midDisplay"), QStringLiteral("whiteDisplay") };
    const int defaults[] = { 0, 50, 100 };
    for (int i = 0; i < 3; ++i) {
        m_levelDisplays[i] = new QSpinBox(group);
        m_levelDisplays[i]->setObjectName(names[i]);
        m_levelDisplays[i]->setRange(0, 100);
        m_levelDisplays[i]->setValue(defaults[i]);
        m_levelDisplays[i]->setKeyboardTracking(false);
        row->addWidget(m_levelDisplays[i]);
        connect(
            m_levelDisplays[i], QOverload<int>::of(&QSpinBox::valueChanged), this, &SettingsPanel::levelDisplayEdited);
    }
    auto* before = new QPushButton(QStringLiteral("Before"), group);
    before->setObjectName(QStringLiteral("beforeLevelButton"));
    auto* after = new QPushButton(QStringLiteral("After"), group);
    after->setObjectName(QStringLiteral("afterLevelButton"));
    before->setCheckable(true);
    after->setCheckable(true);
    after->setChecked(true);
    m_beforeLevels = before;
    m_afterLevels = after;
    row->addStretch();
    row->addWidget(before);
    row->addWidget(after);
    layout->addLayout(row);

    connect(m_levels, &EMHistogramSlider::sliderPressed, this, &SettingsPanel::histogramSliderValueAboutToChange);
    connect(m_levels, &EMHistogramSlider::valuesChanged, this, [this](const HistogramSliderData& values) {
        showLevelDisplays(values);
        emit histogramSliderValueChanged(values);
    });
    connect(before, &QPushButton::clicked, this, [this] { histogramBeforeLevelChanged(true); });
    connect(after, &QPushButton::clicked, this, [this] { histogramBeforeLevelChanged(false); });
    return group;
}

void SettingsPanel::levelDisplayEdited()
{
    HistogramSliderData values;
    values.black = m_levelDisplays[0]->value() / 100.0f;
    values.mid = m_levelDisplays[1]->value() / 100.0f;
    values.white = m_levelDisplays[2]->value() / 100.0f;
    // Typed values obey the slider's own order: black < mid < white.
    const HistogramSliderData current = m_levels->values();
    if (!(values.black < values.mid && values.mid < values.white)) {
        showLevelDisplays(current);
        return;
    }
    m_levels->setValues(values);
    emit histogramSliderValueAboutToChange();
    emit histogramSliderValueChanged(values);
}

void SettingsPanel::showLevelDisplays(const HistogramSliderData& levels)
{
    const float values[] = { levels.black, levels.mid, levels.white };
    for (int i = 0; i < 3; ++i) {
        const QSignalBlocker blocker(m_levelDisplays[i]);
        m_levelDisplays[i]->setValue(nearestStep(values[i] * 100.0));
    }
}

void SettingsPanel::histogramBeforeLevelChanged(bool before)
{
    const QSignalBlocker blockBefore(m_beforeLevels);
    const QSignalBlocker blockAfter(m_afterLevels);
    m_beforeLevels->setChecked(before);
    m_afterLevels->setChecked(!before);
    emit histogramPreLevel(before);
    m_histogram->needLevelsUpdate();
}

void SettingsPanel::resetCamera()
{
    const bool exposure = m_exposure->slider->value() != 0;
    const bool kelvin = m_kelvin->slider->value() != kDefaultKelvin;
    if (!exposure && !kelvin)
        return;
    emit groupOfCommand(true);
    // The sliders' own change handling sends each about-to-change first.
    if (exposure)
        m_exposure->slider->setValue(0);
    if (kelvin)
        m_kelvin->slider->setValue(kDefaultKelvin);
    emit groupOfCommand(false);
}

void SettingsPanel::showSlider(ValueControl& control, int value)
{
    const QSignalBlocker blockSlider(control.slider);
    const QSignalBlocker blockDisplay(control.display);
    control.slider->setValue(value);
    if (auto* box = qobject_cast<QSpinBox*>(control.display))
        box->setValue(control.slider->value());
    else if (auto* box = qobject_cast<QDoubleSpinBox*>(control.display))
        box->setValue(control.slider->value() / control.displayScale);
}

void SettingsPanel::updateSettings(const ClipSettings& settings)
{
    const QSignalBlocker blocker(this);
    setSourceType(settings.getSourceType());
    showSlider(*m_exposure, nearestStep(settings.getExposure() * 10000.0));
    showSlider(*m_kelvin, nearestStep(settings.getKelvin()));
    setStockName(settings.getStockName());
    showSlider(*m_stockAmount, settings.getStockLUTAmount());
    showSlider(*m_curveAmount, settings.getStockCurveAmount());
    {
        const QSignalBlocker blockGrain(m_grainSizes);
        m_grainSizes->setCurrentText(settings.getGrainScaleName());
    }
    showSlider(*m_grainAmount, settings.getGrainAmount());
    m_wheels[0]->setValue(settings.getLow());
    m_wheels[1]->setValue(settings.getMid());
    m_wheels[2]->setValue(settings.getHigh());
    showSlider(*m_lift, nearestStep(settings.getLift() * 100.0));
    showSlider(*m_gamma, nearestStep(settings.getGamma() * 100.0));
    showSlider(*m_gain, nearestStep(settings.getGain() * 100.0));
    showSlider(*m_saturation, nearestStep(settings.getSaturation() * 100.0));
    setLevels(settings.getHistogramSliderData());
}

void SettingsPanel::setStockName(const QString& code)
{
    const QSignalBlocker blocker(m_stocks);
    m_stocks->setCurrentText(FilmLibrary::instance()->displayNameForCode(code));
}

void SettingsPanel::setLevels(const HistogramSliderData& levels)
{
    m_levels->setValues(levels);
    showLevelDisplays(levels);
}

void SettingsPanel::setSourceType(uint profileId)
{
    m_sourceType = profileId;
    showProfile(profileId);
}

void SettingsPanel::showProfile(uint profileId)
{
    CameraListHelper* catalogue = CameraListHelper::instance();
    const ProfileInfo* profile = catalogue->load() ? catalogue->getProfile(profileId) : nullptr;
    if (!profile) {
        m_cameraLabel->setText(QStringLiteral("Unknown camera profile"));
        return;
    }
    qInfo() << "main: " << profile->manufacturer << " model:" << profile->model << " profile:" << profile->name;
    m_cameraLabel->setText(QStringLiteral("%1 %2\n%3")
                               .arg(QString::fromUtf8(profile->manufacturer), QString::fromUtf8(profile->model),
                                   QString::fromUtf8(profile->name)));
}

QString SettingsPanel::profileTitle(uint profileId)
{
    CameraListHelper* catalogue = CameraListHelper::instance();
    const ProfileInfo* profile = catalogue->load() ? catalogue->getProfile(profileId) : nullptr;
    if (!profile)
        return QString::number(profileId);
    return QStringLiteral("%1 %2 %3")
        .arg(QString::fromUtf8(profile->manufacturer), QString::fromUtf8(profile->model),
            QString::fromUtf8(profile->name));
}

CameraChooserWidget* SettingsPanel::cameraChooser()
{
    if (m_chooser)
        return m_chooser;
    m_chooser = new CameraChooserWidget(nullptr, nullptr, this);
    m_chooser->setWindowFlags(Qt::Dialog);
    m_chooser->setWindowTitle(QStringLiteral("Camera profile"));
    connect(m_chooser, &CameraChooserWidget::profileChanged, this, [this](uint id) {
        setSourceType(id);
        emit sourceTypeComboValueChanged(id);
        m_chooser->close();
    });
    connect(m_chooser, &CameraChooserWidget::profileAppliedToAll, this, [this](uint id) {
        setSourceType(id);
        emit sourceTypeComboValueChangedForAll(id);
        m_chooser->close();
    });
    connect(m_chooser, &CameraChooserWidget::newDefaultProfileChosen, this, &SettingsPanel::defaultProfileChanged);
    connect(m_chooser, &CameraChooserWidget::mirrorChosen, this, &ProfileDownloader::rememberMirror);
    connect(m_chooser, &CameraChooserWidget::newProfileToBeDownload, this, [this](uint id) {
        const int mirror = m_chooser->selectedMirror();
        const ProfileDownloadPurpose purpose { m_chooser->downloadAppliesToAll(), m_chooser->isDefaultCameraChecked() };
        m_chooser->close();
        startProfileDownload(id, mirror, purpose);
    });
    return m_chooser;
}

void SettingsPanel::startProfileDownload(uint profileId, int mirrorIndex, ProfileDownloadPurpose purpose)
{
    m_downloadPurpose = purpose;
    if (!m_downloader->isConfigured()) {
        m_downloadNote->setText(ProfileDownloader::notConfiguredMessage());
        m_downloadNote->show();
        return;
    }
    m_downloadNote->hide();
    m_changeCamera->hide();
    m_resetCamera->hide();
    m_downloadProgress->setRange(0, 0);
    m_downloadProgress->show();
    m_cancelDownload->show();
    m_downloader->downloadNewProfileFromProxy(
        profileId, static_cast<unsigned int>(mirrorIndex >= 0 ? mirrorIndex : ProfileDownloader::rememberedMirror()));
}

void SettingsPanel::endDownload()
{
    m_downloadProgress->hide();
    m_cancelDownload->hide();
    m_changeCamera->show();
    m_resetCamera->show();
}

bool SettingsPanel::isDragging() const
{
    for (const ValueControl& control : m_controls)
        if (control.slider && control.slider->isSliderDown())
            return true;
    for (const EMColorWheel* wheel : m_wheels)
        if (wheel && wheel->isDragging())
            return true;
    return m_levels && m_levels->isDragging();
}

} // namespace Emulsa
