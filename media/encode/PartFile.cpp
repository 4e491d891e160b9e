#include "media/encode/PartFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Emulsa::PartFile {

namespace {

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The hidden name prefix of part files and folders made for `path`; the name
// is kept short enough for any file system's name limit.
QString partPrefix(const QString& path)
{
    const QFileInfo target(path);
    return target.absolutePath() + QStringLiteral("/.") + target.fileName().left(120) + QLatin1Char('.');
}

QString randomPartName(const QString& prefix)
{
    return prefix + QString::number(QRandomGenerator::global()->generate64(), 36) + QStringLiteral(".part");
}

// rename(2) with flags, through the system call itself: the C library's
// wrapper is not in every one this builds against.
int renameWithFlags(const QByteArray& from, const QByteArray& to, unsigned flags)
{
#ifdef SYS_renameat2
    return int(::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags));
#else
    Q_UNUSED(from);
    Q_UNUSED(to);
    Q_UNUSED(flags);
    errno = ENOSYS;
    return -1;
#endif
}

constexpr unsigned renameNoReplace = 1; // RENAME_NOREPLACE
constexpr unsigned renameExchange = 2; // RENAME_EXCHANGE

} // namespace

QString create(const QString& path, QString* error)
{
    const QString prefix = partPrefix(path);
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 100 && lastError == EEXIST; ++attempt) {
        const QString candidate = randomPartName(prefix);
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

bool isPartName(const QString& entry, const QString& name)
{
    const QString prefix = QLatin1Char('.') + name.left(120) + QLatin1Char('.');
    if (!entry.startsWith(prefix) || !entry.endsWith(QLatin1String(".part")))
        return false;
    static const QRegularExpression random(QStringLiteral("^[0-9a-z]+$"));
    const QString middle = entry.mid(prefix.size(), entry.size() - prefix.size() - 5);
    return random.match(middle).hasMatch();
}

int removeStale(const QString& path)
{
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    const QString name = target.fileName();
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QString entryName = QFile::decodeName(entry->d_name);
        if (!isPartName(entryName, name))
            continue;
        // lstat: a link is never taken for the file it points to.
        struct stat status;
        if (::fstatat(::dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode))
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

QString createFolder(const QString& path, QString* error)
{
    const QString prefix = partPrefix(path);
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 100 && lastError == EEXIST; ++attempt) {
        const QString candidate = randomPartName(prefix);
        // mkdir fails on any existing entry, a dangling link included.
        if (::mkdir(QFile::encodeName(candidate).constData(), 0777) == 0)
            return candidate;
        lastError = errno;
    }
    if (error)
        *error = reason(lastError);
    return QString();
}

bool commitFolder(const QString& part, const QString& path, bool replace, QString* error)
{
    const QByteArray from = QFile::encodeName(part);
    const QByteArray to = QFile::encodeName(path);
    struct stat status;
    const bool exists = ::lstat(to.constData(), &status) == 0;
    int result = -1;
    if (!exists || !replace) {
        result = renameWithFlags(from, to, renameNoReplace);
        // Without the flag (an older kernel, or a file system that lacks
        // it) the folder is moved only onto a free name, where rename(2)
        // would replace an empty folder.
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            if (::lstat(to.constData(), &status) == 0)
                errno = EEXIST;
            else
                result = std::rename(from.constData(), to.constData());
        }
    } else {
        result = renameWithFlags(from, to, renameExchange);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // No exchange here: the earlier entry is moved aside under a
            // name of its own and the new folder takes the free name.
            QString aside;
            for (int attempt = 0; attempt < 100 && aside.isEmpty(); ++attempt) {
                const QString candidate = randomPartName(partPrefix(path));
                if (::lstat(QFile::encodeName(candidate).constData(), &status) != 0)
                    aside = candidate;
            }
            if (aside.isEmpty())
                errno = EEXIST;
            const QByteArray asideName = QFile::encodeName(aside);
            result = aside.isEmpty() ? -1 : std::rename(to.constData(), asideName.constData());
            if (result == 0) {
                result = std::rename(from.constData(), to.constData());
                // The earlier entry under the part folder's name, as after
                // an exchange.
                if (result == 0)
                    result = std::rename(asideName.constData(), from.constData());
            }
        }
    }
    if (result == 0)
        return true;
    const int lastError = errno;
    if (error)
        *error = reason(lastError);
    return false;
}

} // namespace Emulsa::PartFile
