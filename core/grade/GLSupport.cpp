#include "core/grade/GLSupport.h"

#include <QDebug>
#include <QFile>
#include <QMatrix4x4>
#include <QOpenGLBuffer>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>

namespace Emulsa::GLSupport {

namespace {

// Two triangles covering the viewport.
const float kVertices[12] = { -1.f, -1.f, -1.f, 1.f, 1.f, 1.f, -1.f, -1.f, 1.f, 1.f, 1.f, -1.f };

} // namespace

QByteArray shaderSource(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray text = in.readAll();
    const QString folder = file.left(file.lastIndexOf(QLatin1Char('/')) + 1);
    QByteArray source;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.startsWith("#include \"") || !trimmed.endsWith('"')) {
            source += line + '\n';
            continue;
        }
        // One level deep: the shared parts include nothing themselves.
        QFile part(folder + QString::fromUtf8(trimmed.mid(10, trimmed.size() - 11)));
        if (!part.open(QIODevice::ReadOnly)) {
            qWarning().noquote() << "ShaderProcessor: no shader part" << part.fileName() << "for" << file;
            return QByteArray();
        }
        source += part.readAll() + '\n';
    }
    source.chop(1);
    return source;
}

bool buildProgram(std::unique_ptr<QOpenGLShaderProgram>& program, const char* name, const QString& vertexFile,
    const QString& fragmentFile, const char* positionName, const char* coordinateName,
    const QByteArray& fragmentDefines)
{
    program = std::make_unique<QOpenGLShaderProgram>();
    if (!program->create()) {
        qWarning().noquote() << "ShaderProcessor: Could not instantiate" << name << "shaders program";
        return false;
    }
    if (!program->addShaderFromSourceFile(QOpenGLShader::Vertex, vertexFile)) {
        qWarning().noquote() << "ShaderProcessor: Error when compiling" << name << "vertex shader:" << program->log();
        return false;
    }
    // Defines go right after the #version line, which must come first.
    QByteArray source = shaderSource(fragmentFile);
    const int lineEnd = source.indexOf('\n');
    source.insert(lineEnd + 1, fragmentDefines);
    if (lineEnd < 0 || !program->addShaderFromSourceCode(QOpenGLShader::Fragment, source)) {
        qWarning().noquote() << "ShaderProcessor: Error when compiling" << name << "fragment shader:" << program->log();
        return false;
    }
    program->bindAttributeLocation(positionName, 0);
    program->bindAttributeLocation(coordinateName, 1);
    if (!program->link()) {
        qWarning().noquote() << "ShaderProcessor: Error when linking" << name << "shader:" << program->log();
        return false;
    }
    return true;
}

bool resolveAttribute(QOpenGLShaderProgram* program, const char* name, int* location)
{
    *location = program->attributeLocation(name);
    if (*location < 0)
        qWarning().noquote() << "ShaderProcessor: unable to resolve" << QStringLiteral("\"%1\"").arg(name)
                             << "shader location";
    return *location >= 0;
}

bool resolveUniform(QOpenGLShaderProgram* program, const char* name, int* location, bool required)
{
    *location = program->uniformLocation(name);
    if (!required)
        return true;
    if (*location < 0)
        qWarning().noquote() << "ShaderProcessor: unable to resolve" << QStringLiteral("\"%1\"").arg(name)
                             << "shader location";
    return *location >= 0;
}

bool resolveSubroutines(Functions* gl, GLuint program, const char* const* names, int count, const char* uniform,
    GLuint* indices, GLint* locations)
{
    gl->glGetProgramStageiv(program, GL_FRAGMENT_SHADER, GL_ACTIVE_SUBROUTINE_UNIFORM_LOCATIONS, locations);
    logPendingErrors(gl);
    bool found = true;
    for (int i = 0; i < count; ++i) {
        indices[i] = gl->glGetSubroutineIndex(program, GL_FRAGMENT_SHADER, names[i]);
        logPendingErrors(gl);
        found = found && indices[i] != GL_INVALID_INDEX;
    }
    const GLint location = gl->glGetSubroutineUniformLocation(program, GL_FRAGMENT_SHADER, uniform);
    logPendingErrors(gl);
    return found && location >= 0 && location < *locations && *locations <= kMaxSubroutineLocations;
}

void useSubroutine(Functions* gl, GLuint index, GLint locations)
{
    // resolveSubroutines() refuses programs with more locations than this.
    GLuint indices[kMaxSubroutineLocations];
    for (GLint i = 0; i < locations; ++i)
        indices[i] = index;
    gl->glUniformSubroutinesuiv(GL_FRAGMENT_SHADER, locations, indices);
}

void logPendingErrors(Functions* gl)
{
    for (GLenum error = gl->glGetError(); error != GL_NO_ERROR; error = gl->glGetError())
        qWarning().noquote() << "ShaderProcessor: OpenGL error: " << error;
}

