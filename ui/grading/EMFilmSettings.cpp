#include "ui/grading/EMFilmSettings.h"

#include "app/Controller.h"
#include "app/PreviewPlayer.h"
#include "core/ThreadHandOff.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "model/GradeBlockReader.h"
#include "ui/grading/EMHistogramWidget.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/media/UnreadFieldsMark.h"
#include "ui/preview/ElapsedTimeWidget.h"
#include "ui/preview/OpenGLPreview.h"
#include "ui/preview/PositionSlider.h"
#include "ui/preview/PreviewArea.h"
#include "ui/preview/PreviewZoomBar.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

namespace Emulsa {

EMFilmSettings::EMFilmSettings(bool withPreview, QWidget* parent)
    : QWidget(parent)
    , m_slider(new PositionSlider(this))
    , m_panel(new SettingsPanel(this))
{
    setObjectName(QStringLiteral("filmSettings"));
    auto* left = new QVBoxLayout;
    m_left = left;
    m_transport = new QWidget(this);
    m_transport->setObjectName(QStringLiteral("transport"));
    auto* transport = new QVBoxLayout(m_transport);
    transport->setContentsMargins(0, 0, 0, 0);
    if (withPreview) {
        m_player = new PreviewPlayer(this);
        m_preview = new OpenGLPreview(m_player);
        m_previewArea = new PreviewArea(m_preview, m_transport);
        m_previewArea->setFocusPolicy(Qt::ClickFocus);
        m_slider->setFocusPolicy(Qt::ClickFocus);
        transport->addWidget(m_previewArea, 1);
    } else {
        auto* placeholder = new QLabel(tr("No preview"), m_transport);
        placeholder->setAlignment(Qt::AlignCenter);
        transport->addWidget(placeholder, 1);
    }
    m_slider->setParent(m_transport);
    m_slider->installEventFilter(this);
    transport->addWidget(m_slider);

    auto* info = new QHBoxLayout;
    m_clipName = new QLabel(m_transport);
    m_clipName->setObjectName(QStringLiteral("clipName"));
    m_frameLabel = new QLabel(m_transport);
    m_frameLabel->setObjectName(QStringLiteral("frameLabel"));
    m_timecode = new ElapsedTimeWidget(m_transport);
    m_timecode->setObjectName(QStringLiteral("timecode"));
    m_unreadFields = new QLabel(m_transport);
    m_unreadFields->setObjectName(QStringLiteral("unreadFields"));
    m_unreadFields->setStyleSheet(QStringLiteral("color: #e0a000;"));
    m_unreadFields->hide();
    info->addWidget(m_clipName, 1);
    info->addWidget(m_unreadFields);
    info->addWidget(m_frameLabel);
    info->addWidget(m_timecode);
    transport->addLayout(info);

    auto* buttons = new QHBoxLayout;
    auto* play = new QPushButton(tr("Play"), m_transport);
    play->setObjectName(QStringLiteral("playButton"));
    play->setCheckable(true);
    play->setToolTip(tr("Play/Pause"));
    play->setStatusTip(tr("Play or resume playback"));
    m_play = play;
    auto* original = new QPushButton(tr("Show original"), m_transport);
    original->setObjectName(QStringLiteral("showOriginalButton"));
    original->setCheckable(true);
    m_showOriginal = original;
    buttons->addWidget(play);
    buttons->addStretch(1);
    if (m_preview) {
        m_zoomBar = new PreviewZoomBar(m_transport);
        m_zoomBar->setPreview(m_preview);
        buttons->addWidget(m_zoomBar);
    }
    buttons->addWidget(original);
    transport->addLayout(buttons);
    left->addWidget(m_transport, 1);

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(m_panel);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(m_panel->sizeHint().width() + 20);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(scroll);

    connect(m_play, &QAbstractButton::toggled, this, [this](bool playing) {
        showPlaying(playing);
        if (m_player)
            m_player->setPlaying(playing);
    });
    m_readyTimer.setInterval(100);
    connect(&m_readyTimer, &QTimer::timeout, this, &EMFilmSettings::openCurrentWhenReady);
    if (m_player) {
        connect(m_player, &PreviewPlayer::frameChanged, this, &EMFilmSettings::showPosition);
        connect(m_player, &PreviewPlayer::playingChanged, this, [this](bool playing) {
            const QSignalBlocker blocker(m_play);
            m_play->setChecked(playing);
            showPlaying(playing);
        });
        // The press that moved the slider has paused (eventFilter()).
        connect(m_slider, &PositionSlider::valueChanged, m_player, [this](int frame) { m_player->seek(frame); });
        connect(m_panel, &SettingsPanel::histogramPreLevel, m_preview, &OpenGLPreview::setHistogramBeforeLevels);
        connect(m_preview, &OpenGLPreview::histogramDataReady, this, [this] {
            m_panel->histogramWidget()->setCounts(
                m_preview->histogram(0), m_preview->histogram(1), m_preview->histogram(2), EMHistogramWidget::kBins);
            m_panel->histogramWidget()->needLevelsUpdate();
        });
    }
    addTransportKeys();
    setClipControlsEnabled(false);
}

void EMFilmSettings::addTransportKeys()
{
    // Space anywhere in the window while the tab is shown (a text field being
    // edited keeps its spaces).
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this, nullptr, nullptr, Qt::WindowShortcut);
    connect(space, &QShortcut::activated, this, [this] {
        if (m_play->isEnabled())
            m_play->click();
    });
    struct Key
    {
        QKeySequence keys;
        int frames;
        bool second;
    };
    const Key steps[] = {
        { QKeySequence(Qt::Key_Left), -1, false },
        { QKeySequence(Qt::Key_Right), 1, false },
        { QKeySequence(Qt::SHIFT + Qt::Key_Left), -1, true },
        { QKeySequence(Qt::SHIFT + Qt::Key_Right), 1, true },
    };
    for (const Key& key : steps) {
        auto* shortcut = new QShortcut(key.keys, m_transport, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, key] {
            if (!m_player || !m_player->hasClip())
                return;
            const int second = std::max(1, int(std::lround(m_player->frameRate())));
            m_player->step(key.second ? key.frames * second : key.frames);
        });
    }
    auto* home
        = new QShortcut(QKeySequence(Qt::Key_Home), m_transport, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(home, &QShortcut::activated, this, [this] {
        if (m_player && m_player->hasClip()) {
            m_player->setPlaying(false);
            m_player->seek(int(m_player->startFrame()));
        }
    });
    auto* end = new QShortcut(QKeySequence(Qt::Key_End), m_transport, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(end, &QShortcut::activated, this, [this] {
        if (m_player && m_player->hasClip()) {
            m_player->setPlaying(false);
            m_player->seek(int(m_player->endFrame()) - 1);
        }
    });
}

void EMFilmSettings::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Coming to the tab, the keys drive the transport until the user clicks
    // elsewhere.
    QWidget* focus = QApplication::focusWidget();
    if (m_previewArea && (!focus || !isAncestorOf(focus)))
        m_previewArea->setFocus(Qt::OtherFocusReason);
}

