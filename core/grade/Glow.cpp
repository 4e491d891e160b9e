#include "core/grade/Glow.h"

#include "core/ClipSettings.h"

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

// Halation: the light reflected by the base reaches the red layer most and
// widest; the blue layer, exposed first, hardly at all.
constexpr float kHalationThreshold = 0.5f;
constexpr float kHalationStrength = 0.4f;
constexpr std::array<float, 3> kHalationShare { { 0.72f, 0.25f, 0.03f } };
constexpr std::array<float, 3> kHalationMicrometres { { 115.f, 70.f, 40.f } };
constexpr float kBloomThreshold = 0.8f;
constexpr float kBloomStrength = 0.35f;
// Above this spread per level pixel the level is halved again.
constexpr float kLevelSigma = 2.5f;

} // namespace

GlowParams Glow::halation(float amount, const QString& gauge, unsigned int width)
{
    GlowParams params;
    params.threshold = kHalationThreshold;
    const float a = std::clamp(amount, 0.f, 1.f);
    params.strength = { { a * kHalationStrength, a * kHalationStrength, a * kHalationStrength } };
    for (size_t c = 0; c < 3; ++c) {
        params.mix[c] = { { kHalationShare[c], kHalationShare[c], kHalationShare[c] } };
        params.sigma[c] = float(ClipSettings::filmToPixels(kHalationMicrometres[c], gauge, width));
    }
    return params;
}

GlowParams Glow::bloom(float amount, const QString& gauge, unsigned int width, float radiusMicrometres)
{
    GlowParams params;
    params.threshold = kBloomThreshold;
    const float a = std::clamp(amount, 0.f, 1.f);
    const float radius = radiusMicrometres > 0.f ? radiusMicrometres : DefaultBloomMicrometres;
    const float sigma = float(ClipSettings::filmToPixels(radius, gauge, width));
    params.strength = { { a * kBloomStrength, a * kBloomStrength, a * kBloomStrength } };
    params.sigma = { { sigma, sigma, sigma } };
    return params;
}

int Glow::factorFor(const GlowParams& params)
{
    const float widest = std::max({ params.sigma[0], params.sigma[1], params.sigma[2] });
    int factor = 1;
    while (widest / float(factor) > kLevelSigma && factor < MaxFactor)
        factor *= 2;
    return factor;
}

std::array<std::array<float, 3>, Glow::MaxRadius + 1> Glow::weights(const GlowParams& params, int factor, int* radius)
{
    // Variance the block average and the bilinear sampling add, in pixels.
    const double f = double(factor);
    const double added = (f * f - 1.0) / 12.0 + (factor > 1 ? f * f / 6.0 : 0.0);
    std::array<double, 3> sigma {};
    double widest = 0.0;
    for (size_t c = 0; c < 3; ++c) {
        const double s = double(params.sigma[c]);
        sigma[c] = std::sqrt(std::max(s * s - added, 0.0)) / f;
        widest = std::max(widest, sigma[c]);
    }
    const int r = std::min(MaxRadius, int(std::ceil(3.0 * widest)));
    std::array<std::array<float, 3>, MaxRadius + 1> w {};
    for (size_t c = 0; c < 3; ++c) {
        std::array<double, MaxRadius + 1> taps {};
        double sum = 0.0;
        for (int k = 0; k <= r; ++k) {
            taps[size_t(k)] = sigma[c] > 1e-6 ? std::exp(-double(k * k) / (2.0 * sigma[c] * sigma[c])) : (k == 0);
            sum += (k == 0 ? 1.0 : 2.0) * taps[size_t(k)];
        }
        for (int k = 0; k <= r; ++k)
            w[size_t(k)][c] = float(taps[size_t(k)] / sum);
    }
    if (radius)
        *radius = r;
    return w;
}

