#pragma once

#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmStock.h"

#include <vector>

namespace Emulsa {

struct CubeLut;

namespace FilmData {

// The film rendering behind every stock table: camera code values are decoded
// to scene-linear Rec. 709 light, exposed onto the stock (log exposure through
// per-record characteristic curves with toe, straight line and shoulder),
// printed (negatives) or viewed directly (reversal, instant), and encoded for
// a Rec. 709 display (BT.1886, gamma 2.4).
//
// Normal exposure places scene mid-grey (0.18) at the print density that
// displays as kDisplayMidGrey, the code value a standard Rec. 709 camera gives
// mid-grey; so a grey card keeps its value through every stock.
class FilmModel
{
public:
    static constexpr double kSceneMidGrey = 0.18;
    static constexpr double kDisplayMidGrey = 0.409;

    FilmModel(const CameraProfile& profile, const FilmStock& stock);
    // A camera whose code values a 3D table turns into Rec. 709 video (the
    // BT.709 camera transfer of scene-linear Rec. 709 light); the profile's
    // own transfer and gamut are then not used. `lut` must outlive the model.
    FilmModel(const CameraProfile& profile, const FilmStock& stock, const CubeLut* lut);

    // Camera code values (0..1) to display code values (0..1).
    Vec3 render(const Vec3& code) const;
    // Scene-linear Rec. 709 light (0.18 mid-grey) to display code values.
    Vec3 renderScene(const Vec3& linear) const;
    // Camera code values to scene-linear Rec. 709 light.
    Vec3 decode(const Vec3& code) const;

    // The code value the profile records for a neutral scene-linear value.
    static double encodeNeutral(const CameraProfile& profile, double linear);

    // The neutral reference film: a grey scale through a neutral negative and
    // the print. The standard-video profile is its inverse, so that a Rec. 709
    // picture shows each stock's departure from a neutral film.
    static double referenceRender(double logExposure);
    static double standardVideoToLogExposure(double code);

    const FilmStock& stock() const { return m_stock; }

    // Density (above base) of the camera film's red, green and blue records
    // for a neutral exposure, log exposure from grey (no colour balance):
    // the negative, or the slide of a reversal stock.
    Vec3 cameraFilmDensity(double logExposure) const;
    // The print film's density above base for a print log exposure relative
    // to the one that prints grey at the display's mid-grey.
    static double printDensity(double printExposure);
    // The density a display code value shows (BT.1886, gamma 2.4).
    static double displayToDensity(double code);

    // A characteristic curve: density rising with log exposure x from 0,
    // toe at `toeAt` with softness `toe`, straight line of slope `gamma`,
    // shoulder rolling into `dmax` with softness `shoulder`. Strictly
    // increasing.
    static double curve(double x, double gamma, double toeAt, double toe, double dmax, double shoulder);

private:
    Vec3 expose(const Vec3& logExposure) const;

    const CameraProfile& m_profile;
    const FilmStock& m_stock;
    const CubeLut* m_lut = nullptr;
    Mat3 m_toRec709;
    Vec3 m_toeAt {};
    Vec3 m_greyDensity {};
};

} // namespace FilmData
} // namespace Emulsa
