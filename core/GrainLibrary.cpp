#include "core/GrainLibrary.h"

#include "core/FilmLibrary.h"

#include <QDebug>
#include <QFileInfo>
#include <QMutexLocker>
#include <cmath>

namespace Emulsa {

namespace {

std::string grainKey(const QString& type, unsigned int w, unsigned int h)
{
    return type.toStdString() + ':' + std::to_string(w) + ':' + std::to_string(h);
}

// The entry of `cache` under `name`; when there is none, the one `load`
// makes, kept unless it is null.
template<typename T, typename Load>
const T* cachedOrLoaded(std::map<std::string, std::unique_ptr<T>>& cache, const QString& name, Load load)
{
    const std::string key = name.toStdString();
    const auto cached = cache.find(key);
    if (cached != cache.end())
        return cached->second.get();
    std::unique_ptr<T> loaded = load();
    const T* result = loaded.get();
    if (loaded)
        cache.emplace(key, std::move(loaded));
    return result;
}

} // namespace

GrainLibrary* GrainLibrary::instance()
{
    static GrainLibrary library(FilmLibrary::instance());
    return &library;
}

GrainLibrary::GrainLibrary(const FilmLibrary* films)
    : m_films(films ? films : FilmLibrary::instance())
{
}

GrainLibrary::~GrainLibrary() = default;

GrainLibrary::Selection GrainLibrary::chooseGrain(unsigned int outputWidth, unsigned int outputHeight, double factor)
{
    Selection selection;
    const double w = std::trunc(double(outputWidth) * factor);
    const double h = std::trunc(double(outputHeight) * factor);
    // Negative or absurd factors give no grain rather than a wrapped size.
    auto toSize = [](double value) { return value > 0.0 && value < 4294967295.0 ? unsigned(value) : 0u; };
    selection.width = toSize(w);
    selection.height = toSize(h);
    if (selection.width >= 5501) {
        selection.type = QStringLiteral("CP8");
        selection.width /= 4;
        selection.height /= 4;
    } else if (selection.width >= 2801) {
        selection.type = QStringLiteral("CP16");
        selection.width /= 2;
        selection.height /= 2;
    } else {
        selection.type = QStringLiteral("CP35");
    }
    return selection;
}

Grain* GrainLibrary::selectGrain(
    const QString& stock, unsigned int outputWidth, unsigned int outputHeight, double factor)
{
    const Selection selection = chooseGrain(outputWidth, outputHeight, factor);
    return getGrain(selection.type, stock, selection.width, selection.height);
}

Grain* GrainLibrary::getGrain(const QString& type, const QString& stock, unsigned int w, unsigned int h)
{
    QMutexLocker lock(&m_mutex);
    const std::string key = grainKey(type, w, h);
    const auto cached = m_grains.find(key);
    if (cached != m_grains.end()) {
        const GrainCurve* curve = curveLocked(stock);
        if (!curve)
            return nullptr;
        cached->second->setCurve(curve);
        return cached->second.get();
    }

    const GrainImage* raw = rawLocked(type);
    if (!raw)
        return nullptr;
    if (w == 0) {
        setError(QString::fromLatin1(GrainImage::kInvalidDimensions));
        return nullptr;
    }
    // The map keeps the raw image's aspect ratio; h only names the cache entry.
    const double aspect = double(raw->width()) / double(raw->height());
    const double targetHeight = std::ceil(double(w) / aspect);
    if (!(targetHeight >= 1.0 && targetHeight < 2147483647.0)) {
        setError(QString::fromLatin1(GrainImage::kInvalidDimensions));
        return nullptr;
    }
    QString error;
    std::unique_ptr<GrainImage> scaled = GrainImage::scaleForGrain(*raw, w, unsigned(targetHeight), &error);
    if (!scaled) {
        setError(error);
        return nullptr;
    }
    auto grain = std::make_unique<Grain>(raw, std::move(scaled));
    if (!grain->isValid()) {
        setError(QString::fromLatin1(GrainImage::kAllocFailed));
        return nullptr;
    }
    Grain* result = grain.get();
    m_grains.emplace(key, std::move(grain));

    const GrainCurve* curve = curveLocked(stock);
    if (!curve)
        return nullptr;
    result->setCurve(curve);
    return result;
}

const GrainCurve* GrainLibrary::getGrainCurve(const QString& stock)
{
    QMutexLocker lock(&m_mutex);
    return curveLocked(stock);
}

const GrainImage* GrainLibrary::getRawGrain(const QString& type)
{
    QMutexLocker lock(&m_mutex);
    return rawLocked(type);
}

std::size_t GrainLibrary::grainCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_grains.size();
}

QString GrainLibrary::lastError() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastError;
}

const GrainCurve* GrainLibrary::curveLocked(const QString& stock)
{
    return cachedOrLoaded(m_curves, stock, [this, &stock]() -> std::unique_ptr<GrainCurve> {
        const QByteArray bytes = m_films->loadGrainFile(stock);
        if (bytes.isEmpty()) {
            qWarning().noquote() << "GrainLibrary: no grain curve for stock" << stock;
            return nullptr;
        }
        std::unique_ptr<GrainCurve> curve = GrainCurve::fromBytes(bytes);
        if (!curve)
            qWarning().noquote() << "GrainLibrary: grain curve of stock" << stock << "holds" << bytes.size()
                                 << "bytes, needs" << GrainCurve::kBytes;
        return curve;
    });
}

const GrainImage* GrainLibrary::rawLocked(const QString& type)
{
    return cachedOrLoaded(m_raws, type, [this, &type]() -> std::unique_ptr<GrainImage> {
        const QString path = m_films->rawGrainPath(type);
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            qWarning().noquote() << "GrainLibrary: no raw grain image for" << type;
            return nullptr;
        }
        QString error;
        std::unique_ptr<GrainImage> image = GrainImage::load(path, &error);
        if (!image)
            setError(error);
        return image;
    });
}

void GrainLibrary::setError(const QString& message)
{
    m_lastError = message;
    qWarning().noquote() << "GrainLibrary:" << message;
}

} // namespace Emulsa
