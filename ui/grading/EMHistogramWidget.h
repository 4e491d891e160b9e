#pragma once

#include <QWidget>

#include <array>

namespace Emulsa {

// The levels histogram, 358 x 119 pixels: 512 bins per channel, drawn as three
// additive filled curves, with the counts of the two end bins (clipped
// pixels) as short bars at the sides.
class EMHistogramWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kBins = 512;
    using Channel = std::array<quint32, kBins>;

    explicit EMHistogramWidget(QWidget* parent = nullptr);

    // Copies the three channels (red, green, blue) of a measured histogram;
    // shorter input leaves the remaining bins at zero.
    void setCounts(const quint32* red, const quint32* green, const quint32* blue, int bins);
    const Channel& counts(int channel) const { return m_counts[channel]; }

    // The height in pixels of a clipping bar for an end bin's count.
    static int clipBarHeight(quint32 count);

public slots:
    void needLevelsUpdate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<Channel, 3> m_counts {};
};

} // namespace Emulsa
