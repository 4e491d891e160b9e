#include "GradeTestSupport.h"
#include "common/TestEnvironment.h"

#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "model/GradeBlockReader.h"
#include "model/GradeBlockWriter.h"

#include <QBuffer>
#include <QSysInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>
#include <limits>

using namespace Emulsa;
using Emulsa::Test::compareGrades;
using Emulsa::Test::sampleGrade;
using Emulsa::Test::sampleGradeBlock;
using Emulsa::Test::withoutFilmEffects;

namespace {

// Counts critical messages (the missing-profile report) while installed.
int g_criticals = 0;
QtMessageHandler g_previousHandler = nullptr;
void countingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtCriticalMsg)
        ++g_criticals;
    else if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QByteArray wrapped(const QByteArray& block)
{
    return "<Root>" + block + "<Next/></Root>";
}

// Replaces the text of the first <element> in the block.
QByteArray withValue(const QByteArray& block, const QByteArray& element, const QByteArray& value)
{
    const QByteArray open = "<" + element + ">";
    const int start = block.indexOf(open);
    const int end = block.indexOf("</" + element + ">", start);
    if (start < 0 || end < 0)
        return QByteArray();
    QByteArray result = block;
    result.replace(start + open.size(), end - start - open.size(), value);
    return result;
}

} // namespace

class GradeBlocksTest : public QObject
{
    Q_OBJECT

private:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;

    QByteArray writeBlock(const ClipSettings& grade)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QXmlStreamWriter xml(&buffer);
        xml.setAutoFormatting(true);
        GradeBlockWriter writer(&xml, &m_catalogue);
        xml.writeStartElement(QStringLiteral("Root"));
        const bool ok = writer.writeClipSettings(grade);
        xml.writeEndElement();
        return ok ? bytes : QByteArray();
    }

    // Parses the block inside <Root>; checks that the reader can go on with
    // the sibling that follows.
    std::unique_ptr<ClipSettings> readBlock(const QByteArray& document, GradeBlockReader* reader, QXmlStreamReader* xml)
    {
        xml->addData(document);
        if (!xml->readNextStartElement() || !xml->readNextStartElement())
            return nullptr;
        auto grade = reader->parseClipSettings();
        if (!xml->isEndElement() || xml->name() != QLatin1String("ClipSettings"))
            qWarning() << "reader left on" << xml->tokenString() << xml->name();
        const bool next = xml->readNextStartElement() && xml->name() == QLatin1String("Next");
        return next ? std::move(grade) : nullptr;
    }

    std::unique_ptr<ClipSettings> readBlock(const QByteArray& document)
    {
        QXmlStreamReader xml;
        GradeBlockReader reader(&xml, &m_library, &m_catalogue);
        return readBlock(document, &reader, &xml);
    }

