#pragma once

#include <QString>
#include <QXmlStreamReader>

namespace Emulsa {

// Reading steps for the program's own XML files (projects and presets) that
// hold a hostile file's memory to the order of its size. Every reader of
// those files moves through the document with these instead of the
// QXmlStreamReader methods of the same names:
// - a document type definition is refused (the reader is put in error), so
//   no entity can be declared and no reference can grow a small file into
//   gigabytes;
// - a text longer than maxTextLength, in one piece (character data, a
//   comment, a processing instruction's data) or gathered from the pieces of
//   one element, puts the reader in error.
namespace BoundedXml {

// The longest text of any element. The longest field the program writes is
// a preset thumbnail's Base64 data: a graded 1920x1080 frame with grain
// measured 2.5 MB of it, a 4096x2160 one (the largest picture a thumbnail
// may hold) about four times as much.
constexpr int maxTextLength = 16 * 1024 * 1024;

// QXmlStreamReader::readNext with the two refusals above; Invalid once the
// reader is in error.
QXmlStreamReader::TokenType readNext(QXmlStreamReader* xml);
// Moves to the next start element among the current element's children:
// true there, false on the parent's end element, at the end or on an error.
bool readNextStartElement(QXmlStreamReader* xml);
// From a start element, reads on to its end element.
void skipCurrentElement(QXmlStreamReader* xml);
// From a start element, the text up to its end element (empty anywhere
// else). Child elements are skipped (SkipChildElements) or put the reader in
// error (ErrorOnUnexpectedElement); IncludeChildElements is read as the
// latter.
QString readElementText(
    QXmlStreamReader* xml, QXmlStreamReader::ReadElementTextBehaviour behaviour = QXmlStreamReader::SkipChildElements);

} // namespace BoundedXml

} // namespace Emulsa
