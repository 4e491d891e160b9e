#pragma once

#include "core/ClipSettings.h"

#include <QHash>
#include <QStringList>
#include <QTimer>
#include <QUuid>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QVBoxLayout;

namespace Emulsa {

class Controller;
class ElapsedTimeWidget;
class OpenGLPreview;
class PositionSlider;
class PreviewArea;
class PreviewPlayer;
class PreviewZoomBar;
class SequenceItem;
class SettingsPanel;

// The grading tab: the preview of the current clip with its position slider,
// timecode and transport, and the grading panel beside it. Edits in the panel
// go to the controller as commands and straight to the preview, so the
// picture follows a drag without waiting for the model; values from the model
// are shown with the panel's and slider's signals blocked, so showing never
// posts a command, and the model's echo of the value being dragged leaves the
// control alone.
//
// Keys, while the preview, its slider or its buttons have the focus: Space
// plays and pauses (anywhere in the tab), Left and Right step a frame,
// Shift+Left and Shift+Right a second, Home and End go to the in and out
// points. Pressing the position slider pauses.
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
    PreviewPlayer* player() const { return m_player; }
    QAbstractButton* playButton() const { return m_play; }
    QAbstractButton* showOriginalButton() const { return m_showOriginal; }
    ElapsedTimeWidget* timecode() const { return m_timecode; }
    QLabel* clipNameLabel() const { return m_clipName; }
    QLabel* frameLabel() const { return m_frameLabel; }
    // Shown while part of the current clip's grade could not be read from
    // the project file, naming the fields.
    QLabel* unreadFieldsLabel() const { return m_unreadFields; }
    // The part of the tab the transport keys work in.
    QWidget* transportArea() const { return m_transport; }
    PreviewZoomBar* zoomBar() const { return m_zoomBar; }
    // The grade as last shown (from the model, with the panel's edits since).
    const ClipSettings& shownSettings() const { return m_shown; }

public slots:
    void currentItemChanged(Emulsa::SequenceItem* item);
    void updateViewSettings(const Emulsa::ClipSettings& settings);
    void updateCurrentFrame(int frame);
    void startingPointUpdated(const QUuid& itemUuid, uint frame);
    void endingPointUpdated(const QUuid& itemUuid, uint frame);
    void showOriginalStateUpdated(bool value);
    // The unread grade fields of an item (empty: none).
    void unreadGradeFieldsUpdated(const QByteArray& itemId, const QStringList& fields);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QVBoxLayout* m_left = nullptr;
    void setClipControlsEnabled(bool enabled);
    void showPosition(int frame);
    void showPlaying(bool playing);
    void addTransportKeys();
    // Shows m_shown in the panel (signals blocked) and hands it to the preview.
    void showSettings();
    void previewFollows();
    // Opens the current clip in the reader and the preview once its
    // description is ready (a clip loaded with a project is still being
    // described when it becomes current).
    void openCurrentWhenReady();
    void showUnreadFields();
    template<typename Setter> void edit(Setter setter);

    Controller* m_controller = nullptr;
    PreviewPlayer* m_player = nullptr;
    OpenGLPreview* m_preview = nullptr;
    QWidget* m_transport = nullptr;
    ElapsedTimeWidget* m_timecode = nullptr;
    QLabel* m_clipName = nullptr;
    QLabel* m_frameLabel = nullptr;
    QLabel* m_unreadFields = nullptr;
    // The unread grade fields of the items that have any, by item id.
    QHash<QUuid, QStringList> m_unreadByItem;
    PreviewZoomBar* m_zoomBar = nullptr;
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
