#include "TestEnvironment.h"

#include "core/ApplicationPaths.h"
#include "resources/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace Emulsa::Test {

namespace {

QTemporaryDir& userRoot()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/emulsa-test-XXXXXX"));
    return dir;
}

} // namespace

bool useBuildFilmData(QString* why)
{
    const QString build = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR");
    const QString share = build + QStringLiteral("/share");
    if (build.isEmpty() || !QFileInfo(share + QStringLiteral("/Quillmoor")).isDir()) {
        *why = QStringLiteral("the build's film data folder %1/Quillmoor is missing (run through CTest)").arg(share);
        return false;
    }
    qputenv("PROGRAMDATA", QFile::encodeName(share));
    ApplicationPaths::instance()->clearCache();
    return true;
}

QString isolateUserFolders()
{
    const QString root = userRoot().path();
    const struct
    {
        const char* variable;
        const char* folder;
    } folders[] = {
        { "HOME", "home" },
        { "XDG_DATA_HOME", "home/.local/share" },
        { "XDG_CONFIG_HOME", "home/.config" },
        { "XDG_CACHE_HOME", "home/.cache" },
        { "XDG_RUNTIME_DIR", "runtime" },
    };
    for (const auto& f : folders) {
        const QString path = root + QLatin1Char('/') + QLatin1String(f.folder);
        QDir().mkpath(path);
        qputenv(f.variable, QFile::encodeName(path));
    }
    QFile::setPermissions(
        root + QStringLiteral("/runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return root;
}

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationDomain(QStringLiteral("QLM"));
    QCoreApplication::setApplicationName(QStringLiteral("Emulsa"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.02.30"));
    Emulsa::initResources();
}

QString makeTempFolder(const QString& name)
{
    const QString path = userRoot().path() + QStringLiteral("/tmp/") + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

QByteArray fileBytes(const QString& path, const QByteArray& unreadable)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : unreadable;
}

bool writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    return QFileInfo(path).absoluteFilePath();
}

} // namespace Emulsa::Test