bool EMFilmSettings::eventFilter(QObject* watched, QEvent* event)
{
    // Any press on the position slider (knob, handles, track) pauses.
    if (watched == m_slider && event->type() == QEvent::MouseButtonPress && m_player)
        m_player->setPlaying(false);
    return QWidget::eventFilter(watched, event);
}

void EMFilmSettings::showPlaying(bool playing)
{
    m_play->setText(playing ? tr("Pause") : tr("Play"));
}

void EMFilmSettings::setClipControlsEnabled(bool enabled)
{
    m_panel->setEnabled(enabled);
    m_play->setEnabled(enabled);
    m_showOriginal->setEnabled(enabled);
    m_slider->setEnabled(enabled);
    if (m_zoomBar)
        m_zoomBar->setEnabled(enabled);
    if (!enabled) {
        EMHistogramWidget* histogram = m_panel->histogramWidget();
        const std::array<quint32, EMHistogramWidget::kBins> none {};
        histogram->setCounts(none.data(), none.data(), none.data(), EMHistogramWidget::kBins);
        histogram->needLevelsUpdate();
        m_timecode->setPosition(0, 0.0);
        m_frameLabel->clear();
    }
}

void EMFilmSettings::showPosition(int frame)
{
    if (frame < 0 || !m_player || !m_player->hasClip())
        return;
    if (!m_slider->isScrolling()) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(frame);
    }
    m_timecode->setPosition(frame, m_player->frameRate());
    m_frameLabel->setText(tr("Frame %1 of %2").arg(frame).arg(m_player->asset()->frameCount));
}

