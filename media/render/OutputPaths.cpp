#include "media/render/OutputPaths.h"

#include "media/clip/AssetMetadata.h"
#include "media/encode/PartFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Emulsa {

namespace {

QString destinationWithSlash(const t_OutputSettings* settings)
{
    if (!settings || !settings->destination)
        return QString();
    QString destination = *settings->destination;
    if (!destination.endsWith(QLatin1Char('/')))
        destination += QLatin1Char('/');
    return destination;
}

// The path with every symbolic link resolved; for a path that does not exist,
// its existing folder resolved and the file name appended.
QString resolvedPath(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return info.absoluteFilePath();
    return folder + QLatin1Char('/') + info.fileName();
}

QRegularExpression imagePattern(const QString& base)
{
    return QRegularExpression(
        QStringLiteral("^%1\\.[0-9]{6,}\\.(tiff|dpx|exr)$").arg(QRegularExpression::escape(base)));
}

// A temporary file the renderer writes an image of this clip to before it
// takes its name (".<image name>.<random>.part"), left behind when a render
// was stopped while writing it. The image name in it is cut to 120
// characters, as the renderer cuts it.
// The image name inside a working file's name; empty for another name.
QString leftoverImageName(const QString& name)
{
    static const QRegularExpression part(QStringLiteral("^\\.(.+)\\.[0-9a-z]+\\.part$"));
    const QRegularExpressionMatch match = part.match(name);
    return match.hasMatch() ? match.captured(1) : QString();
}

bool isLeftoverImagePart(const QString& name, const QString& base)
{
    const QString image = leftoverImageName(name);
    if (image.isEmpty())
        return false;
    if (imagePattern(base).match(image).hasMatch())
        return true;
    const QString prefix = base + QLatin1Char('.');
    return image.size() == 120 && (prefix.startsWith(image) || image.startsWith(prefix));
}

} // namespace

QString OutputPaths::outputFilePath(const t_OutputSettings* settings, const AssetMetadata* asset)
{
    QString path = destinationWithSlash(settings);
    if (settings && settings->isVideo && asset)
        path += asset->name;
    return path;
}

QString OutputPaths::movieFilePath(const t_OutputSettings* settings, const AssetMetadata* asset)
{
    QString path = outputFilePath(settings, asset);
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (dot > slash)
        path.truncate(dot);
    return path + QStringLiteral(".mov");
}

QString OutputPaths::baseName(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 ? name.left(dot) : name;
}

QString OutputPaths::imageFolderPath(const t_OutputSettings* settings, const AssetMetadata* asset)
{
    return destinationWithSlash(settings) + baseName(asset ? asset->name : QString());
}

QString OutputPaths::imageFilePattern(const t_OutputSettings* settings, const AssetMetadata* asset)
{
    return imageFilePatternIn(imageFolderPath(settings, asset), settings, asset);
}

QString OutputPaths::imageFilePatternIn(
    const QString& folder, const t_OutputSettings* settings, const AssetMetadata* asset)
{
    QString extension = OutputSettings::imageExtension(settings ? settings->format : TiffSequence);
    if (extension.isEmpty())
        extension = QStringLiteral("tiff");
    return folder + QLatin1Char('/') + baseName(asset ? asset->name : QString()) + QStringLiteral(".%1.") + extension;
}

QString OutputPaths::imageFileName(const QString& pattern, qint64 index)
{
    // Only the pattern's own "%1", the last one, is filled in: the clip's
    // name and the destination may hold "%1", "%L1" and the like, which stay
    // as they are.
    const int at = pattern.lastIndexOf(QLatin1String("%1"));
    if (at < 0)
        return pattern;
    return pattern.left(at) + QStringLiteral("%1").arg(index, 6, 10, QLatin1Char('0')) + pattern.mid(at + 2);
}

QString OutputPaths::existingOutputPath(const t_OutputSettings* settings, const AssetMetadata* asset)
{
    if (settings && settings->isVideo)
        return movieFilePath(settings, asset);
    return imageFolderPath(settings, asset);
}

