#pragma once

#include "core/ClipSettings.h"

#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <memory>

class QAbstractButton;

class QVBoxLayout;

namespace Emulsa {

class AudioPlayback;
class Controller;
class OpenGLPreview;
class PositionSlider;
class PreviewArea;
class SequenceItem;
class SettingsPanel;
class SourceReader;

// The grading tab: the preview of the current clip with its position slider
// and buttons, and the grading panel beside it. Edits in the panel go to the
// controller as commands and straight to the preview, so the picture follows
// a drag without waiting for the model; values from the model are shown with
// the panel's and slider's signals blocked, so showing never posts a command.
class EMFilmSettings : public QWidget
{
    Q_OBJECT

public:
    // Without a preview the tab shows only the panel and the slider (tests
    // of the wiring that need no OpenGL context).
    explicit EMFilmSettings(bool withPreview = true, QWidget* parent = nullptr);
    ~EMFilmSettings() override;

    void setController(Controller* controller);

    SettingsPanel* panel() const { return m_panel; }
    // Puts a strip (the sequence strip, the presets strip) under the preview.
    void addStrip(QWidget* strip);
    PositionSlider* positionSlider() const { return m_slider; }
    OpenGLPreview* preview() const { return m_preview; }
    QAbstractButton* showOriginalButton() const { return m_showOriginal; }
    // The grade as last shown (from the model, with the panel's edits since).
    const ClipSettings& shownSettings() const { return m_shown; }

public slots:
    void currentItemChanged(Emulsa::SequenceItem* item);
    void updateViewSettings(const Emulsa::ClipSettings& settings);
    void updateCurrentFrame(int frame);
    void startingPointUpdated(const QUuid& itemUuid, uint frame);
    void endingPointUpdated(const QUuid& itemUuid, uint frame);
    void showOriginalStateUpdated(bool value);

private:
    QVBoxLayout* m_left = nullptr;
    // Shows m_shown in the panel (signals blocked) and hands it to the preview.
    void showSettings();
    void previewFollows();
    // Opens the current clip in the reader and the preview once its
    // description is ready (a clip loaded with a project is still being
    // described when it becomes current).
    void openCurrentWhenReady();
    template<typename Setter> void edit(Setter setter);
    template<typename Value, typename Setter> void connectShown(void (Controller::*signal)(Value), Setter setter);

    Controller* m_controller = nullptr;
    std::unique_ptr<SourceReader> m_reader;
    std::unique_ptr<AudioPlayback> m_audio;
    OpenGLPreview* m_preview = nullptr;
    PreviewArea* m_previewArea = nullptr;
    PositionSlider* m_slider = nullptr;
    SettingsPanel* m_panel = nullptr;
    QAbstractButton* m_play = nullptr;
    QAbstractButton* m_showOriginal = nullptr;
    ClipSettings m_shown;
    QUuid m_currentUuid;
    SequenceItem* m_current = nullptr;
    QTimer m_readyTimer;
};

} // namespace Emulsa
