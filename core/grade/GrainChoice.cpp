#include "core/grade/GrainChoice.h"

#include "core/Grain.h"
#include "core/GrainLibrary.h"

#include <QDebug>

namespace Emulsa {

bool GrainChoice::isChosenFor(const QString& stock, double scale, unsigned int width, unsigned int height) const
{
    return m_grain && stock == m_stock && scale == m_scale && width == m_outputSize[0] && height == m_outputSize[1];
}

bool GrainChoice::choose(const QString& stock, double scale, unsigned int width, unsigned int height, Change* change)
{
    if (width == 0 || height == 0)
        return false;
    ++m_choices;
    GrainLibrary* library = GrainLibrary::instance();
    Grain* grain = library->selectGrain(stock, width, height, scale);
    if (!grain || !grain->isValid()) {
        qWarning().noquote() << "ShaderProcessor: No grain for stock" << stock << "at scale" << scale << "-"
                             << library->lastError();
        return false;
    }
    // Grain objects are shared between processors: take this stock's curve
    // from the library rather than the one last attached to the object.
    const GrainCurve* curve = library->getGrainCurve(stock);
    if (!curve) {
        qWarning().noquote() << "ShaderProcessor: No grain curve for stock" << stock;
        return false;
    }
    // The library keeps one grain object per picture: the same object holds
    // the same map.
    change->map = grain != m_grain;
    change->curve = curve != m_curve;
    m_grain = grain;
    m_curve = curve;
    m_size = { { int(grain->width()), int(grain->height()) } };
    m_stock = stock;
    m_scale = scale;
    m_outputSize = { { width, height } };
    return true;
}

} // namespace Emulsa
