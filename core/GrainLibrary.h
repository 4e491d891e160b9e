#pragma once

#include "core/Grain.h"
#include "core/GrainCurve.h"
#include "core/GrainImage.h"

#include <QMutex>
#include <QString>
#include <map>
#include <memory>
#include <string>

namespace Emulsa {

class FilmLibrary;

// Grain maps, raw grain images and grain curves, each cached until exit:
//   grain objects by "<type>:<width>:<height>" (for example "CP35:1920:1080"),
//   raw images by type ("CP35", "CP16", "CP8"), curves by stock code.
// Every call is thread-safe (one lock over the caches); returned pointers stay
// valid for the library's lifetime.
class GrainLibrary
{
public:
    struct Selection
    {
        QString type;
        unsigned int width = 0;
        unsigned int height = 0;
    };

    static GrainLibrary* instance();

    // A library of its own reading through `films` (the singleton goes
    // through FilmLibrary::instance()).
    explicit GrainLibrary(const FilmLibrary* films);
    ~GrainLibrary();
    GrainLibrary(const GrainLibrary&) = delete;
    GrainLibrary& operator=(const GrainLibrary&) = delete;

    // Which grain a W x H output needs at grain scale factor f:
    // w = trunc(W * f), h = trunc(H * f); from w >= 5501 "CP8" at a quarter of
    // that, from w >= 2801 "CP16" at half, else "CP35" as it is.
    static Selection chooseGrain(unsigned int outputWidth, unsigned int outputHeight, double factor);
    // chooseGrain followed by getGrain.
    Grain* selectGrain(const QString& stock, unsigned int outputWidth, unsigned int outputHeight, double factor);

    // The grain map of `type` scaled to width w (its height follows the raw
    // image's aspect ratio; h only forms part of the cache key), with the
    // stock's curve attached. None when the raw image, the scaling or the
    // curve fails; the reason is in lastError(). A grain object that was
    // built stays cached even when its curve is missing.
    Grain* getGrain(const QString& type, const QString& stock, unsigned int w, unsigned int h);

    // The stock's grain curve (cached); none when the file is missing or
    // shorter than GrainCurve::kBytes.
    const GrainCurve* getGrainCurve(const QString& stock);
    // The raw grain image of a type (cached); none when it fails to load.
    const GrainImage* getRawGrain(const QString& type);

    // Text of the last grain or image failure.
    QString lastError() const;
    // How many scaled maps the library holds (each lives until exit).
    std::size_t grainCount() const;

private:
    const GrainCurve* curveLocked(const QString& stock);
    const GrainImage* rawLocked(const QString& type);
    void setError(const QString& message);

    const FilmLibrary* m_films;
    mutable QMutex m_mutex;
    QString m_lastError;
    std::map<std::string, std::unique_ptr<Grain>> m_grains;
    std::map<std::string, std::unique_ptr<GrainImage>> m_raws;
    std::map<std::string, std::unique_ptr<GrainCurve>> m_curves;
};

} // namespace Emulsa
