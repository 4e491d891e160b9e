#include "app/ResourcesHelper.h"

#include "core/ApplicationPaths.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLFunctions_4_0_Core>
#include <QSet>
#include <QSurfaceFormat>

#include <memory>

namespace Emulsa {

const char* const ResourcesHelper::kExampleGroupFile = "examples.empreset";
const char* const ResourcesHelper::kExampleThumbnails[8] = {
    "00000000-0000-0000-0000-000000000000.emthumb",
    "7328380B-3977-4743-B4FD-AD6856EDFBD1.emthumb",
    "914367A7-0D14-498F-B590-9E3400D5D0EE.emthumb",
    "94E9BC6C-623A-4D78-8215-7EE8E8FF626D.emthumb",
    "9ADBBE10-46BC-4F98-87C6-8005385BDDBC.emthumb",
    "9D7DDC7C-E682-497B-9DBE-8B235862CFA8.emthumb",
    "9EBD8443-B412-4C8E-975C-3321FBC86421.emthumb",
    "9F54C556-2459-41C1-BCE5-6FD467B71763.emthumb",
};

namespace {

QSet<QString> fileNamesBelow(const QString& folder, const QString& pattern)
{
    QSet<QString> names;
    QDirIterator it(folder, QStringList { pattern }, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        names.insert(it.fileName());
    }
    return names;
}

} // namespace

bool ResourcesHelper::checkHostCapabilities()
{
    QSurfaceFormat format;
    format.setMajorVersion(4);
    format.setMinorVersion(0);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setRenderableType(QSurfaceFormat::OpenGL);

    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();

    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(surface.requestedFormat());
    if (!context->create()) {
        qDebug() << "Can't create openGL Context";
        return false;
    }
    if (!context->makeCurrent(&surface)) {
        qDebug() << "Can't make openGL Context current";
        return false;
    }

    GLint major = 0;
    GLint minor = 0;
    context->functions()->glGetIntegerv(GL_MAJOR_VERSION, &major);
    context->functions()->glGetIntegerv(GL_MINOR_VERSION, &minor);

    auto* core = context->versionFunctions<QOpenGLFunctions_4_0_Core>();
    if (!core || !core->initializeOpenGLFunctions()) {
        qDebug() << "Can't init" << major << minor << "Core function";
        context->doneCurrent();
        return false;
    }
    qDebug().nospace() << "OpenGL Version: " << major << ":" << minor;
    context->doneCurrent();
    return true;
}

bool ResourcesHelper::checkExamplePresets(bool userFolder)
{
    ApplicationPaths* paths = ApplicationPaths::instance();
    const QString folder
        = userFolder ? paths->presetsPath() : paths->resourcesPath() + QStringLiteral("standalone/presets/");
    qDebug() << "Checking for presets in:" << folder;
    if (!QDir(folder).exists()) {
        qDebug() << "presets Directory not present in" << folder;
        return false;
    }
    if (!fileNamesBelow(folder, QStringLiteral("*.empreset")).contains(QLatin1String(kExampleGroupFile)))
        return false;
    const QSet<QString> thumbnails = fileNamesBelow(folder, QStringLiteral("*.emthumb"));
    for (const char* name : kExampleThumbnails) {
        if (!thumbnails.contains(QLatin1String(name))) {
            qDebug() << "Presets thumbnail missing with UUID:" << name;
            return false;
        }
    }
    return true;
}

bool ResourcesHelper::installExamplePresets()
{
    if (!checkExamplePresets(false))
        return false;
    ApplicationPaths* paths = ApplicationPaths::instance();
    const QString source = paths->resourcesPath() + QStringLiteral("standalone/presets/");
    const QString destination = paths->presetsPath();
    if (!QDir(destination).exists() && !QDir().mkpath(destination)) {
        qWarning() << "Can't create presets folder.";
        return false;
    }
    qDebug() << "Transfering resources from" << source << "to" << destination;
    copyRecursively(source, destination);
    return true;
}

void ResourcesHelper::copyRecursively(const QString& sourceFolder, const QString& destinationFolder)
{
    const QDir source(sourceFolder);
    if (!source.exists())
        return;
    for (const QString& name : source.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = destinationFolder + QLatin1Char('/') + name;
        QDir().mkpath(target);
        copyRecursively(sourceFolder + QLatin1Char('/') + name, target);
    }
    for (const QString& name : source.entryList(QDir::Files)) {
        // QFile::copy never replaces an existing file.
        QFile::copy(sourceFolder + QLatin1Char('/') + name, destinationFolder + QLatin1Char('/') + name);
    }
}

bool ResourcesHelper::checkPlaceholders()
{
    const QString resources = ApplicationPaths::instance()->resourcesPath();
    if (!QFile::exists(resources + QStringLiteral("placeholderEM.bin"))) {
        qWarning() << "EM placeholder not present";
        return false;
    }
    if (!QFile::exists(resources + QStringLiteral("placeholderIF.bin"))) {
        qWarning() << "IF placeholder not present";
        return false;
    }
    return true;
}

} // namespace Emulsa