bool OutputPaths::isSameFile(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return false;
    struct stat a;
    struct stat b;
    const QByteArray firstPath = QFile::encodeName(first);
    const QByteArray secondPath = QFile::encodeName(second);
    if (::stat(firstPath.constData(), &a) == 0 && ::stat(secondPath.constData(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    return resolvedPath(first) == resolvedPath(second);
}

QString OutputPaths::movieTargetProblem(const t_OutputSettings* settings, const AssetMetadata* asset)
{
    if (!settings || !asset)
        return QStringLiteral("Nothing to render: no output settings or no clip.");
    if (!settings->destination || settings->destination->isEmpty())
        return QStringLiteral("No destination folder was chosen.");
    const QString sizeError = OutputSettings::formatSizeProblem(settings->width, settings->height, settings->format);
    if (!sizeError.isEmpty())
        return sizeError;
    const QString path = movieFilePath(settings, asset);
    if (isSameFile(path, asset->filePath))
        return QStringLiteral("The output file %1 is the source clip itself. Choose another destination folder: "
                              "a clip is never written over its own source.")
            .arg(QDir::toNativeSeparators(path));
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("The output %1 is a folder.").arg(QDir::toNativeSeparators(path));
    if (settings->keepExisting && info.exists())
        return QStringLiteral("The output file %1 already exists and existing files are kept.")
            .arg(QDir::toNativeSeparators(path));
    return QString();
}

QStringList OutputPaths::foreignEntries(const QString& folder, const QString& base)
{
    QStringList foreign;
    const QRegularExpression pattern = imagePattern(base);
    const QFileInfoList entries
        = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const bool image = (entry.isFile() || entry.isSymLink()) && !entry.isDir()
            && (pattern.match(entry.fileName()).hasMatch() || isLeftoverImagePart(entry.fileName(), base));
        if (!image)
            foreign << entry.fileName();
    }
    return foreign;
}

QString OutputPaths::prepareImageFolder(const t_OutputSettings* settings, const AssetMetadata* asset, QString* error)
{
    auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return QString();
    };
    if (!settings || !asset)
        return fail(QStringLiteral("Nothing to render: no output settings or no clip."));
    if (!settings->destination || settings->destination->isEmpty())
        return fail(QStringLiteral("No destination folder was chosen."));
    const QString sizeError = OutputSettings::sizeProblem(settings->width, settings->height, false);
    if (!sizeError.isEmpty())
        return fail(sizeError);

    const QString base = baseName(asset->name);
    const QString folder = imageFolderPath(settings, asset);
    const QFileInfo info(folder);
    if (info.exists() || info.isSymLink()) {
        if (!info.isDir())
            return fail(QStringLiteral("%1 exists and is not a folder.").arg(QDir::toNativeSeparators(folder)));
        if (settings->keepExisting)
            return fail(QStringLiteral("The folder %1 already exists and existing output is kept.")
                            .arg(QDir::toNativeSeparators(folder)));
        const QStringList foreign = foreignEntries(folder, base);
        if (!foreign.isEmpty())
            return fail(QStringLiteral("The folder %1 holds files that are not images of this clip (%2). "
                                       "Nothing was deleted; choose another destination.")
                            .arg(QDir::toNativeSeparators(folder), foreign.mid(0, 5).join(QStringLiteral(", "))));
    }
    const QString destination = info.absolutePath();
    if (!QDir().mkpath(destination))
        return fail(QStringLiteral("Can't create the folder %1.").arg(QDir::toNativeSeparators(destination)));
    removeLeftoverImageFolders(settings, asset);
    QString reason;
    const QString working = PartFile::createFolder(folder, &reason);
    if (working.isEmpty())
        return fail(
            QStringLiteral("Can't create a folder in %1: %2").arg(QDir::toNativeSeparators(destination), reason));
    return working;
}

bool OutputPaths::finishImageFolder(
    const t_OutputSettings* settings, const AssetMetadata* asset, const QString& working, QString* error)
{
    auto fail = [error, &working, asset](const QString& message) {
        removeImageFolder(working, baseName(asset ? asset->name : QString()));
        if (error)
            *error = message;
        return false;
    };
    if (!settings || !asset || working.isEmpty())
        return fail(QStringLiteral("Nothing to render: no output settings or no clip."));
    const QString base = baseName(asset->name);
    const QString folder = imageFolderPath(settings, asset);
    const QFileInfo info(folder);
    const bool replace = !settings->keepExisting;
    if (replace && info.isDir()) {
        const QStringList foreign = foreignEntries(folder, base);
        if (!foreign.isEmpty())
            return fail(QStringLiteral("The folder %1 came to hold files that are not images of this clip (%2). "
                                       "It was left as it was.")
                            .arg(QDir::toNativeSeparators(folder), foreign.mid(0, 5).join(QStringLiteral(", "))));
    }
    QString reason;
    if (!PartFile::commitFolder(working, folder, replace, &reason)) {
        if (!replace && (info.exists() || info.isSymLink()))
            return fail(QStringLiteral("The folder %1 already exists and existing output is kept.")
                            .arg(QDir::toNativeSeparators(folder)));
        return fail(
            QStringLiteral("Can't put the images in place as %1: %2").arg(QDir::toNativeSeparators(folder), reason));
    }
    // After an exchange the earlier folder has the working folder's name.
    if (!removeImageFolder(working, base))
        qWarning().noquote() << "Can't remove the earlier images in" << QDir::toNativeSeparators(working);
    return true;
}

bool OutputPaths::removeImageFolder(const QString& folder, const QString& base)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat status;
    if (folder.isEmpty() || ::lstat(path.constData(), &status) != 0)
        return true;
    if (!S_ISDIR(status.st_mode))
        return S_ISLNK(status.st_mode) && ::unlink(path.constData()) == 0;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const QRegularExpression pattern = imagePattern(base);
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!pattern.match(name).hasMatch() && !isLeftoverImagePart(name, base))
            continue;
        // Files and links of these names are removed; a folder is not.
        struct stat entryStatus;
        if (::fstatat(::dirfd(dir), entry->d_name, &entryStatus, AT_SYMLINK_NOFOLLOW) == 0
            && !S_ISDIR(entryStatus.st_mode))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
    // Fails, leaving the folder, when anything else is in it.
    return ::rmdir(path.constData()) == 0;
}

