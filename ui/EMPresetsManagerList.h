#pragma once

#include <QByteArray>
#include <QTreeWidget>
#include <QVector>

namespace Emulsa {

struct Preset;

// The preset manager's table: one row per preset with a check box, its name
// (editable with F2 or a double click) and summaries of its grade; a click in
// the "DELETE" column asks for the preset to be removed.
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

    explicit EMPresetsManagerList(QWidget* parent = nullptr);

    // Replaces every row with the presets, sorted by number, unchecked.
    void showPresets(const QVector<Preset>& presets);
    // The ids of the checked rows, in row order.
    QVector<QByteArray> checkedPresetIds() const;
    QTreeWidgetItem* rowForPreset(const QByteArray& presetId) const;

signals:
    void presetSelectedForDeletion(QByteArray presetId);
    void presetNameEdited(QByteArray presetId, QString name);
    void undoTriggered();
    void redoTriggered();

public slots:
    void presetRemovedFromModel(QByteArray presetId);
    void presetRenamedFromModel(QByteArray presetId, QString name);
    void toggleAll(int checkState);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void nameChanged(QTreeWidgetItem* row, int column);

    QTreeWidgetItem* m_pressedDeleteRow = nullptr;
    bool m_filling = false;
};

} // namespace Emulsa
