#pragma once

#include <QString>
#include <QStringList>

namespace Emulsa::VideoFileTypes {

// The file name endings (upper case, dot included) of the clips the media
// browser lists, the scanner finds and the sequence takes: one list for all
// three. Camera and recorder containers: MP4, MOV, MXF, AVI, MPEG program and
// transport streams (".MTS", ".M2TS", ".TS"), Matroska and the phone formats.
const QStringList& extensions();

// Whether the name ends with one of the extensions, in any case. Never opens
// the file.
bool isVideoFileName(const QString& fileName);

// The extensions as name filters of a file model, upper and lower case
// ("*.MP4", "*.mp4", ...).
QStringList nameFilters();

} // namespace Emulsa::VideoFileTypes
