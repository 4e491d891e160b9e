#include "common/TestEnvironment.h"

#include "FilmDataFixture.h"
#include "GpuTestSupport.h"

#include "core/grade/FilmMotion.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>
#include <cmath>
#include <map>
#include <set>

#include <opencv2/imgproc.hpp>

using namespace Emulsa;
using namespace Emulsa::Test;

// What the GPU grade does from frame to frame: the gate weave and flicker of
// each frame, measured on the graded pictures, and grain that depends on the
// clip and the frame alone.
class TestGpuGradeMotion : public GpuGradeTest
{
    Q_OBJECT

private slots:
    void weaveMovesThePictureWithinItsAmount_data();
    void weaveMovesThePictureWithinItsAmount();
    void flickerChangesExposureSmoothly_data();
    void flickerChangesExposureSmoothly();
    void framesGradeTheSameInAnyOrder();
    void colourGrainIsPerLayerAndPerFrame();

private:
    // A soft random texture (RGBA, 0.2 .. 0.8) for measuring motion.
    static std::vector<float> texturePicture(int width, int height);
};

std::vector<float> TestGpuGradeMotion::texturePicture(int width, int height)
{
    QRandomGenerator random(36);
    cv::Mat noise(height, width, CV_32FC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            noise.at<cv::Vec3f>(y, x) = cv::Vec3f(
                float(random.generateDouble()), float(random.generateDouble()), float(random.generateDouble()));
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), 2.5);
    cv::normalize(noise, noise, 0.2, 0.8, cv::NORM_MINMAX);
    std::vector<float> rgba(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const cv::Vec3f v = noise.at<cv::Vec3f>(y, x);
            float* out = rgba.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
            out[0] = std::round(v[0] * 255.f) / 255.f;
            out[1] = std::round(v[1] * 255.f) / 255.f;
            out[2] = std::round(v[2] * 255.f) / 255.f;
            out[3] = 1.f;
        }
    return rgba;
}

namespace {

// One channel of an RGBA float picture, as a 64-bit image for phaseCorrelate.
cv::Mat channelOf(const std::vector<float>& rgba, int width, int height, int channel)
{
    cv::Mat out(height, width, CV_64F);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.at<double>(y, x) = rgba[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(channel)];
    return out;
}

double channelMean(const std::vector<float>& rgba, int channel)
{
    double sum = 0.0;
    for (size_t i = size_t(channel); i < rgba.size(); i += 4)
        sum += rgba[i];
    return sum / double(rgba.size() / 4);
}

} // namespace

void TestGpuGradeMotion::weaveMovesThePictureWithinItsAmount_data()
{
    QTest::addColumn<int>("amount");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("full, 640x360") << 100 << 640 << 360;
    QTest::newRow("40 %, 640x360") << 40 << 640 << 360;
    QTest::newRow("full, 480x270") << 100 << 480 << 270;
}

