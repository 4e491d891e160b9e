#include "common/GradeCorrections.h"
#include "common/TestEnvironment.h"

#include "core/ClipSettings.h"
#include "core/GradeFields.h"

#include <QMetaType>

using namespace Emulsa;

namespace {

QString dump(const ClipSettings& settings)
{
    QString text;
    QDebug(&text) << settings;
    return text;
}

// Every field away from its default, so that a field a copy drops shows in
// the dump.
ClipSettings everyFieldChanged()
{
    ClipSettings s;
    s.setStockName(QStringLiteral("8543"));
    s.setSourceType(0x12345678);
    s.setStockLUTAmount(40);
    s.setStockCurveAmount(60);
    s.setGrainAmount(150);
    s.setGrainScaleName(QStringLiteral("16 mm"));
    Test::setCorrections(s,
        { 0.25f, 3200.0f, { 1.0, 0.5 }, { 0.25, 2.0 }, { 0.5, -1.0 }, 0.9f, 1.2f, 1.1f, 0.7f, { 0.1f, 0.4f, 0.9f } });
    s.setOriginal(true);
    s.setHalationAmount(30);
    s.setBloomAmount(40);
    s.setWeaveAmount(50);
    s.setFlickerAmount(60);
    s.setColourGrainAmount(70);
    return s;
}

} // namespace

class TestClipSettings : public QObject
{
    Q_OBJECT

private slots:
    void grainScaleTable_data();
    void grainScaleTable();
    void copiesCarryEveryField();
    void copyFromCarriesEveryFieldButSourceType();
    void metaTypesAreRegisteredByName();
    void eachFieldReachesItsOwnValue_data();
    void eachFieldReachesItsOwnValue();
};

void TestClipSettings::grainScaleTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("factor");
    QTest::newRow("8 mm") << "8 mm" << 5.53000020980835;
    QTest::newRow("Super 8") << "Super 8" << 4.0;
    QTest::newRow("16 mm") << "16 mm" << 2.430000066757202;
    QTest::newRow("Super 16") << "Super 16" << 2.0;
    QTest::newRow("35 mm Academy") << "35 mm Academy" << double(1.13f);
    QTest::newRow("35 mm 3 Perf") << "35 mm 3 Perf" << 1.0;
    QTest::newRow("Super 35") << "Super 35" << 1.0;
    QTest::newRow("35 mm Full Frame") << "35 mm Full Frame" << double(0.69f);
    QTest::newRow("unknown") << "" << 1.0;
    QTest::newRow("case differs") << "super 8" << 1.0;
}

void TestClipSettings::grainScaleTable()
{
    QFETCH(QString, name);
    QFETCH(double, factor);
    ClipSettings settings;
    settings.setGrainScaleName(name);
    // Exact: callers compare the widened single-precision constants.
    QCOMPARE(double(settings.getGrainScale()), factor);
    QCOMPARE(double(ClipSettings::grainScaleForName(name)), factor);
}

void TestClipSettings::copiesCarryEveryField()
{
    const ClipSettings source = everyFieldChanged();
    // Each line of the dump (one field) differs from the defaults.
    const QStringList changed = dump(source).split(QLatin1Char('\n'));
    const QStringList defaults = dump(ClipSettings()).split(QLatin1Char('\n'));
    QCOMPARE(changed.size(), defaults.size());
    for (int i = 1; i < changed.size(); ++i)
        QVERIFY2(changed[i] != defaults[i], qPrintable(changed[i]));

    ClipSettings copy(source);
    ClipSettings assigned;
    assigned = source;
    assigned = assigned; // self-assignment changes nothing
    for (ClipSettings* target : { &copy, &assigned }) {
        QCOMPARE(dump(*target), dump(source));
        // Each object has its own grain-scale table.
        target->setGrainScaleName(QStringLiteral("8 mm"));
        QCOMPARE(target->getGrainScale(), 5.53f);
    }
    QCOMPARE(source.getGrainScale(), 2.43f);
}

