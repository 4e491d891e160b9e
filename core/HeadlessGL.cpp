#include "core/HeadlessGL.h"

#include "core/OffscreenGLContext.h"

#include <QByteArray>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QVariant>

// No X11 types from the EGL headers: this code never talks to an X server.
#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <QtPlatformHeaders/QEGLNativeContext>

#include <cstring>

namespace Emulsa::HeadlessGL {

namespace {

bool g_active = false;

using GetString = const unsigned char* (*)(unsigned int);
constexpr unsigned int GlRenderer = 0x1F01;

bool hasExtension(const char* list, const char* name)
{
    if (!list)
        return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + length, name)) {
        const bool startsWord = at == list || at[-1] == ' ';
        const bool endsWord = at[length] == ' ' || at[length] == '\0';
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

QString eglError(const char* what)
{
    return QStringLiteral("%1 failed (EGL error 0x%2)")
        .arg(QString::fromLatin1(what))
        .arg(eglGetError(), 4, 16, QLatin1Char('0'));
}

// The first configuration for an OpenGL pbuffer with exactly the colour sizes
// asked for (those given), chosen the way Qt chooses the configuration of an
// off-screen surface, so that a context and a surface made for the same
// format can be current together.
EGLConfig chooseConfig(EGLDisplay display, const QSurfaceFormat& format, QString* why)
{
    const EGLint red = qMax(0, format.redBufferSize());
    const EGLint green = qMax(0, format.greenBufferSize());
    const EGLint blue = qMax(0, format.blueBufferSize());
    const EGLint alpha = qMax(0, format.alphaBufferSize());
    const EGLint attributes[] = { EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE,
        red, EGL_GREEN_SIZE, green, EGL_BLUE_SIZE, blue, EGL_ALPHA_SIZE, alpha, EGL_DEPTH_SIZE,
        qMax(0, format.depthBufferSize()), EGL_STENCIL_SIZE, qMax(0, format.stencilBufferSize()), EGL_NONE };
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, nullptr, 0, &count) || count <= 0) {
        *why = QStringLiteral("no EGL configuration for an OpenGL pbuffer");
        return nullptr;
    }
    QVector<EGLConfig> configs(count);
    eglChooseConfig(display, attributes, configs.data(), count, &count);
    const auto matches = [display](EGLConfig config, EGLint attribute, EGLint wanted) {
        EGLint value = 0;
        return wanted == 0 || (eglGetConfigAttrib(display, config, attribute, &value) && value == wanted);
    };
    for (EGLint i = 0; i < count; ++i) {
        if (matches(configs[i], EGL_RED_SIZE, red) && matches(configs[i], EGL_GREEN_SIZE, green)
            && matches(configs[i], EGL_BLUE_SIZE, blue) && matches(configs[i], EGL_ALPHA_SIZE, alpha))
            return configs[i];
    }
    *why = QStringLiteral("no EGL configuration with %1/%2/%3/%4 bits of colour")
               .arg(red)
               .arg(green)
               .arg(blue)
               .arg(alpha);
    return nullptr;
}

EGLContext createContext(EGLDisplay display, EGLConfig config, const QSurfaceFormat& format, QString* why)
{
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *why = eglError("eglBindAPI(OpenGL)");
        return EGL_NO_CONTEXT;
    }
    const EGLint profile = format.profile() == QSurfaceFormat::CoreProfile
        ? EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT
        : EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT;
    const EGLint attributes[] = { EGL_CONTEXT_MAJOR_VERSION, format.majorVersion(), EGL_CONTEXT_MINOR_VERSION,
        format.minorVersion(), EGL_CONTEXT_OPENGL_PROFILE_MASK, profile, EGL_NONE };
    const EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT)
        *why = QStringLiteral("no OpenGL %1.%2 context: %3")
                   .arg(format.majorVersion())
                   .arg(format.minorVersion())
                   .arg(eglError("eglCreateContext"));
    return context;
}

// The format the renderer asks for, as OffscreenGLContext::requestCoreFormat
// gives it on this path.
QSurfaceFormat rendererFormat()
{
    QSurfaceFormat format = OffscreenGLContext::coreFormat();
    setBufferSizes(&format);
    return format;
}

} // namespace

