#include "GrainSynth.h"

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

// White noise filtered by a Gaussian of `sigma` pixels with wrap-around
// edges, normalised to zero mean and unit variance.
std::vector<float> field(int width, int height, double sigma, std::uint64_t seed, int threads)
{
    const std::size_t n = std::size_t(width) * height;
    std::vector<float> a(n), b(n);
    parallelRows(height, threads, [&](int y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * width + x;
            a[i] = float(gaussian(seed, i));
        }
    });
    const int radius = std::max(1, int(std::ceil(3.0 * sigma)));
    std::vector<float> kernel(2 * radius + 1);
    for (int k = -radius; k <= radius; ++k)
        kernel[k + radius] = float(std::exp(-0.5 * k * k / (sigma * sigma)));
    parallelRows(height, threads, [&](int y) {
        // The row with `radius` wrapped pixels on either side.
        std::vector<float> padded(std::size_t(width) + 2 * radius);
        const float* row = &a[std::size_t(y) * width];
        for (int x = -radius; x < width + radius; ++x)
            padded[std::size_t(x + radius)] = row[((x % width) + width) % width];
        float* out = &b[std::size_t(y) * width];
        for (int x = 0; x < width; ++x) {
            const float* p = &padded[std::size_t(x)];
            float s = 0.0f;
            for (int k = 0; k <= 2 * radius; ++k)
                s += kernel[k] * p[k];
            out[x] = s;
        }
    });
    parallelRows(height, threads, [&](int y) {
        float* out = &a[std::size_t(y) * width];
        std::fill(out, out + width, 0.0f);
        for (int k = -radius; k <= radius; ++k) {
            const float w = kernel[k + radius];
            const float* src = &b[std::size_t(((y + k) % height + height) % height) * width];
            for (int x = 0; x < width; ++x)
                out[x] += w * src[x];
        }
    });
    double sum = 0.0, sq = 0.0;
    for (float v : a) {
        sum += v;
        sq += double(v) * v;
    }
    const double mean = sum / n;
    const double sd = std::sqrt(std::max(sq / n - mean * mean, 1e-12));
    for (float& v : a)
        v = float((v - mean) / sd);
    return a;
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
    const std::vector<float> common = field(width, height, sigma, mix(seed), threads);
    // Half the variance is shared by the three channels.
    const double shared = std::sqrt(0.5), own = std::sqrt(0.5);
    std::vector<double> values(n * 3);
    for (int c = 0; c < 3; ++c) {
        const std::vector<float> f = field(width, height, sigma, mix(seed + 1 + c), threads);
        for (std::size_t i = 0; i < n; ++i)
            values[i * 3 + c] = shared * common[i] + own * f[i];
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
    const double base = 0.045 + 0.026 * std::log2(stock.speed / 50.0);
    return std::clamp(base * stock.granularity, 0.02, 0.2);
}

std::vector<float> GrainSynth::curve(const FilmStock& stock)
{
    const bool mono = stock.kind == StockKind::BlackAndWhite;
    // Relative grain of the red, green and blue records: the blue-sensitive
    // layer is the grainiest, the green the finest.
    const double layer[3] = { mono ? 1.0 : 0.85, mono ? 1.0 : 0.75, 1.0 };
    const double peak = strength(stock);
    std::vector<float> out(256 * 3);
    for (int i = 0; i < 256; ++i) {
        const double v = i / 255.0;
        const double d = (v - 0.45) / 0.26;
        const double tone = 0.15 + 0.85 * std::exp(-d * d);
        for (int c = 0; c < 3; ++c)
            out[std::size_t(i) * 3 + c] = float(std::clamp(peak * layer[c] * tone, 0.0, 0.2));
    }
    return out;
}

} // namespace FilmData
} // namespace Emulsa
