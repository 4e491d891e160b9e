#include "ui/media/UnreadFieldsMark.h"

#include "model/GradeBlockReader.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRect>

namespace Emulsa {

namespace UnreadFieldsMark {

void paint(QPainter* painter, const QRect& box)
{
    const QRectF area(box.right() - size - 2, box.top() + 2, size, size);
    QPainterPath triangle;
    triangle.moveTo(area.center().x(), area.top());
    triangle.lineTo(area.right(), area.bottom());
    triangle.lineTo(area.left(), area.bottom());
    triangle.closeSubpath();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(Qt::black, 1));
    painter->setBrush(QColor(255, 176, 0));
    painter->drawPath(triangle);
    QFont font = painter->font();
    font.setBold(true);
    font.setPixelSize(size - 5);
    painter->setFont(font);
    painter->drawText(area.adjusted(0, 3, 0, 0), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("!"));
    painter->restore();
}

QIcon icon()
{
    QPixmap pixmap(size + 4, size + 4);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, pixmap.rect());
    return QIcon(pixmap);
}

QString clipWarning(const QStringList& fields)
{
    if (fields.isEmpty())
        return QString();
    if (GradeBlockReader::wholeGradeLost(fields))
        return QCoreApplication::translate("UnreadFieldsMark",
            "This clip's grade could not be read from the project file (%1): default values are used for all of "
            "it. Changing the grade or saving the project clears this warning.")
            .arg(fields.join(QStringLiteral(", ")));
    return QCoreApplication::translate("UnreadFieldsMark",
        "Part of this clip's grade could not be read from the project file (%1): default values are used there. "
        "Changing the grade or saving the project clears this warning.")
        .arg(fields.join(QStringLiteral(", ")));
}

} // namespace UnreadFieldsMark

} // namespace Emulsa
