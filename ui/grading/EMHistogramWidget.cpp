#include "ui/grading/EMHistogramWidget.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace Emulsa {

EMHistogramWidget::EMHistogramWidget(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(358, 119);
}

void EMHistogramWidget::setCounts(const quint32* red, const quint32* green, const quint32* blue, int bins)
{
    const quint32* sources[] = { red, green, blue };
    const int n = std::clamp(bins, 0, kBins);
    for (int c = 0; c < 3; ++c) {
        m_counts[c].fill(0);
        if (sources[c])
            std::copy(sources[c], sources[c] + n, m_counts[c].begin());
    }
}

int EMHistogramWidget::clipBarHeight(quint32 count)
{
    return int(std::min<quint32>(count / 20 / 180, 118));
}

void EMHistogramWidget::needLevelsUpdate()
{
    update();
}

void EMHistogramWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(28, 28, 28));
    painter.setRenderHint(QPainter::Antialiasing);
    const int h = height();
    const double w = (width() - 32) / double(kBins);
    const QColor colours[] = { Qt::red, Qt::green, Qt::blue };
    for (int c = 0; c < 3; ++c) {
        const Channel& bins = m_counts[c];
        painter.setCompositionMode(QPainter::CompositionMode_Plus);
        painter.setOpacity(0.5);
        painter.setPen(colours[c]);
        painter.setBrush(colours[c]);
        QPainterPath path(QPointF(15, h + 4));
        path.lineTo(w * kBins + 16, h + 4);
        for (int i = kBins - 3; i >= 2; --i) {
            const double top = std::min<double>(bins[i] / 180.0, bins[i] / 180 >= 118 ? 117 : bins[i] / 180.0);
            path.lineTo(i * w + 16, h - top - 1);
        }
        path.lineTo(15, h);
        path.closeSubpath();
        painter.drawPath(path);

        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(1.0);
        painter.setPen(Qt::NoPen);
        const int low = clipBarHeight(bins[0]);
        const int high = clipBarHeight(bins[kBins - 1]);
        if (low > 0)
            painter.fillRect(QRect(4 * c + 2, h - low, 3, low), colours[c]);
        if (high > 0)
            painter.fillRect(QRect(width() - 17 + 4 * c + 3, h - high, 3, high), colours[c]);
    }
}

} // namespace Emulsa
