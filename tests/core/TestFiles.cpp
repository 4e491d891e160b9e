#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QtEndian>

#include <cstring>

namespace Emulsa::Test {

void appendFloat(QByteArray& data, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, 4);
    char bytes[4];
    qToLittleEndian<quint32>(bits, bytes);
    data.append(bytes, 4);
}

void writeFile(const QString& path, const QByteArray& data)
{
    QVERIFY2(QDir().mkpath(QFileInfo(path).absolutePath()), qPrintable(path));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(data), qint64(data.size()));
}

} // namespace Emulsa::Test
