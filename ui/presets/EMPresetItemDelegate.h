#pragma once

#include <QStyledItemDelegate>

namespace Emulsa {

class PresetsManager;

// Paints one preset of the presets strip: its thumbnail, its name (or
// "Preset #<number>") and a summary of its grade.
class EMPresetItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The process-wide store where null.
    explicit EMPresetItemDelegate(PresetsManager* presets = nullptr, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The title of a preset: its name, or "Preset #<number>" without one.
    static QString titleFor(const QString& name, int number);
    // The box the thumbnail is drawn in, for an item's rectangle.
    static QRect thumbnailRect(const QRect& itemRect);

private:
    PresetsManager* presets() const;

    PresetsManager* m_presets;
};

} // namespace Emulsa
