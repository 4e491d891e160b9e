#include "GrainSynth.h"

#include "core/filmdata/FilmModel.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace Emulsa {
namespace FilmData {

namespace {

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A standard normal value that depends only on (seed, index): the same on
// every run and for any number of threads.
double gaussian(std::uint64_t seed, std::uint64_t index)
{
    const std::uint64_t a = mix(seed ^ mix(index));
    const std::uint64_t b = mix(a);
    const double u1 = (double(a >> 11) + 1.0) / 9007199254740993.0;
    const double u2 = double(b >> 11) / 9007199254740992.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

template<typename F> void parallelRows(int rows, int threads, F work)
{
    threads = std::max(1, std::min(threads, rows));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([=, &work] {
            for (int y = t; y < rows; y += threads)
                work(y);
        });
    for (std::thread& th : pool)
        th.join();
}

// The spectrum of white noise drawn from (seed, index), every frequency
// scaled to unit magnitude: random phases, flat power.
cv::Mat phaseSpectrum(int width, int height, std::uint64_t seed, int threads)
{
    cv::Mat noise(height, width, CV_64F);
    parallelRows(height, threads, [&](int y) {
        double* row = noise.ptr<double>(y);
        for (int x = 0; x < width; ++x)
            row[x] = gaussian(seed, std::uint64_t(y) * std::uint64_t(width) + std::uint64_t(x));
    });
    cv::Mat spectrum;
    cv::dft(noise, spectrum, cv::DFT_COMPLEX_OUTPUT);
    for (int y = 0; y < height; ++y) {
        cv::Vec2d* row = spectrum.ptr<cv::Vec2d>(y);
        for (int x = 0; x < width; ++x) {
            const double m = std::hypot(row[x][0], row[x][1]);
            row[x] = m > 1e-12 ? cv::Vec2d(row[x][0] / m, row[x][1] / m) : cv::Vec2d(1.0, 0.0);
        }
    }
    return spectrum;
}

// Gaussian-correlated grain of `sigma` pixels with wrap-around edges, zero
// mean and unit variance, made in the frequency domain: every frequency has
// the exact amplitude of a Gaussian filter and the phase of `phases`. Two
// fields of the same sigma thus have the same power spectrum, so the grain's
// strength over any area depends on sigma alone, not on the draw.
std::vector<float> field(const cv::Mat& phases, double sigma)
{
    const int width = phases.cols, height = phases.rows;
    cv::Mat spectrum = phases.clone();
    const double k = 2.0 * 3.141592653589793 * 3.141592653589793 * sigma * sigma;
    for (int y = 0; y < height; ++y) {
        const double fy = double(y <= height / 2 ? y : y - height) / height;
        cv::Vec2d* row = spectrum.ptr<cv::Vec2d>(y);
        for (int x = 0; x < width; ++x) {
            const double fx = double(x <= width / 2 ? x : x - width) / width;
            const double gain = (x == 0 && y == 0) ? 0.0 : std::exp(-k * (fx * fx + fy * fy));
            row[x] *= gain;
        }
    }
    cv::Mat grain;
    cv::dft(spectrum, grain, cv::DFT_INVERSE | cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);
    const std::size_t n = std::size_t(width) * height;
    std::vector<float> out(n);
    double sq = 0.0;
    for (int y = 0; y < height; ++y) {
        const double* row = grain.ptr<double>(y);
        for (int x = 0; x < width; ++x)
            sq += row[x] * row[x];
    }
    const double sd = std::sqrt(std::max(sq / double(n), 1e-30));
    for (int y = 0; y < height; ++y) {
        const double* row = grain.ptr<double>(y);
        for (int x = 0; x < width; ++x)
            out[std::size_t(y) * width + x] = float(row[x] / sd);
    }
    return out;
}

} // namespace

const std::vector<GrainGauge>& GrainSynth::gauges()
{
    static const std::vector<GrainGauge> list {
        { "CP35", 2048, 1152, 1.2, 0x3335ull },
        { "CP16", 2048, 1152, 2.4, 0x3136ull },
        { "CP8", 2048, 1152, 4.8, 0x3038ull },
    };
    return list;
}

const GrainGauge* GrainSynth::gauge(const char* type)
{
    for (const GrainGauge& g : gauges())
        if (std::strcmp(g.type, type) == 0)
            return &g;
    return nullptr;
}

QByteArray GrainSynth::image(const GrainGauge& gauge, int threads)
{
    return image(gauge.width, gauge.height, gauge.sigma, gauge.seed, threads);
}

QByteArray GrainSynth::image(int width, int height, double sigma, std::uint64_t seed, int threads)
{
    const std::size_t n = std::size_t(width) * height;
    // Each channel's phases mix a draw common to the three channels with one
    // of its own (correlation about 0.4), magnitudes kept at one.
    const cv::Mat common = phaseSpectrum(width, height, mix(seed), threads);
    std::vector<double> values(n * 3);
    for (int c = 0; c < 3; ++c) {
        cv::Mat phases = phaseSpectrum(width, height, mix(seed + 1 + c), threads);
        for (int y = 0; y < height; ++y) {
            const cv::Vec2d* a = common.ptr<cv::Vec2d>(y);
            cv::Vec2d* b = phases.ptr<cv::Vec2d>(y);
            for (int x = 0; x < width; ++x) {
                const cv::Vec2d sum = a[x] + b[x];
                const double m = std::hypot(sum[0], sum[1]);
                b[x] = m > 1e-12 ? sum / m : a[x];
            }
        }
        const std::vector<float> f = field(phases, sigma);
        for (std::size_t i = 0; i < n; ++i)
            values[i * 3 + c] = f[i];
    }
    QByteArray pixels(int(n * 3), Qt::Uninitialized);
    for (int c = 0; c < 3; ++c) {
        // Quantise around 128, then nudge the channel so its mean is 128 exactly
        // to the nearest level count.
        std::vector<int> q(n);
        long long total = 0;
        for (std::size_t i = 0; i < n; ++i) {
            q[i] = std::clamp(int(std::lround(128.0 + kStandardDeviation * values[i * 3 + c])), 1, 255);
            total += q[i];
        }
        long long excess = total - 128LL * (long long)n;
        // Spread the rounding excess one level at a time over evenly spaced pixels.
        const long long steps = std::min<long long>(std::llabs(excess), (long long)n);
        const int direction = excess > 0 ? -1 : 1;
        for (long long k = 0; k < steps; ++k) {
            int& v = q[std::size_t(k * (long long)n / std::max<long long>(steps, 1))];
            v = std::clamp(v + direction, 1, 255);
        }
        for (std::size_t i = 0; i < n; ++i)
            pixels[int(i * 3 + c)] = char(q[i]);
    }
    return pixels;
}

double GrainSynth::strength(const FilmStock& stock)
{
    const std::vector<float> c = curve(stock);
    float peak = 0.0f;
    for (int i = 0; i < 256; ++i)
        peak = std::max(peak, c[std::size_t(i) * 3 + 2]);
    return peak;
}

std::vector<float> GrainSynth::responseOfTone(const FilmStock& stock)
{
    // Walk a grey scale through the film and note, for each display value,
    // how far one unit of density noise on the camera film moves it:
    // |d code / d density|, the print's gradient times the display's for a
    // negative, the display's alone for a slide.
    const FilmModel model(CameraEncoding::profiles().front(), stock);
    struct Sample
    {
        double code;
        double response;
    };
    std::vector<Sample> samples;
    const double step = 0.005;
    for (double x = -6.0; x <= 5.0; x += step) {
        const auto codeAt = [&](double e) {
            const double linear = FilmModel::kSceneMidGrey * std::pow(10.0, e);
            return model.renderScene({ linear, linear, linear })[1];
        };
        const double c0 = codeAt(x - 0.5 * step), c1 = codeAt(x + 0.5 * step);
        const double d0 = model.cameraFilmDensity(x - 0.5 * step)[1];
        const double d1 = model.cameraFilmDensity(x + 0.5 * step)[1];
        const double dD = std::abs(d1 - d0);
        const double density = 0.5 * (d0 + d1);
        // Granularity grows with the square root of the density (Selwyn).
        const double granularity = std::sqrt(std::max(density, 0.02));
        const double response = dD > 1e-9 ? granularity * std::abs(c1 - c0) / dD : 0.0;
        samples.push_back({ 0.5 * (c0 + c1), response });
    }
    std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.code < b.code; });
    std::vector<float> tone(256);
    for (int i = 0; i < 256; ++i) {
        const double v = i / 255.0;
        const auto it = std::lower_bound(
            samples.begin(), samples.end(), v, [](const Sample& s, double value) { return s.code < value; });
        double r;
        if (it == samples.begin())
            r = it->response;
        else if (it == samples.end())
            r = samples.back().response;
        else {
            const Sample& a = *(it - 1);
            const Sample& b = *it;
            const double t = b.code > a.code ? (v - a.code) / (b.code - a.code) : 0.0;
            r = a.response + t * (b.response - a.response);
        }
        tone[std::size_t(i)] = float(r);
    }
    return tone;
}

std::vector<float> GrainSynth::curve(const FilmStock& stock)
{
    const bool mono = stock.kind == StockKind::BlackAndWhite;
    // Relative grain of the red, green and blue records: the blue-sensitive
    // layer is the grainiest, the green the finest.
    const double layer[3] = { mono ? 1.0 : 0.85, mono ? 1.0 : 0.75, 1.0 };
    // The sheet's RMS granularity (x 1000, 48 um aperture) in density.
    const double sigma = stock.granularity / 1000.0;
    const std::vector<float> tone = responseOfTone(stock);
    std::vector<float> out(256 * 3);
    for (int i = 0; i < 256; ++i) {
        // Display-code deviation per pixel, in units of the normalised map's
        // standard deviation.
        const double response = kPixelGranularity * sigma * tone[std::size_t(i)] / kMapDeviation;
        for (int c = 0; c < 3; ++c)
            out[std::size_t(i) * 3 + c] = float(std::clamp(response * layer[c], 0.0, 0.2));
    }
    return out;
}

} // namespace FilmData
} // namespace Emulsa
