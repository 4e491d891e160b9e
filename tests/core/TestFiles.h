#pragma once

#include <QByteArray>
#include <QString>

namespace Emulsa::Test {

// Appends a float as four little-endian bytes, the layout of the film data files.
void appendFloat(QByteArray& data, float value);

// Writes data to path, creating its folder; a failure fails the running test.
void writeFile(const QString& path, const QByteArray& data);

} // namespace Emulsa::Test
