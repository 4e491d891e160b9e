#include "common/TestEnvironment.h"

#include "DataWriter.h"
#include "core/FilmLibrary.h"
#include "core/ReferenceGrade.h"
#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmModel.h"
#include "core/filmdata/TableBuilder.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <map>

using namespace Emulsa::FilmData;
using Emulsa::FilmLibrary;
using Emulsa::ReferenceGrade;

namespace {

const char* const kTableProfiles[] = { "OT01", "SN01", "AR01" };

// Luma-free colour distance of two renderings, averaged over a lattice of
// camera code values.
double meanDifference(const FilmModel& a, const FilmModel& b)
{
    const int n = 9;
    double sum = 0.0;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int bl = 0; bl < n; ++bl) {
                const Vec3 in { (r + 0.5) / n, (g + 0.5) / n, (bl + 0.5) / n };
                const Vec3 x = a.render(in), y = b.render(in);
                sum += (std::abs(x[0] - y[0]) + std::abs(x[1] - y[1]) + std::abs(x[2] - y[2])) / 3.0;
            }
    return sum / (n * n * n);
}

} // namespace

class TestFilmDataTables : public QObject
{
    Q_OBJECT

private:
    // Profile tables of every stock for the three table profiles, built once.
    std::map<std::pair<QString, QString>, std::vector<float>> m_tables;

private slots:
    void initTestCase()
    {
        std::vector<std::function<bool()>> jobs;
        std::vector<std::pair<QString, QString>> keys;
        for (const char* id : kTableProfiles)
            for (const FilmStock& s : FilmStocks::all())
                keys.emplace_back(id, s.code);
        for (const auto& key : keys)
            m_tables[key];
        for (const auto& key : keys)
            jobs.push_back([this, key] {
                const FilmModel model(*CameraEncoding::find(key.first.toLatin1().constData()),
                    *FilmStocks::find(key.second.toLatin1().constData()));
                m_tables[key] = TableBuilder::profileTable(model);
                return true;
            });
        QVERIFY(DataWriter::runJobs(jobs, 2));
    }

    void catalogueOfStocks()
    {
        QCOMPARE(int(FilmStocks::all().size()), 19);
        int mono = 0;
        for (const FilmStock& s : FilmStocks::all()) {
            QVERIFY2(FilmLibrary::isBlackAndWhiteStock(s.code) == FilmStocks::isBlackAndWhite(s), s.code);
            mono += FilmStocks::isBlackAndWhite(s) ? 1 : 0;
        }
        QCOMPARE(mono, 6);
        // The generator's stocks are exactly the application's catalogue, and
        // take their display names from it.
        const QMap<QString, QString>& catalogue = FilmLibrary::instance()->stockCatalogue();
        QCOMPARE(catalogue.size(), int(FilmStocks::all().size()));
        for (auto it = catalogue.cbegin(); it != catalogue.cend(); ++it) {
            const FilmStock* stock = FilmStocks::find(it.value().toLatin1().constData());
            QVERIFY2(stock, qPrintable(it.value()));
            QCOMPARE(FilmStocks::displayName(*stock), it.key());
        }
    }

    void tablesAreMonotonicAlongTheNeutralAxis()
    {
        for (const auto& [key, table] : m_tables) {
            QCOMPARE(table.size(), std::size_t(TableBuilder::kEntries) * 3);
            for (int i = 1; i < TableBuilder::kSize; ++i) {
                const std::size_t cur = (std::size_t(i) * 4096 + i * 64 + i) * 3;
                const std::size_t prev = (std::size_t(i - 1) * 4096 + (i - 1) * 64 + (i - 1)) * 3;
                for (int c = 0; c < 3; ++c)
                    QVERIFY2(table[cur + c] >= table[prev + c],
                        qPrintable(
                            QStringLiteral("%1 %2 entry %3 channel %4").arg(key.first, key.second).arg(i).arg(c)));
            }
            // The neutral axis spans a real range, from dark to bright.
            QVERIFY(table[0] < 0.2f);
            QVERIFY(table[(std::size_t(63) * 4096 + 63 * 64 + 63) * 3 + 1] > 0.75f);
        }
    }

