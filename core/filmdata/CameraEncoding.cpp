#include "core/filmdata/CameraEncoding.h"

#include <cmath>
#include <cstring>

namespace Emulsa {
namespace FilmData {

namespace {

struct Primaries
{
    double rx, ry, gx, gy, bx, by;
};

// Chromaticities as the makers publish them; every gamut here has a D65 white.
Primaries primariesOf(Gamut gamut)
{
    switch (gamut) {
    case Gamut::Rec709:
        return { 0.640, 0.330, 0.300, 0.600, 0.150, 0.060 };
    case Gamut::Rec2020:
        return { 0.708, 0.292, 0.170, 0.797, 0.131, 0.046 };
    case Gamut::SGamut3:
        return { 0.730, 0.280, 0.140, 0.855, 0.100, -0.050 };
    case Gamut::SGamut3Cine:
        return { 0.766, 0.275, 0.225, 0.800, 0.089, -0.087 };
    case Gamut::ArriWideGamut3:
        return { 0.6840, 0.3130, 0.2210, 0.8480, 0.0861, -0.1020 };
    case Gamut::CinemaGamut:
        return { 0.740, 0.270, 0.170, 1.140, 0.080, -0.100 };
    case Gamut::VGamut:
        return { 0.730, 0.280, 0.165, 0.840, 0.100, -0.030 };
    case Gamut::BmdWideGamutGen5:
        return { 0.7177215, 0.3171181, 0.2280410, 0.8615690, 0.1005841, -0.0820452 };
    case Gamut::RedWideGamutRGB:
        return { 0.780308, 0.304253, 0.121595, 1.493994, 0.095612, -0.084589 };
    case Gamut::DGamut:
        return { 0.71, 0.31, 0.21, 0.88, 0.09, -0.08 };
    }
    return { 0.640, 0.330, 0.300, 0.600, 0.150, 0.060 };
}

Mat3 rgbToXyz(const Primaries& p)
{
    const double wx = 0.3127, wy = 0.3290;
    const Vec3 white { wx / wy, 1.0, (1.0 - wx - wy) / wy };
    auto column = [](double x, double y) { return Vec3 { x / y, 1.0, (1.0 - x - y) / y }; };
    const Vec3 r = column(p.rx, p.ry), g = column(p.gx, p.gy), b = column(p.bx, p.by);
    const Mat3 m { { { r[0], g[0], b[0] }, { r[1], g[1], b[1] }, { r[2], g[2], b[2] } } };
    const Vec3 s = CameraEncoding::multiply(CameraEncoding::inverse(m), white);
    Mat3 out;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = m[i][j] * s[j];
    return out;
}

} // namespace

const std::vector<CameraProfile>& CameraEncoding::profiles()
{
    static const std::vector<CameraProfile> list {
        { "Generic", "Rec. 709 Camera", "GEN709", "null", "Standard", "GEN", "GENT", "OT01", Transfer::StandardVideo,
            Gamut::Rec709 },
        { "Sony", "VENICE", "SNVENICE", "S-Log3:S-Gamut3.Cine", "S-Log3 S-Gamut3.Cine", "SNSL3C", "SNSL3CT", "SN01",
            Transfer::SLog3, Gamut::SGamut3Cine },
        { "Sony", "VENICE", "SNVENICE", "S-Log3:S-Gamut3", "S-Log3 S-Gamut3", "SNSL3", "SNSL3T", "SN02",
            Transfer::SLog3, Gamut::SGamut3 },
        { "ARRI", "ALEXA Mini", "ARALXMINI", "LogC3:AWG3", "LogC3 EI 800", "ARLC3", "ARLC3T", "AR01", Transfer::LogC3,
            Gamut::ArriWideGamut3 },
        { "Canon", "EOS C300 Mark II", "CNC300M2", "C-Log3:Cinema Gamut", "Canon Log 3 Cinema Gamut", "CNCL3", "CNCL3T",
            "CN01", Transfer::CanonLog3, Gamut::CinemaGamut },
        { "Panasonic", "VariCam LT", "PNVARILT", "V-Log:V-Gamut", "V-Log V-Gamut", "PNVLG", "PNVLGT", "PN01",
            Transfer::VLog, Gamut::VGamut },
        { "Blackmagic Design", "URSA Mini Pro 12K", "BMURSA12K", "Film:Gen 5", "Blackmagic Film Gen 5", "BMFG5",
            "BMFG5T", "BM01", Transfer::BmdFilmGen5, Gamut::BmdWideGamutGen5 },
        { "RED", "KOMODO 6K", "RDKOMODO", "Log3G10:RWG", "Log3G10 REDWideGamutRGB", "RDL3G", "RDL3GT", "RD01",
            Transfer::Log3G10, Gamut::RedWideGamutRGB },
        { "Fujifilm", "X-H2S", "FJXH2S", "F-Log:F-Gamut", "F-Log F-Gamut", "FJFLG", "FJFLGT", "FJ01", Transfer::FLog,
            Gamut::Rec2020 },
        { "DJI", "Mavic 3", "DJMAVIC3", "D-Log:D-Gamut", "D-Log D-Gamut", "DJDLG", "DJDLGT", "DJ01", Transfer::DLog,
            Gamut::DGamut },
        { "Apple", "iPhone 15 Pro", "APIP15P", "Apple Log:Rec. 2020", "Apple Log", "APLOG", "APLOGT", "AP01",
            Transfer::AppleLog, Gamut::Rec2020 },
    };
    return list;
}

const CameraProfile* CameraEncoding::find(const char* id)
{
    for (const CameraProfile& p : profiles())
        if (std::strcmp(p.id, id) == 0)
            return &p;
    return nullptr;
}

double CameraEncoding::decode(Transfer transfer, double x)
{
    switch (transfer) {
    case Transfer::StandardVideo:
        // Rec. 709 camera curve, inverted.
        return x < 0.081 ? x / 4.5 : std::pow((x + 0.099) / 1.099, 1.0 / 0.45);
    case Transfer::SLog3:
        if (x >= 171.2102946929 / 1023.0)
            return std::pow(10.0, (x * 1023.0 - 420.0) / 261.5) * (0.18 + 0.01) - 0.01;
        return (x * 1023.0 - 95.0) * 0.01125 / (171.2102946929 - 95.0);
    case Transfer::LogC3: {
        const double cut = 0.010591, a = 5.555556, b = 0.052272, c = 0.247190, d = 0.385537, e = 5.367655, f = 0.092809;
        return x > e * cut + f ? (std::pow(10.0, (x - d) / c) - b) / a : (x - f) / e;
    }
    case Transfer::CanonLog3: {
        double lin;
        if (x < 0.097465473)
            lin = -(std::pow(10.0, (0.12783901 - x) / 0.36726845) - 1.0) / 14.98325;
        else if (x <= 0.15277891)
            lin = (x - 0.12512219) / 1.9754798;
        else
            lin = (std::pow(10.0, (x - 0.12240537) / 0.36726845) - 1.0) / 14.98325;
        return lin * 0.9;
    }
    case Transfer::VLog:
        return x < 0.181 ? (x - 0.125) / 5.6 : std::pow(10.0, (x - 0.598206) / 0.241514) - 0.00873;
    case Transfer::BmdFilmGen5: {
        const double A = 0.08692876065491224, B = 0.005494072432257808, C = 0.5300133392291939, D = 8.283605932402494,
                     E = 0.09246575342465753;
        const double logCut = D * 0.005 + E;
        return x < logCut ? (x - E) / D : std::exp((x - C) / A) - B;
    }
    case Transfer::Log3G10: {
        const double a = 0.224282, b = 155.975327, c = 0.01, g = 15.1927;
        return (x < 0.0 ? x / g : (std::pow(10.0, x / a) - 1.0) / b) - c;
    }
    case Transfer::FLog: {
        const double a = 0.555556, b = 0.009468, c = 0.344676, d = 0.790453, e = 8.735631, f = 0.092864;
        return x < 0.100537775223865 ? (x - f) / e : (std::pow(10.0, (x - d) / c) - b) / a;
    }
    case Transfer::DLog:
        return x <= 0.14 ? (x - 0.0929) / 6.025 : (std::pow(10.0, 3.89616 * x - 2.27752) - 0.0108) / 0.9892;
    case Transfer::AppleLog: {
        const double r0 = -0.05641088, rt = 0.01, c = 47.28711236, beta = 0.00964052, gamma = 0.08550479,
                     delta = 0.69336945;
        const double pt = c * (rt - r0) * (rt - r0);
        if (x >= pt)
            return std::pow(2.0, (x - delta) / gamma) - beta;
        if (x >= 0.0)
            return std::sqrt(x / c) + r0;
        return r0;
    }
    }
    return x;
}

double CameraEncoding::encode(Transfer transfer, double linear)
{
    double lo = -0.25, hi = 1.25;
    for (int i = 0; i < 80; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (decode(transfer, mid) < linear)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

double CameraEncoding::bt709Encode(double linear)
{
    if (linear < 0.018)
        return 4.5 * linear;
    return 1.099 * std::pow(linear, 0.45) - 0.099;
}

double CameraEncoding::bt709Decode(double code)
{
    if (code < 4.5 * 0.018)
        return code / 4.5;
    return std::pow((code + 0.099) / 1.099, 1.0 / 0.45);
}

Mat3 CameraEncoding::toRec709(Gamut gamut)
{
    const Mat3 toXyz = rgbToXyz(primariesOf(gamut));
    const Mat3 fromXyz = inverse(rgbToXyz(primariesOf(Gamut::Rec709)));
    return multiply(fromXyz, toXyz);
}

Vec3 CameraEncoding::multiply(const Mat3& m, const Vec3& v)
{
    return { m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2], m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
        m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2] };
}

Mat3 CameraEncoding::multiply(const Mat3& a, const Mat3& b)
{
    Mat3 out {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                out[i][j] += a[i][k] * b[k][j];
    return out;
}

Mat3 CameraEncoding::inverse(const Mat3& m)
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
        - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    const double k = det != 0.0 ? 1.0 / det : 0.0;
    Mat3 r;
    r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * k;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * k;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * k;
    r[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * k;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * k;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * k;
    r[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * k;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * k;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * k;
    return r;
}

} // namespace FilmData
} // namespace Emulsa
