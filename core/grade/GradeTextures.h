#pragma once

#include "core/GradeTables.h"

#include <QOpenGLFunctions_4_0_Core>

#include <array>
#include <vector>

namespace Emulsa {

class Grain;
struct GrainCurve;

// The grade's textures and which of them are stale: the four grade tables
// (exposure, lift/gamma/gain with the wheels composed into the tone table,
// levels), the stock's 3D table and the grain map and curve, with a count of
// the uploads of each. The grade tables say themselves what changed
// (GradeTables' flags); the film textures are flagged here. No locking here:
// the processor holds its data mutex around every call but bind().
class GradeTextures
{
public:
    // Upload flags: the four grade tables (GradeTables' flags) and the film data.
    enum Upload : unsigned
    {
        ExposureUpload = GradeTables::ExposureTable,
        LiftGammaGainUpload = GradeTables::LiftGammaGainTable,
        WheelsUpload = GradeTables::WheelsTable,
        LevelsUpload = GradeTables::LevelsTable,
        GrainMapUpload = 0x10,
        GrainCurveUpload = 0x20,
        StockTableUpload = 0x40,
        FilmUploads = GrainMapUpload | GrainCurveUpload | StockTableUpload,
        AllUploads = 0x7F
    };

    // What the film textures are made from.
    struct Film
    {
        const Grain* grain = nullptr;
        const GrainCurve* curve = nullptr;
        std::array<int, 2> grainSize { { 0, 0 } };
        // Null: no stock yet (the stock texture holds an identity table).
        const float* stockTable = nullptr;
    };

    void setFunctions(QOpenGLFunctions_4_0_Core* gl) { m_gl = gl; }

    // Creates and fills every texture (the tables' bypass copies when
    // `bypass`); false when one cannot be made or there is no grain.
    bool create(GradeTables& tables, const Film& film, bool bypass);
    // Uploads what is stale. `foldLevels`: the levels go into the tone table.
    void upload(GradeTables& tables, const Film& film, bool bypass, bool foldLevels);
    // Binds the textures on their units (1 to 5 and 8), leaving unit 0 active.
    void bind();

    // Flags film textures (Upload values) for the next upload.
    void markStale(unsigned uploads) { m_staleFilm |= uploads; }
    unsigned staleFilm() const { return m_staleFilm; }
    // How many times a texture was uploaded (one Upload flag).
    unsigned uploadCount(Upload texture) const;

    void destroy();

private:
    // Stores an interleaved (R, G, B) table as a one-channel 1D array texture,
    // one layer per channel (`allocate`: storage made, otherwise replaced).
    void uploadChannelTable(const float* rgb, int entries, bool allocate);
    // Composes the tone table (lift/gamma/gain, wheels, the levels when
    // folded) into the wheels texture, allocating its storage when asked.
    void uploadTone(const GradeTables& tables, bool bypass, bool foldLevels, bool allocate = false);
    void count(Upload texture);

    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    GLuint m_grainMap = 0;
    GLuint m_grainCurve = 0;
    GLuint m_stock = 0;
    GLuint m_levels = 0;
    GLuint m_exposure = 0;
    // The tone table: lift/gamma/gain, the wheels, the levels when folded.
    GLuint m_tone = 0;
    std::array<int, 2> m_grainMapSize { { 0, 0 } };
    unsigned m_staleFilm = FilmUploads;
    bool m_holdBypass = false;
    bool m_toneHoldsLevels = false;
    GradeTables::RgbTable m_toneTable {};
    std::vector<float> m_channelScratch;
    std::array<unsigned, 7> m_uploadCounts {};
};

} // namespace Emulsa
