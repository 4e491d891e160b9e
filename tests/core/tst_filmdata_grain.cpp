#include "common/TestEnvironment.h"

#include "ConversionFiles.h"
#include "DataWriter.h"
#include "GrainSynth.h"
#include "core/ApplicationPaths.h"
#include "core/ClipSettings.h"
#include "core/ExposureConversion.h"
#include "core/FilmLibrary.h"
#include "core/GrainImage.h"
#include "core/GrainLibrary.h"
#include "core/filmdata/FilmStock.h"
#include "core/filmdata/TableBuilder.h"

#include <QDir>
#include <cmath>
#include <map>

using namespace Emulsa::FilmData;
using Emulsa::ApplicationPaths;
using Emulsa::ClipSettings;
using Emulsa::ExposureConversion;
using Emulsa::FilmLibrary;
using Emulsa::GrainImage;
using Emulsa::GrainLibrary;

namespace {

// Correlation of neighbouring pixels of one channel, across and down, with
// wrap-around; bytesPerPixel 3 or 4.
double neighbourCorrelation(const std::uint8_t* p, int w, int h, int bpp, int channel)
{
    double sum = 0.0, sq = 0.0, across = 0.0, down = 0.0;
    const double n = double(w) * h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum += p[(std::size_t(y) * w + x) * bpp + channel];
    const double mean = sum / n;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double v = p[(std::size_t(y) * w + x) * bpp + channel] - mean;
            const double r = p[(std::size_t(y) * w + (x + 1) % w) * bpp + channel] - mean;
            const double d = p[(std::size_t((y + 1) % h) * w + x) * bpp + channel] - mean;
            sq += v * v;
            across += v * r;
            down += v * d;
        }
    return 0.5 * (across + down) / sq;
}

// Grain size in pixels: the sigma of a Gaussian-correlated field with that
// neighbour correlation.
double grainSize(const std::uint8_t* p, int w, int h, int bpp)
{
    const double rho = neighbourCorrelation(p, w, h, bpp, 1);
    return 1.0 / (2.0 * std::sqrt(-std::log(std::max(rho, 1e-6))));
}

// Strength of the grain as the frame shows it: the RMS of the mean of
// `block` x `block` windows of the normalised map (deviation from 0.5), over
// every window position with wrap-around (the map tiles across the frame),
// averaged over R, G and B.
double blockStrength(const float* data, int w, int h, int block)
{
    double total = 0.0;
    for (int c = 0; c < 3; ++c) {
        // Summed-area table of the map tiled to (w + block) x (h + block).
        const int tw = w + block, th = h + block;
        std::vector<double> sat(std::size_t(tw + 1) * (th + 1), 0.0);
        for (int y = 0; y < th; ++y) {
            double row = 0.0;
            for (int x = 0; x < tw; ++x) {
                row += data[(std::size_t(y % h) * w + (x % w)) * 3 + c] - 0.5;
                sat[std::size_t(y + 1) * (tw + 1) + x + 1] = sat[std::size_t(y) * (tw + 1) + x + 1] + row;
            }
        }
        double sum = 0.0, sq = 0.0;
        const double area = double(block) * block;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const auto at = [&](int xx, int yy) { return sat[std::size_t(yy) * (tw + 1) + xx]; };
                const double m = (at(x + block, y + block) - at(x, y + block) - at(x + block, y) + at(x, y)) / area;
                sum += m;
                sq += m * m;
            }
        const double n = double(w) * h;
        total += std::sqrt(std::max(sq / n - (sum / n) * (sum / n), 0.0));
    }
    return total / 3.0;
}

double meanAbsStep(const QByteArray& px, int w, int h, int x0, int x1)
{
    double sum = 0.0;
    for (int y = 0; y < h; ++y)
        for (int c = 0; c < 3; ++c)
            sum += std::abs(int(quint8(px[(y * w + x0) * 3 + c])) - int(quint8(px[(y * w + x1) * 3 + c])));
    return sum / (3.0 * h);
}

} // namespace