// The displacement of each frame, measured by phase correlation against the
// steady picture: within the amount's amplitude, the one the frame's motion
// gives, the horizontal weave slow and the vertical jump faster.
void TestGpuGradeMotion::weaveMovesThePictureWithinItsAmount()
{
    QFETCH(int, amount);
    QFETCH(int, width);
    QFETCH(int, height);
    const std::vector<float> picture = texturePicture(width, height);
    ClipSettings settings = neutralSettings();
    GpuGrader steadyGrader;
    QVERIFY(steadyGrader.create(m_gl, settings, width, height));
    const cv::Mat steady = channelOf(steadyGrader.grade(picture), width, height, 1);

    settings.setWeaveAmount(amount);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, width, height));
    const double limitX = FilmMotion::kWeaveWidth * amount / 100.0 * width;
    const double limitY = FilmMotion::kJumpHeight * amount / 100.0 * height;
    constexpr int kFrames = 40;
    std::vector<cv::Point2d> measured;
    double largestX = 0.0, largestY = 0.0;
    // Per axis: sums of measured x wanted, wanted squared, measured squared.
    double fit[2][3] = { { 0.0, 0.0, 0.0 }, { 0.0, 0.0, 0.0 } };
    for (int frame = 0; frame < kFrames; ++frame) {
        grader.processor->grade().setFrameIdentity(kClipSeed, frame);
        const cv::Mat moved = channelOf(grader.grade(picture), width, height, 1);
        const cv::Point2d shift = cv::phaseCorrelate(steady, moved);
        measured.push_back(shift);
        // Pixel x shows the picture at x + offset: the picture moves by -offset.
        const FilmMotion::Frame motion = FilmMotion::at(kClipSeed, frame, amount / 100.f, 0.f);
        const double wantX = -double(motion.offset[0]) * width;
        const double wantY = -double(motion.offset[1]) * height;
        QVERIFY2(std::abs(shift.x) <= limitX + 0.05 && std::abs(shift.y) <= limitY + 0.05,
            qPrintable(QStringLiteral("frame %1 moved (%2, %3), limit (%4, %5)")
                           .arg(frame)
                           .arg(shift.x)
                           .arg(shift.y)
                           .arg(limitX)
                           .arg(limitY)));
        for (int axis = 0; axis < 2; ++axis) {
            const double got = axis == 0 ? shift.x : shift.y;
            const double want = axis == 0 ? wantX : wantY;
            fit[axis][0] += got * want;
            fit[axis][1] += want * want;
            fit[axis][2] += got * got;
        }
        largestX = std::max(largestX, std::abs(shift.x));
        largestY = std::max(largestY, std::abs(shift.y));
    }
    // The measured motion follows the frame's: phase correlation of a
    // linearly filtered move reads sub-pixel shifts some 15 % short.
    for (int axis = 0; axis < 2; ++axis) {
        const double slope = fit[axis][0] / fit[axis][1];
        const double correlation = fit[axis][0] / std::sqrt(fit[axis][1] * fit[axis][2]);
        QVERIFY2(slope > 0.7 && slope < 1.1 && correlation > 0.97,
            qPrintable(QStringLiteral("axis %1: slope %2, correlation %3").arg(axis).arg(slope).arg(correlation)));
    }
    // It does move, by a good part of the amplitude in 40 frames.
    QVERIFY2(largestX > 0.4 * limitX && largestY > 0.4 * limitY,
        qPrintable(QStringLiteral("largest (%1, %2)").arg(largestX).arg(largestY)));
    // Frame to frame, the jump changes faster for its amplitude than the weave.
    double stepX = 0.0, stepY = 0.0;
    for (size_t i = 1; i < measured.size(); ++i) {
        stepX += std::abs(measured[i].x - measured[i - 1].x) / limitX;
        stepY += std::abs(measured[i].y - measured[i - 1].y) / limitY;
    }
    QVERIFY2(stepY > 1.5 * stepX, qPrintable(QStringLiteral("steps x %1, y %2").arg(stepX).arg(stepY)));
}

void TestGpuGradeMotion::flickerChangesExposureSmoothly_data()
{
    QTest::addColumn<int>("amount");
    QTest::newRow("full") << 100;
    QTest::newRow("half") << 50;
}

