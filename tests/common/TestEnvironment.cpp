#include "TestEnvironment.h"

#include "resources/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

namespace Emulsa::Test {

namespace {

QTemporaryDir& userRoot()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/emulsa-test-XXXXXX"));
    return dir;
}

} // namespace

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

} // namespace Emulsa::Test
