#include "ui/grading/SettingsPanel.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "model/ProfileDownloader.h"
#include "model/ProfileMaker.h"
#include "ui/grading/CameraChooserWidget.h"
#include "ui/grading/CustomSlider.h"
#include "ui/grading/EMColorWheel.h"
#include "ui/grading/EMHistogramSlider.h"
#include "ui/grading/EMHistogramWidget.h"
#include "ui/grading/SettingsPanelHeaderWidget.h"

#include <QComboBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace Emulsa {

namespace {

// Stored values are floats (0.9f is 0.8999999...): a control shows the
// nearest step, not the one below it.
int nearestStep(double v)
{
    return static_cast<int>(std::lround(v));
}

template<typename T, void (SettingsPanel::*Signal)(T)> void emitAs(SettingsPanel& panel, const GradeValue& value)
{
    emit(panel.*Signal)(std::get<std::decay_t<T>>(value));
}

template<void (SettingsPanel::*Signal)()> void emitSignal(SettingsPanel& panel)
{
    emit(panel.*Signal)();
}

// What the panel calls each field: the name of its control (a slider is
// "<name>Amount" with its box "<name>Display") and its signals.
struct FieldControl
{
    const char* name;
    void (*valueChanged)(SettingsPanel&, const GradeValue&);
    void (*aboutToChange)(SettingsPanel&);
};

const FieldControl fieldControls[GradeFieldCount] = {
    { "exp", emitAs<float, &SettingsPanel::exposureSliderValueChanged>,
        emitSignal<&SettingsPanel::exposureSliderValueAboutToChange> },
    { "kelvin", emitAs<float, &SettingsPanel::kelvinSliderValueChanged>,
        emitSignal<&SettingsPanel::kelvinSliderValueAboutToChange> },
    { "lut", emitAs<int, &SettingsPanel::stockAmountSliderValueChanged>,
        emitSignal<&SettingsPanel::stockAmountSliderValueAboutToChange> },
    { "curve", emitAs<int, &SettingsPanel::curveAmountSliderValueChanged>,
        emitSignal<&SettingsPanel::curveAmountSliderValueAboutToChange> },
    { "grain", emitAs<int, &SettingsPanel::grainAmountSliderValueChanged>,
        emitSignal<&SettingsPanel::grainAmountSliderValueAboutToChange> },
    { "lowWheel", emitAs<const ColorWheelData&, &SettingsPanel::lowWheelValueChanged>,
        emitSignal<&SettingsPanel::lowWheelValueAboutToChange> },
    { "midWheel", emitAs<const ColorWheelData&, &SettingsPanel::midWheelValueChanged>,
        emitSignal<&SettingsPanel::midWheelValueAboutToChange> },
    { "highWheel", emitAs<const ColorWheelData&, &SettingsPanel::highWheelValueChanged>,
        emitSignal<&SettingsPanel::highWheelValueAboutToChange> },
    { "lift", emitAs<float, &SettingsPanel::liftSliderValueChanged>,
        emitSignal<&SettingsPanel::liftSliderValueAboutToChange> },
    { "gamma", emitAs<float, &SettingsPanel::gammaSliderValueChanged>,
        emitSignal<&SettingsPanel::gammaSliderValueAboutToChange> },
    { "gain", emitAs<float, &SettingsPanel::gainSliderValueChanged>,
        emitSignal<&SettingsPanel::gainSliderValueAboutToChange> },
    { "saturation", emitAs<float, &SettingsPanel::saturationSliderValueChanged>,
        emitSignal<&SettingsPanel::saturationSliderValueAboutToChange> },
    { "levelsSlider", emitAs<const HistogramSliderData&, &SettingsPanel::histogramSliderValueChanged>,
        emitSignal<&SettingsPanel::histogramSliderValueAboutToChange> },
    // The film effects send only gradeValueChanged and gradeValueAboutToChange.
    { "halation", nullptr, nullptr },
    { "bloom", nullptr, nullptr },
    { "weave", nullptr, nullptr },
    { "flicker", nullptr, nullptr },
    { "colourGrain", nullptr, nullptr },
};

} // namespace

