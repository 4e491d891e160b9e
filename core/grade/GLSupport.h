#pragma once

#include <QByteArray>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions_4_0_Core>
#include <QOpenGLVertexArrayObject>
#include <QString>

#include <memory>
#include <vector>

class QMatrix4x4;
class QOpenGLShaderProgram;

namespace Emulsa {

// GL chores shared by the grading passes' parts: building a program,
// resolving its variables and subroutines, the six-vertex arrays, textures
// and render targets. Every call needs the parts' context current; messages
// go to the log prefixed "ShaderProcessor:".
namespace GLSupport {

using Functions = QOpenGLFunctions_4_0_Core;

// Most subroutine uniform locations a program of ours may have.
constexpr GLint kMaxSubroutineLocations = 4;

// The text of a shader file with each line `#include "name"` replaced by the
// file `name` beside it; empty when a file cannot be read.
QByteArray shaderSource(const QString& file);

// Compiles and links `program` from two resource files, with `fragmentDefines`
// inserted after the fragment shader's #version line; the position and
// texture coordinate attributes are bound to locations 0 and 1.
bool buildProgram(std::unique_ptr<QOpenGLShaderProgram>& program, const char* name, const QString& vertexFile,
    const QString& fragmentFile, const char* positionName, const char* coordinateName,
    const QByteArray& fragmentDefines = QByteArray());

bool resolveAttribute(QOpenGLShaderProgram* program, const char* name, int* location);
// `required` false: a variable of a stage left out of the program, absent
// there (location -1, which every uniform call ignores).
bool resolveUniform(QOpenGLShaderProgram* program, const char* name, int* location, bool required = true);

// Looks up the named subroutines and the number of subroutine uniform
// locations of a program's fragment stage; false when one is missing.
bool resolveSubroutines(Functions* gl, GLuint program, const char* const* names, int count, const char* uniform,
    GLuint* indices, GLint* locations);
// Points every subroutine uniform of the bound program's fragment stage
// (`locations` of them) at one subroutine.
void useSubroutine(Functions* gl, GLuint index, GLint locations);
void logPendingErrors(Functions* gl);
// The GPU description, once per process's first grading program.
void logGpuInfo(Functions* gl);

// A vertex array of the six vertices covering the viewport (location 0) and
// `textureCoordinates` (12 floats, location 1). `blur` picks the messages.
bool buildVertexArray(Functions* gl, QOpenGLVertexArrayObject& vao, QOpenGLBuffer& vertices, QOpenGLBuffer& coordinates,
    const float* textureCoordinates, bool blur);

// A texture with `filter`, clamped to its edges, one mip level; bound on the
// active unit. 0 when none could be made.
GLuint createTexture(Functions* gl, GLenum target, GLenum filter);
// Allocates `texture` at width x height in the first of `formats` that makes
// `fbo` (texture on colour attachment 0) complete; 0 when none. The
// framebuffer bindings are kept.
GLenum attachRenderableTexture(
    Functions* gl, const std::vector<GLenum>& formats, GLuint fbo, GLuint texture, GLsizei width, GLsizei height);
// Deletes a framebuffer (0 is skipped), logging "Can't delete FBO" on an
// error, and clears the name.
void deleteFramebuffer(Functions* gl, GLuint* fbo);

// The names a pass's program gives its vertex position and texture coordinate
// attributes and its projection matrix uniform.
struct ProgramNames
{
    const char* position;
    const char* coordinate;
    const char* matrix;
};

// The six vertices covering the viewport and their texture coordinates, as
// a vertex array and its two buffers (buildVertexArray()).
class Quad
{
public:
    bool build(Functions* gl, const float* textureCoordinates, bool blur)
    {
        return buildVertexArray(gl, m_vao, m_vertices, m_coordinates, textureCoordinates, blur);
    }
    void bind() { m_vao.bind(); }
    void release() { m_vao.release(); }
    void destroy();
    GLuint arrayId() const { return m_vao.objectId(); }
    GLuint verticesId() const { return m_vertices.bufferId(); }
    GLuint coordinatesId() const { return m_coordinates.bufferId(); }

private:
    QOpenGLVertexArrayObject m_vao;
    QOpenGLBuffer m_vertices;
    QOpenGLBuffer m_coordinates;
};

// A pass's program with its six-vertex array and the locations every pass
// draws with: made, bound and freed the same way by each pass that holds one.
class PassProgram
{
public:
    explicit PassProgram(const ProgramNames& names);
    ~PassProgram();
    PassProgram(const PassProgram&) = delete;
    PassProgram& operator=(const PassProgram&) = delete;

    // buildProgram() from two resource files.
    bool build(const char* name, const QString& vertexFile, const QString& fragmentFile,
        const QByteArray& fragmentDefines = QByteArray());
    // The two attributes and the matrix uniform.
    bool resolveLocations();
    // buildVertexArray() with `textureCoordinates` (12 floats).
    bool buildVertexArray(Functions* gl, const float* textureCoordinates, bool blur);

    QOpenGLShaderProgram* program() const { return m_program.get(); }
    // Binds the program and its array, and sets the matrix.
    void bind(const QMatrix4x4& matrix);
    void release();
    void destroy();

private:
    ProgramNames m_names;
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    Quad m_quad;
    int m_vertexPos = -1;
    int m_textCoordinate = -1;
    int m_matrix = -1;
};

} // namespace GLSupport

} // namespace Emulsa