int OutputPaths::removeLeftoverImageFolders(const t_OutputSettings* settings, const AssetMetadata* asset)
{
    if (!settings || !asset)
        return 0;
    const QString base = baseName(asset->name);
    const QString destination = QFileInfo(imageFolderPath(settings, asset)).absolutePath();
    int removed = 0;
    const QStringList names
        = QDir(destination)
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!PartFile::isPartName(name, base))
            continue;
        const QString path = destination + QLatin1Char('/') + name;
        struct stat status;
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
            continue;
        if (removeImageFolder(path, base))
            ++removed;
        else
            qWarning().noquote() << "Left" << QDir::toNativeSeparators(path) << "in place: it holds other files.";
    }
    return removed;
}

int OutputPaths::removeLeftoverImageParts(const QString& folder, const QString& base, qint64 first, qint64 end)
{
    const QRegularExpression pattern = imagePattern(base);
    const int indexAt = base.size() + 1;
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QString image = leftoverImageName(name);
        if (!pattern.match(image).hasMatch())
            continue;
        const qint64 index = image.mid(indexAt, image.indexOf(QLatin1Char('.'), indexAt) - indexAt).toLongLong();
        if (index < first || index >= end)
            continue;
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        struct stat status;
        if (::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) && ::unlink(path.constData()) == 0)
            ++removed;
    }
    return removed;
}

QString OutputPaths::suffixedName(const QString& name, int n)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = QStringLiteral("_%1").arg(n);
    if (dot <= 0)
        return name + suffix;
    return name.left(dot) + suffix + name.mid(dot);
}

QStringList OutputPaths::distinctNames(const t_OutputSettings* settings, const QList<const AssetMetadata*>& assets)
{
    QStringList names;
    QSet<QString> taken;
    for (const AssetMetadata* original : assets) {
        if (!original) {
            names << QString();
            continue;
        }
        AssetMetadata asset = *original;
        int n = 1;
        QString path = existingOutputPath(settings, &asset);
        while (taken.contains(path)) {
            asset.name = suffixedName(original->name, ++n);
            path = existingOutputPath(settings, &asset);
        }
        taken.insert(path);
        names << asset.name;
    }
    return names;
}

} // namespace Emulsa
