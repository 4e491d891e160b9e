#pragma once

#include <array>
#include <vector>

namespace Emulsa {
namespace FilmData {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;

// How a camera profile's code values become scene-linear light.
enum class Transfer
{
    StandardVideo, // display-referred Rec. 709 video, undone by the reference film rendering
    SLog3,
    LogC3,
    CanonLog3,
    VLog,
    BmdFilmGen5,
    Log3G10,
    FLog,
    DLog,
    AppleLog
};

// The primaries a camera encoding's RGB values refer to.
enum class Gamut
{
    Rec709,
    Rec2020,
    SGamut3,
    SGamut3Cine,
    ArriWideGamut3,
    CinemaGamut,
    VGamut,
    BmdWideGamutGen5,
    RedWideGamutRGB,
    DGamut
};

// One profile of the camera catalogue, with the encoding behind it.
struct CameraProfile
{
    const char* manufacturer;
    const char* model;
    const char* modelId;
    const char* abbr;
    const char* name;
    const char* bin;
    const char* tin;
    const char* id;
    Transfer transfer;
    Gamut gamut;
};

// The published transfer functions and gamuts of camera log encodings, and
// the catalogue of profiles the generator writes.
class CameraEncoding
{
public:
    // Every profile, in catalogue order; "OT01" first.
    static const std::vector<CameraProfile>& profiles();
    // The profile with this four-character id, or null.
    static const CameraProfile* find(const char* id);

    // Code value (0..1 normalised signal) to scene-linear reflectance
    // (0.18 = mid-grey). StandardVideo is not handled here (see FilmModel).
    static double decode(Transfer transfer, double code);
    // The inverse of decode, found numerically (decode is monotonic).
    static double encode(Transfer transfer, double linear);

    // The BT.709 camera transfer (linear light to video code value) and its
    // inverse; both carry on past 1 along the same power curve and below 0
    // along the same line, so values a table keeps outside 0..1 survive.
    static double bt709Encode(double linear);
    static double bt709Decode(double code);

    // Linear RGB in the gamut's primaries to linear Rec. 709 RGB, through
    // CIE XYZ (every gamut here shares the D65 white).
    static Mat3 toRec709(Gamut gamut);

    static Vec3 multiply(const Mat3& m, const Vec3& v);
    static Mat3 multiply(const Mat3& a, const Mat3& b);
    static Mat3 inverse(const Mat3& m);
};

} // namespace FilmData
} // namespace Emulsa
