#pragma once

#include <QString>

class QOpenGLContext;
class QSurfaceFormat;

namespace Emulsa {

// OpenGL without any window system: Mesa's EGL on its surfaceless platform,
// reached by Qt through its EGL platform plugin ("eglfs") with no screen
// behind it. Qt cannot make a context on that display itself (it asks for
// window configurations, which a surfaceless display has none of), so the
// context is made here and handed to Qt to adopt; the off-screen surface is
// then an EGL pbuffer and all drawing goes to framebuffer objects.
namespace HeadlessGL {

// Tries, without Qt, what the headless path needs: the surfaceless display,
// an OpenGL 4.0 core context and making it current without a surface. On
// success returns the GL renderer's name; else an empty string and *why.
QString probe(QString* why);

// Points the QGuiApplication made next at Qt's EGL plugin on that display,
// through its environment, and marks this process as headless. Call before
// the application object exists. False (and *why) when the plugin is not
// installed; nothing is changed then.
bool selectPlatform(QString* why);

// True once selectPlatform() has chosen the headless path for this process.
bool isActive();

// Makes an EGL OpenGL context for format (version, profile and buffer sizes)
// on the headless display and sets it as context's native handle, to be
// adopted by context->create(). Returns the EGL context, which Qt does not
// own: pass it to releaseContext() once the QOpenGLContext is deleted. Null
// (and *why) on failure.
void* adoptNewContext(QOpenGLContext* context, const QSurfaceFormat& format, QString* why);
void releaseContext(void* eglContext);

// The buffer sizes the headless surfaces and contexts share: a pbuffer and a
// context made for the same sizes use the same EGL configuration, which EGL
// requires to make them current together.
void setBufferSizes(QSurfaceFormat* format);

} // namespace HeadlessGL

} // namespace Emulsa
