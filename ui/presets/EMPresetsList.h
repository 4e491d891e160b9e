#pragma once

#include <QByteArray>
#include <QListWidget>
#include <QVector>

namespace Emulsa {

struct Preset;

// The presets strip's list: one row per preset, sorted by preset number
// (creation order), whatever order the presets arrive in. Delete asks for the
// current preset to be removed.
class EMPresetsList : public QListWidget
{
    Q_OBJECT

public:
    explicit EMPresetsList(QWidget* parent = nullptr);

    // Replaces every row with the presets.
    void showPresets(const QVector<Preset>& presets);
    // The row of the preset id, or null.
    QListWidgetItem* rowForPreset(const QByteArray& presetId) const;

signals:
    void presetSelectedForDeletion(QByteArray presetId);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace Emulsa
