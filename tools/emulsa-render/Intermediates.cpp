#include "Intermediates.h"

#include "media/encode/MovieJoin.h"
#include "media/encode/PartFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace Emulsa::RenderTool::Intermediates {

namespace {

const QString suffix = QStringLiteral(".intermediate");

QString rangePath(const QString& folder, const QString& base)
{
    return folder + QLatin1Char('/') + base + QStringLiteral(".frames");
}

} // namespace

QString folder(const QString& output, const QString& base)
{
    return QDir(output).filePath(base + suffix);
}

QString partName(const QString& base, qint64 first, qint64 end)
{
    return QStringLiteral("%1.%2-%3.mov")
        .arg(base)
        .arg(first, 6, 10, QLatin1Char('0'))
        .arg(end - 1, 6, 10, QLatin1Char('0'));
}

bool recordRange(const QString& folder, const QString& base, qint64 first, qint64 end, QString* error)
{
    const QString path = rangePath(folder, base);
    const QByteArray text = QByteArray::number(first) + ' ' + QByteArray::number(end) + '\n';
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text)
        return true;
    const QString part = PartFile::create(path, error);
    if (part.isEmpty())
        return false;
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        *error = file.errorString();
        PartFile::discard(part);
        return false;
    }
    file.close();
    if (!PartFile::commit(part, path, error)) {
        PartFile::discard(part);
        return false;
    }
    return true;
}

bool findParts(const QString& folder, const QString& base, QList<Part>* parts, QString* error)
{
    QFile range(rangePath(folder, base));
    const QList<QByteArray> numbers
        = range.open(QIODevice::ReadOnly) ? range.readAll().simplified().split(' ') : QList<QByteArray>();
    bool firstOk = false;
    bool endOk = false;
    const qint64 first = numbers.value(0).toLongLong(&firstOk);
    const qint64 end = numbers.value(1).toLongLong(&endOk);
    if (numbers.size() != 2 || !firstOk || !endOk || first >= end) {
        *error = QStringLiteral("%1: the clip's frame range is not recorded in %2")
                     .arg(QDir::toNativeSeparators(folder), QFileInfo(range).fileName());
        return false;
    }
    const QRegularExpression name(
        QStringLiteral("^%1\\.([0-9]{6,})-([0-9]{6,})\\.mov$").arg(QRegularExpression::escape(base)));
    parts->clear();
    for (const QString& entry : QDir(folder).entryList(QDir::Files)) {
        const QRegularExpressionMatch match = name.match(entry);
        if (match.hasMatch())
            *parts << Part { QDir(folder).filePath(entry), match.captured(1).toLongLong(),
                match.captured(2).toLongLong() + 1 };
    }
    std::sort(parts->begin(), parts->end(), [](const Part& a, const Part& b) { return a.first < b.first; });
    qint64 next = first;
    QStringList gaps;
    for (const Part& part : qAsConst(*parts)) {
        if (part.first > next)
            gaps << QStringLiteral("frames %1-%2 are missing").arg(next).arg(part.first - 1);
        else if (part.first < next)
            gaps << QStringLiteral("%1 overlaps the part before").arg(QFileInfo(part.path).fileName());
        next = std::max(next, part.end);
    }
    if (next < end)
        gaps << QStringLiteral("frames %1-%2 are missing").arg(next).arg(end - 1);
    else if (next > end)
        gaps << QStringLiteral("parts run past the clip's last frame %1").arg(end - 1);
    if (!gaps.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(folder), gaps.join(QStringLiteral("; ")));
        return false;
    }
    return true;
}

Result assemble(const QString& output, bool overwrite)
{
    Result result;
    const QStringList folders = QDir(output).entryList({ QLatin1Char('*') + suffix }, QDir::Dirs | QDir::NoSymLinks);
    for (const QString& name : folders) {
        const QString base = name.left(name.size() - suffix.size());
        const QString intermediate = QDir(output).filePath(name);
        const QString target = QDir(output).filePath(base + QStringLiteral(".mov"));
        if (!overwrite && QFileInfo::exists(target)) {
            result.skipped << QStringLiteral("%1: skipped, it exists (use --overwrite to replace it)")
                                  .arg(QDir::toNativeSeparators(target));
            continue;
        }
        QList<Part> parts;
        QString error;
        if (!findParts(intermediate, base, &parts, &error)) {
            result.failed << error;
            continue;
        }
        QStringList paths;
        for (const Part& part : qAsConst(parts))
            paths << part.path;
        if (!MovieJoin::join(paths, target, &error)) {
            result.failed << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(target), error);
            continue;
        }
        result.joined << QStringLiteral("%1 -> %2  (%3 parts, frames %4-%5)")
                             .arg(QDir::toNativeSeparators(intermediate), QDir::toNativeSeparators(target))
                             .arg(parts.size())
                             .arg(parts.first().first)
                             .arg(parts.last().end - 1);
    }
    if (folders.isEmpty())
        result.failed << QStringLiteral("%1 holds no intermediate folder (<name>.intermediate)")
                             .arg(QDir::toNativeSeparators(output));
    return result;
}

} // namespace Emulsa::RenderTool::Intermediates
