#include "common/TestEnvironment.h"

#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmModel.h"
#include "core/filmdata/FilmStock.h"

#include <QtTest>
#include <cmath>

using namespace Emulsa::FilmData;

// The characteristic curves of the film model against the makers' datasheets.
// Log exposures are relative to the 18 % grey exposure; one stop is
// log10(2) = 0.301 log E.

namespace {

constexpr double kStop = 0.30103;

const FilmStock& stockOf(const QString& code)
{
    return *FilmStocks::find(code.toLatin1().constData());
}

const CameraProfile& sLog3()
{
    return *CameraEncoding::find("SN01");
}

// Green display code value of a neutral scene at `stops` from grey, through
// the stock, for an S-Log3 camera.
double throughStock(const FilmModel& model, double stops)
{
    const double code = FilmModel::encodeNeutral(sLog3(), FilmModel::kSceneMidGrey * std::pow(2.0, stops));
    return model.render({ code, code, code })[1];
}

double greenDensity(const FilmModel& model, double logExposure)
{
    return model.cameraFilmDensity(logExposure)[1];
}

double gradientAt(const FilmModel& model, double logExposure)
{
    const double h = 1e-3;
    return std::abs(greenDensity(model, logExposure + h) - greenDensity(model, logExposure - h)) / (2.0 * h);
}

} // namespace

class TestFilmDataCurves : public QObject
{
    Q_OBJECT

private slots:
    void printFilmFollowsItsSheet()
    {
        // Kodak Vision Color Print Film 2383, datasheet H-1-2383t, Status A:
        // gradient about 3.0 at the density that shows mid-grey, maximum
        // density about 4.0 above base, and a toe that comes down to the base.
        const double h = 1e-4;
        const double gradient = (FilmModel::printDensity(h) - FilmModel::printDensity(-h)) / (2.0 * h);
        qInfo() << "print gradient at grey" << gradient << "maximum density" << FilmModel::printDensity(6.0);
        QVERIFY2(std::abs(gradient - 3.0) <= 0.2, qPrintable(QString::number(gradient)));
        QVERIFY(std::abs(FilmModel::printDensity(6.0) - 4.0) <= 0.15);
        QVERIFY(FilmModel::printDensity(-2.0) < 0.01);
        // Grey prints at the density the display shows as mid-grey.
        QVERIFY(
            std::abs(FilmModel::printDensity(0.0) - FilmModel::displayToDensity(FilmModel::kDisplayMidGrey)) < 1e-6);
    }

    void vision3ThroughThePrint_data()
    {
        // Kodak Vision3 250D 5207 (H-1-5207) printed on 2383 (H-1-2383t),
        // timed to the same grey: the chain of the two sheets' curves.
        QTest::addColumn<double>("stops");
        QTest::addColumn<double>("wanted");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("2 stops under") << -2.0 << 0.125 << 0.03;
        QTest::newRow("grey") << 0.0 << 0.409 << 0.004;
        QTest::newRow("2 stops over") << 2.0 << 0.76 << 0.03;
    }

    void vision3ThroughThePrint()
    {
        QFETCH(double, stops);
        QFETCH(double, wanted);
        QFETCH(double, tolerance);
        const FilmModel model(sLog3(), stockOf("5207"));
        const double got = throughStock(model, stops);
        qInfo() << "5207 at" << stops << "stops:" << got;
        QVERIFY2(std::abs(got - wanted) <= tolerance, qPrintable(QStringLiteral("%1 vs %2").arg(got).arg(wanted)));
    }

    void vision3ContrastAndWhite()
    {
        const FilmModel model(sLog3(), stockOf("5207"));
        // Display contrast at grey: display density per log E of the scene.
        // The chain of H-1-5207 and H-1-2383t gives 1.65.
        const double h = 0.01;
        const double contrast = (FilmModel::displayToDensity(throughStock(model, -h / kStop))
                                    - FilmModel::displayToDensity(throughStock(model, h / kStop)))
            / (2.0 * h);
        double stopsToWhite = 0.0;
        while (throughStock(model, stopsToWhite) < 0.95 && stopsToWhite < 12.0)
            stopsToWhite += 0.01;
        qInfo() << "5207 contrast at grey" << contrast << "0.95 at" << stopsToWhite << "stops, -4 stops"
                << throughStock(model, -4.0) << "+4 stops" << throughStock(model, 4.0)
                << "density above base at +8 stops" << greenDensity(model, 8.0 * kStop) - greenDensity(model, -10.0);
        QVERIFY2(std::abs(contrast - 1.65) <= 0.10, qPrintable(QString::number(contrast)));
        // The same chain reaches 0.95 at about +4.3 stops.
        QVERIFY(throughStock(model, 4.5) >= 0.95);
        QVERIFY(throughStock(model, 3.5) < 0.95);
        // A 90 % white card and a 3 % black card: the chain gives L* 82 and 2.6.
        const auto lightness = [](double code) {
            const double y = std::pow(code, 2.4);
            return y > 0.008856 ? 116.0 * std::cbrt(y) - 16.0 : 903.3 * y;
        };
        const double white = lightness(throughStock(model, std::log2(0.90 / 0.18)));
        const double black = lightness(throughStock(model, std::log2(0.03 / 0.18)));
        qInfo() << "5207 white card L*" << white << "black card L*" << black;
        QVERIFY2(std::abs(white - 82.0) <= 3.0, qPrintable(QString::number(white)));
        QVERIFY2(std::abs(black - 2.6) <= 1.5, qPrintable(QString::number(black)));
        // Density above base at +8 stops: 1.97 on the sheet's green curve.
        const double aboveBase = greenDensity(model, 8.0 * kStop) - greenDensity(model, -10.0);
        QVERIFY2(std::abs(aboveBase - 1.97) <= 0.1, qPrintable(QString::number(aboveBase)));
    }

