#include "core/OffscreenGLContext.h"

#include "core/HeadlessGL.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_4_0_Core>
#include <QSurfaceFormat>

namespace Emulsa {

OffscreenGLContext::~OffscreenGLContext()
{
    if (m_context) {
        m_context->doneCurrent();
        delete m_context;
    }
    HeadlessGL::releaseContext(m_nativeContext);
    if (m_ownsSurface)
        delete m_surface;
}

QSurfaceFormat OffscreenGLContext::coreFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(4, 0);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(0);
    format.setStencilBufferSize(0);
    format.setSwapInterval(0);
    return format;
}

void OffscreenGLContext::requestCoreFormat(QOffscreenSurface* surface)
{
    QSurfaceFormat format = coreFormat();
    if (HeadlessGL::isActive())
        HeadlessGL::setBufferSizes(&format);
    surface->setFormat(format);
}

bool OffscreenGLContext::fail(const QString& message)
{
    m_lastError = message;
    qWarning().noquote() << "OffscreenGLContext:" << message;
    return false;
}

bool OffscreenGLContext::create(QOffscreenSurface* surface)
{
    if (m_context)
        return fail(QStringLiteral("context already created"));

    if (surface) {
        m_surface = surface;
        m_ownsSurface = false;
    } else {
        m_surface = new QOffscreenSurface;
        m_ownsSurface = true;
        requestCoreFormat(m_surface);
        m_surface->create();
    }
    if (!m_surface->isValid())
        return fail(QStringLiteral("the offscreen surface is not valid"));

    m_context = new QOpenGLContext;
    m_context->setFormat(m_surface->requestedFormat());
    if (HeadlessGL::isActive()) {
        QString why;
        m_nativeContext = HeadlessGL::adoptNewContext(m_context, m_surface->requestedFormat(), &why);
        if (!m_nativeContext)
            return fail(QStringLiteral("cannot create a headless OpenGL context: %1").arg(why));
    }
    if (!m_context->create() || !m_context->isValid())
        return fail(QStringLiteral("cannot create an OpenGL context"));
    const QSurfaceFormat obtained = m_context->format();
    if (obtained.majorVersion() < 4 || obtained.profile() != QSurfaceFormat::CoreProfile)
        return fail(QStringLiteral("OpenGL 4.0 core is not available (got %1.%2)")
                        .arg(obtained.majorVersion())
                        .arg(obtained.minorVersion()));
    if (!makeCurrent())
        return fail(QStringLiteral("cannot make the context current"));

    auto* functions = m_context->versionFunctions<QOpenGLFunctions_4_0_Core>();
    if (!functions || !functions->initializeOpenGLFunctions())
        return fail(QStringLiteral("cannot resolve the OpenGL 4.0 functions"));
    m_functions = functions;
    return true;
}

bool OffscreenGLContext::makeCurrent()
{
    return m_context && m_surface && m_context->makeCurrent(m_surface);
}

void OffscreenGLContext::doneCurrent()
{
    if (m_context)
        m_context->doneCurrent();
}

} // namespace Emulsa
