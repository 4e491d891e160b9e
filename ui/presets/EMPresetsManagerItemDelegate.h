#pragma once

#include <QByteArray>
#include <QStyledItemDelegate>

namespace Emulsa {

class PresetsManager;

// Draws and edits the cells of the preset manager's table. The "THUMBNAIL"
// cell shows the row's check box and the preset's thumbnail from the store
// (its display role keeps the preset number for sorting, never painted); the
// "NAME" cell is edited in a line edit, and a changed name is sent with
// presetNameEdited rather than written into the row: the row shows the
// name once the model has renamed the preset. No other cell is editable.
class EMPresetsManagerItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int rowHeight = 60;
    static constexpr int thumbnailWidth = 96;

    // The process-wide store where null.
    explicit EMPresetsManagerItemDelegate(PresetsManager* presets = nullptr, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // Where the thumbnail cell described by `option` draws its check box and
    // its thumbnail.
    QRect checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    QRect thumbnailRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // Wide enough for the check box and a whole thumbnail.
    static int thumbnailColumnWidth(const QWidget* widget);

signals:
    void presetNameEdited(QByteArray presetId, QString name);

private:
    PresetsManager* presets() const;

    PresetsManager* m_presets;
};

} // namespace Emulsa
