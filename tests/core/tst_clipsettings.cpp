#include "common/TestEnvironment.h"

#include "core/ClipSettings.h"

#include <QMetaType>

using namespace Emulsa;

class TestClipSettings : public QObject
{
    Q_OBJECT

private slots:
    void defaultsDumpEveryField();
    void profileIdPacksLittleEndian();
    void grainScaleTable_data();
    void grainScaleTable();
    void copiesKeepTheirOwnGrainTable();
    void copyFromKeepsSourceType();
    void metaTypesAreRegisteredByName();
};

void TestClipSettings::defaultsDumpEveryField()
{
    QString text;
    QDebug(&text) << ClipSettings();
    const QString expected
        = QStringLiteral("\n\t\t StockName:\t \"5207\" \n\t\t SourceType:\t 825250895 "
                         "\n\t\t getStockLUTAmount:\t 100 \n\t\t getStockCurveAmount:\t 100 "
                         "\n\t\t getGrainAmount:\t 100 \n\t\t getGrainScaleName:\t \"35 mm Full Frame\" "
                         "\n\t\t getGrainScale:\t 0.69 \n\t\t getExposure:\t 0 \n\t\t getKelvin:\t 5600 "
                         "\n\t\t high.radius:\t 0 \n\t\t high.theta:\t 0 \n\t\t mid.radius:\t 0 "
                         "\n\t\t mid.theta:\t 0 \n\t\t low.radius:\t 0 \n\t\t low.theta:\t 0 "
                         "\n\t\t getLift:\t 1 \n\t\t getGamma:\t 1 \n\t\t getGain:\t 1 "
                         "\n\t\t getSaturation:\t 1 \n\t\t getHistogramSliderData.back:\t 0 "
                         "\n\t\t getHistogramSliderData.mid:\t 0.5 "
                         "\n\t\t getHistogramSliderData.white:\t 1 \n\t\t getOriginal:\t false ");
    QCOMPARE(text, expected);
}

void TestClipSettings::profileIdPacksLittleEndian()
{
    const QByteArray id("OT01");
    const quint32 packed = quint32(uchar(id[0])) | quint32(uchar(id[1])) << 8 | quint32(uchar(id[2])) << 16
        | quint32(uchar(id[3])) << 24;
    QCOMPARE(packed, quint32(0x3130544F));
    QCOMPARE(ClipSettings().getSourceType(), packed);
}

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

void TestClipSettings::copiesKeepTheirOwnGrainTable()
{
    ClipSettings source;
    source.setStockName(QStringLiteral("8543"));
    source.setSourceType(0x12345678);
    source.setGrainScaleName(QStringLiteral("16 mm"));
    source.setKelvin(3200.0f);
    source.setHigh({ 0.5, -1.0 });
    source.setHistogramSliderData({ 0.1f, 0.4f, 0.9f });
    source.setOriginal(true);

    ClipSettings copy(source);
    ClipSettings assigned;
    assigned = source;
    assigned = assigned; // self-assignment changes nothing
    for (ClipSettings* target : { &copy, &assigned }) {
        QCOMPARE(target->getStockName(), QStringLiteral("8543"));
        QCOMPARE(target->getSourceType(), quint32(0x12345678));
        QCOMPARE(target->getKelvin(), 3200.0f);
        QCOMPARE(target->getHigh().theta, -1.0);
        QCOMPARE(target->getHistogramSliderData().mid, 0.4f);
        QCOMPARE(target->getOriginal(), true);
        QCOMPARE(target->grainScaleTable().size(), 8);
        QCOMPARE(target->getGrainScale(), 2.43f);
        target->setGrainScaleName(QStringLiteral("8 mm"));
        QCOMPARE(target->getGrainScale(), 5.53f);
    }
    QCOMPARE(source.getGrainScaleName(), QStringLiteral("16 mm"));
    QCOMPARE(source.getGrainScale(), 2.43f);
    QCOMPARE(ClipSettings::grainScaleNames().first(), QStringLiteral("8 mm"));
    QCOMPARE(ClipSettings::grainScaleNames().last(), QStringLiteral("35 mm Full Frame"));
}

void TestClipSettings::copyFromKeepsSourceType()
{
    ClipSettings source;
    source.setSourceType(7);
    source.setExposure(0.25f);
    source.setGrainAmount(150);
    source.setLow({ 1.0, 0.5 });

    ClipSettings target;
    target.setSourceType(42);
    target.copyFrom(&source);
    QCOMPARE(target.getSourceType(), quint32(42));
    QCOMPARE(target.getExposure(), 0.25f);
    QCOMPARE(target.getGrainAmount(), 150);
    QCOMPARE(target.getLow().theta, 0.5);

    target.copyFrom(nullptr);
    QCOMPARE(target.getExposure(), 0.25f);
    QCOMPARE(target.getSourceType(), quint32(42));
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

EMULSA_TEST_MAIN(TestClipSettings)
#include "tst_clipsettings.moc"