// The mean of each layer per frame against the steady picture: within the
// amount's gain, the one the frame's motion gives, smooth from frame to frame
// (neighbouring frames alike) and not the same in every layer.
void TestGpuGradeMotion::flickerChangesExposureSmoothly()
{
    QFETCH(int, amount);
    constexpr int w = 96;
    constexpr int h = 64;
    const std::vector<float> picture = texturePicture(w, h);
    ClipSettings settings = neutralSettings();
    GpuGrader steadyGrader;
    QVERIFY(steadyGrader.create(m_gl, settings, w, h));
    const std::vector<float> steady = steadyGrader.grade(picture);
    settings.setFlickerAmount(amount);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, w, h));

    constexpr int kFrames = 48;
    const double limit = FilmMotion::kFlickerGain * amount / 100.0;
    std::array<std::vector<double>, 3> ratios;
    double worstError = 0.0, layersApart = 0.0, largest = 0.0;
    for (int frame = 0; frame < kFrames; ++frame) {
        grader.processor->grade().setFrameIdentity(kClipSeed, frame);
        const std::vector<float> graded = grader.grade(picture);
        const FilmMotion::Frame motion = FilmMotion::at(kClipSeed, frame, 0.f, amount / 100.f);
        for (int c = 0; c < 3; ++c) {
            const double ratio = channelMean(graded, c) / channelMean(steady, c);
            ratios[size_t(c)].push_back(ratio);
            QVERIFY2(std::abs(ratio - 1.0) <= limit + 0.003,
                qPrintable(QStringLiteral("frame %1 layer %2 gain %3").arg(frame).arg(c).arg(ratio)));
            worstError = std::max(worstError, std::abs(ratio - double(motion.gain[size_t(c)])));
            largest = std::max(largest, std::abs(ratio - 1.0));
        }
        layersApart = std::max(layersApart, std::abs(ratios[0].back() - ratios[2].back()));
    }
    QVERIFY2(worstError < 0.003, qPrintable(QStringLiteral("gain off by %1").arg(worstError)));
    QVERIFY2(largest > 0.4 * limit, qPrintable(QStringLiteral("largest change %1").arg(largest)));
    QVERIFY2(layersApart > 0.05 * limit, qPrintable(QStringLiteral("layers apart by %1").arg(layersApart)));
    // Smooth: the lag-one autocorrelation of each layer's series is high (a
    // series drawn anew each frame has one near 0).
    for (const std::vector<double>& series : ratios) {
        double mean = 0.0;
        for (double v : series)
            mean += v / double(series.size());
        double lagged = 0.0, variance = 0.0;
        for (size_t i = 0; i < series.size(); ++i) {
            variance += (series[i] - mean) * (series[i] - mean);
            if (i > 0)
                lagged += (series[i] - mean) * (series[i - 1] - mean);
        }
        QVERIFY2(lagged / variance > 0.6, qPrintable(QStringLiteral("lag-one correlation %1").arg(lagged / variance)));
    }
}

// Weave, flicker and grain of a frame depend on the clip and frame only: two
// renders of the same frames are identical, and so are frames drawn in
// another order; neighbouring frames differ.
void TestGpuGradeMotion::framesGradeTheSameInAnyOrder()
{
    ClipSettings settings = neutralSettings();
    settings.setWeaveAmount(100);
    settings.setFlickerAmount(100);
    settings.setGrainAmount(80);
    auto render = [&](const std::vector<qint64>& frames) {
        GpuGrader grader;
        std::map<qint64, QByteArray> digests;
        if (!grader.create(m_gl, settings, W, H))
            return digests;
        for (qint64 frame : frames) {
            grader.processor->grade().setFrameIdentity(kClipSeed, frame);
            const std::vector<float> graded = grader.grade(m_picture);
            QByteArray bytes;
            for (float v : graded)
                bytes.append(char(toByte(v)));
            digests[frame] = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
        }
        return digests;
    };
    const auto first = render({ 0, 1, 2, 3, 4, 5 });
    const auto again = render({ 0, 1, 2, 3, 4, 5 });
    const auto shuffled = render({ 4, 1, 5, 0, 3, 2 });
    QCOMPARE(first.size(), size_t(6));
    QVERIFY(first == again);
    QVERIFY(first == shuffled);
    std::set<QByteArray> distinct;
    for (const auto& [frame, digest] : first)
        distinct.insert(digest);
    QCOMPARE(distinct.size(), size_t(6));
}

namespace {

// The grain a grade adds to a flat grey picture: graded minus the same grade
// without grain, per channel, as width x height images.
std::array<cv::Mat, 3> grainOf(const std::vector<float>& graded, const std::vector<float>& plain, int width, int height)
{
    std::array<cv::Mat, 3> out;
    for (int c = 0; c < 3; ++c) {
        out[size_t(c)] = cv::Mat(height, width, CV_64F);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(c);
                out[size_t(c)].at<double>(y, x) = double(graded[i]) - double(plain[i]);
            }
    }
    return out;
}

// Correlation of two images, pixel by pixel.
double correlation(const cv::Mat& a, const cv::Mat& b)
{
    cv::Scalar meanA, devA, meanB, devB;
    cv::meanStdDev(a, meanA, devA);
    cv::meanStdDev(b, meanB, devB);
    const double covariance = cv::mean((a - meanA[0]).mul(b - meanB[0]))[0];
    return covariance / (devA[0] * devB[0]);
}

