#pragma once

#include <QPoint>
#include <QStringList>
#include <QTreeWidget>

namespace Emulsa {

// The media list: the video files of the folder chosen, in the order the
// scan finds them. Clips are dragged from it onto the shot list; a mostly
// vertical drag selects rows instead.
class EMMediaListWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit EMMediaListWidget(QWidget* parent = nullptr);

    // A clip row for the file: name, path, asset id and modification time.
    // The modification time is read from the file when not given.
    static QTreeWidgetItem* makeClipItem(const QString& path, const QString& modified = QString());

public slots:
    // Appends rows for the files; the times ("yyyy-MM-dd HH:mm:ss") go with
    // the paths index for index.
    void listReadyToDisplay(QStringList paths, QStringList modifiedTimes);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint m_pressPosition;
};

} // namespace Emulsa
