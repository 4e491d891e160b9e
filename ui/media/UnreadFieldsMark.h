#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

class QPainter;
class QRect;

namespace Emulsa {

// The mark of a grade that could not be read whole from its file: an amber
// triangle with an exclamation mark, painted in the top right corner of a
// clip's or preset's thumbnail, or shown as an icon in preset tables.
namespace UnreadFieldsMark {

// Side of the mark in pixels.
constexpr int size = 16;

// Paints the mark in the top right corner of `box`.
void paint(QPainter* painter, const QRect& box);
// The mark as an icon.
QIcon icon();
// The tooltip of a clip whose grade has the fields unread; empty for none.
QString clipWarning(const QStringList& fields);

} // namespace UnreadFieldsMark

} // namespace Emulsa
