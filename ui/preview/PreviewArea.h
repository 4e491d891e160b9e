#pragma once

#include <QStackedWidget>

class QLabel;

namespace Emulsa {

class OpenGLPreview;

// The place of the preview in the grading tab: the preview window embedded
// in a container, replaced by a message when the preview cannot draw (no
// OpenGL 4.0 context), so that the rest of the application keeps working.
class PreviewArea : public QStackedWidget
{
    Q_OBJECT

public:
    // The area takes the preview window over.
    explicit PreviewArea(OpenGLPreview* preview, QWidget* parent = nullptr);

    OpenGLPreview* preview() const { return m_preview; }
    bool showsFailure() const { return currentIndex() == 1; }
    QString failureText() const;
    // The note over the picture while the clip's grade cannot be applied.
    bool showsGradeWarning() const;

private slots:
    void showFailure(const QString& message);
    void showGradeApplied(bool applied);

private:
    OpenGLPreview* m_preview;
    QLabel* m_message = nullptr;
    QLabel* m_gradeWarning = nullptr;
};

} // namespace Emulsa
