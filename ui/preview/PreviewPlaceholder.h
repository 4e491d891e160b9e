#pragma once

#include <QImage>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions_4_0_Core>
#include <QOpenGLVertexArrayObject>
#include <QString>

#include <memory>

class QOpenGLShaderProgram;

namespace Emulsa {

// The pictures the preview shows instead of a clip: "placeholderEM.bin" when
// there is no clip and "placeholderIF.bin" when the clip cannot be read, both
// TIFF images from the installed resources. A picture that cannot be read is
// replaced by one drawn here, with a warning, so that the preview always
// shows something.
class PreviewPlaceholder
{
public:
    enum Kind
    {
        NoClip = 0,
        InvalidClip = 1
    };

    explicit PreviewPlaceholder(QOpenGLFunctions_4_0_Core* gl);
    ~PreviewPlaceholder(); // the context must be current

    PreviewPlaceholder(const PreviewPlaceholder&) = delete;
    PreviewPlaceholder& operator=(const PreviewPlaceholder&) = delete;

    // Builds the program, the vertex array and both textures; `resources` is
    // the folder holding the two files. False (with the reason in error())
    // when the program or vertex array cannot be made.
    bool initialize(const QString& resources);
    // Draws one picture into the bound framebuffer, in the current viewport.
    void draw(Kind kind);

    const QString& error() const { return m_error; }
    // Whether a picture came from its file (false: the drawn stand-in).
    bool loadedFromFile(Kind kind) const { return m_fromFile[kind]; }

    // The stand-in for a picture that cannot be read.
    static QImage standIn(Kind kind);

private:
    GLuint uploadTexture(const QImage& image);

    QOpenGLFunctions_4_0_Core* m_gl;
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    QOpenGLVertexArrayObject m_vao;
    QOpenGLBuffer m_positions;
    QOpenGLBuffer m_coordinates;
    GLuint m_textures[2] = { 0, 0 };
    bool m_fromFile[2] = { false, false };
    int m_sampler = -1;
    QString m_error;
};

} // namespace Emulsa