SettingsPanel::SettingsPanel(QWidget* parent)
    : QWidget(parent)
    , m_header(new SettingsPanelHeaderWidget(this))
    , m_downloader(new ProfileDownloader(this))
    , m_maker(new ProfileMaker(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_header);
    layout->addWidget(buildCameraSection());
    layout->addWidget(buildStockSection());
    layout->addWidget(buildFilmEffectsSection());
    layout->addWidget(buildWheelsSection());
    layout->addWidget(buildLevelsSection());
    layout->addStretch();

    connect(m_downloader, &ProfileDownloader::downloalProgress, m_downloadProgress, &QProgressBar::setValue);
    connect(m_downloader, &ProfileDownloader::downloalProgressMax, m_downloadProgress, &QProgressBar::setMaximum);
    connect(m_downloader, &ProfileDownloader::downloadFinishedAndInstalled, this,
        [this](uint id) { profileInstalled(id, QStringLiteral("Profile %1 installed.").arg(profileTitle(id))); });
    connect(m_downloader, &ProfileDownloader::downloadFailed, this, [this](uint, const QString& message) {
        endDownload();
        m_downloadNote->setText(message);
        m_downloadNote->show();
    });
    connect(m_maker, &ProfileMaker::progressChanged, m_downloadProgress, &QProgressBar::setValue);
    connect(m_maker, &ProfileMaker::made, this, [this](uint id) {
        profileInstalled(id, QStringLiteral("Profile %1 made on this machine and installed.").arg(profileTitle(id)));
    });
    connect(m_maker, &ProfileMaker::failed, this, [this](uint, const QString& message) {
        endDownload();
        m_downloadNote->setText(message);
        m_downloadNote->show();
    });
    connect(m_maker, &ProfileMaker::cancelled, this, [this](uint id) {
        endDownload();
        m_downloadNote->setText(QStringLiteral("Making the profile %1 was cancelled.").arg(profileTitle(id)));
        m_downloadNote->show();
    });
    connect(m_cancelDownload, &QPushButton::clicked, this, [this] {
        // A make ends once its worker stops (the cancelled signal).
        if (m_maker->isMaking()) {
            m_cancelDownload->setEnabled(false);
            m_maker->cancel();
            return;
        }
        m_downloader->cancelCurrentDownload();
        endDownload();
    });
}

SettingsPanel::~SettingsPanel() = default;

void SettingsPanel::emitValue(GradeField field, const GradeValue& value)
{
    emit gradeValueChanged(field, value);
    if (const auto named = fieldControls[int(field)].valueChanged)
        named(*this, value);
}

void SettingsPanel::emitAboutToChange(GradeField field)
{
    emit gradeValueAboutToChange(field);
    if (const auto named = fieldControls[int(field)].aboutToChange)
        named(*this);
}