    void shaderLookupGivesTheRenderingAtMidGreyAndTheEnds()
    {
        // The shader samples at texel centres; sampling the table that way
        // must give the film model's answer for the input itself.
        for (const auto& [key, table] : m_tables) {
            const CameraProfile& profile = *CameraEncoding::find(key.first.toLatin1().constData());
            const FilmModel model(profile, *FilmStocks::find(key.second.toLatin1().constData()));
            const double grey = FilmModel::encodeNeutral(profile, FilmModel::kSceneMidGrey);
            for (double v : { grey, 0.0, 1.0 }) {
                const auto looked = ReferenceGrade::sample3D(table.data(), 64, float(v), float(v), float(v));
                const Vec3 wanted = model.render({ v, v, v });
                const double tolerance = v == grey ? 0.004 : 0.02;
                for (int c = 0; c < 3; ++c)
                    QVERIFY2(std::abs(looked[c] - wanted[c]) < tolerance,
                        qPrintable(QStringLiteral("%1 %2 at %3: %4 vs %5")
                                       .arg(key.first, key.second)
                                       .arg(v)
                                       .arg(looked[c])
                                       .arg(wanted[c])));
            }
            // A coloured input away from the lattice, too, within the
            // interpolation error of one lattice step.
            const auto looked = ReferenceGrade::sample3D(table.data(), 64, 0.62f, 0.41f, 0.30f);
            const Vec3 wanted = model.render({ 0.62, 0.41, 0.30 });
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(looked[c] - wanted[c]) < 0.02,
                    qPrintable(
                        QStringLiteral("%1 %2: %3 vs %4").arg(key.first, key.second).arg(looked[c]).arg(wanted[c])));
        }
    }

    void genericTablesConvertBackToTheRendering()
    {
        // A generic table read the way the film library reads it reproduces
        // the rendering on the library's identity grid.
        const CameraProfile& profile = *CameraEncoding::find(DataWriter::genericProfileId());
        for (const char* code : { "5207", "FujiVelvia100", "KodakTriX" }) {
            const FilmModel model(profile, *FilmStocks::find(code));
            const std::vector<float> generic = TableBuilder::genericTable(model);
            const Emulsa::StockTableData table = FilmLibrary::convertGenericStockTable(TableBuilder::toBytes(generic));
            QVERIFY(table);
            for (int i : { 0, 17, 40, 63 }) {
                const double in = FilmLibrary::identityGridValue(i);
                QVERIFY(std::abs(in - TableBuilder::genericTableInput(i)) < 1e-6);
                const Vec3 wanted = model.render({ in, in, in });
                const std::size_t d = (std::size_t(i) * 4096 + i * 64 + i) * 3;
                for (int c = 0; c < 3; ++c)
                    QVERIFY(std::abs(table[d + c] - wanted[c]) < 1e-5);
            }
            // Monotonic along the neutral axis, as the profile tables are, up
            // to the float rounding of grid + offset in the library's conversion.
            for (int i = 1; i < 64; ++i)
                for (int c = 0; c < 3; ++c) {
                    const float now = table[(std::size_t(i) * 4161) * 3 + c];
                    const float before = table[(std::size_t(i - 1) * 4161) * 3 + c];
                    QVERIFY2(now >= before - 1e-6f, qPrintable(QStringLiteral("%1 %2 %3").arg(code).arg(i).arg(c)));
                }
            // Red index slowest in the file: entry (ir=5, ig=0, ib=0) is at 5 * 4096.
            const double in5 = TableBuilder::genericTableInput(5), in0 = TableBuilder::genericTableInput(0);
            const Vec3 wanted = model.render({ in5, in0, in0 });
            QVERIFY(std::abs(generic[std::size_t(5) * 4096 * 3] + in5 - wanted[0]) < 1e-5);
        }
    }

    void midGreyLandsNearDisplayMidGrey()
    {
        for (const CameraProfile& profile : CameraEncoding::profiles()) {
            const double grey = FilmModel::encodeNeutral(profile, FilmModel::kSceneMidGrey);
            for (const FilmStock& stock : FilmStocks::all()) {
                const Vec3 out = FilmModel(profile, stock).render({ grey, grey, grey });
                for (int c = 0; c < 3; ++c)
                    QVERIFY2(std::abs(out[c] - FilmModel::kDisplayMidGrey) < 0.035,
                        qPrintable(QStringLiteral("%1 %2: %3").arg(profile.id, stock.code).arg(out[c])));
            }
        }
    }

    void blackAndWhiteTablesAreNeutral()
    {
        for (const auto& [key, table] : m_tables) {
            if (!FilmStocks::isBlackAndWhite(*FilmStocks::find(key.second.toLatin1().constData())))
                continue;
            for (std::size_t i = 0; i < table.size(); i += 3) {
                QCOMPARE(table[i + 1], table[i]);
                QCOMPARE(table[i + 2], table[i]);
            }
        }
        // Colour stocks are not: a saturated input keeps its colour.
        const std::vector<float>& colour = m_tables.at({ "OT01", "5207" });
        const std::size_t red = (std::size_t(10) * 4096 + 10 * 64 + 50) * 3;
        QVERIFY(colour[red] > colour[red + 1] + 0.1f);
    }

    void noTwoStocksLookTheSame()
    {
        const CameraProfile& profile = *CameraEncoding::find("OT01");
        const std::vector<FilmStock>& stocks = FilmStocks::all();
        double smallest = 1.0;
        QString pair;
        for (std::size_t i = 0; i < stocks.size(); ++i)
            for (std::size_t j = i + 1; j < stocks.size(); ++j) {
                const double d = meanDifference(FilmModel(profile, stocks[i]), FilmModel(profile, stocks[j]));
                if (d < smallest) {
                    smallest = d;
                    pair = QStringLiteral("%1 / %2").arg(stocks[i].code, stocks[j].code);
                }
            }
        qInfo() << "closest stocks:" << pair << smallest;
        // About 2.5 levels of 255 on average over the whole cube.
        QVERIFY2(smallest > 0.01, qPrintable(pair));
    }

    void cameraEncodingsPlaceMidGreyWhereTheirMakersDo()
    {
        const struct
        {
            Transfer transfer;
            double grey;
        } published[] = {
            { Transfer::SLog3, 420.0 / 1023.0 },
            { Transfer::LogC3, 0.3910 },
            { Transfer::CanonLog3, 0.3434 },
            { Transfer::VLog, 0.4233 },
            { Transfer::BmdFilmGen5, 0.3836 },
            { Transfer::Log3G10, 0.3333 },
            { Transfer::FLog, 0.4593 },
            { Transfer::DLog, 0.3988 },
            { Transfer::AppleLog, 0.4883 },
        };
        for (const auto& p : published) {
            QVERIFY(std::abs(CameraEncoding::encode(p.transfer, 0.18) - p.grey) < 0.002);
            // Decoding is increasing and inverse to encoding.
            double last = -1e9;
            // From 0.01: Apple Log holds its floor value below code 0.
            for (int i = 1; i <= 100; ++i) {
                const double v = CameraEncoding::decode(p.transfer, i / 100.0);
                QVERIFY(v > last);
                last = v;
                QVERIFY2(std::abs(CameraEncoding::encode(p.transfer, v) - i / 100.0) < 1e-6,
                    qPrintable(QStringLiteral("transfer %1 at %2").arg(int(p.transfer)).arg(i)));
            }
        }
        // A gamut conversion keeps white white and is the identity for Rec. 709.
        for (Gamut g : { Gamut::SGamut3Cine, Gamut::ArriWideGamut3, Gamut::RedWideGamutRGB, Gamut::Rec2020 }) {
            const Vec3 white = CameraEncoding::multiply(CameraEncoding::toRec709(g), Vec3 { 1.0, 1.0, 1.0 });
            for (int c = 0; c < 3; ++c)
                QVERIFY(std::abs(white[c] - 1.0) < 1e-3);
        }
        const Mat3 same = CameraEncoding::toRec709(Gamut::Rec709);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                QVERIFY(std::abs(same[i][j] - (i == j ? 1.0 : 0.0)) < 1e-9);
    }

    void characteristicCurveHasToeLineAndShoulder()
    {
        const double gamma = 0.6, toeAt = -1.9, dmax = 2.6;
        // Flat in the toe, the stated slope on the straight line, flat again at Dmax.
        auto slope = [&](double x) {
            return (FilmModel::curve(x + 1e-4, gamma, toeAt, 0.25, dmax, 0.3)
                       - FilmModel::curve(x - 1e-4, gamma, toeAt, 0.25, dmax, 0.3))
                / 2e-4;
        };
        QVERIFY(slope(-3.5) < 0.01);
        QVERIFY(std::abs(slope(0.0) - gamma) < 0.02);
        QVERIFY(slope(4.5) < 0.01);
        QVERIFY(std::abs(FilmModel::curve(8.0, gamma, toeAt, 0.25, dmax, 0.3) - dmax) < 0.05);
        QVERIFY(std::abs(FilmModel::curve(-8.0, gamma, toeAt, 0.25, dmax, 0.3)) < 1e-3);
    }

    void cubeExportHoldsTheLatticeInRedFastestOrder()
    {
        const CameraProfile& profile = *CameraEncoding::find("SN01");
        const FilmModel model(profile, *FilmStocks::find("8543"));
        const QList<QByteArray> lines = TableBuilder::cubeFile(model, "test").split('\n');
        QVERIFY(lines.size() >= 4 + 262144);
        QCOMPARE(lines[1], QByteArray("LUT_3D_SIZE 64"));
        // Data line k is lattice point (r, g, b) with k = r + 64 g + 4096 b at i / 63.
        const int r = 50, g = 7, b = 30;
        const QList<QByteArray> values = lines[4 + r + 64 * g + 4096 * b].split(' ');
        QCOMPARE(values.size(), 3);
        const Vec3 wanted = model.render({ r / 63.0, g / 63.0, b / 63.0 });
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::abs(values[c].toDouble() - wanted[c]) < 2e-6);
    }
};

EMULSA_TEST_MAIN(TestFilmDataTables)
#include "tst_filmdata_tables.moc"
