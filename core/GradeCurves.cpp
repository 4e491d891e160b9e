#include "core/GradeCurves.h"

#include "core/ExposureConversion.h"

#include <algorithm>
#include <cmath>

namespace Emulsa::GradeCurves {

namespace {

// The wheel control's pi: theta = +-pi lands just past t = +-1 and is pulled
// back to +-0.99999.
constexpr float WheelPi = 3.14159f;

constexpr float LevelsEpsilon = 0.001f;
constexpr int LevelsSamples = 8192;

struct Point
{
    float x;
    float y;
};

// Uniform Catmull-Rom spline between p1 and p2.
Point catmullRom(float t, const Point& p0, const Point& p1, const Point& p2, const Point& p3)
{
    const float t2 = t * t;
    const float t3 = t2 * t;
    auto axis = [&](float a0, float a1, float a2, float a3) {
        return 0.5f
            * (2.0f * a1 + (a2 - a0) * t + (2.0f * a0 - 5.0f * a1 + 4.0f * a2 - a3) * t2
                + (-a0 + 3.0f * a1 - 3.0f * a2 + a3) * t3);
    };
    return { axis(p0.x, p1.x, p2.x, p3.x), axis(p0.y, p1.y, p2.y, p3.y) };
}

Matrix makeIdentity()
{
    Matrix m {};
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return m;
}

} // namespace

float sampleLikeTexture(const float* table, int stride, int offset, float x)
{
    const float u = std::clamp(x * float(TableSize) - 0.5f, 0.f, float(TableSize - 1));
    const int first = std::min(int(u), TableSize - 2);
    const float weight = u - float(first);
    const float a = table[first * stride + offset];
    const float b = table[(first + 1) * stride + offset];
    return a + (b - a) * weight;
}

void composeTone(const ScalarTable& liftGammaGain, const RgbTable& wheels, const ScalarTable* levels, RgbTable& out)
{
    for (int i = 0; i < TableSize; ++i) {
        const float centre = (float(i) + 0.5f) / float(TableSize);
        const float lifted = sampleLikeTexture(liftGammaGain.data(), 1, 0, centre);
        for (int c = 0; c < 3; ++c) {
            float v = sampleLikeTexture(wheels.data(), 3, c, lifted);
            if (levels)
                v = sampleLikeTexture(levels->data(), 1, 0, v);
            out[size_t(i) * 3 + size_t(c)] = v;
        }
    }
}

const Matrix& identityMatrix()
{
    static const Matrix identity = makeIdentity();
    return identity;
}

const Matrix& blackAndWhiteMatrix()
{
    static const Matrix matrix = {
        0.2126f, 0.2126f, 0.2126f, 0.0f, //
        0.7152f, 0.7152f, 0.7152f, 0.0f, //
        0.0722f, 0.0722f, 0.0722f, 0.0f, //
        0.0f, 0.0f, 0.0f, 1.0f, //
    };
    return matrix;
}

float softKnee(float x, float gain, float knee)
{
    const float threshold = (1.0f - knee) / gain;
    if (x <= threshold || knee <= 0.0f)
        return x * gain;
    const float a = gain - 1.0f + knee;
    const float p = a / knee;
    const float u = (gain / a) * (x - threshold);
    const float q = 2.6f / std::pow(p, 1.4f) + 1.0f;
    return (u * p - std::pow(u, q) * (p - 1.0f)) * knee + (1.0f - knee);
}

void buildExposureTable(float exposure, float kelvin, const ExposureConversion* conversion, RgbTable& out)
{
    const float shift = (kelvin - 5600.0f) * ExposureConversion::KelvinMultiplier;
    const bool warm = shift >= 0.0f;
    const float fraction = shift / (warm ? ExposureConversion::WarmDivisor : ExposureConversion::CoolDivisor);

    const float* codeToLog[3] = { nullptr, nullptr, nullptr };
    const float* logToCode[3];
    static const ExposureConversion identity;
    const ExposureConversion* source = conversion ? conversion : &identity;
    for (int c = 0; c < 3; ++c) {
        codeToLog[c] = source->codeToLog(c);
        logToCode[c] = source->logToCode(c);
    }

    for (int i = 0; i < TableSize; ++i) {
        const float x = float(i) / float(TableSize - 1);
        float channel[3];
        if (warm) {
            channel[0] = softKnee(x, 1.353f, 0.08f);
            channel[1] = x;
            channel[2] = 0.7f * x;
        } else {
            channel[0] = 0.5f * x;
            channel[1] = softKnee(x, 1.1f, 0.08f);
            channel[2] = softKnee(x, 1.8f, 0.08f);
        }
        for (int c = 0; c < 3; ++c) {
            float value = x * (1.0f - fraction) + channel[c] * fraction;
            value = std::clamp(value, 0.0f, 1.0f);
            if (codeToLog[c])
                value = codeToLog[c][int(65535.0f * value)];
            // Linear light 10^(e + c) clamped to [0.001, 1000] and taken back
            // to log10 is e + c clamped to [-3, 3]; computed directly, which
            // keeps this rebuild cheap enough for every slider step.
            const float log = std::clamp(exposure + value, ExposureConversion::LogLow, ExposureConversion::LogHigh);
            int index = int((log - ExposureConversion::LogLow) * ExposureConversion::LogToCodeIndexScale);
            index = std::clamp(index, 0, ExposureConversion::EntryCount - 1);
            out[size_t(i * 3 + c)] = std::clamp(logToCode[c][index], 0.0f, 1.0f);
        }
    }
}

void buildLiftGammaGainTable(double lift, double gamma, double gain, ScalarTable& out)
{
    const double offset = 1.0 - 1.0 / lift;
    const double exponent = 2.0 - gamma;
    for (int i = 0; i < TableSize; ++i) {
        const double x = double(i) / double(TableSize);
        const double base = (x / lift + offset) * gain;
        out[size_t(i)] = base <= 0.0 ? 0.0f : float(std::clamp(std::pow(base, exponent), 0.0, 1.0));
    }
}

std::array<float, 3> hueRGB(double theta)
{
    float t = float(theta) / WheelPi;
    if (t > 1.0f)
        t = 0.99999f;
    else if (t < -1.0f)
        t = -0.99999f;
    const double d = t;
    if (d >= 1.0 / 6.0 && d < 0.5)
        return { 1.0f, 0.0f, 1.5f - 3.0f * t };
    if (d >= -1.0 / 6.0 && d < 1.0 / 6.0)
        return { 3.0f * t + 0.5f, 0.0f, 1.0f };
    if (d >= -0.5 && d < -1.0 / 6.0)
        return { 0.0f, -3.0f * t - 0.5f, 1.0f };
    if (d >= -5.0 / 6.0 && d < -0.5)
        return { 0.0f, 1.0f, 3.0f * t + 2.5f };
    if (d < -5.0 / 6.0)
        return { -3.0f * t - 2.5f, 1.0f, 0.0f };
    if (d >= 0.5 && d < 5.0 / 6.0)
        return { 1.0f, 3.0f * t - 1.5f, 0.0f };
    return { -3.0f * t + 3.5f, 1.0f, 0.0f };
}

void buildColorWheelsTable(
    const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high, RgbTable& out)
{
    const std::array<float, 3> lowHue = hueRGB(low.theta);
    const std::array<float, 3> midHue = hueRGB(mid.theta);
    const std::array<float, 3> highHue = hueRGB(high.theta);
    double shadows[3];
    double midtones[3];
    double highlights[3];
    for (int c = 0; c < 3; ++c) {
        shadows[c] = lowHue[size_t(c)] * (1.0 - 0.25 * low.radius) + (1.0 - lowHue[size_t(c)]);
        midtones[c] = 0.25 * mid.radius * midHue[size_t(c)];
        highlights[c] = highHue[size_t(c)] * (0.5 * high.radius) + 1.0;
    }
    for (int i = 0; i < TableSize; ++i) {
        const double x = double(i) / double(TableSize - 1);
        double s = (x - 1.0) * (x - 1.0);
        double h = x * x;
        double m = 1.0 - (2.0 * x - 1.0) * (2.0 * x - 1.0);
        const double sum = s + h + m;
        s /= sum;
        h /= sum;
        m /= sum;
        for (int c = 0; c < 3; ++c) {
            const double value
                = (shadows[c] * x + 1.0 - shadows[c]) * s + (x + midtones[c]) * m + x * highlights[c] * h;
            out[size_t(i * 3 + c)] = float(std::clamp(value, 0.0, 1.0));
        }
    }
}

void buildSaturationMatrix(double saturation, Matrix& out)
{
    const double a = (1.0 - saturation) * 0.2126;
    const double b = (1.0 - saturation) * 0.7152;
    const double c = (1.0 - saturation) * 0.0722;
    out = {
        float(saturation + a), float(a), float(a), 0.0f, //
        float(b), float(saturation + b), float(b), 0.0f, //
        float(c), float(c), float(saturation + c), 0.0f, //
        0.0f, 0.0f, 0.0f, 1.0f, //
    };
}

HistogramSliderData orderLevels(const HistogramSliderData& levels)
{
    float black = levels.black;
    float mid = levels.mid;
    float white = levels.white;
    if (black + 2.0f * LevelsEpsilon <= white) {
        mid = std::max(mid, black + LevelsEpsilon);
        if (mid + LevelsEpsilon > white)
            mid = white - LevelsEpsilon;
    } else if (white > 0.5f) {
        mid = white - LevelsEpsilon;
        black = white - 2.0f * LevelsEpsilon;
    } else {
        mid = black + LevelsEpsilon;
        white = black + 2.0f * LevelsEpsilon;
    }
    HistogramSliderData ordered;
    ordered.black = black;
    ordered.mid = mid;
    ordered.white = white;
    return ordered;
}

void buildLevelsTable(const HistogramSliderData& levels, ScalarTable& out)
{
    const HistogramSliderData ordered = orderLevels(levels);
    const Point black { ordered.black, 0.0f };
    const Point mid { ordered.mid, 0.5f };
    const Point white { ordered.white, 1.0f };

    // out doubles as the work table of bucket outputs. A sample moves less
    // than a bucket along x (8192 samples a segment, 4096 buckets), so the
    // buckets between the lowest and the highest written are all written.
    out.fill(0.0f);
    int lowest = TableSize;
    int highest = -1;
    auto store = [&](const Point& p) {
        const int bucket = std::clamp(int(p.x * float(TableSize)), 0, TableSize - 1);
        out[size_t(bucket)] = p.y;
        lowest = std::min(lowest, bucket);
        highest = std::max(highest, bucket);
    };
    for (int j = 0; j < LevelsSamples; ++j) {
        const float t = float(j) / float(LevelsSamples);
        Point p = catmullRom(t, black, black, mid, white);
        p.x = std::clamp(p.x, ordered.black, ordered.mid);
        store(p);
        Point q = catmullRom(t, black, mid, white, white);
        q.x = std::clamp(q.x, ordered.mid, ordered.white);
        store(q);
    }

    for (int i = 0; i < lowest; ++i)
        out[size_t(i)] = 0.0f;
    for (int i = highest + 1; i < TableSize; ++i)
        out[size_t(i)] = 1.0f;
}

} // namespace Emulsa::GradeCurves