SettingsPanel::ValueControl& SettingsPanel::addValueControl(QWidget* parent, GradeField field)
{
    const GradeFieldInfo& info = gradeField(field);
    const SliderScale& scale = info.slider;
    const QString name = QLatin1String(fieldControls[int(field)].name);
    const int value = info.position(info.defaultValue);
    m_controls.push_back(ValueControl());
    ValueControl& control = m_controls.back();
    m_sliders[int(field)] = &control;
    control.field = &info;

    control.slider = new CustomSlider(Qt::Horizontal, parent);
    control.slider->setObjectName(name + QLatin1String("Amount"));
    control.slider->setRange(scale.minimum, scale.maximum);
    control.slider->setPageStep(10);
    control.slider->setValue(value);
    if (scale.displayScale == 1.0) {
        auto* box = new QSpinBox(parent);
        box->setRange(scale.minimum, scale.maximum);
        box->setValue(value);
        control.display = box;
    } else {
        auto* box = new QDoubleSpinBox(parent);
        box->setDecimals(2);
        box->setSingleStep(0.01);
        box->setRange(scale.minimum / scale.displayScale, scale.maximum / scale.displayScale);
        box->setValue(value / scale.displayScale);
        control.display = box;
    }
    control.display->setObjectName(name + QLatin1String("Display"));
    // Only a finished entry (Enter or leaving the box) is one edit.
    control.display->setKeyboardTracking(false);

    auto* grid = static_cast<QGridLayout*>(parent->layout());
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(QLatin1String(info.label), parent), row, 0);
    grid->addWidget(control.slider, row, 1);
    grid->addWidget(control.display, row, 2);

    ValueControl* c = &control;
    connect(c->slider, &QSlider::sliderPressed, this, [this, field] { emitAboutToChange(field); });
    connect(c->slider, &QSlider::valueChanged, this, [this, c](int n) {
        if (auto* box = qobject_cast<QSpinBox*>(c->display)) {
            const QSignalBlocker blocker(box);
            box->setValue(n);
        } else if (auto* box = qobject_cast<QDoubleSpinBox*>(c->display)) {
            const QSignalBlocker blocker(box);
            box->setValue(n / c->field->slider.displayScale);
        }
        // A drag sent its about-to-change on the press; every other change
        // (keyboard, wheel, display box) is an edit of its own.
        if (!c->slider->isSliderDown())
            emitAboutToChange(c->field->field);
        emitValue(c->field->field, c->field->fromPosition(n));
    });
    if (auto* box = qobject_cast<QSpinBox*>(c->display))
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), c->slider, &QSlider::setValue);
    else if (auto* box = qobject_cast<QDoubleSpinBox*>(c->display))
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [c](double v) { c->slider->setValue(nearestStep(v * c->field->slider.displayScale)); });
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
    m_makeProfile = new QPushButton(QStringLiteral("Make profile"), group);
    m_makeProfile->setObjectName(QStringLiteral("makeProfileButton"));
    m_makeProfile->setToolTip(QStringLiteral("This camera profile is not installed: make its tables on this machine"));
    m_makeProfile->hide();
    m_addCameraFromLut = new QPushButton(QStringLiteral("Add camera from LUT..."), group);
    m_addCameraFromLut->setObjectName(QStringLiteral("addCameraFromLutButton"));
    m_addCameraFromLut->setToolTip(
        QStringLiteral("Add a camera from a .cube file that turns its log footage into Rec. 709 video"));
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
    buttons->addWidget(m_makeProfile);
    buttons->addWidget(m_addCameraFromLut);
    buttons->addWidget(m_downloadProgress, 1);
    buttons->addWidget(m_cancelDownload);
    grid->addWidget(m_cameraLabel, 0, 0, 1, 3);
    grid->addLayout(buttons, 1, 0, 1, 3);
    grid->addWidget(m_downloadNote, 2, 0, 1, 3);

    addValueControl(group, GradeField::Exposure);
    addValueControl(group, GradeField::Kelvin).slider->setSingleStep(1);

    connect(m_resetCamera, &QPushButton::clicked, this, &SettingsPanel::resetCamera);
    connect(m_makeProfile, &QPushButton::clicked, this, [this] {
        m_downloadPurpose = {};
        m_downloadPurpose.shownProfile = true;
        startProfileMake(m_sourceType);
    });
    connect(m_addCameraFromLut, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Add camera from LUT"), QString(), QStringLiteral("Cube LUTs (*.cube)"));
        if (path.isEmpty())
            return;
        bool ok = false;
        const QString name = QInputDialog::getText(this, QStringLiteral("Add camera from LUT"),
            QStringLiteral("Name of the camera:"), QLineEdit::Normal, QFileInfo(path).completeBaseName(), &ok);
        if (ok)
            addCameraFromLut(path, name);
    });
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

    addValueControl(group, GradeField::StockAmount);
    addValueControl(group, GradeField::CurveAmount);

    m_grainSizes = new QComboBox(group);
    m_grainSizes->setObjectName(QStringLiteral("grainSizeComboBox"));
    m_grainSizes->addItems(ClipSettings::grainScaleNames());
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(QStringLiteral("Grain"), group), row, 0);
    grid->addWidget(m_grainSizes, row, 1, 1, 2);
    connect(m_grainSizes, &QComboBox::currentTextChanged, this, &SettingsPanel::grainSizeComboValueChanged);
    addValueControl(group, GradeField::GrainAmount);
    addValueControl(group, GradeField::ColourGrainAmount);
    return group;
}

QWidget* SettingsPanel::buildFilmEffectsSection()
{
    auto* group = new QGroupBox(QStringLiteral("Film effects"), this);
    group->setObjectName(QStringLiteral("filmEffectsGroup"));
    new QGridLayout(group);
    for (GradeField field :
        { GradeField::HalationAmount, GradeField::BloomAmount, GradeField::WeaveAmount, GradeField::FlickerAmount })
        addValueControl(group, field);
    return group;
}

QWidget* SettingsPanel::buildWheelsSection()
{
    auto* group = new QGroupBox(QStringLiteral("Colour"), this);
    auto* grid = new QGridLayout(group);
    const GradeField wheels[] = { GradeField::LowWheel, GradeField::MidWheel, GradeField::HighWheel };
    for (int i = 0; i < 3; ++i) {
        const GradeField field = wheels[i];
        m_wheels[i] = new EMColorWheel(group);
        m_wheels[i]->setObjectName(QLatin1String(fieldControls[int(field)].name));
        grid->addWidget(new QLabel(QLatin1String(gradeField(field).label), group), 0, i, Qt::AlignHCenter);
        grid->addWidget(m_wheels[i], 1, i, Qt::AlignHCenter);
        const auto onAboutToChange = [this, field] { emitAboutToChange(field); };
        connect(m_wheels[i], &EMColorWheel::knobWasPressed, this, onAboutToChange);
        // The reset button is an edit of its own: its about-to-change comes
        // before the reset value it is followed by.
        connect(m_wheels[i], &EMColorWheel::resetValue, this, onAboutToChange);
        connect(m_wheels[i], &EMColorWheel::knobHasMoved, this,
            [this, field](const ColorWheelData& value) { emitValue(field, value); });
    }
    auto* sliders = new QWidget(group);
    sliders->setLayout(new QGridLayout);
    sliders->layout()->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(sliders, 2, 0, 1, 3);
    for (GradeField field : { GradeField::Lift, GradeField::Gamma, GradeField::Gain, GradeField::Saturation })
        addValueControl(sliders, field);
    return group;
}

