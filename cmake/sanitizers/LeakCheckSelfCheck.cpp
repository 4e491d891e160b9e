// AddressSanitizer build only: checks the build's own leak-check set-up.
//
//   leak_selfcheck leak     leaks one block from our own code: must be
//                           reported, naming the function that made it.
//   leak_selfcheck drawn    draws with the OpenGL driver (llvmpipe compiles
//                           the shaders), frees everything and ends: must
//                           end without a report, the driver unloaded or not.
//   leak_selfcheck jit      draws, then leaks one block: run with full
//                           allocation stacks (fast_unwind_on_malloc=0), it
//                           must be reported, not hang in libgcc's unwinder
//                           behind the JIT's unwind tables.

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_4_0_Core>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Kept out of line so that the report names them.
__attribute__((noinline)) void leakedOnPurpose()
{
    volatile char* block = new char[48];
    block[0] = 1;
    block = nullptr;
}

__attribute__((noinline)) void leakedAfterDrawing()
{
    volatile char* block = new char[64];
    block[0] = 1;
    block = nullptr;
}

GLuint compile(QOpenGLFunctions_4_0_Core* gl, GLenum type, const char* source)
{
    const GLuint shader = gl->glCreateShader(type);
    gl->glShaderSource(shader, 1, &source, nullptr);
    gl->glCompileShader(shader);
    GLint ok = GL_FALSE;
    gl->glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    return ok == GL_TRUE ? shader : 0;
}

// Draws one triangle into a texture, so that the driver compiles shader code.
bool draw()
{
    QOffscreenSurface surface;
    QSurfaceFormat format;
    format.setVersion(4, 0);
    format.setProfile(QSurfaceFormat::CoreProfile);
    surface.setFormat(format);
    surface.create();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !context.makeCurrent(&surface))
        return false;
    auto* gl = context.versionFunctions<QOpenGLFunctions_4_0_Core>();
    if (!gl || !gl->initializeOpenGLFunctions())
        return false;

    const GLuint vertex = compile(gl, GL_VERTEX_SHADER,
        "#version 400 core\n"
        "void main() { vec2 p = vec2(gl_VertexID & 1, gl_VertexID >> 1);"
        " gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0); }\n");
    const GLuint fragment = compile(gl, GL_FRAGMENT_SHADER,
        "#version 400 core\n"
        "out vec4 colour;\n"
        "void main() { colour = vec4(gl_FragCoord.xy / 64.0, 0.5, 1.0); }\n");
    if (!vertex || !fragment)
        return false;
    const GLuint program = gl->glCreateProgram();
    gl->glAttachShader(program, vertex);
    gl->glAttachShader(program, fragment);
    gl->glLinkProgram(program);

    GLuint texture = 0, framebuffer = 0, vertexArray = 0;
    gl->glGenTextures(1, &texture);
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gl->glGenFramebuffers(1, &framebuffer);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    gl->glGenVertexArrays(1, &vertexArray);
    gl->glBindVertexArray(vertexArray);
    gl->glViewport(0, 0, 64, 64);
    gl->glUseProgram(program);
    gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    unsigned char pixel[4] = {};
    gl->glReadPixels(40, 20, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    const bool drawn = pixel[0] > 100 && pixel[1] > 40 && pixel[3] == 255;

    gl->glDeleteVertexArrays(1, &vertexArray);
    gl->glDeleteFramebuffers(1, &framebuffer);
    gl->glDeleteTextures(1, &texture);
    gl->glDeleteProgram(program);
    gl->glDeleteShader(vertex);
    gl->glDeleteShader(fragment);
    context.doneCurrent();
    return drawn;
}

} // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "leak") == 0) {
        leakedOnPurpose();
        return 0;
    }
    if (std::strcmp(mode, "drawn") != 0 && std::strcmp(mode, "jit") != 0) {
        std::fprintf(stderr, "usage: leak_selfcheck leak|drawn|jit\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    if (!draw()) {
        std::fprintf(stderr, "leak_selfcheck: could not draw with OpenGL 4.0 core\n");
        return 1;
    }
    if (std::strcmp(mode, "jit") == 0)
        leakedAfterDrawing();
    std::printf("leak_selfcheck: drew with %s\n", mode);
    return 0;
}
