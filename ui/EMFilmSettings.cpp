#include "ui/EMFilmSettings.h"

#include "app/AudioPlayback.h"
#include "app/Controller.h"
#include "core/ThreadHandOff.h"
#include "media/AssetMetadata.h"
#include "media/SequenceItem.h"
#include "media/WinSourceReader.h"
#include "ui/EMHistogramWidget.h"
#include "ui/OpenGLPreview.h"
#include "ui/PositionSlider.h"
#include "ui/PreviewArea.h"
#include "ui/SettingsPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Emulsa {

EMFilmSettings::EMFilmSettings(bool withPreview, QWidget* parent)
    : QWidget(parent)
    , m_slider(new PositionSlider(this))
    , m_panel(new SettingsPanel(this))
{
    setObjectName(QStringLiteral("filmSettings"));
    auto* left = new QVBoxLayout;
    m_left = left;
    if (withPreview) {
        m_reader = std::make_unique<WinSourceReader>();
        m_audio = std::make_unique<AudioPlayback>(m_reader.get());
        m_preview = new OpenGLPreview(m_reader.get());
        m_preview->setAudioPlayback(m_audio.get());
        m_previewArea = new PreviewArea(m_preview, this);
        left->addWidget(m_previewArea, 1);
    } else {
        auto* placeholder = new QLabel(tr("No preview"), this);
        placeholder->setAlignment(Qt::AlignCenter);
        left->addWidget(placeholder, 1);
    }
    left->addWidget(m_slider);
    auto* buttons = new QHBoxLayout;
    auto* play = new QPushButton(tr("Play"), this);
    play->setObjectName(QStringLiteral("playButton"));
    play->setCheckable(true);
    m_play = play;
    auto* original = new QPushButton(tr("Show original"), this);
    original->setObjectName(QStringLiteral("showOriginalButton"));
    original->setCheckable(true);
    m_showOriginal = original;
    buttons->addWidget(play);
    buttons->addStretch(1);
    buttons->addWidget(original);
    left->addLayout(buttons);

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(m_panel);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(m_panel->sizeHint().width() + 20);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(scroll);

    connect(m_play, &QAbstractButton::toggled, this, [this](bool playing) {
        m_play->setText(playing ? tr("Pause") : tr("Play"));
        if (m_preview)
            m_preview->setPlayState(!playing);
    });
    m_readyTimer.setInterval(100);
    connect(&m_readyTimer, &QTimer::timeout, this, &EMFilmSettings::openCurrentWhenReady);
    if (m_preview) {
        connect(m_preview, &OpenGLPreview::positionChanged, m_slider, &PositionSlider::setValue);
        connect(m_slider, &PositionSlider::valueChanged, m_preview,
            [this](int frame) { m_preview->seekToFrame(quint32(qMax(frame, 0))); });
        connect(m_panel, &SettingsPanel::histogramPreLevel, m_preview, &OpenGLPreview::setHistogramBeforeLevels);
        connect(m_preview, &OpenGLPreview::histogramDataReady, this, [this] {
            m_panel->histogramWidget()->setCounts(
                m_preview->histogram(0), m_preview->histogram(1), m_preview->histogram(2), EMHistogramWidget::kBins);
            m_panel->histogramWidget()->needLevelsUpdate();
        });
    }
}

EMFilmSettings::~EMFilmSettings()
{
    // The preview reads from the reader and plays through the sound output.
    delete m_previewArea;
    m_previewArea = nullptr;
    m_preview = nullptr;
}

template<typename Setter> void EMFilmSettings::edit(Setter setter)
{
    setter(m_shown);
    previewFollows();
}

void EMFilmSettings::previewFollows()
{
    if (m_preview)
        m_preview->applySettings(&m_shown);
}

void EMFilmSettings::showSettings()
{
    {
        const QSignalBlocker blocker(m_panel);
        m_panel->updateSettings(m_shown);
    }
    {
        const QSignalBlocker blocker(m_showOriginal);
        m_showOriginal->setChecked(m_shown.getOriginal());
    }
    previewFollows();
}

