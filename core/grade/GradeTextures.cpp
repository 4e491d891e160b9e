#include "core/grade/GradeTextures.h"

#include "core/Grain.h"
#include "core/GrainCurve.h"
#include "core/StockTable.h"
#include "core/grade/GLSupport.h"

namespace Emulsa {

namespace {

// Index of an upload flag in the counters.
int uploadSlot(unsigned flag)
{
    int slot = 0;
    while (flag > 1) {
        flag >>= 1;
        ++slot;
    }
    return slot;
}

} // namespace

unsigned GradeTextures::uploadCount(Upload texture) const
{
    return m_uploadCounts[size_t(uploadSlot(texture))];
}

void GradeTextures::count(Upload texture)
{
    ++m_uploadCounts[size_t(uploadSlot(texture))];
}

void GradeTextures::uploadChannelTable(const float* rgb, int entries, bool allocate)
{
    m_channelScratch.resize(size_t(entries) * 3);
    for (int channel = 0; channel < 3; ++channel)
        for (int i = 0; i < entries; ++i)
            m_channelScratch[size_t(channel) * entries + i] = rgb[3 * i + channel];
    if (allocate)
        m_gl->glTexImage2D(GL_TEXTURE_1D_ARRAY, 0, GL_R32F, entries, 3, 0, GL_RED, GL_FLOAT, m_channelScratch.data());
    else
        m_gl->glTexSubImage2D(GL_TEXTURE_1D_ARRAY, 0, 0, 0, entries, 3, GL_RED, GL_FLOAT, m_channelScratch.data());
}

void GradeTextures::uploadTone(const GradeTables& tables, bool bypass, bool foldLevels, bool allocate)
{
    GradeCurves::composeTone(bypass ? tables.bypassLiftGammaGain() : tables.liftGammaGain(),
        bypass ? tables.bypassWheels() : tables.wheels(), foldLevels ? &tables.levels() : nullptr, m_toneTable);
    m_gl->glActiveTexture(GL_TEXTURE8);
    m_gl->glBindTexture(GL_TEXTURE_1D_ARRAY, m_tone);
    uploadChannelTable(m_toneTable.data(), GradeTables::TableSize, allocate);
    m_toneHoldsLevels = foldLevels;
}

bool GradeTextures::create(GradeTables& tables, const Film& film, bool bypass)
{
    if (!film.grain || !film.grain->textureBytes() || !film.curve)
        return false;

    m_gl->glGetError();
    // Four-channel and one-channel float formats: the software rasteriser
    // samples those directly, three-channel ones through a slow generic path.
    // Per-channel tables are one-channel layers (a lookup reads one float, not
    // four); the stock table is RGB in RGBA, alpha never read. The grain map
    // keeps its bytes (a quarter of the memory of floats); the program scales
    // them.
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_grainMap = GLSupport::createTexture(m_gl, GL_TEXTURE_RECTANGLE, GL_LINEAR);
    m_gl->glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, film.grainSize[0], film.grainSize[1], 0, GL_RGBA,
        GL_UNSIGNED_BYTE, film.grain->textureBytes());
    m_grainMapSize = film.grainSize;

    m_gl->glActiveTexture(GL_TEXTURE2);
    m_grainCurve = GLSupport::createTexture(m_gl, GL_TEXTURE_1D_ARRAY, GL_LINEAR);
    uploadChannelTable(film.curve->values, GrainCurve::kEntries, true);

    m_gl->glActiveTexture(GL_TEXTURE3);
    m_stock = GLSupport::createTexture(m_gl, GL_TEXTURE_3D, GL_LINEAR);
    if (film.stockTable) {
        m_gl->glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA32F, StockTable::kSize, StockTable::kSize, StockTable::kSize, 0,
            GL_RGB, GL_FLOAT, film.stockTable);
    } else {
        // No stock applied yet: an identity table keeps the picture sensible.
        std::vector<float> identity(StockTable::kFloats);
        for (int b = 0; b < StockTable::kSize; ++b)
            for (int g = 0; g < StockTable::kSize; ++g)
                for (int r = 0; r < StockTable::kSize; ++r) {
                    float* entry = &identity[3 * ((size_t(b) * StockTable::kSize + g) * StockTable::kSize + r)];
                    entry[0] = float(r) / (StockTable::kSize - 1);
                    entry[1] = float(g) / (StockTable::kSize - 1);
                    entry[2] = float(b) / (StockTable::kSize - 1);
                }
        m_gl->glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA32F, StockTable::kSize, StockTable::kSize, StockTable::kSize, 0,
            GL_RGB, GL_FLOAT, identity.data());
    }

    m_gl->glActiveTexture(GL_TEXTURE4);
    m_levels = GLSupport::createTexture(m_gl, GL_TEXTURE_1D, GL_LINEAR);
    m_gl->glTexImage1D(GL_TEXTURE_1D, 0, GL_R32F, GradeTables::TableSize, 0, GL_RED, GL_FLOAT,
        (bypass ? tables.bypassLevels() : tables.levels()).data());
    m_gl->glActiveTexture(GL_TEXTURE5);
    m_exposure = GLSupport::createTexture(m_gl, GL_TEXTURE_1D_ARRAY, GL_LINEAR);
    uploadChannelTable((bypass ? tables.bypassExposure() : tables.exposure()).data(), GradeTables::TableSize, true);
    m_gl->glActiveTexture(GL_TEXTURE8);
    m_tone = GLSupport::createTexture(m_gl, GL_TEXTURE_1D_ARRAY, GL_LINEAR);
    uploadTone(tables, bypass, false, true);
    m_gl->glActiveTexture(GL_TEXTURE0);

    tables.clearDirty(GradeTables::AllTables);
    m_staleFilm = 0;
    m_holdBypass = bypass;

    const bool created = m_grainMap && m_grainCurve && m_stock && m_levels && m_exposure && m_tone;
    return created && m_gl->glGetError() == GL_NO_ERROR;
}

