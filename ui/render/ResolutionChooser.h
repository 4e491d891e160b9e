#pragma once

#include <QDialog>
#include <QSize>

class QSpinBox;

namespace Emulsa {

// The "Custom Size" dialog of the render settings: two spin boxes for the
// width and height of the output frame (0 to 9999, 1920 x 1080 at first),
// "Apply" accepts and "Cancel" rejects.
class ResolutionChooser : public QDialog
{
    Q_OBJECT

public:
    explicit ResolutionChooser(QWidget* parent = nullptr);

    // The pair (width, height) shown by the spin boxes.
    QSize resolution() const;
    void setResolution(const QSize& size);

    QSpinBox* widthBox() const { return m_width; }
    QSpinBox* heightBox() const { return m_height; }

private:
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
};

} // namespace Emulsa