template<typename Value, typename Setter>
void EMFilmSettings::connectShown(void (Controller::*signal)(Value), Setter setter)
{
    connect(m_controller, signal, this, [this, setter](Value value) {
        setter(m_shown, value);
        showSettings();
    });
}

void EMFilmSettings::addStrip(QWidget* strip)
{
    m_left->addWidget(strip);
}

void EMFilmSettings::setController(Controller* c)
{
    m_controller = c;
    SettingsPanel* p = m_panel;
    // The panel's requests.
    connect(p, &SettingsPanel::groupOfCommand, c, &Controller::groupOfCommandsTriggered);
    connect(p, &SettingsPanel::sourceTypeComboValueChanged, c, &Controller::sourceTypeChangedFromUI);
    connect(p, &SettingsPanel::sourceTypeComboValueChangedForAll, c, &Controller::sourceTypeChangedForAllFromUI);
    connect(p, &SettingsPanel::defaultProfileChanged, c, &Controller::defaultProfileChangedFromUI);
    connect(p, &SettingsPanel::exposureSliderValueChanged, c, &Controller::exposureAmountChangedFromUI);
    connect(p, &SettingsPanel::kelvinSliderValueChanged, c, &Controller::kelvinAmountChangedFromUI);
    connect(p, &SettingsPanel::stockTypeComboValueChanged, c, &Controller::stockTypeChangedFromUI);
    connect(p, &SettingsPanel::stockAmountSliderValueChanged, c, &Controller::stockAmountChangedFromUI);
    connect(p, &SettingsPanel::curveAmountSliderValueChanged, c, &Controller::curveAmountChangedFromUI);
    connect(p, &SettingsPanel::grainSizeComboValueChanged, c, &Controller::grainSizeChangedFromUI);
    connect(p, &SettingsPanel::grainAmountSliderValueChanged, c, &Controller::grainAmountChangedFromUI);
    connect(p, &SettingsPanel::lowWheelValueChanged, c, &Controller::lowWheelChangedFromUI);
    connect(p, &SettingsPanel::midWheelValueChanged, c, &Controller::midWheelChangedFromUI);
    connect(p, &SettingsPanel::highWheelValueChanged, c, &Controller::highWheelChangedFromUI);
    connect(p, &SettingsPanel::saturationSliderValueChanged, c, &Controller::saturationAmountChangedFromUI);
    connect(p, &SettingsPanel::liftSliderValueChanged, c, &Controller::liftAmountChangedFromUI);
    connect(p, &SettingsPanel::gammaSliderValueChanged, c, &Controller::gammaAmountChangedFromUI);
    connect(p, &SettingsPanel::gainSliderValueChanged, c, &Controller::gainAmountChangedFromUI);
    connect(p, &SettingsPanel::histogramSliderValueChanged, c, &Controller::histogramSliderChangedFromUI);
    connect(p, &SettingsPanel::exposureSliderValueAboutToChange, c, &Controller::exposureAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::kelvinSliderValueAboutToChange, c, &Controller::kelvinAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::stockAmountSliderValueAboutToChange, c, &Controller::stockAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::curveAmountSliderValueAboutToChange, c, &Controller::curveAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::grainAmountSliderValueAboutToChange, c, &Controller::grainAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::lowWheelValueAboutToChange, c, &Controller::lowWheelAboutToChangeFromUI);
    connect(p, &SettingsPanel::midWheelValueAboutToChange, c, &Controller::midWheelAboutToChangeFromUI);
    connect(p, &SettingsPanel::highWheelValueAboutToChange, c, &Controller::highWheelAboutToChangeFromUI);
    connect(p, &SettingsPanel::saturationSliderValueAboutToChange, c, &Controller::saturationAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::liftSliderValueAboutToChange, c, &Controller::liftAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::gammaSliderValueAboutToChange, c, &Controller::gammaAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::gainSliderValueAboutToChange, c, &Controller::gainAmountAboutToChangeFromUI);
    connect(p, &SettingsPanel::histogramSliderValueAboutToChange, c, &Controller::histogramSliderAboutToChangeFromUI);
    connect(m_showOriginal, &QAbstractButton::toggled, c, &Controller::showOriginalStateChangedFromUI);
    connect(m_slider, &PositionSlider::startingHandleMoved, c, &Controller::startingPointChangedFromUI);
    connect(m_slider, &PositionSlider::endingHandleMoved, c, &Controller::endingPointChangedFromUI);
    connect(m_slider, &PositionSlider::valueChanged, c, &Controller::positionChangedFromUI);

    // The preview follows the panel at once, before the model answers.
    connect(p, &SettingsPanel::exposureSliderValueChanged, this,
        [this](float v) { edit([v](ClipSettings& s) { s.setExposure(v); }); });
    connect(p, &SettingsPanel::kelvinSliderValueChanged, this,
        [this](float v) { edit([v](ClipSettings& s) { s.setKelvin(v); }); });
    connect(p, &SettingsPanel::stockAmountSliderValueChanged, this,
        [this](int v) { edit([v](ClipSettings& s) { s.setStockLUTAmount(v); }); });
    connect(p, &SettingsPanel::curveAmountSliderValueChanged, this,
        [this](int v) { edit([v](ClipSettings& s) { s.setStockCurveAmount(v); }); });
    connect(p, &SettingsPanel::grainAmountSliderValueChanged, this,
        [this](int v) { edit([v](ClipSettings& s) { s.setGrainAmount(v); }); });
    connect(p, &SettingsPanel::lowWheelValueChanged, this,
        [this](const ColorWheelData& v) { edit([v](ClipSettings& s) { s.setLow(v); }); });
    connect(p, &SettingsPanel::midWheelValueChanged, this,
        [this](const ColorWheelData& v) { edit([v](ClipSettings& s) { s.setMid(v); }); });
    connect(p, &SettingsPanel::highWheelValueChanged, this,
        [this](const ColorWheelData& v) { edit([v](ClipSettings& s) { s.setHigh(v); }); });
    connect(p, &SettingsPanel::saturationSliderValueChanged, this,
        [this](float v) { edit([v](ClipSettings& s) { s.setSaturation(v); }); });
    connect(p, &SettingsPanel::liftSliderValueChanged, this,
        [this](float v) { edit([v](ClipSettings& s) { s.setLift(v); }); });
    connect(p, &SettingsPanel::gammaSliderValueChanged, this,
        [this](float v) { edit([v](ClipSettings& s) { s.setGamma(v); }); });
    connect(p, &SettingsPanel::gainSliderValueChanged, this,
        [this](float v) { edit([v](ClipSettings& s) { s.setGain(v); }); });
    connect(p, &SettingsPanel::histogramSliderValueChanged, this,
        [this](const HistogramSliderData& v) { edit([v](ClipSettings& s) { s.setHistogramSliderData(v); }); });
    connect(m_showOriginal, &QAbstractButton::toggled, this,
        [this](bool v) { edit([v](ClipSettings& s) { s.setOriginal(v); }); });

    // What the model says.
    connect(c, &Controller::currentShouldRefresh, this, &EMFilmSettings::currentItemChanged);
    connect(c, &Controller::viewShouldUpdate, this, &EMFilmSettings::updateViewSettings);
    connect(c, &Controller::clipSettingsShouldRefresh, this, &EMFilmSettings::updateViewSettings);
    connect(c, &Controller::currentPositionChanged, this, &EMFilmSettings::updateCurrentFrame);
    connect(c, &Controller::startingPointShouldRefresh, this, &EMFilmSettings::startingPointUpdated);
    connect(c, &Controller::endingPointShouldRefresh, this, &EMFilmSettings::endingPointUpdated);
    connect(c, &Controller::showOriginalShouldRefresh, this, &EMFilmSettings::showOriginalStateUpdated);
    connect(c, &Controller::sourceAndStockShouldRefresh, this, [this](uint source, const QString& stock) {
        m_shown.setSourceType(source);
        m_shown.setStockName(stock);
        showSettings();
    });
    connect(c, &Controller::grainShouldRefresh, this, [this](uint source, const QString& stock, const QString& scale) {
        m_shown.setSourceType(source);
        m_shown.setStockName(stock);
        m_shown.setGrainScaleName(scale);
        showSettings();
    });
    connectShown(&Controller::exposureAmountShouldRefresh, [](ClipSettings& s, float v) { s.setExposure(v); });
    connectShown(&Controller::kelvinAmountShouldRefresh, [](ClipSettings& s, float v) { s.setKelvin(v); });
    connectShown(&Controller::stockAmountShouldRefresh, [](ClipSettings& s, int v) { s.setStockLUTAmount(v); });
    connectShown(&Controller::curveAmountShouldRefresh, [](ClipSettings& s, int v) { s.setStockCurveAmount(v); });
    connectShown(&Controller::grainAmountShouldRefresh, [](ClipSettings& s, int v) { s.setGrainAmount(v); });
    connectShown(&Controller::lowWheelShouldRefresh, [](ClipSettings& s, ColorWheelData v) { s.setLow(v); });
    connectShown(&Controller::midWheelShouldRefresh, [](ClipSettings& s, ColorWheelData v) { s.setMid(v); });
    connectShown(&Controller::highWheelShouldRefresh, [](ClipSettings& s, ColorWheelData v) { s.setHigh(v); });
    connectShown(&Controller::saturationAmountShouldRefresh, [](ClipSettings& s, float v) { s.setSaturation(v); });
    connectShown(&Controller::liftAmountShouldRefresh, [](ClipSettings& s, float v) { s.setLift(v); });
    connectShown(&Controller::gammaAmountShouldRefresh, [](ClipSettings& s, float v) { s.setGamma(v); });
    connectShown(&Controller::gainAmountShouldRefresh, [](ClipSettings& s, float v) { s.setGain(v); });
    connectShown(&Controller::histogramSliderShouldRefresh,
        [](ClipSettings& s, HistogramSliderData v) { s.setHistogramSliderData(v); });
    if (m_preview)
        connect(c, &Controller::saveFrameForPresetThumbnail, m_preview, &OpenGLPreview::currentFrameNeededForThumbnail);
}

