#include "media/encode/PartFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace Emulsa::PartFile {

namespace {

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString create(const QString& path, QString* error)
{
    const QFileInfo target(path);
    // The name is kept short enough for any file system's name limit.
    const QString prefix
        = target.absolutePath() + QStringLiteral("/.") + target.fileName().left(120) + QLatin1Char('.');
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 100 && lastError == EEXIST; ++attempt) {
        const QString candidate
            = prefix + QString::number(QRandomGenerator::global()->generate64(), 36) + QStringLiteral(".part");
        // O_EXCL fails on any existing entry, a dangling link included.
        const int fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        lastError = errno;
    }
    if (error)
        *error = reason(lastError);
    return QString();
}

bool commit(const QString& part, const QString& path, QString* error)
{
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    const int lastError = errno;
    if (error)
        *error = reason(lastError);
    return false;
}

void discard(const QString& part)
{
    if (!part.isEmpty())
        ::unlink(QFile::encodeName(part).constData());
}

} // namespace Emulsa::PartFile
