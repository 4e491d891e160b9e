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
        { "5213", "KD 5213 Vis3", "Kodak Vision3 200T 5213", N, 200, 0.63, 2.6, 0.95, 1.04, { 0.97, 1.00, 1.05 },
            { -0.025, 0.000, 0.035 }, 0.22, 0.30, { 0, 0, 0 } },
        { "8543", "FJ 8543 VD", "Fujifilm Eterna Vivid 160 8543", N, 160, 0.70, 2.6, 0.90, 1.25, { 1.03, 1.00, 0.98 },
            { 0.010, -0.005, -0.010 }, 0.20, 0.30, { 0, 0, 0 } },
        { "8553", "FJ 8553 ET", "Fujifilm Eterna 250 8553", N, 250, 0.50, 2.6, 1.00, 0.88, { 1.00, 1.00, 1.04 },
            { -0.020, 0.005, 0.030 }, 0.32, 0.30, { 0, 0, 0 } },
        { "8563", "FJ 8563 RL", "Fujifilm Eterna 250D 8563", N, 250, 0.55, 2.6, 1.00, 0.94, { 1.00, 1.02, 1.00 },
            { 0.010, 0.012, -0.012 }, 0.28, 0.30, { 0, 0, 0 } },
        { "FujiAstia100", "FJ Ast 100", "Fujifilm Astia 100F", R, 100, 1.45, 3.2, 0.90, 1.05, { 1.00, 1.00, 1.00 },
            { 0.012, 0.000, -0.006 }, 0.35, 0.35, { 0, 0, 0 } },
        { "FujiProvia100", "FJ Prov 100", "Fujifilm Provia 100F", R, 100, 1.65, 3.4, 0.95, 1.15, { 1.00, 1.00, 1.02 },
            { -0.005, 0.000, 0.012 }, 0.30, 0.30, { 0, 0, 0 } },
        { "FujiVelvia100", "FJ Velv 100", "Fujifilm Velvia 100", R, 100, 1.85, 3.6, 0.95, 1.45, { 1.02, 0.98, 1.02 },
            { 0.010, -0.012, 0.010 }, 0.26, 0.28, { 0, 0, 0 } },
        { "FujiNeopan", "FJ Neo", "Fujifilm Neopan 100 Acros", B, 100, 0.64, 2.4, 0.90, 1.00, { 1, 1, 1 }, { 0, 0, 0 },
            0.26, 0.30, { 0.17, 0.66, 0.17 } },
        { "IlfordDelta400", "IL D400", "Ilford Delta 400 Professional", B, 400, 0.60, 2.4, 1.00, 1.00, { 1, 1, 1 },
            { 0, 0, 0 }, 0.30, 0.30, { 0.27, 0.57, 0.16 } },
        { "IlfordDelta3200", "IL D3200", "Ilford Delta 3200 Professional", B, 3200, 0.50, 2.2, 1.15, 1.00, { 1, 1, 1 },
            { 0, 0, 0 }, 0.45, 0.40, { 0.33, 0.52, 0.15 } },
        { "IlfordFP4", "IL FN FP", "Ilford FP4 Plus", B, 125, 0.70, 2.4, 1.00, 1.00, { 1, 1, 1 }, { 0, 0, 0 }, 0.22,
            0.45, { 0.24, 0.60, 0.16 } },
        { "KodakT-max", "KD TMx 100", "Kodak Professional T-Max 100", B, 100, 0.78, 2.6, 0.85, 1.00, { 1, 1, 1 },
            { 0, 0, 0 }, 0.18, 0.30, { 0.31, 0.55, 0.14 } },
        { "KodakTriX", "KD TrX 400", "Kodak Professional Tri-X 400", B, 400, 0.66, 2.4, 1.10, 1.00, { 1, 1, 1 },
            { 0, 0, 0 }, 0.36, 0.30, { 0.26, 0.58, 0.16 } },
        { "FujiProH", "FJ H400 Pro", "Fujifilm Pro 400H", N, 400, 0.55, 2.6, 0.90, 0.96, { 1.00, 1.00, 1.00 },
            { -0.012, 0.015, 0.000 }, 0.30, 0.30, { 0, 0, 0 } },
        { "FujiPro160S", "FJ H160s Pro", "Fujifilm Pro 160S", N, 160, 0.57, 2.6, 0.85, 0.82, { 1.00, 0.98, 0.96 },
            { 0.018, 0.004, -0.018 }, 0.28, 0.30, { 0, 0, 0 } },
        { "FujiSuperia400", "FJ SuperX 400", "Fujifilm Superia X-TRA 400", N, 400, 0.66, 2.6, 1.05, 1.18,
            { 1.00, 1.03, 1.00 }, { -0.005, 0.018, 0.004 }, 0.24, 0.30, { 0, 0, 0 } },
        { "KodakPortra", "KD P400 Ptra", "Kodak Professional Portra 400", N, 400, 0.56, 2.6, 0.92, 0.90,
            { 1.00, 1.00, 0.95 }, { 0.025, 0.006, -0.004 }, 0.30, 0.30, { 0, 0, 0 } },
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
