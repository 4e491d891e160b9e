#pragma once

#include <QStyledItemDelegate>

namespace Emulsa {

class MetadataManager;

// Paints the rows of the media list and the shot list: a thumbnail with the
// name, modification time, frame count, rate and size in icon mode, the name
// alone in list mode (in red when the file could not be read). Paints from
// the metadata manager's records and thumbnails; never opens a file.
class EMShotItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The process-wide metadata manager when `metadata` is null.
    explicit EMShotItemDelegate(MetadataManager* metadata = nullptr, QObject* parent = nullptr);

    void setListMode(bool listMode) { m_listMode = listMode; }
    bool listMode() const { return m_listMode; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    MetadataManager* metadata() const;

    MetadataManager* m_metadata;
    bool m_listMode = false;
};

} // namespace Emulsa