// The lag (in pixels, interpolated) at which an image's correlation with
// itself moved sideways falls to one half.
double correlationLength(const cv::Mat& m)
{
    double previous = 1.0;
    for (int lag = 1; lag < 32; ++lag) {
        const cv::Mat a = m(cv::Rect(0, 0, m.cols - lag, m.rows));
        const cv::Mat b = m(cv::Rect(lag, 0, m.cols - lag, m.rows));
        const double r = correlation(a, b);
        if (r < 0.5)
            return lag - 1 + (previous - 0.5) / (previous - r);
        previous = r;
    }
    return 32.0;
}

double rms(const cv::Mat& m)
{
    return std::sqrt(cv::mean(m.mul(m))[0]);
}

} // namespace

// Colour grain on a flat grey: the blue layer's grain coarser than the
// green's, the layers partly alike, a pixel's grain unrelated from one frame
// to the next and the same in a second render; at 1280x720 and 1920x1080 of
// the same picture, scaled to one size, equally strong.
void TestGpuGradeMotion::colourGrainIsPerLayerAndPerFrame()
{
    ClipSettings settings = neutralSettings();
    settings.setGrainAmount(100);
    settings.setColourGrainAmount(100);
    settings.setGrainScaleName(QStringLiteral("16 mm"));
    ClipSettings plainSettings = settings;
    plainSettings.setGrainAmount(0);

    auto grainAt = [&](int width, int height, qint64 frame) {
        const std::vector<float> grey(size_t(width) * size_t(height) * 4, 0.5f);
        GpuGrader plain;
        GpuGrader grader;
        std::array<cv::Mat, 3> none;
        if (!plain.create(m_gl, plainSettings, width, height) || !grader.create(m_gl, settings, width, height))
            return none;
        grader.processor->grade().setFrameIdentity(kClipSeed, frame);
        return grainOf(grader.grade(grey), plain.grade(grey), width, height);
    };

    const auto first = grainAt(960, 540, 3);
    QVERIFY(!first[0].empty());
    const double red = correlationLength(first[0]);
    const double green = correlationLength(first[1]);
    const double blue = correlationLength(first[2]);
    QVERIFY2(blue > 1.25 * green && green > 0.5,
        qPrintable(QStringLiteral("correlation lengths r %1 g %2 b %3 px").arg(red).arg(green).arg(blue)));
    // Partly alike: the shared field, and the grain stage's common luminance part.
    const double layers = correlation(first[1], first[2]);
    QVERIFY2(layers > 0.1 && layers < 0.85, qPrintable(QStringLiteral("green and blue alike by %1").arg(layers)));

    const auto again = grainAt(960, 540, 3);
    const auto next = grainAt(960, 540, 4);
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(cv::norm(first[size_t(c)], again[size_t(c)], cv::NORM_INF), 0.0);
        const double r = correlation(first[size_t(c)], next[size_t(c)]);
        QVERIFY2(std::abs(r) < 0.05, qPrintable(QStringLiteral("layer %1: frames correlate by %2").arg(c).arg(r)));
    }

    const auto preview = grainAt(1280, 720, 3);
    const auto render = grainAt(1920, 1080, 3);
    for (int c = 0; c < 3; ++c) {
        cv::Mat small;
        cv::Mat large;
        cv::resize(preview[size_t(c)], small, cv::Size(640, 360), 0, 0, cv::INTER_AREA);
        cv::resize(render[size_t(c)], large, cv::Size(640, 360), 0, 0, cv::INTER_AREA);
        const double ratio = rms(large) / rms(small);
        QVERIFY2(rms(small) > 1e-3 && std::abs(ratio - 1.0) < 0.1,
            qPrintable(QStringLiteral("layer %1: RMS %2 at 1920x1080, %3 at 1280x720")
                           .arg(c)
                           .arg(rms(large))
                           .arg(rms(small))));
    }
}

EMULSA_TEST_MAIN(TestGpuGradeMotion)
#include "tst_gpugrademotion.moc"
