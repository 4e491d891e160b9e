#pragma once

#include <QByteArray>
#include <QList>
#include <QListWidget>
#include <QStringList>
#include <QUuid>

namespace Emulsa {

class EMSequenceItemDelegate;
class MetadataManager;
class PresetsManager;
class SequenceItem;

// The grading tab's sequence strip: the model's sequence as thumbnails with
// trim marks and preset badges. A plain click asks for the clip to be played;
// clicks with Shift or Control only change the selection, which is the set
// of clips a preset is applied to (getSelectionList).
//
// Pairs with the controller (connect in one place):
//   shotSelectedForPlayback(QByteArray)        -> Controller::shotToBeSelectedForPlayback
//   Controller::sequenceItemListShouldRefresh  -> shotListChanged
//   Controller::sequenceItemShouldBeRestored   -> shotRestored
//   Controller::listShouldReset                -> fullReset
//   Controller::currentShouldRefresh           -> currentItemChangedFromModel
//   Controller::startingPointShouldRefresh     -> changeCurrentStartingPoint
//   Controller::endingPointShouldRefresh       -> changeCurrentEndingPoint
//   Controller::sequenceItemShouldRefreshPreset -> sequenceItemNeedPresetRefresh
//   Controller::sequenceItemShouldRefreshUnreadFields -> sequenceItemNeedUnreadFieldsRefresh
class EMSequenceWidget : public QListWidget
{
    Q_OBJECT

public:
    // The process-wide managers where null.
    explicit EMSequenceWidget(
        QWidget* parent = nullptr, MetadataManager* metadata = nullptr, PresetsManager* presets = nullptr);

    // The item ids of the selected clips, in selection order.
    QList<QByteArray> getSelectionList() const;
    // The row of the item id, or null.
    QListWidgetItem* rowForItem(const QByteArray& itemId) const;
    // Builds the strip's heading: "SHOT LIST" with the buttons "SELECT ALL"
    // and "SELECT RIGHT" (owned by `parent`).
    QWidget* makeHeading(QWidget* parent);

signals:
    void shotSelectedForPlayback(QByteArray itemId);

public slots:
    // Selects the clip being graded and every clip right of it (from the
    // first selected clip when none is being graded), so that a preset can
    // go to the rest of a scene at once.
    void selectRight();
    void shotListChanged(Emulsa::SequenceItem* item, bool toDelete);
    void shotRestored(Emulsa::SequenceItem* item, int index);
    void fullReset();
    void currentItemChangedFromModel(Emulsa::SequenceItem* item);
    void newItemSelected(QListWidgetItem* row);
    // The in and out points of the item named by the uuid.
    void changeCurrentStartingPoint(QUuid itemUuid, uint frame);
    void changeCurrentEndingPoint(QUuid itemUuid, uint frame);
    void sequenceItemNeedPresetRefresh(QByteArray presetId, QByteArray itemId);
    // A clip whose grade could not be read whole gets a warning mark and a
    // tooltip naming the fields; an empty list takes them away.
    void sequenceItemNeedUnreadFieldsRefresh(QByteArray itemId, QStringList fields);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QListWidgetItem* makeRow(const SequenceItem* item) const;
    void trackModifiers(QKeyEvent* event, bool pressed);

    // The item id of the clip being graded (the model's current item).
    QByteArray m_currentId;

    EMSequenceItemDelegate* m_delegate;
    bool m_shiftHeld = false;
    bool m_controlHeld = false;
};

} // namespace Emulsa