private slots:
    void initTestCase() { QVERIFY(m_catalogue.loadFromData(Test::twoProfileCatalogue())); }

    void writerLaysOutTheBlockExactly()
    {
        const QByteArray written = writeBlock(sampleGrade());
        QByteArray expected = sampleGradeBlock();
        expected.replace("\n", "\n    ");
        const QByteArray wanted = "\n<Root>\n    " + expected + "\n</Root>";
        QCOMPARE(QString::fromUtf8(written), QString::fromUtf8(wanted));
    }

    void handWrittenBlockReads()
    {
        const auto grade = readBlock(wrapped(sampleGradeBlock()));
        QVERIFY(grade);
        compareGrades(*grade, sampleGrade());
    }

    // Files written before the film effects read as they did, the effects
    // off; the effects come in any order, an unknown element after them is
    // skipped, and a bad one stays off without losing the grade.
    void filmEffectsAreOptional_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QVector<int>>("effects");
        QTest::addColumn<QStringList>("unread");
        const QByteArray old = withoutFilmEffects(sampleGradeBlock());
        auto withTail = [&](const QByteArray& tail) {
            QByteArray block = old;
            block.insert(block.indexOf("</ClipSettings>"), tail);
            return block;
        };
        QTest::newRow("version 1.0") << old << QVector<int> { 0, 0, 0, 0, 0 } << QStringList();
        QTest::newRow("some, reordered") << withTail(
            "<FlickerAmount>40</FlickerAmount><HalationAmount>7</HalationAmount>")
                                         << QVector<int> { 7, 0, 0, 40, 0 } << QStringList();
        QTest::newRow("clamped") << withTail("<BloomAmount>250</BloomAmount><GateWeaveAmount>-3</GateWeaveAmount>")
                                 << QVector<int> { 0, 100, 0, 0, 0 } << QStringList();
        QTest::newRow("newer element skipped")
            << withTail("<Sparkle><Size>3</Size></Sparkle><ColourGrainAmount>55</ColourGrainAmount>")
            << QVector<int> { 0, 0, 0, 0, 55 } << QStringList();
        QTest::newRow("bad number") << withTail("<HalationAmount>lots</HalationAmount><BloomAmount>9</BloomAmount>")
                                    << QVector<int> { 0, 9, 0, 0, 0 } << QStringList { "FilmEffects/HalationAmount" };
    }
    void filmEffectsAreOptional()
    {
        QFETCH(QByteArray, block);
        QFETCH(QVector<int>, effects);
        QFETCH(QStringList, unread);
        QXmlStreamReader xml;
        GradeBlockReader reader(&xml, &m_library, &m_catalogue);
        const auto grade = readBlock(wrapped(block), &reader, &xml);
        QVERIFY(grade);
        QCOMPARE(reader.unreadFields(), unread);
        const QVector<int> read { grade->getHalationAmount(), grade->getBloomAmount(), grade->getWeaveAmount(),
            grade->getFlickerAmount(), grade->getColourGrainAmount() };
        QCOMPARE(read, effects);
        // Everything before them is the sample grade's.
        ClipSettings expected = sampleGrade();
        expected.setHalationAmount(read[0]);
        expected.setBloomAmount(read[1]);
        expected.setWeaveAmount(read[2]);
        expected.setFlickerAmount(read[3]);
        expected.setColourGrainAmount(read[4]);
        compareGrades(*grade, expected);
    }

    void roundTrip_data()
    {
        QTest::addColumn<bool>("defaults");
        QTest::newRow("sample grade") << false;
        QTest::newRow("default grade") << true;
    }
    void roundTrip()
    {
        QFETCH(bool, defaults);
        const ClipSettings grade = defaults ? ClipSettings() : sampleGrade();
        const QByteArray written = writeBlock(grade);
        QVERIFY(!written.isEmpty());
        QByteArray block = written.mid(written.indexOf("<ClipSettings>"));
        block.truncate(block.indexOf("</Root>"));
        const auto read = readBlock(wrapped(block));
        QVERIFY(read);
        compareGrades(*read, grade);
    }

    void profileMissingFromTheCatalogueIsWrittenWithoutNames()
    {
        ClipSettings grade;
        grade.setSourceType(ProfileInfo::packId("ZZ99"));
        const QByteArray written = writeBlock(grade);
        QVERIFY(written.contains("<ProfileID>" + QByteArray::number(ProfileInfo::packId("ZZ99")) + "</ProfileID>"));
        QVERIFY(written.contains("<CameraModel></CameraModel>"));
        QVERIFY(written.contains("<CameraID></CameraID>"));
    }

    void nonFiniteValuesAreWrittenAsDefaults()
    {
        ClipSettings grade;
        grade.setExposure(std::numeric_limits<float>::quiet_NaN());
        grade.setKelvin(std::numeric_limits<float>::infinity());
        grade.setMid({ std::nan(""), 1.0 });
        const QByteArray written = writeBlock(grade);
        QVERIFY(written.contains("<Exposure>0.000000</Exposure>"));
        QVERIFY(written.contains("<Kelvin>5600.000000</Kelvin>"));
        QVERIFY(written.contains("<Radius>0.000000</Radius>\n                <Theta>1.000000</Theta>"));
    }

    void valuesAreClamped_data()
    {
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("field");
        QTest::addColumn<double>("expected");
        QTest::newRow("exposure high") << QByteArray("Exposure") << QByteArray("2.5") << "exposure" << 1.5;
        QTest::newRow("exposure low") << QByteArray("Exposure") << QByteArray("-9") << "exposure" << -1.5;
        QTest::newRow("kelvin low") << QByteArray("Kelvin") << QByteArray("100") << "kelvin" << 1700.0;
        QTest::newRow("kelvin high") << QByteArray("Kelvin") << QByteArray("50000") << "kelvin" << 12000.0;
        QTest::newRow("grain amount") << QByteArray("GrainAmount") << QByteArray("250") << "grain" << 200.0;
        QTest::newRow("stock amount") << QByteArray("StockAmount") << QByteArray("-5") << "stock" << 0.0;
        QTest::newRow("curve amount") << QByteArray("CurveAmount") << QByteArray("101") << "curve" << 100.0;
        QTest::newRow("radius") << QByteArray("Radius") << QByteArray("2") << "lowRadius" << double(1.05f);
        QTest::newRow("theta") << QByteArray("Theta") << QByteArray("-4") << "lowTheta" << double(-float(M_PI));
        QTest::newRow("lift") << QByteArray("Lift") << QByteArray("0.1") << "lift" << 0.5;
        QTest::newRow("gain") << QByteArray("Gain") << QByteArray("7") << "gain" << 1.5;
        QTest::newRow("saturation") << QByteArray("Saturation") << QByteArray("3") << "saturation" << 2.0;
        QTest::newRow("black level") << QByteArray("Black") << QByteArray("-1") << "black" << 0.0;
        QTest::newRow("white level") << QByteArray("White") << QByteArray("1.5") << "white" << 1.0;
    }
    void valuesAreClamped()
    {
        QFETCH(QByteArray, element);
        QFETCH(QByteArray, value);
        QFETCH(QString, field);
        QFETCH(double, expected);
        const QByteArray block = withValue(sampleGradeBlock(), element, value);
        QVERIFY(!block.isEmpty());
        const auto grade = readBlock(wrapped(block));
        QVERIFY(grade);
        const QHash<QString, double> fields = {
            { "exposure", grade->getExposure() },
            { "kelvin", grade->getKelvin() },
            { "grain", grade->getGrainAmount() },
            { "stock", grade->getStockLUTAmount() },
            { "curve", grade->getStockCurveAmount() },
            { "lowRadius", grade->getLow().radius },
            { "lowTheta", grade->getLow().theta },
            { "lift", grade->getLift() },
            { "gain", grade->getGain() },
            { "saturation", grade->getSaturation() },
            { "black", grade->getHistogramSliderData().black },
            { "white", grade->getHistogramSliderData().white },
        };
        QVERIFY(fields.contains(field));
        QCOMPARE(fields.value(field), expected);
    }

    // A field that is not a finite number fails the grade; the reader still
    // leaves the block whole.
    void badNumbersFailTheGrade_data()
    {
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QByteArray>("value");
        const QByteArray bad[] = { "nan", "NaN", "inf", "-inf", "1e39", "abc", "", "1.5.2" };
        for (const char* element : { "Exposure", "Kelvin", "Lift", "Saturation" })
            for (const QByteArray& value : bad)
                QTest::addRow("%s=%s", element, value.constData()) << QByteArray(element) << value;
        QTest::newRow("integer amount as float") << QByteArray("StockAmount") << QByteArray("50.5");
        QTest::newRow("huge amount") << QByteArray("GrainAmount") << QByteArray("99999999999");
        QTest::newRow("profile id text") << QByteArray("ProfileID") << QByteArray("OT01");
        QTest::newRow("original text") << QByteArray("Original") << QByteArray("yes");
    }
    void badNumbersFailTheGrade()
    {
        QFETCH(QByteArray, element);
        QFETCH(QByteArray, value);
        const QByteArray block = withValue(sampleGradeBlock(), element, value);
        QVERIFY(!block.isEmpty());
        QVERIFY(!readBlock(wrapped(block)));
        // readBlock returns none also when the sibling is lost: check that the
        // sibling is still reachable with a good grade in front of it.
        QVERIFY(readBlock(wrapped(sampleGradeBlock())));
    }

    void badWheelOrLevelNumbersBecomeZero_data()
    {
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QByteArray>("value");
        for (const char* value : { "nan", "inf", "-inf", "x" }) {
            QTest::addRow("Radius=%s", value) << QByteArray("Radius") << QByteArray(value);
            QTest::addRow("Black=%s", value) << QByteArray("Black") << QByteArray(value);
        }
    }
    void badWheelOrLevelNumbersBecomeZero()
    {
        QFETCH(QByteArray, element);
        QFETCH(QByteArray, value);
        const auto grade = readBlock(wrapped(withValue(sampleGradeBlock(), element, value)));
        QVERIFY(grade);
        if (element == "Radius") {
            QCOMPARE(grade->getLow().radius, 0.0);
            QCOMPARE(float(grade->getLow().theta), -1.5f);
        } else {
            QCOMPARE(grade->getHistogramSliderData().black, 0.0f);
            QCOMPARE(grade->getHistogramSliderData().mid, 0.45f);
        }
    }

    void misspelledOrMissingElementFailsTheGrade_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("misspelled") << QByteArray("<Gamma>1.070000</Gamma>") << QByteArray("<Gama>1.07</Gama>");
        QTest::newRow("missing") << QByteArray("<Gamma>1.070000</Gamma>") << QByteArray();
        QTest::newRow("missing wheels") << QByteArray("<ColorWheels>") << QByteArray("<Wheels>");
        QTest::newRow("last one missing") << QByteArray("<Original>1</Original>") << QByteArray();
        QTest::newRow("nested child") << QByteArray("<Lift>0.930000</Lift>") << QByteArray("<Lift><x>1</x></Lift>");
    }
    void misspelledOrMissingElementFailsTheGrade()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QByteArray block(sampleGradeBlock());
        if (from == "<ColorWheels>")
            block.replace("</ColorWheels>", "</Wheels>");
        QVERIFY(block.contains(from));
        block.replace(from, to);
        QXmlStreamReader xml;
        GradeBlockReader reader(&xml, &m_library, &m_catalogue);
        xml.addData(wrapped(block));
        QVERIFY(xml.readNextStartElement() && xml.readNextStartElement());
        QVERIFY(!reader.parseClipSettings());
        QVERIFY(xml.isEndElement());
        QCOMPARE(xml.name(), QLatin1String("ClipSettings"));
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name(), QLatin1String("Next"));
    }

    // The reader names each field it could not read, in file order: the one
    // that failed the grade, or the wheels and levels that kept their
    // defaults. A grade read whole names none, also after a damaged one.
    void unreadFieldsAreNamed_data()
    {
        QTest::addColumn<QByteArrayList>("from");
        QTest::addColumn<QByteArrayList>("to");
        QTest::addColumn<bool>("gradeRead");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("whole") << QByteArrayList {} << QByteArrayList {} << true << QStringList {};
        QTest::newRow("kelvin") << QByteArrayList { "<Kelvin>4321" } << QByteArrayList { "<Kelvin>x4321" } << false
                                << QStringList { "Kelvin" };
        QTest::newRow("misspelled gamma") << QByteArrayList { "<Gamma>1.070000</Gamma>" }
                                          << QByteArrayList { "<Gama>1.07</Gama>" } << false << QStringList { "Gamma" };
        QTest::newRow("profile id") << QByteArrayList { "<ProfileID>825249363" } << QByteArrayList { "<ProfileID>OT01" }
                                    << false << QStringList { "ProfileID" };
        QTest::newRow("last field") << QByteArrayList { "<Original>1</Original>" } << QByteArrayList { "" } << false
                                    << QStringList { "Original" };
        QTest::newRow("mid radius") << QByteArrayList { "<Radius>0.500000" } << QByteArrayList { "<Radius>0.5.0" }
                                    << true << QStringList { "ColorWheels/Mid/Radius" };
        QTest::newRow("high theta missing") << QByteArrayList { "<Theta>3.000000</Theta>" } << QByteArrayList { "" }
                                            << true << QStringList { "ColorWheels/High/Theta" };
        QTest::newRow("mid wheel missing")
            << QByteArrayList { "<Mid>\n            <Radius>", "</Mid>\n        <High>" }
            << QByteArrayList { "<Other>\n            <Radius>", "</Other>\n        <High>" } << true
            << QStringList { "ColorWheels/Mid", "ColorWheels/High" };
        QTest::newRow("mid level missing") << QByteArrayList { "<Mid>0.450000</Mid>" } << QByteArrayList { "" } << true
                                           << QStringList { "Histogram/Mid", "Histogram/White" };
        QTest::newRow("two levels bad") << QByteArrayList { "<Black>0.05", "<White>0.9" }
                                        << QByteArrayList { "<Black>b", "<White>w" } << true
                                        << QStringList { "Histogram/Black", "Histogram/White" };
        QTest::newRow("wheel and level") << QByteArrayList { "<Theta>-1.5", "<White>0.9" }
                                         << QByteArrayList { "<Theta>nan", "<White>inf" } << true
                                         << QStringList { "ColorWheels/Low/Theta", "Histogram/White" };
    }
    void unreadFieldsAreNamed()
    {
        QFETCH(QByteArrayList, from);
        QFETCH(QByteArrayList, to);
        QFETCH(bool, gradeRead);
        QFETCH(QStringList, fields);
        QByteArray damaged(sampleGradeBlock());
        for (int i = 0; i < from.size(); ++i) {
            QVERIFY2(damaged.count(from[i]) == 1, from[i].constData());
            damaged.replace(from[i], to[i]);
        }
        // The damaged grade, then a whole one through the same reader.
        QXmlStreamReader xml;
        GradeBlockReader reader(&xml, &m_library, &m_catalogue);
        xml.addData("<Root>" + damaged + sampleGradeBlock() + "</Root>");
        QVERIFY(xml.readNextStartElement() && xml.readNextStartElement());
        QCOMPARE(bool(reader.parseClipSettings()), gradeRead);
        QCOMPARE(reader.unreadFields(), fields);
        // What the warnings say follows from the names alone.
        QCOMPARE(GradeBlockReader::wholeGradeLost(reader.unreadFields()), !gradeRead);
        QVERIFY(xml.readNextStartElement());
        QVERIFY(reader.parseClipSettings());
        QVERIFY(reader.unreadFields().isEmpty());
    }

    void wheelsReadUpToTheFirstMismatch_data()
    {
        QTest::addColumn<QByteArray>("wheel");
        QTest::addColumn<int>("wheelsRead");
        QTest::newRow("no Low") << QByteArray("Low") << 0;
        QTest::newRow("no Mid") << QByteArray("Mid") << 1;
        QTest::newRow("no High") << QByteArray("High") << 2;
    }
    void wheelsReadUpToTheFirstMismatch()
    {
        QFETCH(QByteArray, wheel);
        QFETCH(int, wheelsRead);
        QByteArray block(sampleGradeBlock());
        block.replace("<" + wheel + ">", "<Other>").replace("</" + wheel + ">", "</Other>");
        const auto grade = readBlock(wrapped(block));
        QVERIFY(grade); // the grade itself does not fail
        const double radii[] = { grade->getLow().radius, grade->getMid().radius, grade->getHigh().radius };
        const double written[] = { 0.25, 0.5, 1.0 };
        for (int i = 0; i < 3; ++i)
            QCOMPARE(radii[i], i < wheelsRead ? written[i] : 0.0);
        QCOMPARE(grade->getLift(), 0.93f);
    }

    void missingLevelKeepsDefaultsFromThere()
    {
        QByteArray block(sampleGradeBlock());
        block.replace("<Mid>0.450000</Mid>", "");
        const auto grade = readBlock(wrapped(block));
        QVERIFY(grade);
        QCOMPARE(grade->getHistogramSliderData().black, 0.05f);
        QCOMPARE(grade->getHistogramSliderData().mid, 0.5f);
        QCOMPARE(grade->getHistogramSliderData().white, 1.0f);
    }

    void unknownStockFallsBackAndMissingProfileIsReportedOnce()
    {
        QByteArray block = withValue(sampleGradeBlock(), "StockName", "9999");
        block = withValue(block, "ProfileID", QByteArray::number(ProfileInfo::packId("ZZ99")));
        QByteArray document = "<Root>" + block + block + "<Next/></Root>";

        QXmlStreamReader xml(document);
        GradeBlockReader reader(&xml, &m_library, &m_catalogue);
        g_criticals = 0;
        g_previousHandler = qInstallMessageHandler(countingHandler);
        QVERIFY(xml.readNextStartElement());
        std::unique_ptr<ClipSettings> grades[2];
        for (auto& grade : grades) {
            QVERIFY(xml.readNextStartElement());
            grade = reader.parseClipSettings();
        }
        qInstallMessageHandler(g_previousHandler);
        for (const auto& grade : grades) {
            QVERIFY(grade);
            QCOMPARE(grade->getStockName(), QStringLiteral("5207"));
            QCOMPARE(grade->getSourceType(), ProfileInfo::packId("ZZ99"));
        }
        QCOMPARE(reader.replacedStocks(), 2);
        QCOMPARE(g_criticals, 1);
    }

    void generalBlockRoundTrip()
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QXmlStreamWriter out(&buffer);
        GradeBlockWriter writer(&out, &m_catalogue);
        QVERIFY(writer.writeGeneral());
        QCOMPARE(bytes,
            "<General><FileVersion>1.1</FileVersion><StandaloneVersion>1.02.30</StandaloneVersion><HostOS>"
                + QSysInfo::prettyProductName().toHtmlEscaped().toUtf8() + "</HostOS></General>");

        QXmlStreamReader in(wrapped(bytes));
        GradeBlockReader reader(&in, &m_library, &m_catalogue);
        QVERIFY(in.readNextStartElement() && in.readNextStartElement());
        GeneralInfo info;
        QVERIFY(reader.readGeneral(&info));
        QCOMPARE(info.fileVersion, 1.1f);
        QCOMPARE(info.standaloneVersion, QStringLiteral("1.02.30"));
        QCOMPARE(info.hostOS, QSysInfo::prettyProductName());
        QVERIFY(in.readNextStartElement());
        QCOMPARE(in.name(), QLatin1String("Next"));
    }

    void badGeneralBlocks_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::newRow("version nan") << QByteArray(
            "<General><FileVersion>nan</FileVersion><StandaloneVersion/><HostOS/></General>");
        QTest::newRow("no host") << QByteArray("<General><FileVersion>1.0</FileVersion><StandaloneVersion/></General>");
        QTest::newRow("wrong order") << QByteArray(
            "<General><StandaloneVersion/><FileVersion>1.0</FileVersion><HostOS/></General>");
        QTest::newRow("not general") << QByteArray("<Generic><FileVersion>1.0</FileVersion></Generic>");
    }
    void badGeneralBlocks()
    {
        QFETCH(QByteArray, block);
        QXmlStreamReader in(wrapped(block));
        GradeBlockReader reader(&in, &m_library, &m_catalogue);
        QVERIFY(in.readNextStartElement() && in.readNextStartElement());
        GeneralInfo info;
        QVERIFY(!reader.readGeneral(&info));
    }
};

EMULSA_TEST_MAIN(GradeBlocksTest)
#include "tst_gradeblocks.moc"
