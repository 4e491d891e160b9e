#pragma once

#include <QString>
#include <QSurfaceFormat>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFunctions_4_0_Core;

namespace Emulsa {

// An OpenGL 4.0 core context on an off-screen surface, for grading without a
// window. The surface must be created on the GUI thread: either let create()
// make one (when called there) or pass one made there beforehand. The context
// may then be made current on any one thread at a time.
class OffscreenGLContext
{
public:
    OffscreenGLContext() = default;
    ~OffscreenGLContext();

    OffscreenGLContext(const OffscreenGLContext&) = delete;
    OffscreenGLContext& operator=(const OffscreenGLContext&) = delete;

    // Creates the context (and the surface when none is given; the given one
    // stays the caller's), makes it current and resolves the 4.0 functions.
    bool create(QOffscreenSurface* surface = nullptr);

    bool makeCurrent();
    void doneCurrent();

    bool isValid() const { return m_functions != nullptr; }
    QOpenGLContext* context() const { return m_context; }
    QOffscreenSurface* surface() const { return m_surface; }
    QOpenGLFunctions_4_0_Core* functions() const { return m_functions; }
    const QString& lastError() const { return m_lastError; }

    // A surface format asking for OpenGL 4.0 core, no depth or stencil (and
    // 8-bit RGBA on the headless path, where the context must match it).
    static void requestCoreFormat(QOffscreenSurface* surface);
    // That format without the headless path's buffer sizes.
    static QSurfaceFormat coreFormat();

private:
    bool fail(const QString& message);

    QOffscreenSurface* m_surface = nullptr;
    bool m_ownsSurface = false;
    QOpenGLContext* m_context = nullptr;
    QOpenGLFunctions_4_0_Core* m_functions = nullptr;
    // The EGL context Qt adopted on the headless path (not Qt's to free).
    void* m_nativeContext = nullptr;
    QString m_lastError;
};

} // namespace Emulsa
