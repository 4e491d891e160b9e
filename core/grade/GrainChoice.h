#pragma once

#include <QString>

#include <array>

namespace Emulsa {

class Grain;
struct GrainCurve;

// The grain a grade uses: the grain picture the grain library picks for the
// stock, the gauge's scale and the output size, and the stock's grain curve,
// with what they were picked for so that a grade asking for the same grain
// again does not pick again. The objects belong to the grain library. No
// locking here: the processor holds its data mutex around every call.
class GrainChoice
{
public:
    // What a choice changed, for the textures to upload.
    struct Change
    {
        bool map = false;
        bool curve = false;
    };

    // Whether the grain held was picked for these.
    bool isChosenFor(const QString& stock, double scale, unsigned int width, unsigned int height) const;
    // Picks the grain for an output of width x height; false, the grain held
    // kept, when the library has none or no curve for the stock (logged).
    bool choose(const QString& stock, double scale, unsigned int width, unsigned int height, Change* change);

    const Grain* grain() const { return m_grain; }
    const GrainCurve* curve() const { return m_curve; }
    // The grain picture's size (the program's uniGrainSize).
    const std::array<int, 2>& size() const { return m_size; }
    // How many times a grain was picked so far.
    int choices() const { return m_choices; }

private:
    const Grain* m_grain = nullptr;
    const GrainCurve* m_curve = nullptr;
    std::array<int, 2> m_size { { 0, 0 } };
    QString m_stock;
    double m_scale = 0.0;
    std::array<unsigned int, 2> m_outputSize { { 0, 0 } };
    int m_choices = 0;
};

} // namespace Emulsa
