#include "ui/presets/EMPresetItemDelegate.h"

#include "model/PresetsManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/UnreadFieldsMark.h"
#include "ui/presets/PresetThumbnailPainter.h"

#include <QPainter>

namespace Emulsa {

EMPresetItemDelegate::EMPresetItemDelegate(PresetsManager* presets, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_presets(presets)
{
}

PresetsManager* EMPresetItemDelegate::presets() const
{
    return m_presets ? m_presets : PresetsManager::instance();
}

QString EMPresetItemDelegate::titleFor(const QString& name, int number)
{
    return name.isEmpty() ? QStringLiteral("Preset #%1").arg(number) : name;
}

QRect EMPresetItemDelegate::thumbnailRect(const QRect& itemRect)
{
    return QRect(itemRect.left() + 4, itemRect.top() + 4, 112, itemRect.height() - 8);
}

QSize EMPresetItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(260, 92);
}

void EMPresetItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect rect = option.rect;
    painter->save();
    if (option.state & QStyle::State_Selected)
        painter->fillRect(rect, QColor(53, 88, 108, 200));
    else
        painter->fillRect(rect, index.row() % 2 == 0 ? QColor(41, 41, 41) : QColor(44, 44, 44));

    const QByteArray id = index.data(PresetIdRole).toByteArray();
    const QImage thumbnail = presets()->thumbnailForId(id);
    const QRect thumbBox = thumbnailRect(rect);
    PresetThumbnailPainter::paint(painter, thumbBox, thumbnail);
    if (!index.data(UnreadFieldsRole).toStringList().isEmpty())
        UnreadFieldsMark::paint(painter, thumbBox);

    const std::optional<Preset> preset = presets()->findPreset(id);
    const QString title = titleFor(index.data(PresetNameRole).toString(), index.data(PresetNumberRole).toInt());
    painter->setPen(Qt::white);
    QFont font(QStringLiteral("Lucida Grande"), 9);
    font.setBold(true);
    painter->setFont(font);
    const int textLeft = thumbBox.right() + 8;
    painter->drawText(
        QRect(textLeft, rect.top() + 2, rect.right() - textLeft, 16), Qt::AlignLeft | Qt::AlignVCenter, title);
    if (preset) {
        const ClipSettings& s = preset->settings;
        const HistogramSliderData levels = s.getHistogramSliderData();
        const QStringList left = { QStringLiteral("Color: %1%").arg(s.getStockLUTAmount()),
            QStringLiteral("Curve: %1%").arg(s.getStockCurveAmount()),
            QStringLiteral("Grain: %1%").arg(s.getGrainAmount()),
            QStringLiteral("Size: %1").arg(s.getGrainScaleName()) };
        const QStringList right = { QStringLiteral("Saturation: %1").arg(double(s.getSaturation()), 0, 'f', 2),
            QStringLiteral("Black: %1%").arg(qRound(levels.black * 100.0f)),
            QStringLiteral("Mid: %1%").arg(qRound(levels.mid * 100.0f)),
            QStringLiteral("White: %1%").arg(qRound(levels.white * 100.0f)) };
        painter->setFont(QFont(QStringLiteral("Lucida Grande"), 7));
        const int columnWidth = (rect.right() - textLeft) / 2;
        for (int i = 0; i < left.size(); ++i) {
            const int y = rect.top() + 20 + i * 16;
            painter->drawText(QRect(textLeft, y, columnWidth, 16), Qt::AlignLeft | Qt::AlignVCenter, left.at(i));
            painter->drawText(
                QRect(textLeft + columnWidth, y, columnWidth, 16), Qt::AlignLeft | Qt::AlignVCenter, right.at(i));
        }
    }
    painter->restore();
}

} // namespace Emulsa
