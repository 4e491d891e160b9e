#include "ui/media/EMShotItemDelegate.h"

#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/UnreadFieldsMark.h"

#include <QPainter>

namespace Emulsa {

EMShotItemDelegate::EMShotItemDelegate(MetadataManager* metadata, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_metadata(metadata)
{
}

MetadataManager* EMShotItemDelegate::metadata() const
{
    return m_metadata ? m_metadata : MetadataManager::instance();
}

QSize EMShotItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return m_listMode ? QSize(200, 18) : QSize(200, 98);
}

void EMShotItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QPen outlinePen(QColor(0, 90, 131), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    const QPen redPen(Qt::red, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    const QPen whitePen(Qt::white, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    const QRect rect = option.rect;

    painter->save();
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(rect, QColor(53, 88, 108, 200));
    } else {
        // Dark cards whatever the window's palette: the text is drawn white.
        const int grey = index.row() % 2 == 0 ? 41 : 44;
        painter->fillRect(rect, QColor(grey, grey, grey));
        painter->setPen(QColor(grey + 20, grey + 20, grey + 20));
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
    }
    painter->setPen(whitePen);
    if (option.state & QStyle::State_HasFocus) {
        painter->setPen(outlinePen);
        painter->drawRect(rect);
        painter->setPen(whitePen);
    }

    MetadataManager* manager = metadata();
    const QByteArray id = index.data(AssetIdRole).toByteArray();
    AssetMetadata* record = manager->metadataFor(id);
    if (!record && !index.data(FilePathRole).toString().isEmpty())
        record = manager->getMetadata(index);
    const bool ready = record && manager->isReady(record);

    const int margin = m_listMode ? 5 : 170;
    if (!m_listMode) {
        const QImage thumbnail = manager->getThumbnail(id);
        const QRect box(QPoint(rect.left() + 1, rect.top() + 1), QPoint(rect.left() + 154, rect.top() + 96));
        painter->drawImage(box, thumbnail);
        if (!index.data(UnreadFieldsRole).toStringList().isEmpty())
            UnreadFieldsMark::paint(painter, box);
    } else if (ready && !record->valid) {
        painter->setPen(redPen);
    }

    QFont nameFont(QStringLiteral("Lucida Grande"), 8);
    painter->setFont(nameFont);
    const QRect nameRect(QPoint(rect.left() + margin, m_listMode ? rect.top() : rect.top() - 25), rect.bottomRight());
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());

    if (!m_listMode) {
        painter->setFont(QFont(QStringLiteral("Lucida Grande"), 7));
        const QRect textRect = rect.adjusted(margin, 0, 0, 0);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, index.data(ModifiedRole).toString());
        if (ready && record->valid) {
            const double rate = record->frameRateDen ? double(record->frameRateNum) / record->frameRateDen : 0.0;
            const QString timing = QString::number(record->frameCount) + QStringLiteral(" frames - ")
                + QString::number(rate, 'g', 6) + QStringLiteral(" FPS");
            painter->drawText(textRect.adjusted(0, 23, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, timing);
            const QString size
                = QString::number(record->width) + QStringLiteral(" x ") + QString::number(record->height);
            painter->drawText(textRect.adjusted(0, 45, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, size);
        }
    }
    painter->restore();
}

} // namespace Emulsa