    void negativeToesAndGradients_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<double>("toeStops"); // half-gradient point, stops from grey
        QTest::addColumn<double>("gradient"); // mean gradient over +-0.5 log E about grey
        // Kodak H-1-5207, Vision3 250D: toe -4.6 stops, gradient 0.55 (the
        // sheet's gamma as read from its green curve).
        QTest::newRow("Vision3 250D") << "5207" << -4.6 << 0.55;
        // Kodak H-1-5213, Vision3 200T: toe -4.7 stops, gamma 0.56.
        QTest::newRow("Vision3 200T") << "5213" << -4.7 << 0.56;
        // Kodak E-4050, Portra 400: toe -3.4 stops; gradient read from the
        // curve, an estimate (0.58).
        QTest::newRow("Portra 400") << "KodakPortra" << -3.4 << 0.58;
        // Fujifilm Pro 400H data sheet: toe -2.5 stops; gradient an estimate (0.53).
        QTest::newRow("Pro 400H") << "FujiProH" << -2.5 << 0.53;
        // Fujifilm Superia X-TRA 400 data sheet: toe -3.8 stops; gradient an
        // estimate (0.62).
        QTest::newRow("Superia X-TRA 400") << "FujiSuperia400" << -3.8 << 0.62;
    }

    void negativeToesAndGradients()
    {
        QFETCH(QString, code);
        QFETCH(double, toeStops);
        QFETCH(double, gradient);
        const FilmModel model(sLog3(), stockOf(code));
        const double mean = greenDensity(model, 0.5) - greenDensity(model, -0.5);
        QVERIFY2(std::abs(mean - gradient) <= 0.05 * gradient, qPrintable(QString::number(mean)));
        // Walk down from grey to where the gradient falls to half the sheet's.
        double x = 0.0;
        while (x > -4.0 && gradientAt(model, x) >= 0.5 * gradient)
            x -= 0.001;
        qInfo() << code << "gradient" << mean << "half-gradient point" << x / kStop << "stops";
        QVERIFY2(std::abs(x - toeStops * kStop) <= 0.15, qPrintable(QStringLiteral("%1 log E").arg(x)));
    }

    void reversalAtGreyAndInRange_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<double>("gradient"); // at grey
        QTest::addColumn<double>("stops"); // usable range
        // Fujifilm Provia 100F data sheet: gradient 1.60 at grey, usable
        // range 6 stops (density from 0.2 over D-min to 0.2 under D-max).
        QTest::newRow("Provia 100F") << "FujiProvia100" << 1.60 << 6.0;
        // Fujifilm Velvia 100 data sheet: about 1.76 and 5.5 stops (read from
        // the curve, estimates).
        QTest::newRow("Velvia 100") << "FujiVelvia100" << 1.76 << 5.5;
    }

    void reversalAtGreyAndInRange()
    {
        QFETCH(QString, code);
        QFETCH(double, gradient);
        QFETCH(double, stops);
        const FilmModel model(sLog3(), stockOf(code));
        const double atGrey = gradientAt(model, 0.0);
        QVERIFY2(std::abs(atGrey - gradient) <= 0.1, qPrintable(QString::number(atGrey)));
        const double dmax = greenDensity(model, -4.0), dmin = greenDensity(model, 4.0);
        double low = 0.0, high = 0.0;
        while (greenDensity(model, low) < dmax - 0.2)
            low -= 0.001;
        while (greenDensity(model, high) > dmin + 0.2)
            high += 0.001;
        const double range = (high - low) / kStop;
        qInfo() << code << "gradient at grey" << atGrey << "usable range" << range << "stops";
        QVERIFY2(std::abs(range - stops) <= 0.5, qPrintable(QString::number(range)));
    }

    void blackAndWhitePrintsReachPaperWhiteAndBlack()
    {
        for (const FilmStock& stock : FilmStocks::all()) {
            if (!FilmStocks::isBlackAndWhite(stock))
                continue;
            const FilmModel model(sLog3(), stock);
            QVERIFY2(throughStock(model, 6.0) >= 0.97, stock.code);
            // Deep shadows go dark; the pushed Delta 3200 keeps the most.
            const double black = throughStock(model, -7.0);
            QVERIFY2(black <= 0.1, qPrintable(QStringLiteral("%1: %2").arg(stock.code).arg(black)));
        }
    }
};

EMULSA_TEST_MAIN(TestFilmDataCurves)
#include "tst_filmdata_curves.moc"
