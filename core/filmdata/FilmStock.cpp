#include "core/filmdata/FilmStock.h"

#include "core/FilmLibrary.h"

#include <cstring>

namespace Emulsa {
namespace FilmData {

namespace {
constexpr StockKind N = StockKind::ColourNegative;
constexpr StockKind R = StockKind::Reversal;
constexpr StockKind I = StockKind::Instant;
constexpr StockKind B = StockKind::BlackAndWhite;
} // namespace

// Fields: code, product, kind, speed, gamma, toe at, density range,
// granularity, saturation, layer contrast (R, G, B), balance (R, G, B), toe,
// shoulder, panchromatic sensitivity (R, G, B).
//
// Negatives: `toeAt` is the sheet's half-gradient point and `gamma` gives the
// sheet's mean gradient over +-0.5 log E about grey; reversal stocks: gamma,
// toe and shoulder are fitted to the sheet's gradient at grey and usable range.
// docs/film-data.md lists the sheet figures and marks the estimates.
const std::vector<FilmStock>& FilmStocks::all()
{
    static const std::vector<FilmStock> stocks {
        { "5207", "Kodak Vision3 250D 5207", N, 250, 0.5567, -1.385, 2.354, 4.6, 1.00, { 1.00, 1.00, 1.03 },
            { 0.000, 0.000, 0.000 }, 0.128, 0.35, { 0, 0, 0 } },
        { "5213", "Kodak Vision3 200T 5213", N, 200, 0.5650, -1.415, 2.50, 4.4, 1.04, { 0.97, 1.00, 1.05 },
            { -0.035, 0.000, 0.045 }, 0.15, 0.35, { 0, 0, 0 } },
        { "8543", "Fujifilm Eterna Vivid 160 8543", N, 160, 0.6659, -1.30, 2.60, 4.3, 1.25, { 1.03, 1.00, 0.98 },
            { 0.010, -0.005, -0.010 }, 0.15, 0.35, { 0, 0, 0 } },
        { "8553", "Fujifilm Eterna 250 8553", N, 250, 0.5034, -1.35, 2.50, 4.6, 0.88, { 0.97, 1.00, 1.06 },
            { -0.020, 0.005, 0.030 }, 0.16, 0.35, { 0, 0, 0 } },
        { "8563", "Fujifilm Eterna 250D 8563", N, 250, 0.5443, -1.35, 2.50, 4.6, 0.78, { 1.00, 1.02, 1.00 },
            { -0.010, 0.018, -0.010 }, 0.16, 0.35, { 0, 0, 0 } },
        { "FujiAstia100", "Fujifilm Astia 100F", R, 100, 1.624, 0.0, 3.2, 7.0, 1.05, { 1.00, 1.00, 1.00 },
            { 0.012, 0.000, -0.006 }, 0.2675, 0.2675, { 0, 0, 0 } },
        { "FujiProvia100", "Fujifilm Provia 100F", R, 100, 4.842, 0.0, 3.4, 8.0, 1.15, { 1.00, 1.00, 1.02 },
            { -0.005, 0.000, 0.012 }, 0.4776, 0.4776, { 0, 0, 0 } },
        { "FujiVelvia100", "Fujifilm Velvia 100", R, 100, 6.384, 0.0, 3.6, 8.0, 1.35, { 1.02, 0.98, 1.02 },
            { 0.010, -0.012, 0.010 }, 0.4516, 0.4516, { 0, 0, 0 } },
        { "FujiNeopan", "Fujifilm Neopan 100 Acros", B, 100, 0.6495, -1.20, 2.40, 7.0, 1.00, { 1.00, 1.00, 1.00 },
            { 0.000, 0.000, 0.000 }, 0.18, 0.35, { 0.120, 0.700, 0.180 } },
        { "IlfordDelta400", "Ilford Delta 400 Professional", B, 400, 0.5694, -1.10, 2.40, 11.0, 1.00,
            { 1.00, 1.00, 1.00 }, { 0.000, 0.000, 0.000 }, 0.20, 0.35, { 0.300, 0.540, 0.160 } },
        { "IlfordDelta3200", "Ilford Delta 3200 Professional", B, 3200, 0.5279, -0.90, 2.20, 18.0, 1.00,
            { 1.00, 1.00, 1.00 }, { 0.000, 0.000, 0.000 }, 0.25, 0.35, { 0.360, 0.500, 0.140 } },
        { "IlfordFP4", "Ilford FP4 Plus", B, 125, 0.7114, -1.20, 2.40, 9.0, 1.00, { 1.00, 1.00, 1.00 },
            { 0.000, 0.000, 0.000 }, 0.16, 0.35, { 0.220, 0.600, 0.180 } },
        { "KodakT-max", "Kodak Professional T-Max 100", B, 100, 0.7699, -1.30, 2.60, 8.0, 1.00, { 1.00, 1.00, 1.00 },
            { 0.000, 0.000, 0.000 }, 0.14, 0.35, { 0.340, 0.520, 0.140 } },
        { "KodakTriX", "Kodak Professional Tri-X 400", B, 400, 0.6174, -1.00, 2.40, 17.0, 1.00, { 1.00, 1.00, 1.00 },
            { 0.000, 0.000, 0.000 }, 0.22, 0.35, { 0.260, 0.560, 0.180 } },
        { "FujiProH", "Fujifilm Pro 400H", N, 400, 0.5347, -0.753, 2.50, 4.0, 0.94, { 0.96, 1.02, 1.04 },
            { -0.022, 0.022, 0.006 }, 0.15, 0.35, { 0, 0, 0 } },
        { "FujiPro160S", "Fujifilm Pro 160S", N, 160, 0.5248, -1.00, 2.50, 3.0, 0.92, { 1.04, 0.98, 0.94 },
            { 0.025, 0.000, -0.030 }, 0.15, 0.35, { 0, 0, 0 } },
        { "FujiSuperia400", "Fujifilm Superia X-TRA 400", N, 400, 0.5948, -1.144, 2.60, 4.0, 1.12, { 0.98, 1.05, 0.98 },
            { -0.005, 0.040, 0.004 }, 0.15, 0.35, { 0, 0, 0 } },
        { "KodakPortra", "Kodak Professional Portra 400", N, 400, 0.5848, -1.024, 2.60, 4.5, 0.93, { 0.98, 1.00, 1.05 },
            { 0.032, 0.008, -0.010 }, 0.15, 0.35, { 0, 0, 0 } },
        { "Polaroid", "Polaroid 600 colour instant film", I, 640, 1.10, 0.0, 1.7, 6.0, 0.85, { 0.95, 1.00, 1.10 },
            { 0.030, 0.000, -0.030 }, 0.45, 0.30, { 0, 0, 0 } },
    };
    return stocks;
}

const FilmStock* FilmStocks::find(const char* code)
{
    for (const FilmStock& s : all())
        if (std::strcmp(s.code, code) == 0)
            return &s;
    return nullptr;
}

QString FilmStocks::displayName(const FilmStock& stock)
{
    return FilmLibrary::instance()->displayNameForCode(QString::fromLatin1(stock.code));
}

} // namespace FilmData
} // namespace Emulsa
