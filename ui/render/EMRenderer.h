#pragma once

#include <QList>
#include <QSize>
#include <QStringList>
#include <QUuid>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QOffscreenSurface;
class QPushButton;
class QThread;

namespace Emulsa {

class EMRenderList;
class RenderManager;
class RenderProgress;
class RenderQueue;
class SequenceItem;

// The render tab: the list of the sequence's clips, the output settings
// (destination folder, overwrite, format, frame size, fitting), the render
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
    // Stops a render in progress (waiting for its thread) and writes the
    // destination folders and the overwrite setting to the settings store.
    ~EMRenderer() override;

    EMRenderList* renderList() const { return m_list; }
    QPushButton* renderButton() const { return m_renderButton; }
    RenderProgress* progress() const { return m_progress; }
    QLabel* statusLabel() const { return m_statusLabel; }
    QComboBox* destinationBox() const { return m_destinationBox; }
    QComboBox* formatBox() const { return m_formatBox; }
    QComboBox* sizeBox() const { return m_sizeBox; }
    QComboBox* fitBox() const { return m_fitBox; }
    // How a TIFF sequence is stored (shown for "Tiff Sequence" only).
    QComboBox* tiffDepthBox() const { return m_tiffBoxes[0]; }
    QComboBox* tiffCompressionBox() const { return m_tiffBoxes[1]; }
    QComboBox* tiffAlphaBox() const { return m_tiffBoxes[2]; }
    QCheckBox* overwriteBox() const { return m_overwriteBox; }

    bool isRendering() const;
    RenderManager* worker() const;
    const QThread* workerThread() const;
    RenderQueue* queue() const { return m_queue; }

    // The frame size chosen (the custom one when "Custom" is selected).
    QSize outputSize() const;
    // Selects "Custom" with this size, as the size dialog does.
    void setCustomSize(const QSize& size);
    // Adds a destination folder (the oldest goes when the menu is full) or
    // selects it when present.
    void addDestinationFolder(const QString& folder);
    QStringList destinationFolders() const;
    QString destination() const;

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
    void loadSettings();
    void saveSettings() const;
    void setInterfaceEnabled(bool enabled);
    void cancelRendering();
    void showSummary(bool canceled);
    int customSizeIndex() const;

    EMRenderList* m_list = nullptr;
    QComboBox* m_destinationBox = nullptr;
    QPushButton* m_browseButton = nullptr;
    QCheckBox* m_overwriteBox = nullptr;
    QComboBox* m_formatBox = nullptr;
    QComboBox* m_sizeBox = nullptr;
    QComboBox* m_fitBox = nullptr;
    QComboBox* m_tiffBoxes[3] = {};
    QWidget* m_settingsArea = nullptr;
    QPushButton* m_renderButton = nullptr;
    RenderProgress* m_progress = nullptr;
    QLabel* m_statusLabel = nullptr;

    RenderQueue* m_queue = nullptr;
    bool m_waitingForItems = false;
    std::unique_ptr<QOffscreenSurface> m_surface;
    QSize m_customSize = QSize(1920, 1080);
    int m_previousSizeIndex = 0;
};

} // namespace Emulsa