void Glow::apply(const float* in, float* out, int width, int height, const GlowParams& params)
{
    const size_t pixels = size_t(width) * size_t(height);
    if (params.isOff() || width <= 0 || height <= 0) {
        if (out != in)
            std::copy(in, in + pixels * 4, out);
        return;
    }
    const int factor = factorFor(params);
    int radius = 0;
    const auto w = weights(params, factor, &radius);
    const int lw = levelSize(width, factor);
    const int lh = levelSize(height, factor);
    auto taken = [&](int x, int y, int c) {
        const float v = in[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(c)];
        return std::max(v - params.threshold, 0.f) * params.strength[size_t(c)];
    };

    // The level: the light given to each glow channel, averaged over each
    // block, edges clamped.
    std::vector<float> level(size_t(lw) * size_t(lh) * 3, 0.f);
    const float blockArea = 1.f / float(factor * factor);
    for (int j = 0; j < lh; ++j)
        for (int i = 0; i < lw; ++i) {
            float sum[3] = { 0.f, 0.f, 0.f };
            for (int b = 0; b < factor; ++b)
                for (int a = 0; a < factor; ++a) {
                    const int x = std::min(i * factor + a, width - 1);
                    const int y = std::min(j * factor + b, height - 1);
                    for (int c = 0; c < 3; ++c)
                        sum[c] += taken(x, y, c);
                }
            for (size_t c = 0; c < 3; ++c)
                level[(size_t(j) * size_t(lw) + size_t(i)) * 3 + c]
                    = (params.mix[c][0] * sum[0] + params.mix[c][1] * sum[1] + params.mix[c][2] * sum[2]) * blockArea;
        }

    // The separable Gaussian, horizontally then vertically: one pass along
    // rows or columns, edges clamped.
    auto blurPass = [&](const std::vector<float>& from, std::vector<float>& to, bool vertical) {
        for (int j = 0; j < lh; ++j)
            for (int i = 0; i < lw; ++i)
                for (int c = 0; c < 3; ++c) {
                    float sum = 0.f;
                    for (int k = -radius; k <= radius; ++k) {
                        const int x = vertical ? i : std::clamp(i + k, 0, lw - 1);
                        const int y = vertical ? std::clamp(j + k, 0, lh - 1) : j;
                        sum += w[size_t(std::abs(k))][size_t(c)]
                            * from[(size_t(y) * size_t(lw) + size_t(x)) * 3 + size_t(c)];
                    }
                    to[(size_t(j) * size_t(lw) + size_t(i)) * 3 + size_t(c)] = sum;
                }
    };
    std::vector<float> across(level.size());
    blurPass(level, across, false);
    blurPass(across, level, true);

    // Each pixel: its light less the light taken, plus the glow.
    std::vector<float> result(pixels * 4);
    for (int y = 0; y < height; ++y) {
        const float v = (float(y) + 0.5f) / float(factor) - 0.5f;
        const int j0 = int(std::floor(v));
        const float fy = v - float(j0);
        const int ja = std::clamp(j0, 0, lh - 1);
        const int jb = std::clamp(j0 + 1, 0, lh - 1);
        for (int x = 0; x < width; ++x) {
            const float u = (float(x) + 0.5f) / float(factor) - 0.5f;
            const int i0 = int(std::floor(u));
            const float fx = u - float(i0);
            const int ia = std::clamp(i0, 0, lw - 1);
            const int ib = std::clamp(i0 + 1, 0, lw - 1);
            const size_t p = (size_t(y) * size_t(width) + size_t(x)) * 4;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int i, int j) { return level[(size_t(j) * size_t(lw) + size_t(i)) * 3 + size_t(c)]; };
                const float top = at(ia, ja) + (at(ib, ja) - at(ia, ja)) * fx;
                const float bottom = at(ia, jb) + (at(ib, jb) - at(ia, jb)) * fx;
                const float glow = top + (bottom - top) * fy;
                result[p + size_t(c)] = in[p + size_t(c)] - taken(x, y, c) + glow;
            }
            result[p + 3] = in[p + 3];
        }
    }
    std::copy(result.begin(), result.end(), out);
}

} // namespace Emulsa
