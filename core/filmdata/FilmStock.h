#pragma once

#include <QString>
#include <vector>

namespace Emulsa {
namespace FilmData {

// What a stock is and how its picture is made.
enum class StockKind
{
    ColourNegative, // exposed, developed, printed on a colour print film
    Reversal, // a colour slide viewed directly
    Instant, // an integral instant print
    BlackAndWhite // panchromatic negative printed on a black-and-white print
};

// The figures of one film stock. The curve figures (gamma, toeAt, toe,
// densityRange, shoulder) are fitted so that the characteristic curve meets
// the maker's datasheet: for negatives the half-gradient point of the toe and
// the gradient about grey, for reversal stocks the gradient at grey and the
// usable range (see docs/film-data.md, which marks the estimates). The colour
// figures describe the stock's rendering relative to a neutral film.
struct FilmStock
{
    const char* code; // stock code used in file names; the display name comes from FilmLibrary
    const char* product; // the product the figures were taken from
    StockKind kind;
    double speed; // ISO / exposure index (daylight)
    double gamma; // slope of the curve's straight line (reversal: its asymptotic slope)
    double toeAt; // negatives: half-gradient point of the toe, log exposure from grey (reversal: unused)
    double densityRange; // Dmax - Dmin the curve rolls into
    double granularity; // RMS granularity x 1000 (diffuse, 48 um aperture, density 1.0)
    double saturation; // interlayer colour saturation, 1 neutral
    double layerContrast[3]; // relative contrast of the red, green and blue records
    double balance[3]; // colour balance, log exposure offsets of the three records
    double toe; // toe softness in log exposure (larger: longer, softer toe)
    double shoulder; // shoulder softness in density
    double panchromatic[3]; // black-and-white: sensitivity to linear R, G, B
};

// The 19 stocks of the catalogue, in display-name order.
class FilmStocks
{
public:
    static const std::vector<FilmStock>& all();
    static const FilmStock* find(const char* code);
    static bool isBlackAndWhite(const FilmStock& stock) { return stock.kind == StockKind::BlackAndWhite; }
    // The stock's display name, from the application's stock catalogue
    // (FilmLibrary), which is the one list of codes and names.
    static QString displayName(const FilmStock& stock);
};

} // namespace FilmData
} // namespace Emulsa