QWidget* SettingsPanel::buildLevelsSection()
{
    auto* group = new QGroupBox(QStringLiteral("Levels"), this);
    auto* layout = new QVBoxLayout(group);
    m_histogram = new EMHistogramWidget(group);
    m_levels = new EMHistogramSlider(group);
    m_levels->setObjectName(QLatin1String(fieldControls[int(GradeField::Levels)].name));
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

    connect(m_levels, &EMHistogramSlider::sliderPressed, this, [this] { emitAboutToChange(GradeField::Levels); });
    connect(m_levels, &EMHistogramSlider::valuesChanged, this, [this](const HistogramSliderData& values) {
        showLevelDisplays(values);
        emitValue(GradeField::Levels, values);
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
    emitAboutToChange(GradeField::Levels);
    emitValue(GradeField::Levels, values);
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
    // The sliders' own change handling sends each about-to-change first.
    QList<ValueControl*> changed;
    for (GradeField field : { GradeField::Exposure, GradeField::Kelvin }) {
        ValueControl& c = control(field);
        if (c.slider->value() != c.field->position(c.field->defaultValue))
            changed << &c;
    }
    if (changed.isEmpty())
        return;
    emit groupOfCommand(true);
    for (ValueControl* c : changed)
        c->slider->setValue(c->field->position(c->field->defaultValue));
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
        box->setValue(control.slider->value() / control.field->slider.displayScale);
}

void SettingsPanel::updateSettings(const ClipSettings& settings)
{
    const QSignalBlocker blocker(this);
    setSourceType(settings.getSourceType());
    setStockName(settings.getStockName());
    {
        const QSignalBlocker blockGrain(m_grainSizes);
        m_grainSizes->setCurrentText(settings.getGrainScaleName());
    }
    for (ValueControl& c : m_controls)
        showSlider(c, c.field->position(c.field->get(settings)));
    m_wheels[0]->setValue(settings.getLow());
    m_wheels[1]->setValue(settings.getMid());
    m_wheels[2]->setValue(settings.getHigh());
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
    m_makeProfile->setVisible(profile && !m_maker->isMaking() && !FilmLibrary::instance()->isProfileInstalled(profile)
        && ProfileMaker::canMake(profile));
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
        CameraListHelper* catalogue = CameraListHelper::instance();
        if (catalogue->load() && ProfileMaker::canMake(catalogue->getProfile(profileId))) {
            startProfileMake(profileId);
            return;
        }
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

bool SettingsPanel::addCameraFromLut(const QString& cubePath, const QString& name)
{
    if (m_maker->isMaking()) {
        m_downloadNote->setText(QStringLiteral("Wait until the profile being made is ready."));
        m_downloadNote->show();
        return false;
    }
    unsigned int id = 0;
    QString error;
    if (!ProfileMaker::addCameraFromLut(cubePath, name, &id, &error)) {
        m_downloadNote->setText(error);
        m_downloadNote->show();
        return false;
    }
    // The chooser lists the catalogue as it was when it was built.
    if (m_chooser) {
        m_chooser->close();
        m_chooser->deleteLater();
        m_chooser = nullptr;
    }
    m_downloadPurpose = {};
    startProfileMake(id);
    return true;
}

void SettingsPanel::profileInstalled(uint id, const QString& note)
{
    endDownload();
    m_downloadNote->setText(note);
    m_downloadNote->show();
    if (m_chooser)
        m_chooser->refreshInstalledState();
    if (m_downloadPurpose.shownProfile) {
        if (m_sourceType == id)
            emit sourceTypeComboValueChanged(id);
        return;
    }
    setSourceType(id);
    if (m_downloadPurpose.forAll)
        emit sourceTypeComboValueChangedForAll(id);
    else
        emit sourceTypeComboValueChanged(id);
    if (m_downloadPurpose.asDefault)
        emit defaultProfileChanged(id);
}

void SettingsPanel::startProfileMake(uint profileId)
{
    if (m_maker->isMaking())
        return;
    m_downloadNote->setText(QStringLiteral("Making the profile %1 on this machine...").arg(profileTitle(profileId)));
    m_downloadNote->show();
    m_changeCamera->hide();
    m_resetCamera->hide();
    m_makeProfile->hide();
    m_downloadProgress->setRange(0, 100);
    m_downloadProgress->setValue(0);
    m_downloadProgress->show();
    m_cancelDownload->show();
    m_maker->start(profileId);
}

void SettingsPanel::endDownload()
{
    m_downloadProgress->hide();
    m_cancelDownload->hide();
    m_cancelDownload->setEnabled(true);
    m_changeCamera->show();
    m_resetCamera->show();
    showProfile(m_sourceType);
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
