#pragma once

#include <QByteArray>
#include <QTreeWidget>
#include <QVector>

class QMenu;

namespace Emulsa {

class EMPresetsManagerItemDelegate;
class PresetsManager;
struct Preset;

// The preset manager's table: one row per preset with a check box and its
// thumbnail, its name (editable with F2 or a double click) and summaries of
// its grade; a click in the "DELETE" column asks for the preset to be
// removed. A press on a check box sets every selected row to the pressed
// row's new state (only that row when it is not selected). Its context menu
// on a preset offers "Update with Current Grade", enabled while a clip is
// current.
class EMPresetsManagerList : public QTreeWidget
{
    Q_OBJECT

public:
    enum Column
    {
        ThumbnailColumn,
        NameColumn,
        FilmColumn,
        ColorColumn,
        LevelsColumn,
        DeleteColumn,
    };

    // Thumbnails come from the process-wide store where `presets` is null.
    explicit EMPresetsManagerList(QWidget* parent = nullptr, PresetsManager* presets = nullptr);

    // Replaces every row with the presets, sorted by number, unchecked.
    void showPresets(const QVector<Preset>& presets);
    // The ids of the checked rows, in row order.
    QVector<QByteArray> checkedPresetIds() const;
    QTreeWidgetItem* rowForPreset(const QByteArray& presetId) const;
    // Where the row's check box is drawn, in viewport coordinates.
    QRect checkBoxRect(QTreeWidgetItem* row) const;
    EMPresetsManagerItemDelegate* managerDelegate() const { return m_delegate; }
    // The context menu of the preset's row (deleted once it closes).
    QMenu* menuForPreset(const QByteArray& presetId);
    bool currentClipAvailable() const { return m_clipAvailable; }

signals:
    void presetSelectedForDeletion(QByteArray presetId);
    void presetNameEdited(QByteArray presetId, QString name);
    void undoTriggered();
    void redoTriggered();
    void presetUpdateRequested(QByteArray presetId);
    void currentClipAvailabilityChanged();

public slots:
    void presetRemovedFromModel(QByteArray presetId);
    void presetRenamedFromModel(QByteArray presetId, QString name);
    void toggleAll(int checkState);
    void setCurrentClipAvailable(bool available);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Toggles the check boxes when the press is on one; true when it was.
    bool pressCheckBox(QMouseEvent* event);

    EMPresetsManagerItemDelegate* m_delegate;
    QTreeWidgetItem* m_pressedDeleteRow = nullptr;
    // The release of a press that toggled check boxes is not passed on (the
    // base view would toggle the pressed row once more).
    bool m_checkPressed = false;
    bool m_clipAvailable = false;
};

} // namespace Emulsa
