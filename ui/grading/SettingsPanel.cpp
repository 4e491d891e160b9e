#include "ui/grading/SettingsPanel.h"

#include "core/FilmLibrary.h"
#include "ui/grading/CameraProfileSection.h"
#include "ui/grading/CustomSlider.h"
#include "ui/grading/EMColorWheel.h"
#include "ui/grading/LevelsSection.h"
#include "ui/grading/SettingsPanelHeaderWidget.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
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

// What the panel calls each field's control (a slider is "<name>Amount" with
// its box "<name>Display"), in the order of GradeField.
const char* const fieldControlNames[GradeFieldCount]
    = { "exp", "kelvin", "lut", "curve", "grain", "lowWheel", "midWheel", "highWheel", "lift", "gamma", "gain",
          "saturation", "levelsSlider", "halation", "bloom", "weave", "flicker", "colourGrain" };

} // namespace

SettingsPanel::SettingsPanel(QWidget* parent)
    : QWidget(parent)
    , m_header(new SettingsPanelHeaderWidget(this))
    , m_camera(new CameraProfileSection(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_header);
    layout->addWidget(m_camera);
    addValueControl(m_camera, GradeField::Exposure);
    addValueControl(m_camera, GradeField::Kelvin).slider->setSingleStep(1);
    layout->addWidget(buildStockSection());
    layout->addWidget(buildFilmEffectsSection());
    layout->addWidget(buildWheelsSection());
    m_levels = new LevelsSection(QLatin1String(fieldControlNames[int(GradeField::Levels)]), this);
    layout->addWidget(m_levels);
    layout->addStretch();

    connect(
        m_levels, &LevelsSection::aboutToChange, this, [this] { emit gradeValueAboutToChange(GradeField::Levels); });
    connect(m_levels, &LevelsSection::changed, this,
        [this](const HistogramSliderData& values) { emit gradeValueChanged(GradeField::Levels, values); });
    connect(m_levels, &LevelsSection::beforeLevelsChosen, this, &SettingsPanel::histogramBeforeLevelChanged);
    connect(m_camera, &CameraProfileSection::resetRequested, this, &SettingsPanel::resetCamera);
    connect(m_camera, &CameraProfileSection::profileChosen, this, &SettingsPanel::sourceTypeComboValueChanged);
    connect(
        m_camera, &CameraProfileSection::profileChosenForAll, this, &SettingsPanel::sourceTypeComboValueChangedForAll);
    connect(m_camera, &CameraProfileSection::defaultProfileChosen, this, &SettingsPanel::defaultProfileChanged);
}

SettingsPanel::~SettingsPanel() = default;

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

void SettingsPanel::setSourceType(uint profileId)
{
    m_camera->setSourceType(profileId);
}

SettingsPanel::ValueControl& SettingsPanel::addValueControl(QWidget* parent, GradeField field)
{
    const GradeFieldInfo& info = gradeField(field);
    const SliderScale& scale = info.slider;
    const QString name = QLatin1String(fieldControlNames[int(field)]);
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
    connect(c->slider, &QSlider::sliderPressed, this, [this, field] { emit gradeValueAboutToChange(field); });
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
            emit gradeValueAboutToChange(c->field->field);
        emit gradeValueChanged(c->field->field, c->field->fromPosition(n));
    });
    if (auto* box = qobject_cast<QSpinBox*>(c->display))
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), c->slider, &QSlider::setValue);
    else if (auto* box = qobject_cast<QDoubleSpinBox*>(c->display))
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [c](double v) { c->slider->setValue(nearestStep(v * c->field->slider.displayScale)); });
    return control;
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
        m_wheels[i]->setObjectName(QLatin1String(fieldControlNames[int(field)]));
        grid->addWidget(new QLabel(QLatin1String(gradeField(field).label), group), 0, i, Qt::AlignHCenter);
        grid->addWidget(m_wheels[i], 1, i, Qt::AlignHCenter);
        const auto onAboutToChange = [this, field] { emit gradeValueAboutToChange(field); };
        connect(m_wheels[i], &EMColorWheel::knobWasPressed, this, onAboutToChange);
        // The reset button is an edit of its own: its about-to-change comes
        // before the reset value it is followed by.
        connect(m_wheels[i], &EMColorWheel::resetValue, this, onAboutToChange);
        connect(m_wheels[i], &EMColorWheel::knobHasMoved, this,
            [this, field](const ColorWheelData& value) { emit gradeValueChanged(field, value); });
    }
    auto* sliders = new QWidget(group);
    sliders->setLayout(new QGridLayout);
    sliders->layout()->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(sliders, 2, 0, 1, 3);
    for (GradeField field : { GradeField::Lift, GradeField::Gamma, GradeField::Gain, GradeField::Saturation })
        addValueControl(sliders, field);
    return group;
}

void SettingsPanel::histogramBeforeLevelChanged(bool before)
{
    m_levels->showBeforeLevels(before);
    emit histogramPreLevel(before);
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
    m_levels->setLevels(levels);
}

EMHistogramWidget* SettingsPanel::histogramWidget() const
{
    return m_levels->histogram();
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
