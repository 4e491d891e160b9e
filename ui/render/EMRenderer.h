#pragma once

#include <QList>
#include <QStringList>
#include <QUuid>
#include <QWidget>

#include <memory>

class QLabel;
class QOffscreenSurface;
class QPushButton;
class QThread;

namespace Emulsa {

class EMRenderList;
class RenderManager;
class RenderOutputForm;
class RenderProgress;
class RenderQueue;
class SequenceItem;

// The render tab: the list of the sequence's clips, the output settings
// (RenderOutputForm: destination folder, overwrite, format, frame size,
// fitting), the render
// button that also cancels, and the progress of a render: total frames done,
// frames per second, elapsed and remaining time (RenderProgress).
//
// Wiring with the controller:
// - getSequenceItemsFromUuids(ids) asks for the ticked items; the list is
//   read during the emission and not kept (connect it directly to
//   rendererNeedSequenceItemsFromUuids).
// - itemsReadyToBeRendered(items) takes the model's snapshot copies and owns
//   them from then on (connect rendererShouldStartRendering to it).
// - the list (renderList()) follows the sequence through shotListChanged,
//   fullReset, startingPointUpdated and endingPointUpdated.
// - renderingStateChanged(true) while a render is being asked for or runs:
//   the main window disables what must not change meanwhile.
//
// The render itself runs in the tab's RenderQueue (its worker thread, the
// worker's lifetime and the timing); the tab builds the output settings from
// its menus, starts and cancels the queue, and shows what the queue reports.
// A cancel shows "Canceling..." until the queue's thread has finished.
class EMRenderer : public QWidget
{
    Q_OBJECT

public:
    static constexpr int maxDestinationFolders = 10;

    explicit EMRenderer(QWidget* parent = nullptr);
    // Stops a render in progress (waiting for its thread); the output form
    // then writes its choices to the settings store.
    ~EMRenderer() override;

    EMRenderList* renderList() const { return m_list; }
    QPushButton* renderButton() const { return m_renderButton; }
    RenderProgress* progress() const { return m_progress; }
    QLabel* statusLabel() const { return m_statusLabel; }
    // Where and how the clips are written.
    RenderOutputForm* output() const { return m_output; }

    bool isRendering() const;
    RenderManager* worker() const;
    const QThread* workerThread() const;
    RenderQueue* queue() const { return m_queue; }

signals:
    void getSequenceItemsFromUuids(QList<QByteArray>* itemIds);
    void renderingStateChanged(bool rendering);

public slots:
    void browseButtonPressed();
    void renderButtonPressed();
    void currentResolutionChanged(int index);
    void itemsReadyToBeRendered(QList<const Emulsa::SequenceItem*>* items);
    void renderingFinished();
    void totalProgressRangedChanged(int min, int max);
    void totalProgressUpdated(int value);
    void singleProgressUpdated(QUuid uuid, int value);
    void singleItemFailed(QUuid uuid, QString message);
    void updateRenderingProgress();
    void renderingPathChanged(int index);

private:
    void buildInterface();
    void setInterfaceEnabled(bool enabled);
    void cancelRendering();
    void showSummary(bool canceled);

    EMRenderList* m_list = nullptr;
    RenderOutputForm* m_output = nullptr;
    QPushButton* m_renderButton = nullptr;
    RenderProgress* m_progress = nullptr;
    QLabel* m_statusLabel = nullptr;

    RenderQueue* m_queue = nullptr;
    bool m_waitingForItems = false;
    std::unique_ptr<QOffscreenSurface> m_surface;
};

} // namespace Emulsa
