#pragma once

#include <QStyledItemDelegate>

namespace Emulsa {

class MetadataManager;
class PresetsManager;

// Paints one clip of the grading tab's sequence strip: the thumbnail, the
// trimmed-off parts shaded with a red line at each edge of the kept part, and
// a badge naming the preset applied ("*" when none), and a warning mark when
// part of the clip's grade could not be read from the project file.
class EMSequenceItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int thumbnailWidth = 121;
    static constexpr int thumbnailHeight = 75;

    // The process-wide managers where null.
    explicit EMSequenceItemDelegate(
        MetadataManager* metadata = nullptr, PresetsManager* presets = nullptr, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The thumbnail box of a row: 121 x 75, centred.
    static QRect thumbnailBox(const QRect& row);
    // Shades the frames before `start` and from `end` on, of `frameCount`.
    static void paintTrimShading(QPainter* painter, const QRect& box, quint32 start, quint32 end, quint32 frameCount);

private:
    void paintPresetBadge(QPainter* painter, const QRect& box, const QByteArray& presetId) const;
    MetadataManager* metadata() const;
    PresetsManager* presets() const;

    MetadataManager* m_metadata;
    PresetsManager* m_presets;
};

} // namespace Emulsa
