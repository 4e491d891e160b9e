#include "ui/preview/PreviewZoomBar.h"

#include "ui/preview/OpenGLPreview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <cmath>

namespace Emulsa {

PreviewZoomBar::PreviewZoomBar(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const QString names[] = { tr("Fit"), tr("100%"), tr("200%") };
    const QString tips[]
        = { tr("Show the whole picture"), tr("One picture pixel per screen pixel"), tr("Twice the picture's size") };
    for (Preset preset : { Fit, Actual, Double }) {
        auto* button = new QToolButton(this);
        button->setText(names[preset]);
        button->setToolTip(tips[preset]);
        button->setCheckable(true);
        // The preview's zoom decides which button shows checked.
        button->setAutoExclusive(false);
        connect(button, &QToolButton::clicked, this, [this, preset] {
            if (m_preview)
                m_preview->setZoomFactor(factorOf(preset));
            // A click on the checked button leaves it checked.
            showZoom(m_preview ? m_preview->zoomFactor() : 0.0);
        });
        layout->addWidget(button);
        m_buttons[preset] = button;
    }
    m_label = new QLabel(this);
    m_label->setMinimumWidth(m_label->fontMetrics().horizontalAdvance(QStringLiteral("8888 %")));
    m_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_label);
    layout->addStretch(1);
    setPreview(nullptr);
}

double PreviewZoomBar::factorOf(Preset preset)
{
    switch (preset) {
    case Fit:
        return 0.0;
    case Actual:
        return 1.0;
    case Double:
        return 2.0;
    }
    return 0.0;
}

QString PreviewZoomBar::textFor(double factor)
{
    if (!(factor > 0.0))
        return tr("Fit");
    return tr("%1 %").arg(std::lround(factor * 100.0));
}

QString PreviewZoomBar::zoomText() const
{
    return m_label->text();
}

void PreviewZoomBar::setPreview(OpenGLPreview* preview)
{
    disconnect(m_connection);
    m_preview = preview;
    if (preview)
        m_connection = connect(preview, &OpenGLPreview::zoomChanged, this, &PreviewZoomBar::showZoom);
    setEnabled(preview != nullptr);
    showZoom(preview ? preview->zoomFactor() : 0.0);
}

void PreviewZoomBar::showZoom(double factor)
{
    m_label->setText(textFor(factor));
    for (Preset preset : { Fit, Actual, Double }) {
        const double presetFactor = factorOf(preset);
        const bool current = presetFactor > 0.0 ? std::abs(factor - presetFactor) < 1e-9 : !(factor > 0.0);
        m_buttons[preset]->setChecked(current);
    }
}

} // namespace Emulsa