void TestClipSettings::copyFromCarriesEveryFieldButSourceType()
{
    const ClipSettings source = everyFieldChanged();
    ClipSettings target;
    target.setSourceType(42);
    target.copyFrom(&source);
    ClipSettings expected = source;
    expected.setSourceType(42);
    QCOMPARE(dump(target), dump(expected));

    target.copyFrom(nullptr);
    target.copyFrom(&target);
    QCOMPARE(dump(target), dump(expected));
}

void TestClipSettings::metaTypesAreRegisteredByName()
{
    registerClipSettingsMetaTypes();
    registerClipSettingsMetaTypes();
    for (const char* name : { "ClipSettings", "ClipSettings*", "ColorWheelData", "HistogramSliderData" })
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
    QCOMPARE(QMetaType::type("ClipSettings"), qMetaTypeId<ClipSettings>());

    // A value survives the trip through QVariant, as it does through a queued signal.
    ColorWheelData wheel { 0.75, 2.0 };
    const QVariant variant = QVariant::fromValue(wheel);
    QCOMPARE(variant.value<ColorWheelData>().theta, 2.0);
}

void TestClipSettings::eachFieldReachesItsOwnValue_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QStringList>("lines"); // the labels of its lines in the dump
    int rows = 0;
    const auto row = [&rows](GradeField field, QStringList lines) {
        ++rows;
        QTest::newRow(gradeField(field).name) << int(field) << lines;
    };
    row(GradeField::Exposure, { "getExposure" });
    row(GradeField::Kelvin, { "getKelvin" });
    row(GradeField::StockAmount, { "getStockLUTAmount" });
    row(GradeField::CurveAmount, { "getStockCurveAmount" });
    row(GradeField::GrainAmount, { "getGrainAmount" });
    row(GradeField::LowWheel, { "low.radius", "low.theta" });
    row(GradeField::MidWheel, { "mid.radius", "mid.theta" });
    row(GradeField::HighWheel, { "high.radius", "high.theta" });
    row(GradeField::Lift, { "getLift" });
    row(GradeField::Gamma, { "getGamma" });
    row(GradeField::Gain, { "getGain" });
    row(GradeField::Saturation, { "getSaturation" });
    row(GradeField::Levels,
        { "getHistogramSliderData.back", "getHistogramSliderData.mid", "getHistogramSliderData.white" });
    row(GradeField::HalationAmount, { "halation" });
    row(GradeField::BloomAmount, { "bloom" });
    row(GradeField::WeaveAmount, { "weave" });
    row(GradeField::FlickerAmount, { "flicker" });
    row(GradeField::ColourGrainAmount, { "colourGrain" });
    QCOMPARE(rows, GradeFieldCount);
}

// Taking one field of a changed grade into a default one changes exactly
// that field's lines of the dump, and sameGrade sees it.
void TestClipSettings::eachFieldReachesItsOwnValue()
{
    QFETCH(int, field);
    QFETCH(QStringList, lines);
    const GradeFieldInfo& info = gradeFields()[size_t(field)];
    QCOMPARE(int(info.field), field);
    const ClipSettings source = everyFieldChanged();
    ClipSettings target;
    info.set(target, info.get(source));
    QVERIFY(info.get(target) == info.get(source));
    QVERIFY(!target.sameGrade(ClipSettings()));

    const QStringList before = dump(ClipSettings()).split(QLatin1Char('\n'));
    const QStringList after = dump(target).split(QLatin1Char('\n'));
    QStringList changed;
    for (int i = 1; i < after.size(); ++i) {
        if (after[i] != before[i])
            changed << after[i].section(QLatin1Char(':'), 0, 0).trimmed();
    }
    QCOMPARE(changed, lines);
}

EMULSA_TEST_MAIN(TestClipSettings)
#include "tst_clipsettings.moc"
