#include "ui/preview/PreviewPlaceholder.h"

#include <QDebug>
#include <QOpenGLShaderProgram>
#include <QPainter>

#include <tuple>

namespace Emulsa {

namespace {

// The placeholder texture sits on a unit the grading programs leave alone.
constexpr int placeholderUnit = 30;

const float positions[12] = { -1.f, 1.f, -1.f, -1.f, 1.f, -1.f, -1.f, 1.f, 1.f, -1.f, 1.f, 1.f };
const float coordinates[12] = { 0.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 1.f, 1.f };

const char* const fileNames[2] = { "placeholderEM.bin", "placeholderIF.bin" };

} // namespace

PreviewPlaceholder::PreviewPlaceholder(QOpenGLFunctions_4_0_Core* gl)
    : m_gl(gl)
{
}

PreviewPlaceholder::~PreviewPlaceholder()
{
    for (GLuint& texture : m_textures) {
        if (texture)
            m_gl->glDeleteTextures(1, &texture);
        texture = 0;
    }
    m_vao.destroy();
    m_positions.destroy();
    m_coordinates.destroy();
}

QImage PreviewPlaceholder::standIn(Kind kind)
{
    QImage image(640, 360, QImage::Format_RGB32);
    image.fill(kind == NoClip ? QColor(28, 28, 30) : QColor(60, 22, 22));
    QPainter painter(&image);
    painter.setPen(QColor(200, 200, 200));
    QFont font = painter.font();
    font.setPixelSize(28);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter,
        kind == NoClip ? QStringLiteral("No clip") : QStringLiteral("This clip cannot be read"));
    return image;
}

GLuint PreviewPlaceholder::uploadTexture(const QImage& image)
{
    // OpenGL rows run bottom-up.
    const QImage pixels = image.convertToFormat(QImage::Format_RGBA8888).mirrored();
    GLuint texture = 0;
    m_gl->glGetError();
    m_gl->glGenTextures(1, &texture);
    m_gl->glBindTexture(GL_TEXTURE_2D, texture);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    m_gl->glTexImage2D(
        GL_TEXTURE_2D, 0, GL_RGBA8, pixels.width(), pixels.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.constBits());
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    const GLenum error = m_gl->glGetError();
    if (error != GL_NO_ERROR) {
        qWarning() << "PreviewPlaceholder: can't create placeholder texture, err:" << error;
        m_gl->glDeleteTextures(1, &texture);
        return 0;
    }
    return texture;
}

bool PreviewPlaceholder::initialize(const QString& resources)
{
    m_program = std::make_unique<QOpenGLShaderProgram>();
    if (!m_program->addShaderFromSourceFile(QOpenGLShader::Vertex, QStringLiteral(":/base.v.glsl"))
        || !m_program->addShaderFromSourceFile(QOpenGLShader::Fragment, QStringLiteral(":/base.f.glsl"))
        || !m_program->link()) {
        m_error = QStringLiteral("Error when building the placeholder program: ") + m_program->log();
        return false;
    }
    const int vertexPos = m_program->attributeLocation("inVertexPos");
    const int textCoordinate = m_program->attributeLocation("inTextCoordinate");
    m_sampler = m_program->uniformLocation("uniPlaceHolder");
    if (vertexPos < 0 || textCoordinate < 0 || m_sampler < 0) {
        m_error = QStringLiteral("unable to resolve the placeholder shader locations");
        return false;
    }
    m_program->bind();
    m_program->setUniformValue(m_sampler, placeholderUnit);

    if (!m_vao.create()) {
        m_error = QStringLiteral("Could not instantiate placeholder VAO");
        return false;
    }
    m_vao.bind();
    for (auto [buffer, data, location] : { std::tuple { &m_positions, positions, vertexPos },
             std::tuple { &m_coordinates, coordinates, textCoordinate } }) {
        buffer->setUsagePattern(QOpenGLBuffer::StaticDraw);
        if (!buffer->create() || !buffer->bind()) {
            m_error = QStringLiteral("Could not instantiate placeholder vertex buffer");
            m_vao.release();
            m_program->release();
            return false;
        }
        buffer->allocate(data, int(sizeof(float) * 12));
        m_program->enableAttributeArray(location);
        m_program->setAttributeBuffer(location, GL_FLOAT, 0, 2);
        buffer->release();
    }
    m_vao.release();
    m_program->release();

    for (int kind : { NoClip, InvalidClip }) {
        const QString path = resources + QLatin1String(fileNames[kind]);
        // The files are TIFF images under another extension.
        QImage image(path, "TIFF");
        m_fromFile[kind] = !image.isNull();
        if (image.isNull()) {
            qWarning().noquote() << "PreviewPlaceholder: can't read the placeholder image" << path
                                 << "- showing a drawn one";
            image = standIn(Kind(kind));
        }
        m_textures[kind] = uploadTexture(image);
    }
    return true;
}

void PreviewPlaceholder::draw(Kind kind)
{
    if (!m_program)
        return;
    m_program->bind();
    m_vao.bind();
    m_gl->glActiveTexture(GL_TEXTURE0 + placeholderUnit);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_textures[kind]);
    m_gl->glDrawArrays(GL_TRIANGLES, 0, 6);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_vao.release();
    m_program->release();
    const GLenum error = m_gl->glGetError();
    if (error != GL_NO_ERROR)
        qWarning() << "PreviewPlaceholder: drawing the placeholder failed, err:" << error;
}

} // namespace Emulsa