EMFilmSettings::~EMFilmSettings()
{
    // The preview draws the player's frames.
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
    connect(p, &SettingsPanel::gradeValueChanged, c, &Controller::gradeFieldChangedFromUI);
    connect(p, &SettingsPanel::gradeValueAboutToChange, c, &Controller::gradeFieldAboutToChangeFromUI);
    connect(p, &SettingsPanel::stockTypeComboValueChanged, c, &Controller::stockTypeChangedFromUI);
    connect(p, &SettingsPanel::grainSizeComboValueChanged, c, &Controller::grainSizeChangedFromUI);
    connect(m_showOriginal, &QAbstractButton::toggled, c, &Controller::showOriginalStateChangedFromUI);
    connect(m_slider, &PositionSlider::startingHandleMoved, c, &Controller::startingPointChangedFromUI);
    connect(m_slider, &PositionSlider::endingHandleMoved, c, &Controller::endingPointChangedFromUI);
    connect(m_slider, &PositionSlider::valueChanged, c, &Controller::positionChangedFromUI);

    // The preview follows the panel at once, before the model answers.
    connect(p, &SettingsPanel::gradeValueChanged, this, [this](GradeField field, const GradeValue& value) {
        edit([&](ClipSettings& s) { gradeField(field).set(s, value); });
    });
    connect(m_showOriginal, &QAbstractButton::toggled, this,
        [this](bool v) { edit([v](ClipSettings& s) { s.setOriginal(v); }); });

    // What the model says.
    connect(c, &Controller::currentShouldRefresh, this, &EMFilmSettings::currentItemChanged);
    connect(c, &Controller::sequenceItemShouldRefreshUnreadFields, this, &EMFilmSettings::unreadGradeFieldsUpdated);
    connect(c, &Controller::listShouldReset, this, [this] {
        m_unreadByItem.clear();
        showUnreadFields();
    });
    connect(c, &Controller::viewShouldUpdate, this, &EMFilmSettings::updateViewSettings);
    connect(c, &Controller::clipSettingsShouldRefresh, this, &EMFilmSettings::updateViewSettings);
    connect(c, &Controller::currentPositionChanged, this, &EMFilmSettings::updateCurrentFrame);
    connect(c, &Controller::startingPointShouldRefresh, this, &EMFilmSettings::startingPointUpdated);
    connect(c, &Controller::endingPointShouldRefresh, this, &EMFilmSettings::endingPointUpdated);
    connect(c, &Controller::showOriginalShouldRefresh, this, &EMFilmSettings::showOriginalStateUpdated);
    connect(c, &Controller::sourceAndStockShouldRefresh, this, [this](uint source, const QString& stock) {
        if (m_shown.getSourceType() == source && m_shown.getStockName() == stock)
            return;
        m_shown.setSourceType(source);
        m_shown.setStockName(stock);
        showSettings();
    });
    connect(c, &Controller::grainShouldRefresh, this, [this](uint source, const QString& stock, const QString& scale) {
        if (m_shown.getSourceType() == source && m_shown.getStockName() == stock
            && m_shown.getGrainScaleName() == scale)
            return;
        m_shown.setSourceType(source);
        m_shown.setStockName(stock);
        m_shown.setGrainScaleName(scale);
        showSettings();
    });
    connect(c, &Controller::gradeFieldShouldRefresh, this, [this](GradeField field, const GradeValue& value) {
        ClipSettings echoed = m_shown;
        gradeField(field).set(echoed, value);
        // The echo of an edit made here changes nothing; while a control of
        // the panel is being dragged, an echo is of an earlier step of that
        // drag and must not move the control back under the mouse.
        if (echoed.sameGrade(m_shown) || m_panel->isDragging())
            return;
        m_shown = echoed;
        showSettings();
    });
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
    m_readyTimer.stop();
    setClipControlsEnabled(false);
    m_clipName->setText(item && item->asset ? item->asset->name : QString());
    showUnreadFields();
    openCurrentWhenReady();
}

void EMFilmSettings::unreadGradeFieldsUpdated(const QByteArray& itemId, const QStringList& fields)
{
    const QUuid uuid(itemId);
    if (fields.isEmpty())
        m_unreadByItem.remove(uuid);
    else
        m_unreadByItem.insert(uuid, fields);
    if (uuid == m_currentUuid)
        showUnreadFields();
}

void EMFilmSettings::showUnreadFields()
{
    const QStringList fields = m_currentUuid.isNull() ? QStringList() : m_unreadByItem.value(m_currentUuid);
    const QString names = fields.join(QStringLiteral(", "));
    if (fields.isEmpty())
        m_unreadFields->clear();
    else if (GradeBlockReader::wholeGradeLost(fields))
        m_unreadFields->setText(tr("Defaults stand in for the whole grade (%1)").arg(names));
    else
        m_unreadFields->setText(tr("Defaults stand in for %1").arg(names));
    m_unreadFields->setToolTip(UnreadFieldsMark::clipWarning(fields));
    m_unreadFields->setVisible(!fields.isEmpty());
}

void EMFilmSettings::openCurrentWhenReady()
{
    SequenceItem* item = m_current;
    if (item && item->asset && item->asset->valid && !item->asset->ready) {
        // A clip loaded with a project is still being described.
        if (!m_readyTimer.isActive())
            m_readyTimer.start();
        return;
    }
    m_readyTimer.stop();
    const bool usable = item && item->asset && item->asset->valid;
    if (usable) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setLength(int(item->asset->frameCount));
        m_slider->setValue(int(item->startFrame));
    }
    if (m_player)
        m_player->open(usable ? item : nullptr);
    if (m_preview)
        m_preview->currentItemChanged(item);
    setClipControlsEnabled(usable);
    if (usable) {
        m_clipName->setText(item->asset->name);
        showPosition(int(item->startFrame));
    }
}

void EMFilmSettings::updateViewSettings(const ClipSettings& settings)
{
    if (settings.sameGrade(m_shown) && m_shown.getGrainScaleName() == settings.getGrainScaleName())
        return;
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
    if (m_player)
        m_player->setStartFrame(frame);
}

void EMFilmSettings::endingPointUpdated(const QUuid& itemUuid, uint frame)
{
    if (itemUuid != m_currentUuid)
        return;
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->setEndPoint(frame);
    }
    if (m_player)
        m_player->setEndFrame(frame);
}

void EMFilmSettings::showOriginalStateUpdated(bool value)
{
    if (m_shown.getOriginal() == value)
        return;
    m_shown.setOriginal(value);
    showSettings();
}

} // namespace Emulsa
