#pragma once

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

// The figures of one film stock. Speed, contrast, density range and
// granularity follow the maker's datasheet (see docs/film-data.md); the
// colour figures describe the stock's rendering relative to a neutral film.
struct FilmStock
{
    const char* code; // stock code used in file names
    const char* displayName; // the name the grading panel shows
    const char* product; // the product the figures were taken from
    StockKind kind;
    double speed; // ISO / exposure index (daylight)
    double gamma; // straight-line contrast of the camera film
    double densityRange; // Dmax - Dmin of the camera film (reversal, instant) or the printed range
    double granularity; // grain relative to other stocks of the same speed (1 typical), from the datasheet figure
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
};

} // namespace FilmData
} // namespace Emulsa
