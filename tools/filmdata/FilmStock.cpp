#include "FilmStock.h"

#include <cstring>

namespace Emulsa {
namespace FilmData {

namespace {
constexpr StockKind N = StockKind::ColourNegative;
constexpr StockKind R = StockKind::Reversal;
constexpr StockKind I = StockKind::Instant;
constexpr StockKind B = StockKind::BlackAndWhite;
} // namespace

// Fields: code, display name, product, kind, speed, gamma, density range,
// granularity, saturation, layer contrast (R, G, B), balance (R, G, B), toe,
// shoulder, panchromatic sensitivity (R, G, B).
const std::vector<FilmStock>& FilmStocks::all()
{
    static const std::vector<FilmStock> stocks {
        { "5207", "KD 5207 Vis3", "Kodak Vision3 250D 5207", N, 250, 0.60, 2.6, 1.00, 1.00, { 1.00, 1.00, 1.03 },
            { 0.000, 0.000, 0.000 }, 0.25, 0.30, { 0, 0, 0 } },
        { "5213", "KD 5213 Vis3", "Kodak Vision3 200T 5213", N, 200, 0.66, 2.6, 0.95, 1.04, { 0.97, 1.00, 1.05 },
            { -0.035, 0.000, 0.045 }, 0.22, 0.30, { 0, 0, 0 } },
        { "8543", "FJ 8543 VD", "Fujifilm Eterna Vivid 160 8543", N, 160, 0.70, 2.6, 0.90, 1.25, { 1.03, 1.00, 0.98 },
            { 0.010, -0.005, -0.010 }, 0.20, 0.30, { 0, 0, 0 } },
        { "8553", "FJ 8553 ET", "Fujifilm Eterna 250 8553", N, 250, 0.50, 2.60, 1.00, 0.88, { 0.97, 1.00, 1.06 },
            { -0.020, 0.005, 0.030 }, 0.32, 0.30, { 0.000, 0.000, 0.000 } },
        { "8563", "FJ 8563 RL", "Fujifilm Eterna 250D 8563", N, 250, 0.56, 2.6, 1.00, 0.78, { 1.00, 1.02, 1.00 },
            { -0.010, 0.018, -0.010 }, 0.30, 0.30, { 0, 0, 0 } },
        { "FujiAstia100", "FJ Ast 100", "Fujifilm Astia 100F", R, 100, 1.45, 3.2, 0.90, 1.05, { 1.00, 1.00, 1.00 },
            { 0.012, 0.000, -0.006 }, 0.35, 0.35, { 0, 0, 0 } },
        { "FujiProvia100", "FJ Prov 100", "Fujifilm Provia 100F", R, 100, 1.65, 3.4, 0.95, 1.15, { 1.00, 1.00, 1.02 },
            { -0.005, 0.000, 0.012 }, 0.30, 0.30, { 0, 0, 0 } },
        { "FujiVelvia100", "FJ Velv 100", "Fujifilm Velvia 100", R, 100, 1.85, 3.6, 0.95, 1.35, { 1.02, 0.98, 1.02 },
            { 0.010, -0.012, 0.010 }, 0.26, 0.28, { 0, 0, 0 } },
        { "FujiNeopan", "FJ Neo", "Fujifilm Neopan 100 Acros", B, 100, 0.68, 2.40, 0.90, 1.00, { 1.00, 1.00, 1.00 },
            { 0.000, 0.000, 0.000 }, 0.26, 0.30, { 0.120, 0.700, 0.180 } },
        { "IlfordDelta400", "IL D400", "Ilford Delta 400 Professional", B, 400, 0.56, 2.40, 1.00, 1.00,
            { 1.00, 1.00, 1.00 }, { 0.000, 0.000, 0.000 }, 0.28, 0.30, { 0.300, 0.540, 0.160 } },
        { "IlfordDelta3200", "IL D3200", "Ilford Delta 3200 Professional", B, 3200, 0.50, 2.20, 1.15, 1.00,
            { 1.00, 1.00, 1.00 }, { 0.000, 0.000, 0.000 }, 0.45, 0.40, { 0.360, 0.500, 0.140 } },
        { "IlfordFP4", "IL FN FP", "Ilford FP4 Plus", B, 125, 0.74, 2.40, 1.00, 1.00, { 1.00, 1.00, 1.00 },
            { 0.000, 0.000, 0.000 }, 0.22, 0.45, { 0.220, 0.600, 0.180 } },
        { "KodakT-max", "KD TMx 100", "Kodak Professional T-Max 100", B, 100, 0.80, 2.60, 0.85, 1.00,
            { 1.00, 1.00, 1.00 }, { 0.000, 0.000, 0.000 }, 0.18, 0.30, { 0.340, 0.520, 0.140 } },
        { "KodakTriX", "KD TrX 400", "Kodak Professional Tri-X 400", B, 400, 0.62, 2.40, 1.10, 1.00,
            { 1.00, 1.00, 1.00 }, { 0.000, 0.000, 0.000 }, 0.42, 0.30, { 0.260, 0.560, 0.180 } },
        { "FujiProH", "FJ H400 Pro", "Fujifilm Pro 400H", N, 400, 0.53, 2.60, 0.90, 0.94, { 0.96, 1.02, 1.04 },
            { -0.022, 0.022, 0.006 }, 0.40, 0.30, { 0.000, 0.000, 0.000 } },
        { "FujiPro160S", "FJ H160s Pro", "Fujifilm Pro 160S", N, 160, 0.52, 2.60, 0.85, 0.92, { 1.04, 0.98, 0.94 },
            { 0.025, 0.000, -0.030 }, 0.34, 0.30, { 0.000, 0.000, 0.000 } },
        { "FujiSuperia400", "FJ SuperX 400", "Fujifilm Superia X-TRA 400", N, 400, 0.62, 2.60, 1.05, 1.12,
            { 0.98, 1.05, 0.98 }, { -0.005, 0.040, 0.004 }, 0.24, 0.30, { 0.000, 0.000, 0.000 } },
        { "KodakPortra", "KD P400 Ptra", "Kodak Professional Portra 400", N, 400, 0.58, 2.60, 0.92, 0.93,
            { 1.00, 1.00, 0.92 }, { 0.032, 0.008, -0.010 }, 0.28, 0.30, { 0.000, 0.000, 0.000 } },
        { "Polaroid", "Plrd 600", "Polaroid 600 colour instant film", I, 640, 1.10, 1.7, 1.20, 0.85,
            { 0.95, 1.00, 1.10 }, { 0.030, 0.000, -0.030 }, 0.45, 0.30, { 0, 0, 0 } },
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

} // namespace FilmData
} // namespace Emulsa