void logGpuInfo(Functions* gl)
{
    GLint maxTextureSize = 0;
    GLint maxUnits = 0;
    GLint maxBufferSize = 0;
    gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    gl->glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &maxUnits);
    gl->glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &maxBufferSize);
    auto text = [gl](GLenum name) {
        const GLubyte* value = gl->glGetString(name);
        return value ? QString::fromLatin1(reinterpret_cast<const char*>(value)) : QString();
    };
    qDebug().noquote() << "ShaderProcessor: -------- GENERAL GPU INFO ----------";
    qDebug().noquote() << "ShaderProcessor: \tGL_VENDOR   " << text(GL_VENDOR);
    qDebug().noquote() << "ShaderProcessor: \tGL_RENDERER " << text(GL_RENDERER);
    qDebug().noquote() << "ShaderProcessor: \tGL_VERSION  " << text(GL_VERSION);
    qDebug().noquote() << "ShaderProcessor: \tGL_MAX_TEXTURE_SIZE: " << maxTextureSize;
    qDebug().noquote() << "ShaderProcessor: GL_MAX_TEXTURE_IMAGE_UNITS:" << maxUnits;
    qDebug().noquote() << "ShaderProcessor: \tGL_MAX_TEXTURE_BUFFER_SIZE:" << maxBufferSize;
}

bool buildVertexArray(Functions* gl, QOpenGLVertexArrayObject& vao, QOpenGLBuffer& vertices, QOpenGLBuffer& coordinates,
    const float* textureCoordinates, bool blur)
{
    if (!vao.create()) {
        qWarning().noquote() << (blur ? "ShaderProcessor: Could not instantiate blur VAO"
                                      : "ShaderProcessor: Could not instantiate main VAO");
        return false;
    }
    vao.bind();
    // A static buffer feeding the two-component float attribute `index`.
    auto attribute = [&](QOpenGLBuffer& buffer, GLuint index, const void* data, int bytes, const char* what) {
        buffer = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
        if (!buffer.create()) {
            qWarning().noquote() << QStringLiteral("ShaderProcessor: Could not instantiate %1 %2 VBO")
                                        .arg(QLatin1String(blur ? "blur" : "main"), QLatin1String(what));
            vao.release();
            return false;
        }
        buffer.setUsagePattern(QOpenGLBuffer::StaticDraw);
        buffer.bind();
        buffer.allocate(data, bytes);
        gl->glVertexAttribPointer(index, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        gl->glEnableVertexAttribArray(index);
        return true;
    };
    if (!attribute(vertices, 0, kVertices, sizeof(kVertices), "vertice")
        || !attribute(coordinates, 1, textureCoordinates, int(12 * sizeof(float)), "texture"))
        return false;
    vao.release();
    coordinates.release();
    return true;
}

GLuint createTexture(Functions* gl, GLenum target, GLenum filter)
{
    GLuint texture = 0;
    gl->glGenTextures(1, &texture);
    if (texture == 0)
        return 0;
    gl->glBindTexture(target, texture);
    gl->glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GLint(filter));
    gl->glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GLint(filter));
    gl->glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_1D_ARRAY)
        gl->glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (target == GL_TEXTURE_3D)
        gl->glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
    gl->glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
    return texture;
}

GLenum attachRenderableTexture(
    Functions* gl, const std::vector<GLenum>& formats, GLuint fbo, GLuint texture, GLsizei width, GLsizei height)
{
    GLint drawFbo = 0;
    GLint readFbo = 0;
    gl->glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
    gl->glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    GLenum chosen = 0;
    for (const GLenum format : formats) {
        for (int i = 0; i < 16 && gl->glGetError() != GL_NO_ERROR; ++i) { }
        gl->glBindTexture(GL_TEXTURE_2D, texture);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, GL_RGBA, GL_FLOAT, nullptr);
        const GLenum error = gl->glGetError();
        GLenum status = 0;
        if (error == GL_NO_ERROR) {
            gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
            status = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER);
            if (status == GL_FRAMEBUFFER_COMPLETE) {
                chosen = format;
                break;
            }
        }
        qDebug().noquote() << "ShaderProcessor: render target format" << Qt::hex << Qt::showbase << format
                           << "refused (error" << error << ", framebuffer status" << status << "), trying the next";
    }
    if (!chosen)
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFbo));
    gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFbo));
    return chosen;
}

void deleteFramebuffer(Functions* gl, GLuint* fbo)
{
    if (*fbo == 0)
        return;
    gl->glDeleteFramebuffers(1, fbo);
    const GLenum error = gl->glGetError();
    if (error != GL_NO_ERROR)
        qWarning().noquote() << "ShaderProcessor: Can't delete FBO" << error;
    *fbo = 0;
}

PassProgram::PassProgram(const ProgramNames& names)
    : m_names(names)
{
}

PassProgram::~PassProgram() = default;

bool PassProgram::build(
    const char* name, const QString& vertexFile, const QString& fragmentFile, const QByteArray& fragmentDefines)
{
    return buildProgram(
        m_program, name, vertexFile, fragmentFile, m_names.position, m_names.coordinate, fragmentDefines);
}

bool PassProgram::resolveLocations()
{
    QOpenGLShaderProgram* p = m_program.get();
    return resolveAttribute(p, m_names.position, &m_vertexPos)
        && resolveAttribute(p, m_names.coordinate, &m_textCoordinate) && resolveUniform(p, m_names.matrix, &m_matrix);
}

void Quad::destroy()
{
    m_vao.destroy();
    m_vertices.destroy();
    m_coordinates.destroy();
}

bool PassProgram::buildVertexArray(Functions* gl, const float* textureCoordinates, bool blur)
{
    return m_quad.build(gl, textureCoordinates, blur);
}

void PassProgram::bind(const QMatrix4x4& matrix)
{
    m_program->bind();
    m_quad.bind();
    m_program->setUniformValue(m_matrix, matrix);
}

void PassProgram::release()
{
    m_quad.release();
    m_program->release();
}

void PassProgram::destroy()
{
    m_quad.destroy();
    m_program.reset();
}

} // namespace Emulsa::GLSupport
