#pragma once

#include <QByteArray>
#include <QListWidget>
#include <QVector>

class QMenu;

namespace Emulsa {

struct Preset;

// The presets strip's list: one row per preset, sorted by preset number
// (creation order), whatever order the presets arrive in. Delete asks for the
// current preset to be removed.
//
// Its context menu on a preset offers "Update with Current Grade", enabled
// while a clip is current.
class EMPresetsList : public QListWidget
{
    Q_OBJECT

public:
    explicit EMPresetsList(QWidget* parent = nullptr);

    // Replaces every row with the presets.
    void showPresets(const QVector<Preset>& presets);
    // The row of the preset id, or null.
    QListWidgetItem* rowForPreset(const QByteArray& presetId) const;
    // The context menu of the preset's row (deleted once it closes).
    QMenu* menuForPreset(const QByteArray& presetId);
    bool currentClipAvailable() const { return m_clipAvailable; }

public slots:
    void setCurrentClipAvailable(bool available) { m_clipAvailable = available; }

signals:
    void presetSelectedForDeletion(QByteArray presetId);
    void presetUpdateRequested(QByteArray presetId);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool m_clipAvailable = false;
};

} // namespace Emulsa
