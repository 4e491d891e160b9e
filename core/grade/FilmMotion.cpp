#include "core/grade/FilmMotion.h"

#include "core/grade/FrameSeed.h"

#include <algorithm>
#include <cmath>

namespace Emulsa::FilmMotion {

namespace {

// Streams of FrameSeed::hash() (frame -1 holds the clip's constants, which
// no frame uses: the per-frame values are those of the waves).
enum Stream : quint32
{
    WeaveStream = 0x57000000u,
    JumpStream = 0x4a000000u,
    FlickerStream = 0x46000000u,
};
constexpr qint64 kClipConstants = -1;

// Weights of the three sinusoids of a wave; their sum is 1, so a wave stays
// within [-1, 1].
constexpr double kWeights[3] = { 0.5, 0.3, 0.2 };
constexpr double kTwoPi = 6.283185307179586;

} // namespace

float wave(quint32 clipSeed, qint64 frame, quint32 stream, double lowest, double highest)
{
    double sum = 0.0;
    for (quint32 k = 0; k < 3; ++k) {
        const double frequency
            = lowest + (highest - lowest) * double(FrameSeed::unit(clipSeed, kClipConstants, stream + 2 * k));
        const double phase = double(FrameSeed::unit(clipSeed, kClipConstants, stream + 2 * k + 1));
        // The cycle count kept in [0, 1) before the sine, so that frames far
        // into a clip lose no precision.
        double cycles = std::fmod(frequency * double(frame) + phase, 1.0);
        sum += kWeights[k] * std::sin(kTwoPi * cycles);
    }
    return float(sum);
}

Frame at(quint32 clipSeed, qint64 frame, float weave, float flicker)
{
    Frame motion;
    if (weave > 0.f) {
        // A slow weave across (a cycle in 25 to 100 frames), a faster jump
        // up and down (a cycle in 5 to 12 frames).
        motion.offset[0] = weave * kWeaveWidth * FilmMotion::wave(clipSeed, frame, WeaveStream, 0.01, 0.04);
        motion.offset[1] = weave * kJumpHeight * FilmMotion::wave(clipSeed, frame, JumpStream, 0.08, 0.2);
    }
    if (flicker > 0.f) {
        // Mostly one change of the light shared by the layers, partly each
        // layer's own; a cycle in 8 to 50 frames.
        const float common = FilmMotion::wave(clipSeed, frame, FlickerStream, 0.02, 0.12);
        for (quint32 c = 0; c < 3; ++c) {
            const float own = FilmMotion::wave(clipSeed, frame, FlickerStream + 16 * (c + 1), 0.02, 0.12);
            motion.gain[c] = 1.f + flicker * kFlickerGain * (0.7f * common + 0.3f * own);
        }
    }
    return motion;
}

void shiftPicture(const float* src, float* dst, int width, int height, const std::array<float, 2>& offset)
{
    // The texel coordinate of a pixel centre moved by the offset: texture
    // coordinate times size, less the half texel of the texel centres.
    auto texel = [](int pixel, int size, float move, int* first, float* weight) {
        const float position = (float(pixel) + 0.5f) / float(size) + move;
        const float t = position * float(size) - 0.5f;
        const float corner = std::floor(t);
        *first = int(corner);
        *weight = t - corner;
    };
    auto at = [&](int x, int y, int c) {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return src[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(c)];
    };
    for (int y = 0; y < height; ++y) {
        int y0;
        float wy;
        texel(y, height, offset[1], &y0, &wy);
        for (int x = 0; x < width; ++x) {
            int x0;
            float wx;
            texel(x, width, offset[0], &x0, &wx);
            float* out = dst + (size_t(y) * size_t(width) + size_t(x)) * 4;
            for (int c = 0; c < 4; ++c) {
                const float top = at(x0, y0, c) + (at(x0 + 1, y0, c) - at(x0, y0, c)) * wx;
                const float bottom = at(x0, y0 + 1, c) + (at(x0 + 1, y0 + 1, c) - at(x0, y0 + 1, c)) * wx;
                out[c] = top + (bottom - top) * wy;
            }
        }
    }
}

} // namespace Emulsa::FilmMotion
