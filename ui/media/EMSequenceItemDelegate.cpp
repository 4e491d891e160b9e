#include "ui/media/EMSequenceItemDelegate.h"

#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "model/PresetsManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/UnreadFieldsMark.h"

#include <QPainter>

namespace Emulsa {

namespace {

// The trim shading measures the box as 122 pixels: both edges included.
constexpr int shadingWidth = 122;
constexpr int shadingHeight = 76;

} // namespace

EMSequenceItemDelegate::EMSequenceItemDelegate(MetadataManager* metadata, PresetsManager* presets, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_metadata(metadata)
    , m_presets(presets)
{
}

MetadataManager* EMSequenceItemDelegate::metadata() const
{
    return m_metadata ? m_metadata : MetadataManager::instance();
}

PresetsManager* EMSequenceItemDelegate::presets() const
{
    return m_presets ? m_presets : PresetsManager::instance();
}

QSize EMSequenceItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(thumbnailWidth + 8, thumbnailHeight + 8);
}

QRect EMSequenceItemDelegate::thumbnailBox(const QRect& row)
{
    const int left = row.left() + ((row.right() - row.left()) - thumbnailWidth) / 2;
    const int top = row.top() + ((row.bottom() - row.top()) - thumbnailHeight) / 2;
    return QRect(QPoint(left, top), QPoint(left + thumbnailWidth, top + thumbnailHeight));
}

void EMSequenceItemDelegate::paintTrimShading(
    QPainter* painter, const QRect& box, quint32 start, quint32 end, quint32 frameCount)
{
    if (frameCount == 0)
        return;
    const QColor shade(77, 77, 77, 200);
    const QPen redPen(Qt::red, 1);
    if (start > 0) {
        const int w = int(qint64(shadingWidth) * qMin(start, frameCount) / frameCount);
        painter->setPen(Qt::NoPen);
        painter->fillRect(QRect(box.left(), box.top(), w, shadingHeight), shade);
        painter->setPen(redPen);
        painter->drawLine(box.left() + w, box.top(), box.left() + w, box.top() + thumbnailHeight);
    }
    if (end < frameCount) {
        const int w = int(qint64(shadingWidth) * end / frameCount);
        painter->setPen(Qt::NoPen);
        painter->fillRect(QRect(box.left() + w, box.top(), shadingWidth - w, shadingHeight), shade);
        painter->setPen(redPen);
        painter->drawLine(box.left() + w, box.top(), box.left() + w, box.top() + thumbnailHeight);
    }
}

void EMSequenceItemDelegate::paintPresetBadge(QPainter* painter, const QRect& box, const QByteArray& presetId) const
{
    const int left = box.left();
    const int top = box.top();
    const QPen whitePen(Qt::white, 1);
    const std::optional<Preset> preset = presetId.isEmpty() ? std::nullopt : presets()->findPreset(presetId);

    QFont font(QStringLiteral("Arial"), 22);
    font.setStyleHint(QFont::SansSerif, QFont::PreferAntialias);

    if (!preset || !preset->name.isEmpty()) {
        if (!preset) {
            painter->setPen(QColor(77, 76, 77));
            painter->setBrush(Qt::black);
            painter->drawRect(QRect(QPoint(left + 4, top + 58), QPoint(left + 21, top + 73)));
            painter->setPen(whitePen);
            painter->setFont(font);
            painter->drawText(QRect(QPoint(left + 5, top + 56), QPoint(left + 22, top + 71)),
                Qt::AlignHCenter | Qt::AlignBaseline, QStringLiteral("*"));
            return;
        }
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0, 0, 0, 150));
        const QRect badge(QPoint(left + 4, top + 57), QPoint(left + 119, top + 74));
        painter->drawRect(badge);
        painter->setPen(whitePen);
        painter->drawText(badge, Qt::AlignCenter, preset->name);
        return;
    }

    const QString number = QString::number(preset->number);
    const int right = number.size() >= 3 ? left + 33 : left + 21;
    const QRect badge(QPoint(left + 4, top + 58), QPoint(right, top + 73));
    painter->setPen(QColor(77, 76, 77));
    painter->setBrush(Qt::black);
    painter->drawRect(badge);
    painter->setPen(whitePen);
    painter->drawText(badge, Qt::AlignCenter, number);
}

void EMSequenceItemDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    // The selection (the clips a preset goes to) frames the thumbnail in the
    // highlight colour, visible on any background.
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, option.palette.highlight());
    const QRect box = thumbnailBox(option.rect);
    const QByteArray id = index.data(AssetIdRole).toByteArray();
    MetadataManager* manager = metadata();
    painter->drawImage(box, manager->getThumbnail(id));

    quint32 frameCount = index.data(FrameCountRole).toUInt();
    if (const AssetMetadata* record = manager->metadataFor(id);
        record && manager->isReady(record) && record->frameCount > 0)
        frameCount = record->frameCount;
    paintTrimShading(painter, box, index.data(StartFrameRole).toUInt(), index.data(EndFrameRole).toUInt(), frameCount);

    paintPresetBadge(painter, box, index.data(PresetIdRole).toByteArray());
    if (!index.data(UnreadFieldsRole).toStringList().isEmpty())
        UnreadFieldsMark::paint(painter, box);
    painter->restore();
}

} // namespace Emulsa