void setBufferSizes(QSurfaceFormat* format)
{
    format->setRedBufferSize(8);
    format->setGreenBufferSize(8);
    format->setBlueBufferSize(8);
    format->setAlphaBufferSize(8);
}

QString probe(QString* why)
{
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        *why = QStringLiteral("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
        return {};
    }
    const auto getPlatformDisplay
        = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        *why = QStringLiteral("EGL has no eglGetPlatformDisplayEXT");
        return {};
    }
    const EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0;
    EGLint minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        *why = eglError("opening the surfaceless EGL display");
        return {};
    }
    const QSurfaceFormat format = rendererFormat();
    QString renderer;
    EGLConfig config = chooseConfig(display, format, why);
    EGLContext context = config ? createContext(display, config, format, why) : EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
    if (context != EGL_NO_CONTEXT) {
        // A pbuffer, as Qt makes for an off-screen surface here.
        const EGLint size[] = { EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE };
        surface = eglCreatePbufferSurface(display, config, size);
        if (surface == EGL_NO_SURFACE)
            *why = eglError("eglCreatePbufferSurface");
        else if (!eglMakeCurrent(display, surface, surface, context))
            *why = eglError("eglMakeCurrent");
        else if (const auto getString = reinterpret_cast<GetString>(eglGetProcAddress("glGetString")))
            renderer = QString::fromLatin1(reinterpret_cast<const char*>(getString(GlRenderer)));
        if (renderer.isEmpty() && why->isEmpty())
            *why = QStringLiteral("the headless OpenGL context names no renderer");
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface != EGL_NO_SURFACE)
        eglDestroySurface(display, surface);
    if (context != EGL_NO_CONTEXT)
        eglDestroyContext(display, context);
    eglTerminate(display);
    eglReleaseThread();
    return renderer;
}

bool selectPlatform(QString* why)
{
    QString folder = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    if (folder.isEmpty())
        folder = QLibraryInfo::location(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    if (!QFileInfo::exists(folder + QStringLiteral("/libqeglfs.so"))) {
        *why = QStringLiteral("Qt's EGL platform plugin is not installed in %1").arg(folder);
        return false;
    }
    qputenv("QT_QPA_PLATFORM", "eglfs");
    // The plugin's own EGL display is the default one: make that surfaceless.
    qputenv("EGL_PLATFORM", "surfaceless");
    qputenv("QT_QPA_EGLFS_INTEGRATION", "none");
    // It opens a framebuffer device to learn the screen's size; there is no
    // screen, and the size given here is never drawn to.
    qputenv("QT_QPA_EGLFS_FB", "/dev/null");
    qputenv("QT_QPA_EGLFS_WIDTH", "1920");
    qputenv("QT_QPA_EGLFS_HEIGHT", "1080");
    qputenv("QT_QPA_EGLFS_PHYSICAL_WIDTH", "508");
    qputenv("QT_QPA_EGLFS_PHYSICAL_HEIGHT", "286");
    qputenv("QT_QPA_EGLFS_DEPTH", "32");
    // No input devices, no terminal escape codes, and Ctrl+C and SIGTERM stay
    // the program's own.
    qputenv("QT_QPA_EGLFS_DISABLE_INPUT", "1");
    qputenv("QT_QPA_PRESERVE_CONSOLE_STATE", "1");
    qputenv("QT_QPA_NO_SIGNAL_HANDLER", "1");
    g_active = true;
    return true;
}

bool isActive()
{
    return g_active;
}

void* adoptNewContext(QOpenGLContext* context, const QSurfaceFormat& format, QString* why)
{
    // The display the platform plugin opened (eglGetDisplay returns the same
    // handle for the same platform), which Qt requires of an adopted context.
    const EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY) {
        *why = eglError("eglGetDisplay");
        return nullptr;
    }
    const EGLConfig config = chooseConfig(display, format, why);
    if (!config)
        return nullptr;
    const EGLContext made = createContext(display, config, format, why);
    if (made == EGL_NO_CONTEXT)
        return nullptr;
    context->setNativeHandle(QVariant::fromValue(QEGLNativeContext(made, display)));
    return made;
}

void releaseContext(void* eglContext)
{
    if (eglContext)
        eglDestroyContext(eglGetDisplay(EGL_DEFAULT_DISPLAY), static_cast<EGLContext>(eglContext));
}

} // namespace Emulsa::HeadlessGL