class TestFilmDataGrain : public QObject
{
    Q_OBJECT

private slots:
    void imagesAreNeutralPartlyCorrelatedAndTileSeamlessly()
    {
        const int w = 320, h = 180;
        for (double sigma : { 1.2, 2.4, 4.8 }) {
            const QByteArray px = GrainSynth::image(w, h, sigma, 77, 2);
            QCOMPARE(px.size(), w * h * 3);
            // Mean 128 in every channel.
            for (int c = 0; c < 3; ++c) {
                double sum = 0.0;
                for (int i = c; i < px.size(); i += 3)
                    sum += quint8(px[i]);
                QVERIFY(std::abs(sum / (w * h) - 128.0) < 0.5);
            }
            // Channels share part of their grain: correlated, but not the same.
            double s[3] = {}, ss[3] = {}, rg = 0.0;
            for (int i = 0; i < w * h; ++i) {
                for (int c = 0; c < 3; ++c) {
                    s[c] += quint8(px[i * 3 + c]);
                    ss[c] += double(quint8(px[i * 3 + c])) * quint8(px[i * 3 + c]);
                }
                rg += double(quint8(px[i * 3])) * quint8(px[i * 3 + 1]);
            }
            const double n = double(w) * h;
            const double cov = rg / n - (s[0] / n) * (s[1] / n);
            const double corr = cov / std::sqrt((ss[0] / n - s[0] * s[0] / n / n) * (ss[1] / n - s[1] * s[1] / n / n));
            QVERIFY2(corr > 0.3 && corr < 0.7, qPrintable(QString::number(corr)));
            // Across the wrap (last column to first, last row to first) the
            // image changes no more than between any two neighbours inside.
            const double inside = meanAbsStep(px, w, h, w / 2, w / 2 + 1);
            const double seam = meanAbsStep(px, w, h, w - 1, 0);
            QVERIFY2(seam < inside * 1.25, qPrintable(QStringLiteral("%1 vs %2").arg(seam).arg(inside)));
            double seamRows = 0.0, insideRows = 0.0;
            for (int x = 0; x < w; ++x) {
                seamRows += std::abs(int(quint8(px[((h - 1) * w + x) * 3])) - int(quint8(px[x * 3])));
                insideRows
                    += std::abs(int(quint8(px[((h / 2) * w + x) * 3])) - int(quint8(px[((h / 2 + 1) * w + x) * 3])));
            }
            QVERIFY(seamRows < insideRows * 1.25);
            // A grain that did not tile would jump at the seam; a real step
            // between two unrelated columns is far larger.
            QVERIFY(meanAbsStep(px, w, h, 0, w / 2) > inside * 1.3);
        }
    }

    void imagesDoNotDependOnTheThreadCount()
    {
        QCOMPARE(GrainSynth::image(200, 120, 2.4, 5, 1), GrainSynth::image(200, 120, 2.4, 5, 2));
        QVERIFY(GrainSynth::image(200, 120, 2.4, 5, 1) != GrainSynth::image(200, 120, 2.4, 6, 1));
    }

    void grainGrowsWithTheGaugeFactorAfterSelectionAndScaling()
    {
        // The real gauges, written to a data folder and read back through the
        // grain library, as the processor asks for them.
        const QString root = Emulsa::Test::makeTempFolder("grain-root");
        const QString resources = root + "/Quillmoor/Resources/";
        for (const GrainGauge& g : GrainSynth::gauges())
            QVERIFY(DataWriter::writeFile(resources + g.type + ".bin",
                GrainImage::encodeQlif(GrainImage::RGB, g.width, g.height, GrainSynth::image(g, 2))));
        const FilmStock& stock = *FilmStocks::find("5207");
        QVERIFY(DataWriter::writeFile(resources + "5207.emoGrain", TableBuilder::toBytes(GrainSynth::curve(stock))));
        qputenv("PROGRAMDATA", root.toUtf8());
        ApplicationPaths::instance()->clearCache();

        const QVector<ClipSettings::GrainScaleEntry> gauges = ClipSettings::defaultGrainScaleTable();
        QCOMPARE(gauges.size(), 8);
        std::vector<double> factors;
        for (const auto& entry : gauges)
            factors.push_back(entry.first);
        std::sort(factors.begin(), factors.end());
        // Strength per gauge, at 1920 and 3840 wide.
        std::map<unsigned, std::vector<double>> strength;
        for (unsigned width : { 1920u, 3840u }) {
            GrainLibrary library(FilmLibrary::instance());
            double previous = 0.0, previousFactor = 0.0;
            for (double f : factors) {
                const GrainLibrary::Selection sel = GrainLibrary::chooseGrain(width, width * 9 / 16, f);
                Emulsa::Grain* grain = library.getGrain(sel.type, "5207", sel.width, sel.height);
                QVERIFY2(grain, qPrintable(sel.type));
                const GrainImage* map = grain->scaled();
                const double size = grainSize(map->pixels(), int(map->width()), int(map->height()), 4);
                // Blocks of a thirtieth of the frame's width: the same part of
                // the picture at either width.
                strength[width].push_back(blockStrength(
                    grain->normalised().data(), int(grain->width()), int(grain->height()), int(width / 30)));
                qInfo() << width << f << sel.type << sel.width << map->width() << "grain size" << size << "strength"
                        << strength[width].back();
                if (f > previousFactor)
                    QVERIFY2(size > previous * 1.04, qPrintable(QStringLiteral("%1 at %2").arg(width).arg(f)));
                else
                    QVERIFY(std::abs(size - previous) < 0.02 * size);
                previous = size;
                previousFactor = f;
            }
        }
        // Selwyn: at a given output size the RMS grain grows with the
        // gauge's size factor (the inverse of its frame width).
        const std::size_t super35 = std::size_t(std::find(factors.begin(), factors.end(), 1.0f) - factors.begin());
        QVERIFY(super35 < factors.size());
        for (unsigned width : { 1920u, 3840u }) {
            const std::vector<double>& s = strength[width];
            for (std::size_t i = 0; i < factors.size(); ++i) {
                const double wanted = factors[i] * s[super35];
                QVERIFY2(std::abs(s[i] - wanted) <= 0.15 * wanted,
                    qPrintable(QStringLiteral("%1 wide, factor %2: %3 vs %4")
                                   .arg(width)
                                   .arg(factors[i])
                                   .arg(s[i])
                                   .arg(wanted)));
                if (i > 0 && factors[i] > factors[i - 1])
                    QVERIFY(s[i] > s[i - 1]);
                // The same gauge is as grainy at 3840 as at 1920.
                if (width == 3840u)
                    QVERIFY2(std::abs(s[i] - strength[1920u][i]) <= 0.10 * strength[1920u][i],
                        qPrintable(
                            QStringLiteral("factor %1: %2 vs %3").arg(factors[i]).arg(s[i]).arg(strength[1920u][i])));
            }
        }
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }

    void curvesFollowTheStocksGranularity()
    {
        for (const FilmStock& stock : FilmStocks::all()) {
            const std::vector<float> c = GrainSynth::curve(stock);
            QCOMPARE(c.size(), std::size_t(768));
            QCOMPARE(TableBuilder::toBytes(c).size(), 3072);
            int peak = 0;
            for (int i = 0; i < 256; ++i) {
                for (int k = 0; k < 3; ++k)
                    QVERIFY(c[i * 3 + k] >= 0.0f && c[i * 3 + k] <= 0.2f);
                // Blue grainiest (equal in black and white).
                QVERIFY(c[i * 3 + 2] >= c[i * 3] && c[i * 3 + 2] >= c[i * 3 + 1]);
                if (c[i * 3 + 2] > c[peak * 3 + 2])
                    peak = i;
            }
            if (!FilmStocks::isBlackAndWhite(stock))
                QVERIFY(c[128 * 3 + 2] > c[128 * 3 + 1]);
            // Strongest in the mid-tones.
            QVERIFY(peak > 76 && peak < 166);
            QVERIFY(c[2] < 0.5f * c[peak * 3 + 2]);
            QVERIFY(c[255 * 3 + 2] < 0.5f * c[peak * 3 + 2]);
        }
    }

    void strengthFollowsTheSheetsGranularity_data()
    {
        // Pairs of stocks whose makers publish RMS granularity on the same
        // scale (x 1000, 48 um), and the sheets' ratio of the two.
        QTest::addColumn<QString>("finer");
        QTest::addColumn<QString>("coarser");
        QTest::addColumn<double>("ratio");
        // Fujifilm Neopan 100 Acros (RMS 7) against Kodak T-Max 100 (F-4016, 8).
        QTest::newRow("Acros / T-Max 100") << "FujiNeopan"
                                           << "KodakT-max" << 8.0 / 7.0;
        // Kodak T-Max 100 (F-4016, 8) against Tri-X 400 (F-4017, 17).
        QTest::newRow("T-Max 100 / Tri-X") << "KodakT-max"
                                           << "KodakTriX" << 17.0 / 8.0;
        // Fujifilm Pro 160S (RMS 3) against Pro 400H (RMS 4): faster, but by
        // far less than the speed.
        QTest::newRow("Pro 160S / Pro 400H") << "FujiPro160S"
                                             << "FujiProH" << 4.0 / 3.0;
    }

