#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QLabel;

namespace Emulsa {

class OpenGLPreview;

// The preview's zoom controls: "Fit", "100%" and "200%" buttons and a label
// with the zoom shown ("Fit" or "150 %"). The buttons set the preview's zoom
// factor; the label and the checked button follow the preview's zoom, however
// it changed (the wheel, a double-click).
class PreviewZoomBar : public QWidget
{
    Q_OBJECT

public:
    enum Preset
    {
        Fit,
        Actual,
        Double
    };

    explicit PreviewZoomBar(QWidget* parent = nullptr);

    // The preview to control; null leaves the bar disabled.
    void setPreview(OpenGLPreview* preview);
    OpenGLPreview* preview() const { return m_preview; }

    QAbstractButton* button(Preset preset) const { return m_buttons[preset]; }
    QString zoomText() const;
    // The label's text for a zoom factor (0 for Fit).
    static QString textFor(double factor);
    // The factor a button sets.
    static double factorOf(Preset preset);

private:
    void showZoom(double factor);

    QPointer<OpenGLPreview> m_preview;
    QMetaObject::Connection m_connection;
    QAbstractButton* m_buttons[3] = { nullptr, nullptr, nullptr };
    QLabel* m_label = nullptr;
};

} // namespace Emulsa
