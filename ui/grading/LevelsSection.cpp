#include "ui/grading/LevelsSection.h"

#include "ui/grading/EMHistogramSlider.h"
#include "ui/grading/EMHistogramWidget.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace Emulsa {

LevelsSection::LevelsSection(const QString& sliderName, QWidget* parent)
    : QGroupBox(QStringLiteral("Levels"), parent)
    , m_histogram(new EMHistogramWidget(this))
    , m_levels(new EMHistogramSlider(this))
{
    auto* layout = new QVBoxLayout(this);
    m_levels->setObjectName(sliderName);
    layout->addWidget(m_histogram);
    layout->addWidget(m_levels);

    auto* row = new QHBoxLayout;
    const QString names[]
        = { QStringLiteral("blackDisplay"), QStringLiteral("midDisplay"), QStringLiteral("whiteDisplay") };
    const int defaults[] = { 0, 50, 100 };
    for (int i = 0; i < 3; ++i) {
        m_displays[i] = new QSpinBox(this);
        m_displays[i]->setObjectName(names[i]);
        m_displays[i]->setRange(0, 100);
        m_displays[i]->setValue(defaults[i]);
        m_displays[i]->setKeyboardTracking(false);
        row->addWidget(m_displays[i]);
        connect(m_displays[i], QOverload<int>::of(&QSpinBox::valueChanged), this, &LevelsSection::displayEdited);
    }
    auto* before = new QPushButton(QStringLiteral("Before"), this);
    before->setObjectName(QStringLiteral("beforeLevelButton"));
    auto* after = new QPushButton(QStringLiteral("After"), this);
    after->setObjectName(QStringLiteral("afterLevelButton"));
    before->setCheckable(true);
    after->setCheckable(true);
    after->setChecked(true);
    m_before = before;
    m_after = after;
    row->addStretch();
    row->addWidget(before);
    row->addWidget(after);
    layout->addLayout(row);

    connect(m_levels, &EMHistogramSlider::sliderPressed, this, &LevelsSection::aboutToChange);
    connect(m_levels, &EMHistogramSlider::valuesChanged, this, [this](const HistogramSliderData& values) {
        showDisplays(values);
        emit changed(values);
    });
    connect(before, &QPushButton::clicked, this, [this] { emit beforeLevelsChosen(true); });
    connect(after, &QPushButton::clicked, this, [this] { emit beforeLevelsChosen(false); });
}

void LevelsSection::displayEdited()
{
    HistogramSliderData values;
    values.black = m_displays[0]->value() / 100.0f;
    values.mid = m_displays[1]->value() / 100.0f;
    values.white = m_displays[2]->value() / 100.0f;
    // Typed values obey the slider's own order: black < mid < white.
    if (!(values.black < values.mid && values.mid < values.white)) {
        showDisplays(m_levels->values());
        return;
    }
    m_levels->setValues(values);
    emit aboutToChange();
    emit changed(values);
}

void LevelsSection::showDisplays(const HistogramSliderData& levels)
{
    const float values[] = { levels.black, levels.mid, levels.white };
    for (int i = 0; i < 3; ++i) {
        const QSignalBlocker blocker(m_displays[i]);
        // Stored values are floats: a box shows the nearest percent.
        m_displays[i]->setValue(static_cast<int>(std::lround(values[i] * 100.0)));
    }
}

void LevelsSection::setLevels(const HistogramSliderData& levels)
{
    m_levels->setValues(levels);
    showDisplays(levels);
}

void LevelsSection::showBeforeLevels(bool before)
{
    const QSignalBlocker blockBefore(m_before);
    const QSignalBlocker blockAfter(m_after);
    m_before->setChecked(before);
    m_after->setChecked(!before);
    m_histogram->needLevelsUpdate();
}

bool LevelsSection::isDragging() const
{
    return m_levels->isDragging();
}

} // namespace Emulsa