void GradeTextures::upload(GradeTables& tables, const Film& film, bool bypass, bool foldLevels)
{
    if (bypass != m_holdBypass) {
        tables.markDirty(GradeTables::AllTables);
        m_holdBypass = bypass;
    }
    const unsigned dirty = tables.dirtyTables();
    if (dirty & GradeTables::ExposureTable) {
        m_gl->glActiveTexture(GL_TEXTURE5);
        m_gl->glBindTexture(GL_TEXTURE_1D_ARRAY, m_exposure);
        uploadChannelTable(
            (bypass ? tables.bypassExposure() : tables.exposure()).data(), GradeTables::TableSize, false);
        count(ExposureUpload);
    }
    const unsigned toneTables = GradeTables::LiftGammaGainTable | GradeTables::WheelsTable;
    if ((dirty & toneTables) || foldLevels != m_toneHoldsLevels || (foldLevels && (dirty & GradeTables::LevelsTable))) {
        uploadTone(tables, bypass, foldLevels);
        if (dirty & GradeTables::LiftGammaGainTable)
            count(LiftGammaGainUpload);
        if (dirty & GradeTables::WheelsTable)
            count(WheelsUpload);
    }
    if (dirty & GradeTables::LevelsTable) {
        m_gl->glActiveTexture(GL_TEXTURE4);
        m_gl->glBindTexture(GL_TEXTURE_1D, m_levels);
        m_gl->glTexSubImage1D(GL_TEXTURE_1D, 0, 0, GradeTables::TableSize, GL_RED, GL_FLOAT,
            (bypass ? tables.bypassLevels() : tables.levels()).data());
        count(LevelsUpload);
    }
    tables.clearDirty(dirty);

    if ((m_staleFilm & GrainMapUpload) && film.grain && film.grain->textureBytes()) {
        m_gl->glActiveTexture(GL_TEXTURE1);
        m_gl->glBindTexture(GL_TEXTURE_RECTANGLE, m_grainMap);
        if (m_grainMapSize != film.grainSize) {
            m_gl->glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, film.grainSize[0], film.grainSize[1], 0, GL_RGBA,
                GL_UNSIGNED_BYTE, film.grain->textureBytes());
            m_grainMapSize = film.grainSize;
        } else {
            m_gl->glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, film.grainSize[0], film.grainSize[1], GL_RGBA,
                GL_UNSIGNED_BYTE, film.grain->textureBytes());
        }
        count(GrainMapUpload);
    }
    if ((m_staleFilm & GrainCurveUpload) && film.curve) {
        m_gl->glActiveTexture(GL_TEXTURE2);
        m_gl->glBindTexture(GL_TEXTURE_1D_ARRAY, m_grainCurve);
        uploadChannelTable(film.curve->values, GrainCurve::kEntries, false);
        count(GrainCurveUpload);
    }
    if ((m_staleFilm & StockTableUpload) && film.stockTable) {
        m_gl->glActiveTexture(GL_TEXTURE3);
        m_gl->glBindTexture(GL_TEXTURE_3D, m_stock);
        m_gl->glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, StockTable::kSize, StockTable::kSize, StockTable::kSize,
            GL_RGB, GL_FLOAT, film.stockTable);
        count(StockTableUpload);
    }
    m_staleFilm = 0;
    m_gl->glActiveTexture(GL_TEXTURE0);
}

void GradeTextures::bind()
{
    const struct
    {
        GLenum unit;
        GLenum target;
        GLuint texture;
    } bindings[] = {
        { GL_TEXTURE1, GL_TEXTURE_RECTANGLE, m_grainMap },
        { GL_TEXTURE2, GL_TEXTURE_1D_ARRAY, m_grainCurve },
        { GL_TEXTURE3, GL_TEXTURE_3D, m_stock },
        { GL_TEXTURE4, GL_TEXTURE_1D, m_levels },
        { GL_TEXTURE5, GL_TEXTURE_1D_ARRAY, m_exposure },
        { GL_TEXTURE8, GL_TEXTURE_1D_ARRAY, m_tone },
    };
    for (const auto& binding : bindings) {
        m_gl->glActiveTexture(binding.unit);
        m_gl->glBindTexture(binding.target, binding.texture);
    }
    m_gl->glActiveTexture(GL_TEXTURE0);
}

void GradeTextures::destroy()
{
    for (GLuint* texture : { &m_grainMap, &m_grainCurve, &m_stock, &m_levels, &m_exposure, &m_tone }) {
        if (*texture)
            m_gl->glDeleteTextures(1, texture);
        *texture = 0;
    }
}

} // namespace Emulsa
