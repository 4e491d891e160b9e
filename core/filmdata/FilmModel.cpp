#include "core/filmdata/FilmModel.h"

#include "core/CubeLut.h"

#include <algorithm>
#include <cmath>

namespace Emulsa {
namespace FilmData {

namespace {

constexpr double kDisplayGamma = 2.4;
// The print film, fitted to Kodak 2383 (datasheet H-1-2383t, Status A) timed
// so that grey prints at the display's mid-grey: gradient 3.0 at that
// density, a long highlight toe that reaches the base (paper white) about
// 4.4 stops over grey through a Vision3 negative, and a shoulder into a
// maximum density of 4.0 above base. The straight-line slope is the
// asymptote of this S-shaped curve, not a gradient the print reaches.
constexpr double kPrintGamma = 7.655;
constexpr double kPrintToe = 0.2224;
constexpr double kPrintDmax = 3.85;
constexpr double kPrintShoulder = 1.631;
// The colour print film's own interlayer effects add saturation to the
// printed colours of a colour negative.
constexpr double kPrintSaturation = 1.25;
// The neutral reference negative: the curve of 5207 (Vision3 250D) without
// its colour.
constexpr double kReferenceGamma = 0.5567;
constexpr double kReferenceToeAt = -1.385;
constexpr double kReferenceToe = 0.128;
constexpr double kReferenceDmax = 2.354;
constexpr double kReferenceShoulder = 0.35;
// Lowest light a record receives (about 17 stops under mid-grey).
constexpr double kMinimumLight = 1e-6;
// Base density of an instant print: its whites are never paper white.
constexpr double kInstantBase = 0.06;

double softplus(double v)
{
    return v > 30.0 ? v : std::log1p(std::exp(v));
}

double aimDensity()
{
    return -kDisplayGamma * std::log10(FilmModel::kDisplayMidGrey);
}

double densityToDisplay(double density)
{
    const double light = std::pow(10.0, -density);
    return std::clamp(std::pow(light, 1.0 / kDisplayGamma), 0.0, 1.0);
}

// The toe position that makes f(toeAt) reach `target`, for f decreasing in toeAt.
template<typename F> double solveToe(F f, double target)
{
    double lo = -6.0, hi = 6.0;
    for (int i = 0; i < 100; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (f(mid) > target)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

double printToeAt()
{
    static const double toeAt = solveToe(
        [](double a) { return FilmModel::curve(0.0, kPrintGamma, a, kPrintToe, kPrintDmax, kPrintShoulder); },
        aimDensity());
    return toeAt;
}

double referenceNegative(double x)
{
    return FilmModel::curve(x, kReferenceGamma, kReferenceToeAt, kReferenceToe, kReferenceDmax, kReferenceShoulder);
}

// The reference rendering sampled over log exposure, for inversion.
struct ReferenceTable
{
    static constexpr int kSamples = 8192;
    static constexpr double kLow = -4.0;
    static constexpr double kHigh = 3.0;
    std::vector<double> code;

    ReferenceTable()
        : code(kSamples)
    {
        for (int i = 0; i < kSamples; ++i)
            code[i] = FilmModel::referenceRender(xAt(i));
    }
    static double xAt(int i) { return kLow + (kHigh - kLow) * i / (kSamples - 1); }
};

} // namespace

double FilmModel::curve(double x, double gamma, double toeAt, double toe, double dmax, double shoulder)
{
    const double straight = gamma * toe * softplus((x - toeAt) / toe);
    // Soft minimum of the straight line and dmax, shifted so the curve starts at 0.
    const double m = std::min(straight, dmax);
    const double soft = m - shoulder * std::log(std::exp((m - straight) / shoulder) + std::exp((m - dmax) / shoulder));
    const double floor = -shoulder * std::log1p(std::exp(-dmax / shoulder));
    return soft - floor;
}

double FilmModel::printDensity(double printExposure)
{
    return curve(printExposure, kPrintGamma, printToeAt(), kPrintToe, kPrintDmax, kPrintShoulder);
}

Vec3 FilmModel::cameraFilmDensity(double logExposure) const
{
    return expose({ logExposure, logExposure, logExposure });
}

double FilmModel::displayToDensity(double code)
{
    return -kDisplayGamma * std::log10(std::max(code, 1e-6));
}

double FilmModel::referenceRender(double logExposure)
{
    const double negative = referenceNegative(logExposure) - referenceNegative(0.0);
    return densityToDisplay(printDensity(-negative));
}

double FilmModel::standardVideoToLogExposure(double code)
{
    static const ReferenceTable table;
    const std::vector<double>& c = table.code;
    if (code <= c.front())
        return ReferenceTable::kLow;
    if (code >= c.back())
        return ReferenceTable::kHigh;
    const auto it = std::upper_bound(c.begin(), c.end(), code);
    const int i = int(it - c.begin());
    const double span = c[i] - c[i - 1];
    const double t = span > 0.0 ? (code - c[i - 1]) / span : 0.0;
    return ReferenceTable::xAt(i - 1) + t * (ReferenceTable::xAt(i) - ReferenceTable::xAt(i - 1));
}

double FilmModel::encodeNeutral(const CameraProfile& profile, double linear)
{
    if (profile.transfer == Transfer::StandardVideo)
        return referenceRender(std::log10(std::max(linear, kMinimumLight) / kSceneMidGrey));
    return CameraEncoding::encode(profile.transfer, linear);
}

FilmModel::FilmModel(const CameraProfile& profile, const FilmStock& stock)
    : FilmModel(profile, stock, nullptr)
{
}

FilmModel::FilmModel(const CameraProfile& profile, const FilmStock& stock, const CubeLut* lut)
    : m_profile(profile)
    , m_stock(stock)
    , m_lut(lut)
    , m_toRec709(CameraEncoding::toRec709(profile.gamut))
{
    const double aim = aimDensity();
    for (int c = 0; c < 3; ++c) {
        const double gamma = stock.gamma * stock.layerContrast[c];
        // Grey is timed half-way to neutral: the stock keeps half its colour
        // balance at mid-grey and shows the rest in shadows and highlights.
        const double x = 0.5 * stock.balance[c];
        switch (stock.kind) {
        case StockKind::ColourNegative:
        case StockKind::BlackAndWhite:
            m_toeAt[c] = stock.toeAt;
            break;
        case StockKind::Reversal:
        case StockKind::Instant: {
            const double base = stock.kind == StockKind::Instant ? kInstantBase : 0.0;
            m_toeAt[c]
                = solveToe([&](double a) { return curve(-x, gamma, a, stock.toe, stock.densityRange, stock.shoulder); },
                    aim - base);
            break;
        }
        }
    }
    Vec3 grey;
    for (int c = 0; c < 3; ++c)
        grey[c] = 0.5 * m_stock.balance[c];
    if (stock.kind == StockKind::BlackAndWhite)
        grey = { 0.0, 0.0, 0.0 };
    m_greyDensity = { 0.0, 0.0, 0.0 };
    m_greyDensity = expose(grey);
}

Vec3 FilmModel::expose(const Vec3& logExposure) const
{
    Vec3 density;
    const bool positive = m_stock.kind == StockKind::Reversal || m_stock.kind == StockKind::Instant;
    for (int c = 0; c < 3; ++c) {
        const double gamma = m_stock.gamma * m_stock.layerContrast[c];
        const double x = positive ? -logExposure[c] : logExposure[c];
        density[c] = curve(x, gamma, m_toeAt[c], m_stock.toe, m_stock.densityRange, m_stock.shoulder);
    }
    // Interlayer effects push the records apart (or together) around their mean.
    const double mean = (density[0] + density[1] + density[2]) / 3.0;
    for (int c = 0; c < 3; ++c)
        density[c] = mean + m_stock.saturation * (density[c] - mean);
    return density;
}

Vec3 FilmModel::decode(const Vec3& code) const
{
    Vec3 linear;
    if (m_lut) {
        const std::array<double, 3> video = m_lut->apply(code);
        for (int c = 0; c < 3; ++c)
            linear[c] = CameraEncoding::bt709Decode(video[c]);
        return linear;
    }
    if (m_profile.transfer == Transfer::StandardVideo) {
        for (int c = 0; c < 3; ++c)
            linear[c] = kSceneMidGrey * std::pow(10.0, standardVideoToLogExposure(code[c]));
        return linear;
    }
    for (int c = 0; c < 3; ++c)
        linear[c] = CameraEncoding::decode(m_profile.transfer, code[c]);
    return CameraEncoding::multiply(m_toRec709, linear);
}

Vec3 FilmModel::render(const Vec3& code) const
{
    return renderScene(decode(code));
}

Vec3 FilmModel::renderScene(const Vec3& linear) const
{
    Vec3 logExposure;
    if (m_stock.kind == StockKind::BlackAndWhite) {
        const double y = m_stock.panchromatic[0] * linear[0] + m_stock.panchromatic[1] * linear[1]
            + m_stock.panchromatic[2] * linear[2];
        const double x = std::log10(std::max(y, kMinimumLight) / kSceneMidGrey);
        logExposure = { x, x, x };
    } else {
        for (int c = 0; c < 3; ++c)
            logExposure[c] = std::log10(std::max(linear[c], kMinimumLight) / kSceneMidGrey) + m_stock.balance[c];
    }
    const Vec3 density = expose(logExposure);
    Vec3 printExposure;
    for (int c = 0; c < 3; ++c)
        printExposure[c] = -(density[c] - m_greyDensity[c]);
    if (m_stock.kind == StockKind::ColourNegative) {
        const double mean = (printExposure[0] + printExposure[1] + printExposure[2]) / 3.0;
        for (int c = 0; c < 3; ++c)
            printExposure[c] = mean + kPrintSaturation * (printExposure[c] - mean);
    }
    Vec3 out;
    for (int c = 0; c < 3; ++c) {
        switch (m_stock.kind) {
        case StockKind::ColourNegative:
        case StockKind::BlackAndWhite:
            out[c] = densityToDisplay(printDensity(printExposure[c]));
            break;
        case StockKind::Reversal:
            out[c] = densityToDisplay(density[c]);
            break;
        case StockKind::Instant:
            out[c] = densityToDisplay(density[c] + kInstantBase);
            break;
        }
    }
    if (m_stock.kind == StockKind::BlackAndWhite)
        out[1] = out[2] = out[0];
    return out;
}

} // namespace FilmData
} // namespace Emulsa