void EMFilmSettings::currentItemChanged(SequenceItem* item)
{
    takeOver(item);
    m_currentUuid = item ? item->uuid : QUuid();
    m_current = item;
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->reset();
        if (item) {
            m_slider->setStartPoint(item->startFrame);
            m_slider->setEndPoint(item->endFrame);
        }
    }
    {
        const QSignalBlocker blocker(m_play);
        m_play->setChecked(false);
        m_play->setText(tr("Play"));
    }
    m_readyTimer.stop();
    if (!item) {
        if (m_preview)
            m_preview->currentItemChanged(nullptr);
        return;
    }
    openCurrentWhenReady();
}

void EMFilmSettings::openCurrentWhenReady()
{
    SequenceItem* item = m_current;
    if (!item || !item->asset) {
        m_readyTimer.stop();
        return;
    }
    if (item->asset->valid && !item->asset->ready) {
        if (!m_readyTimer.isActive())
            m_readyTimer.start();
        return;
    }
    m_readyTimer.stop();
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->setLength(int(item->asset->frameCount));
    }
    if (!m_preview)
        return;
    if (item->asset->valid)
        m_reader->initializeFromSequenceItem(item);
    m_preview->currentItemChanged(item);
}

void EMFilmSettings::updateViewSettings(const ClipSettings& settings)
{
    m_shown = settings;
    showSettings();
}

void EMFilmSettings::updateCurrentFrame(int frame)
{
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(frame);
}

void EMFilmSettings::startingPointUpdated(const QUuid& itemUuid, uint frame)
{
    if (itemUuid != m_currentUuid)
        return;
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->setStartPoint(frame);
    }
    if (m_preview)
        m_preview->setStartFrame(frame);
}

void EMFilmSettings::endingPointUpdated(const QUuid& itemUuid, uint frame)
{
    if (itemUuid != m_currentUuid)
        return;
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->setEndPoint(frame);
    }
    if (m_preview)
        m_preview->setEndFrame(frame);
}

void EMFilmSettings::showOriginalStateUpdated(bool value)
{
    m_shown.setOriginal(value);
    showSettings();
}

} // namespace Emulsa