    void strengthFollowsTheSheetsGranularity()
    {
        QFETCH(QString, finer);
        QFETCH(QString, coarser);
        QFETCH(double, ratio);
        const double a = GrainSynth::strength(*FilmStocks::find(finer.toLatin1().constData()));
        const double b = GrainSynth::strength(*FilmStocks::find(coarser.toLatin1().constData()));
        QVERIFY(b > a);
        // Within 25 %: the two stocks' own tone curves differ a little.
        QVERIFY2(std::abs(b / a - ratio) <= 0.25 * ratio, qPrintable(QString::number(b / a)));
    }

    void negativesAndSlidesHaveTheirOwnToneCurves()
    {
        // A print's grain dies in the print's flat toe at paper white; a
        // slide's thin highlights keep some of theirs, and its grain peaks
        // brighter.
        struct Shape
        {
            int peak;
            double whiteOverPeak;
        };
        auto shapeOf = [](const char* code) {
            const std::vector<float> c = GrainSynth::curve(*FilmStocks::find(code));
            int peak = 0;
            for (int i = 0; i < 256; ++i)
                if (c[std::size_t(i) * 3 + 1] > c[std::size_t(peak) * 3 + 1])
                    peak = i;
            return Shape { peak, c[255 * 3 + 1] / c[std::size_t(peak) * 3 + 1] };
        };
        for (const char* negative : { "5207", "KodakPortra", "KodakTriX" }) {
            const Shape n = shapeOf(negative);
            QVERIFY2(n.whiteOverPeak < 0.05, negative);
            for (const char* slide : { "FujiProvia100", "FujiVelvia100" }) {
                const Shape s = shapeOf(slide);
                QVERIFY2(s.whiteOverPeak > 0.2, slide);
                QVERIFY2(s.peak > n.peak,
                    qPrintable(QStringLiteral("%1 %2 vs %3 %4").arg(slide).arg(s.peak).arg(negative).arg(n.peak)));
            }
        }
        // 5207 at grey: a deviation of a few 8-bit levels per pixel.
        const std::vector<float> c = GrainSynth::curve(*FilmStocks::find("5207"));
        const double atGrey = c[std::size_t(104) * 3 + 1] * GrainSynth::kMapDeviation;
        QVERIFY2(atGrey > 1.0 / 255.0 && atGrey < 6.0 / 255.0, qPrintable(QString::number(atGrey * 255.0)));
    }

    void conversionFilesRoundTrip()
    {
        const std::vector<float> toLog = ConversionFiles::codeToLog();
        const std::vector<float> toCode = ConversionFiles::logToCode();
        QCOMPARE(toLog.size(), std::size_t(65536 * 3));
        QCOMPARE(TableBuilder::toBytes(toLog).size(), 786432);
        // The exposure stage's own use: code -> log -> index -> code.
        for (int i = 300; i < 65536; i += 97) {
            const double code = i / 65535.0;
            const float log = toLog[std::size_t(i) * 3];
            const int index = std::clamp(int((log + 3.0f) * 65536.0f / 6.0f), 0, 65535);
            QVERIFY2(std::abs(toCode[std::size_t(index) * 3 + 1] - code) < 2e-3, qPrintable(QString::number(code)));
        }
        // And log -> code -> log over the whole log range.
        for (int j = 0; j < 65536; j += 101) {
            const double log = -3.0 + 6.0 * j / 65536.0;
            const double code = toCode[std::size_t(j) * 3];
            if (code > 1.0)
                QVERIFY(log > 0.0);
            else
                QVERIFY(std::abs(toLog[std::size_t(std::lround(code * 65535.0)) * 3] - log) < 0.02);
        }
        // Mid-grey: 0.18 linear sits at log10(0.18).
        const int grey = int(ConversionFiles::linearToCurve(0.18) * 65535.0);
        QVERIFY(std::abs(toLog[std::size_t(grey) * 3] - std::log10(0.18)) < 1e-3);
        // The loader takes the files and an exposure of 0 leaves a grey alone.
        const QString folder = Emulsa::Test::makeTempFolder("conversion") + "/";
        QVERIFY(DataWriter::writeFile(folder + ConversionFiles::kCodeToLogName, TableBuilder::toBytes(toLog)));
        QVERIFY(DataWriter::writeFile(folder + ConversionFiles::kLogToCodeName, TableBuilder::toBytes(toCode)));
        ExposureConversion conversion;
        QVERIFY(conversion.load(folder));
        QVERIFY(conversion.isLoaded());
    }
};

EMULSA_TEST_MAIN(TestFilmDataGrain)
#include "tst_filmdata_grain.moc"
